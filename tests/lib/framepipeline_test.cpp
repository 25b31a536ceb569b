#include "pipeline/framepipeline.h"
#include "pipeline/photopipeline.h"

#include "scenes/scenerenderer.h"

#include "scenesupport.h"
#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FramePipeline;
using qirmel::PipelineSettings;
using qirmel::SceneKind;
using qirmel::Size;
using qirmeltest::kLandscapeA4;
using qirmeltest::kPortraitA4;

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

    // Whole headers, damaged picture data: shown, it would be a garbled picture.
    for (const bool cutOff : {false, true}) {
        Frame damaged = jpegOf(qirmeltest::noiseFrame({64, 48}));
        damaged.data = qirmeltest::damageJpeg(damaged.data, cutOff);
        EXPECT_FALSE(run(damaged, 0).ok) << (cutOff ? "cut off" : "corrupt");
    }
}

TEST(FramePipeline, FrameTurnedByItsSourceIsTurnedOnlyByWhatIsLeft)
{
    const Frame turned = qirmeltest::turnedFrame(qirmeltest::markedFrame({160, 120}), 1);
    FramePipeline pipeline;
    PipelineSettings settings;
    std::vector<std::uint8_t> jpeg;
    int width = 0, height = 0;
    // Whatever the source did, the marked quarter ends where the wanted turn puts it.
    for (int turns = 0; turns < 4; ++turns) {
        settings.quarterTurns = turns;
        ASSERT_TRUE(pipeline.process(turned, settings, 90, SIZE_MAX, jpeg));
        const auto pixels = qirmeltest::decodeJpeg(jpeg, width, height);
        EXPECT_EQ(width, turns % 2 ? 120 : 160) << turns;
        EXPECT_EQ(qirmeltest::redQuarter(pixels, width, height), turns) << turns;
    }
}

namespace {

const Size kSceneSize{1280, 720};

PipelineSettings cropping(int quarterTurns = 0)
{
    PipelineSettings settings;
    settings.autoCrop = true;
    settings.quarterTurns = quarterTurns;
    return settings;
}

// Runs frame through pipeline and returns the JPEG, failing the test when the pipeline fails.
std::vector<std::uint8_t> through(FramePipeline &pipeline, const Frame &frame, const PipelineSettings &settings,
                                  std::size_t maxBytes = SIZE_MAX)
{
    std::vector<std::uint8_t> jpeg;
    EXPECT_TRUE(pipeline.process(frame, settings, 90, maxBytes, jpeg));
    return jpeg;
}

Size sizeOf(const std::vector<std::uint8_t> &jpeg)
{
    const auto info = qirmeltest::inspectJpeg(jpeg);
    return Size{info.width, info.height};
}

}  // namespace

// Every kind of frame a camera delivers is cut the same way.
class PipelineCrop : public testing::TestWithParam<FrameFormat> {
protected:
    Frame frame(SceneKind kind = SceneKind::Page) const { return qirmeltest::sceneFrame(kind, kSceneSize, GetParam()); }
};

TEST_P(PipelineCrop, CutsOutThePageOnceSeenInTwoFrames)
{
    FramePipeline pipeline;
    const Frame page = frame();
    EXPECT_EQ(sizeOf(through(pipeline, page, cropping())), kSceneSize) << "a first sighting is not shown yet";
    EXPECT_FALSE(pipeline.outline());

    const auto jpeg = through(pipeline, page, cropping());
    EXPECT_NEAR(qirmeltest::aspectOf(jpeg), kPortraitA4, 0.03 * kPortraitA4);
    ASSERT_TRUE(pipeline.outline());
    const qirmel::Quad truth = qirmeltest::sceneOutline(SceneKind::Page, kSceneSize);
    EXPECT_LT(pipeline.outline()->maxCornerDistance(truth), 6.0);
    EXPECT_NEAR(qirmeltest::resolutionShare(sizeOf(jpeg), truth), 1.0, 0.03) << "straightened at full resolution";
}

