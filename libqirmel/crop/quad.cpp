#include "crop/quad.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

namespace qirmel {

Quad::Quad(const std::array<cv::Point2f, 4> &corners) : m_corners(corners) {}

Quad Quad::fromUnordered(const std::vector<cv::Point2f> &points)
{
    cv::Point2f centre(0, 0);
    for (const cv::Point2f &p : points)
        centre += p * 0.25f;
    // With y pointing down, increasing atan2 runs clockwise on screen.
    std::array<std::pair<float, cv::Point2f>, 4> byAngle;
    for (int i = 0; i < 4; ++i)
        byAngle[i] = {std::atan2(points[i].y - centre.y, points[i].x - centre.x), points[i]};
    std::sort(byAngle.begin(), byAngle.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::array<cv::Point2f, 4> sorted;
    for (int i = 0; i < 4; ++i)
        sorted[i] = byAngle[i].second;
    // The top side is the one that runs most nearly left to right; this stays stable for any rotation
    // short of exactly 45 degrees, where either choice is as good.
    int start = 0;
    double best = -2;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f d = sorted[(i + 1) % 4] - sorted[i];
        const double cosine = d.x / std::max(1e-9, double(std::hypot(d.x, d.y)));
        if (cosine > best) {
            best = cosine;
            start = i;
        }
    }
    std::array<cv::Point2f, 4> ordered;
    for (int i = 0; i < 4; ++i)
        ordered[i] = sorted[(start + i) % 4];
    return Quad(ordered);
}

std::vector<cv::Point2f> Quad::points() const
{
    return std::vector<cv::Point2f>(m_corners.begin(), m_corners.end());
}

Quad Quad::resampled(double factorX, double factorY) const
{
    std::array<cv::Point2f, 4> out;
    for (int i = 0; i < 4; ++i)
        out[i] =
            cv::Point2f(float((m_corners[i].x + 0.5) * factorX - 0.5), float((m_corners[i].y + 0.5) * factorY - 0.5));
    return Quad(out);
}

double Quad::area() const
{
    // The shoelace formula in the order and precision of cv::contourArea, without its copy of the corners.
    double doubleArea = 0;
    cv::Point2f previous = m_corners[3];
    for (const cv::Point2f &p : m_corners) {
        doubleArea += double(previous.x) * p.y - double(previous.y) * p.x;
        previous = p;
    }
    return std::abs(doubleArea * 0.5);
}

bool Quad::isConvex() const
{
    double sign = 0;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f a = m_corners[(i + 1) % 4] - m_corners[i];
        const cv::Point2f b = m_corners[(i + 2) % 4] - m_corners[(i + 1) % 4];
        const double cross = double(a.x) * b.y - double(a.y) * b.x;
        if (cross == 0 || cross * sign < 0)
            return false;
        sign = cross;
    }
    return true;
}

double Quad::sideRatio() const
{
    return (sideLength(0) + sideLength(2)) / std::max(1e-6, sideLength(1) + sideLength(3));
}

double Quad::sideLength(int side) const
{
    return cv::norm(m_corners[(side + 1) % 4] - m_corners[side]);
}

cv::Point2f Quad::inwardNormal(int side) const
{
    const cv::Point2f from = m_corners[side];
    const cv::Point2f to = m_corners[(side + 1) % 4];
    const cv::Point2f along = (to - from) / std::max(float(cv::norm(to - from)), 1e-3f);
    const cv::Point2f normal(along.y, -along.x);
    return normal.dot(centre() - from) < 0 ? -normal : normal;
}

cv::Point2f Quad::centre() const
{
    return (m_corners[0] + m_corners[1] + m_corners[2] + m_corners[3]) * 0.25f;
}

double Quad::cornerAngle(int corner) const
{
    const cv::Point2f a = m_corners[(corner + 3) % 4] - m_corners[corner];
    const cv::Point2f b = m_corners[(corner + 1) % 4] - m_corners[corner];
    const double cosine = a.dot(b) / std::max(1e-9, cv::norm(a) * cv::norm(b));
    return std::acos(std::clamp(cosine, -1.0, 1.0)) * 180.0 / CV_PI;
}

bool Quad::liesWithin(const cv::Size &size) const
{
    return std::all_of(m_corners.begin(), m_corners.end(), [&](const cv::Point2f &p) {
        return p.x >= 0 && p.y >= 0 && p.x <= float(size.width - 1) && p.y <= float(size.height - 1);
    });
}

double Quad::maxCornerDistance(const Quad &other) const
{
    double worst = 0;
    for (int i = 0; i < 4; ++i)
        worst = std::max(worst, double(cv::norm(m_corners[i] - other.m_corners[i])));
    return worst;
}

}  // namespace qirmel
