#include "source/v4l2/yuyvtorgb.h"

#include <opencv2/imgproc.hpp>

namespace qirmel {

void convertYuyvToRgb(const std::uint8_t *yuyv, std::size_t bytesPerLine, Size size, Frame &rgb)
{
    rgb.format = FrameFormat::Rgb24;
    rgb.size = size;
    rgb.data.resize(static_cast<std::size_t>(size.area()) * 3);
    const cv::Mat source(size.height, size.width, CV_8UC2, const_cast<std::uint8_t *>(yuyv), bytesPerLine);
    cv::Mat target(size.height, size.width, CV_8UC3, rgb.data.data());
    cv::cvtColor(source, target, cv::COLOR_YUV2RGB_YUYV);
}

}  // namespace qirmel
