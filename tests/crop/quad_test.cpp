#include "crop/quad.h"

#include <gtest/gtest.h>

#include <cmath>

using qirmel::Quad;

TEST(Quad, OrdersCornersClockwiseFromTopLeft)
{
    const std::vector<cv::Point2f> clockwise = {{10, 10}, {400, 10}, {400, 300}, {10, 300}};
    EXPECT_EQ(Quad::fromUnordered({{400, 10}, {10, 300}, {10, 10}, {400, 300}}).points(), clockwise);
}

TEST(Quad, TopSideRunsLeftToRightForAnyRotation)
{
    for (float angle : {0.f, 20.f, 44.f, 46.f, 90.f, 135.f, 200.f, 300.f}) {
        cv::Point2f corners[4];
        cv::RotatedRect(cv::Point2f(500, 400), cv::Size2f(300, 200), angle).points(corners);
        const Quad quad = Quad::fromUnordered({corners[2], corners[0], corners[3], corners[1]});
        const cv::Point2f top = quad[Quad::kTopRight] - quad[Quad::kTopLeft];
        EXPECT_GT(top.x, 0) << angle;
        EXPECT_GE(top.x, std::abs(top.y) - 1e-3) << angle;
        EXPECT_TRUE(quad.isConvex()) << angle;
    }
}

TEST(Quad, ResamplingKeepsPixelCentres)
{
    // Pixel 0 of a quarter-size image covers full-size pixels 0 to 3, whose centre is 1.5.
    const Quad small({cv::Point2f(0, 0), cv::Point2f(10, 0), cv::Point2f(10, 5), cv::Point2f(0, 5)});
    const Quad full = small.resampled(4);
    EXPECT_FLOAT_EQ(full[0].x, 1.5f);
    EXPECT_FLOAT_EQ(full[2].y, 21.5f);
    EXPECT_LT(full.resampled(0.25).maxCornerDistance(small), 1e-4);
}

TEST(Quad, MeasuresAnglesAndConvexity)
{
    const Quad rectangle({cv::Point2f(0, 0), cv::Point2f(40, 0), cv::Point2f(40, 30), cv::Point2f(0, 30)});
    EXPECT_NEAR(rectangle.cornerAngle(1), 90, 1e-6);
    EXPECT_TRUE(rectangle.isConvex());
    const Quad bowTie({cv::Point2f(0, 0), cv::Point2f(40, 30), cv::Point2f(40, 0), cv::Point2f(0, 30)});
    EXPECT_FALSE(bowTie.isConvex());
}

TEST(Quad, LiesWithinAnImageUpToTheCentresOfItsLastPixels)
{
    const cv::Size image(640, 480);
    const struct {
        float left, top, right, bottom;
        bool within;
    } cases[] = {
        {0, 0, 639, 479, true},       {10, 10, 300, 200, true},     {-0.5f, 10, 300, 200, false},
        {10, -0.5f, 300, 200, false}, {10, 10, 639.5f, 200, false}, {10, 10, 300, 479.5f, false},
    };
    for (const auto &c : cases) {
        const Quad quad({cv::Point2f(c.left, c.top), cv::Point2f(c.right, c.top), cv::Point2f(c.right, c.bottom),
                         cv::Point2f(c.left, c.bottom)});
        EXPECT_EQ(quad.liesWithin(image), c.within) << c.left << " " << c.top << " " << c.right << " " << c.bottom;
    }
}
