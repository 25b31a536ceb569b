#include "crop/documentwarper.h"

#include "crop/internal/paperformats.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace qirmel {

namespace {

// Measured proportions within 3 % of a known format are taken to be that format.
constexpr double kSnapTolerance = 0.03;

cv::Vec3d homogeneous(const cv::Point2f &p)
{
    return cv::Vec3d(p.x, p.y, 1);
}

// Proportions of a rectangle from its perspective image, after Zhang and He, "Whiteboard scanning and image
// enhancement" (2007): the focal length follows from the quad's vanishing geometry, and with it the ratio
// of the sides in space. Near-frontal views leave the focal length undetermined; there the image's
// side lengths are already the true ones.
double projectiveRatio(const Quad &quad, const cv::Size &frameSize)
{
    const cv::Vec3d m1 = homogeneous(quad[Quad::kTopLeft]);
    const cv::Vec3d m2 = homogeneous(quad[Quad::kTopRight]);
    const cv::Vec3d m3 = homogeneous(quad[Quad::kBottomLeft]);
    const cv::Vec3d m4 = homogeneous(quad[Quad::kBottomRight]);
    const double k2 = m1.cross(m4).dot(m3) / m2.cross(m4).dot(m3);
    const double k3 = m1.cross(m4).dot(m2) / m3.cross(m4).dot(m2);
    const cv::Vec3d n2 = k2 * m2 - m1;
    const cv::Vec3d n3 = k3 * m3 - m1;
    const double u0 = frameSize.width / 2.0;
    const double v0 = frameSize.height / 2.0;
    const double planar = std::hypot(n2[0], n2[1]) * std::hypot(n3[0], n3[1]);
    if (std::abs(n2[2] * n3[2]) * u0 * v0 > 1e-4 * planar) {
        const double f2 = -((n2[0] * n3[0] - (n2[0] * n3[2] + n2[2] * n3[0]) * u0 + n2[2] * n3[2] * u0 * u0) +
                            (n2[1] * n3[1] - (n2[1] * n3[2] + n2[2] * n3[1]) * v0 + n2[2] * n3[2] * v0 * v0)) /
                          (n2[2] * n3[2]);
        // A plausible lens: the focal length within a wide range of the frame's size.
        const double f = f2 > 0 ? std::sqrt(f2) : 0;
        if (f > 0.3 * frameSize.width && f < 20.0 * frameSize.width) {
            const cv::Matx33d inverseIntrinsics = cv::Matx33d(f, 0, u0, 0, f, v0, 0, 0, 1).inv();
            const cv::Vec3d a = inverseIntrinsics * n2;
            const cv::Vec3d b = inverseIntrinsics * n3;
            return std::sqrt(a.dot(a) / b.dot(b));
        }
    }
    return quad.sideRatio();
}

}  // namespace

double DocumentWarper::aspectRatio(const Quad &quad, const cv::Size &frameSize)
{
    return PaperFormats::snap(projectiveRatio(quad, frameSize), kSnapTolerance);
}

cv::Size DocumentWarper::outputSize(const Quad &quad, const cv::Size &frameSize)
{
    const double ratio = aspectRatio(quad, frameSize);
    const double width = std::max(quad.sideLength(0), quad.sideLength(2));
    const double height = std::max(quad.sideLength(1), quad.sideLength(3));
    if (width >= height * ratio)
        return cv::Size(std::max(1, cvRound(width)), std::max(1, cvRound(width / ratio)));
    return cv::Size(std::max(1, cvRound(height * ratio)), std::max(1, cvRound(height)));
}

cv::Mat DocumentWarper::warp(const cv::Mat &frame, const Quad &quad, const cv::Size &atMost)
{
    cv::Size size = outputSize(quad, frame.size());
    if (!atMost.empty() && (size.width > atMost.width || size.height > atMost.height)) {
        const double scale = std::min(double(atMost.width) / size.width, double(atMost.height) / size.height);
        size = cv::Size(std::clamp(cvRound(size.width * scale), 1, atMost.width),
                        std::clamp(cvRound(size.height * scale), 1, atMost.height));
    }
    // Corners are pixel-centre coordinates of the document's outer boundary. The target's lie half a
    // pixel beyond its outermost pixels' outer edges: those pixels then sample a pixel inside the
    // outline rather than on it, where a blend of page and desk would draw a faint line along the cut.
    const float right = size.width;
    const float bottom = size.height;
    const cv::Point2f target[4] = {{-1, -1}, {right, -1}, {right, bottom}, {-1, bottom}};
    const cv::Mat transform = cv::getPerspectiveTransform(quad.corners().data(), target);
    cv::Mat out;
    cv::warpPerspective(frame, out, transform, size, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return out;
}

}  // namespace qirmel
