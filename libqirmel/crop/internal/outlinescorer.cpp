#include "crop/internal/outlinescorer.h"

#include "crop/internal/paperformats.h"

#include <algorithm>
#include <cmath>

namespace qirmel {

namespace {

// Seen from overhead, a rectangle's corners stay within this many degrees of square.
constexpr double kMaxAngleDeviation = 35;
// Below these, an outline is a coincidence of edges rather than a document.
constexpr double kMinSideSupport = 0.45;
constexpr double kMinMeanSupport = 0.65;
constexpr double kMinPolarity = 0.8;
constexpr double kMinVisible = 0.5;
// A page running out of the frame may show no more than a sliver of one side, which then says nothing;
// the three that show must lie on edges nearly all along.
constexpr double kMinClippedSideSupport = 0.85;
constexpr double kMinClippedMeanSupport = 0.9;
// A line crosses a side when it meets it at more than about 20 degrees, away from its ends, and its edge
// runs on this far on both sides. A pen, its shadow or the edges of a lamp's shadow cross a page's sides
// a few times (a shadow's band across the page: its two edges over two sides, four times; so do the
// fingers of a hand over a corner); a pattern crosses them again and again.
const double kMinCrossingSine = std::sin(20 * CV_PI / 180);
constexpr double kCrossingMargin = 0.1;
constexpr float kCrossingReach = 10;
constexpr int kMaxCrossings = 4;

}  // namespace

double OutlineScorer::shapeScore(const Quad &quad)
{
    double worst = 0;
    for (int corner = 0; corner < 4; ++corner)
        worst = std::max(worst, std::abs(quad.cornerAngle(corner) - 90));
    const double ratio = quad.sideRatio();
    if (worst > kMaxAngleDeviation || !PaperFormats::isDocumentLike(ratio))
        return 0;
    const double squareness = 1 - 0.5 * std::pow(worst / kMaxAngleDeviation, 2);
    const double proportion = 1 - 0.5 * std::min(PaperFormats::distance(ratio), 0.3);
    return squareness * proportion;
}

OutlineScorer::OutlineScorer(const EdgeSupport &support, const cv::Size &size, const std::optional<Quad> &seed,
                             const std::vector<EdgeLine> &lines)
    : m_support(support), m_lines(lines), m_size(size), m_seed(seed)
{}

bool OutlineScorer::isCrossedByPattern(const Quad &quad) const
{
    int count = 0;
    for (int side = 0; side < 4; ++side) {
        const cv::Point2f from = quad[side];
        const cv::Point2f to = quad[(side + 1) % 4];
        const cv::Point2f along = to - from;
        const double length = cv::norm(along);
        for (const EdgeLine &line : m_lines) {
            // Where the line meets the side: from + along * t = line.point + line.direction * u.
            const double denominator = double(along.x) * line.direction.y - double(along.y) * line.direction.x;
            if (std::abs(denominator) < kMinCrossingSine * length)
                continue;
            const cv::Point2f apart = line.point - from;
            const double t = (double(apart.x) * line.direction.y - double(apart.y) * line.direction.x) / denominator;
            const double u = (double(apart.x) * along.y - double(apart.y) * along.x) / denominator;
            if (t > kCrossingMargin && t < 1 - kCrossingMargin && line.runsAcross(float(u), kCrossingReach) &&
                ++count > kMaxCrossings)
                return true;
        }
    }
    return false;
}

double OutlineScorer::score(const Quad &quad) const
{
    return score(quad, m_support.measure(quad));
}

bool OutlineScorer::isCredible(const SideEvidence &evidence)
{
    const bool clipped =
        evidence.minShownSupport >= kMinClippedSideSupport && evidence.meanSupport >= kMinClippedMeanSupport;
    return (evidence.minSupport >= kMinSideSupport || clipped) && evidence.meanSupport >= kMinMeanSupport &&
           evidence.polarity >= kMinPolarity && evidence.visible >= kMinVisible;
}

double OutlineScorer::score(const Quad &quad, const SideEvidence &evidence) const
{
    const double unlessCrossed = scoreUnlessCrossed(quad, evidence);
    return unlessCrossed > 0 && !isCrossedByPattern(quad) ? unlessCrossed : 0;
}

double OutlineScorer::scoreUnlessCrossed(const Quad &quad, const SideEvidence &evidence) const
{
    if (!isCredible(evidence))
        return 0;
    const double shape = shapeScore(quad);
    if (shape == 0)
        return 0;
    // Print on a page and the pages of an open book make smaller rectangles inside the document; among
    // equally well supported outlines the larger one is the document.
    const double areaShare = std::min(1.0, quad.area() / m_size.area());
    double result = evidence.meanSupport * shape * (0.7 + 0.3 * std::sqrt(areaShare));
    if (m_seed) {
        const double drift = quad.maxCornerDistance(*m_seed) / std::hypot(m_size.width, m_size.height);
        result *= 1 + 0.3 * std::exp(-drift / 0.03);
    }
    return result;
}

}  // namespace qirmel
