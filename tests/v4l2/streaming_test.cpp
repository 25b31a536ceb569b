// Opening a camera and the frames it then delivers: sizes, format, rate, timeouts, settings.
#include "jpegsupport.h"
#include "v4l2fixture.h"

#include "fakev4l2.h"

#include <linux/videodev2.h>

#include <gtest/gtest.h>

namespace v4l2test {
namespace {

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FrameStatus;
using qirmel::Size;
using qirmel::V4l2Settings;
using Clock = std::chrono::steady_clock;

V4l2Settings noDrops()
{
    V4l2Settings settings;
    settings.framesToDrop = 0;
    return settings;
}

using Streaming = V4l2Fixture;

TEST_F(Streaming, DeliversWholeJpegFramesAtTheOpenedSize)
{
    const auto camera = singleCamera("mjpg = 640x480 320x240\n");
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    Frame frame;
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(frame.format, FrameFormat::Jpeg);
    EXPECT_EQ(frame.size, (Size{320, 240}));
    ASSERT_GE(frame.data.size(), 4u);
    // The fake fills the rest of each buffer with junk: the frame must end where bytesused says.
    EXPECT_EQ(frame.data[frame.data.size() - 2], 0xff);
    EXPECT_EQ(frame.data.back(), 0xd9);
    int width = 0;
    int height = 0;
    EXPECT_FALSE(decodeRgb(frame.data, width, height).empty());
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
}

TEST_F(Streaming, OpensOnlyListedSizes)
{
    const auto camera = singleCamera("mjpg = 640x480 320x240\n");
    ASSERT_TRUE(camera);
    EXPECT_FALSE(camera->open(Size{800, 600}, true));
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, 10ms), FrameStatus::Failed);
    EXPECT_EQ(fakev4l2_open_files(), 0);

    ASSERT_TRUE(camera->open(Size{640, 480}, true));
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(frame.size, (Size{640, 480}));

    // Opening an open camera reopens it at the new size.
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(frame.size, (Size{320, 240}));
    EXPECT_EQ(fakev4l2_open_files(), 1);
}

// Frame N of the fake cannot exist before N + 1 periods after streaming starts, however loaded the
// machine is: a camera that handed out a frame twice or made up frames would get ahead of that.
TEST_F(Streaming, DeliversEachFrameOnceAtTheCameraRate)
{
    constexpr int kFps = 20;
    const auto camera = singleCamera("mjpg = 320x240\nfps = 20\n", noDrops());
    ASSERT_TRUE(camera);
    const auto started = Clock::now();
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    Frame frame;
    long previous = -1;
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
        const long number = frameNumber(frame.data);
        EXPECT_GT(number, previous);
        previous = number;
    }
    const auto period = std::chrono::duration_cast<Clock::duration>(1s) / kFps;
    EXPECT_GE(Clock::now() - started, (previous + 1) * period);
    EXPECT_GE(fakev4l2_frames("video0"), previous + 1);
}

// A caller slower than the camera gets the current picture, not the oldest of a backlog.
TEST_F(Streaming, HandsOutTheNewestOfTheWaitingFrames)
{
    const auto camera = singleCamera("mjpg = 320x240\nfps = 0\n", noDrops());
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    fakev4l2_step("video0", 3);
    Frame frame;
    ASSERT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Ok);
    EXPECT_EQ(frameNumber(frame.data), 2);
    EXPECT_EQ(camera->waitFrame(frame, 10ms), FrameStatus::Timeout) << "the older frames are gone";

    fakev4l2_step("video0", 1);
    ASSERT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Ok);
    EXPECT_EQ(frameNumber(frame.data), 3);
}

TEST_F(Streaming, TimesOutWhileTheCameraSendsNothingAndStaysOpen)
{
    const auto camera = singleCamera("mjpg = 320x240\nfps = 0\n", noDrops());
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, 100ms), FrameStatus::Timeout);
    EXPECT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Timeout);

    fakev4l2_set_fps("video0", 30);
    EXPECT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
}

TEST_F(Streaming, DropsTheFirstFramesOfEveryStart)
{
    V4l2Settings settings;
    settings.framesToDrop = 3;
    const auto camera = singleCamera("mjpg = 320x240\nfps = 30\n", settings);
    ASSERT_TRUE(camera);
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(camera->open(Size{320, 240}, true));
        Frame frame;
        ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
        EXPECT_GE(frameNumber(frame.data), 3) << "start " << start;
        camera->close();
    }
}

class PowerLine : public V4l2Fixture, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(PowerLine, IsSetOnOpening)
{
    V4l2Settings settings;
    settings.powerLineFrequency = GetParam().first;
    const auto camera = singleCamera("mjpg = 320x240\n", settings);
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    EXPECT_EQ(fakev4l2_control("video0", V4L2_CID_POWER_LINE_FREQUENCY), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Frequencies, PowerLine,
                         ::testing::Values(std::make_pair(0, V4L2_CID_POWER_LINE_FREQUENCY_DISABLED),
                                           std::make_pair(50, V4L2_CID_POWER_LINE_FREQUENCY_50HZ),
                                           std::make_pair(60, V4L2_CID_POWER_LINE_FREQUENCY_60HZ)));

TEST_F(Streaming, OpensCamerasWithoutAPowerLineControl)
{
    V4l2Settings settings;
    settings.powerLineFrequency = 50;
    const auto camera = singleCamera("mjpg = 320x240\npower_line = no\n", settings);
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    Frame frame;
    EXPECT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
}

// The fake's YUYV frames are its test picture in BT.601 video range; converted back they must
// match one of the picture's variants up to rounding.
TEST_F(Streaming, ConvertsUncompressedFramesToRgb)
{
    const auto camera = singleCamera("mjpg = 640x480 320x240\nyuyv = 320x240\n");
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, false));
    Frame frame;
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(frame.format, FrameFormat::Rgb24);
    EXPECT_EQ(frame.size, (Size{320, 240}));
    ASSERT_EQ(frame.data.size(), 320u * 240 * 3);
    double best = 255;
    Bytes picture(frame.data.size());
    for (unsigned variant = 0; variant < 4; ++variant) {
        fakev4l2_render(320, 240, variant, picture.data());
        best = std::min(best, meanDifference(frame.data, picture));
    }
    EXPECT_LT(best, 3.0);

    // Where the camera has no uncompressed frames at the size, they come compressed after all.
    ASSERT_TRUE(camera->open(Size{640, 480}, false));
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(frame.format, FrameFormat::Jpeg);
    EXPECT_EQ(frame.size, (Size{640, 480}));
}

TEST_F(Streaming, ReleasesFilesAndMappingsOnCloseAndDestruction)
{
    auto camera = singleCamera("mjpg = 320x240\n");
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    Frame frame;
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(fakev4l2_open_files(), 1);
    EXPECT_GT(fakev4l2_mappings(), 0);
    camera->close();
    EXPECT_EQ(fakev4l2_open_files(), 0);
    EXPECT_EQ(fakev4l2_mappings(), 0);
    EXPECT_EQ(camera->waitFrame(frame, 10ms), FrameStatus::Failed);

    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    camera.reset();
    EXPECT_EQ(fakev4l2_open_files(), 0);
    EXPECT_EQ(fakev4l2_mappings(), 0);
}

}  // namespace
}  // namespace v4l2test
