#include "crop/croptracker.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qirmel {

namespace {

// Two detections agree when no corner differs by more than this share of the outline's diagonal.
constexpr double kSameShare = 0.04;
// Differences below this share are detection noise on a still page, and heavily averaged.
constexpr double kStillShare = 0.006;
constexpr float kStillWeight = 0.15f;
constexpr float kMovingWeight = 0.75f;

double diagonal(const Quad &quad)
{
    return std::max(cv::norm(quad[Quad::kBottomRight] - quad[Quad::kTopLeft]),
                    cv::norm(quad[Quad::kBottomLeft] - quad[Quad::kTopRight]));
}

bool agree(const Quad &a, const Quad &b)
{
    return a.maxCornerDistance(b) <= kSameShare * diagonal(a);
}

Quad blend(const Quad &from, const Quad &to, float weight)
{
    std::array<cv::Point2f, 4> corners;
    for (int i = 0; i < 4; ++i)
        corners[i] = from[i] + (to[i] - from[i]) * weight;
    return Quad(corners);
}

}  // namespace

std::optional<Quad> CropTracker::update(const std::optional<Quad> &detection, const PictureCheck &stillShown)
{
    if (!detection) {
        m_candidate.reset();
        if (m_shown && (++m_missed > kHoldFrames || !stillShown(*m_shown)))
            m_shown.reset();
        return m_shown;
    }
    m_missed = 0;
    if (!m_shown) {
        if (m_candidate && agree(*m_candidate, *detection))
            m_shown = detection;
        m_candidate = detection;
        return m_shown;
    }
    if (agree(*m_shown, *detection)) {
        m_candidate.reset();
        const double step = m_shown->maxCornerDistance(*detection) / diagonal(*m_shown);
        m_shown = blend(*m_shown, *detection, step <= kStillShare ? kStillWeight : kMovingWeight);
        return m_shown;
    }
    // A jump: the page was moved, or this detection is a stray. Follow once a second frame confirms it;
    // until then the page is held where it was, if it is still there.
    if (m_candidate && agree(*m_candidate, *detection))
        m_shown = detection;
    else if (!stillShown(*m_shown))
        m_shown.reset();
    m_candidate = detection;
    return m_shown;
}

void CropTracker::reset()
{
    m_shown.reset();
    m_candidate.reset();
    m_missed = 0;
}

}  // namespace qirmel
