#include "source/stillpreparer.h"

namespace qirmel {

StillPreparer::StillPreparer(const SceneScript &script) : m_script(script), m_worker([this] { run(); }) {}

StillPreparer::~StillPreparer()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
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
        m_made.reset();
    }
    m_wake.notify_one();
}

std::optional<cv::Mat> StillPreparer::take()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::optional<cv::Mat> made;
    made.swap(m_made);
    return made;
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
        lock.unlock();
        cv::Mat still;
        try {
            still = m_script.render(request.index, request.size);
        } catch (...) {
            // A still that cannot be rendered is reported as an empty one, like an unreadable photo.
        }
        lock.lock();
        if (number == m_requests)
            m_made = still;
    }
}

}  // namespace qirmel
