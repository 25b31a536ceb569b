// Follows the document from live frame to live frame.
#ifndef QIRMEL_LIVECROPPER_H
#define QIRMEL_LIVECROPPER_H

#include "core/frame.h"

#include "crop/croptracker.h"
#include "crop/documentdetector.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// Finds the document in each frame, seeded by where it was last seen, and smooths the outlines over
// frames so that a still page stands still, a moved one is followed and one missed for a moment is
// held. Keeps state between frames: one cropper serves the frame thread.
class LiveCropper {
public:
    // The outline to cut this frame along, in the frame's pixels; none while no document is credibly in
    // view. picture: the frame's picture, B G R, at full resolution or reduced by a factor. A frame of
    // another size or orientation than the last starts the following over.
    std::optional<Quad> follow(const Frame &frame, const cv::Mat &picture);

    // Forgets the document, as when the camera is opened or closed or auto crop is switched off.
    void reset();

private:
    DocumentDetector m_detector{DocumentDetector::Effort::Live};
    CropTracker m_tracker;
    Size m_frameSize;
    int m_frameTurns = 0;
};

}  // namespace qirmel

#endif  // QIRMEL_LIVECROPPER_H
