#include "crop/documentwarper.h"
#include "scenes/scenerenderer.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

namespace {

// The outline a rectangle of the given proportions (a receipt 3.1 times as long as wide) makes under
// rotation and perspective.
Quad viewed(Document document, double tiltX, double tiltY, double rotation, double areaShare = 0.3)
{
    SceneLayout layout;
    layout.document = document;
    layout.receiptLength = 3.1;
    layout.areaShare = areaShare;
    layout.rotationDegrees = rotation;
    layout.tiltXDegrees = tiltX;
    layout.tiltYDegrees = tiltY;
    return Quad::fromUnordered(SceneRenderer::outline(layout, cv::Size(1920, 1080))->points());
}

double longOverShort(const cv::Size &size)
{
    return double(std::max(size.width, size.height)) / std::min(size.width, size.height);
}

}  // namespace

TEST(DocumentWarper, OutputHasTheDocumentsProportions)
{
    const cv::Size frame(1920, 1080);
    for (const auto &[tiltX, tiltY, rotation] :
         {std::tuple{0.0, 0.0, 0.0}, std::tuple{12.0, -8.0, 25.0}, std::tuple{-15.0, 10.0, 80.0}}) {
        EXPECT_NEAR(longOverShort(DocumentWarper::outputSize(viewed(Document::A4, tiltX, tiltY, rotation), frame)),
                    std::sqrt(2.0), 0.01);
        EXPECT_NEAR(longOverShort(DocumentWarper::outputSize(viewed(Document::IdCard, tiltX, tiltY, rotation), frame)),
                    85.6 / 54, 0.01);
        EXPECT_NEAR(longOverShort(DocumentWarper::outputSize(viewed(Document::Letter, tiltX, tiltY, rotation), frame)),
                    11 / 8.5, 0.01);
    }
}

TEST(DocumentWarper, RecoversAnUnknownFormatFromPerspective)
{
    const Quad receipt = viewed(Document::Receipt, 14, -12, 0, 0.2);
    EXPECT_NEAR(longOverShort(DocumentWarper::outputSize(receipt, cv::Size(1920, 1080))), 3.1, 0.08);
}

TEST(DocumentWarper, StraightensTheDocumentItself)
{
    // A dark frame with a bright page: the warp must bring its corners to the output's corners, with
    // the dark mark near its top left corner where it was, not mirrored.
    cv::Mat frame(600, 800, CV_8UC1, cv::Scalar(20));
    const std::vector<cv::Point> page = {{200, 100}, {600, 140}, {560, 520}, {160, 480}};
    cv::fillConvexPoly(frame, page, cv::Scalar(230));
    cv::circle(frame, cv::Point(240, 150), 20, cv::Scalar(20), cv::FILLED);
    const Quad quad({cv::Point2f(199.5f, 99.5f), cv::Point2f(600.5f, 139.5f), cv::Point2f(560.5f, 520.5f),
                     cv::Point2f(159.5f, 480.5f)});
    const cv::Mat out = DocumentWarper::warp(frame, quad);
    ASSERT_FALSE(out.empty());
    EXPECT_GT(cv::mean(out)[0], 215);
    EXPECT_GT(out.at<uchar>(2, 2), 200);
    EXPECT_GT(out.at<uchar>(out.rows - 3, out.cols - 3), 200);
    EXPECT_LT(out.at<uchar>(int(0.12 * out.rows), int(0.11 * out.cols)), 100);
}
