#include "crop/photocropper.h"

#include "crop/documentwarper.h"

namespace qirmel {

std::optional<Quad> PhotoCropper::locate(const cv::Mat &photo, const std::optional<Quad> &liveOutline,
                                         const cv::Size &liveSize) const
{
    if (photo.empty())
        return std::nullopt;
    std::optional<Quad> seed;
    if (liveOutline && !liveSize.empty())
        seed = liveOutline->resampled(double(photo.cols) / liveSize.width, double(photo.rows) / liveSize.height);
    return m_detector.detect(photo, seed);
}

cv::Mat PhotoCropper::crop(const cv::Mat &photo, const std::optional<Quad> &liveOutline, const cv::Size &liveSize) const
{
    const std::optional<Quad> outline = locate(photo, liveOutline, liveSize);
    if (!outline)
        return photo;
    return DocumentWarper::warp(photo, *outline);
}

}  // namespace qirmel
