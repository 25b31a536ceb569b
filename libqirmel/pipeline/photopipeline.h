// The road from the newest frame to a photo's JPEG.
#ifndef QIRMEL_PHOTOPIPELINE_H
#define QIRMEL_PHOTOPIPELINE_H

#include "core/frame.h"
#include "pipeline/frameencoder.h"
#include "pipeline/pipelinesettings.h"

#include "crop/photocropper.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace qirmel {

// Makes photos; keeps nothing between them, so a photo may be made on any thread with a pipeline of
// its own while the frame thread runs.
class PhotoPipeline {
public:
    // The JPEG of frame at its full resolution and quality, with no limit on its size: with
    // settings.autoCrop, the document alone, straightened, where one is found in the frame (seeded by
    // liveOutline, where the live frames showed it, in the frame's pixels); else the whole frame.
    // Either is turned to settings.quarterTurns. False when the frame is malformed or its picture data
    // is damaged anywhere (a JPEG whose full decode meets a warning).
    bool process(const Frame &frame, const std::optional<Quad> &liveOutline, const PipelineSettings &settings,
                 int quality, std::vector<std::uint8_t> &jpeg);

private:
    FrameEncoder m_encoder;
    PhotoCropper m_cropper;
};

}  // namespace qirmel

#endif  // QIRMEL_PHOTOPIPELINE_H
