#include "crop/internal/chromachannels.h"

#include <algorithm>
#include <cmath>

namespace qirmel {

std::vector<cv::Mat> ChromaChannels::reduce(const cv::Mat &bgr, const cv::Size &size)
{
    CV_Assert(bgr.type() == CV_8UC3 && bgr.cols >= 2 && bgr.rows >= 2);
    cv::Mat redGreen(size, CV_8UC1);
    cv::Mat yellowBlue(size, CV_8UC1);
    const double fx = double(bgr.cols) / size.width;
    const double fy = double(bgr.rows) / size.height;
    std::vector<int> columns(size.width);
    for (int x = 0; x < size.width; ++x)
        columns[x] = 3 * std::clamp(int(std::floor((x + 0.5) * fx - 0.5)), 0, bgr.cols - 2);
    for (int y = 0; y < size.height; ++y) {
        const int top = std::clamp(int(std::floor((y + 0.5) * fy - 0.5)), 0, bgr.rows - 2);
        const unsigned char *upper = bgr.ptr<unsigned char>(top);
        const unsigned char *lower = bgr.ptr<unsigned char>(top + 1);
        unsigned char *rg = redGreen.ptr<unsigned char>(y);
        unsigned char *yb = yellowBlue.ptr<unsigned char>(y);
        for (int x = 0; x < size.width; ++x) {
            const int i = columns[x];
            const int b = upper[i] + upper[i + 3] + lower[i] + lower[i + 3];
            const int g = upper[i + 1] + upper[i + 4] + lower[i + 1] + lower[i + 4];
            const int r = upper[i + 2] + upper[i + 5] + lower[i + 2] + lower[i + 5];
            // Sums of four pixels, brought back to one pixel's scale; yellow against blue spans twice the
            // range of red against green, so it is halved. A white page on an off-white desk differs by
            // a few levels here, as much as the two differ in grey.
            rg[x] = cv::saturate_cast<unsigned char>(128 + (r - g) / 4);
            yb[x] = cv::saturate_cast<unsigned char>(128 + (r + g - 2 * b) / 8);
        }
    }
    return {redGreen, yellowBlue};
}

}  // namespace qirmel
