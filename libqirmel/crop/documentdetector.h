#ifndef QIRMEL_CROP_DOCUMENTDETECTOR_H
#define QIRMEL_CROP_DOCUMENTDETECTOR_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// Finds the document in a frame. Outlines are proposed and judged on a small image (a reduced grey
// decode about 480 pixels wide, halved again, with colour differences taken from the frame), and the
// winner's sides are then set on the edges of the full-resolution frame. No outline is returned when
// nothing is credible: a wrong crop is worse than none.
//
// All methods are const and keep no state between calls, so one detector may serve the frame thread and
// a photo thread at once without locking.
class DocumentDetector {
public:
    // Width a reduced JPEG decode of the frame should have at least; detection reduces it further itself.
    static constexpr int kWorkingWidth = 480;

    // reducedGrey: the frame at 1/scale of its size (as a reduced JPEG decode gives it), 8-bit grey.
    // fullFrame: the frame itself, 8-bit grey or BGR, for refinement and, when BGR, for colour edges; may
    // be empty to skip both.
    // seed: an outline the document was recently seen at, in full-frame pixels; outlines near it are
    // preferred and it is itself tried when nothing else convinces.
    // Returns the corners in full-frame pixels.
    std::optional<Quad> detect(const cv::Mat &reducedGrey, double scale, const cv::Mat &fullFrame,
                               const std::optional<Quad> &seed = std::nullopt) const;

    // Whether the frame (given as to detect()) still shows a document along outline, in full-frame pixels:
    // most of its sides on edges, though perhaps not enough of them for detect() to find it (a hand over
    // the page), which a picture that has changed since the outline was found does not have.
    bool shows(const cv::Mat &reducedGrey, double scale, const cv::Mat &fullFrame, const Quad &outline) const;

    // Convenience for a full-size frame only (grey or BGR): reduces it itself.
    std::optional<Quad> detect(const cv::Mat &fullFrame, const std::optional<Quad> &seed = std::nullopt) const;
};

}  // namespace qirmel

#endif
