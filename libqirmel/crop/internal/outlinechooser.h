#ifndef QIRMEL_CROP_OUTLINECHOOSER_H
#define QIRMEL_CROP_OUTLINECHOOSER_H

#include "crop/internal/edgesupport.h"
#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <functional>
#include <optional>
#include <vector>

namespace qirmel {

// An outline proposed for the document, and its score (0: not credible).
struct ScoredOutline {
    Quad quad;
    double score = 0;
};

// Picks the document among scored outlines. Documents carry rectangles of their own (a card's photo, a
// picture on a page, each page of an open book) whose edges are often cleaner than the document's own,
// so the best-scoring outline is not always the document: a credible outline well around it is, as long
// as it lies on edges of its own where it leaves the inner one, rather than stretching over the desk; and
// so is one that takes it on beyond one side only (a card's coloured band, whose edge across the card
// outlines the rest of it). A stretch of desk beyond a side is no part of the document, unless that side is
// where a shadow across the page begins: the page goes on in the shade, darkened to look like the desk.
// Holds only references to the caller's evidence.
class OutlineChooser {
public:
    // Whether a side of an outline (in the support's pixels) is a shadow's edge rather than paper's.
    using SideTest = std::function<bool(const Quad &outline, int side)>;

    explicit OutlineChooser(const EdgeSupport &support, SideTest isShadowEdge = {});
    std::optional<Quad> choose(const std::vector<ScoredOutline> &outlines) const;

private:
    // Whether, where outer leaves inner, it lies mostly within the frame and on edges.
    bool isOnEdgesApart(const Quad &outer, const Quad &inner) const;
    bool isDocumentAround(const Quad &outer, const Quad &inner) const;
    bool frames(const Quad &outer, const Quad &inner) const;

    const EdgeSupport &m_support;
    SideTest m_isShadowEdge;
};

}  // namespace qirmel

#endif
