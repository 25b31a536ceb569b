#ifndef QIRMEL_CROP_OUTLINESCORER_H
#define QIRMEL_CROP_OUTLINESCORER_H

#include "crop/internal/edgesupport.h"
#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// Judges how much an outline in the judging image looks like a document: its sides on edges with one
// brightness sign all round, its corners near square, its proportions those of paper or a card, and,
// in live use, its closeness to where the document was just seen. Immutable, so one instance may be read
// from several threads.
class OutlineScorer {
public:
    // seed: in pixels of the judging image.
    OutlineScorer(const EdgeSupport &support, const cv::Size &size, const std::optional<Quad> &seed);
    // 0 when the outline is not credible as a document; higher is better.
    double score(const Quad &quad) const;
    // The same, from evidence already gathered for the outline.
    double score(const Quad &quad, const SideEvidence &evidence) const;

private:
    const EdgeSupport &m_support;
    cv::Size m_size;
    std::optional<Quad> m_seed;
};

}  // namespace qirmel

#endif
