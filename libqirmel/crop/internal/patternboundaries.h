#ifndef QIRMEL_CROP_PATTERNBOUNDARIES_H
#define QIRMEL_CROP_PATTERNBOUNDARIES_H

#include "crop/internal/linefinder.h"

#include <opencv2/core.hpp>

#include <vector>

namespace qirmel {

// Straight runs of traced edge that lie on one line, as the line finder gathers them.
struct GatheredLine {
    // Most pixels between consecutive samples; a gap this much wider breaks the edge off.
    static constexpr float kSpacing = 3;
    static constexpr float kMaxGap = 2 * kSpacing;

    cv::Point2f point;
    cv::Point2f direction;
    // Traced out and back: each stretch of edge counts twice.
    double length = 0;
    // Points on the edge, every few pixels.
    std::vector<cv::Point2f> samples;
};

// Where a cloth's pattern stops at a document lying on it: lines through the ends of the pattern's lines,
// with the pattern on one side. Along such a line a page's side counts as found even where the page is
// as pale as the stripes it lies on. Stateless.
class PatternBoundaries {
public:
    // lines: longest first. Lines with EdgeLine::towardsPattern set, onEdge the ends' positions.
    static std::vector<EdgeLine> find(const std::vector<GatheredLine> &lines, const cv::Size &size);
};

}  // namespace qirmel

#endif
