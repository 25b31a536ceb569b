#ifndef QIRMEL_CROP_OUTLINESCORER_H
#define QIRMEL_CROP_OUTLINESCORER_H

#include "crop/internal/edgesupport.h"
#include "crop/internal/linefinder.h"
#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// Judges how much an outline in the judging image looks like a document: its sides on edges with one
// brightness sign all round, its corners near square, its proportions those of paper or a card, and,
// in live use, its closeness to where the document was just seen; and no pattern's lines running across
// its sides, as a tablecloth's or a striped desk's run across any rectangle drawn on them. Immutable, so
// one instance may be read from several threads.
class OutlineScorer {
public:
    // seed: in pixels of the judging image; lines: the image's longest straight edges.
    OutlineScorer(const EdgeSupport &support, const cv::Size &size, const std::optional<Quad> &seed,
                  const std::vector<EdgeLine> &lines);
    // 0 when the outline is not credible as a document; higher is better.
    double score(const Quad &quad) const;
    // The same, from evidence already gathered for the outline.
    double score(const Quad &quad, const SideEvidence &evidence) const;
    // Whether the evidence leaves the outline in the running at all: the first of score's tests, which
    // needs no outline.
    static bool isCredible(const SideEvidence &evidence);
    // The score but for the last and costliest test, isCrossedByPattern: where many outlines are judged
    // and few kept, only those kept need it.
    double scoreUnlessCrossed(const Quad &quad, const SideEvidence &evidence) const;

    // How much the outline's shape looks like a document seen from overhead: 0 for corners too far from
    // square or proportions no document has, up to 1 for a known format's rectangle.
    static double shapeScore(const Quad &quad);
    // Whether more of the lines run across the outline's sides than a pen's, a shadow's or a hand's
    // would: a pattern's.
    bool isCrossedByPattern(const Quad &quad) const;

private:
    const EdgeSupport &m_support;
    const std::vector<EdgeLine> &m_lines;
    cv::Size m_size;
    std::optional<Quad> m_seed;
};

}  // namespace qirmel

#endif
