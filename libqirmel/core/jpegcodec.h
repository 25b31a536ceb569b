// JPEG decoding, encoding and lossless turning over libjpeg-turbo's TurboJPEG API.
#ifndef QIRMEL_JPEGCODEC_H
#define QIRMEL_JPEGCODEC_H

#include "core/frame.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qirmel {

// Owns one TurboJPEG handle of each kind. A codec is used by one thread at a time; give every
// thread its own.
class JpegCodec {
public:
    // Throws std::runtime_error when TurboJPEG cannot set up its handles.
    JpegCodec();

    // Reads the size of the JPEG image in data; false when data is not a JPEG that can be read.
    bool readSize(const std::uint8_t *data, std::size_t length, Size &size);

    // Decodes a JPEG image into bgr (a Bgr24 frame); false when it cannot be decoded or its picture
    // data is damaged (the decoder stops at the first warning, such as "Corrupt JPEG data"). With
    // atLeast given (a side of 0 asks nothing of that side), the decoder shrinks the image by the
    // largest factor of 1/2, 1/4 or 1/8 that leaves it at least that large, which costs a fraction of
    // a full decode.
    bool decode(const std::uint8_t *data, std::size_t length, Frame &bgr, Size atLeast = Size{});

    // Whether all of a JPEG image's picture data decodes without a warning, judged by a grey decode
    // at 1/8 scale that stops at the first: the entropy decoding, where damage shows, is done in
    // full, the rest costs an eighth of the pixels.
    bool decodesCleanly(const std::uint8_t *data, std::size_t length);

    // Decodes a JPEG image into grey, one byte per pixel in packed rows, at the size it stores in
    // size: shrunk as decode() shrinks it, and with the faster, less exact DCT, as a picture to find
    // edges in rather than to show. False when it cannot be decoded.
    bool decodeGrey(const std::uint8_t *data, std::size_t length, std::vector<std::uint8_t> &grey, Size &size,
                    Size atLeast = Size{});

    // Encodes packed pixels (format Rgb24 or Bgr24) of the given size at quality (1 to 100, 4:2:0
    // chroma) into jpeg. When the result would exceed maxBytes it encodes again at lower qualities
    // rather than cut the image; false when even the lowest quality does not fit or encoding fails.
    bool encode(const std::uint8_t *pixels, Size size, FrameFormat format, int quality, std::size_t maxBytes,
                std::vector<std::uint8_t> &jpeg);

    // Turns a JPEG image by quarterTurns times 90 degrees clockwise without decoding it. False when
    // that cannot be done losslessly (the image's sides are not whole numbers of JPEG blocks) or
    // the data is not a readable JPEG.
    bool turnLossless(const std::uint8_t *data, std::size_t length, int quarterTurns, std::vector<std::uint8_t> &jpeg);

private:
    struct HandleDeleter {
        void operator()(void *handle) const;
    };
    using Handle = std::unique_ptr<void, HandleDeleter>;

    Handle m_compressor;
    Handle m_decompressor;
    Handle m_transformer;
    std::vector<std::uint8_t> m_encoded;  // worst-case sized scratch that encode() writes into
    std::vector<std::uint8_t> m_checked;  // scratch that decodesCleanly() decodes into
};

}  // namespace qirmel

#endif  // QIRMEL_JPEGCODEC_H
