#ifndef QIRMEL_CROP_CHROMACHANNELS_H
#define QIRMEL_CROP_CHROMACHANNELS_H

#include <opencv2/core.hpp>

#include <vector>

namespace qirmel {

// Two colour-difference images of a BGR frame at a reduced size: red against green, and yellow against
// blue, both centred on 128. A coloured page or a card can match the desk in brightness, never in both of
// these. Stateless and reentrant.
class ChromaChannels {
public:
    // Each reduced pixel averages the 2 x 2 frame pixels at the centre of the cell it covers, which costs a
    // fraction of an area resize of the whole frame and is smooth enough for JPEG's already halved colour.
    static std::vector<cv::Mat> reduce(const cv::Mat &bgr, const cv::Size &size);
};

}  // namespace qirmel

#endif
