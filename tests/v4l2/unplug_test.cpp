// A camera that goes away while it streams, and comes back.
#include "fakev4l2.h"

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
    // A camera that goes away after five frames, opened with the power line frequency at 50 Hz, once
    // it went away: at most five good frames, then a failure.
    std::unique_ptr<CameraSource> unpluggedCamera()
    {
        auto camera = openCamera({.unplugAfter = 5}, settings(0, 50));
        Frame frame;
        int good = 0;
        FrameStatus status = FrameStatus::Ok;
        while (camera && good <= 10 && (status = camera->waitFrame(frame, kShortTimeout)) == FrameStatus::Ok)
            ++good;
        EXPECT_EQ(status, FrameStatus::Failed);
        EXPECT_LE(good, 5);
        return camera;
    }

    // The camera back on port, under another node number.
    void plugBackIn(const std::string &port = "1-1", const std::string &serial = "SN1")
    {
        m_fake.plug(port, "0001", serial, {{.name = "video4"}});
    }
};

TEST_F(Unplug, FailsAfterTheWholeTimeoutWithoutSpinningAndReopensOnceBack)
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
    EXPECT_FALSE(camera->open(Size{320, 240}, true)) << "nothing to open while it is away";
    plugBackIn();
    EXPECT_TRUE(camera->open(Size{320, 240}, true));
}

// Back within one wait, the camera costs the caller no failure at all: its first stream ends after
// five frames, so ten good frames in a row come partly from a second one, opened while the caller
// waited. (Their numbers need not start below the last seen: a caller slower than the camera, as on a
// loaded machine, is given the newest frame.)
TEST_F(Unplug, BridgesAShortAbsenceWithinOneWait)
{
    const auto camera = openCamera({.unplugAfter = 5, .replugAfterMs = 100});
    ASSERT_TRUE(camera);
    const long opensBefore = m_fake.opens();
    Frame frame;
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(camera->waitFrame(frame, kFrameTimeout), FrameStatus::Ok) << "frame " << i;
    EXPECT_GT(m_fake.opens(), opensBefore);
}

// Plugged in again under other node numbers: on the same port, or on another port with its
// serial, it is the same camera, which resumes with its settings (forgotten while unplugged)
// applied again; another camera of the same model is not.
class Replug : public Unplug, public ::testing::WithParamInterface<std::tuple<const char *, const char *, bool>> {};

TEST_P(Replug, ResumesOnlyWithTheSameCamera)
{
    const auto [port, serial, resumes] = GetParam();
    const auto camera = unpluggedCamera();
    ASSERT_TRUE(camera);
    m_fake.unplug("1-1");
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, kShortTimeout), FrameStatus::Failed);
    plugBackIn(port, serial);
    EXPECT_EQ(waitOk(*camera, frame, 3, resumes ? kFrameTimeout : kShortTimeout),
              resumes ? FrameStatus::Ok : FrameStatus::Failed);
    EXPECT_EQ(m_fake.openFiles(), resumes ? 1 : 0);
    EXPECT_EQ(m_fake.powerLineFrequency("video4"),
              resumes ? V4L2_CID_POWER_LINE_FREQUENCY_50HZ : V4L2_CID_POWER_LINE_FREQUENCY_AUTO);
}

INSTANTIATE_TEST_SUITE_P(Places, Replug,
                         ::testing::Values(std::tuple{"1-1", "", true}, std::tuple{"1-3", "SN1", true},
                                           std::tuple{"1-3", "SN2", false}));

}  // namespace
}  // namespace v4l2test
