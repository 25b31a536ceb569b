#include "pipeline/photowriter.h"

#include <fcntl.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdio>

namespace qirmel {

namespace {

// An open file descriptor that is closed when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }

    // Closes now, to see the error that a delayed write may report only here.
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

// A temporary file's name, unlinked when it goes out of scope.
class TemporaryName {
public:
    explicit TemporaryName(std::string path) : m_path(std::move(path)) {}
    ~TemporaryName() { ::unlink(m_path.c_str()); }
    TemporaryName(const TemporaryName &) = delete;
    TemporaryName &operator=(const TemporaryName &) = delete;

    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

int writeAll(int fd, const std::uint8_t *data, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return 0;
}

// Puts the complete temporary file under its final name unless that name is taken. Hard links are
// the rule; file systems without them (FAT on a memory stick) get a rename that refuses to replace.
int linkIntoPlace(const std::string &temporary, const std::string &path)
{
    if (::link(temporary.c_str(), path.c_str()) == 0)
        return 0;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return -errno;
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    return -errno;
}

}  // namespace

int writePhoto(const std::string &path, const std::uint8_t *data, std::size_t length)
{
    static std::atomic<unsigned> counter{0};

    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return -EINVAL;

    // A hidden name of our own beside the photo, unique within the process and against other
    // processes through the pid; O_EXCL makes a clash an error instead of a shared file.
    int fd = -1;
    std::string temporary;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = folder + "/." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return -errno;
    }
    if (fd < 0)
        return -EEXIST;
    FileDescriptor file(fd);
    const TemporaryName temporaryName(temporary);

    if (const int result = writeAll(file.get(), data, length))
        return result;
    if (::fsync(file.get()) != 0 || file.close() != 0)
        return -errno;
    return linkIntoPlace(temporaryName.path(), path);
}

}  // namespace qirmel
