#include "gatedscene.h"

namespace qirmeltest {

namespace {

constexpr std::chrono::seconds kHangLimit(30);
constexpr std::chrono::milliseconds kStopPoll(1);

}  // namespace

cv::Mat GatedScene::renderStill(int index, qirmel::Size size, const std::function<bool()> &stopAsked) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_started.push_back(index);
    m_startedSizes.push_back(size);
    m_changed.notify_all();
    while (m_released <= static_cast<int>(m_finished)) {
        lock.unlock();
        const bool stop = stopAsked && stopAsked();
        lock.lock();
        if (stop) {
            ++m_givenUp;
            m_changed.notify_all();
            return cv::Mat();
        }
        m_changed.wait_for(lock, kStopPoll);
    }
    ++m_finished;
    m_changed.notify_all();
    if (index == 9)
        return cv::Mat();
    return cv::Mat(size.height, size.width, CV_8UC3, cv::Scalar::all(index));
}

void GatedScene::release()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_released;
    m_changed.notify_all();
}

bool GatedScene::waitUntil(const std::function<bool()> &condition) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, kHangLimit, condition);
}

bool GatedScene::waitUntilStarted(std::size_t renders) const
{
    return waitUntil([&] { return m_started.size() >= renders; });
}

bool GatedScene::waitUntilFinished(std::size_t renders) const
{
    return waitUntil([&] { return m_finished >= renders; });
}

bool GatedScene::waitUntilGivenUp(std::size_t renders) const
{
    return waitUntil([&] { return m_givenUp >= renders; });
}

std::size_t GatedScene::finished() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
}

std::size_t GatedScene::givenUp() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_givenUp;
}

std::vector<int> GatedScene::started() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_started;
}

std::vector<qirmel::Size> GatedScene::startedSizes() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_startedSizes;
}

}  // namespace qirmeltest
