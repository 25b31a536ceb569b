// The GUI thread's calls against a frame thread that sits in nextFrame(), as the application makes
// them. Meant to run under ThreadSanitizer too (-DDOCCAM_SANITIZE=thread).
#include "api/cameralibrary.h"
#include "source/enumeration.h"

#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using qirmel::CameraConfig;
using qirmel::CameraLibrary;

namespace {

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

    int frames() const { return m_frames; }
    int badFrames() const { return m_badFrames; }

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
            // A turn may land between reading the size and the frame: either orientation is right.
            const bool sizeOk = (info.width == width && info.height == height) ||
                                (info.width == height && info.height == width);
            if (!info.valid || !sizeOk || static_cast<std::size_t>(length) > capacity)
                ++m_badFrames;
            ++m_frames;
        }
    }

    CameraLibrary &m_library;
    std::atomic<bool> m_running{true};
    std::atomic<int> m_frames{0};
    std::atomic<int> m_badFrames{0};
    std::thread m_thread;
};

}  // namespace

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
        const auto end = std::chrono::steady_clock::now() + 2s;
        while (std::chrono::steady_clock::now() < end) {
            switch (random() % 5) {
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
            case 3:
                library.setAutoCrop(random() % 2 != 0);
                break;
            default:
                EXPECT_GT(library.currentWidth() * library.currentHeight(), 0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 5));
        }
        loop.stop();
        EXPECT_GT(loop.frames(), 10);
        EXPECT_EQ(loop.badFrames(), 0);
    }
    EXPECT_GT(written, 0);
    for (const std::string &name : folder.entries()) {
        const auto info = qirmeltest::inspectJpegFile(folder.file(name));
        EXPECT_TRUE(info.valid) << name;
        EXPECT_TRUE((info.width == 320 && info.height == 240) || (info.width == 240 && info.height == 320)) << name;
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
