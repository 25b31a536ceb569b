#include "pipeline/framepipeline.h"
#include "pipeline/photopipeline.h"

#include "scenes/scenerenderer.h"

#include "scenesupport.h"
#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <tuple>
#include <utility>

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FramePipeline;
using qirmel::PipelineSettings;
using qirmel::SceneKind;
using qirmel::Size;
using qirmeltest::kLandscapeA4;
using qirmeltest::kPortraitA4;

namespace {

const Size kSceneSize{1280, 720};

Frame jpegOf(const Frame &raw, int quality = 90, bool fullChroma = false)
{
    return Frame{FrameFormat::Jpeg, raw.size,
                 qirmeltest::encodeJpeg(raw.data, raw.size.width, raw.size.height, quality, fullChroma), 0};
}

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

// The red top left quarter moves clockwise with each clockwise quarter turn, whatever road the frame
// takes: raw pixels, a JPEG turned losslessly, a JPEG decoded because its blocks are not whole (120 is
// no multiple of 16), or a frame that its source has turned already, which is turned only by what is left.
class PipelineTurns : public testing::TestWithParam<int> {};

TEST_P(PipelineTurns, MoveTheMarkedQuarterClockwise)
{
    PipelineSettings settings;
    settings.quarterTurns = GetParam();
    const Frame marked = qirmeltest::markedFrame({160, 120});
    const std::pair<Frame, Size> rows[] = {{marked, {160, 120}},
                                           {jpegOf(qirmeltest::markedFrame({160, 128})), {160, 128}},
                                           {jpegOf(qirmeltest::markedFrame({200, 120})), {200, 120}},
                                           {qirmeltest::turnedFrame(marked, 1), {160, 120}}};
    for (const auto &[frame, upright] : rows) {
        FramePipeline pipeline;
        int width = 0, height = 0;
        const auto pixels = qirmeltest::decodeJpeg(through(pipeline, frame, settings), width, height);
        const Size expected = settings.quarterTurns % 2 ? Size{upright.height, upright.width} : upright;
        EXPECT_EQ(std::make_tuple(width, height, qirmeltest::redQuarter(pixels, width, height)),
                  std::make_tuple(expected.width, expected.height, settings.quarterTurns))
            << frame.size.width << "x" << frame.size.height;
    }
}

INSTANTIATE_TEST_SUITE_P(Quarter, PipelineTurns, testing::Values(0, 1, 2, 3));

// An upright JPEG goes out as it came, unless it is larger than the caller's buffer allows: then it
// is encoded again within it.
TEST(FramePipeline, UprightJpegPassesThroughUntouchedWithinTheBudget)
{
    // A 32x32 frame of noise at full quality and full chroma takes more than 32 * 32 * 3 bytes.
    const Frame frame = jpegOf(qirmeltest::noiseFrame({32, 32}), 100, true);
    const std::size_t budget = 32 * 32 * 3;
    ASSERT_GT(frame.data.size(), budget);
    FramePipeline pipeline;
    EXPECT_EQ(through(pipeline, frame, PipelineSettings()), frame.data);
    const auto bounded = through(pipeline, frame, PipelineSettings(), budget);
    EXPECT_LE(bounded.size(), budget);
    EXPECT_EQ(sizeOf(bounded), (Size{32, 32}));
}

// With auto crop or without; whole headers over damaged picture data, shown, would be a garbled picture.
TEST(FramePipeline, RejectsMalformedFrames)
{
    Frame shortRaw = qirmeltest::markedFrame({64, 48});
    shortRaw.data.pop_back();
    Frame wrongSize = jpegOf(qirmeltest::markedFrame({64, 48}));
    wrongSize.size = Size{48, 64};
    const Frame noise = jpegOf(qirmeltest::noiseFrame({64, 48}));
    const std::pair<const char *, Frame> rows[] = {
        {"short", shortRaw},
        {"another size", wrongSize},
        {"garbage", {FrameFormat::Jpeg, {64, 48}, std::vector<std::uint8_t>(500, 7), 0}},
        {"empty", Frame()},
        {"corrupt", {FrameFormat::Jpeg, {64, 48}, qirmeltest::damageJpeg(noise.data, false), 0}},
        {"cut off", {FrameFormat::Jpeg, {64, 48}, qirmeltest::damageJpeg(noise.data, true), 0}},
    };
    for (const auto &[name, frame] : rows)
        for (const PipelineSettings &settings : {PipelineSettings(), cropping(1)}) {
            std::vector<std::uint8_t> jpeg;
            EXPECT_FALSE(FramePipeline().process(frame, settings, 90, SIZE_MAX, jpeg)) << name;
        }
}

// Every kind of frame a camera delivers is cut the same way: the page once seen in two frames, at
// full resolution; turned, the upright cut turned; within a budget, smaller by quality, not by size.
class PipelineCrop : public testing::TestWithParam<FrameFormat> {};

TEST_P(PipelineCrop, CutsOutThePageOnceSeenInTwoFrames)
{
    const Frame page = qirmeltest::sceneFrame(SceneKind::Page, kSceneSize, GetParam());
    FramePipeline upright, turned;
    EXPECT_EQ(sizeOf(through(upright, page, cropping())), kSceneSize) << "a first sighting is not shown yet";
    EXPECT_FALSE(upright.outline());
    through(turned, page, cropping(1));
    const auto uprightCut = through(upright, page, cropping());
    const auto turnedCut = through(turned, page, cropping(1));
    EXPECT_NEAR(qirmeltest::aspectOf(uprightCut), kPortraitA4, 0.03 * kPortraitA4);
    EXPECT_NEAR(qirmeltest::aspectOf(turnedCut), kLandscapeA4, 0.03 * kLandscapeA4);
    ASSERT_TRUE(upright.outline());
    const qirmel::Quad truth = qirmeltest::sceneOutline(SceneKind::Page, kSceneSize);
    EXPECT_LT(upright.outline()->maxCornerDistance(truth), 6.0);
    EXPECT_NEAR(qirmeltest::resolutionShare(sizeOf(uprightCut), truth), 1.0, 0.03);

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

    const std::size_t budget = uprightCut.size() / 3;
    const auto bounded = through(upright, page, cropping(), budget);
    EXPECT_LE(bounded.size(), budget);
    EXPECT_EQ(sizeOf(bounded), sizeOf(uprightCut));
}

INSTANTIATE_TEST_SUITE_P(Frames, PipelineCrop,
                         testing::Values(FrameFormat::Bgr24, FrameFormat::Rgb24, FrameFormat::Jpeg),
                         [](const testing::TestParamInfo<FrameFormat> &info) {
                             return info.param == FrameFormat::Jpeg    ? "Jpeg"
                                    : info.param == FrameFormat::Rgb24 ? "Rgb24"
                                                                       : "Bgr24";
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

// A scene may change its picture from one frame to the next (the virtual camera's folder of photos):
// the new picture is never cut along the old page's corners, whether nothing is found in it or
// something elsewhere, nor is the page once its source turns it, which moves every corner. A hand
// over the page is no new picture: the page stays cut meanwhile.
TEST(FramePipelineCrop, ANewPictureIsNotCutWithTheOldCorners)
{
    const Frame page = qirmeltest::sceneFrame(SceneKind::Page, kSceneSize, FrameFormat::Bgr24);
    Frame hand = page;
    cv::rectangle(cv::Mat(kSceneSize.height, kSceneSize.width, CV_8UC3, hand.data.data()),
                  cv::Rect(760, 0, kSceneSize.width - 760, kSceneSize.height), cv::Scalar(120, 150, 210), cv::FILLED);
    const struct {
        const char *name;
        Frame next;
        int turns;
        bool cut;
    } rows[] = {
        {"the page taken away", qirmeltest::sceneFrame(SceneKind::EmptyDesk, kSceneSize, FrameFormat::Bgr24), 0, false},
        {"a card elsewhere", qirmeltest::sceneFrame(SceneKind::IdCard, kSceneSize, FrameFormat::Bgr24), 0, false},
        {"the page turned by its source", qirmeltest::turnedFrame(page, 1), 1, false},
        {"a hand over the page", hand, 0, true},
    };
    for (const auto &row : rows) {
        FramePipeline pipeline;
        through(pipeline, page, cropping());
        ASSERT_NE(sizeOf(through(pipeline, page, cropping())), kSceneSize);
        const Size whole = row.turns ? Size{kSceneSize.height, kSceneSize.width} : kSceneSize;
        EXPECT_EQ(sizeOf(through(pipeline, row.next, cropping(row.turns))) != whole, row.cut) << row.name;
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
    const Frame page{FrameFormat::Bgr24, kSceneSize,
                     std::vector<std::uint8_t>(scene.data, scene.data + scene.total() * 3), 0};
    for (const int turns : {0, 1, 3}) {
        FramePipeline pipeline;
        through(pipeline, page, cropping(turns));
        const auto jpeg = through(pipeline, page, cropping(turns));
        const Size cut = sizeOf(jpeg);
        const Size frame = turns ? Size{kSceneSize.height, kSceneSize.width} : kSceneSize;
        EXPECT_TRUE(cut.width <= frame.width && cut.height <= frame.height)
            << turns << " turns: " << cut.width << "x" << cut.height;
        EXPECT_TRUE(cut.width == frame.width || cut.height == frame.height) << "scaled down no more than needed";
        const double aspect = turns ? 1 / kLandscapeA4 : kLandscapeA4;
        EXPECT_NEAR(qirmeltest::aspectOf(jpeg), aspect, 0.03 * aspect);
    }
    std::vector<std::uint8_t> photo;
    ASSERT_TRUE(qirmel::PhotoPipeline().process(page, std::nullopt, cropping(), 95, photo));
    EXPECT_GT(sizeOf(photo).height, kSceneSize.height);
}

// A large frame's live cut is made from a picture at half the frame's scale, enough for the preview,
// while the outline stays in the frame's pixels for the photo, which is cut at full resolution.
TEST(FramePipelineCrop, LargeFramesAreCutLiveAtAReducedScale)
{
    const Size large{2592, 1944};
    const qirmel::Quad truth = qirmeltest::sceneOutline(SceneKind::Page, large);
    for (const FrameFormat format : {FrameFormat::Jpeg, FrameFormat::Bgr24}) {
        const Frame raw = qirmeltest::sceneFrame(SceneKind::Page, large, FrameFormat::Bgr24);
        const Frame page = format == FrameFormat::Jpeg ? jpegOf(raw) : raw;
        FramePipeline pipeline;
        through(pipeline, page, cropping());
        const auto cut = through(pipeline, page, cropping());
        ASSERT_TRUE(pipeline.outline()) << int(format);
        EXPECT_LT(pipeline.outline()->maxCornerDistance(truth), 8.0) << int(format);
        EXPECT_NEAR(qirmeltest::resolutionShare(sizeOf(cut), truth), 0.5, 0.03) << int(format);
        EXPECT_NEAR(qirmeltest::aspectOf(cut), kPortraitA4, 0.03 * kPortraitA4) << int(format);

        std::vector<std::uint8_t> photo;
        ASSERT_TRUE(qirmel::PhotoPipeline().process(page, pipeline.outline(), cropping(), 95, photo));
        EXPECT_NEAR(qirmeltest::resolutionShare(sizeOf(photo), truth), 1.0, 0.03) << int(format);
    }
}
