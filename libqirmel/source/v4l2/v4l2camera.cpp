#include "source/v4l2/v4l2camera.h"

#include "source/v4l2/mjpegsanitizer.h"
#include "source/v4l2/yuyvtorgb.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <thread>

namespace qirmel {

namespace {

// How often a camera that went away is looked for: often enough that the picture is back soon
// after it is plugged in again, seldom enough to cost nothing while it is not.
constexpr std::chrono::milliseconds kSearchInterval(100);

bool contains(const std::vector<Size> &sizes, Size size)
{
    return std::find(sizes.begin(), sizes.end(), size) != sizes.end();
}

}  // namespace

V4l2Camera::V4l2Camera(CameraInfo info, VideoNode node, std::vector<Size> yuyvSizes, const V4l2Settings &settings)
    : m_info(std::move(info)),
      m_node(std::move(node)),
      m_yuyvSizes(std::move(yuyvSizes)),
      m_powerLineFrequency(settings.powerLineFrequency),
      m_framesToDrop(std::max(settings.framesToDrop, 0))
{}

const CameraInfo &V4l2Camera::info() const
{
    return m_info;
}

bool V4l2Camera::open(Size size, bool compressed)
{
    close();
    if (!contains(m_info.resolutions, size))
        return false;
    m_size = size;
    m_pixelFormat = !compressed && contains(m_yuyvSizes, size) ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_MJPEG;
    m_open = startStream();
    return m_open;
}

void V4l2Camera::close()
{
    m_stream.reset();
    m_open = false;
}

// Node numbers are handed out anew on every plug-in, so the camera is looked up in sysfs by where
// it is plugged in (or its serial) each time.
bool V4l2Camera::startStream()
{
    m_lastStart = Clock::now();
    for (const VideoNode &node : VideoNode::scan()) {
        if (!node.isSameCameraAs(m_node))
            continue;
        V4l2Device device(node.devicePath);
        if (!device.isOpen() || !device.captureCardName())
            continue;
        const auto format = device.setFormat(m_pixelFormat, m_size);
        if (!format)
            continue;
        device.setPowerLineFrequency(m_powerLineFrequency);
        auto stream = std::make_unique<V4l2Stream>(std::move(device), *format);
        if (!stream->isStreaming())
            continue;
        m_node = node;
        m_stream = std::move(stream);
        m_dropsLeft = m_framesToDrop;
        return true;
    }
    return false;
}

bool V4l2Camera::reconnect(Clock::time_point deadline)
{
    // Attempts are spaced out even when each fails at once, so that a camera that keeps failing
    // right after it starts never has the caller spin.
    for (;;) {
        const auto next = m_lastStart + kSearchInterval;
        if (next > deadline) {
            std::this_thread::sleep_until(deadline);
            return false;
        }
        std::this_thread::sleep_until(next);
        if (startStream())
            return true;
    }
}

FrameStatus V4l2Camera::waitFrame(Frame &frame, std::chrono::milliseconds timeout)
{
    if (!m_open)
        return FrameStatus::Failed;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (!m_stream && !reconnect(deadline))
            return FrameStatus::Failed;
        switch (m_stream->waitReady(deadline)) {
        case V4l2Stream::Wait::Timeout:
            return FrameStatus::Timeout;
        case V4l2Stream::Wait::Lost:
            m_stream.reset();
            break;
        case V4l2Stream::Wait::Ready:
            switch (takeNewest(frame)) {
            case Take::Frame:
                return FrameStatus::Ok;
            case Take::Lost:
                m_stream.reset();
                break;
            case Take::Nothing:
                break;
            }
            break;
        }
    }
}

// Takes every frame that is waiting and keeps the newest good one: a caller slower than the
// camera gets the current picture, not one from a backlog.
V4l2Camera::Take V4l2Camera::takeNewest(Frame &frame)
{
    m_filled.clear();
    const bool alive = m_stream->dequeueAll(m_filled);
    const std::size_t dropped = std::min<std::size_t>(static_cast<std::size_t>(m_dropsLeft), m_filled.size());
    m_dropsLeft -= static_cast<int>(dropped);
    bool filled = false;
    for (std::size_t i = m_filled.size(); i > dropped && !filled; --i)
        filled = fill(m_filled[i - 1], frame);
    for (const FilledBuffer &buffer : m_filled)
        m_stream->giveBack(buffer);
    if (filled)
        return Take::Frame;
    return alive ? Take::Nothing : Take::Lost;
}

bool V4l2Camera::fill(const FilledBuffer &buffer, Frame &frame)
{
    if (buffer.error)
        return false;
    const std::uint8_t *data = m_stream->data(buffer);
    const StreamFormat &format = m_stream->format();
    if (format.pixelFormat == V4L2_PIX_FMT_MJPEG) {
        if (!sanitizeMjpeg(data, buffer.bytesUsed, m_size, frame.data))
            return false;
        frame.format = FrameFormat::Jpeg;
        frame.size = m_size;
        return true;
    }
    const auto packedLine = static_cast<std::size_t>(m_size.width) * 2;
    const std::size_t bytesPerLine = std::max<std::size_t>(format.bytesPerLine, packedLine);
    if (buffer.bytesUsed < bytesPerLine * static_cast<std::size_t>(m_size.height))
        return false;
    convertYuyvToRgb(data, bytesPerLine, m_size, frame);
    return true;
}

}  // namespace qirmel
