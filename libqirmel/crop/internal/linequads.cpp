#include "crop/internal/linequads.h"

#include "crop/internal/linemeeting.h"
#include "crop/internal/lineprofile.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qirmel {

namespace {

// Opposite sides seen in perspective stay within this angle of parallel, neighbours this far from it.
const double kParallel = std::cos(30 * CV_PI / 180);
const double kCrossing = std::cos(50 * CV_PI / 180);
// Two outlines whose corners all lie this close are one.
constexpr double kSameOutline = 3.0;
// As in EdgeSupport::measure: the ends of a side say nothing, and a mostly hidden side is not judged.
constexpr double kCornerShare = 0.06;
constexpr double kMinVisibleShare = 0.2;
constexpr int kMinHiddenSamples = 4;
constexpr double kMinSideSupport = 0.3;
// Shortest distance between opposite sides, as a share of the side of a square of the smallest area.
constexpr double kMinGapShare = 0.25;

bool meet(const EdgeLine &a, const EdgeLine &b, cv::Point2f &at)
{
    return linesMeet(a.point, a.direction, b.point, b.direction, at);
}

struct Scored {
    Quad quad;
    double score;
};

class Enumerator {
public:
    Enumerator(const std::vector<LineProfile> &profiles, const EdgeSupport &support, const OutlineScorer &scorer,
               double minArea)
        : m_profiles(profiles),
          m_size(support.size()),
          m_channels(support.channelCount()),
          m_scorer(scorer),
          m_minArea(minArea)
    {}

    // Sides in cyclic order; corner m joins side m and side m + 1.
    void consider(const std::array<int, 4> &sides)
    {
        std::array<cv::Point2f, 4> corners;
        const float reachX = 0.5f * m_size.width;
        const float reachY = 0.5f * m_size.height;
        for (int m = 0; m < 4; ++m) {
            if (!meet(m_profiles[sides[m]].line(), m_profiles[sides[(m + 1) % 4]].line(), corners[m]))
                return;
            const cv::Point2f &p = corners[m];
            if (p.x < -reachX || p.y < -reachY || p.x > m_size.width + reachX || p.y > m_size.height + reachY)
                return;
        }
        // Convex when every turn has the same sense; twice the area is the sum of the turns' shoelace terms.
        double doubleArea = 0;
        int positive = 0;
        for (int m = 0; m < 4; ++m) {
            const cv::Point2f a = corners[(m + 1) % 4] - corners[m];
            const cv::Point2f b = corners[(m + 2) % 4] - corners[(m + 1) % 4];
            positive += double(a.x) * b.y - double(a.y) * b.x > 0;
            doubleArea += double(corners[m].x) * corners[(m + 1) % 4].y - double(corners[(m + 1) % 4].x) * corners[m].y;
        }
        if ((positive != 0 && positive != 4) || std::abs(doubleArea) < 2 * m_minArea)
            return;
        const std::optional<SideEvidence> evidence = measure(sides, corners);
        if (!evidence)
            return;
        const Quad quad = Quad::fromUnordered(std::vector<cv::Point2f>(corners.begin(), corners.end()));
        const double score = m_scorer.score(quad, *evidence);
        if (score > 0)
            m_found.push_back({quad, score});
    }

