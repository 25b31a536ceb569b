// The C library's own functions behind the ones this library replaces, for the calls it passes on
// and for its own use (so that its own files never come back through the replacements).
#ifndef FAKEV4L2_LIBCNEXT_H
#define FAKEV4L2_LIBCNEXT_H

#include <poll.h>
#include <sys/types.h>

#include <cstddef>

namespace fakev4l2::next {

using OpenFunction = int (*)(const char *, int, ...);
using OpenAtFunction = int (*)(int, const char *, int, ...);

OpenFunction open();
OpenFunction open64();
OpenAtFunction openat();
OpenAtFunction openat64();
int close(int fd);
ssize_t read(int fd, void *buffer, std::size_t count);
int ioctl(int fd, unsigned long request, void *argument);
int poll(pollfd *fds, nfds_t count, int timeout);
void *mmap(void *address, std::size_t length, int protection, int flags, int fd, off_t offset);
int munmap(void *address, std::size_t length);

}  // namespace fakev4l2::next

#endif  // FAKEV4L2_LIBCNEXT_H
