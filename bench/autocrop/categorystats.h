#ifndef BENCH_AUTOCROP_CATEGORYSTATS_H
#define BENCH_AUTOCROP_CATEGORYSTATS_H

#include <map>
#include <string>
#include <vector>

// Collects per-scene scores under category names and prints mean, median and the share of
// scores at or above 0.95 for each.
class CategoryStats {
public:
    void add(const std::string &category, double score);
    void print() const;

    static double mean(const std::vector<double> &values);
    // The value below which the given share of values lie (0.5 for the median).
    static double quantile(std::vector<double> values, double share);

private:
    std::map<std::string, std::vector<double>> m_scores;
};

#endif
