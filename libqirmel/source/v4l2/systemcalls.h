// The system calls through which the V4L2 source reaches devices, and where it finds sysfs: one
// table, so that the same code runs on real devices or on an in-process fake.
#ifndef QIRMEL_SYSTEMCALLS_H
#define QIRMEL_SYSTEMCALLS_H

#include <poll.h>
#include <sys/types.h>

#include <cstddef>

namespace qirmel {

struct SystemCalls {
    int (*open)(const char *path, int flags);
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long request, void *argument);
    void *(*mmap)(void *address, std::size_t length, int protection, int flags, int fd, off_t offset);
    int (*munmap)(void *address, std::size_t length);
    int (*poll)(pollfd *fds, nfds_t count, int timeout);
    const char *sysfsRoot;  // "/sys"
};

// The C library's functions and the real sysfs. Tests put a fake in place while no camera is open.
extern SystemCalls systemCalls;

}  // namespace qirmel

#endif  // QIRMEL_SYSTEMCALLS_H
