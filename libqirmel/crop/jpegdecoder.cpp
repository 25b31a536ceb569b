#include "crop/jpegdecoder.h"

#include <turbojpeg.h>

namespace qirmel {

void JpegDecoder::HandleCloser::operator()(void *handle) const
{
    tjDestroy(handle);
}

JpegDecoder::JpegDecoder()
    : m_handle(tjInitDecompress())
{
}

JpegDecoder::~JpegDecoder() = default;

cv::Size JpegDecoder::imageSize(const unsigned char *data, std::size_t size)
{
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (!m_handle || tjDecompressHeader3(m_handle.get(), data, static_cast<unsigned long>(size), &width, &height,
                                         &subsampling, &colourspace) != 0)
        return cv::Size();
    return cv::Size(width, height);
}

ReducedImage JpegDecoder::decodeReducedGrey(const unsigned char *data, std::size_t size, int minWidth)
{
    const cv::Size full = imageSize(data, size);
    if (full.empty())
        return {};
    int count = 0;
    const tjscalingfactor *factors = tjGetScalingFactors(&count);
    tjscalingfactor chosen{1, 1};
    for (int i = 0; i < count; ++i) {
        const tjscalingfactor f = factors[i];
        // Only the plain fractions: the others need an extra resampling pass inside the decoder.
        if (f.num != 1 || TJSCALED(full.width, f) < minWidth)
            continue;
        if (TJSCALED(full.width, f) < TJSCALED(full.width, chosen))
            chosen = f;
    }
    cv::Mat grey(TJSCALED(full.height, chosen), TJSCALED(full.width, chosen), CV_8UC1);
    if (tjDecompress2(m_handle.get(), data, static_cast<unsigned long>(size), grey.data, grey.cols,
                      static_cast<int>(grey.step), grey.rows, TJPF_GRAY, TJFLAG_FASTDCT) != 0)
        return {};
    return {grey, double(full.width) / grey.cols};
}

cv::Mat JpegDecoder::decodeBgr(const unsigned char *data, std::size_t size)
{
    const cv::Size full = imageSize(data, size);
    if (full.empty())
        return cv::Mat();
    cv::Mat bgr(full, CV_8UC3);
    if (tjDecompress2(m_handle.get(), data, static_cast<unsigned long>(size), bgr.data, bgr.cols,
                      static_cast<int>(bgr.step), bgr.rows, TJPF_BGR, 0) != 0)
        return cv::Mat();
    return bgr;
}

} // namespace qirmel
