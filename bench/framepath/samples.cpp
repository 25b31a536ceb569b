#include "samples.h"

#include <algorithm>
#include <cmath>

void Samples::add(double value)
{
    m_values.push_back(value);
}

void Samples::append(const Samples &other)
{
    m_values.insert(m_values.end(), other.m_values.begin(), other.m_values.end());
}

int Samples::count() const
{
    return int(m_values.size());
}

bool Samples::empty() const
{
    return m_values.empty();
}

double Samples::median() const
{
    return percentile(50);
}

double Samples::percentile(double p) const
{
    if (m_values.empty())
        return std::nan("");
    std::vector<double> sorted = m_values;
    std::sort(sorted.begin(), sorted.end());
    const double rank = std::ceil(p / 100.0 * double(sorted.size()));
    const std::size_t index = std::size_t(std::clamp(rank, 1.0, double(sorted.size()))) - 1;
    return sorted[index];
}
