#include "source/faultycamera.h"

#include "api/cameralibrary.h"
#include "api/enumeration.h"
#include "config/cameraconfig.h"

#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <tuple>

using namespace std::chrono_literals;
using qirmel::CameraFaults;
using qirmel::FrameFormat;
using qirmel::Size;

namespace {

const Size kSize{64, 48};

// A faulty camera around a scripted one, which the test keeps a handle on; opened at kSize.
struct Faulty {
    explicit Faulty(const CameraFaults &faults)
    {
        qirmel::CameraInfo info;
        info.resolutions = {kSize};
        auto owned = std::make_unique<qirmeltest::ScriptedCamera>(info);
        inner = owned.get();
        camera = std::make_unique<qirmel::FaultyCamera>(std::move(owned), faults);
        EXPECT_TRUE(camera->open(kSize, true));
    }

    // What each of count waits gave, a letter each in FrameStatus's order: O the frame, T a timeout, F a failure.
    std::string waits(int count, std::chrono::milliseconds timeout = 5s)
    {
        std::string outcomes;
        for (int i = 0; i < count; ++i)
            outcomes += "OTF"[static_cast<int>(camera->waitFrame(frame, timeout))];
        return outcomes;
    }

    qirmeltest::ScriptedCamera *inner = nullptr;
    std::unique_ptr<qirmel::FaultyCamera> camera;
    qirmel::Frame frame;
};

// The library over the configured virtual cameras, the first one at 160x120 with the faults given,
// opened.
void openWith(qirmel::CameraLibrary &library, const CameraFaults &faults)
{
    qirmel::CameraConfig config;
    config.virtualCameras[0].info.resolutions = {{160, 120}};
    config.virtualCameras[0].faults = faults;
    library.init(config, qirmel::enumerateCameras(config));
    ASSERT_EQ(library.open(0), 0);
}

}  // namespace

// The frames between the faults pass untouched, and the count starts again at every opening.
TEST(FaultyCamera, EveryNthReadFailsAfterTakingItsFrame)
{
    CameraFaults faults;
    faults.failEvery = 3;
    Faulty faulty(faults);
    EXPECT_EQ(faulty.waits(7), "OOFOOFO");
    EXPECT_EQ(faulty.inner->frameCount(), 7);
    EXPECT_EQ(faulty.frame.data, qirmeltest::markedFrame(kSize).data);
    ASSERT_TRUE(faulty.camera->open(kSize, true));
    EXPECT_EQ(faulty.waits(3), "OOF");
}

// Damaged frames come as an MJPG camera sends them, from an RGB camera as from a JPEG one: headers
// whole, picture data damaged or cut off; a frame due for both is cut off.
TEST(FaultyCamera, DamagedFramesKeepWholeHeadersButDoNotDecode)
{
    CameraFaults faults;
    faults.corruptEvery = 2;
    faults.truncateEvery = 3;
    const auto jpeg = qirmeltest::encodeJpeg(qirmeltest::markedFrame(kSize).data, kSize.width, kSize.height, 90);
    for (const FrameFormat format : {FrameFormat::Rgb24, FrameFormat::Jpeg}) {
        Faulty faulty(faults);
        if (format == FrameFormat::Jpeg)
            faulty.inner->setFrame({format, kSize, jpeg, 0});
        for (int number = 1; number <= 6; ++number) {
            ASSERT_EQ(faulty.waits(1), "O");
            const bool cutOff = number % 3 == 0;
            const auto &data = faulty.frame.data;
            const auto info = qirmeltest::inspectJpeg(data);
            const bool ended = data[data.size() - 2] == 0xff && data.back() == 0xd9;  // as a complete JPEG ends
            if (cutOff || number % 2 == 0)
                EXPECT_EQ(std::make_tuple(faulty.frame.format, info.width, info.height, info.valid, ended),
                          std::make_tuple(FrameFormat::Jpeg, kSize.width, kSize.height, false, !cutOff))
                    << number;
            else
                EXPECT_EQ(faulty.frame.format, format) << number;
        }
    }
}

// A stall shorter than the wait only delays the frame; a longer one times the waits out until the
// camera opens again, as a new stream.
TEST(FaultyCamera, StallHoldsTheFrameBack)
{
    CameraFaults faults;
    faults.stallEvery = 2;
    faults.stall = 50ms;
    Faulty brief(faults);
    EXPECT_EQ(brief.waits(5), "OOOOO");
    faults.stall = 60s;
    Faulty faulty(faults);
    EXPECT_EQ(faulty.waits(3, 20ms), "OTT");
    EXPECT_EQ(faulty.inner->frameCount(), 1);
    ASSERT_TRUE(faulty.camera->open(kSize, true));
    EXPECT_EQ(faulty.waits(1), "O");
}

TEST(FaultyCamera, UnpluggedCameraFailsWaitsAndOpeningsUntilItIsBack)
{
    CameraFaults faults;
    faults.unplugEvery = 2;
    faults.unplugged = 60s;
    Faulty gone(faults);
    EXPECT_EQ(gone.waits(4, 20ms), "OOFF");
    EXPECT_FALSE(gone.camera->open(kSize, true));
    EXPECT_EQ(gone.inner->frameCount(), 2);
    faults.unplugged = 100ms;
    Faulty back(faults);
    EXPECT_EQ(back.waits(3), "OOO");
    EXPECT_TRUE(back.camera->open(kSize, true));
}

TEST(FaultyCamera, RefusedPhotoFailsCaptureAndLeavesNoFile)
{
    CameraFaults faults;
    faults.photoFailEvery = 2;
    qirmel::CameraLibrary library;
    openWith(library, faults);
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
    CameraFaults faults;
    faults.corruptEvery = 2;
    faults.truncateEvery = 3;
    qirmel::CameraLibrary library;
    openWith(library, faults);
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
