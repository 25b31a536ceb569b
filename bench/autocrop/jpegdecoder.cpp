#include "jpegdecoder.h"

cv::Mat JpegDecoder::decodeBgr(const std::vector<unsigned char> &jpeg)
{
    if (!m_codec.decode(jpeg.data(), jpeg.size(), m_bgr))
        return cv::Mat();
    return cv::Mat(m_bgr.size.height, m_bgr.size.width, CV_8UC3, m_bgr.data.data());
}
