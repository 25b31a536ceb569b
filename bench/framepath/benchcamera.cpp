#include "benchcamera.h"

#include "framelog.h"

#include <QThread>

#include <cstdlib>
#include <cstring>

namespace {

// How long GetFrameBuffer waits for a frame before it reports none, so that the frame thread
// still sees its stop flag while the camera is parked.
constexpr std::chrono::milliseconds kNoFrameWait{5};

}  // namespace

BenchCamera &BenchCamera::instance()
{
    static BenchCamera camera;
    return camera;
}

BenchCamera::BenchCamera()
{
    LibraryDouble::install(this);
}

void BenchCamera::setResolutions(std::vector<QSize> resolutions)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_resolutions = std::move(resolutions);
}

void BenchCamera::setFrames(std::vector<QByteArray> frames)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames = std::move(frames);
}

void BenchCamera::setLog(FrameLog *log)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log = log;
}

void BenchCamera::park()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = Mode::Parked;
    m_changed.notify_all();
}

void BenchCamera::serveKeepingInFlight(int framesInFlight)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = Mode::KeepingInFlight;
    m_framesInFlight = framesInFlight;
    m_lastShown = m_lastServed;
    m_counts = Counts();
    m_changed.notify_all();
}

void BenchCamera::serveAtRate(std::chrono::nanoseconds interval)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = Mode::AtRate;
    m_interval = interval;
    m_nextDue = std::chrono::steady_clock::now();
    m_counts = Counts();
    m_changed.notify_all();
}

void BenchCamera::frameShown(int frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastShown = std::max(m_lastShown, frame);
    m_changed.notify_all();
}

BenchCamera::Counts BenchCamera::counts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts;
}

int BenchCamera::nextFrame() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nextFrame;
}

QThread *BenchCamera::waitForFrameThread()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_frameThread != nullptr; });
    return m_frameThread;
}

int BenchCamera::SetDefaultRes(int width, int height)
{
    if (width <= 0 || height <= 0)
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requestedSize = QSize(width, height);
    return 0;
}

int BenchCamera::OpenCamera(int index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index != 0 || m_resolutions.empty())
        return -1;
    // The listed size nearest in pixel count, so that an oversized request opens the largest.
    const auto pixels = [](QSize size) { return qint64(size.width()) * size.height(); };
    QSize nearest = m_resolutions.front();
    for (const QSize &size : m_resolutions) {
        if (std::llabs(pixels(size) - pixels(m_requestedSize)) < std::llabs(pixels(nearest) - pixels(m_requestedSize)))
            nearest = size;
    }
    m_currentSize = nearest;
    m_open = true;
    // The app opens the camera only while its frame thread is stopped, and the next run is a new
    // thread whose CPU clock starts afresh: a frame still in the old thread's hand is no one's.
    m_frameInHand = -1;
    return 0;
}

int BenchCamera::CloseCamera()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = false;
    return 0;
}

int BenchCamera::GetResCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_resolutions.size());
}

QSize BenchCamera::resolution(int index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 0 || index >= int(m_resolutions.size()))
        return QSize(-1, -1);
    return m_resolutions[std::size_t(index)];
}

QSize BenchCamera::currentSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open ? m_currentSize : QSize(0, 0);
}

bool BenchCamera::waitForTurn(std::unique_lock<std::mutex> &lock)
{
    if (m_mode == Mode::AtRate) {
        m_changed.wait_until(lock, m_nextDue, [this] { return m_mode != Mode::AtRate; });
        if (m_mode != Mode::AtRate || !m_open)
            return false;
        // Frames that fell due while the app was busy elsewhere are gone, as they are from a camera.
        const auto now = std::chrono::steady_clock::now();
        const auto late = (now - m_nextDue) / m_interval;
        m_counts.missed += int(late);
        m_nextDue += m_interval * (late + 1);
        return true;
    }
    const bool ready = m_changed.wait_for(lock, kNoFrameWait, [this] {
        return m_mode == Mode::KeepingInFlight && m_lastServed - m_lastShown < m_framesInFlight;
    });
    return ready && m_open;
}

int BenchCamera::GetFrameBuffer(unsigned char *buffer, int *length)
{
    const ThreadUsage atCall = ThreadUsage::now();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_frameThread) {
        m_frameThread = QThread::currentThread();
        m_changed.notify_all();
    }
    if (m_frameInHand >= 0 && m_log)
        m_log->frameThreadSpent(m_frameInHand, atCall - m_usageAtHandOver);
    m_frameInHand = -1;

    if (!buffer || !length || m_frames.empty() || !waitForTurn(lock))
        return -1;
    const QByteArray &frame = m_frames[std::size_t(m_nextFrame) % m_frames.size()];
    // Like the library, never write past width × height × 3 of the open size.
    if (qint64(frame.size()) > qint64(m_currentSize.width()) * m_currentSize.height() * 3)
        return -1;
    std::memcpy(buffer, frame.constData(), std::size_t(frame.size()));
    *length = frame.size();
    const int number = m_nextFrame++;
    m_lastServed = number;
    ++m_counts.served;
    FrameLog *log = m_log;
    lock.unlock();

    if (log)
        log->served(number, ThreadUsage::wallNs());
    m_frameInHand = number;
    m_usageAtHandOver = ThreadUsage::now();
    return number;
}
