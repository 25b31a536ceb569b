#include "libcnext.h"

#include <dlfcn.h>

#include <atomic>

#include <cstdio>
#include <cstdlib>

namespace fakev4l2::next {

namespace {

// The next definition after this library's: umockdev's where it is preloaded after this one,
// else the C library's. Cached in plain atomics rather than function-local statics: a sanitizer's
// runtime maps memory through here while it starts, before the guards of such statics work.
template <typename Function>
Function lookUp(std::atomic<void *> &cache, const char *name)
{
    void *symbol = cache.load(std::memory_order_acquire);
    if (!symbol) {
        symbol = dlsym(RTLD_NEXT, name);
        if (!symbol) {
            std::fprintf(stderr, "fakev4l2: no %s to pass calls on to\n", name);
            std::abort();
        }
        cache.store(symbol, std::memory_order_release);
    }
    return reinterpret_cast<Function>(symbol);
}

std::atomic<void *> nextOpen{nullptr};
std::atomic<void *> nextOpen64{nullptr};
std::atomic<void *> nextOpenAt{nullptr};
std::atomic<void *> nextOpenAt64{nullptr};
std::atomic<void *> nextClose{nullptr};
std::atomic<void *> nextRead{nullptr};
std::atomic<void *> nextIoctl{nullptr};
std::atomic<void *> nextPoll{nullptr};
std::atomic<void *> nextMmap{nullptr};
std::atomic<void *> nextMunmap{nullptr};

}  // namespace

OpenFunction open()
{
    return lookUp<OpenFunction>(nextOpen, "open");
}

OpenFunction open64()
{
    return lookUp<OpenFunction>(nextOpen64, "open64");
}

OpenAtFunction openat()
{
    return lookUp<OpenAtFunction>(nextOpenAt, "openat");
}

OpenAtFunction openat64()
{
    return lookUp<OpenAtFunction>(nextOpenAt64, "openat64");
}

int close(int fd)
{
    return lookUp<int (*)(int)>(nextClose, "close")(fd);
}

ssize_t read(int fd, void *buffer, std::size_t count)
{
    return lookUp<ssize_t (*)(int, void *, std::size_t)>(nextRead, "read")(fd, buffer, count);
}

int ioctl(int fd, unsigned long request, void *argument)
{
    return lookUp<int (*)(int, unsigned long, ...)>(nextIoctl, "ioctl")(fd, request, argument);
}

int poll(pollfd *fds, nfds_t count, int timeout)
{
    return lookUp<int (*)(pollfd *, nfds_t, int)>(nextPoll, "poll")(fds, count, timeout);
}

void *mmap(void *address, std::size_t length, int protection, int flags, int fd, off_t offset)
{
    using Function = void *(*)(void *, std::size_t, int, int, int, off_t);
    return lookUp<Function>(nextMmap, "mmap")(address, length, protection, flags, fd, offset);
}

int munmap(void *address, std::size_t length)
{
    return lookUp<int (*)(void *, std::size_t)>(nextMunmap, "munmap")(address, length);
}

}  // namespace fakev4l2::next
