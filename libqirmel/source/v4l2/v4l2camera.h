// A real camera behind a V4L2 device node, such as a UVC document camera.
#ifndef QIRMEL_V4L2CAMERA_H
#define QIRMEL_V4L2CAMERA_H

#include "source/camerasource.h"
#include "source/v4l2/v4l2settings.h"
#include "source/v4l2/v4l2stream.h"
#include "source/v4l2/videonode.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace qirmel {

// Streams MJPG frames (or YUYV ones, converted to RGB, when uncompressed frames are asked for and
// the camera has them at the size) and hands over only frames that decode. When the camera goes
// away it reports Failed once per wait, each after the wait's full timeout, and looks for the same
// camera (see VideoNode::isSameCameraAs) meanwhile; once it is back, streaming resumes as opened.
class V4l2Camera : public CameraSource {
public:
    // info.resolutions are the camera's MJPG sizes; yuyvSizes those it also offers uncompressed.
    V4l2Camera(CameraInfo info, VideoNode node, std::vector<Size> yuyvSizes, const V4l2Settings &settings);

    const CameraInfo &info() const override;
    bool open(Size size, bool compressed) override;
    void close() override;
    FrameStatus waitFrame(Frame &frame, std::chrono::milliseconds timeout) override;

private:
    using Clock = V4l2Stream::Clock;

    enum class Take { Frame, Nothing, Lost };

    bool startStream();
    bool reconnect(Clock::time_point deadline);
    Take takeNewest(Frame &frame);
    bool fill(const FilledBuffer &buffer, Frame &frame);

    const CameraInfo m_info;
    VideoNode m_node;  // where the camera was last seen
    const std::vector<Size> m_yuyvSizes;
    const int m_powerLineFrequency;
    const int m_framesToDrop;

    bool m_open = false;
    std::uint32_t m_pixelFormat = 0;
    Size m_size;
    std::unique_ptr<V4l2Stream> m_stream;  // null while the camera is away
    int m_dropsLeft = 0;
    Clock::time_point m_lastStart;
    std::vector<FilledBuffer> m_filled;
};

}  // namespace qirmel

#endif  // QIRMEL_V4L2CAMERA_H
