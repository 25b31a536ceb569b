#include "crop/internal/outlinechooser.h"

#include "crop/internal/outlinecolours.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

namespace qirmel {

namespace {

// The best outline must score this much: below it, with the weakest sides and proportions a document
// passes with, the edges that make it are a ruler's, a cutting mat's grid or a shadow's, by chance.
constexpr double kMinScore = 0.5;
// An enclosing outline must score at least this share of the enclosed one.
constexpr double kEnclosingShare = 0.7;
// ... and be this much larger: a thinner frame around an outline is a book's cover around its pages or
// a photo's border, and the content inside is what the user wants.
constexpr double kMinGrowth = 1.25;
// An outline this little smaller than the chosen one, inside it and nearly as well supported, is the
// content within such a frame; closer still it is the same outline found twice.
constexpr double kMinFrameGrowth = 1.04;
// Taken on beyond one side, an outline must grow this much: a few pixels further out is where a shadow
// or a hand begins, not the document's edge beyond a band of its own.
constexpr double kMinSideGrowth = 1.15;
// Corners of two outlines this close are one corner.
constexpr double kSameCorner = 3;
// Corners of an outline this far outside another lie on its side: the same edge, fitted straight by one
// outline and by another to where a page bulges or curls away from it, differs by a few pixels.
constexpr double kSameEdge = 4;
constexpr double kFramedShare = 0.9;
// A sheet's curled edge, bent away from the camera, makes a band a few hundredths of the sheet deep.
constexpr double kMaxCurlGrowth = 1.15;
constexpr double kFrameDepth = 0.8;
constexpr double kMinSignedSupport = 0.5;
// Where an enclosing outline leaves the enclosed one, most of it must be in the frame and on edges.
constexpr double kMinVisibleApart = 0.7;
constexpr double kMinSupportApart = 0.7;

// Whether every corner of inner lies at least depth pixels inside outer.
bool inside(const Quad &outer, const Quad &inner, double depth)
{
    const std::vector<cv::Point2f> polygon = outer.points();
    for (const cv::Point2f &p : inner.corners())
        if (cv::pointPolygonTest(polygon, p, true) < depth)
            return false;
    return true;
}

bool encloses(const Quad &outer, const Quad &inner)
{
    return outer.area() >= kMinGrowth * inner.area() && inside(outer, inner, -kSameEdge);
}

// The side of inner that outer takes it on beyond, keeping the other three; nothing where it does not. A
// frame moves all four.
std::optional<int> sideExtended(const Quad &outer, const Quad &inner)
{
    if (outer.area() < kMinSideGrowth * inner.area() || !inside(outer, inner, -kSameEdge))
        return std::nullopt;
    unsigned kept = 0;
    for (int i = 0; i < 4; ++i)
        if (cv::norm(outer[i] - inner[i]) < kSameCorner)
            kept |= 1u << i;
    // The side's two ends move; those of the side opposite it stay.
    for (int side = 0; side < 4; ++side) {
        const int opposite = (side + 2) % 4;
        if (kept == ((1u << opposite) | (1u << ((opposite + 1) % 4))))
            return side;
    }
    return std::nullopt;
}

}  // namespace

OutlineChooser::OutlineChooser(const EdgeSupport &support, SideTest isShadowEdge)
    : m_support(support), m_isShadowEdge(std::move(isShadowEdge))
{}

bool OutlineChooser::frames(const Quad &outer, const Quad &inner) const
{
    const double growth = outer.area() / std::max(1.0, inner.area());
    if (growth < kMinFrameGrowth || growth >= kMinGrowth || !inside(outer, inner, kFrameDepth))
        return false;
    // A frame is a band darker (or lighter) than both what it surrounds and what surrounds it, so its
    // two edges step in opposite directions; the same edge found twice, a little apart, steps one way.
    // Where the outer edge does not show in the inner one's channel, its sign there says nothing.
    const SideEvidence within = m_support.measure(inner);
    const SideEvidence outside = m_support.measure(outer, within.channel);
    return outside.meanSupport < kMinSignedSupport || outside.insideBrighter != within.insideBrighter;
}

bool OutlineChooser::isOnEdgesApart(const Quad &outer, const Quad &inner) const
{
    const SideEvidence apart = m_support.measureApart(outer, inner);
    return apart.visible >= kMinVisibleApart && apart.meanSupport >= kMinSupportApart;
}

bool OutlineChooser::isDocumentAround(const Quad &outer, const Quad &inner) const
{
    if (!isOnEdgesApart(outer, inner))
        return false;
    if (!OutlineColours(m_support).ringIsDesk(outer, inner))
        return true;
    const std::optional<int> side = sideExtended(outer, inner);
    return side && m_isShadowEdge && m_isShadowEdge(inner, *side);
}

std::optional<Quad> OutlineChooser::choose(const std::vector<ScoredOutline> &outlines) const
{
    const auto best =
        std::max_element(outlines.begin(), outlines.end(),
                         [](const ScoredOutline &a, const ScoredOutline &b) { return a.score < b.score; });
    if (best == outlines.end() || best->score < kMinScore)
        return std::nullopt;
    // Step outwards one enclosing outline at a time, the nearest first, so that an open book's spread is
    // reached from one of its pages before its cover is considered.
    Quad chosen = best->quad;
    double chosenScore = best->score;
    for (;;) {
        const ScoredOutline *next = nullptr;
        for (const ScoredOutline &o : outlines)
            if (o.score >= kEnclosingShare * chosenScore &&
                (encloses(o.quad, chosen) || sideExtended(o.quad, chosen)) &&
                (!next || o.quad.area() < next->quad.area()) && isDocumentAround(o.quad, chosen))
                next = &o;
        if (!next)
            break;
        chosen = next->quad;
        chosenScore = next->score;
    }
    // A curled sheet's flat part outlines as well as the sheet: its edge shows a little further out, past
    // the paper's shading where it bends away, on the same side of which lies the paper.
    const ScoredOutline *beyondCurl = nullptr;
    for (const ScoredOutline &o : outlines)
        if (o.score >= kFramedShare * chosenScore && o.quad.area() >= kMinFrameGrowth * chosen.area() &&
            o.quad.area() < kMaxCurlGrowth * chosen.area() && inside(o.quad, chosen, -kSameEdge) &&
            (!beyondCurl || o.score > beyondCurl->score) && isOnEdgesApart(o.quad, chosen) &&
            OutlineColours(m_support).ringIsDocument(o.quad, chosen))
            beyondCurl = &o;
    if (beyondCurl) {
        chosen = beyondCurl->quad;
        chosenScore = beyondCurl->score;
    }
    const ScoredOutline *content = nullptr;
    for (const ScoredOutline &o : outlines)
        if (o.score >= kFramedShare * chosenScore && frames(chosen, o.quad) && (!content || o.score > content->score))
            content = &o;
    return content ? content->quad : chosen;
}

}  // namespace qirmel
