#include "pipeline/livecropper.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

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
        // Reduced by its longer side: a frame the virtual camera turned upright is judged on as many
        // pixels as a wide one, where the detector, which goes by the width, would take three times as
        // many.
        const double scale = std::max(picture.cols, picture.rows) / double(DocumentDetector::kWorkingWidth);
        const cv::Mat *reduced = &picture;
        if (scale > 1) {
            cv::resize(picture, m_reduced, cv::Size(cvRound(picture.cols / scale), cvRound(picture.rows / scale)), 0,
                       0, cv::INTER_AREA);
            reduced = &m_reduced;
        }
        cv::cvtColor(*reduced, m_grey, cv::COLOR_BGR2GRAY);
        found = m_detector.detect(m_grey, std::max(1.0, scale), picture, m_tracker.current());
    }
    return m_tracker.update(found);
}

void LiveCropper::reset()
{
    m_tracker.reset();
}

}  // namespace qirmel
