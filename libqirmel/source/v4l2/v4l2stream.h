// A device streaming into memory-mapped buffers.
#ifndef QIRMEL_V4L2STREAM_H
#define QIRMEL_V4L2STREAM_H

#include "source/v4l2/mappedbuffer.h"
#include "source/v4l2/v4l2device.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace qirmel {

// One buffer the device has filled, as it reported it.
struct FilledBuffer {
    std::uint32_t index = 0;
    std::uint32_t bytesUsed = 0;
    bool error = false;  // the device flagged the data as damaged
};

// Owns the device while it streams: maps its buffers, queues them and starts streaming when
// built; stops streaming, unmaps and closes the device when destroyed.
class V4l2Stream {
public:
    using Clock = std::chrono::steady_clock;

    enum class Wait {
        Ready,    // a filled buffer can be dequeued
        Timeout,  // none came before the deadline
        Lost,     // the device is gone or failed
    };

    // device has its format set to format already. isStreaming() tells whether starting worked.
    V4l2Stream(V4l2Device device, StreamFormat format);
    ~V4l2Stream();
    V4l2Stream(const V4l2Stream &) = delete;
    V4l2Stream &operator=(const V4l2Stream &) = delete;

    bool isStreaming() const { return m_streaming; }
    const StreamFormat &format() const { return m_format; }

    Wait waitReady(Clock::time_point deadline) const;

    // Appends every buffer the device has filled, oldest first; false when the device is gone.
    bool dequeueAll(std::vector<FilledBuffer> &filled);

    // The data of a buffer from dequeueAll(), valid until it is given back.
    const std::uint8_t *data(const FilledBuffer &buffer) const;

    // Hands a dequeued buffer back to the device to be filled again.
    void giveBack(const FilledBuffer &buffer);

private:
    bool start(std::uint32_t count);

    V4l2Device m_device;  // declared first so that it closes after the buffers are unmapped
    StreamFormat m_format;
    std::vector<MappedBuffer> m_buffers;
    bool m_streaming = false;
};

}  // namespace qirmel

#endif  // QIRMEL_V4L2STREAM_H
