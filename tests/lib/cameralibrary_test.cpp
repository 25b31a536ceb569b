#include "api/cameralibrary.h"
#include "api/enumeration.h"

#include "scenesupport.h"
#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using qirmel::CameraConfig;
using qirmel::CameraLibrary;
using qirmel::FrameStatus;
using qirmel::SceneKind;
using qirmel::Size;
using qirmeltest::kLandscapeA4;
using qirmeltest::kPortraitA4;
using qirmeltest::TemporaryFolder;

namespace {

// Reads one frame the way the application's frame thread does, checking that the library kept to
// the buffer.
int readFrame(CameraLibrary &library, std::vector<std::uint8_t> &jpeg)
{
    const std::size_t capacity = static_cast<std::size_t>(library.currentWidth()) * library.currentHeight() * 3;
    std::vector<std::uint8_t> buffer(capacity + 64, 0xee);
    int length = 0;
    const int result = library.nextFrame(buffer.data(), &length);
    for (std::size_t i = capacity; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xee) << "written past width * height * 3";
    if (result >= 0) {
        EXPECT_GT(length, 0);
        EXPECT_LE(static_cast<std::size_t>(length), capacity);
        jpeg.assign(buffer.begin(), buffer.begin() + length);
    }
    return result;
}

// A library with one scripted camera, which the test keeps a handle on.
struct ScriptedLibrary {
    explicit ScriptedLibrary(std::vector<Size> sizes = {{640, 480}, {320, 240}}, const CameraConfig &config = {})
    {
        qirmel::CameraInfo info;
        info.name = "Scripted";
        info.resolutions = std::move(sizes);
        auto owned = std::make_unique<qirmeltest::ScriptedCamera>(std::move(info));
        camera = owned.get();
        std::vector<std::unique_ptr<qirmel::CameraSource>> cameras;
        cameras.push_back(std::move(owned));
        library.init(config, std::move(cameras));
    }

    int frame() { return readFrame(library, jpeg); }

    CameraLibrary library;
    qirmeltest::ScriptedCamera *camera = nullptr;
    std::vector<std::uint8_t> jpeg;
};

}  // namespace

TEST(CameraLibrary, FaultyConfigurationFileIsReportedAndTheDefaultsStart)
{
    TemporaryFolder folder;
    qirmeltest::writeFile(folder.file("CameraConf.ini"), "[library]\nbackend = nonsense\n");
    CameraLibrary library;
    std::stringstream errors;
    EXPECT_EQ(library.init(folder.file("CameraConf.ini").c_str(), errors), 0);
    EXPECT_NE(errors.str().find("CameraConf.ini:2:"), std::string::npos);
    EXPECT_EQ(library.cameraCount(), 2);
    EXPECT_GT(library.vendorId(1), 0);
}

// The application may keep a name it was given; another Init must neither free it nor leave it in
// the new list.
TEST(CameraLibrary, NamesOutliveAnotherInit)
{
    ScriptedLibrary scripted;
    const char *name = scripted.library.cameraName(0);
    const CameraConfig config;
    scripted.library.init(config, qirmel::enumerateCameras(config));
    EXPECT_STREQ(name, "Scripted");
    EXPECT_STREQ(scripted.library.cameraName(0), "Virtual Document Camera");
}

TEST(CameraLibrary, OpensTheNearestSizeOfTheLastRequest)
{
    ScriptedLibrary scripted({{3264, 2448}, {1920, 1080}, {640, 480}});
    auto &library = scripted.library;
    library.setCompressed(true);
    ASSERT_EQ(library.setRequestedSize(6000, 6000), 0);
    ASSERT_EQ(library.setRequestedSize(800, 600), 0);
    EXPECT_LT(library.setRequestedSize(0, 480), 0);
    ASSERT_EQ(library.open(0), 0);
    EXPECT_EQ(scripted.camera->openedSize(), (Size{640, 480}));
    EXPECT_TRUE(scripted.camera->compressedAsked());
    EXPECT_EQ(library.resolutionCount(), 3);
    EXPECT_EQ(library.resolutionWidth(1), 1920);
    EXPECT_EQ(library.resolutionHeight(1), 1080);
    EXPECT_LT(library.resolutionWidth(3), 0);
    EXPECT_LT(library.resolutionWidth(-1), 0);
    EXPECT_LT(library.resolutionHeight(-1), 0);
}

