#include "crop/internal/edgesupport.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

namespace {

const cv::Size kSize(240, 135);

Quad rectangle(float left, float top, float right, float bottom)
{
    return Quad(
        {cv::Point2f(left, top), cv::Point2f(right, top), cv::Point2f(right, bottom), cv::Point2f(left, bottom)});
}

// A pale page on a slightly darker desk: a step of eight levels.
cv::Mat paleSheet()
{
    cv::Mat image(kSize, CV_8UC1, cv::Scalar(220));
    cv::rectangle(image, cv::Rect(60, 30, 100, 70), cv::Scalar(228), cv::FILLED);
    cv::GaussianBlur(image, image, cv::Size(5, 5), 0);
    return image;
}

// Grey and the two colour differences of a mid-grey sheet on a cloth of white and blue stripes, smoothed
// as outlines are judged on them: the sheet is darker than the white stripes, lighter than the blue ones,
// and differs in colour from the blue ones only.
std::vector<cv::Mat> sheetOnStripes(const Quad &sheet)
{
    std::vector<cv::Mat> channels = {cv::Mat(kSize, CV_8UC1), cv::Mat(kSize, CV_8UC1, cv::Scalar(128)),
                                     cv::Mat(kSize, CV_8UC1)};
    for (int y = 0; y < kSize.height; ++y)
        for (int x = 0; x < kSize.width; ++x) {
            const bool blue = (x + y) / 12 % 2 == 1;
            channels[0].at<unsigned char>(y, x) = blue ? 130 : 230;
            channels[2].at<unsigned char>(y, x) = blue ? 88 : 128;
        }
    std::vector<cv::Point> corners;
    for (const cv::Point2f &p : sheet.corners())
        corners.emplace_back(cvRound(p.x), cvRound(p.y));
    const int sheetValues[] = {200, 128, 128};
    for (int c = 0; c < 3; ++c) {
        cv::fillConvexPoly(channels[c], corners, cv::Scalar(sheetValues[c]));
        cv::GaussianBlur(channels[c], channels[c], cv::Size(5, 5), 0);
    }
    return channels;
}

}  // namespace

TEST(EdgeSupport, FindsAFaintSheetAllRoundWithOneSignAndOnlyWhereItIs)
{
    const EdgeSupport support(std::vector<cv::Mat>{paleSheet()});
    const SideEvidence evidence = support.measure(rectangle(59.5f, 29.5f, 159.5f, 99.5f));
    EXPECT_GT(evidence.minSupport, 0.9);
    EXPECT_GT(evidence.meanSupport, 0.9);
    EXPECT_GT(evidence.polarity, 0.95);
    EXPECT_DOUBLE_EQ(evidence.visible, 1.0);
    EXPECT_LT(support.measure(rectangle(70, 40, 150, 90)).meanSupport, 0.1);
    // Three sides on the sheet, one across the desk.
    EXPECT_LT(support.measure(rectangle(59.5f, 29.5f, 200, 99.5f)).minSupport, 0.1);
    // Only what is inside the image counts.
    const double visible = support.measure(rectangle(59.5f, -60, 159.5f, 99.5f)).visible;
    EXPECT_LT(visible, 0.8);
    EXPECT_GT(visible, 0.5);
}

// The edge maps are drawn from the strongest channel's gradients alone; cv::Canny given every channel
// must find exactly the same edges, or the maps would change with the way they are drawn.
TEST(EdgeSupport, StrongestChannelGivesTheEdgesOfAllChannels)
{
    cv::RNG rng(11);
    std::vector<cv::Mat> channels(3);
    for (cv::Mat &channel : channels) {
        channel.create(kSize, CV_8UC1);
        rng.fill(channel, cv::RNG::UNIFORM, 0, 256);
        cv::GaussianBlur(channel, channel, cv::Size(5, 5), 0);
    }
    const EdgeSupport support(channels);
    std::vector<cv::Mat> dxs;
    std::vector<cv::Mat> dys;
    for (const cv::Mat &channel : channels) {
        dxs.emplace_back();
        dys.emplace_back();
        cv::Sobel(channel, dxs.back(), CV_16S, 1, 0, 3);
        cv::Sobel(channel, dys.back(), CV_16S, 0, 1, 3);
    }
    cv::Mat dxAll;
    cv::Mat dyAll;
    cv::merge(dxs, dxAll);
    cv::merge(dys, dyAll);
    for (const double low : {5.0, 20.0}) {
        cv::Mat expected;
        cv::Mat edges;
        cv::Canny(dxAll, dyAll, expected, low, 3 * low, true);
        cv::Canny(support.dx(), support.dy(), edges, low, 3 * low, true);
        ASSERT_GT(cv::countNonZero(expected), 0);
        EXPECT_EQ(cv::countNonZero(edges != expected), 0) << "thresholds from " << low;
    }
}

