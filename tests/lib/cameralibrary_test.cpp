#include "api/cameralibrary.h"
#include "api/enumeration.h"

#include "scenesupport.h"
#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using qirmel::CameraConfig;
using qirmel::CameraInfo;
using qirmel::CameraLibrary;
using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FrameStatus;
using qirmel::Size;
using qirmeltest::ScriptedCamera;
using qirmeltest::TemporaryFolder;

namespace {

CameraInfo scriptedInfo(std::vector<Size> sizes = {{640, 480}, {320, 240}})
{
    CameraInfo info;
    info.name = "Scripted";
    info.vendorId = 0x1234;
    info.productId = 0x5678;
    info.resolutions = std::move(sizes);
    return info;
}

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
    explicit ScriptedLibrary(CameraInfo info = scriptedInfo(), CameraConfig config = CameraConfig())
    {
        auto owned = std::make_unique<ScriptedCamera>(std::move(info));
        camera = owned.get();
        std::vector<std::unique_ptr<qirmel::CameraSource>> cameras;
        cameras.push_back(std::move(owned));
        library.init(config, std::move(cameras));
    }

    int frame(std::vector<std::uint8_t> &jpeg) { return readFrame(library, jpeg); }

    CameraLibrary library;
    ScriptedCamera *camera = nullptr;
};

CameraConfig smallVirtualCameras()
{
    CameraConfig config;
    config.virtualCameras[0].info.resolutions = {{320, 240}, {160, 120}};
    config.virtualCameras[0].fps = 60;
    return config;
}

}  // namespace

TEST(CameraLibrary, NothingBeforeInit)
{
    CameraLibrary library;
    EXPECT_EQ(library.cameraCount(), 0);
    EXPECT_EQ(library.cameraName(0), nullptr);
    EXPECT_LT(library.vendorId(0), 0);
    EXPECT_LT(library.mainCamera(), 0);
    EXPECT_LT(library.open(0), 0);
    EXPECT_EQ(library.resolutionCount(), 0);
    EXPECT_EQ(library.currentWidth(), 0);
}

TEST(CameraLibrary, DefaultCamerasWithoutAConfigurationFile)
{
    TemporaryFolder folder;
    CameraLibrary library;
    std::stringstream errors;
    ASSERT_EQ(library.init(folder.file("absent.ini").c_str(), errors), 0);
    EXPECT_EQ(errors.str(), "");
    ASSERT_EQ(library.cameraCount(), 2);
    EXPECT_STREQ(library.cameraName(0), "Virtual Document Camera");
    EXPECT_STREQ(library.cameraName(1), "Virtual Auxiliary Camera");
    EXPECT_EQ(library.cameraName(2), nullptr);
    EXPECT_EQ(library.cameraName(-1), nullptr);
    EXPECT_GT(library.vendorId(0), 0);
    EXPECT_GT(library.productId(1), 0);
    EXPECT_LT(library.productId(2), 0);
    EXPECT_EQ(library.mainCamera(), 0);
    EXPECT_EQ(library.auxCamera(), 1);
}

TEST(CameraLibrary, MalformedConfigurationStillStarts)
{
    TemporaryFolder folder;
    qirmeltest::writeFile(folder.file("CameraConf.ini"), "[library]\nbackend = nonsense\n");
    CameraLibrary library;
    std::stringstream errors;
    EXPECT_EQ(library.init(folder.file("CameraConf.ini").c_str(), errors), 0);
    EXPECT_NE(errors.str().find("CameraConf.ini:2:"), std::string::npos);
    EXPECT_EQ(library.cameraCount(), 2);
}

TEST(CameraLibrary, V4l2BackendWithoutDevicesOffersNoCamera)
{
    CameraConfig config;
    config.backend = qirmel::Backend::V4l2;
    CameraLibrary library;
    library.init(config, qirmel::enumerateCameras(config));
    EXPECT_EQ(library.cameraCount(), 0);
    EXPECT_LT(library.mainCamera(), 0);
    EXPECT_LT(library.auxCamera(), 0);
}

TEST(CameraLibrary, NamesOutliveAnotherInit)
{
    ScriptedLibrary scripted;
    const char *name = scripted.library.cameraName(0);
    scripted.library.init(CameraConfig(), {});
    EXPECT_STREQ(name, "Scripted");
}

