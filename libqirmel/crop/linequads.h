#ifndef QIRMEL_CROP_LINEQUADS_H
#define QIRMEL_CROP_LINEQUADS_H

#include "quad.h"

#include <opencv2/core.hpp>

#include <vector>

namespace qirmel {

// Proposes outlines built from straight lines in an edge map: two pairs of roughly parallel lines,
// crossing at roughly right angles. Unlike region outlines this does not need the document's edge to
// form a closed loop of its own, so it finds a book's cover on a grained desk, a page whose edge merges
// with clutter, or one whose corner is under a hand. Stateless and reentrant.
class LineQuads
{
public:
    static std::vector<Quad> find(const cv::Mat &edges, double minAreaFraction);
};

} // namespace qirmel

#endif
