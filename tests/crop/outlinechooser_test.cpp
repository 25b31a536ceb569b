#include "crop/internal/outlinechooser.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

namespace {

const cv::Size kSize(240, 135);

// The outline around the rectangle's pixels, in pixel-centre coordinates.
Quad rectangle(const cv::Rect &r)
{
    const cv::Point2f topLeft(r.x - 0.5f, r.y - 0.5f);
    const cv::Point2f bottomRight(r.x + r.width - 0.5f, r.y + r.height - 0.5f);
    return Quad({topLeft, cv::Point2f(bottomRight.x, topLeft.y), bottomRight, cv::Point2f(topLeft.x, bottomRight.y)});
}

cv::Mat smoothed(const cv::Mat &image)
{
    cv::Mat out;
    cv::GaussianBlur(image, out, cv::Size(5, 5), 0);
    return out;
}

// A card on a desk with a photo printed on it.
const cv::Rect kCard(40, 20, 150, 95);
const cv::Rect kPhoto(55, 40, 45, 60);

cv::Mat cardOnDesk()
{
    cv::Mat image(kSize, CV_8UC1, cv::Scalar(90));
    cv::rectangle(image, kCard, cv::Scalar(200), cv::FILLED);
    cv::rectangle(image, kPhoto, cv::Scalar(120), cv::FILLED);
    return smoothed(image);
}

}  // namespace

TEST(OutlineChooser, PrefersTheCardToThePhotoPrintedOnIt)
{
    const EdgeSupport support(std::vector<cv::Mat>{cardOnDesk()});
    const std::optional<Quad> chosen =
        OutlineChooser(support).choose({{rectangle(kPhoto), 0.9}, {rectangle(kCard), 0.75}});
    ASSERT_TRUE(chosen);
    EXPECT_LT(chosen->maxCornerDistance(rectangle(kCard)), 1e-3);
}

TEST(OutlineChooser, KeepsThePhotoOverAnOutlineStretchedAcrossTheDesk)
{
    const EdgeSupport support(std::vector<cv::Mat>{cardOnDesk()});
    // The photo's top and bottom carried on to the frame's right border: it encloses the photo but runs
    // over the card and the desk without an edge of its own.
    const Quad stretched = rectangle(cv::Rect(kPhoto.x, kPhoto.y, kSize.width - 2 - kPhoto.x, kPhoto.height));
    const std::optional<Quad> chosen = OutlineChooser(support).choose({{rectangle(kPhoto), 0.9}, {stretched, 0.8}});
    ASSERT_TRUE(chosen);
    EXPECT_LT(chosen->maxCornerDistance(rectangle(kPhoto)), 1e-3);
}

TEST(OutlineChooser, TakesAnOpenBooksPagesRatherThanItsCover)
{
    cv::Mat image(kSize, CV_8UC1, cv::Scalar(150));
    const cv::Rect cover(40, 20, 160, 100);
    const cv::Rect pages(44, 24, 152, 92);
    cv::rectangle(image, cover, cv::Scalar(40), cv::FILLED);
    cv::rectangle(image, pages, cv::Scalar(230), cv::FILLED);
    const EdgeSupport support(std::vector<cv::Mat>{smoothed(image)});
    const std::optional<Quad> chosen =
        OutlineChooser(support).choose({{rectangle(cover), 0.9}, {rectangle(pages), 0.88}});
    ASSERT_TRUE(chosen);
    EXPECT_LT(chosen->maxCornerDistance(rectangle(pages)), 1e-3);
}

TEST(OutlineChooser, TakesAnOpenBooksSpreadFromAPageWhoseSideWasFittedALittleOff)
{
    cv::Mat image(kSize, CV_8UC1, cv::Scalar(100));
    const cv::Rect spread(60, 10, 120, 115);
    cv::rectangle(image, spread, cv::Scalar(230), cv::FILLED);
    cv::rectangle(image, cv::Rect(60, 66, 120, 2), cv::Scalar(120), cv::FILLED);
    const EdgeSupport support(std::vector<cv::Mat>{smoothed(image)});
    // The upper page's outline, its top side fitted to where the page bulges: one end a few pixels
    // above the spread's straight top side.
    const Quad upper = rectangle(cv::Rect(60, 10, 120, 56));
    const Quad page({upper[0] - cv::Point2f(0, 3.5f), upper[1], upper[2], upper[3]});
    const std::optional<Quad> chosen = OutlineChooser(support).choose({{page, 0.82}, {rectangle(spread), 0.8}});
    ASSERT_TRUE(chosen);
    EXPECT_LT(chosen->maxCornerDistance(rectangle(spread)), 1e-3);
}

