#include "frameprobe.h"

#include "benchcamera.h"
#include "framelog.h"

FrameProbe::FrameProbe(FrameLog &log, BenchCamera &camera)
    : m_log(log)
    , m_camera(camera)
{
}

void FrameProbe::expect(int count)
{
    m_remaining = count;
    m_nullFrames = 0;
    m_lastUsage = ThreadUsage::now();
}

int FrameProbe::nullFrames() const
{
    return m_nullFrames;
}

void FrameProbe::onFrameShown(const QImage &image, int frame)
{
    const std::int64_t wallNs = ThreadUsage::wallNs();
    const ThreadUsage usage = ThreadUsage::now();
    m_log.shown(frame, wallNs, usage - m_lastUsage);
    m_lastUsage = usage;
    if (image.isNull())
        ++m_nullFrames;
    m_camera.frameShown(frame);
    if (m_remaining > 0 && --m_remaining == 0)
        emit enough();
}
