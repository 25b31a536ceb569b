// The checks and repairs that make a camera's MJPG frame a JPEG image every decoder reads.
#ifndef QIRMEL_MJPEGSANITIZER_H
#define QIRMEL_MJPEGSANITIZER_H

#include "core/frame.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qirmel {

// Writes the JPEG image of one MJPG frame of length bytes into jpeg: the frame without the padding
// some cameras put after its end, with the standard Huffman tables inserted when it has none (most
// UVC cameras leave them out, as MJPG allows, but many decoders need them). False for a frame that
// lacks its start or end marker, whose header segments run past its end, that has no frame header
// or scan, or whose pixel size is not size; jpeg is then unspecified.
bool sanitizeMjpeg(const std::uint8_t *data, std::size_t length, Size size, std::vector<std::uint8_t> &jpeg);

}  // namespace qirmel

#endif  // QIRMEL_MJPEGSANITIZER_H
