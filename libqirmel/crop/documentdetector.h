#ifndef QIRMEL_CROP_DOCUMENTDETECTOR_H
#define QIRMEL_CROP_DOCUMENTDETECTOR_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// Finds the document in a picture. Outlines are proposed and judged on a small image (the picture
// reduced by a whole factor to about 480 pixels across, halved again, with colour differences taken from
// the picture), and the winner's sides are then set on the edges of the picture itself. No outline is
// returned when nothing is credible: a wrong crop is worse than none.
//
// All methods are const and keep no state between calls, so one detector may serve the frame thread and
// a photo thread at once without locking.
class DocumentDetector {
public:
    // How much a detection may cost where nothing credible is found at first.
    enum class Effort {
        // Every frame of the live picture: the search stops there, so that an empty desk keeps the frame rate.
        Live,
        // A photo: the search goes on among the finer lines of a larger image, at some tens of milliseconds.
        Photo,
    };

    explicit DocumentDetector(Effort effort = Effort::Photo);

    // picture: 8-bit grey or B G R, of any size from a live frame reduced for the preview to a full photo.
    // seed: an outline the document was recently seen at, in the picture's pixels; outlines near it are
    // preferred and it is itself tried when nothing else convinces.
    // Returns the corners in the picture's pixels.
    std::optional<Quad> detect(const cv::Mat &picture, const std::optional<Quad> &seed = std::nullopt) const;

    // Whether the picture still shows a document along outline (in its pixels): most of its sides on
    // edges, though perhaps not enough of them for detect() to find it (a hand over the page), which a
    // picture that has changed since the outline was found does not have.
    bool shows(const cv::Mat &picture, const Quad &outline) const;

private:
    Effort m_effort;
};

}  // namespace qirmel

#endif
