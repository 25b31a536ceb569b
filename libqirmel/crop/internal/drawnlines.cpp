#include "crop/internal/drawnlines.h"

#include "crop/internal/sideprofile.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace qirmel {

namespace {

// Profiles across a side reach this far to either side of it, as a share of the picture's longer side:
// less than the space between a ruler's marks.
constexpr double kReach = 0.012;
// A drawn line is this much darker or lighter than the surface on both sides of it, which differs from
// one side to the other by no more than noise and the light falling off do. A sheet's own edge, even on
// a desk as bright, differs in tint, and the thin shadow along it is fainter.
constexpr double kMinLineDepth = 30;
constexpr double kMaxSurfaceStep = 6;

bool isDrawnLine(const cv::Mat &picture, const Quad &outline, int side, int reach)
{
    const std::optional<SideProfile> profile = SideProfile::across(picture, outline, side, reach);
    return profile && profile->lineDepth() >= kMinLineDepth && profile->largestStep() <= kMaxSurfaceStep;
}

}  // namespace

bool DrawnLines::bound(const cv::Mat &picture, const Quad &outline)
{
    const int reach = std::max(3, int(std::lround(kReach * std::max(picture.cols, picture.rows))));
    for (int side = 0; side < 2; ++side)
        if (isDrawnLine(picture, outline, side, reach) && isDrawnLine(picture, outline, side + 2, reach))
            return true;
    return false;
}

}  // namespace qirmel
