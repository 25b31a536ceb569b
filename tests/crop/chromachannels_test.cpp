#include "crop/internal/chromachannels.h"

#include <gtest/gtest.h>

using qirmel::ChromaChannels;

TEST(ChromaChannels, GreyHasNoColourDifferenceAndEdgesStayWhereTheyAre)
{
    cv::Mat frame(1080, 1920, CV_8UC3, cv::Scalar(90, 90, 90));
    frame.colRange(800, 1920).setTo(cv::Scalar(128, 128, 220));
    const std::vector<cv::Mat> chroma = ChromaChannels::reduce(frame, cv::Size(240, 135));
    ASSERT_EQ(chroma.size(), 2u);
    for (const cv::Mat &channel : chroma) {
        EXPECT_EQ(channel.size(), cv::Size(240, 135));
        EXPECT_EQ(channel.type(), CV_8UC1);
        // Reduced column x covers frame columns 8x to 8x + 7: the step at 800 falls between 99 and 100.
        EXPECT_EQ(cv::norm(channel.colRange(0, 100), cv::Mat(135, 100, CV_8UC1, cv::Scalar(128)), cv::NORM_INF), 0);
    }
    EXPECT_GT(chroma[0].at<unsigned char>(70, 100), 128 + 40);
}
