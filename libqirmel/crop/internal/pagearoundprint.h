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
// stretch of side the step stands out clearly in a sharper image, in grey or, where the two differ in tint
// alone, in colour. Holds references to the caller's images; stateless otherwise.
class PageAroundPrint {
public:
    // grey: the picture at `scale` times the size of the support's images, unsmoothed; picture: the part
    // of the picture that grey reduces.
    PageAroundPrint(const EdgeSupport &support, const cv::Mat &grey, const cv::Mat &picture, const cv::Point2d &scale);

    // The page around the chosen outline, if the picture steps along a line beyond at least one of its
    // sides (the others may be the page's own), and what lies between looks like the page or the page's
    // four sides all step alike. Outlines in pixels of the support's images.
    std::optional<Quad> around(const Quad &chosen) const;
    // Where no outline holds, the page around the first of the blocks (of print, outlined however
    // loosely), largest first, beyond at least three of whose sides the picture steps.
    std::optional<Quad> aroundAnyOf(std::vector<Quad> blocks) const;

private:
    std::optional<Quad> around(const Quad &print, int minMovedSides) const;

    // The picture's colour differences at grey's size; worked out on first use, as most pages' steps show
    // in grey.
    const std::vector<cv::Mat> &colourDifferences() const;

    const EdgeSupport &m_support;
    const cv::Mat &m_grey;
    const cv::Mat &m_picture;
    cv::Point2d m_scale;
    mutable std::optional<std::vector<cv::Mat>> m_colourDifferences;
};

}  // namespace qirmel

#endif
