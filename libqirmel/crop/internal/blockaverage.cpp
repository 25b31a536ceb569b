#include "crop/internal/blockaverage.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <vector>

namespace qirmel {

namespace {

// The sums of `factor` neighbouring column sums, each mapped to its rounded mean. A block's width known
// when compiling (Factor; 0 for one given at run time) lets the sum unroll, which is most of what this
// step costs.
template <int Factor>
void averageAcross(const std::uint16_t *columnSums, unsigned char *out, int width, const unsigned char *mean,
                   int factor)
{
    const int blockWidth = Factor > 0 ? Factor : factor;
    for (int x = 0; x < width; ++x, columnSums += blockWidth) {
        int sum = 0;
        for (int k = 0; k < blockWidth; ++k)
            sum += columnSums[k];
        out[x] = mean[sum];
    }
}

void averageAcross(const std::uint16_t *columnSums, unsigned char *out, int width, const unsigned char *mean,
                   int factor)
{
    switch (factor) {
    case 3:
        return averageAcross<3>(columnSums, out, width, mean, factor);
    case 4:
        return averageAcross<4>(columnSums, out, width, mean, factor);
    case 5:
        return averageAcross<5>(columnSums, out, width, mean, factor);
    case 6:
        return averageAcross<6>(columnSums, out, width, mean, factor);
    default:
        return averageAcross<0>(columnSums, out, width, mean, factor);
    }
}

}  // namespace

cv::Mat BlockAverage::reduce(const cv::Mat &grey, int factor)
{
    CV_Assert(grey.type() == CV_8UC1 && factor >= 1 && grey.cols >= factor && grey.rows >= factor);
    const cv::Size size(grey.cols / factor, grey.rows / factor);
    if (factor == 1)
        return grey(cv::Rect(cv::Point(), size)).clone();
    cv::Mat reduced;
    if (factor == 2) {
        cv::resize(grey(cv::Rect(0, 0, 2 * size.width, 2 * size.height)), reduced, size, 0, 0, cv::INTER_AREA);
        return reduced;
    }
    // A column's sum over a block's rows fits 16 bits up to 257 rows.
    CV_Assert(factor <= 257);
    reduced.create(size, CV_8UC1);
    // Every sum's mean, computed as OpenCV computes it: the sum times the reciprocal of the block's area
    // in single precision, rounded to the nearest level.
    const float reciprocal = 1.f / float(factor * factor);
    std::vector<unsigned char> mean(255 * factor * factor + 1);
    for (std::size_t sum = 0; sum < mean.size(); ++sum)
        mean[sum] = cv::saturate_cast<unsigned char>(int(sum) * reciprocal);

    const int width = size.width * factor;
    std::vector<std::uint16_t> columnSums(width);
    for (int y = 0; y < size.height; ++y) {
        const unsigned char *first = grey.ptr<unsigned char>(y * factor);
        int x = 0;
        for (; x + cv::v_uint8::nlanes <= width; x += cv::v_uint8::nlanes) {
            cv::v_uint16 low;
            cv::v_uint16 high;
            cv::v_expand(cv::vx_load(first + x), low, high);
            for (int k = 1; k < factor; ++k) {
                cv::v_uint16 nextLow;
                cv::v_uint16 nextHigh;
                cv::v_expand(cv::vx_load(grey.ptr<unsigned char>(y * factor + k) + x), nextLow, nextHigh);
                low += nextLow;
                high += nextHigh;
            }
            cv::v_store(&columnSums[x], low);
            cv::v_store(&columnSums[x + cv::v_uint16::nlanes], high);
        }
        for (; x < width; ++x) {
            int sum = 0;
            for (int k = 0; k < factor; ++k)
                sum += grey.ptr<unsigned char>(y * factor + k)[x];
            columnSums[x] = std::uint16_t(sum);
        }
        averageAcross(columnSums.data(), reduced.ptr<unsigned char>(y), size.width, mean.data(), factor);
    }
    return reduced;
}

}  // namespace qirmel
