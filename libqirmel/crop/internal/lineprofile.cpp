#include "crop/internal/lineprofile.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qirmel {

LineProfile::LineProfile(const EdgeLine &line, const EdgeSupport &support)
    : m_line(line), m_channels(support.channelCount())
{
    const cv::Point2f normal(line.direction.y, -line.direction.x);
    const cv::Size size = support.size();
    // Positions where the line is inside the measurable part of the image.
    double low = -1e9;
    double high = 1e9;
    const auto clip = [&](double origin, double step, double lowest, double highest) {
        if (std::abs(step) < 1e-9) {
            if (origin < lowest || origin > highest)
                high = low - 1;
            return;
        }
        double a = (lowest - origin) / step;
        double b = (highest - origin) / step;
        if (a > b)
            std::swap(a, b);
        low = std::max(low, a);
        high = std::min(high, b);
    };
    clip(line.point.x, line.direction.x, 2, size.width - 3);
    clip(line.point.y, line.direction.y, 2, size.height - 3);
    m_start = std::ceil(low);
    m_samples = high >= low ? int(std::floor((high - m_start) / kStep)) + 1 : 0;
    m_counts.assign(std::size_t(m_channels) * 2 * (m_samples + 1), 0);
    // Most pictures have no pattern, and most lines none along them: no counts to keep.
    if (support.hasBoundaries())
        m_bridged.assign(std::size_t(m_channels) * 2 * (m_samples + 1), 0);
    for (int k = 0; k < m_samples; ++k) {
        const cv::Point2f p = line.point + line.direction * float(m_start + k * kStep);
        const bool measurable = support.measurable(p);
        // The pattern towards the normal bridges a side whose inside lies away from it, and the other way.
        const bool bridging = measurable && !m_bridged.empty();
        const std::array<bool, 2> onBoundary{bridging && support.bridged(p, line.direction, -normal),
                                             bridging && support.bridged(p, line.direction, normal)};
        const std::array<int, EdgeSupport::kMaxChannels> signs =
            measurable ? support.edgeSigns(p, normal) : std::array<int, EdgeSupport::kMaxChannels>{};
        for (int c = 0; c < m_channels; ++c) {
            const int sign = signs[c];
            for (int s = 0; s < 2; ++s) {
                m_counts[index(c, s, k + 1)] = m_counts[index(c, s, k)] + (sign == (s == 0 ? 1 : -1));
                if (!m_bridged.empty())
                    m_bridged[index(c, s, k + 1)] = m_bridged[index(c, s, k)] + (sign == 0 && onBoundary[s]);
            }
        }
    }
}

}  // namespace qirmel
