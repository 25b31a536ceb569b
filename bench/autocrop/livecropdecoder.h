#ifndef BENCH_AUTOCROP_LIVECROPDECODER_H
#define BENCH_AUTOCROP_LIVECROPDECODER_H

#include "core/jpegcodec.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// A grey picture decoded at a reduced size, and the factor from its pixels to the full picture's.
struct ReducedImage {
    cv::Mat grey;
    double scale = 1;
};

// Decodes generated JPEG frames with the camera library's codec, as its live crop decodes a camera's:
// the reduced grey picture that detection judges and the full B G R picture it refines on. A picture
// returned is valid until the next call of the same kind, which reuses its buffer as the library does.
class LiveCropDecoder {
public:
    // Empty grey when jpeg cannot be decoded.
    ReducedImage decodeReducedGrey(const std::vector<unsigned char> &jpeg);
    // Empty when jpeg cannot be decoded.
    cv::Mat decodeBgr(const std::vector<unsigned char> &jpeg);

private:
    qirmel::JpegCodec m_codec;
    std::vector<std::uint8_t> m_grey;
    qirmel::Frame m_bgr;
};

#endif
