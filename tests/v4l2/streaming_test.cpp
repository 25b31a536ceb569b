// Opening a camera and the frames it then delivers: sizes, formats, rate, timeouts, settings,
// damaged frames and Huffman tables.
#include "fakev4l2.h"
#include "jpegsupport.h"

#include <linux/videodev2.h>

namespace v4l2test {
namespace {

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FrameStatus;
using Clock = std::chrono::steady_clock;

// Whether frame is a whole 320x240 picture of the fake's red, which its YUYV frames show.
bool isRed(const Frame &frame)
{
    if (frame.format != FrameFormat::Rgb24 || frame.size != Size{320, 240} || frame.data.size() != 320 * 240 * 3)
        return false;
    for (std::size_t pixel = 0; pixel < frame.data.size(); pixel += 3) {
        if (frame.data[pixel] < 253 || frame.data[pixel + 1] > 2 || frame.data[pixel + 2] > 2)
            return false;
    }
    return true;
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
        EXPECT_EQ(decodedSize(frame.data), size);
        EXPECT_EQ(m_fake.openFiles(), 1);
    }
    EXPECT_GT(m_fake.mappings(), 0);
    camera->close();
    EXPECT_EQ(m_fake.openFiles(), 0);
    EXPECT_EQ(m_fake.mappings(), 0);
    EXPECT_EQ(camera->waitFrame(frame, 300ms), FrameStatus::Failed) << "long enough to have opened it again";
    EXPECT_EQ(m_fake.openFiles(), 0);
}

// Frame N of the fake cannot exist before N + 1 periods after streaming starts: a camera that
// handed out a frame twice or made one up would get ahead of that.
TEST_F(Streaming, DeliversEachFrameOnceAtTheCameraRate)
{
    const auto started = Clock::now();
    const auto camera = openCamera({.fps = 20});
    ASSERT_TRUE(camera);
    Frame frame;
    long previous = -1;
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
        EXPECT_GT(frameNumber(frame.data), previous);
        previous = frameNumber(frame.data);
    }
    EXPECT_GE(Clock::now() - started, (previous + 1) * std::chrono::duration_cast<Clock::duration>(1s) / 20);
}

// A caller slower than the camera gets the current picture, not the oldest of a backlog; a camera
// that sends nothing for a while stays open.
TEST_F(Streaming, HandsOutTheNewestOfTheWaitingFramesOrTimesOut)
{
    const auto camera = openCamera({.fps = 0});
    ASSERT_TRUE(camera);
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, 100ms), FrameStatus::Timeout);
    m_fake.step("video0", 3);
    ASSERT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Ok);
    EXPECT_EQ(frameNumber(frame.data), 2);
    EXPECT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Timeout) << "the older frames are gone";
    m_fake.step("video0", 1);
    ASSERT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Ok);
    EXPECT_EQ(frameNumber(frame.data), 3);
    m_fake.setFps("video0", 30);
    EXPECT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
}

TEST_F(Streaming, DropsTheFirstFramesOfEveryStart)
{
    const auto camera = openCamera({.fps = 0}, settings(3));
    ASSERT_TRUE(camera);
    for (int start = 0; start < 2; ++start) {
        ASSERT_TRUE(camera->open(Size{320, 240}, true));
        m_fake.step("video0", 3);
        Frame frame;
        EXPECT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Timeout) << "start " << start;
        m_fake.step("video0", 1);
        ASSERT_EQ(camera->waitFrame(frame, 0ms), FrameStatus::Ok);
        EXPECT_EQ(frameNumber(frame.data), 3);
    }
}

// The fake's control starts at "auto", which 0 Hz must leave alone; a camera without the control
// opens all the same.
TEST_F(Streaming, SetsThePowerLineFrequencyOnOpening)
{
    const struct {
        int hertz;
        bool hasControl;
        int expected;
    } rows[] = {{0, true, V4L2_CID_POWER_LINE_FREQUENCY_AUTO},
                {50, true, V4L2_CID_POWER_LINE_FREQUENCY_50HZ},
                {60, true, V4L2_CID_POWER_LINE_FREQUENCY_60HZ},
                {50, false, -1}};
    for (const auto &row : rows) {
        const auto camera = openCamera({.powerLine = row.hasControl}, settings(0, row.hertz));
        ASSERT_TRUE(camera) << row.hertz;
        EXPECT_EQ(m_fake.powerLineFrequency("video0"), row.expected) << row.hertz;
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

TEST_F(Streaming, ReleasesFilesAndMappingsWhenDestroyed)
{
    auto camera = openCamera();
    ASSERT_TRUE(camera);
    camera.reset();
    EXPECT_EQ(m_fake.openFiles(), 0);
    EXPECT_EQ(m_fake.mappings(), 0);
}

// libjpeg-turbo decodes frames without tables by itself, so decoding alone proves nothing: a frame
// must hold the standard tables once, whether the camera sent them or not.
TEST_F(Streaming, CompletesHuffmanTablesOnce)
{
    for (const bool huffman : {false, true}) {
        const auto camera = openCamera({.huffman = huffman});
        ASSERT_TRUE(camera);
        Frame frame;
        ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
        EXPECT_EQ(huffmanTables(frame.data), huffmanTables(encodeJpeg(320, 240))) << huffman;
    }
}

// Every second frame (the odd numbers) is damaged; two come at a time, so the good one is the
// older of the two.
class DamagedFrames : public V4l2Test, public ::testing::WithParamInterface<std::pair<Damage, bool>> {};

TEST_P(DamagedFrames, NeverReachTheCaller)
{
    const auto [damage, compressed] = GetParam();
    const auto camera = openCamera({.yuyv = {{320, 240}}, .fps = 0, .badEvery = 2, .damage = damage}, settings(),
                                   compressed);
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
                         ::testing::Values(std::pair{Damage::Error, true}, std::pair{Damage::NoStart, true},
                                           std::pair{Damage::NoEnd, true}, std::pair{Damage::Truncated, true},
                                           std::pair{Damage::Truncated, false}));

}  // namespace
}  // namespace v4l2test
