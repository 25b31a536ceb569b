#include "crop/internal/paperformats.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace qirmel {

namespace {

constexpr double kKnownRatios[] = {
    PaperFormats::kIsoSheet,  // and an open book of A-sized pages
    PaperFormats::kLetterSheet,
    1.64706,  // Legal
    1.58519,  // ID-1 card
    1.75,     // US business card
    1.54545,  // European business card
    1.5,      // 4 x 6 photo
    1.33333,  // open 6 x 9 book
};

// Till receipts come in any length; longer ones are not held under a camera whole.
constexpr double kShortestReceipt = 2.0;
constexpr double kLongestReceipt = 5.0;

}  // namespace

double PaperFormats::longOverShort(double ratio)
{
    return ratio >= 1 ? ratio : 1 / ratio;
}

double PaperFormats::snap(double ratio, double tolerance)
{
    const double r = longOverShort(ratio);
    const double *nearest = std::min_element(std::begin(kKnownRatios), std::end(kKnownRatios), [r](double a, double b) {
        return std::abs(std::log(a / r)) < std::abs(std::log(b / r));
    });
    if (std::abs(std::log(*nearest / r)) > tolerance)
        return ratio;
    return ratio >= 1 ? *nearest : 1 / *nearest;
}

double PaperFormats::distance(double ratio)
{
    const double r = longOverShort(ratio);
    if (r >= kShortestReceipt && r <= kLongestReceipt)
        return 0;
    double best = 1e9;
    for (double known : kKnownRatios)
        best = std::min(best, std::abs(std::log(known / r)));
    return best;
}

bool PaperFormats::isDocumentLike(double ratio)
{
    return longOverShort(ratio) <= kLongestReceipt;
}

}  // namespace qirmel
