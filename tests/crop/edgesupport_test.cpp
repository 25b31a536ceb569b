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
