#include "source/faultycamera.h"

#include "api/cameralibrary.h"
#include "config/cameraconfig.h"
#include "api/enumeration.h"

#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using qirmel::CameraConfig;
using qirmel::CameraFaults;
using qirmel::CameraInfo;
using qirmel::FaultyCamera;
using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FrameStatus;
using qirmel::Size;
using qirmeltest::ScriptedCamera;

namespace {

const Size kSize{64, 48};

CameraInfo smallCamera()
{
    CameraInfo info;
    info.name = "Scripted";
    info.resolutions = {kSize, {32, 24}};
    return info;
}

// A faulty camera around a scripted one, which the test keeps a handle on; opened at kSize.
struct Faulty {
    explicit Faulty(const CameraFaults &faults)
    {
        auto owned = std::make_unique<ScriptedCamera>(smallCamera());
        inner = owned.get();
        camera = std::make_unique<FaultyCamera>(std::move(owned), faults);
        EXPECT_TRUE(camera->open(kSize, true));
    }

    FrameStatus wait(std::chrono::milliseconds timeout = 5s) { return camera->waitFrame(frame, timeout); }

    ScriptedCamera *inner = nullptr;
    std::unique_ptr<FaultyCamera> camera;
    Frame frame;
};

// Whether a JPEG ends as a complete one does.
bool endsWithEndOfImage(const std::vector<std::uint8_t> &jpeg)
{
    return jpeg.size() >= 2 && jpeg[jpeg.size() - 2] == 0xff && jpeg.back() == 0xd9;
}

}  // namespace

TEST(FaultyCamera, WithoutFaultsPassesFramesThrough)
{
    Faulty faulty{CameraFaults()};
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(faulty.wait(), FrameStatus::Ok);
        EXPECT_EQ(faulty.frame.format, FrameFormat::Rgb24);
        EXPECT_EQ(faulty.frame.data, qirmeltest::markedFrame(kSize).data);
    }
    EXPECT_TRUE(faulty.camera->allowPhoto());
    EXPECT_EQ(faulty.camera->info().name, "Scripted");
}

TEST(FaultyCamera, EveryNthReadFailsAfterTakingItsFrame)
{
    CameraFaults faults;
    faults.failEvery = 3;
    Faulty faulty(faults);
    std::vector<FrameStatus> statuses;
    for (int i = 0; i < 7; ++i)
        statuses.push_back(faulty.wait());
    EXPECT_EQ(statuses, std::vector<FrameStatus>({FrameStatus::Ok, FrameStatus::Ok, FrameStatus::Failed, FrameStatus::Ok,
                                                  FrameStatus::Ok, FrameStatus::Failed, FrameStatus::Ok}));
    EXPECT_EQ(faulty.inner->frameCount(), 7);
}

TEST(FaultyCamera, CountingStartsAgainAtEveryOpening)
{
    CameraFaults faults;
    faults.failEvery = 2;
    Faulty faulty(faults);
    EXPECT_EQ(faulty.wait(), FrameStatus::Ok);
    ASSERT_TRUE(faulty.camera->open(kSize, true));
    EXPECT_EQ(faulty.wait(), FrameStatus::Ok);
    EXPECT_EQ(faulty.wait(), FrameStatus::Failed);
}

TEST(FaultyCamera, DamagedFramesKeepWholeHeadersButDoNotDecode)
{
    CameraFaults faults;
    faults.corruptEvery = 2;
    faults.truncateEvery = 3;
    Faulty faulty(faults);

    ASSERT_EQ(faulty.wait(), FrameStatus::Ok);
    EXPECT_EQ(faulty.frame.format, FrameFormat::Rgb24);

    ASSERT_EQ(faulty.wait(), FrameStatus::Ok);
    ASSERT_EQ(faulty.frame.format, FrameFormat::Jpeg);
    const auto corrupt = qirmeltest::inspectJpeg(faulty.frame.data);
    EXPECT_EQ(corrupt.width, kSize.width);
    EXPECT_EQ(corrupt.height, kSize.height);
    EXPECT_FALSE(corrupt.valid);
    EXPECT_TRUE(endsWithEndOfImage(faulty.frame.data));
    const std::size_t wholeLength = faulty.frame.data.size();

    ASSERT_EQ(faulty.wait(), FrameStatus::Ok);
    ASSERT_EQ(faulty.frame.format, FrameFormat::Jpeg);
    const auto cutOff = qirmeltest::inspectJpeg(faulty.frame.data);
    EXPECT_EQ(cutOff.width, kSize.width);
    EXPECT_FALSE(cutOff.valid);
    EXPECT_FALSE(endsWithEndOfImage(faulty.frame.data));
    EXPECT_LT(faulty.frame.data.size(), wholeLength);

    // Frame 6 is both: cut off wins.
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(faulty.wait(), FrameStatus::Ok);
    EXPECT_FALSE(endsWithEndOfImage(faulty.frame.data));
}

