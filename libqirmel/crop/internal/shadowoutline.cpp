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
    std::array<bool, 4> soft{};
    int shown = 0;
    for (int side = 0; side < 4; ++side) {
        const std::optional<SideProfile> profile = SideProfile::across(picture, outline, side, reach);
        if (!profile)
            continue;
        soft[std::size_t(side)] = isSoftStepDown(*profile, kMinSoftWidth * longer);
        ++shown;
    }
    // A band of shadow across the desk, the camera arm's, ends at whatever it falls on: its two long
    // sides say enough. Where a page's two sides look soft, out of focus, its others do too.
    const double ratio = outline.sideRatio();
    const std::size_t along = ratio >= 1 ? 0 : 1;
    if (PaperFormats::longOverShort(ratio) >= kMinBandRatio && soft[along] && soft[along + 2])
        return true;
    return shown >= kMinSides && std::count(soft.begin(), soft.end(), true) == shown;
}

}  // namespace qirmel
