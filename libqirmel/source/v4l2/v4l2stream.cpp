#include "source/v4l2/v4l2stream.h"

#include "source/v4l2/systemcalls.h"

#include <linux/videodev2.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace qirmel {

namespace {

// Enough for the device to fill one buffer while the caller holds another and a third waits.
constexpr std::uint32_t kBufferCount = 4;

v4l2_buffer mmapBuffer(std::uint32_t index)
{
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    return buffer;
}

}  // namespace

V4l2Stream::V4l2Stream(V4l2Device device, StreamFormat format) : m_device(std::move(device)), m_format(format)
{
    m_streaming = m_device.isOpen() && start(kBufferCount);
}

V4l2Stream::~V4l2Stream()
{
    if (m_streaming) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        m_device.request(VIDIOC_STREAMOFF, &type);
    }
}

bool V4l2Stream::start(std::uint32_t count)
{
    v4l2_requestbuffers request{};
    request.count = count;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (!m_device.request(VIDIOC_REQBUFS, &request) || request.count == 0)
        return false;
    for (std::uint32_t index = 0; index < request.count; ++index) {
        v4l2_buffer buffer = mmapBuffer(index);
        if (!m_device.request(VIDIOC_QUERYBUF, &buffer))
            return false;
        MappedBuffer mapped(m_device.fd(), buffer.length, static_cast<off_t>(buffer.m.offset));
        if (!mapped.isValid() || !m_device.request(VIDIOC_QBUF, &buffer))
            return false;
        m_buffers.push_back(std::move(mapped));
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    return m_device.request(VIDIOC_STREAMON, &type);
}

V4l2Stream::Wait V4l2Stream::waitReady(Clock::time_point deadline) const
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{m_device.fd(), POLLIN, 0};
        const int result = systemCalls.poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0 || (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return Wait::Lost;
        if ((entry.revents & POLLIN) != 0)
            return Wait::Ready;
        if (Clock::now() >= deadline)
            return Wait::Timeout;
    }
}

bool V4l2Stream::dequeueAll(std::vector<FilledBuffer> &filled)
{
    for (;;) {
        v4l2_buffer buffer = mmapBuffer(0);
        if (!m_device.request(VIDIOC_DQBUF, &buffer))
            return errno == EAGAIN;
        if (buffer.index >= m_buffers.size())
            return false;
        // A count beyond the buffer can only come from a confused device; cut to the buffer, the
        // frame checks then throw the frame away.
        const auto length = static_cast<std::uint32_t>(m_buffers[buffer.index].length());
        filled.push_back(
            FilledBuffer{buffer.index, std::min(buffer.bytesused, length), (buffer.flags & V4L2_BUF_FLAG_ERROR) != 0});
    }
}

const std::uint8_t *V4l2Stream::data(const FilledBuffer &buffer) const
{
    return m_buffers[buffer.index].data();
}

void V4l2Stream::giveBack(const FilledBuffer &buffer)
{
    v4l2_buffer request = mmapBuffer(buffer.index);
    m_device.request(VIDIOC_QBUF, &request);
}

}  // namespace qirmel
