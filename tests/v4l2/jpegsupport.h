// Making JPEG frames and looking into them: markers, the fake's frame numbers, Huffman tables.
#ifndef V4L2TEST_JPEGSUPPORT_H
#define V4L2TEST_JPEGSUPPORT_H

#include "core/frame.h"

#include <cstdint>
#include <vector>

namespace v4l2test {

using Bytes = std::vector<std::uint8_t>;

// A picture of width x height, coded by TurboJPEG with the standard Huffman tables.
Bytes encodeJpeg(int width, int height);

// The size of the picture TurboJPEG decodes from jpeg; 0x0 when it cannot decode it.
qirmel::Size decodedSize(const Bytes &jpeg);

// The N of the fake's comment "fake frame N"; -1 when there is none.
long frameNumber(const Bytes &jpeg);

// The Huffman tables of all DHT segments, each as its class/id byte, counts and symbols, sorted.
std::vector<Bytes> huffmanTables(const Bytes &jpeg);

// jpeg without its DHT segments.
Bytes withoutHuffmanTables(const Bytes &jpeg);

}  // namespace v4l2test

#endif  // V4L2TEST_JPEGSUPPORT_H
