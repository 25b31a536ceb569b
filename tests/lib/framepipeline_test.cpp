#include "pipeline/framepipeline.h"

#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FramePipeline;
using qirmel::PipelineSettings;
using qirmel::Size;

namespace {

Frame jpegOf(const Frame &raw, int quality = 90, bool fullChroma = false)
{
    const Size size = raw.size;
    Frame frame;
    frame.format = FrameFormat::Jpeg;
    frame.size = size;
    frame.data = qirmeltest::encodeJpeg(raw.data, size.width, size.height, quality, fullChroma);
    return frame;
}

Frame jpegFrame(Size size, int quality = 90, bool fullChroma = false)
{
    const Frame raw = qirmeltest::markedFrame(size);
    return jpegOf(raw, quality, fullChroma);
}

// Runs a frame through the pipeline with the given turns and reports the size and the red quarter
// of the result.
struct Result {
    bool ok = false;
    int width = 0;
    int height = 0;
    int red = -1;
    std::size_t bytes = 0;
};

Result run(const Frame &frame, int quarterTurns, std::size_t maxBytes = SIZE_MAX)
{
    FramePipeline pipeline;
    PipelineSettings settings;
    settings.quarterTurns = quarterTurns;
    std::vector<std::uint8_t> jpeg;
    Result result;
    result.ok = pipeline.process(frame, settings, 90, maxBytes, jpeg);
    if (result.ok) {
        const auto pixels = qirmeltest::decodeJpeg(jpeg, result.width, result.height);
        result.red = qirmeltest::redQuarter(pixels, result.width, result.height);
        result.bytes = jpeg.size();
    }
    return result;
}

}  // namespace

TEST(TurnedSize, SwapsForOddTurns)
{
    EXPECT_EQ(qirmel::turnedSize({640, 480}, 0), (Size{640, 480}));
    EXPECT_EQ(qirmel::turnedSize({640, 480}, 1), (Size{480, 640}));
    EXPECT_EQ(qirmel::turnedSize({640, 480}, 2), (Size{640, 480}));
    EXPECT_EQ(qirmel::turnedSize({640, 480}, 3), (Size{480, 640}));
}

// The red top left quarter moves clockwise with each clockwise quarter turn, whatever road the
// frame takes: raw pixels, a JPEG turned losslessly, or a JPEG decoded because its blocks are not
// whole.
class PipelineTurns : public testing::TestWithParam<int> {};

TEST_P(PipelineTurns, RawFrame)
{
    const int turns = GetParam();
    const Result result = run(qirmeltest::markedFrame({160, 120}), turns);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.width, turns % 2 ? 120 : 160);
    EXPECT_EQ(result.height, turns % 2 ? 160 : 120);
    EXPECT_EQ(result.red, turns);
}

TEST_P(PipelineTurns, JpegFrameWithWholeBlocks)
{
    const int turns = GetParam();
    const Result result = run(jpegFrame({160, 128}), turns);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.width, turns % 2 ? 128 : 160);
    EXPECT_EQ(result.red, turns);
}

TEST_P(PipelineTurns, JpegFrameWithPartialBlocks)
{
    const int turns = GetParam();
    const Result result = run(jpegFrame({200, 120}), turns);  // 120 is not a multiple of 16
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.width, turns % 2 ? 120 : 200);
    EXPECT_EQ(result.height, turns % 2 ? 200 : 120);
    EXPECT_EQ(result.red, turns);
}

INSTANTIATE_TEST_SUITE_P(Quarter, PipelineTurns, testing::Values(0, 1, 2, 3));

TEST(FramePipeline, UnturnedJpegPassesThroughUntouched)
{
    const Frame frame = jpegFrame({160, 120});
    FramePipeline pipeline;
    std::vector<std::uint8_t> jpeg;
    ASSERT_TRUE(pipeline.process(frame, PipelineSettings(), 50, SIZE_MAX, jpeg));
    EXPECT_EQ(jpeg, frame.data);
}

TEST(FramePipeline, OversizedJpegIsEncodedAgainWithinTheBudget)
{
    // A 32x32 frame of noise at full quality and full chroma takes more than 32 * 32 * 3 bytes.
    const Frame frame = jpegOf(qirmeltest::noiseFrame({32, 32}), 100, true);
    const std::size_t budget = 32 * 32 * 3;
    ASSERT_GT(frame.data.size(), budget);
    const Result result = run(frame, 0, budget);
    ASSERT_TRUE(result.ok);
    EXPECT_LE(result.bytes, budget);
    EXPECT_EQ(result.width, 32);
}

TEST(FramePipeline, RejectsMalformedFrames)
{
    Frame shortRaw = qirmeltest::markedFrame({64, 48});
    shortRaw.data.pop_back();
    EXPECT_FALSE(run(shortRaw, 0).ok);

    Frame wrongSize = jpegFrame({64, 48});
    wrongSize.size = Size{48, 64};
    EXPECT_FALSE(run(wrongSize, 1).ok);

    Frame garbage;
    garbage.format = FrameFormat::Jpeg;
    garbage.size = Size{64, 48};
    garbage.data.assign(500, 7);
    EXPECT_FALSE(run(garbage, 0).ok);

    EXPECT_FALSE(run(Frame(), 0).ok);
}
