#ifndef QIRMEL_CROP_PATTERNBOUNDARIES_H
#define QIRMEL_CROP_PATTERNBOUNDARIES_H

#include "crop/internal/linefinder.h"

#include <opencv2/core.hpp>

#include <optional>
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

// Patterns among a picture's lines: directions with many long lines, as a cloth's stripes run and wood
// grain does not (a large page's lines of print may); and where they stop at a document lying on them.
// Holds pointers into the lines it is given.
class PatternBoundaries {
public:
    // lines: longest first, in a frame of the given size.
    PatternBoundaries(const std::vector<GatheredLine> &lines, const cv::Size &size);

    std::size_t patternCount() const { return m_directions.size(); }
    // Which of the patterns a line in this direction (a unit vector) runs along, if any, counting only a
    // cloth's: patterns whose lines run on out of the frame, as a page's lines of print do not.
    std::optional<std::size_t> clothAlong(const cv::Point2f &direction) const;
    // Lines through the ends of the pattern's lines, with the pattern on one side: along such a line a
    // page's side counts as found even where the page is as pale as the stripes it lies on. Lines with
    // EdgeLine::towardsPattern set, onEdge the ends' positions.
    std::vector<EdgeLine> find() const;

private:
    cv::Size m_size;
    std::vector<cv::Point2f> m_directions;
    std::vector<bool> m_cloth;
    std::vector<const GatheredLine *> m_patterned;
};

}  // namespace qirmel

#endif
