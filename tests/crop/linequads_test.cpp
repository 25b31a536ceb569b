#include "crop/internal/linequads.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

namespace {

const cv::Size kSize(240, 135);

struct Judged {
    std::vector<Quad> quads;
    Quad truth;
};

// Lines and outlines for a sheet with the given corners drawn on a desk.
Judged judge(const std::vector<cv::Point2f> &corners)
{
    cv::Mat image(kSize, CV_8UC1, cv::Scalar(90));
    std::vector<cv::Point> polygon;
    for (const cv::Point2f &p : corners)
        polygon.emplace_back(cvRound(p.x * 16), cvRound(p.y * 16));
    cv::fillConvexPoly(image, polygon, cv::Scalar(210), cv::LINE_AA, 4);
    cv::GaussianBlur(image, image, cv::Size(5, 5), 0);
    const EdgeSupport support(std::vector<cv::Mat>{image});
    cv::Mat edges;
    cv::Canny(support.dx(), support.dy(), edges, 20, 60, true);
    const std::vector<EdgeLine> lines = LineFinder::find({edges}, 12, 40);
    const OutlineScorer scorer(support, kSize, std::nullopt, lines);
    return {LineQuads::find(lines, support, scorer, 0.04 * kSize.area(), 5), Quad::fromUnordered(corners)};
}

}  // namespace

TEST(LineQuads, PutsTheSheetFirstCompletingACornerBeyondTheFrame)
{
    // Pixel centres sit half a pixel inside the drawn polygon's outline.
    const Judged inside = judge({{60, 25}, {175, 35}, {168, 115}, {52, 104}});
    ASSERT_FALSE(inside.quads.empty());
    EXPECT_LT(inside.quads.front().maxCornerDistance(inside.truth), 1.5);
    const Judged cut = judge({{-15, 15}, {150, 10}, {160, 120}, {15, 125}});
    ASSERT_FALSE(cut.quads.empty());
    EXPECT_LT(cut.quads.front().maxCornerDistance(cut.truth), 2.5);
    EXPECT_LT(cut.quads.front()[Quad::kTopLeft].x, 0);
}

TEST(EdgeLine, ScaledKeepsItsEdgeAndTheSideItsPatternLiesOn)
{
    const EdgeLine line{cv::Point2f(10, 20), cv::Point2f(0.6f, 0.8f), 50, {-5, 0, 12.5f, 40}, cv::Point2f(0.8f, -0.6f)};
    const float sx = 0.5f;
    const float sy = 0.25f;
    const auto scale = [&](const cv::Point2f &p) { return cv::Point2f(p.x * sx, p.y * sy); };
    const EdgeLine scaled = line.scaled(sx, sy);
    ASSERT_EQ(scaled.onEdge.size(), line.onEdge.size());
    for (std::size_t i = 0; i < line.onEdge.size(); ++i) {
        const cv::Point2f expected = scale(line.point + line.direction * line.onEdge[i]);
        EXPECT_LT(cv::norm(scaled.point + scaled.direction * scaled.onEdge[i] - expected), 1e-4) << i;
    }
    EXPECT_NEAR(scaled.length, 50 * cv::norm(scale(line.direction)), 1e-4);
    EXPECT_NEAR(scaled.towardsPattern.dot(scaled.direction), 0, 1e-6);
    EXPECT_GT((scale(line.point + line.towardsPattern) - scaled.point).dot(scaled.towardsPattern), 0);
}