    std::vector<Quad> best(std::size_t count)
    {
        std::sort(m_found.begin(), m_found.end(), [](const Scored &a, const Scored &b) { return a.score > b.score; });
        std::vector<Quad> chosen;
        for (const Scored &s : m_found) {
            if (chosen.size() >= count)
                break;
            if (std::none_of(chosen.begin(), chosen.end(),
                             [&](const Quad &q) { return q.maxCornerDistance(s.quad) < kSameOutline; }))
                chosen.push_back(s.quad);
        }
        return chosen;
    }

private:
    std::optional<SideEvidence> measure(const std::array<int, 4> &sides,
                                        const std::array<cv::Point2f, 4> &corners) const
    {
        const cv::Point2f centre = (corners[0] + corners[1] + corners[2] + corners[3]) * 0.25f;
        std::array<double, 4> length{};
        std::array<double, 4> share{};
        std::array<int, 4> visible{};
        // Per channel and polarity (inside brighter, inside darker), the supported samples of each side.
        std::array<std::array<std::array<int, 4>, 2>, EdgeSupport::kMaxChannels> counts{};
        // Per channel, the samples of each side without a step where a pattern ends outside the outline.
        std::array<std::array<int, 4>, EdgeSupport::kMaxChannels> bridged{};
        // Channel and polarity pairs still in the running, as bits; most outlines fail on their first sides.
        unsigned viable = (1u << (2 * m_channels)) - 1;
        double totalLength = 0;
        double visibleLength = 0;
        // A corner beyond the frame can leave one side almost wholly outside it: what shows of it is judged
        // then, if that is a few samples at least. Two such sides leave too little to judge.
        bool hidden = false;
        for (int m = 0; m < 4; ++m) {
            const LineProfile &profile = m_profiles[sides[m]];
            double from = profile.parameter(corners[(m + 3) % 4]);
            double to = profile.parameter(corners[m]);
            if (from > to)
                std::swap(from, to);
            length[m] = to - from;
            const double trim = kCornerShare * length[m];
            from += trim;
            to -= trim;
            visible[m] = profile.visible(from, to);
            share[m] = std::min(1.0, visible[m] * LineProfile::kStep / std::max(1.0, to - from));
            totalLength += length[m];
            visibleLength += length[m] * share[m];
            if (share[m] < kMinVisibleShare) {
                if (hidden || visible[m] < kMinHiddenSamples)
                    return std::nullopt;
                hidden = true;
            }
            const cv::Point2f normal(profile.line().direction.y, -profile.line().direction.x);
            const bool inwardIsPositive = normal.dot(centre - profile.line().point) > 0;
            const int needed = int(std::ceil(kMinSideSupport * visible[m]));
            for (int c = 0; c < m_channels; ++c) {
                const int up = profile.supported(c, 0, from, to);
                const int down = profile.supported(c, 1, from, to);
                counts[c][0][m] = inwardIsPositive ? up : down;
                counts[c][1][m] = inwardIsPositive ? down : up;
                // The pattern must lie outside: away from the normal when the inside is towards it.
                bridged[c][m] = profile.bridged(c, inwardIsPositive ? 1 : 0, from, to);
                for (int s = 0; s < 2; ++s)
                    if (EdgeSupport::withBridged(counts[c][s][m], bridged[c][m], visible[m]) < needed)
                        viable &= ~(1u << (2 * c + s));
            }
            if (!viable)
                return std::nullopt;
        }
        std::optional<SideEvidence> best;
        for (int c = 0; c < m_channels; ++c)
            for (int s = 0; s < 2; ++s) {
                if (!(viable & (1u << (2 * c + s))))
                    continue;
                SideEvidence evidence;
                evidence.minSupport = 1;
                evidence.visible = visibleLength / std::max(1e-9, totalLength);
                double supported = 0;
                int agreeing = 0;
                int all = 0;
                for (int m = 0; m < 4; ++m) {
                    const double support =
                        double(EdgeSupport::withBridged(counts[c][s][m], bridged[c][m], visible[m])) /
                        std::max(1, visible[m]);
                    evidence.minSupport = std::min(evidence.minSupport, support);
                    supported += support * length[m] * share[m];
                    agreeing += counts[c][s][m];
                    all += counts[c][0][m] + counts[c][1][m];
                }
                evidence.meanSupport = supported / std::max(1e-9, visibleLength);
                evidence.polarity = all > 0 ? double(agreeing) / all : 0;
                if (!best || evidence.meanSupport > best->meanSupport)
                    best = evidence;
            }
        return best;
    }

    const std::vector<LineProfile> &m_profiles;
    cv::Size m_size;
    int m_channels;
    const OutlineScorer &m_scorer;
    double m_minArea;
    std::vector<Scored> m_found;
};

}  // namespace

std::vector<Quad> LineQuads::find(const std::vector<EdgeLine> &lines, const EdgeSupport &support,
                                  const OutlineScorer &scorer, double minArea, std::size_t maxQuads)
{
    if (lines.size() < 4)
        return {};
    std::vector<LineProfile> profiles;
    profiles.reserve(lines.size());
    for (const EdgeLine &line : lines)
        profiles.emplace_back(line, support);

    // Opposite sides of the smallest document worth cropping (a receipt, narrowest of all) lie at least
    // this far apart; closer parallels are lines of print or grain.
    const double minGap = kMinGapShare * std::sqrt(minArea);
    std::vector<std::pair<int, int>> parallel;
    for (std::size_t i = 0; i < lines.size(); ++i)
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            const cv::Point2f apart = lines[j].point - lines[i].point;
            if (std::abs(lines[i].direction.dot(lines[j].direction)) >= kParallel &&
                std::abs(apart.x * lines[i].direction.y - apart.y * lines[i].direction.x) >= minGap)
                parallel.emplace_back(int(i), int(j));
        }

    Enumerator enumerator(profiles, support, scorer, minArea);
    for (std::size_t p = 0; p < parallel.size(); ++p)
        for (std::size_t q = p + 1; q < parallel.size(); ++q) {
            const auto [a, c] = parallel[p];
            const auto [b, d] = parallel[q];
            if (std::abs(lines[a].direction.dot(lines[b].direction)) > kCrossing)
                continue;
            enumerator.consider({a, b, c, d});
        }
    return enumerator.best(maxQuads);
}

}  // namespace qirmel
