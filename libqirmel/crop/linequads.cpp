#include "linequads.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace qirmel {

namespace {

// Collinear segments, gathered into one line.
struct LineCluster
{
    double theta = 0; // direction, in [0, pi)
    double rho = 0;   // offset along the normal (-sin theta, cos theta)
    double length = 0;
    std::vector<cv::Point2f> ends;
};

double angleBetween(double a, double b)
{
    const double d = std::abs(a - b);
    return std::min(d, CV_PI - d);
}

constexpr double kSameAngle = 3 * CV_PI / 180;
constexpr double kSameOffset = 3;
constexpr double kMaxParallelDeviation = 20 * CV_PI / 180;
constexpr std::size_t kMaxLines = 14;

bool meet(const cv::Vec4f &a, const cv::Vec4f &b, cv::Point2f &at)
{
    const double denominator = double(a[0]) * b[1] - double(a[1]) * b[0];
    if (std::abs(denominator) < 1e-6)
        return false;
    const double qx = b[2] - a[2];
    const double qy = b[3] - a[3];
    const double t = (qx * b[1] - qy * b[0]) / denominator;
    at = cv::Point2f(float(a[2] + a[0] * t), float(a[3] + a[1] * t));
    return true;
}

} // namespace

std::vector<Quad> LineQuads::find(const cv::Mat &edges, double minAreaFraction)
{
    const int shorter = std::min(edges.cols, edges.rows);
    std::vector<cv::Vec4i> segments;
    cv::HoughLinesP(edges, segments, 1, CV_PI / 180, shorter / 10, shorter / 10.0, 3);

    std::vector<LineCluster> clusters;
    for (const cv::Vec4i &s : segments) {
        const cv::Point2f a{float(s[0]), float(s[1])};
        const cv::Point2f b{float(s[2]), float(s[3])};
        double theta = std::atan2(b.y - a.y, b.x - a.x);
        if (theta < 0)
            theta += CV_PI;
        if (theta >= CV_PI)
            theta -= CV_PI;
        const cv::Point2f mid = (a + b) * 0.5f;
        const double rho = -std::sin(theta) * mid.x + std::cos(theta) * mid.y;
        const double length = cv::norm(b - a);
        auto same = std::find_if(clusters.begin(), clusters.end(), [&](const LineCluster &c) {
            // Near theta = 0 and pi the same line has opposite offsets.
            const double offset = std::abs(c.theta - theta) > CV_PI / 2 ? -rho : rho;
            return angleBetween(c.theta, theta) < kSameAngle && std::abs(c.rho - offset) < kSameOffset;
        });
        if (same == clusters.end()) {
            clusters.push_back({theta, rho, length, {a, b}});
        } else {
            same->length += length;
            same->ends.push_back(a);
            same->ends.push_back(b);
        }
    }
    std::sort(clusters.begin(), clusters.end(), [](const LineCluster &x, const LineCluster &y) { return x.length > y.length; });
    if (clusters.size() > kMaxLines)
        clusters.resize(kMaxLines);

    std::vector<cv::Vec4f> lines;
    std::vector<double> angles;
    for (const LineCluster &c : clusters) {
        cv::Vec4f line;
        cv::fitLine(c.ends, line, cv::DIST_L2, 0, 0.01, 0.01);
        lines.push_back(line);
        angles.push_back(c.theta);
    }

    std::vector<std::pair<std::size_t, std::size_t>> parallel;
    for (std::size_t i = 0; i < lines.size(); ++i)
        for (std::size_t j = i + 1; j < lines.size(); ++j)
            if (angleBetween(angles[i], angles[j]) < kMaxParallelDeviation)
                parallel.emplace_back(i, j);

    const double minArea = minAreaFraction * edges.size().area();
    const float reachX = 0.5f * edges.cols;
    const float reachY = 0.5f * edges.rows;
    std::vector<Quad> quads;
    for (std::size_t p = 0; p < parallel.size(); ++p)
        for (std::size_t q = p + 1; q < parallel.size(); ++q) {
            const auto [a, c] = parallel[p];
            const auto [b, d] = parallel[q];
            if (a == b || a == d || c == b || c == d || angleBetween(angles[a], angles[b]) < CV_PI / 3)
                continue;
            const cv::Vec4f sides[4] = {lines[a], lines[b], lines[c], lines[d]};
            std::vector<cv::Point2f> corners(4);
            bool ok = true;
            for (int k = 0; k < 4 && ok; ++k) {
                ok = meet(sides[k], sides[(k + 1) % 4], corners[k]);
                const cv::Point2f &p0 = corners[k];
                ok = ok && p0.x > -reachX && p0.y > -reachY && p0.x < edges.cols + reachX && p0.y < edges.rows + reachY;
            }
            if (!ok)
                continue;
            const Quad quad = Quad::fromUnordered(corners);
            if (quad.isConvex() && quad.area() >= minArea)
                quads.push_back(quad);
        }
    return quads;
}

} // namespace qirmel
