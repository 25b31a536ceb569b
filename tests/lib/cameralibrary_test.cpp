#include "api/cameralibrary.h"
#include "source/enumeration.h"

#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <sstream>

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

    // Reads one frame the way the application's frame thread does.
    int frame(std::vector<std::uint8_t> &jpeg)
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
    ScriptedLibrary scripted;
    auto &library = scripted.library;
    ASSERT_EQ(library.open(0), 0);
    library.rotate(1);
    EXPECT_EQ(library.setAutoCrop(true), 0);
    library.close();
    ASSERT_EQ(library.open(0), 0);
    EXPECT_EQ(library.currentWidth(), 480);
    std::vector<std::uint8_t> jpeg;
    ASSERT_EQ(scripted.frame(jpeg), 0);
    EXPECT_EQ(qirmeltest::inspectJpeg(jpeg).width, 480) << "auto crop changes nothing until the crop stage exists";
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

TEST_F(Capture, NeedsAFrame)
{
    EXPECT_EQ(scripted.library.capture(folder.file("00000.jpg").c_str()), -ENODATA);
    ASSERT_EQ(scripted.library.open(0), 0);
    EXPECT_EQ(scripted.library.capture(folder.file("00000.jpg").c_str()), -ENODATA);
    EXPECT_TRUE(folder.entries().empty());
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
