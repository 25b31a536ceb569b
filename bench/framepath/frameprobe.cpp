#include "frameprobe.h"

#include "benchcamera.h"
#include "framelog.h"

FrameProbe::FrameProbe(FrameLog &log, BenchCamera &camera) : m_log(log), m_camera(camera) {}

void FrameProbe::expect(int firstFrame, int count)
{
    m_firstFrame = firstFrame;
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
    const ThreadUsage spent = usage - m_lastUsage;
    m_lastUsage = usage;
    // The decoder gets the frame's buffer back only when this emission's copy of the image goes,
    // after this slot; told after that, the camera's next frame always finds a buffer free.
    QMetaObject::invokeMethod(
        this, [this, frame] { m_camera.frameShown(frame); }, Qt::QueuedConnection);
    if (frame < m_firstFrame)
        return;
    m_log.shown(frame, wallNs, spent);
    if (image.isNull())
        ++m_nullFrames;
    if (m_remaining > 0 && --m_remaining == 0)
        emit enough();
}
