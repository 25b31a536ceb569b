#include "crop/internal/sideprofile.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace qirmel {

namespace {

// So many profiles across a side, from this share of its length to that, are averaged.
constexpr double kFirstShare = 0.3;
constexpr double kLastShare = 0.7;
constexpr int kProfiles = 24;
// A line's reach as a share of the picture's longer side, and at least so many pixels.
constexpr double kLineReach = 0.012;
constexpr int kMinLineReach = 3;

double greyOf(const cv::Vec3b &bgr)
{
    return 0.114 * bgr[0] + 0.587 * bgr[1] + 0.299 * bgr[2];
}

double meanOf(const std::vector<double> &values, std::size_t first, std::size_t count)
{
    return std::accumulate(values.begin() + std::ptrdiff_t(first), values.begin() + std::ptrdiff_t(first + count),
                           0.0) /
           double(count);
}

}  // namespace

SideProfile::SideProfile(std::size_t length, int channels)
    : m_grey(length), m_inside(std::size_t(channels)), m_outside(std::size_t(channels))
{}

std::optional<SideProfile> SideProfile::across(const cv::Mat &picture, const Quad &outline, int side, int reach)
{
    const cv::Point2f from = outline[side];
    const cv::Point2f to = outline[(side + 1) % 4];
    const cv::Point2f outward = -outline.inwardNormal(side);
    const std::size_t length = std::size_t(2 * reach + 1);
    const bool colour = picture.channels() == 3;
    // Per channel (grey first), the sums at each offset.
    std::vector<std::vector<double>> sums(colour ? 4 : 1, std::vector<double>(length));
    for (int k = 0; k < kProfiles; ++k) {
        const float share = float(kFirstShare + (kLastShare - kFirstShare) * k / (kProfiles - 1));
        const cv::Point2f centre = from + (to - from) * share;
        for (int offset = -reach; offset <= reach; ++offset) {
            const cv::Point2f p = centre + outward * float(offset);
            const int x = cvRound(p.x);
            const int y = cvRound(p.y);
            if (x < 0 || y < 0 || x >= picture.cols || y >= picture.rows)
                return std::nullopt;
            const std::size_t at = std::size_t(offset + reach);
            if (!colour) {
                sums[0][at] += picture.at<unsigned char>(y, x);
                continue;
            }
            const cv::Vec3b &bgr = picture.at<cv::Vec3b>(y, x);
            sums[0][at] += greyOf(bgr);
            for (int c = 0; c < 3; ++c)
                sums[std::size_t(c + 1)][at] += bgr[c];
        }
    }
    SideProfile profile(length, int(sums.size()));
    const std::size_t third = length / 3;
    for (std::size_t c = 0; c < sums.size(); ++c) {
        for (double &sum : sums[c])
            sum /= kProfiles;
        profile.m_inside[c] = meanOf(sums[c], 0, third);
        profile.m_outside[c] = meanOf(sums[c], length - third, third);
    }
    profile.m_grey = std::move(sums[0]);
    return profile;
}

double SideProfile::largestStep() const
{
    double largest = 0;
    for (std::size_t c = 0; c < m_inside.size(); ++c)
        largest = std::max(largest, std::abs(m_inside[c] - m_outside[c]));
    return largest;
}

double SideProfile::lineDepth() const
{
    const std::size_t third = m_grey.size() / 3;
    const auto middle =
        std::minmax_element(m_grey.begin() + std::ptrdiff_t(third), m_grey.end() - std::ptrdiff_t(third));
    return std::max(std::min(inside(), outside()) - *middle.first, *middle.second - std::max(inside(), outside()));
}

double SideProfile::greyAt(const cv::Mat &picture, int x, int y)
{
    return picture.channels() == 1 ? picture.at<unsigned char>(y, x) : greyOf(picture.at<cv::Vec3b>(y, x));
}

int SideProfile::lineReach(const cv::Mat &picture)
{
    return std::max(kMinLineReach, int(std::lround(kLineReach * std::max(picture.cols, picture.rows))));
}

}  // namespace qirmel
