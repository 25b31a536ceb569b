#include "crop/internal/linequads.h"

#include "crop/internal/linemeeting.h"
#include "crop/internal/lineprofile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

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

// What a line's profile says of the side along it from start to end, its ends left out.
struct SideCounts {
    double length = 0;
    // Samples inside the image, and their share of the side.
    int visible = 0;
    double share = 0;
    // Per channel, the samples stepping up and down along the line's normal.
    std::array<std::array<int, 2>, EdgeSupport::kMaxChannels> steps{};
    // Per channel, the samples without a step where a pattern ends towards the normal, and away from it.
    std::array<std::array<int, 2>, EdgeSupport::kMaxChannels> bridged{};
};

SideCounts countAlong(const LineProfile &profile, const cv::Point2f &start, const cv::Point2f &end, int channels)
{
    SideCounts side;
    double from = profile.parameter(start);
    double to = profile.parameter(end);
    if (from > to)
        std::swap(from, to);
    side.length = to - from;
    const double trim = kCornerShare * side.length;
    from += trim;
    to -= trim;
    const LineProfile::Stretch stretch = profile.stretch(from, to);
    side.visible = LineProfile::visible(stretch);
    side.share = std::min(1.0, side.visible * LineProfile::kStep / std::max(1.0, to - from));
    for (int c = 0; c < channels; ++c)
        for (int s = 0; s < 2; ++s) {
            side.steps[c][s] = profile.supported(c, s, stretch);
            side.bridged[c][s] = profile.bridged(c, s, stretch);
        }
    return side;
}

// The side's samples supporting channel c with polarity s (inside brighter, darker), its inside towards
// the line's normal or away from it, and those bridged where the pattern lies outside.
int supportedOf(const SideCounts &side, int c, int s, bool inwardIsPositive)
{
    return inwardIsPositive == (s == 0) ? side.steps[c][0] : side.steps[c][1];
}

int bridgedOf(const SideCounts &side, int c, bool inwardIsPositive)
{
    // The pattern must lie outside: away from the normal when the inside is towards it.
    return side.bridged[c][inwardIsPositive ? 1 : 0];
}

class Enumerator {
public:
    Enumerator(const std::vector<LineProfile> &profiles, const EdgeSupport &support, const OutlineScorer &scorer,
               double minArea)
        : m_profiles(profiles),
          m_size(support.size()),
          m_channels(support.channelCount()),
          m_scorer(scorer),
          m_minArea(minArea),
          m_lines(profiles.size()),
          m_viability(m_lines * m_lines * m_lines, kUnknown),
          m_corners(m_lines * m_lines)
    {
        const float reachX = 0.5f * m_size.width;
        const float reachY = 0.5f * m_size.height;
        for (std::size_t i = 0; i < m_lines; ++i)
            for (std::size_t j = 0; j < m_lines; ++j) {
                Corner &corner = m_corners[i * m_lines + j];
                const cv::Point2f &p = corner.at;
                corner.usable = i != j && meet(m_profiles[i].line(), m_profiles[j].line(), corner.at) &&
                                p.x >= -reachX && p.y >= -reachY && p.x <= m_size.width + reachX &&
                                p.y <= m_size.height + reachY;
            }
    }

    // Whether some outline may have a side along line `line` between lines `before` and `after`: both
    // corners exist and the side leaves a pair in the running one way round or the other. What fails
    // here fails for every fourth side.
    bool mayBeSide(int before, int line, int after)
    {
        return cornerOf(before, line).usable && cornerOf(line, after).usable &&
               (viability(before, line, after, false) | viability(before, line, after, true)) != 0;
    }

