#ifndef QIRMEL_CROP_SHADOWOUTLINE_H
#define QIRMEL_CROP_SHADOWOUTLINE_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

namespace qirmel {

// A shadow cast on the desk (a lamp's, the camera arm's) is outlined like a sheet darker than the desk,
// but its edges are soft: light from a lamp of some size falls off across a band as wide as a
// hundredth of the picture or more, while paper ends within a pixel or two, a few more out of focus.
class ShadowOutline {
public:
    // Whether the outline, in the picture's pixels (grey or BGR, at full size), encloses a shadow: every
    // side that shows steps down into it by a shadow's depth across a soft band, or has the same surface
    // on both sides where a line within the shadow (the desk's grain) closes the outline, or the two long
    // sides of a narrow band step down softly.
    static bool encloses(const cv::Mat &picture, const Quad &outline);
    // Whether the side steps, either way, by a shadow's depth across a soft band, with print on both sides
    // of it: where a shadow falling across a page begins, not where the page ends.
    static bool isShadowEdge(const cv::Mat &picture, const Quad &outline, int side);
};

}  // namespace qirmel

#endif
