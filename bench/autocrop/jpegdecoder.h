#ifndef BENCH_AUTOCROP_JPEGDECODER_H
#define BENCH_AUTOCROP_JPEGDECODER_H

#include "core/jpegcodec.h"

#include <opencv2/core.hpp>

#include <vector>

// Decodes JPEG frames and photos with the camera library's codec. A picture returned is valid until the
// next call, which reuses its buffer as the library does.
class JpegDecoder {
public:
    // B G R at full resolution; empty when jpeg cannot be decoded.
    cv::Mat decodeBgr(const std::vector<unsigned char> &jpeg);

private:
    qirmel::JpegCodec m_codec;
    qirmel::Frame m_bgr;
};

#endif
