// The end of every frame's road, live or photo: turning and encoding the whole frame or the document
// cut out of it.
#ifndef QIRMEL_FRAMEENCODER_H
#define QIRMEL_FRAMEENCODER_H

#include "core/frame.h"
#include "core/jpegcodec.h"

#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qirmel {

// Holds a codec and scratch buffers; one encoder serves one thread at a time.
class FrameEncoder {
public:
    // Whether frame holds what its format and size promise (for a JPEG frame: its header's size).
    bool wellFormed(const Frame &frame);

    // Whether frame is well formed and, for a JPEG frame, its picture data decodes without a warning
    // (JpegCodec::decodesCleanly, a fraction of a full decode): what a live frame must pass to be
    // shown.
    bool intact(const Frame &frame);

    // The whole frame, turned by quarterTurns further clockwise quarter turns, as a JPEG of at most
    // maxBytes: a JPEG frame passes through untouched or is turned losslessly where it can be,
    // anything else is (decoded,) turned and encoded at quality. False when the frame is malformed or
    // cannot be encoded within maxBytes.
    bool encodeWhole(const Frame &frame, int quarterTurns, int quality, std::size_t maxBytes,
                     std::vector<std::uint8_t> &jpeg);

    // The frame's picture in B G R order, at full resolution or, with reducedSide given, reduced by the
    // largest of 1/2, 1/4 and 1/8 that leaves its longer side at least reducedSide long: a JPEG frame is
    // decoded at that scale, for a fraction of a full decode's cost, others are averaged down. A Bgr24
    // frame's own pixels at full resolution; anything else in a buffer that the next call reuses. Empty
    // when the frame is malformed or, for a JPEG frame, its picture data is damaged anywhere: the decode
    // stops at a warning.
    cv::Mat picture(const Frame &frame, int reducedSide = 0);

    // Cuts the document along outline (in picture's pixels) out of picture, straightened into an
    // upright rectangle of its true proportions at the picture's resolution, turned by quarterTurns
    // clockwise quarter turns, and encodes it as encodeWhole() does. With maxSize given, the document
    // is scaled down, proportions kept, where it would be wider or taller.
    bool encodeDocument(const cv::Mat &picture, const Quad &outline, int quarterTurns, int quality, Size maxSize,
                        std::size_t maxBytes, std::vector<std::uint8_t> &jpeg);

private:
    // pixels: packed rows, as every picture here has.
    bool encodeTurned(const cv::Mat &pixels, FrameFormat format, int quarterTurns, int quality, std::size_t maxBytes,
                      std::vector<std::uint8_t> &jpeg);

    JpegCodec m_codec;
    Frame m_decoded;
    cv::Mat m_converted;
};

}  // namespace qirmel

#endif  // QIRMEL_FRAMEENCODER_H
