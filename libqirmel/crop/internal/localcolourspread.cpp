#include "crop/internal/localcolourspread.h"

#include <opencv2/core/hal/hal.hpp>
#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>

namespace qirmel {

namespace {

// The largest window whose sum of squared levels stays below 2^31, as the conversion to double needs.
constexpr int kMaxWindow = 181;

}  // namespace

LocalColourSpread::LocalColourSpread(const std::vector<cv::Mat> &colourDifferences, int largestWindow)
    : m_size(colourDifferences.front().size()), m_margin(largestWindow / 2), m_stride(m_size.width + 2 * m_margin + 1)
{
    CV_Assert(largestWindow % 2 == 1 && largestWindow <= kMaxWindow);
    const int rows = m_size.height + 2 * m_margin + 1;
    cv::Mat mirrored;
    for (const cv::Mat &channel : colourDifferences) {
        CV_Assert(channel.type() == CV_8UC1 && channel.size() == m_size);
        cv::copyMakeBorder(channel, mirrored, m_margin, m_margin, m_margin, m_margin, cv::BORDER_REFLECT_101);
        RunningSums sums{std::vector<std::uint32_t>(std::size_t(rows) * m_stride),
                         std::vector<std::uint32_t>(std::size_t(rows) * m_stride)};
        for (int y = 1; y < rows; ++y) {
            const unsigned char *levels = mirrored.ptr<unsigned char>(y - 1);
            const std::uint32_t *valuesAbove = &sums.values[std::size_t(y - 1) * m_stride];
            const std::uint32_t *squaresAbove = &sums.squares[std::size_t(y - 1) * m_stride];
            std::uint32_t *valuesHere = &sums.values[std::size_t(y) * m_stride];
            std::uint32_t *squaresHere = &sums.squares[std::size_t(y) * m_stride];
            std::uint32_t rowValues = 0;
            std::uint32_t rowSquares = 0;
            for (int x = 1; x < m_stride; ++x) {
                const std::uint32_t level = levels[x - 1];
                rowValues += level;
                rowSquares += level * level;
                valuesHere[x] = valuesAbove[x] + rowValues;
                squaresHere[x] = squaresAbove[x] + rowSquares;
            }
        }
        m_sums.push_back(std::move(sums));
    }
}

void LocalColourSpread::addVariances(int window, int y, float *out) const
{
    const int radius = window / 2;
    // Each window's sums are whole numbers; the means and what follows are taken in the same types and
    // order as with box filters (a double sum scaled in double, then single precision), so that thresholds
    // on the spread fall alike.
    const double scale = 1. / (window * window);
    const cv::v_float64x2 scales = cv::v_setall_f64(scale);
    const cv::v_float32x4 zero = cv::v_setzero_f32();
    std::fill(out, out + m_size.width, 0.f);
    for (const RunningSums &sums : m_sums) {
        // Entries bounding the window around (x, y) of the picture: rows top and bottom, columns x + left
        // and x + right.
        const std::size_t top = std::size_t(y + m_margin - radius) * m_stride + (m_margin - radius);
        const std::size_t bottom = top + std::size_t(window) * m_stride;
        const std::uint32_t *values[] = {&sums.values[top], &sums.values[bottom]};
        const std::uint32_t *squares[] = {&sums.squares[top], &sums.squares[bottom]};
        int x = 0;
        const auto windowSum = [&](const std::uint32_t *const rows[2], int at) {
            return cv::v_reinterpret_as_s32(cv::v_load(rows[1] + at + window) - cv::v_load(rows[1] + at) -
                                            cv::v_load(rows[0] + at + window) + cv::v_load(rows[0] + at));
        };
        for (; x + cv::v_float32x4::nlanes <= m_size.width; x += cv::v_float32x4::nlanes) {
            const cv::v_int32x4 sum = windowSum(values, x);
            const cv::v_int32x4 squareSum = windowSum(squares, x);
            const cv::v_float32x4 mean = cv::v_cvt_f32(cv::v_cvt_f64(sum) * scales, cv::v_cvt_f64_high(sum) * scales);
            const cv::v_float32x4 meanOfSquares =
                cv::v_cvt_f32(cv::v_cvt_f64(squareSum) * scales, cv::v_cvt_f64_high(squareSum) * scales);
            const cv::v_float32x4 spread = meanOfSquares - mean * mean;
            cv::v_store(out + x, cv::v_load(out + x) + cv::v_select(spread > zero, spread, zero));
        }
        for (; x < m_size.width; ++x) {
            const auto scalarSum = [&](const std::uint32_t *const rows[2]) {
                return int(rows[1][x + window] - rows[1][x] - rows[0][x + window] + rows[0][x]);
            };
            const float mean = float(scalarSum(values) * scale);
            const float meanOfSquares = float(scalarSum(squares) * scale);
            const float spread = meanOfSquares - mean * mean;
            out[x] += spread > 0 ? spread : 0;
        }
    }
}

cv::Mat LocalColourSpread::over(int window) const
{
    CV_Assert(window % 2 == 1 && window / 2 <= m_margin);
    cv::Mat spread(m_size, CV_32F);
    for (int y = 0; y < m_size.height; ++y) {
        float *row = spread.ptr<float>(y);
        addVariances(window, y, row);
        cv::hal::sqrt32f(row, row, m_size.width);
    }
    return spread;
}

std::size_t LocalColourSpread::countBelow(int window, float level) const
{
    CV_Assert(window % 2 == 1 && window / 2 <= m_margin);
    std::vector<float> row(m_size.width);
    std::size_t below = 0;
    for (int y = 0; y < m_size.height; ++y) {
        addVariances(window, y, row.data());
        cv::hal::sqrt32f(row.data(), row.data(), m_size.width);
        below += std::size_t(std::count_if(row.begin(), row.end(), [level](float spread) { return spread < level; }));
    }
    return below;
}

}  // namespace qirmel
