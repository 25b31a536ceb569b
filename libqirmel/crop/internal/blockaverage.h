#ifndef QIRMEL_CROP_BLOCKAVERAGE_H
#define QIRMEL_CROP_BLOCKAVERAGE_H

#include <opencv2/core.hpp>

namespace qirmel {

// A picture's grey reduced by a whole factor, each pixel the mean of its factor x factor block, rounded as
// OpenCV's area resize rounds it, so that what is judged on it is the same to the level. OpenCV averages
// halves in one vectorised pass but larger blocks one pixel at a time; this sums the block's rows in
// vectors first and takes three to four times less. Stateless and reentrant.
class BlockAverage {
public:
    // The picture (CV_8UC1, or CV_8UC3 in B G R order, turned grey as cv::cvtColor turns it) reduced to
    // cols / factor x rows / factor; the last rows and columns short of a whole block are left out.
    static cv::Mat reduce(const cv::Mat &picture, int factor);
};

}  // namespace qirmel

#endif
