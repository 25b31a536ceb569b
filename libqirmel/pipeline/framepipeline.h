// The road from a camera's frame to the JPEG that GetFrameBuffer delivers: the document cut out when
// auto crop is on and one is in view, then the turn, then the encoding.
#ifndef QIRMEL_FRAMEPIPELINE_H
#define QIRMEL_FRAMEPIPELINE_H

#include "core/frame.h"
#include "pipeline/frameencoder.h"
#include "pipeline/livecropper.h"
#include "pipeline/pipelinesettings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qirmel {

// Keeps what live frames need from one to the next; one pipeline serves the frame thread.
class FramePipeline {
public:
    // Makes the JPEG of one live frame, no larger than maxBytes: with settings.autoCrop, the document
    // alone, straightened (from a large frame at a reduced scale, and scaled down where it would be
    // wider or taller than that), once it has been seen in two frames running; else, and while no
    // document is in view, the whole frame.
    // Either is then turned to settings.quarterTurns (counting the turns the frame already has). False
    // when the frame is malformed, when its picture data is damaged (a JPEG that does not decode
    // cleanly: shown, it would be a garbled picture), or when it cannot be encoded within maxBytes.
    bool process(const Frame &frame, const PipelineSettings &settings, int quality, std::size_t maxBytes,
                 std::vector<std::uint8_t> &jpeg);

    // The outline the last frame was cut along, in that frame's pixels; none when it went out whole.
    const std::optional<Quad> &outline() const { return m_outline; }

    // Forgets the document followed so far.
    void reset();

private:
    FrameEncoder m_encoder;
    LiveCropper m_cropper;
    std::optional<Quad> m_outline;
};

}  // namespace qirmel

#endif  // QIRMEL_FRAMEPIPELINE_H
