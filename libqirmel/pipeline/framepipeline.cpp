#include "pipeline/framepipeline.h"

namespace qirmel {

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
    // The full decode stops at damaged picture data as the cheap check would.
    const cv::Mat picture = m_encoder.picture(frame);
    if (picture.empty())
        return false;
    m_outline = m_cropper.follow(frame, picture);
    // Straightened to its true proportions, a page seen at a slant can come out wider or taller than
    // the frame; a live frame never exceeds the frame's size, which the caller's buffer and decoder are
    // made for.
    if (m_outline)
        return m_encoder.encodeDocument(picture, *m_outline, turns, quality, turnedSize(frame.size, turns), maxBytes,
                                        jpeg);
    return m_encoder.encodeWhole(frame, turns, quality, maxBytes, jpeg);
}

void FramePipeline::reset()
{
    m_cropper.reset();
    m_outline.reset();
}

}  // namespace qirmel
