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
    cv::Mat judged;
    double scale = 1;
    cv::Mat searched = picture;
    if (frame.format == FrameFormat::Jpeg) {
        // The DCT scales a JPEG down for a fraction of a full decode: the judging image comes cheap.
        Size reduced;
        if (m_codec.decodeGrey(frame.data.data(), frame.data.size(), m_decodedGrey, reduced,
                               Size{DocumentDetector::kWorkingWidth, 0})) {
            judged = cv::Mat(reduced.height, reduced.width, CV_8UC1, m_decodedGrey.data());
            scale = double(picture.cols) / reduced.width;
        }
    } else {
        // Reduced by a whole factor, which averages blocks of pixels in one quick pass where any other
        // factor takes several times as long; the last rows and columns short of a whole block are left
        // out of the search. The factor goes by the longer side, so that a frame the virtual camera
        // turned upright is judged on no more pixels than a wide one.
        const int factor = std::max(1, std::max(picture.cols, picture.rows) / DocumentDetector::kWorkingWidth);
        const cv::Size reducedSize(picture.cols / factor, picture.rows / factor);
        searched = picture(cv::Rect(0, 0, reducedSize.width * factor, reducedSize.height * factor));
        cv::resize(searched, m_reduced, reducedSize, 0, 0, cv::INTER_AREA);
        cv::cvtColor(m_reduced, m_grey, cv::COLOR_BGR2GRAY);
        judged = m_grey;
        scale = factor;
    }
    std::optional<Quad> found;
    if (!judged.empty())
        found = m_detector.detect(judged, scale, searched, m_tracker.current());
    // A scene can change its picture from one frame to the next (the virtual camera's folder of photos):
    // corners of the earlier picture are held only where this one still shows a page along them.
    return m_tracker.update(found, [&](const Quad &held) { return m_detector.shows(judged, scale, searched, held); });
}

void LiveCropper::reset()
{
    m_tracker.reset();
}

}  // namespace qirmel