TEST(CameraLibrary, OpensTheNearestSizeOfTheLastRequest)
{
    ScriptedLibrary scripted(scriptedInfo(CameraConfig::defaultVirtualCamera(0).info.resolutions));
    auto &library = scripted.library;
    library.setCompressed(true);
    ASSERT_EQ(library.setRequestedSize(6000, 6000), 0);
    ASSERT_EQ(library.open(0), 0);
    EXPECT_EQ(library.currentWidth(), 3264);
    EXPECT_EQ(library.currentHeight(), 2448);
    EXPECT_TRUE(scripted.camera->compressedAsked());

    library.close();
    library.setRequestedSize(800, 600);
    ASSERT_EQ(library.open(0), 0);
    EXPECT_EQ(scripted.camera->openedSize(), (Size{640, 480}));
    EXPECT_EQ(library.resolutionCount(), 5);
    EXPECT_EQ(library.resolutionWidth(2), 1920);
    EXPECT_EQ(library.resolutionHeight(2), 1080);
    EXPECT_LT(library.resolutionWidth(5), 0);
    EXPECT_LT(library.resolutionHeight(-1), 0);
    EXPECT_LT(library.setRequestedSize(0, 480), 0);
}

TEST(CameraLibrary, BadIndexLeavesTheCameraClosed)
{
    ScriptedLibrary scripted;
    auto &library = scripted.library;
    ASSERT_EQ(library.open(0), 0);
    EXPECT_EQ(library.open(1), -EINVAL);
    EXPECT_EQ(library.open(-1), -EINVAL);
    EXPECT_EQ(library.resolutionCount(), 0);
    EXPECT_EQ(library.currentWidth(), 0);
    EXPECT_EQ(library.currentHeight(), 0);
    EXPECT_LT(library.resolutionWidth(0), 0);
    EXPECT_EQ(scripted.camera->closeCount(), scripted.camera->openCount());
}

TEST(CameraLibrary, CameraThatFailsToOpenStaysClosed)
{
    ScriptedLibrary scripted;
    scripted.camera->setOpenFails(true);
    EXPECT_LT(scripted.library.open(0), 0);
    EXPECT_EQ(scripted.library.resolutionCount(), 0);
    EXPECT_EQ(scripted.library.currentWidth(), 0);
}

TEST(CameraLibrary, CloseIsHarmlessWhenClosed)
{
    ScriptedLibrary scripted;
    EXPECT_EQ(scripted.library.close(), 0);
    ASSERT_EQ(scripted.library.open(0), 0);
    EXPECT_EQ(scripted.library.close(), 0);
    EXPECT_EQ(scripted.library.close(), 0);
    EXPECT_EQ(scripted.camera->closeCount(), 1);
}

TEST(CameraLibrary, FrameWithoutAnOpenCameraWaitsThenFails)
{
    ScriptedLibrary scripted;
    std::vector<std::uint8_t> buffer(16);
    int length = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(scripted.library.nextFrame(buffer.data(), &length), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 15ms);
    EXPECT_LT(waited, 1s);
    EXPECT_LT(scripted.library.nextFrame(nullptr, &length), 0);
}

TEST(CameraLibrary, FramesAreJpegsOfTheCurrentSizeWithinTheBuffer)
{
    CameraLibrary library;
    const CameraConfig config = smallVirtualCameras();
    library.init(config, qirmel::enumerateCameras(config));
    ASSERT_EQ(library.open(0), 0);
    for (int turn = 0; turn < 5; ++turn) {
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(library.currentWidth()) * library.currentHeight() * 3);
        int length = 0;
        ASSERT_EQ(library.nextFrame(buffer.data(), &length), 0);
        ASSERT_LE(static_cast<std::size_t>(length), buffer.size());
        const auto info = qirmeltest::inspectJpeg(buffer.data(), static_cast<std::size_t>(length));
        EXPECT_TRUE(info.valid);
        EXPECT_EQ(info.width, library.currentWidth());
        EXPECT_EQ(info.height, library.currentHeight());
        library.rotate(1);
    }
}

