#include "source/faultycamera.h"

#include <algorithm>
#include <limits>
#include <thread>

namespace qirmel {

namespace {

constexpr int kDamagedQuality = 85;
constexpr std::uint8_t kStartOfScan = 0xda;

bool hits(int every, long count)
{
    return every > 0 && count % every == 0;
}

// Where the picture data of a JPEG image begins: after the header of its first scan; 0 when the
// headers cannot be walked.
std::size_t pictureDataStart(const std::vector<std::uint8_t> &jpeg)
{
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xff) {
        const std::size_t length = std::size_t(jpeg[pos + 2]) << 8 | jpeg[pos + 3];
        if (jpeg[pos + 1] == kStartOfScan)
            return std::min(pos + 2 + length, jpeg.size());
        pos += 2 + length;
    }
    return 0;
}

// Sleeps until the end of a stall or an absence, but not past deadline; true when it is over.
bool waitOut(std::chrono::steady_clock::time_point end, std::chrono::steady_clock::time_point deadline)
{
    if (std::chrono::steady_clock::now() >= end)
        return true;
    std::this_thread::sleep_until(std::min(end, deadline));
    return std::chrono::steady_clock::now() >= end;
}

}  // namespace

FaultyCamera::FaultyCamera(std::unique_ptr<CameraSource> camera, const CameraFaults &faults)
    : m_camera(std::move(camera)), m_faults(faults)
{}

const CameraInfo &FaultyCamera::info() const
{
    return m_camera->info();
}

bool FaultyCamera::open(Size size, bool compressed)
{
    m_frames = 0;
    m_stalledBefore = 0;
    m_stallEnd = Clock::time_point();
    if (Clock::now() < m_backAt) {
        m_camera->close();
        return false;
    }
    return m_camera->open(size, compressed);
}

void FaultyCamera::close()
{
    m_camera->close();
}

void FaultyCamera::preferTurns(int quarterTurns)
{
    m_camera->preferTurns(quarterTurns);
}

bool FaultyCamera::allowPhoto()
{
    return !hits(m_faults.photoFailEvery, ++m_photos) && m_camera->allowPhoto();
}

FrameStatus FaultyCamera::waitFrame(Frame &frame, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    if (!waitOut(m_backAt, deadline))
        return FrameStatus::Failed;
    const long next = m_frames + 1;
    if (hits(m_faults.stallEvery, next) && m_stalledBefore != next) {
        m_stalledBefore = next;
        m_stallEnd = Clock::now() + m_faults.stall;
    }
    if (!waitOut(m_stallEnd, deadline))
        return FrameStatus::Timeout;

    const auto left = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                               std::chrono::milliseconds(0));
    const FrameStatus status = m_camera->waitFrame(frame, left);
    if (status != FrameStatus::Ok)
        return status;
    m_frames = next;
    if (hits(m_faults.unplugEvery, next))
        m_backAt = Clock::now() + m_faults.unplugged;
    if (hits(m_faults.failEvery, next))
        return FrameStatus::Failed;
    if (hits(m_faults.truncateEvery, next) || hits(m_faults.corruptEvery, next))
        damage(frame, hits(m_faults.truncateEvery, next));
    return FrameStatus::Ok;
}

void FaultyCamera::damage(Frame &frame, bool cutOff)
{
    if (frame.format == FrameFormat::Jpeg) {
        m_jpeg.swap(frame.data);
    } else if (!m_codec.encode(frame.data.data(), frame.size, frame.format, kDamagedQuality,
                               std::numeric_limits<std::size_t>::max(), m_jpeg)) {
        return;
    }
    const std::size_t start = pictureDataStart(m_jpeg);
    if (start > 0 && start < m_jpeg.size()) {
        const std::size_t pictureData = m_jpeg.size() - start;
        if (cutOff) {
            m_jpeg.resize(start + pictureData / 2);
        } else {
            // The middle third overwritten with bytes that are never a marker's 0xff.
            for (std::size_t i = start + pictureData / 3; i < start + 2 * pictureData / 3; ++i)
                m_jpeg[i] = static_cast<std::uint8_t>((i * 37 + 11) % 0xff);
        }
    }
    frame.format = FrameFormat::Jpeg;
    frame.data.swap(m_jpeg);
}

}  // namespace qirmel
