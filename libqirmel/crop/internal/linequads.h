#ifndef QIRMEL_CROP_LINEQUADS_H
#define QIRMEL_CROP_LINEQUADS_H

#include "crop/internal/edgesupport.h"
#include "crop/internal/linefinder.h"
#include "crop/internal/outlinescorer.h"
#include "crop/quad.h"

#include <vector>

namespace qirmel {

// Proposes outlines built from straight lines: two pairs of roughly parallel lines crossing at roughly
// right angles. Unlike region outlines this does not need the document's edge to form a closed loop of
// its own, so it finds a card on grained wood, a page whose edge merges with clutter, or one whose corner
// is under a hand or beyond the frame. Every combination of the lines is judged, which is affordable
// because each line's edge evidence is sampled once and a side's support is then read off running
// counts. Stateless and reentrant.
class LineQuads {
public:
    // The best maxQuads outlines by the scorer, no two alike; minArea in pixels of the judging image.
    static std::vector<Quad> find(const std::vector<EdgeLine> &lines, const EdgeSupport &support,
                                  const OutlineScorer &scorer, double minArea, std::size_t maxQuads);
};

}  // namespace qirmel

#endif