TEST(FaultyCamera, DamagesAJpegCamerasOwnFrames)
{
    CameraFaults faults;
    faults.corruptEvery = 1;
    Faulty faulty(faults);
    Frame jpeg;
    jpeg.format = FrameFormat::Jpeg;
    jpeg.size = kSize;
    jpeg.data = qirmeltest::encodeJpeg(qirmeltest::markedFrame(kSize).data, kSize.width, kSize.height, 90);
    ASSERT_TRUE(qirmeltest::inspectJpeg(jpeg.data).valid);
    faulty.inner->setFrame(jpeg);

    ASSERT_EQ(faulty.wait(), FrameStatus::Ok);
    EXPECT_EQ(faulty.frame.data.size(), jpeg.data.size());
    EXPECT_NE(faulty.frame.data, jpeg.data);
    EXPECT_FALSE(qirmeltest::inspectJpeg(faulty.frame.data).valid);
}

TEST(FaultyCamera, StallLongerThanTheWaitTimesOutUntilTheCameraOpensAgain)
{
    CameraFaults faults;
    faults.stallEvery = 2;
    faults.stall = 60s;
    Faulty faulty(faults);
    EXPECT_EQ(faulty.wait(20ms), FrameStatus::Ok);
    EXPECT_EQ(faulty.wait(20ms), FrameStatus::Timeout);
    EXPECT_EQ(faulty.wait(20ms), FrameStatus::Timeout);
    EXPECT_EQ(faulty.inner->frameCount(), 1);

    // A new opening is a new stream: the stall is over.
    ASSERT_TRUE(faulty.camera->open(kSize, true));
    EXPECT_EQ(faulty.wait(), FrameStatus::Ok);
}

TEST(FaultyCamera, StallShorterThanTheWaitOnlyDelaysTheFrame)
{
    CameraFaults faults;
    faults.stallEvery = 2;
    faults.stall = 50ms;
    Faulty faulty(faults);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(faulty.wait(), FrameStatus::Ok);
    EXPECT_EQ(faulty.inner->frameCount(), 5);
}

TEST(FaultyCamera, UnpluggedCameraFailsWaitsAndOpeningsUntilItIsBack)
{
    CameraFaults faults;
    faults.unplugEvery = 2;
    faults.unplugged = 60s;
    Faulty faulty(faults);
    EXPECT_EQ(faulty.wait(20ms), FrameStatus::Ok);
    EXPECT_EQ(faulty.wait(20ms), FrameStatus::Ok);
    EXPECT_EQ(faulty.wait(20ms), FrameStatus::Failed);
    EXPECT_EQ(faulty.wait(20ms), FrameStatus::Failed);
    EXPECT_FALSE(faulty.camera->open(kSize, true));
    EXPECT_EQ(faulty.inner->frameCount(), 2);
}

TEST(FaultyCamera, UnpluggedCameraComesBack)
{
    CameraFaults faults;
    faults.unplugEvery = 2;
    faults.unplugged = 100ms;
    Faulty faulty(faults);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(faulty.wait(), FrameStatus::Ok);
    EXPECT_EQ(faulty.inner->frameCount(), 3);
    EXPECT_TRUE(faulty.camera->open(kSize, true));
}

TEST(FaultyCamera, EveryNthPhotoIsRefused)
{
    CameraFaults faults;
    faults.photoFailEvery = 2;
    Faulty faulty(faults);
    std::vector<bool> allowed;
    for (int i = 0; i < 5; ++i)
        allowed.push_back(faulty.camera->allowPhoto());
    EXPECT_EQ(allowed, std::vector<bool>({true, false, true, false, true}));
}

TEST(FaultyCamera, ConfiguredVirtualCamerasAreWrapped)
{
    CameraConfig config;
    config.backend = qirmel::Backend::Virtual;
    config.virtualCameras[0].faults.photoFailEvery = 1;
    const auto cameras = qirmel::enumerateCameras(config);
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_NE(dynamic_cast<FaultyCamera *>(cameras[0].get()), nullptr);
    EXPECT_FALSE(cameras[0]->allowPhoto());
    EXPECT_EQ(dynamic_cast<FaultyCamera *>(cameras[1].get()), nullptr);
    EXPECT_TRUE(cameras[1]->allowPhoto());
}

