#include "crop/internal/localcolourspread.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using qirmel::LocalColourSpread;

namespace {

// The spread as box filters give it, which the pattern thresholds were set on.
cv::Mat boxFilteredSpread(const std::vector<cv::Mat> &colourDifferences, int window)
{
    cv::Mat variance(colourDifferences.front().size(), CV_32F, cv::Scalar(0));
    cv::Mat values, squares, mean, meanOfSquares, squaredMean;
    for (const cv::Mat &channel : colourDifferences) {
        channel.convertTo(values, CV_32F);
        cv::multiply(values, values, squares);
        cv::blur(values, mean, cv::Size(window, window));
        cv::blur(squares, meanOfSquares, cv::Size(window, window));
        cv::multiply(mean, mean, squaredMean);
        cv::subtract(meanOfSquares, squaredMean, meanOfSquares);
        cv::threshold(meanOfSquares, meanOfSquares, 0, 0, cv::THRESH_TOZERO);
        cv::add(variance, meanOfSquares, variance);
    }
    cv::Mat spread;
    cv::sqrt(variance, spread);
    return spread;
}

}  // namespace

// Pattern regions are cut at a share of the spread, so a pixel near the cut must fall on the same side as
// with box filters: the spread must match theirs to the float, at the border and for pictures smaller
// than the window.
TEST(LocalColourSpread, MatchesBoxFiltersToTheFloat)
{
    const cv::Size sizes[] = {{240, 135}, {180, 240}, {16, 16}, {9, 20}};
    cv::RNG rng(11);
    for (const cv::Size &size : sizes) {
        std::vector<cv::Mat> differences(2);
        for (cv::Mat &channel : differences) {
            channel.create(size, CV_8UC1);
            rng.fill(channel, cv::RNG::UNIFORM, 100, 156);
            // Flat patches, where the variance comes out a hair below zero.
            channel(cv::Rect(0, 0, size.width / 2, size.height / 2)).setTo(131);
        }
        const LocalColourSpread spread(differences, 31);
        for (int window : {3, 7, 15, 31}) {
            const cv::Mat expected = boxFilteredSpread(differences, window);
            const cv::Mat found = spread.over(window);
            ASSERT_EQ(found.size(), size);
            EXPECT_EQ(cv::norm(found, expected, cv::NORM_INF), 0) << size << " window " << window;
            // Counted without the image, as whether a picture has a pattern is told: the same pixels.
            for (float level : {0.5f, 8.f, 20.f})
                EXPECT_EQ(spread.countBelow(window, level), std::size_t(cv::countNonZero(expected < level)))
                    << size << " window " << window << " level " << level;
        }
    }
}
