#include "livecropdecoder.h"

#include "crop/documentdetector.h"

ReducedImage LiveCropDecoder::decodeReducedGrey(const std::vector<unsigned char> &jpeg)
{
    qirmel::Size stored;
    qirmel::Size reduced;
    if (!m_codec.readSize(jpeg.data(), jpeg.size(), stored) ||
        !m_codec.decodeGrey(jpeg.data(), jpeg.size(), m_grey, reduced,
                            qirmel::Size{qirmel::DocumentDetector::kWorkingWidth, 0}))
        return {};
    return {cv::Mat(reduced.height, reduced.width, CV_8UC1, m_grey.data()), double(stored.width) / reduced.width};
}

cv::Mat LiveCropDecoder::decodeBgr(const std::vector<unsigned char> &jpeg)
{
    if (!m_codec.decode(jpeg.data(), jpeg.size(), m_bgr))
        return cv::Mat();
    return cv::Mat(m_bgr.size.height, m_bgr.size.width, CV_8UC3, m_bgr.data.data());
}
