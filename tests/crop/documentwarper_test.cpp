#include "crop/documentwarper.h"
#include "scenes/scenerenderer.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

namespace {

// The outline a rectangle of the given proportions makes under rotation and perspective.
Quad viewed(Document document, double tiltX, double tiltY, double rotation)
{
    SceneLayout layout;
    layout.document = document;
    layout.areaShare = 0.3;
    layout.rotationDegrees = rotation;
    layout.tiltXDegrees = tiltX;
    layout.tiltYDegrees = tiltY;
    return Quad::fromUnordered(SceneRenderer::outline(layout, cv::Size(1920, 1080))->points());
}

double longOverShort(const cv::Size &size)
{
    return double(std::max(size.width, size.height)) / std::min(size.width, size.height);
}

} // namespace

TEST(DocumentWarper, OutputHasTheDocumentsProportions)
{
    const cv::Size frame(1920, 1080);
    for (const auto &[tiltX, tiltY, rotation] : {std::tuple{0.0, 0.0, 0.0}, std::tuple{12.0, -8.0, 25.0}, std::tuple{-15.0, 10.0, 80.0}}) {
        EXPECT_NEAR(longOverShort(DocumentWarper::outputSize(viewed(Document::A4, tiltX, tiltY, rotation), frame)), std::sqrt(2.0), 0.01);
        EXPECT_NEAR(longOverShort(DocumentWarper::outputSize(viewed(Document::IdCard, tiltX, tiltY, rotation), frame)), 85.6 / 54, 0.01);
        EXPECT_NEAR(longOverShort(DocumentWarper::outputSize(viewed(Document::Letter, tiltX, tiltY, rotation), frame)), 11 / 8.5, 0.01);
    }
}

TEST(DocumentWarper, RecoversAnUnknownFormatFromPerspective)
{
    SceneLayout layout;
    layout.document = Document::Receipt;
    layout.receiptLength = 3.1;
    layout.areaShare = 0.2;
    layout.tiltXDegrees = 14;
    layout.tiltYDegrees = -12;
    const Quad quad = Quad::fromUnordered(SceneRenderer::outline(layout, cv::Size(1920, 1080))->points());
    EXPECT_NEAR(longOverShort(DocumentWarper::outputSize(quad, cv::Size(1920, 1080))), 3.1, 0.08);
}

TEST(DocumentWarper, StraightensTheDocumentItself)
{
    // A dark frame with a bright rectangle: the warp must bring its corners to the output's corners.
    cv::Mat frame(600, 800, CV_8UC1, cv::Scalar(20));
    const std::vector<cv::Point> page = {{200, 100}, {600, 140}, {560, 520}, {160, 480}};
    cv::fillConvexPoly(frame, page, cv::Scalar(230));
    const Quad quad({cv::Point2f(199.5f, 99.5f), cv::Point2f(600.5f, 139.5f), cv::Point2f(560.5f, 520.5f), cv::Point2f(159.5f, 480.5f)});
    const cv::Mat out = DocumentWarper::warp(frame, quad);
    ASSERT_FALSE(out.empty());
    EXPECT_GT(cv::mean(out)[0], 215);
    EXPECT_GT(out.at<uchar>(2, 2), 200);
    EXPECT_GT(out.at<uchar>(out.rows - 3, out.cols - 3), 200);
}
