#ifndef BENCH_AUTOCROP_JACCARDINDEX_H
#define BENCH_AUTOCROP_JACCARDINDEX_H

#include "crop/quad.h"

#include <optional>

// The overlap measure of the ICDAR 2015 SmartDoc competition: both outlines are taken into the
// document's own frame through the homography of the true outline, and compared there as intersection
// over union. A miss scores 0.
class JaccardIndex {
public:
    // aspect: the document's true width over height.
    static double score(const qirmel::Quad &truth, double aspect, const std::optional<qirmel::Quad> &found);
};

#endif
