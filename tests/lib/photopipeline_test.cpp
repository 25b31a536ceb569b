#include "pipeline/photopipeline.h"

#include "scenesupport.h"
#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::PhotoPipeline;
using qirmel::PipelineSettings;
using qirmel::Quad;
using qirmel::SceneKind;
using qirmel::Size;
using qirmeltest::kLandscapeA4;
using qirmeltest::kPortraitA4;

namespace {

// Large enough that a cut made from a reduced picture would show.
const Size kPhotoSize{2048, 1536};

class PhotoPipelineTest : public testing::Test {
protected:
    // Rendered once: a page at this size takes a good part of a second to draw.
    static const Frame &page()
    {
        static const Frame frame = qirmeltest::sceneFrame(SceneKind::Page, kPhotoSize, FrameFormat::Bgr24);
        return frame;
    }

    static PipelineSettings settings(bool autoCrop, int quarterTurns = 0)
    {
        PipelineSettings settings;
        settings.autoCrop = autoCrop;
        settings.quarterTurns = quarterTurns;
        return settings;
    }

    std::vector<std::uint8_t> photo(const Frame &frame, const PipelineSettings &settings,
                                    const std::optional<Quad> &liveOutline = std::nullopt)
    {
        std::vector<std::uint8_t> jpeg;
        EXPECT_TRUE(PhotoPipeline().process(frame, liveOutline, settings, 95, jpeg));
        return jpeg;
    }
};

}  // namespace

// Found afresh, or starting from where the live frames showed the page.
TEST_F(PhotoPipelineTest, CutsThePageAtFullResolution)
{
    const Quad truth = qirmeltest::sceneOutline(SceneKind::Page, kPhotoSize);
    for (const std::optional<Quad> &liveOutline : {std::optional<Quad>(), std::optional<Quad>(truth)}) {
        const auto info = qirmeltest::inspectJpeg(photo(page(), settings(true), liveOutline));
        ASSERT_TRUE(info.valid);
        EXPECT_NEAR(double(info.width) / info.height, kPortraitA4, 0.03 * kPortraitA4);
        EXPECT_NEAR(qirmeltest::resolutionShare({info.width, info.height}, truth), 1.0, 0.03);
    }
}

TEST_F(PhotoPipelineTest, TurnedPhotoHasSwappedProportions)
{
    for (int turns : {1, 3}) {
        const auto info = qirmeltest::inspectJpeg(photo(page(), settings(true, turns)));
        EXPECT_NEAR(double(info.width) / info.height, kLandscapeA4, 0.03 * kLandscapeA4) << turns;
    }
    const auto info = qirmeltest::inspectJpeg(photo(page(), settings(true, 2)));
    EXPECT_NEAR(double(info.width) / info.height, kPortraitA4, 0.03 * kPortraitA4);
}

TEST_F(PhotoPipelineTest, WithoutAutoCropTheWholeFrame)
{
    auto info = qirmeltest::inspectJpeg(photo(page(), settings(false)));
    EXPECT_EQ(info.width, kPhotoSize.width);
    EXPECT_EQ(info.height, kPhotoSize.height);
    info = qirmeltest::inspectJpeg(photo(page(), settings(false, 1)));
    EXPECT_EQ(info.width, kPhotoSize.height);
}

TEST_F(PhotoPipelineTest, EmptyDeskGivesTheWholeFrame)
{
    const Frame desk = qirmeltest::sceneFrame(SceneKind::EmptyDesk, {1280, 720}, FrameFormat::Jpeg);
    const auto info = qirmeltest::inspectJpeg(photo(desk, settings(true, 1)));
    EXPECT_EQ(info.width, 720);
    EXPECT_EQ(info.height, 1280);
}

TEST_F(PhotoPipelineTest, FrameTurnedByItsSourceIsTurnedOnlyByWhatIsLeft)
{
    const Frame turned = qirmeltest::turnedFrame(page(), 1);
    EXPECT_NEAR(qirmeltest::aspectOf(photo(turned, settings(true, 1))), kLandscapeA4, 0.03 * kLandscapeA4);
    EXPECT_NEAR(qirmeltest::aspectOf(photo(turned, settings(true, 0))), kPortraitA4, 0.03 * kPortraitA4);
}

TEST_F(PhotoPipelineTest, MalformedFrameFails)
{
    Frame broken = qirmeltest::markedFrame({64, 48});
    broken.data.pop_back();
    std::vector<std::uint8_t> jpeg;
    EXPECT_FALSE(PhotoPipeline().process(broken, std::nullopt, settings(true), 95, jpeg));
    EXPECT_FALSE(PhotoPipeline().process(broken, std::nullopt, settings(false), 95, jpeg));

    Frame damaged;
    damaged.format = FrameFormat::Jpeg;
    damaged.size = Size{64, 48};
    damaged.data = qirmeltest::damageJpeg(qirmeltest::encodeJpeg(qirmeltest::noiseFrame(damaged.size).data, 64, 48, 90),
                                          false);
    EXPECT_FALSE(PhotoPipeline().process(damaged, std::nullopt, settings(false), 95, jpeg)) << "no garbled photo";
}
