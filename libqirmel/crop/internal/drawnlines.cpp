#include "crop/internal/drawnlines.h"

#include "crop/internal/paperformats.h"
#include "crop/internal/sideprofile.h"

#include <algorithm>
#include <array>
#include <optional>

namespace qirmel {

namespace {

// A drawn line is this much darker or lighter than the surface on both sides of it, which differs from
// one side to the other by no more than noise and the light falling off do. A sheet's own edge, even on
// a desk as bright, differs in tint, and the thin shadow along it is fainter.
constexpr double kMinLineDepth = 30;
constexpr double kMaxSurfaceStep = 6;
// A strip this narrow with one end on a drawn line goes on beyond it: a ruler from its end to a mark.
// A receipt, the only document as narrow, ends where its paper does.
constexpr double kMinStripRatio = 3;

bool isDrawnLine(const cv::Mat &picture, const Quad &outline, int side, int reach)
{
    const std::optional<SideProfile> profile = SideProfile::across(picture, outline, side, reach);
    return profile && profile->lineDepth() >= kMinLineDepth && profile->largestStep() <= kMaxSurfaceStep;
}

}  // namespace

bool DrawnLines::bound(const cv::Mat &picture, const Quad &outline)
{
    const int reach = SideProfile::lineReach(picture);
    std::array<bool, 4> drawn{};
    for (int side = 0; side < 4; ++side)
        drawn[std::size_t(side)] = isDrawnLine(picture, outline, side, reach);
    if ((drawn[0] && drawn[2]) || (drawn[1] && drawn[3]))
        return true;
    // The ends of a strip: its shorter sides.
    const std::size_t end = std::size_t(1 - outline.longerSide());
    return PaperFormats::longOverShort(outline.sideRatio()) >= kMinStripRatio && (drawn[end] || drawn[end + 2]);
}

}  // namespace qirmel
