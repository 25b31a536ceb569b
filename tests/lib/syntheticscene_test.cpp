#include "source/syntheticscene.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using qirmel::Quad;
using qirmel::SceneKind;
using qirmel::Size;
using qirmel::SyntheticScene;

namespace {

bool inside(const Quad &quad, Size size)
{
    for (const cv::Point2f &corner : quad.corners())
        if (corner.x < 1 || corner.y < 1 || corner.x > size.width - 2 || corner.y > size.height - 2)
            return false;
    return true;
}

cv::Rect boxOf(const Quad &quad)
{
    return cv::boundingRect(quad.points());
}

int greyAt(const cv::Mat &still, cv::Point2f point)
{
    const cv::Vec3b pixel = still.at<cv::Vec3b>(cvRound(point.y), cvRound(point.x));
    return (pixel[0] + pixel[1] + pixel[2]) / 3;
}

}  // namespace

struct DrawnCase {
    SceneKind kind;
    // The most of the frame's height and width the document's outline may span; it spans one of them.
    double heightShare;
    double widthShare;
};

class DrawnScene : public testing::TestWithParam<DrawnCase> {};

// The document lies inside the picture and takes the same share of it in a wide frame as in a
// 4:3 one, at any size.
TEST_P(DrawnScene, DocumentTakesTheSameShareAtEverySizeAndShape)
{
    const DrawnCase c = GetParam();
    const SyntheticScene scene(c.kind);
    for (const Size size : {Size{320, 240}, Size{1280, 960}, Size{1280, 720}, Size{720, 1280}}) {
        const std::optional<Quad> outline = scene.outline(0, size);
        ASSERT_TRUE(outline);
        EXPECT_TRUE(inside(*outline, size)) << size.width << "x" << size.height;
        const cv::Rect box = boxOf(*outline);
        const double reach =
            std::max(box.height / (c.heightShare * size.height), box.width / (c.widthShare * size.width));
        EXPECT_NEAR(reach, 1.0, 0.03) << size.width << "x" << size.height;
    }
}

TEST_P(DrawnScene, StillShowsTheDocumentWhereItsOutlineSays)
{
    const SyntheticScene scene(GetParam().kind);
    const Size size{640, 480};
    const cv::Mat still = scene.render(0, size);
    ASSERT_EQ(still.size(), cv::Size(640, 480));
    ASSERT_EQ(still.type(), CV_8UC3);
    const Quad outline = *scene.outline(0, size);
    // Just inside a corner there is document, just outside desk: they differ.
    cv::Point2f centre(0, 0);
    for (const cv::Point2f &corner : outline.corners())
        centre += corner * 0.25f;
    for (const cv::Point2f &corner : outline.corners()) {
        const cv::Point2f towardsCentre = (centre - corner) / float(cv::norm(centre - corner));
        const int in = greyAt(still, corner + towardsCentre * 6.0f);
        const int out = greyAt(still, corner - towardsCentre * 6.0f);
        EXPECT_GT(std::abs(in - out), 30) << corner;
    }
}

const DrawnCase kDrawnCases[] = {{SceneKind::Page, 0.86, 0.86},
                                 {SceneKind::Book, 0.8, 0.85},
                                 {SceneKind::IdCard, 0.42, 0.42},
                                 {SceneKind::MovingPage, 0.6, 0.6}};

std::string drawnCaseName(const testing::TestParamInfo<DrawnCase> &info)
{
    const char *names[] = {"Page", "Book", "IdCard", "EmptyDesk", "MovingPage"};
    return names[int(info.param.kind)];
}

INSTANTIATE_TEST_SUITE_P(Scenes, DrawnScene, testing::ValuesIn(kDrawnCases), drawnCaseName);

TEST(SyntheticScene, SameSceneAtEverySize)
{
    const SyntheticScene scene(SceneKind::Page);
    const cv::Mat small = scene.render(0, {320, 240});
    cv::Mat large = scene.render(0, {640, 480});
    cv::resize(large, large, small.size(), 0, 0, cv::INTER_AREA);
    cv::Mat difference;
    cv::absdiff(small, large, difference);
    EXPECT_LT(cv::mean(difference)[0], 20.0);
}

TEST(SyntheticScene, RenderAskedToStopGivesNoStill)
{
    for (const SceneKind kind : {SceneKind::Page, SceneKind::EmptyDesk})
        EXPECT_TRUE(SyntheticScene(kind).render(0, {320, 240}, [] { return true; }).empty()) << int(kind);
}

TEST(SyntheticScene, EmptyDeskHasNoDocument)
{
    const SyntheticScene scene(SceneKind::EmptyDesk);
    EXPECT_EQ(scene.stillCount(), 1);
    EXPECT_FALSE(scene.outline(0, {320, 240}));
    EXPECT_EQ(scene.render(0, {320, 240}).size(), cv::Size(320, 240));
}

TEST(SyntheticScene, MovingPageKeepsItsSizeInEveryPlace)
{
    const SyntheticScene scene(SceneKind::MovingPage);
    const Size size{1280, 720};
    ASSERT_GT(scene.stillCount(), 2);
    const Quad first = *scene.outline(0, size);
    for (int i = 1; i < scene.stillCount(); ++i) {
        const Quad place = *scene.outline(i, size);
        EXPECT_TRUE(inside(place, size)) << i;
        EXPECT_NEAR(place.area(), first.area(), 0.05 * first.area()) << i;
        const cv::Point2f shift = boxOf(place).tl() - boxOf(first).tl();
        EXPECT_GT(cv::norm(shift), 20.0) << "place " << i << " is no move";
    }
}
