#ifndef QIRMEL_CROP_SIDEREFINER_H
#define QIRMEL_CROP_SIDEREFINER_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// Moves each side of a rough outline onto the document's edge in the full-resolution frame. Only narrow
// strips along the four sides are resampled, so the cost follows the outline's length, not the frame's
// area. Stateless and reentrant.
class SideRefiner {
public:
    // searchRadius: how far, in full-resolution pixels, the true edge may lie from the rough side.
    // Sides whose edge cannot be followed keep their rough line; no outline when the result is degenerate.
    static std::optional<Quad> refine(const cv::Mat &frame, const Quad &rough, double searchRadius);
};

}  // namespace qirmel

#endif
