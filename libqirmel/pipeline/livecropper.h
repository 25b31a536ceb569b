// Follows the document from live frame to live frame.
#ifndef QIRMEL_LIVECROPPER_H
#define QIRMEL_LIVECROPPER_H

#include "core/frame.h"
#include "core/jpegcodec.h"

#include "crop/croptracker.h"
#include "crop/documentdetector.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <optional>
#include <vector>

namespace qirmel {

// Finds the document in each frame, seeded by where it was last seen, and smooths the outlines over
// frames so that a still page stands still, a moved one is followed and one missed for a moment is
// held. Keeps state between frames: one cropper serves the frame thread.
class LiveCropper {
public:
    // The outline to cut this frame along, in pixels of picture (the frame's own picture, B G R, at
    // full resolution); none while no document is credibly in view. A frame of another size or
    // orientation than the last starts the following over.
    std::optional<Quad> follow(const Frame &frame, const cv::Mat &picture);

    // Forgets the document, as when the camera is opened or closed or auto crop is switched off.
    void reset();

private:
    JpegCodec m_codec;
    DocumentDetector m_detector;
    CropTracker m_tracker;
    cv::Mat m_reduced;  // scratch of the judging image, reused from frame to frame
    cv::Mat m_grey;
    std::vector<std::uint8_t> m_decodedGrey;
    Size m_frameSize;
    int m_frameTurns = 0;
};

}  // namespace qirmel

#endif  // QIRMEL_LIVECROPPER_H