    // Sides in cyclic order; corner m joins side m and side m + 1.
    void consider(const std::array<int, 4> &sides)
    {
        std::array<cv::Point2f, 4> corners;
        for (int m = 0; m < 4; ++m) {
            const Corner &corner = cornerOf(sides[m], sides[(m + 1) % 4]);
            if (!corner.usable)
                return;
            corners[m] = corner.at;
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
        const cv::Point2f centre = (corners[0] + corners[1] + corners[2] + corners[3]) * 0.25f;
        // Per side, whether the inside lies towards its line's normal.
        std::array<bool, 4> inward{};
        unsigned viable = allPairs();
        for (int m = 0; m < 4 && viable; ++m) {
            inward[m] = inwardIsPositive(sides[m], centre);
            viable &= viability(sides[(m + 3) % 4], sides[m], sides[(m + 1) % 4], inward[m]);
        }
        if (!viable)
            return;
        const std::optional<SideEvidence> evidence = measure(sides, corners, inward);
        if (!evidence || !OutlineScorer::isCredible(*evidence))
            return;
        const Quad quad = Quad::fromUnordered(std::vector<cv::Point2f>(corners.begin(), corners.end()));
        const double score = m_scorer.scoreUnlessCrossed(quad, *evidence);
        if (score > 0)
            m_found.push_back({quad, score});
    }

    // The best count outlines, no two alike; whether a pattern crosses an outline is asked only of those
    // that would be taken, best first.
    std::vector<Quad> best(std::size_t count)
    {
        std::stable_sort(m_found.begin(), m_found.end(),
                         [](const Scored &a, const Scored &b) { return a.score > b.score; });
        std::vector<Quad> chosen;
        for (const Scored &s : m_found) {
            if (chosen.size() >= count)
                break;
            if (std::none_of(chosen.begin(), chosen.end(),
                             [&](const Quad &q) { return q.maxCornerDistance(s.quad) < kSameOutline; }) &&
                !m_scorer.isCrossedByPattern(s.quad))
                chosen.push_back(s.quad);
        }
        return chosen;
    }

private:
    // Where two lines meet, if they do within half the frame's size of it.
    struct Corner {
        cv::Point2f at;
        bool usable = false;
    };
    const Corner &cornerOf(int first, int second) const { return m_corners[std::size_t(first) * m_lines + second]; }

    // Channel and polarity pairs, as bits 2c + s, for every channel.
    unsigned allPairs() const { return (1u << (2 * m_channels)) - 1; }

    bool inwardIsPositive(int line, const cv::Point2f &centre) const
    {
        const EdgeLine &edge = m_profiles[line].line();
        const cv::Point2f normal(edge.direction.y, -edge.direction.x);
        return normal.dot(centre - edge.point) > 0;
    }

    // The pairs a side leaves in the running: each must step on a share of the side's samples.
    unsigned viablePairs(const SideCounts &side, bool inwardIsPositive) const
    {
        const int needed = int(std::ceil(kMinSideSupport * side.visible));
        unsigned viable = 0;
        for (int c = 0; c < m_channels; ++c)
            for (int s = 0; s < 2; ++s)
                if (EdgeSupport::withBridged(supportedOf(side, c, s, inwardIsPositive),
                                             bridgedOf(side, c, inwardIsPositive), side.visible) >= needed)
                    viable |= 1u << (2 * c + s);
        return viable;
    }

    // The pairs the side along line `line` between lines `before` and `after` leaves in the running, with
    // the inside towards the line's normal or away from it. Every outline through the three lines has the
    // same side there, and most fail on one of their sides, so each three lines are counted once.
    unsigned viability(int before, int line, int after, bool inwardIsPositive)
    {
        std::uint16_t &known = m_viability[(std::size_t(before) * m_lines + line) * m_lines + after];
        if (known == kUnknown) {
            const SideCounts side =
                countAlong(m_profiles[line], cornerOf(before, line).at, cornerOf(line, after).at, m_channels);
            known = 0;
            // Too little of it shows to be judged, even as the one side mostly hidden.
            if (side.share >= kMinVisibleShare || side.visible >= kMinHiddenSamples)
                known = std::uint16_t(viablePairs(side, false) | viablePairs(side, true) << kPairBits);
        }
        return inwardIsPositive ? known >> kPairBits : known & ((1u << kPairBits) - 1);
    }

    std::optional<SideEvidence> measure(const std::array<int, 4> &sides, const std::array<cv::Point2f, 4> &corners,
                                        const std::array<bool, 4> &inward) const
    {
        std::array<SideCounts, 4> counted;
        double totalLength = 0;
        double visibleLength = 0;
        // A corner beyond the frame can leave one side almost wholly outside it: what shows of it is judged
        // then, if that is a few samples at least. Two such sides leave too little to judge.
        int hidden = 0;
        for (int m = 0; m < 4; ++m) {
            counted[m] = countAlong(m_profiles[sides[m]], corners[(m + 3) % 4], corners[m], m_channels);
            totalLength += counted[m].length;
            visibleLength += counted[m].length * counted[m].share;
            if (counted[m].share < kMinVisibleShare && (++hidden > 1 || counted[m].visible < kMinHiddenSamples))
                return std::nullopt;
        }
        std::optional<SideEvidence> best;
        for (int c = 0; c < m_channels; ++c)
            for (int s = 0; s < 2; ++s) {
                SideEvidence evidence;
                evidence.minSupport = 1;
                evidence.visible = visibleLength / std::max(1e-9, totalLength);
                double supported = 0;
                int agreeing = 0;
                int all = 0;
                bool viable = true;
                for (int m = 0; m < 4; ++m) {
                    const SideCounts &side = counted[m];
                    const int own = supportedOf(side, c, s, inward[m]);
                    const int withBridged = EdgeSupport::withBridged(own, bridgedOf(side, c, inward[m]), side.visible);
                    viable = viable && withBridged >= int(std::ceil(kMinSideSupport * side.visible));
                    const double support = double(withBridged) / std::max(1, side.visible);
                    evidence.minSupport = std::min(evidence.minSupport, support);
                    supported += support * side.length * side.share;
                    agreeing += own;
                    all += side.steps[c][0] + side.steps[c][1];
                }
                if (!viable)
                    continue;
                evidence.meanSupport = supported / std::max(1e-9, visibleLength);
                evidence.polarity = all > 0 ? double(agreeing) / all : 0;
                if (!best || evidence.meanSupport > best->meanSupport)
                    best = evidence;
            }
        return best;
    }

    // Bits per way round in a memo of viable pairs, and the memo's mark for three lines not yet counted.
    static constexpr int kPairBits = 2 * EdgeSupport::kMaxChannels;
    static constexpr std::uint16_t kUnknown = 0xFFFF;

    const std::vector<LineProfile> &m_profiles;
    cv::Size m_size;
    int m_channels;
    const OutlineScorer &m_scorer;
    double m_minArea;
    std::size_t m_lines;
    std::vector<std::uint16_t> m_viability;
    // Every ordered pair's meeting, worked out once: outlines share their corners many times over.
    std::vector<Corner> m_corners;
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
    // this far apart; closer parallels are lines of print or grain. The pairs come ordered by their first
    // line, those of line i from firstPair[i] on.
    const double minGap = kMinGapShare * std::sqrt(minArea);
    std::vector<std::pair<int, int>> parallel;
    std::vector<std::size_t> firstPair(lines.size() + 1);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        firstPair[i] = parallel.size();
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            const cv::Point2f apart = lines[j].point - lines[i].point;
            if (std::abs(lines[i].direction.dot(lines[j].direction)) >= kParallel &&
                std::abs(apart.x * lines[i].direction.y - apart.y * lines[i].direction.x) >= minGap)
                parallel.emplace_back(int(i), int(j));
        }
    }
    firstPair[lines.size()] = parallel.size();
    // Per line, the later lines crossing it steeply enough to be its neighbours. Most pairs of pairs
    // do not cross: among a page's, its print's and the desk's lines, most run alike.
    std::vector<std::vector<int>> crossingLater(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        for (std::size_t j = i + 1; j < lines.size(); ++j)
            if (std::abs(lines[i].direction.dot(lines[j].direction)) <= kCrossing)
                crossingLater[i].push_back(int(j));

    // Each pair with every later pair whose first line crosses its own, once that line's side between
    // the pair may be one.
    Enumerator enumerator(profiles, support, scorer, minArea);
    for (const auto &[a, c] : parallel)
        for (const int b : crossingLater[a])
            if (enumerator.mayBeSide(a, b, c))
                for (std::size_t q = firstPair[b]; q < firstPair[b + 1]; ++q)
                    enumerator.consider({a, b, c, parallel[q].second});
    return enumerator.best(maxQuads);
}

}  // namespace qirmel