TEST(CameraLibrary, OversizedCameraFrameIsShrunkNotCut)
{
    ScriptedLibrary scripted(scriptedInfo({{32, 32}}));
    const Frame raw = qirmeltest::noiseFrame({32, 32});
    Frame frame;
    frame.format = FrameFormat::Jpeg;
    frame.size = Size{32, 32};
    frame.data = qirmeltest::encodeJpeg(raw.data, 32, 32, 100, true);
    ASSERT_GT(frame.data.size(), 32u * 32 * 3);
    scripted.camera->setFrame(frame);
    ASSERT_EQ(scripted.library.open(0), 0);
    std::vector<std::uint8_t> jpeg;
    ASSERT_EQ(scripted.frame(jpeg), 0);
    const auto info = qirmeltest::inspectJpeg(jpeg);
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.width, 32);
}

TEST(CameraLibrary, FrameOfTheWrongSizeIsRefused)
{
    ScriptedLibrary scripted;
    scripted.camera->setFrame(qirmeltest::markedFrame({64, 48}));
    ASSERT_EQ(scripted.library.open(0), 0);
    std::vector<std::uint8_t> jpeg;
    EXPECT_LT(scripted.frame(jpeg), 0);
}

TEST(CameraLibrary, CameraTroubleIsANegativeResult)
{
    ScriptedLibrary scripted;
    ASSERT_EQ(scripted.library.open(0), 0);
    std::vector<std::uint8_t> jpeg;
    scripted.camera->setStatus(FrameStatus::Failed);
    EXPECT_EQ(scripted.frame(jpeg), -EIO);
    scripted.camera->setStatus(FrameStatus::Ok);
    scripted.camera->setFrameDelay(5000ms);
    EXPECT_EQ(scripted.frame(jpeg), -ETIMEDOUT);
}

TEST(CameraLibrary, RotationSwapsTheCurrentSize)
{
    ScriptedLibrary scripted;
    auto &library = scripted.library;
    ASSERT_EQ(library.open(0), 0);
    library.rotate(1);
    EXPECT_EQ(library.currentWidth(), 480);
    EXPECT_EQ(library.currentHeight(), 640);
    library.rotate(1);
    EXPECT_EQ(library.currentWidth(), 640);
    library.rotate(-1);
    library.rotate(-1);
    library.rotate(-1);
    EXPECT_EQ(library.currentWidth(), 480);
    EXPECT_EQ(library.currentHeight(), 640);
    std::vector<std::uint8_t> jpeg;
    ASSERT_EQ(scripted.frame(jpeg), 0);
    int width = 0, height = 0;
    const auto pixels = qirmeltest::decodeJpeg(jpeg, width, height);
    EXPECT_EQ(width, 480);
    EXPECT_EQ(qirmeltest::redQuarter(pixels, width, height), 3) << "a left turn takes the top left to the bottom left";
}

TEST(CameraLibrary, RotationAndAutoCropOutliveAReopen)
{
    ScriptedLibrary scripted(scriptedInfo({{1280, 720}}));
    scripted.camera->setFrame(qirmeltest::sceneFrame(qirmel::SceneKind::Page, {1280, 720}, FrameFormat::Jpeg));
    auto &library = scripted.library;
    ASSERT_EQ(library.open(0), 0);
    library.rotate(1);
    EXPECT_EQ(library.setAutoCrop(true), 0);
    library.close();
    ASSERT_EQ(library.open(0), 0);
    EXPECT_EQ(library.currentWidth(), 720);
    std::vector<std::uint8_t> jpeg;
    ASSERT_EQ(scripted.frame(jpeg), 0);
    ASSERT_EQ(scripted.frame(jpeg), 0);
    EXPECT_NEAR(qirmeltest::aspectOf(jpeg), qirmeltest::kLandscapeA4, 0.03 * qirmeltest::kLandscapeA4)
        << "the second frame shows the page, cut and turned";
}

class Capture : public testing::Test {
protected:
    Capture() : scripted(scriptedInfo(), photoConfig()) {}

    static CameraConfig photoConfig()
    {
        CameraConfig config;
        config.photoQuality = 95;
        return config;
    }

    TemporaryFolder folder;
    ScriptedLibrary scripted;
    std::vector<std::uint8_t> jpeg;
};

