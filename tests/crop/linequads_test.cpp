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

// A cloth's many stripes, all longer than a small page's sides, leave room among the lines for the sides.
TEST(LineFinder, KeepsAPagesSidesAmongAClothsStripes)
{
    const cv::Size frame(240, 180);
    cv::Mat edges(frame, CV_8UC1, cv::Scalar(0));
    for (int x = -110; x < frame.width; x += 4)
        cv::line(edges, cv::Point(x, 0), cv::Point(x + 104, frame.height), cv::Scalar(255));
    cv::Point2f corners[4];
    cv::RotatedRect(cv::Point2f(120, 90), cv::Size2f(70, 50), 10).points(corners);
    const std::vector<cv::Point> page(corners, corners + 4);
    cv::fillConvexPoly(edges, page, cv::Scalar(0));
    cv::polylines(edges, page, true, cv::Scalar(255));

    const std::vector<EdgeLine> lines = LineFinder::find({edges}, 12, 40);
    for (int side = 0; side < 4; ++side) {
        const cv::Point2f from = corners[side];
        const cv::Point2f along = (corners[(side + 1) % 4] - from) / float(cv::norm(corners[(side + 1) % 4] - from));
        const bool found = std::any_of(lines.begin(), lines.end(), [&](const EdgeLine &line) {
            const cv::Point2f apart = from - line.point;
            return line.towardsPattern == cv::Point2f() && std::abs(line.direction.dot(along)) > 0.999f &&
                   std::abs(apart.x * line.direction.y - apart.y * line.direction.x) < 1.5f;
        });
        EXPECT_TRUE(found) << "side " << side;
    }
}
