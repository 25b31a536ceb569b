#ifndef QIRMEL_CROP_PAGEAROUNDPRINT_H
#define QIRMEL_CROP_PAGEAROUNDPRINT_H

#include "crop/internal/edgesupport.h"
#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// A white page on a near-white desk shows its edges as a step of a few grey levels, too faint for the
// judging image's edges, and the outline found is then its print: a table, a block of text. Around such
// an outline the paper goes on to where the desk begins, and averaged along a whole stretch of side the
// step stands out clearly in a sharper image. Stateless.
class PageAroundPrint {
public:
    // The page around `print` (in pixels of the support's images), if the grey image (the same picture
    // at `scale` times their size, unsmoothed) steps along four lines around it, one beyond each side,
    // and what lies between looks like the page; in pixels of the support's images.
    static std::optional<Quad> find(const Quad &print, const EdgeSupport &support, const cv::Mat &grey,
                                    const cv::Point2d &scale);
};

}  // namespace qirmel

#endif
