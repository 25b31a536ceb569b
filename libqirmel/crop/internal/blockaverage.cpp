#include "crop/internal/blockaverage.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <vector>

namespace qirmel {

namespace {

// Rows of a colour picture turned grey at a time.
constexpr int kBandRows = 32;

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

// One row of blocks: the column sums over the block's rows (rows[0] to rows[factor - 1]), then their means.
void reduceRow(const unsigned char *const *rows, int factor, std::uint16_t *columnSums, int width, unsigned char *out,
               const unsigned char *mean)
{
    int x = 0;
    for (; x + cv::v_uint8::nlanes <= width; x += cv::v_uint8::nlanes) {
        cv::v_uint16 low;
        cv::v_uint16 high;
        cv::v_expand(cv::vx_load(rows[0] + x), low, high);
        for (int k = 1; k < factor; ++k) {
            cv::v_uint16 nextLow;
            cv::v_uint16 nextHigh;
            cv::v_expand(cv::vx_load(rows[k] + x), nextLow, nextHigh);
            low += nextLow;
            high += nextHigh;
        }
        cv::v_store(&columnSums[x], low);
        cv::v_store(&columnSums[x + cv::v_uint16::nlanes], high);
    }
    for (; x < width; ++x) {
        int sum = 0;
        for (int k = 0; k < factor; ++k)
            sum += rows[k][x];
        columnSums[x] = std::uint16_t(sum);
    }
    averageAcross(columnSums, out, width / factor, mean, factor);
}

}  // namespace

cv::Mat BlockAverage::reduce(const cv::Mat &picture, int factor)
{
    CV_Assert((picture.type() == CV_8UC1 || picture.type() == CV_8UC3) && factor >= 1 && picture.cols >= factor &&
              picture.rows >= factor);
    const cv::Size size(picture.cols / factor, picture.rows / factor);
    const cv::Mat covered = picture(cv::Rect(0, 0, size.width * factor, size.height * factor));
    if (factor <= 2) {
        cv::Mat grey;
        if (picture.channels() == 3)
            cv::cvtColor(covered, grey, cv::COLOR_BGR2GRAY);
        else
            grey = factor == 1 ? covered.clone() : covered;
        if (factor == 1)
            return grey;
        // OpenCV averages halves in one vectorised pass.
        cv::Mat reduced;
        cv::resize(grey, reduced, size, 0, 0, cv::INTER_AREA);
        return reduced;
    }
    // A column's sum over a block's rows fits 16 bits up to 257 rows.
    CV_Assert(factor <= 257);
    cv::Mat reduced(size, CV_8UC1);
    // Every sum's mean, computed as OpenCV computes it: the sum times the reciprocal of the block's area
    // in single precision, rounded to the nearest level.
    const float reciprocal = 1.f / float(factor * factor);
    std::vector<unsigned char> mean(255 * factor * factor + 1);
    for (std::size_t sum = 0; sum < mean.size(); ++sum)
        mean[sum] = cv::saturate_cast<unsigned char>(int(sum) * reciprocal);

    // A colour picture is turned grey a band of block rows at a time, a band small enough to stay in the
    // cache while it is summed: the whole picture in grey would be written to memory and read back.
    const int bandRows = std::max(1, kBandRows / factor) * factor;
    cv::Mat band;
    std::vector<std::uint16_t> columnSums(covered.cols);
    std::vector<const unsigned char *> rows(factor);
    for (int top = 0; top < covered.rows; top += bandRows) {
        const cv::Mat bandOfPicture = covered.rowRange(top, std::min(covered.rows, top + bandRows));
        const cv::Mat &grey = picture.channels() == 3 ? band : bandOfPicture;
        if (picture.channels() == 3)
            cv::cvtColor(bandOfPicture, band, cv::COLOR_BGR2GRAY);
        for (int y = 0; y < grey.rows; y += factor) {
            for (int k = 0; k < factor; ++k)
                rows[k] = grey.ptr<unsigned char>(y + k);
            reduceRow(rows.data(), factor, columnSums.data(), covered.cols, reduced.ptr<unsigned char>((top + y) / factor),
                      mean.data());
        }
    }
    return reduced;
}

}  // namespace qirmel
