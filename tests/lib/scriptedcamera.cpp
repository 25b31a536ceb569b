#include "scriptedcamera.h"

#include <random>
#include <thread>
#include <utility>

namespace qirmeltest {

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FrameStatus;
using qirmel::Size;

ScriptedCamera::ScriptedCamera(qirmel::CameraInfo info) : m_info(std::move(info)) {}

bool ScriptedCamera::open(Size size, bool compressed)
{
    m_compressed = compressed;
    if (m_openFails)
        return false;
    m_size = size;
    m_open = true;
    return true;
}

void ScriptedCamera::close()
{
    ++m_closes;
    m_open = false;
}

FrameStatus ScriptedCamera::waitFrame(Frame &frame, std::chrono::milliseconds timeout)
{
    if (!m_open)
        return FrameStatus::Failed;
    const auto delay = m_delay.load();
    std::this_thread::sleep_for(std::min(delay, timeout));
    if (delay > timeout)
        return FrameStatus::Timeout;
    if (m_status != FrameStatus::Ok)
        return m_status;
    frame = m_frame ? *m_frame : markedFrame(m_size);
    ++m_frames;
    return FrameStatus::Ok;
}

Frame markedFrame(Size size)
{
    Frame frame;
    frame.format = FrameFormat::Rgb24;
    frame.size = size;
    frame.data.resize(static_cast<std::size_t>(size.area()) * 3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const bool red = x < size.width / 2 && y < size.height / 2;
            std::uint8_t *pixel = frame.data.data() + (static_cast<std::size_t>(y) * size.width + x) * 3;
            pixel[0] = red ? 220 : 128;
            pixel[1] = red ? 30 : 128;
            pixel[2] = red ? 30 : 128;
        }
    return frame;
}

Frame noiseFrame(Size size)
{
    Frame frame = markedFrame(size);
    std::mt19937 random(size.width * 7919 + size.height);
    for (auto &value : frame.data)
        value = static_cast<std::uint8_t>(random());
    return frame;
}

std::vector<std::uint8_t> swapRedBlue(std::vector<std::uint8_t> pixels)
{
    for (std::size_t i = 0; i + 2 < pixels.size(); i += 3)
        std::swap(pixels[i], pixels[i + 2]);
    return pixels;
}

int redQuarter(const std::vector<std::uint8_t> &rgb, int width, int height)
{
    const int points[4][2] = {{width / 4, height / 4},
                              {3 * width / 4, height / 4},
                              {3 * width / 4, 3 * height / 4},
                              {width / 4, 3 * height / 4}};
    int found = -1;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t *pixel = rgb.data() + (static_cast<std::size_t>(points[i][1]) * width + points[i][0]) * 3;
        if (pixel[0] > 180 && pixel[1] < 80 && pixel[2] < 80) {
            if (found >= 0)
                return -1;
            found = i;
        }
    }
    return found;
}

}  // namespace qirmeltest
