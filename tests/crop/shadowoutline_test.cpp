#include "crop/internal/shadowoutline.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <algorithm>

using namespace qirmel;

namespace {

const cv::Size kSize(800, 600);
const cv::Rect kPage(100, 100, 600, 400);
// A shadow falls on everything right of this column, its edge softened across a band this wide.
constexpr int kShadowEdge = 400;
constexpr int kPenumbra = 24;

Quad rectangle(const cv::Rect &r)
{
    return Quad({cv::Point2f(float(r.x), float(r.y)), cv::Point2f(float(r.x + r.width), float(r.y)),
                 cv::Point2f(float(r.x + r.width), float(r.y + r.height)),
                 cv::Point2f(float(r.x), float(r.y + r.height))});
}

// A page on a desk, printed with lines of dashes from its left margin to printedTo, with the shadow over
// its right part and the desk beyond.
cv::Mat shadedPage(int printedTo)
{
    cv::Mat picture(kSize, CV_8UC1, cv::Scalar(120));
    picture(kPage) = 200;
    for (int y = kPage.y + 20; y < kPage.y + kPage.height - 20; y += 12)
        for (int x = kPage.x + 30; x + 6 < printedTo; x += 10)
            cv::rectangle(picture, cv::Rect(x, y, 6, 2), cv::Scalar(60), cv::FILLED);
    for (int x = 0; x < kSize.width; ++x) {
        const double shade = std::clamp(double(x - (kShadowEdge - kPenumbra / 2)) / kPenumbra, 0.0, 1.0);
        picture.col(x) *= 1 - 0.4 * shade;
    }
    return picture;
}

}  // namespace

TEST(ShadowOutline, TellsWhereAShadowAcrossAPageBeginsFromThePagesEdge)
{
    const cv::Rect lit(kPage.x, kPage.y, kShadowEdge - kPage.x, kPage.height);
    const int printedThrough = kPage.x + kPage.width - 30;
    const struct {
        const char *what;
        cv::Mat picture;
        cv::Rect outline;
        int side;
        bool shadowEdge;
    } cases[] = {
        {"the shadow's edge, print on both sides", shadedPage(printedThrough), lit, 1, true},
        {"the shadow's edge, no print in the shade", shadedPage(kShadowEdge - 5), lit, 1, false},
        {"the page's edge in the light", shadedPage(printedThrough), lit, 3, false},
        {"the page's edge in the shade", shadedPage(printedThrough), kPage, 1, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ShadowOutline::isShadowEdge(c.picture, rectangle(c.outline), c.side), c.shadowEdge) << c.what;
}

// The camera arm's shadow on a grained desk is outlined by its soft edge and by lines of the grain
// within it, across which the desk goes on alike; a sheet's edge, even in the shade, steps.
TEST(ShadowOutline, TellsAShadowClosedByTheDesksGrainFromASheet)
{
    cv::Mat desk(kSize, CV_8UC1);
    for (int y = 0; y < kSize.height; ++y)
        desk.row(y) = 150 + 8 * ((y / 3) % 2);
    cv::Mat sheetInShade = desk.clone();
    sheetInShade(cv::Rect(450, 150, 250, 300)) = 220;
    for (cv::Mat *picture : {&desk, &sheetInShade})
        for (int x = 0; x < kSize.width; ++x) {
            const double shade = std::clamp(double(x - (kShadowEdge - kPenumbra / 2)) / kPenumbra, 0.0, 1.0);
            picture->col(x) *= 1 - 0.4 * shade;
        }
    const struct {
        const char *what;
        const cv::Mat &picture;
        cv::Rect outline;
        bool shadow;
    } cases[] = {
        {"the shadow's edge and lines of the grain within it", desk, {kShadowEdge, 100, 300, 400}, true},
        {"lines of the grain in the light alone", desk, {50, 100, 300, 400}, false},
        {"a sheet in the shade", sheetInShade, {450, 150, 250, 300}, false},
        {"the shadow's edge, the grain and a sheet's edge", sheetInShade, {kShadowEdge, 100, 300, 400}, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ShadowOutline::encloses(c.picture, rectangle(c.outline)), c.shadow) << c.what;
}
