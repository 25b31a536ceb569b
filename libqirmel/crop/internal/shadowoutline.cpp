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
// A side across which neither grey nor any channel steps by this much has the same surface on both
// sides of it: no sheet's edge, but a line within the shadow, such as the desk's grain.
constexpr double kMaxFlatStep = 3;
constexpr double kMinBandRatio = 3;
// Print is sought along lines parallel to a side, this many across a band, leaving out this share of the side
// at either end, in samples this many pixels apart that differ by this much at least. Where a shadow's edge
// crosses a page, its print goes on into the shade on the other side, at least this share of the samples
// differing; across a page's edge lies the desk, which bears none.
constexpr int kPrintLines = 6;
constexpr double kPrintMargin = 0.1;
constexpr double kPrintSpacing = 2;
constexpr double kPrintContrast = 20;
constexpr double kMinPrintedShare = 0.1;

// The width of the band across which the profile climbs from a tenth to nine tenths of the way from the
// level at its start to the level at its end, in the direction it climbs.
double climbWidth(const std::vector<double> &profile, double from, double to)
{
    const double sign = to >= from ? 1 : -1;
    const auto reaches = [&](double share) {
        return std::find_if(profile.begin(), profile.end(),
                            [&](double value) { return sign * (value - from) >= share * sign * (to - from); });
    };
    return double(reaches(0.9) - reaches(0.1));
}

// Whether the side steps down into the outline by a shadow's depth across a band at least minWidth wide.
bool isSoftStepDown(const SideProfile &side, double minWidth)
{
    return side.outside() - side.inside() >= kMinDepth &&
           climbWidth(side.grey(), side.inside(), side.outside()) >= minWidth;
}

// The share of neighbouring samples along lines parallel to the side, in the band from near to far
// pixels off it (negative: inside), whose grey differs by as much as print does.
double printedShare(const cv::Mat &picture, const Quad &outline, int side, int near, int far)
{
    const cv::Point2f from = outline[side];
    const cv::Point2f to = outline[(side + 1) % 4];
    const double length = cv::norm(to - from);
    const cv::Point2f along = (to - from) * float(1 / std::max(1.0, length));
    const cv::Point2f outward = -outline.inwardNormal(side);
    const int lineStep = std::max(1, (far - near) / kPrintLines);
    std::size_t pairs = 0;
    std::size_t changes = 0;
    for (int offset = near; offset <= far; offset += lineStep) {
        // The grey of the last sample, where it lay inside the picture.
        bool hasPrevious = false;
        double previous = 0;
        for (double t = kPrintMargin * length; t < (1 - kPrintMargin) * length; t += kPrintSpacing) {
            const cv::Point2f p = from + along * float(t) + outward * float(offset);
            const int x = cvRound(p.x);
            const int y = cvRound(p.y);
            if (x < 0 || y < 0 || x >= picture.cols || y >= picture.rows) {
                hasPrevious = false;
                continue;
            }
            const double grey = SideProfile::greyAt(picture, x, y);
            if (hasPrevious) {
                ++pairs;
                changes += std::abs(grey - previous) >= kPrintContrast;
            }
            previous = grey;
            hasPrevious = true;
        }
    }
    return pairs > 0 ? double(changes) / double(pairs) : 0;
}

int reachIn(const cv::Mat &picture)
{
    return std::max(2, int(std::lround(kReach * std::max(picture.cols, picture.rows))));
}

}  // namespace

bool ShadowOutline::encloses(const cv::Mat &picture, const Quad &outline)
{
    const int longer = std::max(picture.cols, picture.rows);
    const int reach = reachIn(picture);
    // Each side measured on first use: most outlines fail on the first.
    enum class Step { Unmeasured, OutOfFrame, Soft, Flat, Other };
    std::array<Step, 4> steps{};
    const auto stepAt = [&](int side) {
        Step &step = steps[std::size_t(side)];
        if (step == Step::Unmeasured) {
            const std::optional<SideProfile> profile = SideProfile::across(picture, outline, side, reach);
            if (!profile)
                step = Step::OutOfFrame;
            else if (isSoftStepDown(*profile, kMinSoftWidth * longer))
                step = Step::Soft;
            else
                step = profile->largestStep() < kMaxFlatStep ? Step::Flat : Step::Other;
        }
        return step;
    };
    // A band of shadow across the desk, the camera arm's, ends at whatever it falls on: its two long
    // sides say enough. Where a page's two sides look soft, out of focus, its others do too.
    const int along = outline.longerSide();
    if (PaperFormats::longOverShort(outline.sideRatio()) >= kMinBandRatio && stepAt(along) == Step::Soft &&
        stepAt(along + 2) == Step::Soft)
        return true;
    // Or every side that shows is soft, or flat where a line within the shadow closed the outline.
    int shown = 0;
    int soft = 0;
    for (int side = 0; side < 4; ++side) {
        const Step step = stepAt(side);
        if (step == Step::OutOfFrame)
            continue;
        if (step == Step::Other)
            return false;
        ++shown;
        soft += step == Step::Soft;
    }
    return soft > 0 && (shown >= kMinSides || shown > soft);
}

bool ShadowOutline::isShadowEdge(const cv::Mat &picture, const Quad &outline, int side)
{
    const int reach = reachIn(picture);
    const std::optional<SideProfile> profile = SideProfile::across(picture, outline, side, reach);
    return profile && std::abs(profile->outside() - profile->inside()) >= kMinDepth &&
           climbWidth(profile->grey(), profile->inside(), profile->outside()) >=
               kMinSoftWidth * std::max(picture.cols, picture.rows) &&
           printedShare(picture, outline, side, reach / 2, 2 * reach) >= kMinPrintedShare &&
           printedShare(picture, outline, side, -2 * reach, -reach / 2) >= kMinPrintedShare;
}

}  // namespace qirmel
