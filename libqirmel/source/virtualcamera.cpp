#include "source/virtualcamera.h"

#include "source/deskscene.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <thread>

namespace qirmel {

namespace {

constexpr long long kLargeFrameArea = 1920LL * 1080;
constexpr int kLargeFrameRate = 15;
constexpr int kSmallFrameRate = 30;

// The noise is a small buffer, cheap to keep in cache, read at a random offset for every chunk of
// the frame so that no two frames share a pattern.
constexpr std::size_t kNoiseChunk = 64 * 1024;
constexpr int kNoiseSpread = 6;  // each sample adds 0 to 2 * kNoiseSpread, kNoiseSpread on average

}  // namespace

VirtualCamera::VirtualCamera(VirtualCameraConfig config) : m_config(std::move(config)), m_random(std::random_device{}())
{
    std::uniform_int_distribution<int> half(0, kNoiseSpread);
    m_noise.resize(2 * kNoiseChunk);
    for (auto &sample : m_noise)
        sample = static_cast<std::uint8_t>(half(m_random) + half(m_random));
}

const CameraInfo &VirtualCamera::info() const
{
    return m_config.info;
}

int VirtualCamera::frameRate(Size size) const
{
    if (m_config.fps > 0)
        return m_config.fps;
    return size.area() > kLargeFrameArea ? kLargeFrameRate : kSmallFrameRate;
}

bool VirtualCamera::open(Size size, bool)
{
    close();
    const auto &sizes = m_config.info.resolutions;
    if (std::find(sizes.begin(), sizes.end(), size) == sizes.end())
        return false;
    if (m_sceneSize != size) {
        m_scene = renderDeskScene(m_config.scene, size);
        cv::Mat scene(1, static_cast<int>(m_scene.size()), CV_8U, m_scene.data());
        cv::subtract(scene, cv::Scalar(kNoiseSpread), scene);
        m_sceneSize = size;
    }
    m_size = size;
    m_period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / frameRate(size);
    m_nextFrame = Clock::now() + m_period;
    m_open = true;
    return true;
}

void VirtualCamera::close()
{
    m_open = false;
}

FrameStatus VirtualCamera::waitFrame(Frame &frame, std::chrono::milliseconds timeout)
{
    if (!m_open)
        return FrameStatus::Failed;
    const auto now = Clock::now();
    if (m_nextFrame > now + timeout) {
        std::this_thread::sleep_for(timeout);
        return FrameStatus::Timeout;
    }
    std::this_thread::sleep_until(m_nextFrame);

    frame.format = FrameFormat::Rgb24;
    frame.size = m_size;
    frame.data.resize(m_scene.size());
    addNoise(frame.data.data());

    m_nextFrame += m_period;
    const auto after = Clock::now();
    if (m_nextFrame < after)
        m_nextFrame += m_period * ((after - m_nextFrame) / m_period + 1);
    return FrameStatus::Ok;
}

void VirtualCamera::addNoise(std::uint8_t *target)
{
    std::uniform_int_distribution<std::size_t> offset(0, kNoiseChunk);
    for (std::size_t done = 0; done < m_scene.size(); done += kNoiseChunk) {
        const int length = static_cast<int>(std::min(kNoiseChunk, m_scene.size() - done));
        const cv::Mat scene(1, length, CV_8U, m_scene.data() + done);
        const cv::Mat noise(1, length, CV_8U, m_noise.data() + offset(m_random));
        cv::Mat out(1, length, CV_8U, target + done);
        cv::add(scene, noise, out);
    }
}

}  // namespace qirmel