// Where an outline around another leaves it, its sides must lie on edges for it to be the document around
// what the other outlines: a sheet on stripes shows its edge in grey with one sign against the white
// stripes, the other against the blue ones, and in colour against the blue ones alone.
TEST(EdgeSupport, FindsASheetOnAColouredPatternApartFromWhatItEncloses)
{
    const Quad sheet = rectangle(60, 30, 180, 110);
    const EdgeSupport support(sheetOnStripes(sheet));
    // Its lower part, as a line of its print would cut it off.
    const Quad lowerPart = rectangle(60, 80, 180, 110);
    const SideEvidence apart = support.measureApart(sheet, lowerPart);
    EXPECT_GT(apart.meanSupport, 0.8);
    EXPECT_DOUBLE_EQ(apart.visible, 1.0);
    // Nor does either sign alone, in grey or in colour, fit most of the sheet's own outline.
    EXPECT_LT(support.measure(sheet).meanSupport, 0.75);
    // Taken on over the cloth, the outline's new sides cross the stripes.
    EXPECT_LT(support.measureApart(rectangle(20, 10, 180, 110), lowerPart).meanSupport, 0.6);
}

// A side that lies almost wholly beyond the frame leaves the outline to be judged on the three that show,
// unless it lies along the frame's border, where an object cut off by the frame is outlined by its edge.
TEST(EdgeSupport, JudgesAnOutlineOnItsShownSidesOnlyWhereTheFourthLiesBeyondTheFrame)
{
    struct Case {
        const char *name;
        cv::Point2f topLeft;
        cv::Point2f topRight;
        bool judgedOnThree;
    };
    const Case cases[] = {
        {"far out of the frame", {60, -40}, {180, -40}, true},
        {"leaving the frame at a slant", {60, 3}, {180, -5}, true},
        {"along the border", {60, 0.5f}, {180, -1}, false},
    };
    for (const Case &c : cases) {
        const Quad page({c.topLeft, c.topRight, cv::Point2f(180, 110), cv::Point2f(60, 110)});
        cv::Mat image(kSize, CV_8UC1, cv::Scalar(90));
        std::vector<cv::Point> corners;
        for (const cv::Point2f &p : page.corners())
            corners.emplace_back(cvRound(p.x), cvRound(p.y));
        cv::fillConvexPoly(image, corners, cv::Scalar(200));
        cv::GaussianBlur(image, image, cv::Size(5, 5), 0);
        const SideEvidence evidence = EdgeSupport(std::vector<cv::Mat>{image}).measure(page);
        EXPECT_EQ(evidence.minShownSupport > 0.9, c.judgedOnThree) << c.name;
        EXPECT_DOUBLE_EQ(evidence.minSupport, 0) << c.name;
    }
}

// A sheet running out of the frame at its foot, and an outline of it cut short by a line of its print:
// stepping out from there to an outline whose foot lies along the frame's border takes on stretches
// whose gradients the border reflects, which cannot show whether they lie on an edge. One clear of the
// border by a few pixels more shows it.
TEST(EdgeSupport, SeesNoEdgeAlongTheFramesBorderApartFromWhatAnOutlineEncloses)
{
    cv::Mat image(kSize, CV_8UC1, cv::Scalar(90));
    cv::rectangle(image, cv::Point(60, 30), cv::Point(180, kSize.height), cv::Scalar(200), cv::FILLED);
    cv::GaussianBlur(image, image, cv::Size(5, 5), 0);
    const EdgeSupport support(std::vector<cv::Mat>{image});
    const Quad cutShort = rectangle(59.5f, 29.5f, 179.5f, 100);
    const float lastRow = float(kSize.height - 1);
    EXPECT_LT(support.measureApart(rectangle(59.5f, 29.5f, 179.5f, lastRow - 2), cutShort).visible, 0.5);
    EXPECT_DOUBLE_EQ(support.measureApart(rectangle(59.5f, 29.5f, 179.5f, lastRow - 4), cutShort).visible, 1.0);
}
