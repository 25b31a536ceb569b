#include "scenesupport.h"

#include "testsupport.h"

#include "source/syntheticscene.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>

namespace qirmeltest {

qirmel::Frame sceneFrame(qirmel::SceneKind kind, qirmel::Size size, qirmel::FrameFormat format)
{
    cv::Mat pixels = qirmel::SyntheticScene(kind).render(0, size);
    if (format != qirmel::FrameFormat::Bgr24)
        cv::cvtColor(pixels, pixels, cv::COLOR_BGR2RGB);
    qirmel::Frame frame;
    frame.format = format;
    frame.size = size;
    frame.data.assign(pixels.data, pixels.data + pixels.total() * 3);
    if (format == qirmel::FrameFormat::Jpeg)
        frame.data = encodeJpeg(frame.data, size.width, size.height, 90);
    return frame;
}

qirmel::Frame turnedFrame(const qirmel::Frame &frame, int quarterTurns)
{
    static constexpr cv::RotateFlags kRotations[] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                                     cv::ROTATE_90_COUNTERCLOCKWISE};
    const cv::Mat pixels(frame.size.height, frame.size.width, CV_8UC3, const_cast<std::uint8_t *>(frame.data.data()));
    cv::Mat turned;
    cv::rotate(pixels, turned, kRotations[quarterTurns - 1]);
    qirmel::Frame result = frame;
    result.size = qirmel::Size{turned.cols, turned.rows};
    result.data.assign(turned.data, turned.data + turned.total() * 3);
    result.quarterTurns = quarterTurns;
    return result;
}

qirmel::Quad sceneOutline(qirmel::SceneKind kind, qirmel::Size size)
{
    return qirmel::Quad::fromUnordered(qirmel::SyntheticScene(kind).outline(0, size)->points());
}

double resolutionShare(qirmel::Size cut, const qirmel::Quad &outline)
{
    const double across = std::max(outline.sideLength(0), outline.sideLength(2));
    const double down = std::max(outline.sideLength(1), outline.sideLength(3));
    return std::min(cut.width / across, cut.height / down);
}

double aspectOf(const std::vector<std::uint8_t> &jpeg)
{
    const JpegInfo info = inspectJpeg(jpeg);
    return info.valid && info.height > 0 ? double(info.width) / info.height : 0;
}

double jpegDifference(const std::vector<std::uint8_t> &a, const std::vector<std::uint8_t> &b)
{
    int widthA = 0, heightA = 0, widthB = 0, heightB = 0;
    const auto pixelsA = decodeJpeg(a, widthA, heightA);
    const auto pixelsB = decodeJpeg(b, widthB, heightB);
    if (pixelsA.empty() || widthA != widthB || heightA != heightB)
        return 255;
    double sum = 0;
    for (std::size_t i = 0; i < pixelsA.size(); ++i)
        sum += std::abs(int(pixelsA[i]) - int(pixelsB[i]));
    return sum / pixelsA.size();
}

}  // namespace qirmeltest
