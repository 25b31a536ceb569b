#include "crop/internal/framecorner.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

namespace {

const cv::Size kFrame(800, 600);

// A white sheet on a grey desk, its corners given clockwise from the top left, softened as a lens does.
cv::Mat sheet(const std::array<cv::Point2f, 4> &corners, int type)
{
    cv::Mat bgr(kFrame, CV_8UC3, cv::Scalar(95, 105, 115));
    std::vector<cv::Point> polygon;
    for (const cv::Point2f &p : corners)
        polygon.emplace_back(cvRound(p.x * 16), cvRound(p.y * 16));
    cv::fillConvexPoly(bgr, polygon, cv::Scalar(228, 232, 235), cv::LINE_AA, 4);
    cv::GaussianBlur(bgr, bgr, cv::Size(5, 5), 1.2);
    if (type == CV_8UC3)
        return bgr;
    cv::Mat grey;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    return grey;
}

// Where the line through a and b reaches the height y.
cv::Point2f atHeight(const cv::Point2f &a, const cv::Point2f &b, float y)
{
    return a + (b - a) * ((y - a.y) / (b.y - a.y));
}

}  // namespace

// The bottom right corner lies 20 pixels above the frame's bottom border and the bottom left one below it;
// the outline given runs on past the corner to proportions beyond the frame.
TEST(FrameCorner, MovesAnOutlineTakenPastACornerInTheFrameOntoTheSideBeyondIt)
{
    const cv::Point2f topLeft(150, 100), topRight(600, 70), bottomRight(640, 580), bottomLeft(200, 660);
    const Quad truth({topLeft, topRight, bottomRight, bottomLeft});
    const Quad overshot({topLeft, topRight, atHeight(topRight, bottomRight, 770), atHeight(topLeft, bottomLeft, 800)});
    for (int type : {CV_8UC3, CV_8UC1}) {
        const std::optional<Quad> moved = FrameCorner::within(sheet(truth.corners(), type), overshot);
        ASSERT_TRUE(moved) << "type " << type;
        EXPECT_LT(cv::norm((*moved)[Quad::kBottomRight] - bottomRight), 3.0) << "type " << type;
        // The far corner is extrapolated from the stretch of the side that shows.
        EXPECT_LT(cv::norm((*moved)[Quad::kBottomLeft] - bottomLeft), 10.0) << "type " << type;
        EXPECT_LT(cv::norm((*moved)[Quad::kTopLeft] - topLeft), 0.01) << "type " << type;
        EXPECT_LT(cv::norm((*moved)[Quad::kTopRight] - topRight), 0.01) << "type " << type;
    }
}

// Outlines that the sheet's edges follow as far as the frame shows them stay as they are.
TEST(FrameCorner, LeavesOutlinesWhoseSidesRunOnToTheBorder)
{
    const cv::Point2f topLeft(150, 100), topRight(600, 70);
    const struct {
        const char *what;
        Quad outline;
    } rows[] = {
        {"a sheet running out across its bottom side",
         Quad({topLeft, topRight, cv::Point2f(650, 700), cv::Point2f(190, 720)})},
        {"a sheet with its bottom left corner beyond the frame",
         Quad({topLeft, topRight, cv::Point2f(640, 560), cv::Point2f(200, 700)})},
        {"a sheet within the frame", Quad({topLeft, topRight, cv::Point2f(640, 500), cv::Point2f(190, 520)})},
    };
    for (const auto &row : rows)
        EXPECT_FALSE(FrameCorner::within(sheet(row.outline.corners(), CV_8UC3), row.outline)) << row.what;
}