// A bad index or a camera that refuses leaves none open; the open camera is closed once only.
TEST(CameraLibrary, BadIndexesAndFailedOpensLeaveNoCameraOpen)
{
    EXPECT_LT(CameraLibrary().mainCamera(), 0);
    ScriptedLibrary scripted;
    auto &library = scripted.library;
    EXPECT_EQ(library.mainCamera(), 0);
    EXPECT_LT(library.auxCamera(), 0) << "one camera is no auxiliary camera";
    EXPECT_EQ(library.cameraName(1), nullptr);
    EXPECT_EQ(library.cameraName(-1), nullptr);
    EXPECT_LT(library.productId(1), 0);
    EXPECT_EQ(library.close(), 0);
    ASSERT_EQ(library.open(0), 0);
    EXPECT_EQ(library.open(1), -EINVAL);
    EXPECT_EQ(library.open(-1), -EINVAL);
    scripted.camera->setOpenFails(true);
    EXPECT_LT(library.open(0), 0);
    EXPECT_EQ(library.resolutionCount(), 0);
    EXPECT_EQ(library.currentWidth(), 0);
    EXPECT_EQ(library.currentHeight(), 0);
    EXPECT_LT(library.resolutionWidth(0), 0);
    EXPECT_EQ(library.close(), 0);
    EXPECT_EQ(scripted.camera->closeCount(), 1);
}

// The frame thread's loop is held a while per call, so that it never spins a core.
TEST(CameraLibrary, FrameWithoutAnOpenCameraWaitsThenFails)
{
    ScriptedLibrary scripted;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(scripted.frame(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 15ms);
    int length = 0;
    EXPECT_LT(scripted.library.nextFrame(nullptr, &length), 0);
}

TEST(CameraLibrary, OversizedCameraFrameIsShrunkNotCut)
{
    ScriptedLibrary scripted({{32, 32}});
    const auto jpeg = qirmeltest::encodeJpeg(qirmeltest::noiseFrame({32, 32}).data, 32, 32, 100, true);
    ASSERT_GT(jpeg.size(), 32u * 32 * 3);
    scripted.camera->setFrame(qirmel::Frame{qirmel::FrameFormat::Jpeg, Size{32, 32}, jpeg, 0});
    ASSERT_EQ(scripted.library.open(0), 0);
    ASSERT_EQ(scripted.frame(), 0);
    EXPECT_EQ(qirmeltest::inspectJpeg(scripted.jpeg).width, 32);
}

TEST(CameraLibrary, CameraTroubleIsANegativeResult)
{
    ScriptedLibrary scripted;
    ASSERT_EQ(scripted.library.open(0), 0);
    scripted.camera->setStatus(FrameStatus::Failed);
    EXPECT_EQ(scripted.frame(), -EIO);
    scripted.camera->setStatus(FrameStatus::Ok);
    scripted.camera->setFrame(qirmeltest::markedFrame({64, 48}));
    EXPECT_EQ(scripted.frame(), -EIO) << "a frame of another size than the open one";
    scripted.camera->setFrameDelay(5000ms);
    EXPECT_EQ(scripted.frame(), -ETIMEDOUT);
}

TEST(CameraLibrary, TurnsAddUpAndTurnTheSizeAndTheFrame)
{
    ScriptedLibrary scripted;
    auto &library = scripted.library;
    ASSERT_EQ(library.open(0), 0);
    for (int turn : {1, 1, -1, -1, -1})
        library.rotate(turn);
    EXPECT_EQ(library.currentWidth(), 480);
    EXPECT_EQ(library.currentHeight(), 640);
    ASSERT_EQ(scripted.frame(), 0);
    int width = 0, height = 0;
    const auto pixels = qirmeltest::decodeJpeg(scripted.jpeg, width, height);
    EXPECT_EQ(width, 480);
    EXPECT_EQ(qirmeltest::redQuarter(pixels, width, height), 3) << "a left turn takes the top left to the bottom left";
}

class Capture : public testing::Test {
protected:
    int capture(const std::string &name) { return scripted.library.capture(folder.file(name).c_str()); }

    TemporaryFolder folder;
    ScriptedLibrary scripted;
};

// A photo asked for at once after the opening waits for the frame thread's first frame, but not
// for ever.
TEST_F(Capture, NeedsAFrameAndWaitsAWhileForTheFirst)
{
    EXPECT_EQ(capture("00000.jpg"), -ENODATA);
    ASSERT_EQ(scripted.library.open(0), 0);
    EXPECT_EQ(capture("00000.jpg"), -ENODATA) << "no frame thread";
    scripted.camera->setFrameDelay(300ms);
    std::thread frameThread([this] { scripted.frame(); });
    EXPECT_EQ(capture("00001.jpg"), 0);
    frameThread.join();
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"00001.jpg"});
}

// The turn applies at once, without waiting for another frame. A failure writes nothing, and a
// closed camera has no newest frame.
TEST_F(Capture, WritesTheNewestFrameAtFullSizeWithTheCurrentTurn)
{
    ASSERT_EQ(scripted.library.open(0), 0);
    ASSERT_EQ(scripted.frame(), 0);
    scripted.library.rotate(1);
    ASSERT_EQ(capture("00000.jpg"), 0);
    int width = 0, height = 0;
    const auto pixels = qirmeltest::decodeJpeg(qirmeltest::readFile(folder.file("00000.jpg")), width, height);
    EXPECT_EQ(width, 480);
    EXPECT_EQ(height, 640);
    EXPECT_EQ(qirmeltest::redQuarter(pixels, width, height), 1);
    EXPECT_EQ(capture("00000.jpg"), -EEXIST);
    EXPECT_LT(scripted.library.capture(""), 0);
    EXPECT_LT(scripted.library.capture(nullptr), 0);
    scripted.library.close();
    EXPECT_EQ(capture("00001.jpg"), -ENODATA);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"00000.jpg"});
}

