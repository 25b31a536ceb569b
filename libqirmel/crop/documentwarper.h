#ifndef QIRMEL_CROP_DOCUMENTWARPER_H
#define QIRMEL_CROP_DOCUMENTWARPER_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

namespace qirmel {

// Cuts a document out of a frame and straightens it into an upright rectangle of its true proportions.
// Stateless and reentrant.
class DocumentWarper {
public:
    // Width over height of the document itself, recovered from its perspective image in a frame of the
    // given size (the camera's axis is taken to pass through the frame's centre) and snapped to a known
    // paper or card format when one is close.
    static double aspectRatio(const Quad &quad, const cv::Size &frameSize);
    // Size of the straightened document: the proportions above, at about the resolution the frame has
    // along the document's longer side.
    static cv::Size outputSize(const Quad &quad, const cv::Size &frameSize);
    // The straightened document at outputSize(), or, with atMost given, scaled down with its proportions
    // kept where it would be wider or taller than that.
    static cv::Mat warp(const cv::Mat &frame, const Quad &quad, const cv::Size &atMost = cv::Size());
};

}  // namespace qirmel

#endif
