#include "source/v4l2/systemcalls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace qirmel {

SystemCalls systemCalls{
    [](const char *path, int flags) { return ::open(path, flags); },
    ::close,
    [](int fd, unsigned long request, void *argument) { return ::ioctl(fd, request, argument); },
    ::mmap,
    ::munmap,
    ::poll,
    "/sys",
};

}  // namespace qirmel
