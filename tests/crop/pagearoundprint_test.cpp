#include "crop/internal/pagearoundprint.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace qirmel;

namespace {

// White pages on a near-white desk, 480 x 360, their edges a step of four levels.
const cv::Size kGrey(480, 360);
const Quad kPage({cv::Point2f(90, 60), cv::Point2f(390, 70), cv::Point2f(384, 300), cv::Point2f(84, 290)});
const Quad kWidePage({cv::Point2f(30, 50), cv::Point2f(430, 55), cv::Point2f(427, 320), cv::Point2f(27, 315)});

cv::Mat nearWhiteDesk(const Quad &page)
{
    cv::Mat grey(kGrey, CV_8UC1, cv::Scalar(200));
    std::vector<cv::Point> polygon;
    for (const cv::Point2f &p : page.corners())
        polygon.emplace_back(cvRound(p.x * 16), cvRound(p.y * 16));
    cv::fillConvexPoly(grey, polygon, cv::Scalar(204), cv::LINE_AA, 4);
    return grey;
}

// The desk as the camera sees it, and the judging image's support for outlines, at half its size.
struct Pictured {
    cv::Mat grey;
    cv::Mat small;
    EdgeSupport support;
};

Pictured pictured(cv::Mat grey)
{
    cv::Mat noise(kGrey, CV_16SC1);
    cv::randn(noise, 0, 1);
    cv::Mat noisy;
    grey.convertTo(noisy, CV_16SC1);
    noisy += noise;
    noisy.convertTo(grey, CV_8UC1);
    cv::Mat small;
    cv::resize(grey, small, cv::Size(240, 180), 0, 0, cv::INTER_AREA);
    cv::GaussianBlur(small, small, cv::Size(5, 5), 0);
    return {grey, small, EdgeSupport(std::vector<cv::Mat>{small})};
}

}  // namespace

// Outlines loosely drawn round edges anywhere in the picture come in all sizes; the largest may run out
// of the frame and cannot lie inside a page, and the block of print must still be tried.
TEST(PageAroundPrint, FindsThePageAroundItsPrintPastBlocksRunningOutOfTheFrame)
{
    cv::Mat grey = nearWhiteDesk(kPage);
    for (int y = 110; y <= 240; y += 10)
        cv::line(grey, cv::Point(140, y + (y - 110) / 30), cv::Point(330 - y % 3 * 20, y + 3), cv::Scalar(60), 2);
    const Pictured desk = pictured(grey);
    const PageAroundPrint pageAround(desk.support, desk.grey, desk.grey, cv::Point2d(2, 2));

    const Quad print({cv::Point2f(70, 55), cv::Point2f(166, 57), cv::Point2f(166, 122), cv::Point2f(70, 121)});
    const std::vector<Quad> beyondFrame = {
        Quad({cv::Point2f(-40, -30), cv::Point2f(250, -20), cv::Point2f(260, 60), cv::Point2f(-30, 50)}),
        Quad({cv::Point2f(-50, 120), cv::Point2f(230, 110), cv::Point2f(240, 200), cv::Point2f(-40, 210)}),
        Quad({cv::Point2f(0, 0), cv::Point2f(239, 0), cv::Point2f(239, 179), cv::Point2f(0, 179)}),
    };
    std::vector<Quad> blocks = beyondFrame;
    blocks.push_back(print);
    const std::optional<Quad> page = pageAround.aroundAnyOf(blocks);
    ASSERT_TRUE(page);
    EXPECT_LT(page->resampled(2, 2).maxCornerDistance(kPage), 3.0);
}

