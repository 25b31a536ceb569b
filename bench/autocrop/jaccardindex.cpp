#include "jaccardindex.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

double JaccardIndex::score(const qirmel::Quad &truth, double aspect, const std::optional<qirmel::Quad> &found)
{
    if (!found)
        return 0;
    const float height = 1000;
    const float width = float(height * aspect);
    const std::vector<cv::Point2f> page = {{0, 0}, {width, 0}, {width, height}, {0, height}};
    const cv::Mat toPage = cv::getPerspectiveTransform(truth.points(), page);
    std::vector<cv::Point2f> mapped;
    const std::vector<cv::Point2f> points = found->points();
    // Found corners beyond the true outline's horizon have no image in the page's plane.
    const cv::Matx33d h(toPage);
    for (const cv::Point2f &p : points)
        if ((h * cv::Vec3d(p.x, p.y, 1))[2] <= 0)
            return 0;
    cv::perspectiveTransform(points, mapped, toPage);
    if (!cv::isContourConvex(mapped))
        return 0;
    std::vector<cv::Point2f> overlap;
    const double intersection = cv::intersectConvexConvex(page, mapped, overlap, true);
    const double pageArea = double(width) * height;
    const double unionArea = pageArea + std::abs(cv::contourArea(mapped)) - intersection;
    return unionArea > 0 ? std::clamp(intersection / unionArea, 0.0, 1.0) : 0;
}
