#include "crop/internal/linefinder.h"

#include "crop/internal/patternboundaries.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace qirmel {

namespace {

// How far a traced edge may stray from a straight run, and how far apart runs of one line may lie.
constexpr double kRunTolerance = 1.2;
constexpr double kSameOffset = 2.0;
const double kSameDirection = std::cos(2.5 * CV_PI / 180);

// Directions, taken without their sense, fall into buckets wider than kSameDirection's angle.
constexpr int kDirectionBuckets = 60;

int directionBucket(const cv::Point2f &direction)
{
    double angle = std::atan2(direction.y, direction.x);
    if (angle < 0)
        angle += CV_PI;
    return std::min(kDirectionBuckets - 1, int(angle / CV_PI * kDirectionBuckets));
}

float offsetFrom(const GatheredLine &line, const cv::Point2f &p)
{
    const cv::Point2f d = p - line.point;
    return std::abs(d.x * line.direction.y - d.y * line.direction.x);
}

// The steps from pixel to pixel around a closed contour whose stretches run straight, across or
// diagonally, between its points.
std::size_t pixelSteps(const std::vector<cv::Point> &contour)
{
    std::size_t steps = 0;
    for (std::size_t i = 0; i < contour.size(); ++i) {
        const cv::Point step = contour[(i + 1) % contour.size()] - contour[i];
        steps += std::size_t(std::max(std::abs(step.x), std::abs(step.y)));
    }
    return std::max<std::size_t>(steps, 1);
}

}  // namespace

bool EdgeLine::runsAcross(float at, float reach) const
{
    // Points lie at most GatheredLine::kSpacing apart along a run; a gap of a few pixels more is noise or print.
    auto point = std::lower_bound(onEdge.begin(), onEdge.end(), at - reach);
    if (point == onEdge.end() || *point > at - reach + GatheredLine::kMaxGap)
        return false;
    for (; *point < at + reach; ++point)
        if (point + 1 == onEdge.end() || *(point + 1) - *point > GatheredLine::kMaxGap)
            return false;
    return true;
}

EdgeLine EdgeLine::scaled(float sx, float sy) const
{
    EdgeLine result = *this;
    result.point = cv::Point2f(point.x * sx, point.y * sy);
    // A step of one along the line becomes a step of stretch along the scaled one.
    const cv::Point2f step(direction.x * sx, direction.y * sy);
    const float stretch = float(cv::norm(step));
    result.direction = step / stretch;
    result.length = length * stretch;
    for (float &at : result.onEdge)
        at *= stretch;
    // Normals scale inversely, so that they stay normal to the scaled line.
    if (towardsPattern != cv::Point2f()) {
        const cv::Point2f normal(towardsPattern.x / sx, towardsPattern.y / sy);
        result.towardsPattern = normal / float(cv::norm(normal));
    }
    return result;
}

LineFinder::LineFinder(const std::vector<cv::Mat> &edgeMaps, double minRun)
    : m_minRun(minRun), m_size(edgeMaps.front().size())
{
    for (const cv::Mat &edges : edgeMaps)
        trace(edges);
}

LineFinder LineFinder::with(const cv::Mat &edges) const
{
    LineFinder more = *this;
    more.trace(edges);
    return more;
}

LineFinder LineFinder::without(const cv::Mat &region) const
{
    const auto inRegion = [&](const cv::Point2f &p) {
        const cv::Point at(cvRound(p.x), cvRound(p.y));
        return at.x >= 0 && at.y >= 0 && at.x < region.cols && at.y < region.rows &&
               region.at<unsigned char>(at) != 0;
    };
    LineFinder fewer = *this;
    fewer.m_runs.erase(std::remove_if(fewer.m_runs.begin(), fewer.m_runs.end(),
                                      [&](const Run &run) { return inRegion(run.from) && inRegion(run.to); }),
                       fewer.m_runs.end());
    return fewer;
}

void LineFinder::trace(const cv::Mat &edges)
{
    // The contours come with their straight stretches of pixels reduced to their ends. The farthest point
    // of a stretch from a chord, or from a point, is one of its ends, so the runs are those of the whole
    // contour, found among several times fewer points.
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(edges, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    std::vector<cv::Point> polygon;
    for (const std::vector<cv::Point> &contour : contours) {
        // A thin edge is traced out and back, so a contour is twice as long as the edge it follows.
        if (double(pixelSteps(contour)) < 2 * m_minRun)
            continue;
        cv::approxPolyDP(contour, polygon, kRunTolerance, true);
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const cv::Point2f from(polygon[i]);
            const cv::Point2f to(polygon[(i + 1) % polygon.size()]);
            const double length = cv::norm(to - from);
            if (length >= m_minRun)
                m_runs.push_back({from, to, length});
        }
    }
}

std::vector<EdgeLine> LineFinder::lines(std::size_t maxLines) const
{
    std::vector<Run> runs = m_runs;
    std::sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) { return a.length > b.length; });

    // A run joins the first line it lies on. Only lines in its own direction's bucket or a neighbouring
    // one can be within kSameDirection of it, so only those are looked through; each bucket holds its
    // lines in the order they were begun.
    std::vector<GatheredLine> lines;
    std::array<std::vector<std::size_t>, kDirectionBuckets> byDirection;
    for (const Run &run : runs) {
        const cv::Point2f direction = (run.to - run.from) / float(run.length);
        const int bucket = directionBucket(direction);
        std::size_t same = lines.size();
        for (const int neighbour : {bucket + kDirectionBuckets - 1, bucket, bucket + 1})
            for (const std::size_t index : byDirection[std::size_t(neighbour % kDirectionBuckets)]) {
                if (index >= same)
                    break;
                const GatheredLine &line = lines[index];
                if (std::abs(direction.dot(line.direction)) >= kSameDirection &&
                    offsetFrom(line, run.from) <= kSameOffset && offsetFrom(line, run.to) <= kSameOffset) {
                    same = index;
                    break;
                }
            }
        if (same == lines.size()) {
            lines.push_back({run.from, direction, 0, {}});
            byDirection[std::size_t(bucket)].push_back(same);
        }
        lines[same].length += run.length;
        // Points every few pixels, so that the fitted line weighs each run by its length.
        const int steps = std::max(1, int(std::ceil(run.length / GatheredLine::kSpacing)));
        for (int k = 0; k <= steps; ++k)
            lines[same].samples.push_back(run.from + (run.to - run.from) * (float(k) / steps));
    }
    std::sort(lines.begin(), lines.end(),
              [](const GatheredLine &a, const GatheredLine &b) { return a.length > b.length; });

    std::vector<EdgeLine> found = PatternBoundaries::find(lines, m_size);
    if (lines.size() > maxLines)
        lines.resize(maxLines);
    for (const GatheredLine &line : lines) {
        cv::Vec4f fitted;
        cv::fitLine(line.samples, fitted, cv::DIST_L2, 0, 0.01, 0.01);
        // Traced out and back: each stretch of edge was counted twice.
        EdgeLine edge{cv::Point2f(fitted[2], fitted[3]), cv::Point2f(fitted[0], fitted[1]), line.length / 2, {}, {}};
        edge.onEdge.reserve(line.samples.size());
        for (const cv::Point2f &p : line.samples)
            edge.onEdge.push_back((p - edge.point).dot(edge.direction));
        std::sort(edge.onEdge.begin(), edge.onEdge.end());
        found.push_back(std::move(edge));
    }
    return found;
}

}  // namespace qirmel
