#include "crop/photocropper.h"
#include "scenes/scenerenderer.h"

#include <gtest/gtest.h>

using namespace qirmel;

namespace {

SceneLayout bookOnDesk()
{
    SceneLayout layout;
    layout.desk = Desk::PlainLight;
    layout.document = Document::A4;
    layout.areaShare = 0.35;
    layout.rotationDegrees = -8;
    layout.tiltXDegrees = 5;
    layout.noise = 2;
    layout.seed = 11;
    return layout;
}

}  // namespace

TEST(PhotoCropper, CutsTheDocumentFromTheFullResolutionPhoto)
{
    const cv::Size live(1280, 720);
    const cv::Size full(3840, 2160);
    const Scene photo = SceneRenderer::render(bookOnDesk(), full);
    const std::optional<Quad> liveOutline = SceneRenderer::outline(bookOnDesk(), live);
    const PhotoCropper cropper;
    const std::optional<Quad> found = cropper.locate(photo.bgr, Quad::fromUnordered(liveOutline->points()), live);
    ASSERT_TRUE(found);
    EXPECT_LT(found->maxCornerDistance(*photo.truth), 4.0);

    const cv::Mat cut = cropper.crop(photo.bgr, Quad::fromUnordered(liveOutline->points()), live);
    // At the photo's resolution the page's long side spans well over the live frame's height.
    const double longSide = std::max(photo.truth->sideLength(0), photo.truth->sideLength(1));
    EXPECT_NEAR(std::max(cut.cols, cut.rows), longSide, 0.03 * longSide);
    EXPECT_NEAR(double(std::max(cut.cols, cut.rows)) / std::min(cut.cols, cut.rows), std::sqrt(2.0), 0.01);
}

TEST(PhotoCropper, KeepsTheWholePhotoWhenThereIsNoDocument)
{
    SceneLayout empty = bookOnDesk();
    empty.document = Document::None;
    const Scene photo = SceneRenderer::render(empty, cv::Size(2592, 1944));
    const cv::Mat cut = PhotoCropper().crop(photo.bgr, std::nullopt, cv::Size());
    EXPECT_EQ(cut.size(), photo.bgr.size());
    EXPECT_EQ(cv::norm(cut, photo.bgr, cv::NORM_INF), 0);
}
