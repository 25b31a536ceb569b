#include "pipeline/photopipeline.h"

#include <limits>

namespace qirmel {

bool PhotoPipeline::process(const Frame &frame, const std::optional<Quad> &liveOutline,
                            const PipelineSettings &settings, int quality, std::vector<std::uint8_t> &jpeg)
{
    constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();
    const int turns = turnsLeft(settings.quarterTurns, frame.quarterTurns);
    // A photo is kept: only a frame that decodes in full without a warning makes one, even where its
    // JPEG would pass through untouched.
    const cv::Mat picture = m_encoder.picture(frame);
    if (picture.empty())
        return false;
    if (settings.autoCrop) {
        if (const std::optional<Quad> outline = m_cropper.locate(picture, liveOutline, picture.size()))
            return m_encoder.encodeDocument(picture, *outline, turns, quality, Size{}, kNoLimit, jpeg);
    }
    return m_encoder.encodeWhole(frame, turns, quality, kNoLimit, jpeg);
}

}  // namespace qirmel
