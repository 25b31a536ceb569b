#include "crop/internal/linefinder.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>

using namespace qirmel;

namespace {

float distance(const EdgeLine &line, const cv::Point2f &p)
{
    const cv::Point2f d = p - line.point;
    return std::abs(d.x * line.direction.y - d.y * line.direction.x);
}

bool passesThrough(const EdgeLine &line, const cv::Point2f &a, const cv::Point2f &b)
{
    return distance(line, a) < 1.5f && distance(line, b) < 1.5f;
}

cv::Mat edgesOf(const cv::Mat &image)
{
    cv::Mat edges;
    cv::Canny(image, edges, 20, 60, 3, true);
    return edges;
}

} // namespace

TEST(LineFinder, FindsTheFourSidesOfATiltedSheetFirst)
{
    cv::Mat image(135, 240, CV_8UC1, cv::Scalar(80));
    const std::vector<cv::Point> sheet = {{60, 30}, {170, 22}, {178, 110}, {68, 118}};
    cv::fillConvexPoly(image, sheet, cv::Scalar(220), cv::LINE_AA);
    // Print inside the sheet: short strokes that must not outrank the sides.
    for (int y = 45; y < 100; y += 8)
        cv::line(image, cv::Point(85, y), cv::Point(100, y - 1), cv::Scalar(40), 2);

    const std::vector<EdgeLine> lines = LineFinder::find({edgesOf(image)}, 12, 10);
    ASSERT_GE(lines.size(), 4u);
    for (int side = 0; side < 4; ++side) {
        const cv::Point2f a(sheet[side]);
        const cv::Point2f b(sheet[(side + 1) % 4]);
        int found = -1;
        for (int i = 0; i < 4; ++i)
            if (passesThrough(lines[i], a, b))
                found = i;
        EXPECT_GE(found, 0) << "side " << side << " is not among the four longest lines";
    }
}

TEST(LineFinder, JoinsASideBrokenByAPen)
{
    cv::Mat image(135, 240, CV_8UC1, cv::Scalar(80));
    cv::rectangle(image, cv::Rect(40, 30, 160, 80), cv::Scalar(220), cv::FILLED);
    // A dark pen across the top side cuts its edge in two.
    cv::line(image, cv::Point(115, 10), cv::Point(125, 50), cv::Scalar(20), 6);

    const std::vector<EdgeLine> lines = LineFinder::find({edgesOf(image)}, 12, 10);
    const auto top = std::find_if(lines.begin(), lines.end(), [](const EdgeLine &line) {
        return passesThrough(line, cv::Point2f(45, 29.5f), cv::Point2f(195, 29.5f));
    });
    ASSERT_NE(top, lines.end());
    // Both pieces count: well over half the side, though the pen hides a part.
    EXPECT_GT(top->length, 120);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const EdgeLine &line) {
                  return passesThrough(line, cv::Point2f(45, 29.5f), cv::Point2f(195, 29.5f));
              }),
              1);
}

TEST(LineFinder, IgnoresRunsShorterThanAsked)
{
    cv::Mat image(135, 240, CV_8UC1, cv::Scalar(80));
    for (int x = 20; x < 220; x += 20)
        cv::rectangle(image, cv::Rect(x, 60, 8, 8), cv::Scalar(220), cv::FILLED);
    EXPECT_TRUE(LineFinder::find({edgesOf(image)}, 12, 10).empty());
}
