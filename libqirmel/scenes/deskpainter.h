#ifndef QIRMEL_SCENES_DESKPAINTER_H
#define QIRMEL_SCENES_DESKPAINTER_H

#include "scenes/scenelayout.h"

#include <opencv2/core.hpp>

#include <functional>

namespace qirmel {

// Paints the desk a document lies on: wood grain, a plain light top, a near-white top that barely
// differs from paper, or a top strewn with pens, cables, a mug and notes.
class DeskPainter {
public:
    // stopAsked, when given, is asked now and then during the painting; once it says true the painting
    // is given up and the desk comes out empty.
    static cv::Mat paint(Desk desk, const cv::Size &size, cv::RNG &rng,
                         const std::function<bool()> &stopAsked = nullptr);
    // Smooth random field of about cells blobs across, values roughly in [-1, 1], 32-bit float.
    static cv::Mat smoothNoise(const cv::Size &size, int cells, cv::RNG &rng);
};

}  // namespace qirmel

#endif
