#include "crop/internal/siderefiner.h"

#include "crop/internal/linemeeting.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace qirmel {

namespace {

// A line through point with unit direction.
struct Line {
    cv::Point2f point;
    cv::Point2f direction;
};

bool intersect(const Line &a, const Line &b, cv::Point2f &at)
{
    return linesMeet(a.point, a.direction, b.point, b.direction, at);
}

float distance(const Line &line, const cv::Point2f &p)
{
    const cv::Point2f d = p - line.point;
    return std::abs(d.x * line.direction.y - d.y * line.direction.x);
}

// The weighted least-squares line: through the weighted centroid, along the main axis of the spread.
Line weightedFit(const std::vector<cv::Point2f> &points, const std::vector<float> &weights)
{
    double total = 0;
    double sumX = 0;
    double sumY = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        total += weights[i];
        sumX += weights[i] * points[i].x;
        sumY += weights[i] * points[i].y;
    }
    const cv::Point2d centroid(sumX / total, sumY / total);
    double xx = 0;
    double xy = 0;
    double yy = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double dx = points[i].x - centroid.x;
        const double dy = points[i].y - centroid.y;
        xx += weights[i] * dx * dx;
        xy += weights[i] * dx * dy;
        yy += weights[i] * dy * dy;
    }
    const double angle = 0.5 * std::atan2(2 * xy, xx - yy);
    return {cv::Point2f(centroid), cv::Point2f(float(std::cos(angle)), float(std::sin(angle)))};
}

// Each point weighs the inverse of its distance from the line, so that the reweighted fits tend to the
// line with the least sum of distances, which a few points on print or a pen do not tilt; points closer
// than this many pixels weigh alike.
constexpr float kMinWeighedDistance = 0.1f;
// The reweighting stops once a round turns the line by less than this many radians and moves it by
// less than this many pixels, or after this many rounds.
constexpr double kSettledTurn = 0.01;
constexpr float kSettledShift = 0.01f;
constexpr int kMaxRounds = 30;

// A robust fit: least squares, then reweighted until the line settles, keeping the line of the rounds
// with the least sum of distances, the measure OpenCV's robust fits keep their best by. One start from
// the least-squares line does what their twenty random starts do, at a fraction of the cost.
Line fit(const std::vector<cv::Point2f> &points)
{
    std::vector<float> weights(points.size(), 1.0f);
    Line line = weightedFit(points, weights);
    Line best = line;
    double leastStray = std::numeric_limits<double>::max();
    for (int round = 0; round < kMaxRounds; ++round) {
        double stray = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const float d = distance(line, points[i]);
            stray += d;
            weights[i] = 1.0f / std::max(d, kMinWeighedDistance);
        }
        if (stray < leastStray) {
            leastStray = stray;
            best = line;
        }
        const Line next = weightedFit(points, weights);
        const double turn = std::acos(std::clamp(double(std::abs(next.direction.dot(line.direction))), 0.0, 1.0));
        const cv::Point2f shift = next.point - line.point;
        line = next;
        if (turn < kSettledTurn && std::max(std::abs(shift.x), std::abs(shift.y)) < kSettledShift)
            break;
    }
    return best;
}

// Samples along the side every kStride pixels; fine enough for a straight edge, cheap enough for 4K.
constexpr float kStride = 3.0f;
// Mean Sobel response across the strip that makes an edge: a step of about two levels.
constexpr double kMinStep = 8;

