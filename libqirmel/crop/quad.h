#ifndef QIRMEL_CROP_QUAD_H
#define QIRMEL_CROP_QUAD_H

#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace qirmel {

// The outline of a document: four corners in pixel coordinates (pixel centres at integers), ordered
// clockwise on screen as top-left, top-right, bottom-right, bottom-left. Corners may lie outside the
// image when the document crosses the frame border.
class Quad {
public:
    static constexpr int kTopLeft = 0;
    static constexpr int kTopRight = 1;
    static constexpr int kBottomRight = 2;
    static constexpr int kBottomLeft = 3;

    Quad() = default;
    // Takes the corners as given, already in top-left, top-right, bottom-right, bottom-left order.
    explicit Quad(const std::array<cv::Point2f, 4> &corners);
    // Puts any four corners of a convex outline into the canonical order.
    static Quad fromUnordered(const std::vector<cv::Point2f> &points);

    const cv::Point2f &operator[](int index) const { return m_corners[index]; }
    const std::array<cv::Point2f, 4> &corners() const { return m_corners; }
    std::vector<cv::Point2f> points() const;

    // The same outline in an image resampled by the given factors (e.g. 4 from a quarter-size image to the
    // full one), keeping pixel centres where they belong.
    Quad resampled(double factorX, double factorY) const;
    Quad resampled(double factor) const { return resampled(factor, factor); }

    double area() const;
    // The mean of the corners.
    cv::Point2f centre() const;
    bool isConvex() const;
    double sideLength(int side) const;
    // The top and bottom sides' length over the left and right sides': the proportions the outline shows,
    // perspective left in.
    double sideRatio() const;
    // The first of the longer pair of opposite sides: 0 where the top and bottom are the longer, else 1.
    int longerSide() const { return sideRatio() >= 1 ? 0 : 1; }
    // Unit normal of a side (from corner side to the next), pointing into the outline.
    cv::Point2f inwardNormal(int side) const;
    // Interior angle at a corner in degrees.
    double cornerAngle(int corner) const;
    // Whether every corner lies within an image of the given size.
    bool liesWithin(const cv::Size &size) const;
    // Largest distance between corresponding corners.
    double maxCornerDistance(const Quad &other) const;

private:
    std::array<cv::Point2f, 4> m_corners{};
};

}  // namespace qirmel

#endif