// While the frame thread waits for a slow frame, the GUI thread's calls go through at once: they
// all finish before that frame arrives.
TEST_F(Capture, GuiCallsDoNotWaitForTheNextFrame)
{
    auto &library = scripted.library;
    ASSERT_EQ(library.open(0), 0);
    ASSERT_EQ(scripted.frame(), 0);
    scripted.camera->setFrameDelay(900ms);
    std::atomic<bool> frameDone{false};
    std::thread frameThread([&] {
        std::vector<std::uint8_t> jpeg;
        readFrame(library, jpeg);
        frameDone = true;
    });
    std::this_thread::sleep_for(100ms);  // let it get into the wait
    EXPECT_EQ(library.rotate(1), 0);
    EXPECT_EQ(capture("photo.jpg"), 0);
    EXPECT_EQ(library.currentWidth(), 480);
    EXPECT_FALSE(frameDone) << "a GUI call waited for the frame";
    frameThread.join();
    EXPECT_EQ(qirmeltest::inspectJpegFile(folder.file("photo.jpg")).width, 480);
}

// Live frames and photos each have a quality of their own.
TEST(CameraLibrary, PhotoQualityIsNotTheFrameQuality)
{
    TemporaryFolder folder;
    CameraConfig config;
    config.frameQuality = 95;
    config.photoQuality = 20;
    ScriptedLibrary scripted({{320, 240}}, config);
    scripted.camera->setFrame(qirmeltest::noiseFrame({320, 240}));
    ASSERT_EQ(scripted.library.open(0), 0);
    ASSERT_EQ(scripted.frame(), 0);
    ASSERT_EQ(scripted.library.capture(folder.file("photo.jpg").c_str()), 0);
    EXPECT_GT(scripted.jpeg.size(), qirmeltest::readFile(folder.file("photo.jpg")).size() * 2);
}

const Size kCropSize{1280, 720};

// The camera films a drawn page in JPEG at kCropSize, with auto crop on.
class CameraLibraryAutoCrop : public testing::Test {
protected:
    void SetUp() override
    {
        scripted.camera->setFrame(qirmeltest::sceneFrame(SceneKind::Page, kCropSize, qirmel::FrameFormat::Jpeg));
        scripted.library.setAutoCrop(true);
        ASSERT_EQ(scripted.library.open(0), 0);
    }

    // Reads frames until one is cut (or a few more than the crop needs to settle have gone by) and
    // returns that one; empty when none was.
    std::vector<std::uint8_t> firstCutFrame()
    {
        for (int i = 0; i < 6; ++i)
            if (scripted.frame() == 0 &&
                qirmeltest::inspectJpeg(scripted.jpeg).width != scripted.library.currentWidth())
                return scripted.jpeg;
        return {};
    }

    ScriptedLibrary scripted{{kCropSize}};
};

TEST_F(CameraLibraryAutoCrop, LiveFramesAndPhotosShowThePageAlone)
{
    TemporaryFolder folder;
    // One frame only: the live preview has not shown the page yet, the photo finds it itself.
    ASSERT_EQ(scripted.frame(), 0);
    ASSERT_EQ(scripted.library.capture(folder.file("page.jpg").c_str()), 0);
    const auto photo = qirmeltest::inspectJpegFile(folder.file("page.jpg"));
    EXPECT_NEAR(double(photo.width) / photo.height, kPortraitA4, 0.03 * kPortraitA4);
    const qirmel::Quad truth = qirmeltest::sceneOutline(SceneKind::Page, kCropSize);
    EXPECT_NEAR(qirmeltest::resolutionShare({photo.width, photo.height}, truth), 1.0, 0.03);
    EXPECT_NEAR(qirmeltest::aspectOf(firstCutFrame()), kPortraitA4, 0.03 * kPortraitA4);

    scripted.library.setAutoCrop(false);
    ASSERT_EQ(scripted.frame(), 0);
    EXPECT_EQ(qirmeltest::inspectJpeg(scripted.jpeg).width, kCropSize.width);
}

// A reopened camera keeps the turn and the auto crop but forgets where the page was: a first
// sighting after opening is not shown.
TEST_F(CameraLibraryAutoCrop, ReopeningKeepsTheSettingsButForgetsThePage)
{
    scripted.library.rotate(1);
    ASSERT_FALSE(firstCutFrame().empty());
    scripted.library.close();
    ASSERT_EQ(scripted.library.open(0), 0);
    ASSERT_EQ(scripted.frame(), 0);
    EXPECT_EQ(qirmeltest::inspectJpeg(scripted.jpeg).width, kCropSize.height);
    EXPECT_NEAR(qirmeltest::aspectOf(firstCutFrame()), kLandscapeA4, 0.03 * kLandscapeA4);
}
