#include "pipeline/frameencoder.h"

#include "crop/documentwarper.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>

namespace qirmel {

namespace {

// The same outline with its corners named as they will sit once the picture is turned clockwise by
// quarterTurns: a quarter turn brings the bottom left corner to the top left. The warp then turns the
// document as it straightens it, with no pass of its own.
Quad turnedOutline(const Quad &outline, int quarterTurns)
{
    std::array<cv::Point2f, 4> corners;
    for (int i = 0; i < 4; ++i)
        corners[static_cast<std::size_t>(i)] = outline[(i + 4 - quarterTurns) % 4];
    return Quad(corners);
}

cv::Mat pixelsOf(const Frame &frame)
{
    return cv::Mat(frame.size.height, frame.size.width, CV_8UC3, const_cast<std::uint8_t *>(frame.data.data()));
}

// The largest of 1, 2, 4 and 8 that divides size's longer side into at least reducedSide pixels.
int reduction(Size size, int reducedSide)
{
    const int longer = std::max(size.width, size.height);
    int factor = 1;
    while (reducedSide > 0 && factor < 8 && longer / (2 * factor) >= reducedSide)
        factor *= 2;
    return factor;
}

}  // namespace

bool FrameEncoder::wellFormed(const Frame &frame)
{
    if (frame.size.area() <= 0)
        return false;
    if (frame.format != FrameFormat::Jpeg)
        return frame.data.size() == static_cast<std::size_t>(frame.size.area()) * 3;
    Size size;
    return m_codec.readSize(frame.data.data(), frame.data.size(), size) && size == frame.size;
}

bool FrameEncoder::intact(const Frame &frame)
{
    return wellFormed(frame) &&
           (frame.format != FrameFormat::Jpeg || m_codec.decodesCleanly(frame.data.data(), frame.data.size()));
}

bool FrameEncoder::encodeWhole(const Frame &frame, int quarterTurns, int quality, std::size_t maxBytes,
                               std::vector<std::uint8_t> &jpeg)
{
    if (!wellFormed(frame))
        return false;
    if (frame.format != FrameFormat::Jpeg)
        return encodeTurned(pixelsOf(frame), frame.format, quarterTurns, quality, maxBytes, jpeg);
    if (quarterTurns == 0 && frame.data.size() <= maxBytes) {
        jpeg.assign(frame.data.begin(), frame.data.end());
        return true;
    }
    if (quarterTurns != 0 && m_codec.turnLossless(frame.data.data(), frame.data.size(), quarterTurns, jpeg) &&
        jpeg.size() <= maxBytes)
        return true;
    return m_codec.decode(frame.data.data(), frame.data.size(), m_decoded) &&
           encodeTurned(pixelsOf(m_decoded), m_decoded.format, quarterTurns, quality, maxBytes, jpeg);
}

cv::Mat FrameEncoder::picture(const Frame &frame, int reducedSide)
{
    if (!wellFormed(frame))
        return cv::Mat();
    const int factor = reduction(frame.size, reducedSide);
    const cv::Size reduced((frame.size.width + factor - 1) / factor, (frame.size.height + factor - 1) / factor);
    if (frame.format != FrameFormat::Jpeg) {
        cv::Mat pixels = pixelsOf(frame);
        if (factor > 1) {
            cv::resize(pixels, m_converted, reduced, 0, 0, cv::INTER_AREA);
            pixels = m_converted;
        }
        if (frame.format == FrameFormat::Bgr24)
            return pixels;
        cv::cvtColor(pixels, m_converted, cv::COLOR_RGB2BGR);
        return m_converted;
    }
    if (!m_codec.decode(frame.data.data(), frame.data.size(), m_decoded,
                        factor == 1 ? Size{} : Size{reduced.width, reduced.height}))
        return cv::Mat();
    return pixelsOf(m_decoded);
}

bool FrameEncoder::encodeDocument(const cv::Mat &picture, const Quad &outline, int quarterTurns, int quality,
                                  Size maxSize, std::size_t maxBytes, std::vector<std::uint8_t> &jpeg)
{
    const cv::Mat document =
        DocumentWarper::warp(picture, turnedOutline(outline, quarterTurns), cv::Size(maxSize.width, maxSize.height));
    return encodeTurned(document, FrameFormat::Bgr24, 0, quality, maxBytes, jpeg);
}

bool FrameEncoder::encodeTurned(const cv::Mat &pixels, FrameFormat format, int quarterTurns, int quality,
                                std::size_t maxBytes, std::vector<std::uint8_t> &jpeg)
{
    static constexpr cv::RotateFlags kRotations[] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                                     cv::ROTATE_90_COUNTERCLOCKWISE};
    if (quarterTurns == 0)
        return m_codec.encode(pixels.data, Size{pixels.cols, pixels.rows}, format, quality, maxBytes, jpeg);
    // A buffer of the call's own: only frames that no source could turn come here, and a buffer kept
    // would hold a whole frame's memory from the first turn on.
    cv::Mat turned;
    cv::rotate(pixels, turned, kRotations[quarterTurns - 1]);
    return m_codec.encode(turned.data, Size{turned.cols, turned.rows}, format, quality, maxBytes, jpeg);
}

}  // namespace qirmel
