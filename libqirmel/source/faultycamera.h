// A camera with faults: another camera's frames, with the failures that CameraFaults sets woven in.
#ifndef QIRMEL_FAULTYCAMERA_H
#define QIRMEL_FAULTYCAMERA_H

#include "core/jpegcodec.h"
#include "source/camerafaults.h"
#include "source/camerasource.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace qirmel {

// Behaves as the camera it wraps, but for the faults: a failing read takes its frame's time and then
// fails; a damaged or cut-off frame arrives as a JPEG whose headers are whole, as an MJPG camera would
// send it; a stall holds the next frame back, longer than a wait may last; an unplugged camera fails
// every wait and every opening until it comes back; a refused photo makes Capture fail.
class FaultyCamera : public CameraSource {
public:
    FaultyCamera(std::unique_ptr<CameraSource> camera, const CameraFaults &faults);

    const CameraInfo &info() const override;
    bool open(Size size, bool compressed) override;
    void close() override;
    FrameStatus waitFrame(Frame &frame, std::chrono::milliseconds timeout) override;
    void preferTurns(int quarterTurns) override;
    bool allowPhoto() override;

private:
    using Clock = std::chrono::steady_clock;

    void damage(Frame &frame, bool cutOff);

    const std::unique_ptr<CameraSource> m_camera;
    const CameraFaults m_faults;
    JpegCodec m_codec;
    std::vector<std::uint8_t> m_jpeg;

    long m_frames = 0;         // frames delivered since the opening
    long m_stalledBefore = 0;  // the frame whose stall has begun, so that it is held back once
    Clock::time_point m_stallEnd;
    Clock::time_point m_backAt;  // when an unplugged camera is there again
    std::atomic<long> m_photos{0};
};

}  // namespace qirmel

#endif  // QIRMEL_FAULTYCAMERA_H
