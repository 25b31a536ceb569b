// A camera that films a scene of its own: what the library offers where there is no hardware.
#ifndef QIRMEL_VIRTUALCAMERA_H
#define QIRMEL_VIRTUALCAMERA_H

#include "source/camerasource.h"
#include "source/scenescript.h"
#include "source/stillpreparer.h"
#include "source/virtualcameraconfig.h"

#include <opencv2/core.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace qirmel {

// Renders its scene once per opening at the opened size and then delivers it as raw B G R frames at
// the configured rate, each with fresh sensor noise, as a camera with a fixed clock does: a caller
// that comes late gets the next frame at once, one that comes later than a whole period has missed
// frames. The scene is rendered in the background, so that opening returns at once; the frames start
// once it is ready, the first wait after an opening lasting until then, past its timeout. Above
// 1280x720 the frames start with a draft of the scene, rendered small and enlarged, until the full
// render is done. A scene of several stills moves on to the next every interval, once the next is
// rendered. The picture is turned as preferTurns() asks, once per change rather than once per frame.
class VirtualCamera : public CameraSource {
public:
    explicit VirtualCamera(VirtualCameraConfig config);
    // Films script instead of the scene that config describes: how tests control the rendering.
    VirtualCamera(VirtualCameraConfig config, std::unique_ptr<SceneScript> script);

    const CameraInfo &info() const override;
    bool open(Size size, bool compressed) override;
    void close() override;
    FrameStatus waitFrame(Frame &frame, std::chrono::milliseconds timeout) override;
    void preferTurns(int quarterTurns) override;

    // Frames per second at size: the configured rate, else 15 above 1920x1080 and 30 up to it.
    int frameRate(Size size) const;

private:
    using Clock = std::chrono::steady_clock;

    // How far the opening's scene has come.
    enum class Start {
        Drafting,    // the preparer renders the draft; nothing to show yet
        Rendering,   // the preparer renders the full still; nothing to show yet
        Sharpening,  // the draft is shown, the preparer renders the full still
        Done,
    };

    // Asks the preparer for the still that starts the scene: its draft, or the still itself.
    void prepareFirst();
    // Waits for the still that starts the scene (or its draft) and shows it; false, once deadline has
    // passed, when it could not be made.
    bool showFirstStill(Clock::time_point deadline);
    // Shows what the preparer made for the opening: the draft, enlarged, or the full still.
    void showPrepared(cv::Mat still, Clock::time_point now);
    // Makes still (upright, at the opened size) the one shown.
    void show(cv::Mat still);
    // Asks for the still after the one shown, for a scene of several.
    void prepareNext(Clock::time_point now);
    // Moves on to the next still when it is due and rendered.
    void advance(Clock::time_point now);
    void addNoise(std::uint8_t *target);

    VirtualCameraConfig m_config;
    std::unique_ptr<SceneScript> m_script;
    // Made at the first opening. Declared after the script, whose rendering its worker calls, so that
    // it is destroyed (and its worker joined) first.
    std::unique_ptr<StillPreparer> m_preparer;

    bool m_open = false;
    Size m_size;
    Clock::duration m_period{};
    Clock::time_point m_nextFrame;

    Start m_start = Start::Done;
    int m_shownIndex = -1;     // the still shown; -1 while none is
    int m_preparedIndex = -1;  // the still the preparer works on
    Clock::time_point m_nextStill;
    Size m_stillSize;  // the size the shown still was rendered at; none for a draft

    int m_wantedTurns = 0;
    cv::Mat m_scene;  // the still shown, darkened by the noise's mean so that the noise only adds, turned
    int m_sceneTurns = 0;

    std::vector<std::uint8_t> m_noise;
    std::minstd_rand m_random;
};

}  // namespace qirmel

#endif  // QIRMEL_VIRTUALCAMERA_H
