#include "pipeline/livecropper.h"

namespace qirmel {

std::optional<Quad> LiveCropper::follow(const Frame &frame, const cv::Mat &picture)
{
    if (frame.size != m_frameSize || frame.quarterTurns != m_frameTurns) {
        m_tracker.reset();
        m_frameSize = frame.size;
        m_frameTurns = frame.quarterTurns;
    }
    // The tracker keeps frame pixels, so that a change of the picture's scale does not move the outline.
    const double toPictureX = double(picture.cols) / frame.size.width;
    const double toPictureY = double(picture.rows) / frame.size.height;
    std::optional<Quad> seed = m_tracker.current();
    if (seed)
        seed = seed->resampled(toPictureX, toPictureY);
    std::optional<Quad> found = m_detector.detect(picture, seed);
    if (found)
        found = found->resampled(1 / toPictureX, 1 / toPictureY);
    // A scene can change its picture from one frame to the next (the virtual camera's folder of photos):
    // corners of the earlier picture are held only where this one still shows a page along them.
    return m_tracker.update(
        found, [&](const Quad &held) { return m_detector.shows(picture, held.resampled(toPictureX, toPictureY)); });
}

void LiveCropper::reset()
{
    m_tracker.reset();
}

}  // namespace qirmel
