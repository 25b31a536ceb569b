#ifndef QIRMEL_CROP_CROPTRACKER_H
#define QIRMEL_CROP_CROPTRACKER_H

#include "crop/quad.h"

#include <functional>
#include <optional>

namespace qirmel {

// Turns per-frame detections into a steady live outline. A still page must not shimmer, so small
// differences between frames are averaged away; a page that is moved is followed within a few frames; a
// page missed for a moment (a hand passing over it) is held briefly before the crop falls back to the
// whole frame, but only while the picture still shows it there: corners held from another picture would
// cut the new one wrongly. A first sighting is confirmed by a second before it is shown.
//
// Keeps state between frames and takes no lock: use one instance from one thread (the frame thread), or
// guard every call with the caller's own mutex.
class CropTracker {
public:
    // Frames a lost document is held for: about two thirds of a second at 15 frames a second.
    static constexpr int kHoldFrames = 10;

    // Whether the frame a detection came from still shows the document along an outline of earlier frames.
    using PictureCheck = std::function<bool(const Quad &)>;

    // Feeds one frame's detection (none when nothing was found) and returns the outline to show now.
    // stillShown is asked before an outline this detection does not confirm is held.
    std::optional<Quad> update(const std::optional<Quad> &detection, const PictureCheck &stillShown);
    std::optional<Quad> current() const { return m_shown; }
    // Forgets everything, e.g. when the camera or its resolution changes.
    void reset();

private:
    std::optional<Quad> m_shown;
    std::optional<Quad> m_candidate;
    int m_missed = 0;
};

}  // namespace qirmel

#endif
