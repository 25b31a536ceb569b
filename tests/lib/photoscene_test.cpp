#include "source/photoscene.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <sys/stat.h>
#include <cstdlib>

using qirmel::PhotoScene;
using qirmel::Size;

namespace {

// A photo with a white left half and a black right half, B G R.
std::string writeHalves(const qirmeltest::TemporaryFolder &folder, const std::string &name, Size size)
{
    cv::Mat pixels(size.height, size.width, CV_8UC3, cv::Scalar::all(0));
    pixels.colRange(0, size.width / 2).setTo(cv::Scalar::all(255));
    const std::vector<std::uint8_t> rgb(pixels.data, pixels.data + pixels.total() * 3);
    const auto jpeg = qirmeltest::encodeJpeg(rgb, size.width, size.height, 95);
    qirmeltest::writeFile(folder.file(name), std::string(jpeg.begin(), jpeg.end()));
    return folder.file(name);
}

int greyAt(const cv::Mat &still, int x, int y)
{
    const cv::Vec3b pixel = still.at<cv::Vec3b>(y, x);
    return (pixel[0] + pixel[1] + pixel[2]) / 3;
}

}  // namespace

TEST(PhotoScene, ListedSizesAreThePhotosAndItsHalves)
{
    using Sizes = std::vector<Size>;
    EXPECT_EQ(PhotoScene::sizesFor({4000, 3000}), (Sizes{{4000, 3000}, {2000, 1500}, {1000, 750}, {500, 375}}));
    EXPECT_EQ(PhotoScene::sizesFor({1280, 720}), (Sizes{{1280, 720}, {640, 360}, {320, 180}}));
    EXPECT_EQ(PhotoScene::sizesFor({1001, 667}), (Sizes{{1001, 667}, {500, 333}}));
    EXPECT_EQ(PhotoScene::sizesFor({300, 200}), (Sizes{{300, 200}}));
    EXPECT_EQ(PhotoScene::sizesFor({9000, 6000}).front(), (Size{4500, 3000}));
    EXPECT_EQ(PhotoScene::sizesFor({20000, 100}).front(), (Size{5000, 25}));
}

TEST(PhotoScene, ReadsTheSizeOfJpegFilesOnly)
{
    qirmeltest::TemporaryFolder folder;
    Size size;
    EXPECT_TRUE(PhotoScene::readSize(writeHalves(folder, "a.jpg", {96, 64}), size));
    EXPECT_EQ(size, (Size{96, 64}));
    qirmeltest::writeFile(folder.file("b.jpg"), "GIF89a");
    EXPECT_FALSE(PhotoScene::readSize(folder.file("b.jpg"), size));
    EXPECT_FALSE(PhotoScene::readSize(folder.file("missing.jpg"), size));
    EXPECT_FALSE(PhotoScene::readSize(folder.path(), size));
}

TEST(PhotoScene, ListsAFoldersJpegFilesInNameOrder)
{
    qirmeltest::TemporaryFolder folder;
    for (const char *name : {"b.JPEG", "a.jpg", "c.Jpg", "notes.txt", "d.png", "jpg"})
        qirmeltest::writeFile(folder.file(name), "x");
    ASSERT_EQ(mkdir(folder.file("e.jpg").c_str(), 0755), 0);
    EXPECT_EQ(PhotoScene::listFolder(folder.path()),
              (std::vector<std::string>{folder.file("a.jpg"), folder.file("b.JPEG"), folder.file("c.Jpg")}));
    EXPECT_TRUE(PhotoScene::listFolder(folder.file("missing")).empty());
}

TEST(PhotoScene, PhotoOfTheFramesShapeFillsIt)
{
    qirmeltest::TemporaryFolder folder;
    const PhotoScene scene({writeHalves(folder, "a.jpg", {640, 480})});
    EXPECT_EQ(scene.stillCount(), 1);
    const cv::Mat still = scene.render(0, {320, 240});
    ASSERT_EQ(still.size(), cv::Size(320, 240));
    EXPECT_GT(greyAt(still, 10, 120), 230);
    EXPECT_LT(greyAt(still, 310, 120), 25);
    EXPECT_GT(greyAt(still, 150, 5), 230);
    EXPECT_LT(greyAt(still, 170, 235), 25);
}

// A tall photo in a wide frame: scaled to the frame's height and centred, its sides drawn out, with
// no hard edge where the photo ends.
TEST(PhotoScene, PhotoOfAnotherShapeFitsInsideWithoutEdges)
{
    qirmeltest::TemporaryFolder folder;
    const PhotoScene scene({writeHalves(folder, "tall.jpg", {300, 600})});
    const cv::Mat still = scene.render(0, {400, 200});
    ASSERT_EQ(still.size(), cv::Size(400, 200));
    // The photo spans x 150 to 250, white left of its middle, black right of it: sharp at x 200.
    EXPECT_GT(greyAt(still, 190, 100), 230);
    EXPECT_LT(greyAt(still, 210, 100), 25);
    // Around it its sides drawn out: white far left, black far right, and at the photo's sides no step.
    EXPECT_GT(greyAt(still, 5, 100), 200);
    EXPECT_LT(greyAt(still, 395, 100), 55);
    EXPECT_LT(std::abs(greyAt(still, 147, 100) - greyAt(still, 153, 100)), 40);
    EXPECT_LT(std::abs(greyAt(still, 247, 100) - greyAt(still, 253, 100)), 40);
}

TEST(PhotoScene, UnreadablePhotoGivesNoStill)
{
    qirmeltest::TemporaryFolder folder;
    qirmeltest::writeFile(folder.file("a.jpg"), "not a JPEG");
    const PhotoScene scene({folder.file("a.jpg"), writeHalves(folder, "b.jpg", {64, 48})});
    EXPECT_EQ(scene.stillCount(), 2);
    EXPECT_TRUE(scene.render(0, {64, 48}).empty());
    EXPECT_FALSE(scene.render(1, {64, 48}).empty());
    EXPECT_TRUE(scene.render(2, {64, 48}).empty());
    EXPECT_FALSE(scene.canRender(0));
    EXPECT_TRUE(scene.canRender(1));
    EXPECT_TRUE(scene.render(1, {64, 48}, [] { return true; }).empty()) << "a render asked to stop";
}