TEST_P(PipelineCrop, TurnedCutIsTheCutTurned)
{
    FramePipeline upright, turned;
    const Frame page = frame();
    through(upright, page, cropping());
    through(turned, page, cropping(1));
    const auto uprightCut = through(upright, page, cropping());
    const auto turnedCut = through(turned, page, cropping(1));
    EXPECT_NEAR(qirmeltest::aspectOf(turnedCut), kLandscapeA4, 0.03 * kLandscapeA4);

    // The upright cut, turned clockwise and brought to the same size, shows the same picture.
    int width = 0, height = 0;
    auto pixels = qirmeltest::decodeJpeg(uprightCut, width, height);
    cv::Mat rotated;
    cv::rotate(cv::Mat(height, width, CV_8UC3, pixels.data()), rotated, cv::ROTATE_90_CLOCKWISE);
    const Size size = sizeOf(turnedCut);
    cv::resize(rotated, rotated, cv::Size(size.width, size.height), 0, 0, cv::INTER_AREA);
    const std::vector<std::uint8_t> rotatedPixels(rotated.data, rotated.data + rotated.total() * 3);
    const auto rotatedJpeg = qirmeltest::encodeJpeg(rotatedPixels, size.width, size.height, 95);
    EXPECT_LT(qirmeltest::jpegDifference(rotatedJpeg, turnedCut), 6.0);
}

INSTANTIATE_TEST_SUITE_P(Frames, PipelineCrop,
                         testing::Values(FrameFormat::Bgr24, FrameFormat::Rgb24, FrameFormat::Jpeg),
                         [](const testing::TestParamInfo<FrameFormat> &info) {
                             return info.param == FrameFormat::Jpeg ? "Jpeg" :
                                    info.param == FrameFormat::Rgb24 ? "Rgb24" : "Bgr24";
                         });

TEST(FramePipelineCrop, SwitchingOffForgetsTheDocument)
{
    FramePipeline pipeline;
    const Frame page = qirmeltest::sceneFrame(SceneKind::Page, kSceneSize, FrameFormat::Bgr24);
    through(pipeline, page, cropping());
    EXPECT_NE(sizeOf(through(pipeline, page, cropping())), kSceneSize);
    EXPECT_EQ(sizeOf(through(pipeline, page, PipelineSettings())), kSceneSize);
    EXPECT_FALSE(pipeline.outline());
    EXPECT_EQ(sizeOf(through(pipeline, page, cropping())), kSceneSize) << "the page must be confirmed again";
    EXPECT_NE(sizeOf(through(pipeline, page, cropping())), kSceneSize);

    pipeline.reset();
    EXPECT_EQ(sizeOf(through(pipeline, page, cropping())), kSceneSize) << "reset forgets the page too";
}

// A turn made by the source moves every corner: what was followed before no longer applies.
TEST(FramePipelineCrop, AFrameTurnedOtherwiseStartsOver)
{
    FramePipeline pipeline;
    const Frame page = qirmeltest::sceneFrame(SceneKind::Page, kSceneSize, FrameFormat::Bgr24);
    const Frame turned = qirmeltest::turnedFrame(page, 1);
    through(pipeline, page, cropping());
    through(pipeline, page, cropping());
    EXPECT_EQ(sizeOf(through(pipeline, turned, cropping(1))), (Size{720, 1280}));
    const auto jpeg = through(pipeline, turned, cropping(1));
    EXPECT_NEAR(qirmeltest::aspectOf(jpeg), kLandscapeA4, 0.03 * kLandscapeA4);
}

TEST(FramePipelineCrop, CutStaysWithinTheBudget)
{
    FramePipeline pipeline;
    const Frame page = qirmeltest::sceneFrame(SceneKind::Page, kSceneSize, FrameFormat::Bgr24);
    through(pipeline, page, cropping());
    const auto unbounded = through(pipeline, page, cropping());
    const std::size_t budget = unbounded.size() / 3;
    const auto bounded = through(pipeline, page, cropping(), budget);
    EXPECT_LE(bounded.size(), budget);
    EXPECT_EQ(sizeOf(bounded), sizeOf(unbounded)) << "smaller by quality, not by size";
}

