#include "pipeline/framepipeline.h"

#include <opencv2/core.hpp>

namespace qirmel {

Size turnedSize(Size size, int quarterTurns)
{
    return quarterTurns % 2 == 0 ? size : Size{size.height, size.width};
}

bool FramePipeline::process(const Frame &frame, const PipelineSettings &settings, int quality,
                            std::size_t maxBytes, std::vector<std::uint8_t> &jpeg)
{
    const int turns = ((settings.quarterTurns % 4) + 4) % 4;
    if (frame.format == FrameFormat::Rgb24) {
        if (frame.data.size() != static_cast<std::size_t>(frame.size.area()) * 3 || frame.size.area() <= 0)
            return false;
        return encodeTurned(frame, turns, quality, maxBytes, jpeg);
    }

    Size size;
    if (!m_codec.readSize(frame.data.data(), frame.data.size(), size) || size != frame.size)
        return false;
    if (turns == 0 && frame.data.size() <= maxBytes) {
        jpeg.assign(frame.data.begin(), frame.data.end());
        return true;
    }
    if (turns != 0 && m_codec.turnLossless(frame.data.data(), frame.data.size(), turns, jpeg) &&
        jpeg.size() <= maxBytes)
        return true;
    return m_codec.decode(frame.data.data(), frame.data.size(), m_decoded) &&
           encodeTurned(m_decoded, turns, quality, maxBytes, jpeg);
}

bool FramePipeline::encodeTurned(const Frame &rgb, int quarterTurns, int quality, std::size_t maxBytes,
                                 std::vector<std::uint8_t> &jpeg)
{
    if (quarterTurns == 0)
        return m_codec.encode(rgb.data.data(), rgb.size, quality, maxBytes, jpeg);

    static constexpr cv::RotateFlags kRotations[] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                                     cv::ROTATE_90_COUNTERCLOCKWISE};
    const Size turned = turnedSize(rgb.size, quarterTurns);
    m_turned.resize(rgb.data.size());
    const cv::Mat source(rgb.size.height, rgb.size.width, CV_8UC3, const_cast<std::uint8_t *>(rgb.data.data()));
    cv::Mat target(turned.height, turned.width, CV_8UC3, m_turned.data());
    cv::rotate(source, target, kRotations[quarterTurns - 1]);
    return m_codec.encode(m_turned.data(), turned, quality, maxBytes, jpeg);
}

}  // namespace qirmel