// The page around print that covers little of it: a narrow column at one end of a wide page, the paper
// running on past it three times its width; or a picture, the paper round which looks as much like a
// near-white desk as like the picture, so that only the steps beyond its four sides tell the page.
TEST(PageAroundPrint, ReachesThePageFarBeyondPrintCoveringLittleOfIt)
{
    struct Case {
        const char *name;
        Quad page;
        std::function<void(cv::Mat &)> print;
        Quad outline;
    };
    const std::vector<Case> cases = {
        {"column at one end", kWidePage,
         [](cv::Mat &grey) {
             for (int y = 90; y <= 250; y += 10)
                 cv::line(grey, cv::Point(60, y), cv::Point(140 - y % 3 * 10, y), cv::Scalar(60), 2);
         },
         Quad({cv::Point2f(30, 45), cv::Point2f(70, 45), cv::Point2f(70, 125), cv::Point2f(30, 125)})},
        {"picture", kPage,
         [](cv::Mat &grey) {
             cv::rectangle(grey, cv::Point(150, 100), cv::Point(300, 220), cv::Scalar(120), cv::FILLED);
         },
         Quad({cv::Point2f(75, 50), cv::Point2f(150, 50), cv::Point2f(150, 110), cv::Point2f(75, 110)})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat grey = nearWhiteDesk(c.page);
        c.print(grey);
        const Pictured desk = pictured(grey);
        const PageAroundPrint pageAround(desk.support, desk.grey, desk.grey, cv::Point2d(2, 2));

        const std::optional<Quad> page = pageAround.around(c.outline);
        ASSERT_TRUE(page);
        // The sides are fitted along the print's alone, and run a few pixels off at the page's far corners
        // until the refinement on the picture.
        EXPECT_LT(page->resampled(2, 2).maxCornerDistance(c.page), 10.0);
    }
}

// Darkens the desk beyond column x by `perPixel` levels a column, as light falls off towards a vignetted
// corner, and by `seam` levels beyond column seamAt; the page keeps its level.
void darkenDeskBeyond(cv::Mat &grey, int x, double perPixel, int seamAt, int seam)
{
    for (int row = 0; row < grey.rows; ++row)
        for (int column = x; column < grey.cols; ++column) {
            unsigned char &level = grey.at<unsigned char>(row, column);
            if (level == 200)
                level = cv::saturate_cast<unsigned char>(200 - perPixel * (column - x) - (column >= seamAt ? seam : 0));
        }
}

// Darkens a band from column `from` to column `to` by `levels`, its edges soft, as the camera arm's shadow.
void shadeBand(cv::Mat &grey, int from, int to, double levels)
{
    cv::Mat shade(grey.size(), CV_32FC1, cv::Scalar(0));
    shade.colRange(from, to).setTo(levels);
    cv::GaussianBlur(shade, shade, cv::Size(0, 0), 4);
    cv::Mat level;
    grey.convertTo(level, CV_32FC1);
    level -= shade;
    level.convertTo(grey, CV_8UC1);
}

// Brightens the desk from row `from` down, right of column x, to the paper's level: the page's side fades
// to nothing there.
void fadeEdgeBelow(cv::Mat &grey, int x, int from)
{
    cv::Mat faded = grey(cv::Rect(x, from, grey.cols - x, grey.rows - from));
    cv::max(faded, 204, faded);
}

// Lights the desk beyond column x back up to the paper's level over `over` columns, as a lamp beside the
// page does: the paper's end steps, but the desk beyond does not stay darker.
void lightDeskBeyond(cv::Mat &grey, int x, int over)
{
    for (int row = 0; row < grey.rows; ++row)
        for (int column = x; column < grey.cols; ++column) {
            unsigned char &level = grey.at<unsigned char>(row, column);
            if (level == 200)
                level = cv::saturate_cast<unsigned char>(200 + 4 * std::min(1.0, double(column - x) / over));
        }
}

// Lines of words, 2 pixels high every 8 and grey, as small type is once reduced, in two columns: the left
// one's ragged end short of the gutter at column x, the right one's start flush with it.
void printTwoColumns(cv::Mat &grey, int x)
{
    const auto words = [&grey](int y, int from, int to) {
        for (int start = from; start < to; start += 23)
            cv::line(grey, cv::Point(start, y), cv::Point(std::min(start + 17, to), y), cv::Scalar(140), 2);
    };
    for (int y = 84; y <= 276; y += 8) {
        words(y, 100, x - 12 - y % 24 / 8 * 6);
        words(y, x + 2, 375);
    }
}

// The outline chosen may have three of the page's sides and a ruled line of its print for the fourth, where
// the page's own side there is too faint for the lines: the page lies beyond that one side, on a flat desk,
// on one whose light falls off so steeply past the page that the rows' noise steps all over it, or on one
// that steps again further out, where two boards of a table meet; or a shadow falls across the page between;
// or the page's side shows along half of its length only, the desk's light reaching the paper's level below,
// a dark screen's foot stepping along the whole of it beyond.
// Or the fourth side is the gutter between two columns of text, where the rows step into the next column's
// print as they would onto a darker desk, and the rows where that column ends step as the paper's end does:
// where the page's side shows along half of its length, they are print's; beyond print the paper goes on, and
// its side is taken where it settles along that half, though the desk beyond is lit to the paper's level.
// On a grained desk, whose rows look like print, the paper's end beside the grain is the page's side, and a
// board's joint stepping along half of the page's far side leaves that side where it is.
TEST(PageAroundPrint, MovesTheOneSideThatIsARuleOrAGutterInsideThePage)
{
    struct Case {
        const char *name;
        double falloff;
        int seam;
        double shadow;
        int fadedBelow;
        bool columns;
        bool litBeyond;
        bool footBeyond;
        int grainEvery = 0;
    };
    for (const Case &c : {Case{"flat desk", 0.0, 0, 0, 0, false, false, false},
                          Case{"steep falloff", 0.8, 0, 0, 0, false, false, false},
                          Case{"seam beyond", 0.0, 3, 0, 0, false, false, false},
                          Case{"shadow between", 0.0, 0, 8, 0, false, false, false},
                          Case{"side fading out", 0.0, 0, 0, 180, false, false, false},
                          Case{"side fading out, a screen's foot beyond", 0.0, 0, 0, 180, false, false, true},
                          Case{"gutter", 0.0, 0, 0, 0, true, false, false},
                          Case{"gutter, side fading out", 0.0, 0, 0, 180, true, false, false},
                          Case{"gutter, desk lit beyond", 0.0, 0, 0, 180, true, true, false},
                          Case{"grained desk", 0.0, 0, 0, 0, false, false, false, 10}}) {
        SCOPED_TRACE(c.name);
        cv::Mat grey = nearWhiteDesk(kPage);
        darkenDeskBeyond(grey, 392, c.falloff, 440, c.seam);
        if (c.litBeyond)
            lightDeskBeyond(grey, 400, 30);
        shadeBand(grey, 290, 345, c.shadow);
        if (c.fadedBelow > 0)
            fadeEdgeBelow(grey, 370, c.fadedBelow);
        if (c.footBeyond)
            grey.colRange(440, 465).setTo(70);
        for (int y = 0; c.grainEvery > 0 && y < grey.rows; ++y)
            for (unsigned char &level : cv::Mat_<unsigned char>(grey.row(y)))
                if (level == 200 && y % c.grainEvery < c.grainEvery / 2)
                    level = 175;
        if (c.grainEvery > 0) {
            cv::Mat board = grey(cv::Rect(0, 0, 40, 160));
            board -= 4;
        }
        if (c.columns)
            printTwoColumns(grey, 245);
        else
            cv::line(grey, cv::Point(250, 66), cv::Point(246, 295), cv::Scalar(60), 2);
        const Pictured desk = pictured(grey);
        const PageAroundPrint pageAround(desk.support, desk.grey, desk.grey, cv::Point2d(2, 2));

        const float gutterShift = c.columns ? 3.0f : 0.0f;
        const Quad pageUpToPrint({cv::Point2f(45, 30), cv::Point2f(125.5f - gutterShift, 32.7f),
                                  cv::Point2f(123.5f - gutterShift, 147.7f), cv::Point2f(42, 145)});
        const std::optional<Quad> page = pageAround.around(pageUpToPrint);
        ASSERT_TRUE(page);
        EXPECT_LT(page->resampled(2, 2).maxCornerDistance(kPage), 4.0);
    }
}

// Where the page's side beyond a gutter does not show at all, the desk lit to the paper's level along the whole
// of it, the page reaches at least as far as its print: well into the second column, along the steps of its
// words, and not beyond the paper.
TEST(PageAroundPrint, TakesThePageOnToItsPrintWhereItsSideDoesNotShow)
{
    cv::Mat grey = nearWhiteDesk(kPage);
    fadeEdgeBelow(grey, 370, 0);
    printTwoColumns(grey, 245);
    const Pictured desk = pictured(grey);
    const PageAroundPrint pageAround(desk.support, desk.grey, desk.grey, cv::Point2d(2, 2));

    const Quad firstColumn(
        {cv::Point2f(45, 30), cv::Point2f(122.5f, 32.7f), cv::Point2f(120.5f, 147.7f), cv::Point2f(42, 145)});
    const std::optional<Quad> page = pageAround.around(firstColumn);
    ASSERT_TRUE(page);
    const Quad inGrey = page->resampled(2, 2);
    for (const int corner : {0, 3})
        EXPECT_LT(cv::norm(inGrey[corner] - kPage[corner]), 4.0) << corner;
    for (const int corner : {1, 2}) {
        EXPECT_GT(inGrey[corner].x, 340) << corner;
        EXPECT_LT(inGrey[corner].x, 392) << corner;
    }
}

// Lines of text, one every 9 pixels up from row `to` to row `from`, between columns `left` and `right`.
void printText(cv::Mat &grey, int left, int right, int from, int to)
{
    for (int y = to; y >= from; y -= 9)
        for (int x = left; x + 30 <= right; x += 34)
            cv::putText(grey, "dolor", cv::Point(x, y), cv::FONT_HERSHEY_SIMPLEX, 0.3, cv::Scalar(60));
}

// A page's side may not step at all where a lamp lights the desk to the paper's level. Where the page's
// other three sides show and its print runs along that side, the page has a sheet's proportions, standing
// upright or lying on its side; not where the page's own side borders a brighter desk, no print along it, or
// where the page would run out of the frame.
TEST(PageAroundPrint, GivesAPageASheetsProportionsWhereOneSideDoesNotShow)
{
    struct Case {
        const char *name;
        Quad page;
        int textBottom;  // the last line of print; the outline's bottom side runs just below it
        cv::Rect lit;    // the part of the desk lit to litLevel: the paper's, or brighter
        int litLevel;
        bool expected;
    };
    const Quad upright({cv::Point2f(160, 50), cv::Point2f(320, 50), cv::Point2f(320, 276), cv::Point2f(160, 276)});
    const Quad lying({cv::Point2f(130, 80), cv::Point2f(356, 80), cv::Point2f(356, 240), cv::Point2f(130, 240)});
    const Quad square({cv::Point2f(160, 50), cv::Point2f(320, 50), cv::Point2f(320, 230), cv::Point2f(160, 230)});
    const Quad offFrame({cv::Point2f(160, 150), cv::Point2f(320, 150), cv::Point2f(320, 376), cv::Point2f(160, 376)});
    for (const Case &c : {Case{"upright", upright, 240, cv::Rect(0, 250, 480, 110), 204, true},
                          Case{"lying", lying, 198, cv::Rect(0, 215, 480, 145), 204, true},
                          Case{"own side on a brighter desk", square, 118, cv::Rect(0, 0, 160, 360), 206, true},
                          Case{"running out of the frame", offFrame, 300, cv::Rect(), 204, false}}) {
        SCOPED_TRACE(c.name);
        cv::Mat grey = nearWhiteDesk(c.page);
        cv::Mat lit = grey(c.lit);
        cv::max(lit, c.litLevel, lit);
        const cv::Point2f topLeft = c.page[0];
        const cv::Point2f topRight = c.page[1];
        printText(grey, int(topLeft.x) + 12, int(topRight.x) - 12, int(topLeft.y) + 20, c.textBottom);
        const Pictured desk = pictured(grey);
        const PageAroundPrint pageAround(desk.support, desk.grey, desk.grey, cv::Point2d(2, 2));

        const float bottom = float(c.textBottom + 2);
        const Quad outline({topLeft * 0.5f, topRight * 0.5f, cv::Point2f(topRight.x, bottom) * 0.5f,
                            cv::Point2f(topLeft.x, bottom) * 0.5f});
        const std::optional<Quad> page = pageAround.around(outline);
        ASSERT_EQ(page.has_value(), c.expected);
        if (page) {
            EXPECT_LT(page->resampled(2, 2).maxCornerDistance(c.page), 4.0);
        }
    }
}
