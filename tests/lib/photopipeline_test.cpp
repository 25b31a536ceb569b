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

// Rendered once: a page at this size takes a good part of a second to draw.
const Frame &page()
{
    static const Frame frame = qirmeltest::sceneFrame(SceneKind::Page, kPhotoSize, FrameFormat::Bgr24);
    return frame;
}

bool process(const Frame &frame, bool autoCrop, int quarterTurns, std::vector<std::uint8_t> &jpeg,
             const std::optional<Quad> &liveOutline = std::nullopt)
{
    PipelineSettings settings;
    settings.autoCrop = autoCrop;
    settings.quarterTurns = quarterTurns;
    return PhotoPipeline().process(frame, liveOutline, settings, 95, jpeg);
}

}  // namespace

// Found afresh, or starting from where the live frames showed the page.
TEST(PhotoPipeline, CutsThePageAtFullResolution)
{
    const Quad truth = qirmeltest::sceneOutline(SceneKind::Page, kPhotoSize);
    for (const std::optional<Quad> &liveOutline : {std::optional<Quad>(), std::optional<Quad>(truth)}) {
        std::vector<std::uint8_t> jpeg;
        ASSERT_TRUE(process(page(), true, 0, jpeg, liveOutline));
        const auto info = qirmeltest::inspectJpeg(jpeg);
        EXPECT_NEAR(double(info.width) / info.height, kPortraitA4, 0.03 * kPortraitA4);
        EXPECT_NEAR(qirmeltest::resolutionShare({info.width, info.height}, truth), 1.0, 0.03);
    }
}

// The photo is turned by what is asked less what its source has turned already, cut or whole.
TEST(PhotoPipeline, TurnsWhatTheSourceLeftToTurn)
{
    const Frame turned = qirmeltest::turnedFrame(page(), 1);
    const Frame desk = qirmeltest::sceneFrame(SceneKind::EmptyDesk, {1280, 720}, FrameFormat::Jpeg);
    const struct {
        const Frame &frame;
        bool autoCrop;
        int quarterTurns;
        double aspect;
    } rows[] = {
        {page(), true, 1, kLandscapeA4},   {page(), true, 2, kPortraitA4}, {page(), true, 3, kLandscapeA4},
        {turned, true, 1, kLandscapeA4},   {turned, true, 0, kPortraitA4}, {page(), false, 0, 2048 / 1536.0},
        {page(), false, 1, 1536 / 2048.0}, {desk, true, 1, 720 / 1280.0},
    };
    for (const auto &row : rows) {
        std::vector<std::uint8_t> jpeg;
        ASSERT_TRUE(process(row.frame, row.autoCrop, row.quarterTurns, jpeg));
        EXPECT_NEAR(qirmeltest::aspectOf(jpeg), row.aspect, 0.03 * row.aspect)
            << "row " << &row - rows << (row.autoCrop ? ", cut" : ", whole");
    }
}

TEST(PhotoPipeline, MalformedFrameFails)
{
    Frame broken = qirmeltest::markedFrame({64, 48});
    broken.data.pop_back();
    std::vector<std::uint8_t> jpeg;
    EXPECT_FALSE(process(broken, true, 0, jpeg));
    EXPECT_FALSE(process(broken, false, 0, jpeg));
    const auto noise = qirmeltest::encodeJpeg(qirmeltest::noiseFrame({64, 48}).data, 64, 48, 90);
    const Frame damaged{FrameFormat::Jpeg, Size{64, 48}, qirmeltest::damageJpeg(noise, false), 0};
    EXPECT_FALSE(process(damaged, false, 0, jpeg)) << "no garbled photo";
}
