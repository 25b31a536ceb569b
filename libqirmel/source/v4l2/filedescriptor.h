// Ownership of one open file descriptor.
#ifndef QIRMEL_FILEDESCRIPTOR_H
#define QIRMEL_FILEDESCRIPTOR_H

namespace qirmel {

// Closes its descriptor when destroyed; movable, not copyable. -1 means none.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor &&other) noexcept;
    FileDescriptor &operator=(FileDescriptor &&other) noexcept;
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

}  // namespace qirmel

#endif  // QIRMEL_FILEDESCRIPTOR_H
