// The state of one fake camera that outlives its open files: presence, controls, frame count.
#ifndef FAKEV4L2_FAKEDEVICE_H
#define FAKEV4L2_FAKEDEVICE_H

#include "devicedescription.h"
#include "framemaker.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace fakev4l2 {

class FakeFile;

class FakeDevice {
public:
    explicit FakeDevice(DeviceDescription description);

    const DeviceDescription &description() const { return m_description; }
    FrameMaker &frameMaker() { return m_frameMaker; }

    // Whether the device is plugged in now (it comes back by itself replug_after_ms after an
    // unplug), and which plug-in this is: files opened before an unplug stay dead afterwards.
    bool isPresent();
    unsigned generation();
    bool isAlive(unsigned generation);

    void attach(const std::shared_ptr<FakeFile> &file);
    void unplug();
    void replug();

    // Has every streaming file produce count frames now.
    void step(int count);

    int fps() const { return m_fps; }
    void setFps(int fps);

    // Counts one produced frame; true when this frame is the one after which the device unplugs.
    bool countFrame();
    long frames() const { return m_frames; }

    // The value of a control, or nothing when the device lacks it.
    bool control(std::uint32_t id, std::int32_t &value);
    bool setControl(std::uint32_t id, std::int32_t value);

private:
    using Clock = std::chrono::steady_clock;

    std::vector<std::shared_ptr<FakeFile>> liveFiles();
    void resetControls();

    const DeviceDescription m_description;
    FrameMaker m_frameMaker;
    std::atomic<int> m_fps;
    std::atomic<long> m_frames{0};

    std::mutex m_mutex;
    bool m_present = true;
    bool m_unpluggedOnce = false;
    unsigned m_generation = 0;
    Clock::time_point m_unpluggedAt;
    std::map<std::uint32_t, std::int32_t> m_controls;
    std::vector<std::weak_ptr<FakeFile>> m_files;
};

}  // namespace fakev4l2

#endif  // FAKEV4L2_FAKEDEVICE_H
