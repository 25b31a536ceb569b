// Where two lines given by a point and a direction meet: the corners of an outline from its sides.
#ifndef QIRMEL_CROP_LINEMEETING_H
#define QIRMEL_CROP_LINEMEETING_H

#include <opencv2/core.hpp>

#include <cmath>

namespace qirmel {

// Stores in at the point where the lines through aPoint along aDirection and through bPoint along
// bDirection cross; false, leaving at untouched, when they are parallel.
inline bool linesMeet(cv::Point2f aPoint, cv::Point2f aDirection, cv::Point2f bPoint, cv::Point2f bDirection,
                      cv::Point2f &at)
{
    const double denominator = double(aDirection.x) * bDirection.y - double(aDirection.y) * bDirection.x;
    if (std::abs(denominator) < 1e-6)
        return false;
    const cv::Point2f q = bPoint - aPoint;
    const double t = (double(q.x) * bDirection.y - double(q.y) * bDirection.x) / denominator;
    at = aPoint + aDirection * float(t);
    return true;
}

}  // namespace qirmel

#endif  // QIRMEL_CROP_LINEMEETING_H
