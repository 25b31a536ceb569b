#ifndef QIRMEL_CROP_DRAWNLINES_H
#define QIRMEL_CROP_DRAWNLINES_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

namespace qirmel {

// A ruler's marks are lines drawn across one surface, and two of them with the ruler's edges outline a
// stretch of it as a document's sides would. A sheet's edge steps from the sheet to the desk, in
// brightness or in colour; a drawn line has the same surface on both sides of it.
class DrawnLines {
public:
    // Whether two opposite sides of the outline (in the picture's pixels, grey or B G R at full size) lie
    // on such lines, or one end of a narrow strip does.
    static bool bound(const cv::Mat &picture, const Quad &outline);
};

}  // namespace qirmel

#endif
