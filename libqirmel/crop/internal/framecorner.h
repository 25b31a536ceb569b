#ifndef QIRMEL_CROP_FRAMECORNER_H
#define QIRMEL_CROP_FRAMECORNER_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// A sheet with a corner just inside the frame's border shows its fourth side only from that corner to the
// border, a stretch too short to outline it; taken on to sheet proportions beyond the frame, the outline
// then runs past the corner. Along a side that runs out of the frame the sheet's edge ends at its corner,
// short of the border, and the fourth side leaves the frame from there. Stateless.
class FrameCorner {
public:
    // The outline (in the picture's pixels; grey or B G R) with its side beyond the frame moved onto the
    // stretch of the sheet's edge that shows from such a corner; none where no side's edge ends short of
    // the border.
    static std::optional<Quad> within(const cv::Mat &picture, const Quad &outline);
};

}  // namespace qirmel

#endif
