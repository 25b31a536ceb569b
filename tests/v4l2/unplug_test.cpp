// A camera that goes away while it streams, and comes back.
#include "fakev4l2.h"
#include "jpegsupport.h"

#include "source/v4l2/v4l2enumeration.h"

#include <linux/videodev2.h>

namespace v4l2test {
namespace {

using qirmel::CameraSource;
using qirmel::Frame;
using qirmel::FrameStatus;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kShortTimeout = 500ms;

class Unplug : public V4l2Test {
protected:
    // A camera on port 1-1 (video0 and its metadata node video1) that goes away after five frames,
    // opened with the power line frequency at 50 Hz.
    std::unique_ptr<CameraSource> openUnpluggingCamera(int replugAfterMs = 0)
    {
        m_fake.plug("1-1", "0001", "SN1",
                    {{.unplugAfter = 5, .replugAfterMs = replugAfterMs}, {.name = "video1", .metadata = true}});
        auto cameras = qirmel::enumerateV4l2Cameras(settings(0, 50));
        return cameras.size() == 1 && cameras.front()->open(Size{320, 240}, true) ? std::move(cameras.front())
                                                                                  : nullptr;
    }

    // The same once it went away: at most five good frames, then a failure.
    std::unique_ptr<CameraSource> unpluggedCamera()
    {
        auto camera = openUnpluggingCamera();
        Frame frame;
        int good = 0;
        FrameStatus status = FrameStatus::Ok;
        while (camera && good <= 10 && (status = camera->waitFrame(frame, kShortTimeout)) == FrameStatus::Ok)
            ++good;
        EXPECT_EQ(status, FrameStatus::Failed);
        EXPECT_LE(good, 5);
        return camera;
    }
};

TEST_F(Unplug, FailsAfterTheWholeTimeoutWithoutSpinning)
{
    const auto camera = unpluggedCamera();
    ASSERT_TRUE(camera);
    const long callsBefore = m_fake.calls();
    const auto started = Clock::now();
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, kShortTimeout), FrameStatus::Failed);
    EXPECT_GE(Clock::now() - started, kShortTimeout);
    // A look for the camera every 100 ms is a handful of calls; a loop that spins makes thousands.
    EXPECT_LE(m_fake.calls() - callsBefore, 20);
    EXPECT_EQ(m_fake.openFiles(), 0) << "the dead device is closed";
    EXPECT_EQ(m_fake.mappings(), 0) << "and its buffers unmapped";
}

TEST_F(Unplug, ResumesWhenTheCameraComesBackOnTheSameNode)
{
    const auto camera = unpluggedCamera();
    ASSERT_TRUE(camera);
    m_fake.replug("video0");
    Frame frame;
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(frame.size, (Size{320, 240}));
    EXPECT_EQ(m_fake.powerLineFrequency("video0"), V4L2_CID_POWER_LINE_FREQUENCY_50HZ)
        << "the settings, forgotten while unplugged, are applied again";
    EXPECT_EQ(m_fake.openFiles(), 1);
}

// Back within one wait, the camera costs the caller no failure at all: the frame numbers start
// over (a new stream), the statuses stay Ok.
TEST_F(Unplug, BridgesAShortAbsenceWithinOneWait)
{
    const auto camera = openUnpluggingCamera(100);
    ASSERT_TRUE(camera);
    Frame frame;
    long previous = -1;
    bool restarted = false;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(camera->waitFrame(frame, kFrameTimeout), FrameStatus::Ok) << "frame " << i;
        restarted = restarted || frameNumber(frame.data) < previous;
        previous = frameNumber(frame.data);
    }
    EXPECT_TRUE(restarted);
}

// Unplugged, then plugged in again: under other node numbers on the same port, or on another port
// with its serial, it is the same camera; another camera of the same model is not.
class Replug : public Unplug, public ::testing::WithParamInterface<std::tuple<const char *, const char *, bool>> {};

TEST_P(Replug, ResumesOnlyWithTheSameCamera)
{
    const auto [port, serial, resumes] = GetParam();
    const auto camera = unpluggedCamera();
    ASSERT_TRUE(camera);
    m_fake.unplug("1-1");
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, kShortTimeout), FrameStatus::Failed);
    m_fake.plug(port, "0001", serial, {{.name = "video4"}, {.name = "video5", .metadata = true}});
    EXPECT_EQ(waitOk(*camera, frame, 3, resumes ? kFrameTimeout : kShortTimeout),
              resumes ? FrameStatus::Ok : FrameStatus::Failed);
    EXPECT_EQ(m_fake.openFiles(), resumes ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Places, Replug,
                         ::testing::Values(std::tuple{"1-1", "", true}, std::tuple{"1-3", "SN1", true},
                                           std::tuple{"1-3", "SN2", false}));

TEST_F(Unplug, ClosesAndReopensWhileTheCameraIsAway)
{
    const auto camera = unpluggedCamera();
    ASSERT_TRUE(camera);
    camera->close();
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, 10ms), FrameStatus::Failed);
    EXPECT_FALSE(camera->open(Size{320, 240}, true));
    m_fake.replug("video0");
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    EXPECT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
}

}  // namespace
}  // namespace v4l2test
