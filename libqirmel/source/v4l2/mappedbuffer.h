// Ownership of one memory mapping of a device buffer.
#ifndef QIRMEL_MAPPEDBUFFER_H
#define QIRMEL_MAPPEDBUFFER_H

#include <sys/types.h>
#include <cstddef>
#include <cstdint>

namespace qirmel {

// A read-only shared mapping of length bytes of fd at offset, unmapped when destroyed; movable,
// not copyable. The mapping outlives the descriptor it came from, as the kernel allows.
class MappedBuffer {
public:
    MappedBuffer() = default;
    MappedBuffer(int fd, std::size_t length, off_t offset);
    ~MappedBuffer();
    MappedBuffer(MappedBuffer &&other) noexcept;
    MappedBuffer &operator=(MappedBuffer &&other) noexcept;
    MappedBuffer(const MappedBuffer &) = delete;
    MappedBuffer &operator=(const MappedBuffer &) = delete;

    bool isValid() const { return m_data != nullptr; }
    const std::uint8_t *data() const { return m_data; }
    std::size_t length() const { return m_length; }

private:
    void reset();

    std::uint8_t *m_data = nullptr;
    std::size_t m_length = 0;
};

}  // namespace qirmel

#endif  // QIRMEL_MAPPEDBUFFER_H
