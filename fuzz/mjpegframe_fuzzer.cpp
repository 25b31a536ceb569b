// A camera's MJPG frame on its whole road through the library: the V4L2 source's checks and repairs,
// then the frame pipeline that crops, turns and encodes it for GetFrameBuffer.
//
// Input: one byte of choices, then the frame as the camera sent it. Bits 0-1 of the choices are the
// quarter turns, bit 2 switches auto crop on, bit 3 makes the camera's size one pixel wider than
// the frame's header says. The camera's size is otherwise the header's, so that the fuzzer gets past
// the size check without guessing it.
#include "core/jpegcodec.h"
#include "pipeline/framepipeline.h"
#include "pipeline/pipelinesettings.h"
#include "source/v4l2/mjpegsanitizer.h"

#include <cstdint>
#include <vector>

namespace {

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::JpegCodec;
using qirmel::Size;

// Larger frames only cost the fuzzer time: the code paths are those of any size.
constexpr long long kMaxArea = 320LL * 240;
constexpr int kFrameQuality = 85;

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

Size cameraSize(JpegCodec &codec, const std::uint8_t *data, std::size_t length, bool wider)
{
    Size size{32, 24};
    codec.readSize(data, length, size);
    if (wider)
        ++size.width;
    return size;
}

// What sanitizeMjpeg promises of an accepted frame: a complete image with Huffman tables.
void checkSanitized(const std::vector<std::uint8_t> &jpeg)
{
    check(jpeg.size() >= 4 && jpeg[0] == 0xff && jpeg[1] == 0xd8);
    check(jpeg[jpeg.size() - 2] == 0xff && jpeg[jpeg.size() - 1] == 0xd9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t choices = data[0];
    const std::uint8_t *camera = data + 1;
    const std::size_t cameraLength = size - 1;

    JpegCodec codec;
    const Size frameSize = cameraSize(codec, camera, cameraLength, (choices & 8) != 0);
    if (frameSize.width <= 0 || frameSize.height <= 0 || frameSize.area() > kMaxArea)
        return 0;

    Frame frame;
    if (!qirmel::sanitizeMjpeg(camera, cameraLength, frameSize, frame.data))
        return 0;
    checkSanitized(frame.data);
    frame.format = FrameFormat::Jpeg;
    frame.size = frameSize;

    qirmel::PipelineSettings settings;
    settings.quarterTurns = choices & 3;
    settings.autoCrop = (choices & 4) != 0;
    const std::size_t maxBytes = static_cast<std::size_t>(frameSize.area()) * 3;
    // Twice, as a live stream repeats a still scene: auto crop cuts only a document seen in two
    // frames running.
    qirmel::FramePipeline pipeline;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::uint8_t> jpeg;
        if (!pipeline.process(frame, settings, kFrameQuality, maxBytes, jpeg))
            continue;
        check(jpeg.size() <= maxBytes);
        Size delivered;
        check(codec.readSize(jpeg.data(), jpeg.size(), delivered));
        if (!pipeline.outline())
            check(delivered == qirmel::turnedSize(frameSize, settings.quarterTurns));
    }
    return 0;
}
