#include "categorystats.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

void CategoryStats::add(const std::string &category, double score)
{
    m_scores[category].push_back(score);
}

void CategoryStats::print() const
{
    std::printf("%-34s %5s %8s %8s %8s %8s\n", "category", "n", "mean", "median", ">=0.95", "min");
    for (const auto &[category, scores] : m_scores) {
        const double good = double(std::count_if(scores.begin(), scores.end(), [](double s) { return s >= 0.95; }));
        std::printf("%-34s %5zu %8.4f %8.4f %7.1f%% %8.4f\n", category.c_str(), scores.size(), mean(scores),
                    quantile(scores, 0.5), 100 * good / scores.size(), *std::min_element(scores.begin(), scores.end()));
    }
}

double CategoryStats::mean(const std::vector<double> &values)
{
    return values.empty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

double CategoryStats::quantile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    const std::size_t at = std::min(values.size() - 1, std::size_t(share * values.size()));
    std::nth_element(values.begin(), values.begin() + at, values.end());
    return values[at];
}
