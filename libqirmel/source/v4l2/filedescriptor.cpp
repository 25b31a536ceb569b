#include "source/v4l2/filedescriptor.h"

#include "source/v4l2/systemcalls.h"

#include <utility>

namespace qirmel {

FileDescriptor::~FileDescriptor()
{
    if (m_fd >= 0)
        systemCalls.close(m_fd);
}

FileDescriptor::FileDescriptor(FileDescriptor &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FileDescriptor &FileDescriptor::operator=(FileDescriptor &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            systemCalls.close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

}  // namespace qirmel
