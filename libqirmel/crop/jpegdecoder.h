#ifndef QIRMEL_CROP_JPEGDECODER_H
#define QIRMEL_CROP_JPEGDECODER_H

#include <opencv2/core.hpp>

#include <cstddef>
#include <memory>

namespace qirmel {

// A grey image decoded at a reduced size, and the factor from its pixels to the full image's.
struct ReducedImage
{
    cv::Mat grey;
    double scale = 1;
};

// Decodes JPEG frames with TurboJPEG. Reduced decoding lets the DCT do the downscaling (1/2, 1/4, 1/8),
// which costs a fraction of a full decode. Owns one decoder handle, so an instance serves one thread at a
// time; give each thread its own.
class JpegDecoder
{
public:
    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder &) = delete;
    JpegDecoder &operator=(const JpegDecoder &) = delete;

    // Size of the encoded image, or an empty size when the data is no JPEG.
    cv::Size imageSize(const unsigned char *data, std::size_t size);
    // Grey image at the smallest available scale that is still at least minWidth wide (or at full size when
    // the image is narrower). Empty grey on failure.
    ReducedImage decodeReducedGrey(const unsigned char *data, std::size_t size, int minWidth);
    // Full-size BGR image; empty on failure.
    cv::Mat decodeBgr(const unsigned char *data, std::size_t size);

private:
    struct HandleCloser
    {
        void operator()(void *handle) const;
    };
    std::unique_ptr<void, HandleCloser> m_handle;
};

} // namespace qirmel

#endif
