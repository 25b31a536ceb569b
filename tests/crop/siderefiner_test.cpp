#include "crop/internal/siderefiner.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

// A side is fitted robustly: where a pen lies over the paper's edge along part of a side, the edge seen
// there runs a couple of pixels inside, and the side must still follow the paper's edge along the rest.
TEST(SideRefiner, FollowsTheEdgeWherePartOfItIsHidden)
{
    const cv::Rect sheet(200, 150, 400, 300);
    const struct {
        const char *what;
        cv::Rect pen;
    } cases[] = {
        {"the whole edge in sight", {}},
        {"a pen over a third of the top edge", {sheet.x + 130, sheet.y - 3, 140, 5}},
    };
    for (const auto &c : cases) {
        cv::Mat picture(600, 800, CV_8UC1, cv::Scalar(90));
        picture(sheet) = 200;
        picture(c.pen) = 40;
        cv::GaussianBlur(picture, picture, cv::Size(5, 5), 1.0);
        // Pixel centres: the sheet's edge lies half a pixel before its first row and column.
        const Quad truth({cv::Point2f(199.5f, 149.5f), cv::Point2f(599.5f, 149.5f), cv::Point2f(599.5f, 449.5f),
                          cv::Point2f(199.5f, 449.5f)});
        const Quad rough({cv::Point2f(201, 151), cv::Point2f(598, 151), cv::Point2f(601, 451), cv::Point2f(198, 448)});
        const std::optional<Quad> refined = SideRefiner::refine(picture, rough, 6);
        ASSERT_TRUE(refined) << c.what;
        EXPECT_LT(refined->maxCornerDistance(truth), 0.25) << c.what;
    }
}
