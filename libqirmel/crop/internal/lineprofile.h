#ifndef QIRMEL_CROP_LINEPROFILE_H
#define QIRMEL_CROP_LINEPROFILE_H

#include "crop/internal/edgesupport.h"
#include "crop/internal/linefinder.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace qirmel {

// A line's edge evidence, sampled once every couple of pixels along its stretch inside the image. The
// counts run along the line, so that any stretch's support is the difference of two entries, however
// many outlines use the line as a side. Immutable once built.
class LineProfile {
public:
    // Pixels between samples, as between those of EdgeSupport::measure.
    static constexpr double kStep = 2;

    LineProfile(const EdgeLine &line, const EdgeSupport &support);

    const EdgeLine &line() const { return m_line; }
    // Position of p's foot along the line.
    double parameter(const cv::Point2f &p) const { return (p - m_line.point).dot(m_line.direction); }

    // The samples between the positions from and to that lie inside the image, as the first and one past
    // the last; a stretch found once serves every channel's counts over it.
    struct Stretch {
        int first = 0;
        int end = 0;
    };
    Stretch stretch(double from, double to) const
    {
        return {std::clamp(int(std::ceil((from - m_start) / kStep)), 0, m_samples),
                std::clamp(int(std::floor((to - m_start) / kStep)) + 1, 0, m_samples)};
    }

    // Samples of a stretch; and of those, the ones where the channel steps up (sign 0) or down (sign 1)
    // along the line's normal (direction.y, -direction.x).
    static int visible(const Stretch &stretch) { return std::max(0, stretch.end - stretch.first); }
    // Outlines ask these of their sides hundreds of thousands of times a picture: defined here, they
    // are inlined into the counting.
    int supported(int channel, int sign, const Stretch &stretch) const
    {
        return stretch.end > stretch.first ? m_counts[index(channel, sign, stretch.end)] -
                                                 m_counts[index(channel, sign, stretch.first)]
                                           : 0;
    }
    // Of the samples without a step in the channel, those where a pattern ends (EdgeSupport::bridged),
    // the pattern lying towards the line's normal (side 0) or away from it (side 1).
    int bridged(int channel, int side, const Stretch &stretch) const
    {
        if (m_bridged.empty() || stretch.end <= stretch.first)
            return 0;
        return m_bridged[index(channel, side, stretch.end)] - m_bridged[index(channel, side, stretch.first)];
    }

private:
    std::size_t index(int channel, int sign, int k) const
    {
        return (std::size_t(channel) * 2 + sign) * (m_samples + 1) + k;
    }

    EdgeLine m_line;
    int m_channels;
    double m_start = 0;
    int m_samples = 0;
    std::vector<int> m_counts;
    std::vector<int> m_bridged;
};

}  // namespace qirmel

#endif