std::optional<Line> refineSide(const cv::Mat &frame, const cv::Point2f &from, const cv::Point2f &to, float radius)
{
    const float length = float(cv::norm(to - from));
    const cv::Point2f along = (to - from) / length;
    const cv::Point2f normal(along.y, -along.x);
    const int columns = int(length / kStride);
    const int rows = 2 * int(std::ceil(radius)) + 1;
    if (columns < 8)
        return std::nullopt;
    // The strip's column u, row v shows the frame at from + u*stride*along + (v - radius)*normal.
    const float half = float(rows / 2);
    const cv::Matx23f toFrame(along.x * kStride, normal.x, from.x - half * normal.x, along.y * kStride, normal.y,
                              from.y - half * normal.y);
    cv::Mat strip;
    cv::warpAffine(frame, strip, toFrame, cv::Size(columns, rows), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REPLICATE);
    cv::Mat gradients;
    cv::Sobel(strip, gradients, CV_32F, 0, 1, 3);

    // The document is brighter (or darker) than its surroundings all along a side; the mean profile says
    // which, and where roughly, so that text, shadows and pens near the edge do not pull it astray. In
    // colour, the channel with the clearest step decides: a card can match the desk in grey, never in
    // all three channels.
    std::vector<cv::Mat> channels;
    cv::split(gradients, channels);
    cv::Mat across;
    double low = 0;
    double high = 0;
    cv::Point lowAt;
    cv::Point highAt;
    for (const cv::Mat &channel : channels) {
        cv::Mat profile;
        cv::reduce(channel.rowRange(1, rows - 1), profile, 1, cv::REDUCE_AVG);
        double channelLow = 0;
        double channelHigh = 0;
        cv::Point channelLowAt;
        cv::Point channelHighAt;
        cv::minMaxLoc(profile, &channelLow, &channelHigh, &channelLowAt, &channelHighAt);
        if (across.empty() || std::max(channelHigh, -channelLow) > std::max(high, -low)) {
            across = channel;
            low = channelLow;
            high = channelHigh;
            lowAt = channelLowAt;
            highAt = channelHighAt;
        }
    }
    // Without a clear step the strip shows no edge to follow, and its noise would only move the side.
    if (std::max(high, -low) < kMinStep)
        return std::nullopt;
    const float sign = high >= -low ? 1.0f : -1.0f;
    const int centre = 1 + (sign > 0 ? highAt.y : lowAt.y);
    const int window = std::max(2, rows / 6);

    std::vector<cv::Point2f> points;
    std::vector<float> strengths;
    points.reserve(columns);
    // The ends are skipped: there the neighbouring side's edge crosses the strip.
    for (int u = std::max(1, columns / 25); u < columns - std::max(1, columns / 25); ++u) {
        const cv::Point2f onSide = from + along * (u * kStride);
        if (onSide.x < 1 || onSide.y < 1 || onSide.x > frame.cols - 2 || onSide.y > frame.rows - 2)
            continue;
        int best = -1;
        float bestValue = 0;
        for (int v = std::max(1, centre - window); v <= std::min(rows - 2, centre + window); ++v) {
            const float value = sign * across.at<float>(v, u);
            if (value > bestValue) {
                bestValue = value;
                best = v;
            }
        }
        if (best < 0)
            continue;
        // Parabola through the peak and its neighbours for the sub-pixel position.
        const float before = sign * across.at<float>(best - 1, u);
        const float after = sign * across.at<float>(best + 1, u);
        const float curvature = before - 2 * bestValue + after;
        const float shift = curvature < 0 ? std::clamp(0.5f * (before - after) / curvature, -0.5f, 0.5f) : 0.0f;
        points.push_back(onSide + normal * (best + shift - half));
        strengths.push_back(bestValue);
    }
    if (points.size() < 8)
        return std::nullopt;

    // Occluders and print leave weak or misplaced responses: keep the strong ones, fit, then fit again
    // without the points that stray from the line.
    std::vector<float> sorted = strengths;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const float floor = 0.35f * sorted[sorted.size() / 2];
    std::vector<cv::Point2f> strong;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (strengths[i] >= floor)
            strong.push_back(points[i]);
    if (strong.size() < 8)
        return std::nullopt;
    Line line = fit(strong);
    std::vector<cv::Point2f> inliers;
    for (const cv::Point2f &p : strong)
        if (distance(line, p) < 1.5f)
            inliers.push_back(p);
    if (inliers.size() < std::max<std::size_t>(8, strong.size() / 3))
        return std::nullopt;
    cv::Vec4f refit;
    cv::fitLine(inliers, refit, cv::DIST_L2, 0, 0.01, 0.01);
    return Line{cv::Point2f(refit[2], refit[3]), cv::Point2f(refit[0], refit[1])};
}

}  // namespace

std::optional<Quad> SideRefiner::refine(const cv::Mat &frame, const Quad &rough, double searchRadius)
{
    std::array<Line, 4> lines;
    for (int side = 0; side < 4; ++side) {
        const cv::Point2f from = rough[side];
        const cv::Point2f to = rough[(side + 1) % 4];
        const std::optional<Line> refined = refineSide(frame, from, to, float(searchRadius));
        const cv::Point2f direction = (to - from) / float(std::max(1e-3, cv::norm(to - from)));
        lines[side] = refined ? *refined : Line{from, direction};
    }
    std::array<cv::Point2f, 4> corners;
    for (int i = 0; i < 4; ++i)
        if (!intersect(lines[(i + 3) % 4], lines[i], corners[i]))
            return std::nullopt;
    const Quad quad(corners);
    // Refinement corrects by a few pixels; a corner that ran off means two nearly parallel lines met.
    if (!quad.isConvex() || quad.maxCornerDistance(rough) > 4 * searchRadius)
        return std::nullopt;
    return quad;
}

}  // namespace qirmel