// A photo asked for at once after the opening waits for the frame thread's first frame, but not
// for ever.
TEST_F(Capture, NeedsAFrameAndWaitsAWhileForTheFirst)
{
    EXPECT_EQ(scripted.library.capture(folder.file("00000.jpg").c_str()), -ENODATA);
    ASSERT_EQ(scripted.library.open(0), 0);
    EXPECT_EQ(scripted.library.capture(folder.file("00000.jpg").c_str()), -ENODATA) << "no frame thread";
    EXPECT_TRUE(folder.entries().empty());

    scripted.camera->setFrameDelay(300ms);
    std::thread frameThread([this] {
        std::vector<std::uint8_t> first;
        scripted.frame(first);
    });
    EXPECT_EQ(scripted.library.capture(folder.file("00001.jpg").c_str()), 0);
    frameThread.join();
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"00001.jpg"});
}

TEST_F(Capture, WritesTheNewestFrameAtFullSizeWithTheCurrentTurn)
{
    ASSERT_EQ(scripted.library.open(0), 0);
    ASSERT_EQ(scripted.frame(jpeg), 0);
    ASSERT_EQ(scripted.library.capture(folder.file("00000.jpg").c_str()), 0);
    auto info = qirmeltest::inspectJpegFile(folder.file("00000.jpg"));
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);

    // The turn applies at once, without waiting for another frame.
    scripted.library.rotate(1);
    ASSERT_EQ(scripted.library.capture(folder.file("00001.jpg").c_str()), 0);
    int width = 0, height = 0;
    const auto pixels = qirmeltest::decodeJpeg(qirmeltest::readFile(folder.file("00001.jpg")), width, height);
    EXPECT_EQ(width, 480);
    EXPECT_EQ(height, 640);
    EXPECT_EQ(qirmeltest::redQuarter(pixels, width, height), 1);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"00000.jpg", "00001.jpg"}));
}

TEST_F(Capture, FailuresLeaveNoFile)
{
    ASSERT_EQ(scripted.library.open(0), 0);
    ASSERT_EQ(scripted.frame(jpeg), 0);
    EXPECT_EQ(scripted.library.capture(folder.file("missing/00000.jpg").c_str()), -ENOENT);
    qirmeltest::writeFile(folder.file("00000.jpg"), "old");
    EXPECT_EQ(scripted.library.capture(folder.file("00000.jpg").c_str()), -EEXIST);
    EXPECT_EQ(qirmeltest::readFile(folder.file("00000.jpg")).size(), 3u);
    EXPECT_LT(scripted.library.capture(""), 0);
    EXPECT_LT(scripted.library.capture(nullptr), 0);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"00000.jpg"});
}

TEST_F(Capture, ClosedCameraHasNoNewestFrame)
{
    ASSERT_EQ(scripted.library.open(0), 0);
    ASSERT_EQ(scripted.frame(jpeg), 0);
    scripted.library.close();
    EXPECT_EQ(scripted.library.capture(folder.file("00000.jpg").c_str()), -ENODATA);
}

TEST(CameraLibraryPhotos, QualityComesFromTheConfiguration)
{
    TemporaryFolder folder;
    std::size_t sizes[2] = {};
    const int qualities[2] = {95, 20};
    for (int i = 0; i < 2; ++i) {
        CameraConfig config = smallVirtualCameras();
        config.photoQuality = qualities[i];
        CameraLibrary library;
        library.init(config, qirmel::enumerateCameras(config));
        ASSERT_EQ(library.open(0), 0);
        std::vector<std::uint8_t> buffer(320 * 240 * 3);
        int length = 0;
        ASSERT_EQ(library.nextFrame(buffer.data(), &length), 0);
        const std::string path = folder.file(std::to_string(i) + ".jpg");
        ASSERT_EQ(library.capture(path.c_str()), 0);
        sizes[i] = qirmeltest::readFile(path).size();
    }
    EXPECT_GT(sizes[0], sizes[1] * 2);
}

namespace {

const Size kCropSize{1280, 720};

// A library whose main camera is a virtual one at kCropSize filming scene.
struct VirtualLibrary {
    explicit VirtualLibrary(qirmel::SceneKind scene)
    {
        CameraConfig config;
        config.virtualCameras[0].info.resolutions = {kCropSize};
        config.virtualCameras[0].fps = 30;
        config.virtualCameras[0].scene.kind = scene;
        library.init(config, qirmel::enumerateCameras(config));
        EXPECT_EQ(library.open(0), 0);
    }

