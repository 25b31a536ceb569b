#include "crop/internal/lineprofile.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

TEST(LineProfile, CountsSupportOnlyWhereTheEdgeRunsInsideTheImage)
{
    // A bright band over the lower part of the image from x = 60 to x = 180, with its upper edge at y = 60.
    cv::Mat band(135, 240, CV_8UC1, cv::Scalar(80));
    cv::rectangle(band, cv::Rect(60, 60, 120, 75), cv::Scalar(200), cv::FILLED);
    cv::GaussianBlur(band, band, cv::Size(5, 5), 0);
    // Along the edge, left to right: the normal (direction.y, -direction.x) points up, away from the band.
    const EdgeSupport support(std::vector<cv::Mat>{band});
    const LineProfile profile(EdgeLine{cv::Point2f(0, 59.5f), cv::Point2f(1, 0), 240, {}, {}}, support);
    const LineProfile::Stretch alongBand = profile.stretch(70, 170);
    const int onEdge = LineProfile::visible(alongBand);
    EXPECT_NEAR(onEdge, 100 / LineProfile::kStep, 1);
    EXPECT_EQ(profile.supported(0, 1, alongBand), onEdge) << "brightness falls towards the normal all along";
    EXPECT_EQ(profile.supported(0, 0, alongBand), 0);
    EXPECT_EQ(profile.supported(0, 1, profile.stretch(10, 50)), 0) << "no edge left of the band";
    EXPECT_EQ(LineProfile::visible(profile.stretch(-500, -100)), 0);
    EXPECT_NEAR(LineProfile::visible(profile.stretch(-500, 500)), (240 - 5) / LineProfile::kStep, 1);
}
