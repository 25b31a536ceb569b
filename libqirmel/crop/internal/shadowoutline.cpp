#include "crop/internal/shadowoutline.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

namespace qirmel {

namespace {

// So many profiles across a side, over the middle of its length, are averaged; each reaches this far to
// either side of it, as a share of the picture's longer side. The levels inside and outside are the means
// of the profile's outer thirds.
constexpr double kFirstShare = 0.3;
constexpr double kLastShare = 0.7;
constexpr int kProfiles = 24;
constexpr double kReach = 0.025;
// A shadow darkens the desk by this many levels at least; a side stepping less says nothing either way.
constexpr double kMinDepth = 15;
// The band from a tenth to nine tenths of the step is at least this wide, as a share of the longer side.
constexpr double kMinSoftWidth = 0.01;
// At least so many sides must show.
constexpr int kMinSides = 3;

double greyAt(const cv::Mat &picture, int x, int y)
{
    if (picture.channels() == 1)
        return picture.at<unsigned char>(y, x);
    const cv::Vec3b &bgr = picture.at<cv::Vec3b>(y, x);
    return 0.114 * bgr[0] + 0.587 * bgr[1] + 0.299 * bgr[2];
}

// The side's mean grey profile from reach pixels inside to reach pixels outside, if the picture holds it.
std::optional<std::vector<double>> profileAcross(const cv::Mat &picture, const Quad &outline, int side, int reach)
{
    const cv::Point2f from = outline[side];
    const cv::Point2f to = outline[(side + 1) % 4];
    const cv::Point2f outward = -outline.inwardNormal(side);
    std::vector<double> sums(std::size_t(2 * reach + 1));
    for (int k = 0; k < kProfiles; ++k) {
        const float share = float(kFirstShare + (kLastShare - kFirstShare) * k / (kProfiles - 1));
        const cv::Point2f centre = from + (to - from) * share;
        for (int offset = -reach; offset <= reach; ++offset) {
            const cv::Point2f p = centre + outward * float(offset);
            const int x = cvRound(p.x);
            const int y = cvRound(p.y);
            if (x < 0 || y < 0 || x >= picture.cols || y >= picture.rows)
                return std::nullopt;
            sums[std::size_t(offset + reach)] += greyAt(picture, x, y);
        }
    }
    for (double &sum : sums)
        sum /= kProfiles;
    return sums;
}

// Whether the profile steps down into the outline by a shadow's depth across a band at least minWidth wide.
bool isSoftStepDown(const std::vector<double> &profile, double minWidth)
{
    const std::size_t third = profile.size() / 3;
    const double inside =
        std::accumulate(profile.begin(), profile.begin() + std::ptrdiff_t(third), 0.0) / double(third);
    const double outside = std::accumulate(profile.end() - std::ptrdiff_t(third), profile.end(), 0.0) / double(third);
    if (outside - inside < kMinDepth)
        return false;
    const auto reaches = [&](double share) {
        return std::find_if(profile.begin(), profile.end(),
                            [&](double value) { return value >= inside + share * (outside - inside); });
    };
    return double(reaches(0.9) - reaches(0.1)) >= minWidth;
}

}  // namespace

bool ShadowOutline::encloses(const cv::Mat &picture, const Quad &outline)
{
    const int longer = std::max(picture.cols, picture.rows);
    const int reach = std::max(2, int(std::lround(kReach * longer)));
    int shown = 0;
    for (int side = 0; side < 4; ++side) {
        const std::optional<std::vector<double>> profile = profileAcross(picture, outline, side, reach);
        if (!profile)
            continue;
        if (!isSoftStepDown(*profile, kMinSoftWidth * longer))
            return false;
        ++shown;
    }
    return shown >= kMinSides;
}

}  // namespace qirmel
