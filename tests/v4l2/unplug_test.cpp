// A camera that goes away while it streams, and comes back.
#include "jpegsupport.h"
#include "v4l2fixture.h"

#include "fakev4l2.h"

#include "source/v4l2/v4l2enumeration.h"

#include <linux/videodev2.h>
#include <time.h>

#include <gtest/gtest.h>

namespace v4l2test {
namespace {

using qirmel::CameraSource;
using qirmel::Frame;
using qirmel::FrameStatus;
using qirmel::Size;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kShortTimeout = 500ms;

std::chrono::nanoseconds threadCpuTime()
{
    timespec time{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

class Unplug : public V4l2Fixture {
protected:
    // A camera on port 1-1 (nodes video0 and its metadata node video1) that unplugs after five
    // frames, opened at 320x240 with no frames dropped.
    std::unique_ptr<CameraSource> openUnpluggingCamera(const std::string &extra = {})
    {
        configure("[video0]\nmjpg = 320x240\nfps = 30\nunplug_after = 5\n" + extra + "[video1]\nmetadata = yes\n");
        m_sysfs.plugUsbCamera("1-1", 0x1234, 0x5678, "SN1", {"video0", "video1"});
        qirmel::V4l2Settings settings;
        settings.framesToDrop = 0;
        settings.powerLineFrequency = 50;
        auto cameras = qirmel::enumerateV4l2Cameras(settings);
        EXPECT_EQ(cameras.size(), 1u);
        if (cameras.empty() || !cameras.front()->open(Size{320, 240}, true))
            return nullptr;
        return std::move(cameras.front());
    }

    // Takes frames until the camera fails; the number of good ones.
    static int framesUntilFailure(CameraSource &camera)
    {
        Frame frame;
        int good = 0;
        FrameStatus status = FrameStatus::Ok;
        while (good <= 10 && (status = camera.waitFrame(frame, kShortTimeout)) == FrameStatus::Ok)
            ++good;
        EXPECT_EQ(status, FrameStatus::Failed);
        return good;
    }

    // A camera that comes back as node `node` on port, with a metadata node after it.
    void plugBack(const std::string &port, const std::string &serial, int node)
    {
        const std::string capture = "video" + std::to_string(node);
        const std::string metadata = "video" + std::to_string(node + 1);
        configure("[" + capture + "]\nmjpg = 320x240\nfps = 30\n[" + metadata + "]\nmetadata = yes\n");
        m_sysfs.plugUsbCamera(port, 0x1234, 0x5678, serial, {capture, metadata});
    }
};

TEST_F(Unplug, FailsAfterTheWholeTimeoutWithoutSpinning)
{
    const auto camera = openUnpluggingCamera();
    ASSERT_TRUE(camera);
    EXPECT_LE(framesUntilFailure(*camera), 5);

    const long callsBefore = fakev4l2_calls();
    const auto cpuBefore = threadCpuTime();
    const auto started = Clock::now();
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, kShortTimeout), FrameStatus::Failed);
    EXPECT_GE(Clock::now() - started, kShortTimeout);
    // A look for the camera every 100 ms is a handful of calls; a loop that spins makes thousands
    // and burns the wait's time on the CPU.
    EXPECT_LE(fakev4l2_calls() - callsBefore, 20);
    EXPECT_LT(threadCpuTime() - cpuBefore, kShortTimeout / 2);

    EXPECT_EQ(fakev4l2_open_files(), 0) << "the dead device is closed";
    EXPECT_EQ(fakev4l2_mappings(), 0) << "and its buffers unmapped";
}

TEST_F(Unplug, ResumesWhenTheCameraComesBackOnTheSameNode)
{
    const auto camera = openUnpluggingCamera();
    ASSERT_TRUE(camera);
    framesUntilFailure(*camera);
    EXPECT_EQ(fakev4l2_control("video0", V4L2_CID_POWER_LINE_FREQUENCY), V4L2_CID_POWER_LINE_FREQUENCY_DISABLED)
        << "the camera forgot its settings while unplugged";

    fakev4l2_replug("video0");
    Frame frame;
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(frame.size, (Size{320, 240}));
    EXPECT_GE(frameNumber(frame.data), 0);
    EXPECT_EQ(fakev4l2_control("video0", V4L2_CID_POWER_LINE_FREQUENCY), V4L2_CID_POWER_LINE_FREQUENCY_50HZ)
        << "settings are applied again";
    EXPECT_EQ(fakev4l2_open_files(), 1);
}

// Back within one wait, the camera costs the caller no failure at all: the frame numbers start
// over (a new stream), the statuses stay Ok.
TEST_F(Unplug, BridgesAShortAbsenceWithinOneWait)
{
    const auto camera = openUnpluggingCamera("replug_after_ms = 100\n");
    ASSERT_TRUE(camera);
    Frame frame;
    long previous = -1;
    bool restarted = false;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(camera->waitFrame(frame, kFrameTimeout), FrameStatus::Ok) << "frame " << i;
        const long number = frameNumber(frame.data);
        restarted = restarted || number < previous;
        previous = number;
    }
    EXPECT_TRUE(restarted);
}

TEST_F(Unplug, ResumesWhenTheCameraComesBackUnderOtherNodeNumbers)
{
    const auto camera = openUnpluggingCamera();
    ASSERT_TRUE(camera);
    framesUntilFailure(*camera);
    m_sysfs.unplugUsbCamera("1-1");
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, kShortTimeout), FrameStatus::Failed);

    plugBack("1-1", "", 4);
    ASSERT_EQ(waitOk(*camera, frame, 3), FrameStatus::Ok);
    EXPECT_EQ(frame.size, (Size{320, 240}));
}

TEST_F(Unplug, ResumesWhenTheCameraComesBackOnAnotherPortWithItsSerial)
{
    const auto camera = openUnpluggingCamera();
    ASSERT_TRUE(camera);
    framesUntilFailure(*camera);
    m_sysfs.unplugUsbCamera("1-1");

    plugBack("1-3", "SN1", 6);
    Frame frame;
    ASSERT_EQ(waitOk(*camera, frame, 3), FrameStatus::Ok);
    EXPECT_EQ(frame.size, (Size{320, 240}));
}

TEST_F(Unplug, TakesNoOtherCameraOfTheSameModelForIt)
{
    const auto camera = openUnpluggingCamera();
    ASSERT_TRUE(camera);
    framesUntilFailure(*camera);
    m_sysfs.unplugUsbCamera("1-1");

    plugBack("1-3", "SN2", 6);
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, kShortTimeout), FrameStatus::Failed);
    EXPECT_EQ(camera->waitFrame(frame, kShortTimeout), FrameStatus::Failed);
    EXPECT_EQ(fakev4l2_open_files(), 0);
}

TEST_F(Unplug, ClosesAndReopensWhileTheCameraIsAway)
{
    const auto camera = openUnpluggingCamera();
    ASSERT_TRUE(camera);
    framesUntilFailure(*camera);
    camera->close();
    Frame frame;
    EXPECT_EQ(camera->waitFrame(frame, 10ms), FrameStatus::Failed);
    EXPECT_FALSE(camera->open(Size{320, 240}, true));

    fakev4l2_replug("video0");
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    EXPECT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
}

}  // namespace
}  // namespace v4l2test
