// The GUI thread's calls against a frame thread that sits in nextFrame(), as the application makes
// them. Meant to run under ThreadSanitizer too (-DDOCCAM_SANITIZE=thread).
#include "api/cameralibrary.h"
#include "api/enumeration.h"

#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using qirmel::CameraConfig;
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
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_running = false;
        }
        m_counted.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    // Returns once more frames have come than had when it was called, or the loop has stopped.
    void waitForFrames(int more)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const int target = m_frames + more;
        m_counted.wait(lock, [&] { return m_frames >= target || !m_running; });
    }

    int frames() const { return m_frames; }
    int cutFrames() const { return m_cutFrames; }
    int badFrames() const { return m_badFrames; }
    // What the first bad frame was, for the failure message.
    std::string firstBadFrame() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_firstBad;
    }

private:
    void run()
    {
        const std::size_t capacity = static_cast<std::size_t>(m_library.currentWidth()) * m_library.currentHeight() * 3;
        std::vector<std::uint8_t> buffer(capacity);
        while (m_running) {
            const int width = m_library.currentWidth();
            const int height = m_library.currentHeight();
            int length = 0;
            if (m_library.nextFrame(buffer.data(), &length) < 0)
                continue;
            const auto info = qirmeltest::inspectJpeg(buffer.data(), static_cast<std::size_t>(length));
            const Shape shape = shapeOf(info, width, height);
            if (shape == Shape::Wrong || static_cast<std::size_t>(length) > capacity) {
                const std::lock_guard<std::mutex> lock(m_mutex);
                if (m_badFrames++ == 0)
                    m_firstBad = std::to_string(info.width) + "x" + std::to_string(info.height) + " (" +
                                 std::to_string(length) + " bytes) while " + std::to_string(width) + "x" +
                                 std::to_string(height) + " was current";
            }
            m_cutFrames += shape == Shape::Cut;
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                ++m_frames;
            }
            m_counted.notify_all();
        }
    }

    CameraLibrary &m_library;
    mutable std::mutex m_mutex;
    std::string m_firstBad;
    std::condition_variable m_counted;
    std::atomic<bool> m_running{true};
    std::atomic<int> m_frames{0};
    std::atomic<int> m_cutFrames{0};
    std::atomic<int> m_badFrames{0};
    std::thread m_thread;
};

// Switches auto crop on and off as fast as it can while two frames go by, so that frames and photos
// meet a switch somewhere along their road; then leaves it on for three frames, long enough for the
// live crop to confirm the page; and so on until stopped.
class CropToggler {
public:
    CropToggler(CameraLibrary &library, FrameLoop &loop)
        : m_thread([this, &library, &loop] {
              while (m_running) {
                  const int until = loop.frames() + 2;
                  for (bool on = true; m_running && loop.frames() < until; on = !on) {
                      library.setAutoCrop(on);
                      std::this_thread::yield();
                  }
                  library.setAutoCrop(true);
                  loop.waitForFrames(3);
              }
          })
    {
    }
    ~CropToggler() { stop(); }

    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

}  // namespace

// Runs until enough has happened rather than for a time, so that a slow (sanitised, loaded) machine
// only takes longer; the cap is there so that a hang fails instead of blocking the suite.
TEST(Concurrency, PhotosTurnsAndAutoCropAgainstARunningFrameLoop)
{
    CameraConfig config;
    config.virtualCameras[0].info.resolutions = {{320, 240}};
    config.virtualCameras[0].fps = 120;
    CameraLibrary library;
    library.init(config, qirmel::enumerateCameras(config));
    ASSERT_EQ(library.open(0), 0);

    qirmeltest::TemporaryFolder folder;
    std::mt19937 random(7);
    int photos = 0, written = 0;
    {
        FrameLoop loop(library);
        CropToggler toggler(library, loop);
        const auto cap = std::chrono::steady_clock::now() + 120s;
        const auto enough = [&] { return loop.frames() >= 200 && loop.cutFrames() >= 10 && written >= 20; };
        while (!enough() && std::chrono::steady_clock::now() < cap) {
            switch (random() % 4) {
            case 0: {
                const int result = library.capture(folder.file(std::to_string(photos++) + ".jpg").c_str());
                EXPECT_TRUE(result == 0 || result == -ENODATA) << result;
                written += result == 0;
                break;
            }
            case 1:
                library.rotate(1);
                break;
            case 2:
                library.rotate(-1);
                break;
            default:
                EXPECT_GT(library.currentWidth() * library.currentHeight(), 0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 5));
        }
        toggler.stop();
        loop.stop();
        EXPECT_GE(loop.frames(), 200);
        EXPECT_GE(loop.cutFrames(), 10) << "the crop must have been on for some frames";
        EXPECT_EQ(loop.badFrames(), 0) << "the first: " << loop.firstBadFrame();
    }
    EXPECT_GE(written, 20);
    for (const std::string &name : folder.entries()) {
        const auto info = qirmeltest::inspectJpegFile(folder.file(name));
        EXPECT_NE(shapeOf(info, 320, 240), Shape::Wrong) << name << " is " << info.width << "x" << info.height;
    }
    EXPECT_EQ(static_cast<int>(folder.entries().size()), written);
}

// While the frame thread waits for a slow frame, the GUI thread's calls go through at once: they
// all finish before that frame arrives.
TEST(Concurrency, GuiCallsDoNotWaitForTheNextFrame)
{
    qirmel::CameraInfo info;
    info.name = "Slow";
    info.resolutions = {{320, 240}};
    auto owned = std::make_unique<qirmeltest::ScriptedCamera>(info);
    auto *camera = owned.get();
    std::vector<std::unique_ptr<qirmel::CameraSource>> cameras;
    cameras.push_back(std::move(owned));
    CameraLibrary library;
    library.init(CameraConfig(), std::move(cameras));
    ASSERT_EQ(library.open(0), 0);

    std::vector<std::uint8_t> buffer(320 * 240 * 3);
    int length = 0;
    ASSERT_EQ(library.nextFrame(buffer.data(), &length), 0);

    camera->setFrameDelay(900ms);
    std::atomic<bool> frameDone{false};
    std::thread frameThread([&] {
        std::vector<std::uint8_t> frame(320 * 240 * 3);
        int frameLength = 0;
        library.nextFrame(frame.data(), &frameLength);
        frameDone = true;
    });
    std::this_thread::sleep_for(100ms);  // let it get into the wait

    qirmeltest::TemporaryFolder folder;
    EXPECT_EQ(library.rotate(1), 0);
    EXPECT_EQ(library.setAutoCrop(true), 0);
    EXPECT_EQ(library.capture(folder.file("photo.jpg").c_str()), 0);
    EXPECT_EQ(library.currentWidth(), 240);
    EXPECT_EQ(library.rotate(-1), 0);
    EXPECT_FALSE(frameDone) << "a GUI call waited for the frame";

    frameThread.join();
    EXPECT_EQ(qirmeltest::inspectJpegFile(folder.file("photo.jpg")).width, 240);
}
