// The GUI thread's calls against a frame thread that sits in nextFrame(), as the application makes
// them. Meant to run under ThreadSanitizer too (-DDOCCAM_SANITIZE=thread).
#include "api/cameralibrary.h"
#include "api/enumeration.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <random>
#include <string>
#include <thread>

using qirmel::CameraLibrary;

namespace {

// Whole frames come in either orientation, as a turn may land between reading the size and the
// frame; anything else is a cut. How well the page is cut is for the tests without threads to judge:
// here a torn or unreadable picture is what counts as wrong.
enum class Shape { Whole, Cut, Wrong };

Shape shapeOf(const qirmeltest::JpegInfo &info, int width, int height)
{
    if (!info.valid)
        return Shape::Wrong;
    if ((info.width == width && info.height == height) || (info.width == height && info.height == width))
        return Shape::Whole;
    return Shape::Cut;
}

// The application's frame loop: the size is read at the start of a run, then frames until stopped.
class FrameLoop {
public:
    explicit FrameLoop(CameraLibrary &library) : m_library(library), m_thread([this] { run(); }) {}
    ~FrameLoop() { stop(); }

    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }

    std::atomic<int> frames{0};
    std::atomic<int> cutFrames{0};
    // The first frame that was neither whole nor cut, for the failure message: read it once stopped.
    std::string firstBadFrame;

private:
    void run()
    {
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(m_library.currentWidth()) *
                                         m_library.currentHeight() * 3);
        while (m_running) {
            const int width = m_library.currentWidth();
            const int height = m_library.currentHeight();
            int length = 0;
            if (m_library.nextFrame(buffer.data(), &length) < 0)
                continue;
            const auto info = qirmeltest::inspectJpeg(buffer.data(), static_cast<std::size_t>(length));
            const Shape shape = shapeOf(info, width, height);
            if ((shape == Shape::Wrong || static_cast<std::size_t>(length) > buffer.size()) && firstBadFrame.empty())
                firstBadFrame = std::to_string(info.width) + "x" + std::to_string(info.height) + " (" +
                                std::to_string(length) + " bytes) while " + std::to_string(width) + "x" +
                                std::to_string(height) + " was current";
            cutFrames += shape == Shape::Cut;
            ++frames;
        }
    }

    CameraLibrary &m_library;
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

}  // namespace

// Runs until enough has happened rather than for a time, so that a slow (sanitised, loaded) machine
// only takes longer; the cap is there so that a hang fails instead of blocking the suite.
TEST(Concurrency, PhotosTurnsAndAutoCropAgainstARunningFrameLoop)
{
    qirmel::CameraConfig config;
    config.virtualCameras[0].info.resolutions = {{320, 240}};
    config.virtualCameras[0].fps = 120;
    CameraLibrary library;
    library.init(config, qirmel::enumerateCameras(config));
    ASSERT_EQ(library.open(0), 0);

    qirmeltest::TemporaryFolder folder;
    std::mt19937 random(7);
    int photos = 0, written = 0;
    FrameLoop loop(library);
    // Switches auto crop on and off as fast as it can while two frames go by, so that frames and
    // photos meet a switch somewhere along their road; then leaves it on for three frames, long
    // enough for the live crop to confirm the page; and so on until stopped.
    std::atomic<bool> toggling{true};
    std::thread toggler([&] {
        while (toggling) {
            const int until = loop.frames + 2;
            for (bool on = true; toggling && loop.frames < until; on = !on) {
                library.setAutoCrop(on);
                std::this_thread::yield();
            }
            library.setAutoCrop(true);
            while (toggling && loop.frames < until + 3)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto cap = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    const auto enough = [&] { return loop.frames >= 200 && loop.cutFrames >= 10 && written >= 20; };
    while (!enough() && std::chrono::steady_clock::now() < cap) {
        const auto action = random() % 4;
        if (action == 0) {
            const int result = library.capture(folder.file(std::to_string(photos++) + ".jpg").c_str());
            EXPECT_TRUE(result == 0 || result == -ENODATA) << result;
            written += result == 0;
        } else if (action < 3) {
            library.rotate(action == 1 ? 1 : -1);
        } else {
            EXPECT_GT(library.currentWidth() * library.currentHeight(), 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 5));
    }
    toggling = false;
    toggler.join();
    loop.stop();
    EXPECT_GE(loop.frames, 200);
    EXPECT_GE(loop.cutFrames, 10) << "the crop must have been on for some frames";
    EXPECT_EQ(loop.firstBadFrame, "");
    EXPECT_GE(written, 20);
    for (const std::string &name : folder.entries()) {
        const auto info = qirmeltest::inspectJpegFile(folder.file(name));
        EXPECT_NE(shapeOf(info, 320, 240), Shape::Wrong) << name << " is " << info.width << "x" << info.height;
    }
    EXPECT_EQ(static_cast<int>(folder.entries().size()), written);
}
