#ifndef BENCH_FRAMEPATH_SAMPLES_H
#define BENCH_FRAMEPATH_SAMPLES_H

#include <vector>

// A set of per-frame measurements. Medians and percentiles rather than means, so that a frame
// that another process delayed doesn't move the figure.
class Samples {
public:
    void add(double value);
    void append(const Samples &other);
    int count() const;
    bool empty() const;
    double median() const;
    // p from 0 to 100, nearest rank.
    double percentile(double p) const;

private:
    std::vector<double> m_values;
};

#endif
