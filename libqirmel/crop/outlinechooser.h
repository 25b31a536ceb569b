#ifndef QIRMEL_CROP_OUTLINECHOOSER_H
#define QIRMEL_CROP_OUTLINECHOOSER_H

#include "quad.h"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace qirmel {

// An outline proposed for the document, and its score (0: not credible).
struct ScoredOutline
{
    Quad quad;
    double score = 0;
};

// Picks the document among scored outlines. Documents carry rectangles of their own (a card's photo, a
// picture on a page, each page of an open book) whose edges are often cleaner than the document's own,
// so the best-scoring outline is not always the document: a credible outline well around it is, as long
// as what lies between the two is not simply more desk. Stateless apart from the images it compares.
class OutlineChooser
{
public:
    // channels: the smoothed images the outlines were found in (grey first).
    explicit OutlineChooser(const std::vector<cv::Mat> &channels);
    std::optional<Quad> choose(const std::vector<ScoredOutline> &outlines) const;

private:
    bool ringDiffersFromDesk(const Quad &outer, const Quad &inner) const;

    const std::vector<cv::Mat> &m_channels;
};

} // namespace qirmel

#endif
