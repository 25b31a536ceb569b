#ifndef QIRMEL_CROP_OUTLINEEXTENDER_H
#define QIRMEL_CROP_OUTLINEEXTENDER_H

#include "crop/internal/edgesupport.h"
#include "crop/quad.h"

#include <functional>
#include <optional>

namespace qirmel {

// A sheet running out of the frame across a whole side shows three of its sides; the fourth side the
// outlines find is then a line of its print or the frame's own edge. Where the page visibly goes on past
// that side to the frame's border, the sheet is completed beyond the frame with the proportions of A4,
// or of Letter where A4 would still show. Stateless.
class OutlineExtender {
public:
    // The chosen outline carried beyond the frame, if one of its sides is such a stand-in; outline and
    // result in pixels of the support's images. Where wanted is given, only outlines it accepts are
    // judged and taken.
    static std::optional<Quad> beyondFrame(const Quad &outline, const EdgeSupport &support,
                                           const std::function<bool(const Quad &)> &wanted = {});
};

}  // namespace qirmel

#endif
