// A camera whose behaviour each test sets: what it delivers, how long a frame takes, whether it
// opens at all.
#ifndef QIRMEL_SCRIPTEDCAMERA_H
#define QIRMEL_SCRIPTEDCAMERA_H

#include "source/camerasource.h"

#include <atomic>
#include <chrono>
#include <optional>

namespace qirmeltest {

class ScriptedCamera : public qirmel::CameraSource {
public:
    explicit ScriptedCamera(qirmel::CameraInfo info);

    // The frame to deliver every time; without one, an RGB frame of the opened size that is grey
    // with a red top left quarter, so that turns can be told apart.
    void setFrame(qirmel::Frame frame) { m_frame = std::move(frame); }
    void setFrameDelay(std::chrono::milliseconds delay) { m_delay = delay; }
    void setStatus(qirmel::FrameStatus status) { m_status = status; }
    void setOpenFails(bool fails) { m_openFails = fails; }

    int closeCount() const { return m_closes; }
    int frameCount() const { return m_frames; }
    qirmel::Size openedSize() const { return m_size; }
    bool compressedAsked() const { return m_compressed; }

    const qirmel::CameraInfo &info() const override { return m_info; }
    bool open(qirmel::Size size, bool compressed) override;
    void close() override;
    qirmel::FrameStatus waitFrame(qirmel::Frame &frame, std::chrono::milliseconds timeout) override;

private:
    qirmel::CameraInfo m_info;
    std::optional<qirmel::Frame> m_frame;
    std::atomic<std::chrono::milliseconds> m_delay{std::chrono::milliseconds(1)};
    std::atomic<qirmel::FrameStatus> m_status{qirmel::FrameStatus::Ok};
    bool m_openFails = false;
    bool m_open = false;
    bool m_compressed = false;
    qirmel::Size m_size;
    std::atomic<int> m_closes{0};
    std::atomic<int> m_frames{0};
};

// The grey frame with a red top left quarter described above.
qirmel::Frame markedFrame(qirmel::Size size);

// A frame of random pixels, which no JPEG quality compresses much.
qirmel::Frame noiseFrame(qirmel::Size size);

// The same packed pixels with the first and third channel swapped: RGB to BGR and back.
std::vector<std::uint8_t> swapRedBlue(std::vector<std::uint8_t> pixels);

// Which quarter of a decoded RGB image is red: 0 top left, 1 top right, 2 bottom right, 3 bottom
// left; -1 when none is clearly red.
int redQuarter(const std::vector<std::uint8_t> &rgb, int width, int height);

}  // namespace qirmeltest

#endif  // QIRMEL_SCRIPTEDCAMERA_H
