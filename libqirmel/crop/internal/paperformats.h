#ifndef QIRMEL_CROP_PAPERFORMATS_H
#define QIRMEL_CROP_PAPERFORMATS_H

namespace qirmel {

// Proportions (long side over short side) of the documents people put under the camera: ISO A and B
// sheets, Letter, Legal, ID cards, business cards, photos, open books, and till receipts of any length.
class PaperFormats {
public:
    // ISO A and B sheets, the commonest: the square root of two.
    static constexpr double kIsoSheet = 1.41421;
    static constexpr double kLetterSheet = 1.29412;

    // The known proportion nearest to ratio (either orientation), or ratio itself when none lies within
    // the relative tolerance.
    static double snap(double ratio, double tolerance);
    // Relative distance, in log terms, from ratio to the nearest known proportion; 0 on a known one and
    // anywhere in the range of receipts, which snap() leaves as they are.
    static double distance(double ratio);
    // Whether a document can be this long for its width: no longer than the longest receipt. Rulers,
    // pens and a keyboard's rows of keys are longer.
    static bool isDocumentLike(double ratio);
    // The ratio taken either way round: 1 or more.
    static double longOverShort(double ratio);
};

}  // namespace qirmel

#endif
