#include "edgesupport.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace qirmel {

namespace {

// Sobel response that counts as an edge: a step of about six grey levels after smoothing.
constexpr float kMinStep = 24.0f;
// The gradient must point across the side, within about 30 degrees.
constexpr float kMinAlignment = 0.86f;
// A side hidden by more than this is not judged on what little shows.
constexpr double kMinVisibleShare = 0.2;

} // namespace

EdgeSupport::EdgeSupport(const cv::Mat &smoothGrey)
{
    cv::Sobel(smoothGrey, m_dx, CV_16S, 1, 0, 3);
    cv::Sobel(smoothGrey, m_dy, CV_16S, 0, 1, 3);
}

SideEvidence EdgeSupport::measure(const Quad &quad) const
{
    SideEvidence evidence;
    evidence.minSupport = 1;
    double supportedLength = 0;
    double visibleLength = 0;
    double totalLength = 0;
    int positive = 0;
    int negative = 0;
    const float step = 2.0f;
    for (int side = 0; side < 4; ++side) {
        const cv::Point2f from = quad[side];
        const cv::Point2f to = quad[(side + 1) % 4];
        const float length = float(cv::norm(to - from));
        totalLength += length;
        const cv::Point2f along = (to - from) / std::max(length, 1e-3f);
        const cv::Point2f normal(along.y, -along.x);
        int visible = 0;
        int supported = 0;
        const int samples = std::max(2, int(length / step));
        for (int i = 0; i < samples; ++i) {
            // Corners are left out: there the gradient turns and says nothing about either side.
            const float t = 0.06f + 0.88f * (i + 0.5f) / samples;
            const cv::Point2f p = from + (to - from) * t;
            if (p.x < 2 || p.y < 2 || p.x > m_dx.cols - 3 || p.y > m_dx.rows - 3)
                continue;
            ++visible;
            float best = 0;
            float bestAcross = 0;
            for (int offset = -1; offset <= 1; ++offset) {
                const int x = cvRound(p.x + offset * normal.x);
                const int y = cvRound(p.y + offset * normal.y);
                const float gx = m_dx.at<short>(y, x);
                const float gy = m_dy.at<short>(y, x);
                const float across = gx * normal.x + gy * normal.y;
                if (std::abs(across) > std::abs(bestAcross) && std::abs(across) >= kMinAlignment * std::hypot(gx, gy)) {
                    bestAcross = across;
                    best = std::abs(across);
                }
            }
            if (best >= kMinStep) {
                ++supported;
                (bestAcross > 0 ? positive : negative) += 1;
            }
        }
        const double visibleShare = double(visible) / samples;
        visibleLength += length * visibleShare;
        if (visibleShare < kMinVisibleShare) {
            evidence.minSupport = 0;
            continue;
        }
        const double support = double(supported) / visible;
        evidence.minSupport = std::min(evidence.minSupport, support);
        supportedLength += support * length * visibleShare;
    }
    evidence.meanSupport = visibleLength > 0 ? supportedLength / visibleLength : 0;
    evidence.visible = totalLength > 0 ? visibleLength / totalLength : 0;
    evidence.polarity = positive + negative > 0 ? double(std::max(positive, negative)) / (positive + negative) : 0;
    return evidence;
}

} // namespace qirmel
