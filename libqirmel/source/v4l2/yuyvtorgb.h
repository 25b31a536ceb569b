// Conversion of a camera's uncompressed YUYV frames into the RGB frames the library works on.
#ifndef QIRMEL_YUYVTORGB_H
#define QIRMEL_YUYVTORGB_H

#include "core/frame.h"

#include <cstddef>
#include <cstdint>

namespace qirmel {

// Converts a YUYV 4:2:2 picture of size (BT.601, video range, as UVC cameras send it), whose rows
// are bytesPerLine apart, into an Rgb24 frame.
void convertYuyvToRgb(const std::uint8_t *yuyv, std::size_t bytesPerLine, Size size, Frame &rgb);

}  // namespace qirmel

#endif  // QIRMEL_YUYVTORGB_H
