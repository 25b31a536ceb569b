#include "crop/internal/drawnlines.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <string>

using namespace qirmel;

namespace {

const cv::Scalar kDesk(90, 100, 110);
const cv::Scalar kWood(150, 190, 220);
const cv::Scalar kMark(40, 40, 40);

// A desk with a ruler 40 pixels wide (or as wide as given) lying across it, its marks every 40 pixels
// from 20 pixels past its end, two pixels thick: along the y axis from (380, 50) to (420, 550), or
// turned along the x axis.
cv::Mat ruler(bool alongX, int width = 40)
{
    cv::Mat bgr(600, 800, CV_8UC3, kDesk);
    cv::Mat ruler(500, width, CV_8UC3, kWood);
    for (int y = 20; y < ruler.rows; y += 40)
        ruler.rowRange(y, y + 2).setTo(kMark);
    if (!alongX) {
        ruler.copyTo(bgr(cv::Rect(380, 50, width, 500)));
        return bgr;
    }
    cv::Mat turned;
    cv::transpose(ruler, turned);
    turned.copyTo(bgr(cv::Rect(50, 280, 500, width)));
    return bgr;
}

// A pink note on a grey desk of the same brightness, edged by its thin shadow.
cv::Mat noteOnEqualGrey()
{
    cv::Mat bgr(600, 800, CV_8UC3, cv::Scalar(150, 150, 150));
    bgr(cv::Rect(298, 198, 204, 204)).setTo(cv::Scalar(60, 60, 60));
    bgr(cv::Rect(300, 200, 200, 200)).setTo(cv::Scalar(160, 130, 185));
    return bgr;
}

// A form on the desk, a rule drawn down it near its right edge.
cv::Mat ruledForm()
{
    cv::Mat bgr(600, 800, CV_8UC3, kDesk);
    bgr(cv::Rect(200, 150, 400, 300)).setTo(cv::Scalar(240, 240, 240));
    bgr(cv::Rect(520, 150, 2, 300)).setTo(kMark);
    return bgr;
}

Quad box(float left, float top, float right, float bottom)
{
    return Quad(
        {cv::Point2f(left, top), cv::Point2f(right, top), cv::Point2f(right, bottom), cv::Point2f(left, bottom)});
}

}  // namespace

TEST(DrawnLines, TellsAStretchOfARulerFromAnObjectsOwnEdges)
{
    struct Case {
        std::string name;
        cv::Mat picture;
        Quad outline;
        bool bound;
        // In grey alone, where only a tint tells a sheet from the desk, its sides look drawn.
        bool boundInGrey;
    };
    const Case cases[] = {
        {"a ruler between two marks", ruler(false), box(380, 150.5f, 420, 390.5f), true, true},
        {"a ruler turned, between two marks", ruler(true), box(150.5f, 280, 390.5f, 320), true, true},
        {"a wide ruler between two marks", ruler(false, 100), box(380, 150.5f, 480, 230.5f), true, true},
        {"a ruler from its end to a mark", ruler(false), box(380, 50, 420, 390.5f), true, true},
        {"a ruler turned, from its end to a mark", ruler(true), box(50, 280, 390.5f, 320), true, true},
        {"a form from its edge to a rule drawn down it", ruledForm(), box(200, 150, 520.5f, 450), false, false},
        {"a stretch of bare desk", ruler(false), box(500, 100, 700, 300), false, false},
        {"a whole ruler", ruler(false), box(380, 50, 420, 550), false, false},
        {"a note as bright as the desk, edged by its shadow", noteOnEqualGrey(), box(300, 200, 500, 400), false, true},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DrawnLines::bound(c.picture, c.outline), c.bound) << c.name;
        cv::Mat grey;
        cv::cvtColor(c.picture, grey, cv::COLOR_BGR2GRAY);
        EXPECT_EQ(DrawnLines::bound(grey, c.outline), c.boundInGrey) << c.name << ", in grey";
    }
}
