#include "fakedevice.h"

#include "fakefile.h"

#include <linux/videodev2.h>

#include <algorithm>

namespace fakev4l2 {

FakeDevice::FakeDevice(DeviceDescription description)
    : m_description(std::move(description)), m_frameMaker(m_description), m_fps(m_description.fps)
{
    resetControls();
}

void FakeDevice::resetControls()
{
    m_controls.clear();
    if (m_description.powerLine)
        m_controls[V4L2_CID_POWER_LINE_FREQUENCY] = V4L2_CID_POWER_LINE_FREQUENCY_DISABLED;
}

bool FakeDevice::isPresent()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_present && m_description.replugAfterMs > 0 &&
        Clock::now() >= m_unpluggedAt + std::chrono::milliseconds(m_description.replugAfterMs)) {
        m_present = true;
        ++m_generation;
    }
    return m_present;
}

unsigned FakeDevice::generation()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_generation;
}

bool FakeDevice::isAlive(unsigned generation)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_present && m_generation == generation;
}

void FakeDevice::attach(const std::shared_ptr<FakeFile> &file)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_files.erase(std::remove_if(m_files.begin(), m_files.end(), [](const auto &weak) { return weak.expired(); }),
                  m_files.end());
    m_files.push_back(file);
}

std::vector<std::shared_ptr<FakeFile>> FakeDevice::liveFiles()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::shared_ptr<FakeFile>> files;
    for (const auto &weak : m_files) {
        if (auto file = weak.lock())
            files.push_back(std::move(file));
    }
    return files;
}

void FakeDevice::unplug()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_present)
            return;
        m_present = false;
        m_unpluggedOnce = true;
        m_unpluggedAt = Clock::now();
        resetControls();
    }
    // Outside the lock: a file's producer thread may be the caller and files take their own locks.
    for (const auto &file : liveFiles())
        file->wake();
}

void FakeDevice::replug()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_present)
        return;
    m_present = true;
    ++m_generation;
}

void FakeDevice::step(int count)
{
    for (const auto &file : liveFiles())
        file->produceNow(count);
}

void FakeDevice::setFps(int fps)
{
    m_fps = fps;
    for (const auto &file : liveFiles())
        file->wake();
}

bool FakeDevice::countFrame()
{
    const long count = ++m_frames;
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_description.unplugAfter > 0 && count == m_description.unplugAfter && !m_unpluggedOnce;
}

bool FakeDevice::control(std::uint32_t id, std::int32_t &value)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_controls.find(id);
    if (found == m_controls.end())
        return false;
    value = found->second;
    return true;
}

bool FakeDevice::setControl(std::uint32_t id, std::int32_t value)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_controls.find(id);
    if (found == m_controls.end())
        return false;
    found->second = value;
    return true;
}

}  // namespace fakev4l2
