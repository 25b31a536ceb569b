#include "libcnext.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace fakev4l2::next {

namespace {

// The next definition after this library's: umockdev's where it is preloaded after this one,
// else the C library's.
template <typename Function>
Function lookUp(const char *name)
{
    void *symbol = dlsym(RTLD_NEXT, name);
    if (!symbol) {
        std::fprintf(stderr, "fakev4l2: no %s to pass calls on to\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(symbol);
}

}  // namespace

OpenFunction open()
{
    static const auto function = lookUp<OpenFunction>("open");
    return function;
}

OpenFunction open64()
{
    static const auto function = lookUp<OpenFunction>("open64");
    return function;
}

OpenAtFunction openat()
{
    static const auto function = lookUp<OpenAtFunction>("openat");
    return function;
}

OpenAtFunction openat64()
{
    static const auto function = lookUp<OpenAtFunction>("openat64");
    return function;
}

int close(int fd)
{
    static const auto function = lookUp<int (*)(int)>("close");
    return function(fd);
}

ssize_t read(int fd, void *buffer, std::size_t count)
{
    static const auto function = lookUp<ssize_t (*)(int, void *, std::size_t)>("read");
    return function(fd, buffer, count);
}

int ioctl(int fd, unsigned long request, void *argument)
{
    static const auto function = lookUp<int (*)(int, unsigned long, ...)>("ioctl");
    return function(fd, request, argument);
}

int poll(pollfd *fds, nfds_t count, int timeout)
{
    static const auto function = lookUp<int (*)(pollfd *, nfds_t, int)>("poll");
    return function(fds, count, timeout);
}

void *mmap(void *address, std::size_t length, int protection, int flags, int fd, off_t offset)
{
    static const auto function = lookUp<void *(*)(void *, std::size_t, int, int, int, off_t)>("mmap");
    return function(address, length, protection, flags, fd, offset);
}

int munmap(void *address, std::size_t length)
{
    static const auto function = lookUp<int (*)(void *, std::size_t)>("munmap");
    return function(address, length);
}

}  // namespace fakev4l2::next
