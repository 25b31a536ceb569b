// The C library functions this library replaces. Each one handles the fake device nodes and files
// and passes every other call on unchanged.
#include "fakev4l2.h"

#include "fakedevice.h"
#include "fakefile.h"
#include "libcnext.h"
#include "registry.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <optional>

using fakev4l2::FakeFile;
using fakev4l2::Registry;

namespace {

// Opens path when it is a fake device node: the descriptor, or -1 with errno set while the device
// is unplugged. Nothing when path is no fake node.
std::optional<int> openFake(const char *path, int flags)
{
    if (!path || std::strncmp(path, "/dev/video", 10) != 0)
        return std::nullopt;
    Registry &registry = Registry::instance();
    auto device = registry.device(path + 5);
    if (!device)
        return std::nullopt;
    registry.countCall();
    if (!device->isPresent()) {
        errno = ENOENT;
        return -1;
    }
    const int fd = eventfd(0, EFD_NONBLOCK | ((flags & O_CLOEXEC) != 0 ? EFD_CLOEXEC : 0));
    if (fd < 0)
        return -1;
    auto file = std::make_shared<FakeFile>(device, fd, (flags & O_NONBLOCK) != 0);
    device->attach(file);
    registry.addFile(fd, std::move(file));
    return fd;
}

mode_t modeArgument(int flags, va_list arguments)
{
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

// The fake file behind fd; null for every other descriptor.
std::shared_ptr<FakeFile> fakeFile(int fd)
{
    Registry *registry = Registry::existing();
    return registry && fd >= 0 ? registry->file(fd) : nullptr;
}

void *mapFake(std::size_t length, int protection, int flags, int fd, off_t offset, bool &handled)
{
    const auto file = fakeFile(fd);
    handled = file != nullptr;
    if (!file)
        return MAP_FAILED;
    void *address = file->map(length, protection, flags, offset);
    if (address != MAP_FAILED)
        Registry::instance().addMapping(address);
    return address;
}

}  // namespace

extern "C" {

FAKEV4L2_API int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (const auto fd = openFake(path, flags))
        return *fd;
    return fakev4l2::next::open()(path, flags, mode);
}

FAKEV4L2_API int open64(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (const auto fd = openFake(path, flags))
        return *fd;
    return fakev4l2::next::open64()(path, flags, mode);
}

FAKEV4L2_API int openat(int directory, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (const auto fd = openFake(path, flags))
        return *fd;
    return fakev4l2::next::openat()(directory, path, flags, mode);
}

FAKEV4L2_API int openat64(int directory, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (const auto fd = openFake(path, flags))
        return *fd;
    return fakev4l2::next::openat64()(directory, path, flags, mode);
}

FAKEV4L2_API int close(int fd)
{
    Registry *registry = Registry::existing();
    if (const auto file = registry ? registry->takeFile(fd) : nullptr)
        file->shutdown();
    return fakev4l2::next::close(fd);
}

// The fake devices have no read() I/O, as UVC devices have none.
FAKEV4L2_API ssize_t read(int fd, void *buffer, size_t count)
{
    if (fakeFile(fd)) {
        errno = EINVAL;
        return -1;
    }
    return fakev4l2::next::read(fd, buffer, count);
}

FAKEV4L2_API int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    const auto file = fakeFile(fd);
    if (!file)
        return fakev4l2::next::ioctl(fd, request, argument);
    Registry::instance().countCall();
    const int result = file->ioctl(request, argument);
    if (result < 0) {
        errno = -result;
        return -1;
    }
    return result;
}

// The kernel polls the fake files' eventfds; what a V4L2 device adds (errors once unplugged or
// while not streaming) is merged in afterwards, and such problems make the call return at once.
FAKEV4L2_API int poll(pollfd *fds, nfds_t count, int timeout)
{
    bool anyFake = false;
    bool anyProblem = false;
    for (nfds_t i = 0; i < count; ++i) {
        if (const auto file = fakeFile(fds[i].fd)) {
            anyFake = true;
            anyProblem = anyProblem || file->pollProblems() != 0;
        }
    }
    if (!anyFake)
        return fakev4l2::next::poll(fds, count, timeout);
    Registry::instance().countCall();
    int result = fakev4l2::next::poll(fds, count, anyProblem ? 0 : timeout);
    if (result < 0)
        return result;
    result = 0;
    for (nfds_t i = 0; i < count; ++i) {
        if (const auto file = fakeFile(fds[i].fd)) {
            if (const short problems = file->pollProblems())
                fds[i].revents = problems;
        }
        if (fds[i].revents != 0)
            ++result;
    }
    return result;
}

FAKEV4L2_API void *mmap(void *address, size_t length, int protection, int flags, int fd, off_t offset) noexcept
{
    bool handled = false;
    void *mapped = mapFake(length, protection, flags, fd, offset, handled);
    return handled ? mapped : fakev4l2::next::mmap(address, length, protection, flags, fd, offset);
}

FAKEV4L2_API void *mmap64(void *address, size_t length, int protection, int flags, int fd, off64_t offset) noexcept
{
    return mmap(address, length, protection, flags, fd, offset);
}

FAKEV4L2_API int munmap(void *address, size_t length) noexcept
{
    if (Registry *registry = Registry::existing())
        registry->removeMapping(address);
    return fakev4l2::next::munmap(address, length);
}

}  // extern "C"
