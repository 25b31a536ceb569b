#include "pipeline/livecropper.h"

namespace qirmel {

std::optional<Quad> LiveCropper::follow(const Frame &frame, const cv::Mat &picture)
{
    if (frame.size != m_frameSize || frame.quarterTurns != m_frameTurns) {
        m_tracker.reset();
        m_frameSize = frame.size;
        m_frameTurns = frame.quarterTurns;
    }
    std::optional<Quad> found;
    if (frame.format == FrameFormat::Jpeg) {
        // The DCT scales a JPEG down for a fraction of a full decode: the judging image comes cheap.
        const ReducedImage reduced =
            m_decoder.decodeReducedGrey(frame.data.data(), frame.data.size(), DocumentDetector::kWorkingWidth);
        if (!reduced.grey.empty())
            found = m_detector.detect(reduced.grey, reduced.scale, picture, m_tracker.current());
    } else {
        found = m_detector.detect(picture, m_tracker.current());
    }
    return m_tracker.update(found);
}

void LiveCropper::reset()
{
    m_tracker.reset();
}

}  // namespace qirmel
