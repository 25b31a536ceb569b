#include "pipeline/framepipeline.h"

namespace qirmel {

namespace {

// A live cut is shown in a preview of 571 x 441: frames are decoded and cut at the smallest of 1, 1/2,
// 1/4 and 1/8 of their size that leaves the longer side this long, about 1.4 times the preview's
// width (1/2 at 1080p, 1/4 at 3264 x 2448). Photos keep full resolution.
constexpr int kLivePictureSide = 800;

}  // namespace

bool FramePipeline::process(const Frame &frame, const PipelineSettings &settings, int quality, std::size_t maxBytes,
                            std::vector<std::uint8_t> &jpeg)
{
    const int turns = turnsLeft(settings.quarterTurns, frame.quarterTurns);
    m_outline.reset();
    if (!settings.autoCrop) {
        // What was followed before auto crop went off may have moved meanwhile.
        m_cropper.reset();
        return m_encoder.intact(frame) && m_encoder.encodeWhole(frame, turns, quality, maxBytes, jpeg);
    }
    // The decode stops at damaged picture data as the cheap check would.
    const cv::Mat picture = m_encoder.picture(frame, kLivePictureSide);
    if (picture.empty())
        return false;
    m_outline = m_cropper.follow(frame, picture);
    // Straightened to its true proportions, a page seen at a slant can come out wider or taller than
    // the picture; a live frame never exceeds the frame's size, which the caller's buffer and decoder
    // are made for.
    if (m_outline) {
        const Quad cut =
            m_outline->resampled(double(picture.cols) / frame.size.width, double(picture.rows) / frame.size.height);
        return m_encoder.encodeDocument(picture, cut, turns, quality,
                                        turnedSize(Size{picture.cols, picture.rows}, turns), maxBytes, jpeg);
    }
    return m_encoder.encodeWhole(frame, turns, quality, maxBytes, jpeg);
}

void FramePipeline::reset()
{
    m_cropper.reset();
    m_outline.reset();
}

}  // namespace qirmel
