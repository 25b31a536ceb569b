// The road from a camera's frame to the JPEG that the caller gets: turning now, the document crop
// later.
#ifndef QIRMEL_FRAMEPIPELINE_H
#define QIRMEL_FRAMEPIPELINE_H

#include "pipeline/jpegcodec.h"
#include "source/frame.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qirmel {

struct PipelineSettings {
    int quarterTurns = 0;   // clockwise quarter turns, 0 to 3
    bool autoCrop = false;  // kept for the document crop stage, which no pipeline has yet
};

// The size of a frame of size after it is turned by quarterTurns clockwise quarter turns.
Size turnedSize(Size size, int quarterTurns);

// Holds the scratch buffers of one frame's road; one pipeline serves one thread at a time.
class FramePipeline {
public:
    // Makes the JPEG of one camera frame, turned as settings say, no larger than maxBytes: a JPEG
    // frame passes through untouched or is turned losslessly where it can be, anything else is
    // (decoded,) turned and encoded at quality. False when the frame is malformed or cannot be
    // encoded within maxBytes.
    bool process(const Frame &frame, const PipelineSettings &settings, int quality, std::size_t maxBytes,
                 std::vector<std::uint8_t> &jpeg);

private:
    bool encodeTurned(const Frame &rgb, int quarterTurns, int quality, std::size_t maxBytes,
                      std::vector<std::uint8_t> &jpeg);

    JpegCodec m_codec;
    Frame m_decoded;
    std::vector<std::uint8_t> m_turned;
};

}  // namespace qirmel

#endif  // QIRMEL_FRAMEPIPELINE_H