TEST(FaultyCamera, RefusedPhotoFailsCaptureAndLeavesNoFile)
{
    CameraConfig config;
    config.virtualCameras[0].info.resolutions = {{160, 120}};
    config.virtualCameras[0].faults.photoFailEvery = 2;
    qirmel::CameraLibrary library;
    library.init(config, qirmel::enumerateCameras(config));
    ASSERT_EQ(library.open(0), 0);
    std::vector<std::uint8_t> buffer(160 * 120 * 3);
    int length = 0;
    ASSERT_EQ(library.nextFrame(buffer.data(), &length), 0);

    qirmeltest::TemporaryFolder folder;
    EXPECT_EQ(library.capture(folder.file("1.jpg").c_str()), 0);
    EXPECT_EQ(library.capture(folder.file("2.jpg").c_str()), -EIO);
    EXPECT_EQ(library.capture(folder.file("3.jpg").c_str()), 0);
    EXPECT_EQ(folder.entries(), std::vector<std::string>({"1.jpg", "3.jpg"}));
}

// Frames 2, 3 and 4 are damaged, 5 is whole: the photo asked for after frame 4 is made of frame 5.
TEST(FaultyCamera, DamagedFramesReachNeitherTheCallerNorAPhoto)
{
    CameraConfig config;
    config.virtualCameras[0].info.resolutions = {{160, 120}};
    config.virtualCameras[0].faults.corruptEvery = 2;
    config.virtualCameras[0].faults.truncateEvery = 3;
    qirmel::CameraLibrary library;
    library.init(config, qirmel::enumerateCameras(config));
    ASSERT_EQ(library.open(0), 0);
    std::vector<std::uint8_t> buffer(160 * 120 * 3);
    int length = 0;
    std::vector<int> results;
    for (int i = 0; i < 4; ++i)
        results.push_back(library.nextFrame(buffer.data(), &length));
    EXPECT_EQ(results, std::vector<int>({0, -EIO, -EIO, -EIO}));

    std::thread frameThread([&] { library.nextFrame(buffer.data(), &length); });
    qirmeltest::TemporaryFolder folder;
    EXPECT_EQ(library.capture(folder.file("photo.jpg").c_str()), 0);
    frameThread.join();
    EXPECT_TRUE(qirmeltest::inspectJpegFile(folder.file("photo.jpg")).valid);
}

TEST(FaultyCamera, SettingsAreReadFromCameraSections)
{
    std::ostringstream errors;
    const CameraConfig config = CameraConfig::parse("[camera0]\n"
                                                    "fail_every = 7\ncorrupt_every = 5\ntruncate_every = 11\n"
                                                    "stall_every = 13\nstall_ms = 1500\nunplug_every = 100\n"
                                                    "unplug_ms = 2500\nphoto_fail_every = 3\n"
                                                    "[camera1]\nfail_every = 0\n",
                                                    "/etc/CameraConf.ini", errors);
    EXPECT_EQ(errors.str(), "");
    ASSERT_EQ(config.virtualCameras.size(), 2u);
    const CameraFaults &faults = config.virtualCameras[0].faults;
    EXPECT_EQ(faults.failEvery, 7);
    EXPECT_EQ(faults.corruptEvery, 5);
    EXPECT_EQ(faults.truncateEvery, 11);
    EXPECT_EQ(faults.stallEvery, 13);
    EXPECT_EQ(faults.stall, 1500ms);
    EXPECT_EQ(faults.unplugEvery, 100);
    EXPECT_EQ(faults.unplugged, 2500ms);
    EXPECT_EQ(faults.photoFailEvery, 3);
    EXPECT_FALSE(config.virtualCameras[1].faults.any());
    EXPECT_FALSE(CameraConfig().virtualCameras[0].faults.any());
}

TEST(FaultyCamera, BadSettingsAreReportedAndLeftOut)
{
    std::ostringstream errors;
    const CameraConfig config = CameraConfig::parse("[camera0]\nfail_every = -1\nstall_ms = 0\nstall_every = 4\n",
                                                    "/etc/CameraConf.ini", errors);
    EXPECT_EQ(errors.str(), "QirmelLib: /etc/CameraConf.ini:2: fail_every must be a whole number from 0 (never) to "
                            "1000000, not \"-1\"; the line is ignored\nQirmelLib: /etc/CameraConf.ini:3: stall_ms must "
                            "be a whole number of milliseconds from 1 to 60000, not \"0\"; the line is ignored\n");
    const CameraFaults &faults = config.virtualCameras[0].faults;
    EXPECT_EQ(faults.failEvery, 0);
    EXPECT_EQ(faults.stall, CameraFaults().stall);
    EXPECT_EQ(faults.stallEvery, 4);
}
