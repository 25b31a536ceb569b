#include "source/stillpreparer.h"

namespace qirmel {

StillPreparer::StillPreparer(const SceneScript &script) : m_script(script), m_worker([this] { run(); }) {}

StillPreparer::~StillPreparer()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        ++m_requests;
    }
    m_wake.notify_one();
    m_worker.join();
}

void StillPreparer::request(int index, Size size)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_waiting = Request{index, size};
        ++m_requests;
        m_pending = true;
        m_still.reset();
    }
    m_wake.notify_one();
}

void StillPreparer::cancel()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_waiting.reset();
    ++m_requests;
    m_pending = false;
    m_still.reset();
    m_done.notify_all();
    m_done.wait(lock, [this] { return !m_rendering; });
}

std::optional<cv::Mat> StillPreparer::take()
{
    return take(Clock::time_point::min());
}

std::optional<cv::Mat> StillPreparer::take(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait_until(lock, deadline, [this] { return m_still || !m_pending; });
    std::optional<cv::Mat> still;
    still.swap(m_still);
    return still;
}

void StillPreparer::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_waiting; });
        if (m_stopping)
            return;
        const Request request = *m_waiting;
        const std::uint64_t number = m_requests;
        m_waiting.reset();
        m_rendering = true;
        lock.unlock();
        const auto givenUp = [this, number] {
            const std::lock_guard<std::mutex> check(m_mutex);
            return number != m_requests;
        };
        cv::Mat still;
        try {
            still = m_script.render(request.index, request.size, givenUp);
        } catch (...) {
            // A still that cannot be rendered is reported as an empty one, like an unreadable photo.
        }
        lock.lock();
        m_rendering = false;
        if (number == m_requests) {
            m_still = std::move(still);
            m_pending = false;
        }
        m_done.notify_all();
    }
}

}  // namespace qirmel
