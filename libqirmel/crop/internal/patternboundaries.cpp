#include "crop/internal/patternboundaries.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace qirmel {

namespace {

// Where a pattern's lines end, a document lies on the pattern: a line through many such ends is a side
// of it, however faint the side itself. Ends this close to the frame's border are the frame's; ends lie
// this far off the line through them; this many make a line; so many such lines at most.
constexpr float kBorderMargin = 4;
constexpr double kEndSpread = 2;
constexpr int kMinEnds = 10;
// Ends a little off a line split their votes between neighbouring distances and angles, so that a few
// votes make a line worth counting; the count is checked after.
constexpr int kMinVotes = 4;
// A stripe hidden under a pen, or ends missed, leave a gap this many times the usual spacing at most.
constexpr float kMaxEndGap = 3;
// Beside a document's side the pattern's edges lie on the far side, between these distances, with at most
// this share of them on the near side (print parallel to the stripes, noise).
constexpr float kNearSide = 2;
constexpr float kFarSide = 10;
constexpr double kMaxInsideShare = 0.25;
// This share of the ends on a document's side have the pattern on the same side.
constexpr double kOneSidedShare = 0.8;
// So many lines through ends are voted on, and so many kept at most.
constexpr int kMaxVotedLines = 64;
constexpr std::size_t kMaxEndLines = 6;
// A line within about 20 degrees of the pattern's direction runs through the ends of one stripe.
const float kAcrossPattern = float(std::cos(20 * CV_PI / 180));
// Lines through ends this close in direction and distance are one.
const double kSameDirection = std::cos(3 * CV_PI / 180);
constexpr float kSameEndLine = 4;
// A pattern has at least this many lines of one direction this long: a cloth's stripes run long, wood
// grain's and lines of print do not.
constexpr std::size_t kMinPatternLines = 8;
// A cloth's stripes, seen in perspective, stay this close to one direction.
const double kPatternDirection = std::cos(5 * CV_PI / 180);
constexpr double kMinPatternLength = 50;

// Where an edge breaks off, and the direction in which it runs on from there.
struct LineEnd {
    cv::Point2f at;
    cv::Point2f into;
};

// Where each of the lines' edges breaks off, away from the frame's border.
std::vector<LineEnd> lineEnds(const std::vector<const GatheredLine *> &lines, const cv::Size &size)
{
    std::vector<LineEnd> ends;
    const auto keep = [&](const cv::Point2f &p, const cv::Point2f &into) {
        if (p.x >= kBorderMargin && p.y >= kBorderMargin && p.x < size.width - kBorderMargin &&
            p.y < size.height - kBorderMargin)
            ends.push_back({p, into});
    };
    std::vector<std::pair<float, cv::Point2f>> along;
    for (const GatheredLine *line : lines) {
        along.clear();
        for (const cv::Point2f &p : line->samples)
            along.emplace_back((p - line->point).dot(line->direction), p);
        std::sort(along.begin(), along.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        for (std::size_t i = 0; i < along.size(); ++i) {
            if (i == 0 || along[i].first - along[i - 1].first > GatheredLine::kMaxGap)
                keep(along[i].second, line->direction);
            if (i + 1 == along.size() || along[i + 1].first - along[i].first > GatheredLine::kMaxGap)
                keep(along[i].second, -line->direction);
        }
    }
    return ends;
}

// Whether positions along a line follow one another at a steady pace, as a pattern's stripes meet a page's
// side, rather than bunched as ends of wood grain that happen to line up.
bool evenlySpread(const std::vector<float> &positions)
{
    if (int(positions.size()) < kMinEnds)
        return false;
    const float pace = (positions.back() - positions.front()) / float(positions.size() - 1);
    for (std::size_t i = 1; i < positions.size(); ++i)
        if (positions[i] - positions[i - 1] > kMaxEndGap * pace)
            return false;
    return true;
}

// Whether the pattern's edges stay away from the side of the line opposite the pattern, as a page lying
// on a cloth hides its stripes; where grain merely breaks off along a line, it runs on beyond.
bool hidesPattern(const EdgeLine &line, const std::vector<const GatheredLine *> &patterned)
{
    int outside = 0;
    int inside = 0;
    for (const GatheredLine *pattern : patterned)
        for (const cv::Point2f &p : pattern->samples) {
            const cv::Point2f d = p - line.point;
            const float at = d.dot(line.direction);
            const float across = d.dot(line.towardsPattern);
            if (at < line.onEdge.front() || at > line.onEdge.back() || std::abs(across) < kNearSide ||
                std::abs(across) > kFarSide)
                continue;
            ++(across > 0 ? outside : inside);
        }
    return inside <= kMaxInsideShare * outside;
}

// Lines through many of the ends, most ends first, none along the pattern's own directions, each with
// the pattern on one side of it: a document's side, where the cloth's stripes stop, and not the margin of
// a page's print, where lines of text start on the other side as often as they stop on one.
std::vector<EdgeLine> linesThrough(const std::vector<LineEnd> &ends, const std::vector<cv::Point2f> &directions,
                                   const std::vector<const GatheredLine *> &patterned, const cv::Size &size)
{
    std::vector<EdgeLine> found;
    if (int(ends.size()) < kMinEnds)
        return found;
    std::vector<cv::Point2f> points;
    for (const LineEnd &end : ends)
        points.push_back(end.at);
    std::vector<cv::Vec3d> voted;  // votes, distance from the origin, angle of the normal
    const double diagonal = std::hypot(size.width, size.height);
    cv::HoughLinesPointSet(points, voted, kMaxVotedLines, kMinVotes, -diagonal, diagonal, kEndSpread, 0, CV_PI,
                           CV_PI / 180);
    for (const cv::Vec3d &v : voted) {
        if (found.size() == kMaxEndLines)
            break;
        const cv::Point2f direction(float(-std::sin(v[2])), float(std::cos(v[2])));
        const cv::Point2f normal(direction.y, -direction.x);
        const cv::Point2f point(float(v[1] * std::cos(v[2])), float(v[1] * std::sin(v[2])));
        const auto along = [&](const cv::Point2f &d) { return std::abs(direction.dot(d)) >= kAcrossPattern; };
        const auto same = [&](const EdgeLine &other) {
            return std::abs(other.direction.dot(direction)) >= kSameDirection &&
                   std::abs((other.point - point).dot(normal)) < kSameEndLine;
        };
        if (std::any_of(directions.begin(), directions.end(), along) || std::any_of(found.begin(), found.end(), same))
            continue;
        EdgeLine line{point, direction, 0, {}, {}};
        int towardsNormal = 0;
        for (const LineEnd &end : ends) {
            const cv::Point2f d = end.at - point;
            if (std::abs(d.dot(normal)) <= kEndSpread) {
                line.onEdge.push_back(d.dot(direction));
                towardsNormal += end.into.dot(normal) > 0;
            }
        }
        const int count = int(line.onEdge.size());
        const int onOneSide = std::max(towardsNormal, count - towardsNormal);
        if (onOneSide < kOneSidedShare * count)
            continue;
        std::sort(line.onEdge.begin(), line.onEdge.end());
        line.length = line.onEdge.back() - line.onEdge.front();
        line.towardsPattern = towardsNormal * 2 > count ? normal : -normal;
        if (evenlySpread(line.onEdge) && hidesPattern(line, patterned))
            found.push_back(std::move(line));
    }
    return found;
}

}  // namespace

std::vector<EdgeLine> PatternBoundaries::find(const std::vector<GatheredLine> &lines, const cv::Size &size)
{
    // A pattern: a direction with many long lines, as a cloth's stripes run and wood grain and lines of
    // print do not.
    struct Direction {
        cv::Point2f along;
        std::vector<const GatheredLine *> lines;
    };
    std::vector<Direction> directions;
    for (const GatheredLine &line : lines) {
        const auto same = [&](const Direction &d) {
            return std::abs(line.direction.dot(d.along)) >= kPatternDirection;
        };
        auto direction = std::find_if(directions.begin(), directions.end(), same);
        if (direction == directions.end())
            direction = directions.insert(directions.end(), {line.direction, {}});
        direction->lines.push_back(&line);
    }
    std::vector<cv::Point2f> patternDirections;
    std::vector<const GatheredLine *> patterned;
    for (const Direction &direction : directions)
        // Traced out and back, each stretch of edge was counted twice.
        if (direction.lines.size() >= kMinPatternLines &&
            direction.lines[kMinPatternLines - 1]->length / 2 >= kMinPatternLength) {
            patternDirections.push_back(direction.along);
            patterned.insert(patterned.end(), direction.lines.begin(), direction.lines.end());
        }
    if (patterned.empty())
        return {};
    return linesThrough(lineEnds(patterned, size), patternDirections, patterned, size);
}

}  // namespace qirmel
