#ifndef QIRMEL_SCENES_DOCUMENTPAINTER_H
#define QIRMEL_SCENES_DOCUMENTPAINTER_H

#include "scenes/scenelayout.h"

#include <opencv2/core.hpp>

namespace qirmel {

// A document as it looks flat and face on: its colour image and its coverage (255 inside, 0 outside,
// which differs from a full rectangle only at an ID card's rounded corners). The image may show more
// than the document a user wants cropped: an open book's cover shows as a rim around its pages, and the
// document is the pages, rim pixels in from each edge of the image.
struct DocumentImage {
    cv::Mat bgr;
    cv::Mat coverage;
    int rim = 0;
};

// Paints documents with plausible print: pages of text with headings and pictures on white or coloured
// paper, a receipt, an ID card, an open book inside its cover.
class DocumentPainter {
public:
    // Width over height of the document as painted (pages and receipts upright, cards and books across).
    static double aspect(Document document, double receiptLength);
    // size: that of the document itself, without any rim.
    static DocumentImage paint(Document document, const cv::Size &size, cv::RNG &rng);
};

}  // namespace qirmel

#endif