    // Reads frames until one is cut (or a few more than the crop needs to settle have gone by) and
    // returns that one; empty when none was.
    std::vector<std::uint8_t> firstCutFrame()
    {
        std::vector<std::uint8_t> jpeg;
        for (int i = 0; i < 6; ++i) {
            if (readFrame(library, jpeg) < 0)
                continue;
            const auto info = qirmeltest::inspectJpeg(jpeg);
            const Size full{library.currentWidth(), library.currentHeight()};
            if (info.valid && Size{info.width, info.height} != full)
                return jpeg;
        }
        return {};
    }

    CameraLibrary library;
};

}  // namespace

TEST(CameraLibraryAutoCrop, LiveFramesShowThePageAlone)
{
    VirtualLibrary page(qirmel::SceneKind::Page);
    page.library.setAutoCrop(true);
    const auto cut = page.firstCutFrame();
    EXPECT_NEAR(qirmeltest::aspectOf(cut), qirmeltest::kPortraitA4, 0.03 * qirmeltest::kPortraitA4);

    // Turned, the page is followed again and comes turned.
    page.library.rotate(1);
    const auto turned = page.firstCutFrame();
    EXPECT_NEAR(qirmeltest::aspectOf(turned), qirmeltest::kLandscapeA4, 0.03 * qirmeltest::kLandscapeA4);

    page.library.setAutoCrop(false);
    std::vector<std::uint8_t> whole;
    ASSERT_EQ(readFrame(page.library, whole), 0);
    EXPECT_EQ(qirmeltest::inspectJpeg(whole).width, kCropSize.height);
}

TEST(CameraLibraryAutoCrop, EmptyDeskGivesTheWholeFrame)
{
    VirtualLibrary desk(qirmel::SceneKind::EmptyDesk);
    desk.library.setAutoCrop(true);
    EXPECT_TRUE(desk.firstCutFrame().empty());
}

TEST(CameraLibraryAutoCrop, ReopeningForgetsThePage)
{
    VirtualLibrary page(qirmel::SceneKind::Page);
    page.library.setAutoCrop(true);
    ASSERT_FALSE(page.firstCutFrame().empty());
    page.library.close();
    ASSERT_EQ(page.library.open(0), 0);
    std::vector<std::uint8_t> jpeg;
    ASSERT_EQ(readFrame(page.library, jpeg), 0);
    EXPECT_EQ(qirmeltest::inspectJpeg(jpeg).width, kCropSize.width) << "a first sighting after opening is not shown";
}

TEST(CameraLibraryAutoCrop, PhotoIsThePageAtFullResolutionWithTheTurn)
{
    TemporaryFolder folder;
    VirtualLibrary page(qirmel::SceneKind::Page);
    page.library.setAutoCrop(true);
    // One frame only: the live preview has not shown the page yet, the photo finds it itself.
    std::vector<std::uint8_t> jpeg;
    ASSERT_EQ(readFrame(page.library, jpeg), 0);
    ASSERT_EQ(page.library.capture(folder.file("upright.jpg").c_str()), 0);
    const auto upright = qirmeltest::inspectJpegFile(folder.file("upright.jpg"));
    EXPECT_NEAR(double(upright.width) / upright.height, qirmeltest::kPortraitA4, 0.03 * qirmeltest::kPortraitA4);
    const qirmel::Quad truth = qirmeltest::sceneOutline(qirmel::SceneKind::Page, kCropSize);
    EXPECT_NEAR(qirmeltest::resolutionShare({upright.width, upright.height}, truth), 1.0, 0.03);

    page.library.rotate(-1);
    ASSERT_EQ(page.library.capture(folder.file("turned.jpg").c_str()), 0);
    const auto turned = qirmeltest::inspectJpegFile(folder.file("turned.jpg"));
    EXPECT_NEAR(turned.width, upright.height, 2);
    EXPECT_NEAR(turned.height, upright.width, 2);

    page.library.setAutoCrop(false);
    ASSERT_EQ(page.library.capture(folder.file("whole.jpg").c_str()), 0);
    EXPECT_EQ(qirmeltest::inspectJpegFile(folder.file("whole.jpg")).width, kCropSize.height);
}
