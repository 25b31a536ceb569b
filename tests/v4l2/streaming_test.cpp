// Opening a camera and the frames it then delivers: sizes, formats, timeouts, settings and damaged
// frames.
#include "fakev4l2.h"
#include "jpegsupport.h"

#include <linux/videodev2.h>

#include <tuple>

namespace v4l2test {
namespace {

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FrameStatus;

// Whether frame is a whole 320x240 picture of the fake's red, which its YUYV frames show.
bool isRed(const Frame &frame)
{
    bool red = frame.format == FrameFormat::Rgb24 && frame.size == Size{320, 240} && frame.data.size() == 320 * 240 * 3;
    for (std::size_t pixel = 0; red && pixel < frame.data.size(); pixel += 3)
        red = frame.data[pixel] >= 253 && frame.data[pixel + 1] <= 2 && frame.data[pixel + 2] <= 2;
    return red;
}

using Streaming = V4l2Test;

TEST_F(Streaming, DeliversWholeJpegFramesOfListedSizesAndReleasesEverythingOnClose)
{
    const auto camera = plugCamera({.mjpg = {{640, 480}, {320, 240}}});
    ASSERT_TRUE(camera);
    Frame frame;
    EXPECT_FALSE(camera->open(Size{800, 600}, true));
    EXPECT_EQ(camera->waitFrame(frame, 10ms), FrameStatus::Failed);
    EXPECT_EQ(m_fake.openFiles(), 0);
    // Opening an open camera reopens it at the new size.
    for (const Size size : {Size{640, 480}, Size{320, 240}}) {
        ASSERT_TRUE(camera->open(size, true));
        ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
        EXPECT_EQ(frame.format, FrameFormat::Jpeg);
        EXPECT_EQ(frame.size, size);
        EXPECT_EQ(decoded(frame.data).size, size);
        EXPECT_EQ(m_fake.openFiles(), 1);
    }
    EXPECT_GT(m_fake.mappings(), 0);
    camera->close();
    EXPECT_EQ(m_fake.openFiles(), 0);
    EXPECT_EQ(m_fake.mappings(), 0);
    EXPECT_EQ(camera->waitFrame(frame, 300ms), FrameStatus::Failed) << "long enough to have opened it again";
    EXPECT_EQ(m_fake.openFiles(), 0);
}

// A caller slower than the camera gets the current picture, not the oldest of a backlog; a camera
// that sends nothing for a while stays open. The first frames of every start are dropped.
TEST_F(Streaming, HandsOutTheNewestOfTheWaitingFramesAfterTheDroppedOnes)
{
    const auto camera = openCamera({.fps = 0}, settings(3));
    ASSERT_TRUE(camera);
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(camera->open(Size{320, 240}, true));
        Frame frame;
        EXPECT_EQ(camera->waitFrame(frame, 100ms), FrameStatus::Timeout);
        m_fake.step("video0", 3);
        EXPECT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Timeout) << "start " << start;
        m_fake.step("video0", 3);
        ASSERT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Ok);
        EXPECT_EQ(frameNumber(frame.data), 5);
        EXPECT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Timeout) << "the older frames are gone";
    }
}

// The fake's control starts at "auto", which 0 Hz must leave alone; a camera without the control
// opens all the same.
TEST_F(Streaming, SetsThePowerLineFrequencyOnOpening)
{
    const std::tuple<int, bool, int> rows[] = {{0, true, V4L2_CID_POWER_LINE_FREQUENCY_AUTO},
                                               {50, true, V4L2_CID_POWER_LINE_FREQUENCY_50HZ},
                                               {60, true, V4L2_CID_POWER_LINE_FREQUENCY_60HZ},
                                               {50, false, -1}};
    for (const auto &[hertz, hasControl, expected] : rows) {
        const auto camera = openCamera({.powerLine = hasControl}, settings(0, hertz));
        ASSERT_TRUE(camera) << hertz;
        EXPECT_EQ(m_fake.powerLineFrequency("video0"), expected) << hertz;
        Frame frame;
        EXPECT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    }
}

TEST_F(Streaming, ConvertsUncompressedFramesToRgbWhereTheCameraHasThem)
{
    const auto camera = openCamera({.mjpg = {{640, 480}, {320, 240}}, .yuyv = {{320, 240}}}, settings(), false);
    ASSERT_TRUE(camera);
    Frame frame;
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_TRUE(isRed(frame));
    ASSERT_TRUE(camera->open(Size{640, 480}, false));
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(frame.format, FrameFormat::Jpeg);
}

// Every second frame (the odd numbers) is damaged; two come at a time, so the good one is the
// older of the two.
class DamagedFrames : public V4l2Test, public ::testing::WithParamInterface<std::pair<Damage, bool>> {};

TEST_P(DamagedFrames, NeverReachTheCaller)
{
    const auto [damage, compressed] = GetParam();
    const auto camera = openCamera({.yuyv = {{320, 240}}, .fps = 0, .damage = damage}, settings(), compressed);
    ASSERT_TRUE(camera);
    Frame frame;
    for (int i = 0; i < 4; ++i) {
        m_fake.step("video0", 2);
        ASSERT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Ok);
        if (compressed) {
            EXPECT_EQ(frameNumber(frame.data), 2 * i);
        } else {
            EXPECT_TRUE(isRed(frame)) << "frame " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedFrames,
                         ::testing::Values(std::pair{Damage::Flagged, true}, std::pair{Damage::Truncated, true},
                                           std::pair{Damage::Truncated, false}));

}  // namespace
}  // namespace v4l2test
