#include "source/v4l2/mappedbuffer.h"

#include "source/v4l2/systemcalls.h"

#include <sys/mman.h>

#include <utility>

namespace qirmel {

MappedBuffer::MappedBuffer(int fd, std::size_t length, off_t offset)
{
    void *data = systemCalls.mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, offset);
    if (data == MAP_FAILED)
        return;
    m_data = static_cast<std::uint8_t *>(data);
    m_length = length;
}

MappedBuffer::~MappedBuffer()
{
    reset();
}

MappedBuffer::MappedBuffer(MappedBuffer &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_length(std::exchange(other.m_length, 0))
{}

MappedBuffer &MappedBuffer::operator=(MappedBuffer &&other) noexcept
{
    if (this != &other) {
        reset();
        m_data = std::exchange(other.m_data, nullptr);
        m_length = std::exchange(other.m_length, 0);
    }
    return *this;
}

void MappedBuffer::reset()
{
    if (m_data)
        systemCalls.munmap(m_data, m_length);
    m_data = nullptr;
    m_length = 0;
}

}  // namespace qirmel
