#ifndef QIRMEL_CROP_PAGEAROUNDPRINT_H
#define QIRMEL_CROP_PAGEAROUNDPRINT_H

#include "crop/internal/edgesupport.h"
#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace qirmel {

// A white page on a near-white desk shows its edges as a step of a few grey levels, too faint for the
// judging image's edges, and the outline found is then its print: a table, a block of text, or nothing at
// all. Around such an outline the paper goes on to where the desk begins, and averaged along a whole
// stretch of side the step stands out clearly in a sharper image. Holds references to the caller's
// images; stateless otherwise.
class PageAroundPrint {
public:
    // grey: the picture at `scale` times the size of the support's images, unsmoothed.
    PageAroundPrint(const EdgeSupport &support, const cv::Mat &grey, const cv::Point2d &scale);

    // The page around the chosen outline, if the grey image steps along a line beyond at least one of its
    // sides (the others may be the page's own), and what lies between looks like the page. Outlines in
    // pixels of the support's images.
    std::optional<Quad> around(const Quad &chosen) const;
    // Where no outline holds, the page around the first of the blocks (of print, outlined however
    // loosely), largest first, beyond at least three of whose sides the grey image steps.
    std::optional<Quad> aroundAnyOf(std::vector<Quad> blocks) const;

private:
    std::optional<Quad> around(const Quad &print, int minMovedSides) const;

    const EdgeSupport &m_support;
    const cv::Mat &m_grey;
    cv::Point2d m_scale;
};

}  // namespace qirmel

#endif
