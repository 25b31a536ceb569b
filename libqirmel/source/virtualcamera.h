// A camera that films a synthetic desk scene: what the library offers where there is no hardware.
#ifndef QIRMEL_VIRTUALCAMERA_H
#define QIRMEL_VIRTUALCAMERA_H

#include "config/cameraconfig.h"
#include "source/camerasource.h"

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

namespace qirmel {

// Renders its scene once per opening at the opened size and then delivers it as raw RGB frames at
// the configured rate, each with fresh sensor noise, as a camera with a fixed clock does: a caller
// that comes late gets the next frame at once, one that comes later than a whole period has missed
// frames.
class VirtualCamera : public CameraSource {
public:
    explicit VirtualCamera(VirtualCameraConfig config);

    const CameraInfo &info() const override;
    bool open(Size size, bool compressed) override;
    void close() override;
    FrameStatus waitFrame(Frame &frame, std::chrono::milliseconds timeout) override;

    // Frames per second at size: the configured rate, else 15 above 1920x1080 and 30 up to it.
    int frameRate(Size size) const;

private:
    using Clock = std::chrono::steady_clock;

    void addNoise(std::uint8_t *target);

    VirtualCameraConfig m_config;
    bool m_open = false;
    Size m_size;
    Clock::duration m_period{};
    Clock::time_point m_nextFrame;
    Size m_sceneSize;
    std::vector<std::uint8_t> m_scene;  // darkened by the noise's mean so that the noise adds only
    std::vector<std::uint8_t> m_noise;
    std::minstd_rand m_random;
};

}  // namespace qirmel

#endif  // QIRMEL_VIRTUALCAMERA_H
