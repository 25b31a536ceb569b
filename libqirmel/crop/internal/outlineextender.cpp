#include "crop/internal/outlineextender.h"

#include "crop/internal/outlinecolours.h"
#include "crop/internal/paperformats.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qirmel {

namespace {

// The length of the sides running out of the frame over the width of the side between them, for an A4
// sheet and a Letter sheet either way round; the first that puts the far side beyond the frame is taken.
constexpr double kSideRatios[] = {1 / PaperFormats::kIsoSheet, 1 / PaperFormats::kLetterSheet, PaperFormats::kIsoSheet,
                                  PaperFormats::kLetterSheet};
// Perspective shortens the sides running away from the camera: where a proportion leaves a corner of the
// far side just inside the frame, the sides are taken this much further at most, to the border. The
// corner, if it shows there, is found on the picture itself.
constexpr double kMaxStretch = 1.1;
// Samples closer than this to the frame's border are not measured.
constexpr float kBorder = 2;
// Three sides alone make the outline, so they must lie on edges nearly all along and the page must show
// along most of the completed outline.
constexpr double kMinSideSupport = 0.85;
constexpr double kMinMeanSupport = 0.9;
constexpr double kMinPolarity = 0.8;
constexpr double kMinVisible = 0.5;
// The page must be seen to go on: its two sides must run on past the replaced side, on edges, for this
// many samples a couple of pixels apart. A page whose side lies just inside the frame's border shows
// only the desk's last pixels there.
constexpr int kMinRunOnSamples = 6;
constexpr float kRunOnStep = 2;

// Whether the segment from p to q keeps clear of the part of the frame where edges are measured.
bool beyond(const cv::Point2f &p, const cv::Point2f &q, const cv::Size &frame)
{
    // Liang-Barsky: what is left of the segment after clipping it to the measured rectangle.
    const cv::Point2f d = q - p;
    const std::array<std::array<double, 2>, 4> limits{{{-d.x, p.x - kBorder},
                                                       {d.x, frame.width - 1 - kBorder - p.x},
                                                       {-d.y, p.y - kBorder},
                                                       {d.y, frame.height - 1 - kBorder - p.y}}};
    double enter = 0;
    double leave = 1;
    for (const auto &[towards, room] : limits) {
        if (towards == 0) {
            if (room < 0)
                return true;
            continue;
        }
        const double t = room / towards;
        if (towards < 0)
            enter = std::max(enter, t);
        else
            leave = std::min(leave, t);
    }
    return enter >= leave;
}

// The outline with its side from corner `side` to the next moved along its neighbours until the side
// lies beyond the frame; none if no sheet proportion puts it there.
std::optional<Quad> extended(const Quad &outline, int side, const cv::Size &frame)
{
    const int from = side;
    const int to = (side + 1) % 4;
    const cv::Point2f fromBase = outline[(side + 3) % 4];
    const cv::Point2f toBase = outline[(side + 2) % 4];
    const double width = cv::norm(toBase - fromBase);
    const cv::Point2f fromAlong = outline[from] - fromBase;
    const cv::Point2f toAlong = outline[to] - toBase;
    const double fromLength = cv::norm(fromAlong);
    const double toLength = cv::norm(toAlong);
    if (width < 1 || fromLength < 1 || toLength < 1)
        return std::nullopt;
    for (const double ratio : kSideRatios) {
        if (ratio * width <= std::max(fromLength, toLength))
            continue;
        for (double length = ratio * width; length <= kMaxStretch * ratio * width; length += 1) {
            std::array<cv::Point2f, 4> corners = outline.corners();
            corners[from] = fromBase + fromAlong * float(length / fromLength);
            corners[to] = toBase + toAlong * float(length / toLength);
            if (beyond(corners[from], corners[to], frame))
                return Quad(corners);
        }
    }
    return std::nullopt;
}

// Whether the sides next to `side` run on along edges from the outline's corners to the frame's border.
bool runsOn(const Quad &outline, const Quad &extended, int side, const EdgeSupport &support,
            const SideEvidence &evidence)
{
    int samples = 0;
    int supported = 0;
    for (const int corner : {side, (side + 1) % 4}) {
        const cv::Point2f from = outline[corner];
        const cv::Point2f towards = extended[corner] - from;
        const float length = float(cv::norm(towards));
        // The neighbouring side's inward normal: the side that runs on is the one ending at this corner.
        const int runningSide = corner == side ? (side + 3) % 4 : (side + 1) % 4;
        const cv::Point2f inward = extended.inwardNormal(runningSide);
        for (float t = kRunOnStep; t < length; t += kRunOnStep) {
            const cv::Point2f p = from + towards * (t / length);
            if (!support.measurable(p))
                break;
            ++samples;
            const int sign = support.edgeSigns(p, inward)[evidence.channel];
            supported += sign == (evidence.insideBrighter ? 1 : -1);
        }
    }
    return samples >= kMinRunOnSamples && supported >= kMinSideSupport * samples;
}

}  // namespace

std::optional<Quad> OutlineExtender::beyondFrame(const Quad &outline, const EdgeSupport &support,
                                                 const std::function<bool(const Quad &)> &wanted)
{
    std::optional<Quad> best;
    double bestSupport = 0;
    for (int side = 0; side < 4; ++side) {
        const std::optional<Quad> candidate = extended(outline, side, support.size());
        if (!candidate || (wanted && !wanted(*candidate)))
            continue;
        const SideEvidence evidence = support.measure(*candidate);
        if (evidence.minShownSupport < kMinSideSupport || evidence.meanSupport < kMinMeanSupport ||
            evidence.polarity < kMinPolarity || evidence.visible < kMinVisible || evidence.meanSupport <= bestSupport)
            continue;
        if (!runsOn(outline, *candidate, side, support, evidence) ||
            !OutlineColours(support).ringIsDocument(*candidate, outline))
            continue;
        best = candidate;
        bestSupport = evidence.meanSupport;
    }
    return best;
}

}  // namespace qirmel
