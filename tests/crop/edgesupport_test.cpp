#include "crop/internal/edgesupport.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

namespace {

const cv::Size kSize(240, 135);

Quad rectangle(float left, float top, float right, float bottom)
{
    return Quad({cv::Point2f(left, top), cv::Point2f(right, top), cv::Point2f(right, bottom), cv::Point2f(left, bottom)});
}

cv::Mat smoothed(const cv::Mat &image)
{
    cv::Mat out;
    cv::GaussianBlur(image, out, cv::Size(5, 5), 0);
    return out;
}

// A pale page on a slightly darker desk: a step of eight levels.
cv::Mat paleSheet()
{
    cv::Mat image(kSize, CV_8UC1, cv::Scalar(220));
    cv::rectangle(image, cv::Rect(60, 30, 100, 70), cv::Scalar(228), cv::FILLED);
    return smoothed(image);
}

} // namespace

TEST(EdgeSupport, FindsAFaintSheetAllRoundWithOneSign)
{
    const EdgeSupport support(std::vector<cv::Mat>{paleSheet()});
    const SideEvidence evidence = support.measure(rectangle(59.5f, 29.5f, 159.5f, 99.5f));
    EXPECT_GT(evidence.minSupport, 0.9);
    EXPECT_GT(evidence.meanSupport, 0.9);
    EXPECT_GT(evidence.polarity, 0.95);
    EXPECT_DOUBLE_EQ(evidence.visible, 1.0);
}

TEST(EdgeSupport, GivesNoSupportAwayFromTheEdges)
{
    const EdgeSupport support(std::vector<cv::Mat>{paleSheet()});
    EXPECT_LT(support.measure(rectangle(70, 40, 150, 90)).meanSupport, 0.1);
    // Three sides on the sheet, one across the desk.
    EXPECT_LT(support.measure(rectangle(59.5f, 29.5f, 200, 99.5f)).minSupport, 0.1);
}

TEST(EdgeSupport, SeesColourWhereGreyShowsNothing)
{
    cv::Mat grey(kSize, CV_8UC1, cv::Scalar(150));
    cv::Mat redGreen(kSize, CV_8UC1, cv::Scalar(128));
    cv::rectangle(redGreen, cv::Rect(60, 30, 100, 70), cv::Scalar(160), cv::FILLED);
    const Quad card = rectangle(59.5f, 29.5f, 159.5f, 99.5f);
    EXPECT_LT(EdgeSupport(std::vector<cv::Mat>{smoothed(grey)}).measure(card).meanSupport, 0.1);
    EXPECT_GT(EdgeSupport(std::vector<cv::Mat>{smoothed(grey), smoothed(redGreen)}).measure(card).minSupport, 0.9);
}

TEST(EdgeSupport, CountsOnlyWhatIsInsideTheImage)
{
    const EdgeSupport support(std::vector<cv::Mat>{paleSheet()});
    const SideEvidence evidence = support.measure(rectangle(59.5f, -60, 159.5f, 99.5f));
    EXPECT_LT(evidence.visible, 0.8);
    EXPECT_GT(evidence.visible, 0.5);
}

TEST(EdgeSupport, TellsADocumentAroundPrintFromAnOutlineStretchedOverTheDesk)
{
    cv::Mat image(kSize, CV_8UC1, cv::Scalar(90));
    cv::rectangle(image, cv::Rect(40, 20, 150, 95), cv::Scalar(210), cv::FILLED);
    cv::rectangle(image, cv::Rect(60, 40, 50, 50), cv::Scalar(120), cv::FILLED);
    const EdgeSupport support(std::vector<cv::Mat>{smoothed(image)});
    const Quad photo = rectangle(59.5f, 39.5f, 109.5f, 89.5f);
    const SideEvidence card = support.measureApart(rectangle(39.5f, 19.5f, 189.5f, 114.5f), photo);
    EXPECT_GT(card.meanSupport, 0.9);
    EXPECT_DOUBLE_EQ(card.visible, 1.0);
    // The photo's top and bottom carried on to the right, over the card to its far edge and beyond.
    const SideEvidence stretched = support.measureApart(rectangle(59.5f, 39.5f, 215, 89.5f), photo);
    EXPECT_LT(stretched.meanSupport, 0.5);
}
