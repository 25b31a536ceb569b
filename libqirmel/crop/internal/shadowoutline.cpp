#include "crop/internal/shadowoutline.h"

#include "crop/internal/paperformats.h"
#include "crop/internal/sideprofile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace qirmel {

namespace {

// Profiles across a side reach this far to either side of it, as a share of the picture's longer side.
constexpr double kReach = 0.025;
// A shadow darkens the desk by this many levels at least; a side stepping less says nothing either way.
constexpr double kMinDepth = 15;
// The band from a tenth to nine tenths of the step is at least this wide, as a share of the longer side.
constexpr double kMinSoftWidth = 0.01;
// At least so many sides must show, or the two long sides of a band this much longer than wide.
constexpr int kMinSides = 3;
constexpr double kMinBandRatio = 3;

// Whether the side steps down into the outline by a shadow's depth across a band at least minWidth wide.
bool isSoftStepDown(const SideProfile &side, double minWidth)
{
    const double inside = side.inside();
    const double outside = side.outside();
    if (outside - inside < kMinDepth)
        return false;
    const std::vector<double> &profile = side.grey();
    const auto reaches = [&](double share) {
        return std::find_if(profile.begin(), profile.end(),
                            [&](double value) { return value >= inside + share * (outside - inside); });
    };
    return double(reaches(0.9) - reaches(0.1)) >= minWidth;
}

}  // namespace

bool ShadowOutline::encloses(const cv::Mat &picture, const Quad &outline)
{
    const int longer = std::max(picture.cols, picture.rows);
    const int reach = std::max(2, int(std::lround(kReach * longer)));
    // Each side measured on first use: most outlines fail on the first.
    enum class Step { Unmeasured, OutOfFrame, Soft, Other };
    std::array<Step, 4> steps{};
    const auto stepAt = [&](int side) {
        Step &step = steps[std::size_t(side)];
        if (step == Step::Unmeasured) {
            const std::optional<SideProfile> profile = SideProfile::across(picture, outline, side, reach);
            if (!profile)
                step = Step::OutOfFrame;
            else
                step = isSoftStepDown(*profile, kMinSoftWidth * longer) ? Step::Soft : Step::Other;
        }
        return step;
    };
    // A band of shadow across the desk, the camera arm's, ends at whatever it falls on: its two long
    // sides say enough. Where a page's two sides look soft, out of focus, its others do too.
    const int along = outline.longerSide();
    if (PaperFormats::longOverShort(outline.sideRatio()) >= kMinBandRatio && stepAt(along) == Step::Soft &&
        stepAt(along + 2) == Step::Soft)
        return true;
    int shown = 0;
    for (int side = 0; side < 4; ++side) {
        const Step step = stepAt(side);
        if (step == Step::OutOfFrame)
            continue;
        if (step != Step::Soft)
            return false;
        ++shown;
    }
    return shown >= kMinSides;
}

}  // namespace qirmel
