// Looking into JPEG frames in the tests: markers, the fake's frame numbers, tables and pixels.
#ifndef V4L2TEST_JPEGSUPPORT_H
#define V4L2TEST_JPEGSUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace v4l2test {

using Bytes = std::vector<std::uint8_t>;

// The markers of the segments in front of the scan, in order, ending with the scan's (0xda); empty
// when the data does not start as a JPEG image.
std::vector<std::uint8_t> headerMarkers(const Bytes &jpeg);

// The N of the fake's "fake frame N" comment; -1 when there is none.
long frameNumber(const Bytes &jpeg);

// The Huffman tables of all DHT segments, each as its class/id byte followed by its counts and
// symbols, sorted.
std::vector<Bytes> huffmanTables(const Bytes &jpeg);

// jpeg without its DHT segments.
Bytes withoutHuffmanTables(const Bytes &jpeg);

// Decodes to packed RGB with TurboJPEG; empty when TurboJPEG cannot decode it.
Bytes decodeRgb(const Bytes &jpeg, int &width, int &height);

// The fake's test picture (variant 0) at width x height, encoded with TurboJPEG, Huffman tables
// and all.
Bytes encodeTestPicture(int width, int height);

// Mean absolute difference of two equally long pixel buffers.
double meanDifference(const Bytes &a, const Bytes &b);

}  // namespace v4l2test

#endif  // V4L2TEST_JPEGSUPPORT_H