TEST(OutlineChooser, TakesAPageOnPastWhereAShadowAcrossItBegins)
{
    // A page whose right part, like the desk above and below it, lies in a shadow: shaded, the page is
    // nearer the desk's grey than the lit part's, and only the shadow's edge tells it from a stretch of desk.
    cv::Mat image(kSize, CV_8UC1, cv::Scalar(110));
    const cv::Rect page(40, 20, 150, 95);
    const cv::Rect lit(40, 20, 90, 95);
    const int shadowStart = lit.x + lit.width;
    image(cv::Rect(shadowStart, 0, kSize.width - shadowStart, kSize.height)) = 60;
    image(page) = 120;
    image(lit) = 200;
    const EdgeSupport support(std::vector<cv::Mat>{smoothed(image)});
    const std::vector<ScoredOutline> outlines{{rectangle(lit), 0.9}, {rectangle(page), 0.8}};
    const struct {
        const char *shadowEdge;
        OutlineChooser::SideTest isShadowEdge;
        cv::Rect expected;
    } cases[] = {
        {"none known", {}, lit},
        {"the lit part's right side",
         [&](const Quad &q, int side) { return side == 1 && q.maxCornerDistance(rectangle(lit)) < 1e-3; }, page},
        {"the lit part's left side",
         [&](const Quad &q, int side) { return side == 3 && q.maxCornerDistance(rectangle(lit)) < 1e-3; }, lit},
    };
    for (const auto &c : cases) {
        const std::optional<Quad> chosen = OutlineChooser(support, c.isShadowEdge).choose(outlines);
        ASSERT_TRUE(chosen) << c.shadowEdge;
        EXPECT_LT(chosen->maxCornerDistance(rectangle(c.expected)), 1e-3) << c.shadowEdge;
    }
}

TEST(OutlineChooser, TakesACurledSheetOnPastItsShadedEdge)
{
    // A band along the top of the sheet: its edge curling away from the camera, shaded but paper; or a
    // ruler lying along the sheet, as dark as the desk; or a band too thin to tell, the sheet's edge found
    // twice a few pixels apart. The flat part outlines better each time.
    const cv::Rect flat(40, 25, 160, 95);
    const struct {
        const char *what;
        int bandGrey;
        int bandHeight;
        bool curled;
    } cases[] = {
        {"a curled edge", 165, 10, true},
        {"a ruler beside the sheet", 70, 10, false},
        {"the edge found twice", 165, 5, false},
    };
    for (const auto &c : cases) {
        const cv::Rect band(flat.x, flat.y - c.bandHeight, flat.width, c.bandHeight);
        const cv::Rect sheet(flat.x, band.y, flat.width, flat.height + c.bandHeight);
        const cv::Rect expected = c.curled ? sheet : flat;
        cv::Mat image(kSize, CV_8UC1, cv::Scalar(90));
        image(flat) = 200;
        image(band) = c.bandGrey;
        const EdgeSupport support(std::vector<cv::Mat>{smoothed(image)});
        const std::optional<Quad> chosen =
            OutlineChooser(support).choose({{rectangle(flat), 0.9}, {rectangle(sheet), 0.85}});
        ASSERT_TRUE(chosen) << c.what;
        EXPECT_LT(chosen->maxCornerDistance(rectangle(expected)), 1e-3) << c.what;
    }
}

TEST(OutlineChooser, ChoosesNothingWithoutACredibleOutline)
{
    const EdgeSupport support(std::vector<cv::Mat>{cardOnDesk()});
    EXPECT_FALSE(OutlineChooser(support).choose({}));
    EXPECT_FALSE(OutlineChooser(support).choose({{rectangle(kCard), 0}}));
}
