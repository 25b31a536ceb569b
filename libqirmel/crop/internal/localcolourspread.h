#ifndef QIRMEL_CROP_LOCALCOLOURSPREAD_H
#define QIRMEL_CROP_LOCALCOLOURSPREAD_H

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace qirmel {

// How much a picture's colour varies around each pixel: the square root of the summed variances of its
// colour differences over a square window centred there, the picture mirrored beyond its border (as
// OpenCV's box filter does, to the float). The running sums behind it are built once, so that windows of
// several sizes cost a few lookups a pixel each. Immutable once built.
class LocalColourSpread {
public:
    // colourDifferences: 8-bit images of one size; largestWindow: the largest odd window asked for.
    LocalColourSpread(const std::vector<cv::Mat> &colourDifferences, int largestWindow);

    const cv::Size &size() const { return m_size; }
    // The spread over an odd window, as a float image of the pictures' size.
    cv::Mat over(int window) const;
    // How many pixels' spread over an odd window is below level: over(window) < level counted, without
    // the image.
    std::size_t countBelow(int window, float level) const;

private:
    // One row of the summed variances over an odd window, the channels added in their order.
    void addVariances(int window, int y, float *out) const;

    // The running sums of a colour difference's values and of their squares over the mirrored picture:
    // entry (y, x) sums the rows above y and the columns left of x. They wrap around past 32 bits, while
    // a window's sums, the differences of four entries, stay well within them.
    struct RunningSums {
        std::vector<std::uint32_t> values;
        std::vector<std::uint32_t> squares;
    };

    cv::Size m_size;
    int m_margin;
    int m_stride;
    std::vector<RunningSums> m_sums;
};

}  // namespace qirmel

#endif
