#ifndef QIRMEL_CROP_PHOTOCROPPER_H
#define QIRMEL_CROP_PHOTOCROPPER_H

#include "crop/documentdetector.h"
#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>

namespace qirmel {

// Crops a photo taken while the live preview showed a document. The photo may have another resolution
// than the live frames; the live outline is carried over as a seed, and the photo's own full-resolution
// edges decide the final corners. Stateless: const methods, safe from any thread.
class PhotoCropper {
public:
    // The document in the photo, in photo pixels; none when neither the photo nor the seed shows one.
    // liveOutline is in pixels of a live frame of size liveSize.
    std::optional<Quad> locate(const cv::Mat &photo, const std::optional<Quad> &liveOutline,
                               const cv::Size &liveSize) const;
    // The straightened document at the photo's resolution, or the whole photo when there is none.
    cv::Mat crop(const cv::Mat &photo, const std::optional<Quad> &liveOutline, const cv::Size &liveSize) const;

private:
    DocumentDetector m_detector;
};

}  // namespace qirmel

#endif
