#include "crop/internal/blockaverage.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using qirmel::BlockAverage;

// Outlines are judged on the reduced picture to the level, so the reduction must match OpenCV's area
// resize exactly, rounding included, whatever the factor and wherever the picture ends mid-block.
TEST(BlockAverage, MatchesAnAreaResizeToTheLevel)
{
    const struct {
        int factor;
        cv::Size picture;
    } rows[] = {
        {1, {37, 23}},     {2, {641, 481}},   {3, {1600, 1200}}, {4, {1923, 1083}},
        {5, {2592, 1944}}, {6, {3264, 2448}}, {7, {500, 99}},    {9, {4000, 3000}},
    };
    cv::RNG rng(7);
    for (const auto &row : rows) {
        cv::Mat grey(row.picture, CV_8UC1);
        rng.fill(grey, cv::RNG::UNIFORM, 0, 256);
        // Flat stretches too, where a block's mean lands halfway between two levels.
        grey(cv::Rect(0, 0, grey.cols / 2, grey.rows / 3)).setTo(128);
        grey(cv::Rect(0, 0, grey.cols / 4, grey.rows / 4)).setTo(255);
        const cv::Size reduced(row.picture.width / row.factor, row.picture.height / row.factor);
        cv::Mat expected;
        cv::resize(grey(cv::Rect(0, 0, reduced.width * row.factor, reduced.height * row.factor)), expected, reduced, 0,
                   0, cv::INTER_AREA);
        const cv::Mat reducedGrey = BlockAverage::reduce(grey, row.factor);
        ASSERT_EQ(reducedGrey.size(), reduced) << "factor " << row.factor;
        EXPECT_EQ(cv::norm(reducedGrey, expected, cv::NORM_INF), 0) << "factor " << row.factor;
    }
}