// A scene may change its picture from one frame to the next (the virtual camera's folder of photos):
// the new picture is never cut along the old page's corners, whether nothing is found in it or
// something elsewhere. A hand over the page is no new picture: the page stays cut meanwhile.
TEST(FramePipelineCrop, ANewPictureIsNotCutWithTheOldCorners)
{
    const Frame page = qirmeltest::sceneFrame(SceneKind::Page, kSceneSize, FrameFormat::Bgr24);
    Frame hand = page;
    cv::rectangle(cv::Mat(kSceneSize.height, kSceneSize.width, CV_8UC3, hand.data.data()),
                  cv::Rect(760, 0, kSceneSize.width - 760, kSceneSize.height), cv::Scalar(120, 150, 210), cv::FILLED);
    const struct {
        const char *name;
        Frame next;
        bool cut;
    } rows[] = {
        {"the page taken away", qirmeltest::sceneFrame(SceneKind::EmptyDesk, kSceneSize, FrameFormat::Bgr24), false},
        {"a card elsewhere", qirmeltest::sceneFrame(SceneKind::IdCard, kSceneSize, FrameFormat::Bgr24), false},
        {"a hand over the page", hand, true},
    };
    for (const auto &row : rows) {
        FramePipeline pipeline;
        through(pipeline, page, cropping());
        ASSERT_NE(sizeOf(through(pipeline, page, cropping())), kSceneSize);
        EXPECT_EQ(sizeOf(through(pipeline, row.next, cropping())) != kSceneSize, row.cut) << row.name;
        EXPECT_EQ(pipeline.outline().has_value(), row.cut) << row.name;
    }
}

// A landscape page filling most of the frame, seen at a slant: straightened to its true proportions,
// it is taller than the frame. Live, it is scaled down to fit whichever way the frame is turned;
// the photo keeps the full resolution.
TEST(FramePipelineCrop, LiveCutFitsTheFrame)
{
    qirmel::SceneLayout layout;
    layout.desk = qirmel::Desk::Wood;
    layout.areaShare = 0.7;
    layout.rotationDegrees = 90;
    layout.tiltXDegrees = 20;
    layout.centreY = 0.545;
    const cv::Mat scene = qirmel::SceneRenderer::render(layout, cv::Size(kSceneSize.width, kSceneSize.height)).bgr;
    Frame page;
    page.format = FrameFormat::Bgr24;
    page.size = kSceneSize;
    page.data.assign(scene.data, scene.data + scene.total() * 3);
    for (const int turns : {0, 1}) {
        FramePipeline pipeline;
        through(pipeline, page, cropping(turns));
        const auto jpeg = through(pipeline, page, cropping(turns));
        const Size cut = sizeOf(jpeg);
        const Size current = qirmel::turnedSize(kSceneSize, turns);
        EXPECT_TRUE(cut.width <= current.width && cut.height <= current.height) << cut.width << "x" << cut.height;
        EXPECT_TRUE(cut.width == current.width || cut.height == current.height) << "scaled down no more than needed";
        const double aspect = turns ? 1 / kLandscapeA4 : kLandscapeA4;
        EXPECT_NEAR(qirmeltest::aspectOf(jpeg), aspect, 0.03 * aspect);
    }
    std::vector<std::uint8_t> photo;
    ASSERT_TRUE(qirmel::PhotoPipeline().process(page, std::nullopt, cropping(), 95, photo));
    EXPECT_GT(sizeOf(photo).height, kSceneSize.height);
}

TEST(FramePipelineCrop, MalformedFrameFails)
{
    FramePipeline pipeline;
    Frame page = qirmeltest::sceneFrame(SceneKind::Page, kSceneSize, FrameFormat::Bgr24);
    page.data.resize(page.data.size() / 2);
    std::vector<std::uint8_t> jpeg;
    EXPECT_FALSE(pipeline.process(page, cropping(), 90, SIZE_MAX, jpeg));
}
