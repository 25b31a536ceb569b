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
        Size reduced;
        if (m_codec.decodeGrey(frame.data.data(), frame.data.size(), m_decodedGrey, reduced,
                               Size{DocumentDetector::kWorkingWidth, 0})) {
            const cv::Mat grey(reduced.height, reduced.width, CV_8UC1, m_decodedGrey.data());
            found = m_detector.detect(grey, double(picture.cols) / reduced.width, picture, m_tracker.current());
        }
    } else {
        // Reduced by a whole factor, which averages blocks of pixels in one quick pass where any other
        // factor takes several times as long; the last rows and columns short of a whole block are left
        // out of the search. The factor goes by the longer side, so that a frame the virtual camera
        // turned upright is judged on no more pixels than a wide one.
        const int factor = std::max(1, std::max(picture.cols, picture.rows) / DocumentDetector::kWorkingWidth);
        const cv::Size reducedSize(picture.cols / factor, picture.rows / factor);
        const cv::Mat searched = picture(cv::Rect(0, 0, reducedSize.width * factor, reducedSize.height * factor));
        cv::resize(searched, m_reduced, reducedSize, 0, 0, cv::INTER_AREA);
        cv::cvtColor(m_reduced, m_grey, cv::COLOR_BGR2GRAY);
        found = m_detector.detect(m_grey, factor, searched, m_tracker.current());
    }
    return m_tracker.update(found);
}

void LiveCropper::reset()
{
    m_tracker.reset();
}

}  // namespace qirmel
