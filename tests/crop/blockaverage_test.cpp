#include "crop/internal/blockaverage.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using qirmel::BlockAverage;

// Outlines are judged on the reduced picture to the level, so the reduction must match OpenCV's grey
// conversion and area resize exactly, rounding included, whatever the factor, wherever the picture ends
// mid-block and wherever a band of rows turned grey at a time ends.
TEST(BlockAverage, MatchesAnAreaResizeToTheLevel)
{
    const struct {
        int factor;
        cv::Size picture;
        int type;
    } rows[] = {
        {1, {37, 23}, CV_8UC1},      {2, {641, 481}, CV_8UC1},    {3, {1600, 1200}, CV_8UC1},
        {4, {1923, 1083}, CV_8UC1},  {5, {2592, 1944}, CV_8UC1},  {6, {3264, 2448}, CV_8UC1},
        {7, {500, 99}, CV_8UC1},     {9, {4000, 3000}, CV_8UC1},  {1, {37, 23}, CV_8UC3},
        {2, {641, 481}, CV_8UC3},    {3, {1600, 1201}, CV_8UC3},  {4, {1923, 1083}, CV_8UC3},
        {6, {3264, 2448}, CV_8UC3},  {11, {701, 400}, CV_8UC3},  {40, {100, 90}, CV_8UC3},
    };
    cv::RNG rng(7);
    for (const auto &row : rows) {
        cv::Mat picture(row.picture, row.type);
        rng.fill(picture, cv::RNG::UNIFORM, 0, 256);
        // Flat stretches too, where a block's mean lands halfway between two levels.
        picture(cv::Rect(0, 0, picture.cols / 2, picture.rows / 3)).setTo(cv::Scalar::all(128));
        picture(cv::Rect(0, 0, picture.cols / 4, picture.rows / 4)).setTo(cv::Scalar::all(255));
        cv::Mat grey = picture;
        if (row.type == CV_8UC3)
            cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
        const cv::Size reduced(row.picture.width / row.factor, row.picture.height / row.factor);
        cv::Mat expected;
        cv::resize(grey(cv::Rect(0, 0, reduced.width * row.factor, reduced.height * row.factor)), expected, reduced, 0,
                   0, cv::INTER_AREA);
        const cv::Mat reducedGrey = BlockAverage::reduce(picture, row.factor);
        ASSERT_EQ(reducedGrey.size(), reduced) << "factor " << row.factor << ", channels " << picture.channels();
        EXPECT_EQ(cv::norm(reducedGrey, expected, cv::NORM_INF), 0)
            << "factor " << row.factor << ", channels " << picture.channels();
    }
}
