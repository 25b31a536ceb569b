// Making JPEG frames with the library's codec and looking into their header segments.
#ifndef V4L2TEST_JPEGSUPPORT_H
#define V4L2TEST_JPEGSUPPORT_H

#include "core/frame.h"

#include <cstdint>
#include <vector>

namespace v4l2test {

using Bytes = std::vector<std::uint8_t>;

// A picture of size with the standard Huffman tables, as a camera codes it.
Bytes encodeJpeg(qirmel::Size size);

// jpeg decoded; a frame without data when it does not decode cleanly.
qirmel::Frame decoded(const Bytes &jpeg);

// Where the header segments with marker start, up to the scan.
std::vector<std::size_t> segmentOffsets(const Bytes &jpeg, std::uint8_t marker);

// The whole segment, marker included, that starts at offset.
std::size_t segmentLength(const Bytes &jpeg, std::size_t offset);

// What its DHT segments hold, one after the other: the tables in the order they are defined.
Bytes huffmanTables(const Bytes &jpeg);

Bytes withoutHuffmanTables(Bytes jpeg);

// The number of a fake camera's frame, from the comment segment it starts with; -1 without one.
long frameNumber(const Bytes &jpeg);

}  // namespace v4l2test

#endif  // V4L2TEST_JPEGSUPPORT_H
