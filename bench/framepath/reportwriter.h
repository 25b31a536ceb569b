#ifndef BENCH_FRAMEPATH_REPORTWRITER_H
#define BENCH_FRAMEPATH_REPORTWRITER_H

#include "appframepath.h"
#include "sizemeasurement.h"

#include <QSize>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <vector>

// Prints the benchmark's figures: a block per frame size as it is measured, then a summary table
// of the ratios and the latencies, then the stalled GUI run.
class ReportWriter {
public:
    explicit ReportWriter(std::FILE *out);

    void header(const QStringList &peers, double budgetMs, bool peaksPerRun);
    void sizeBlock(const SizeMeasurement::Result &result);
    void summary(const std::vector<SizeMeasurement::Result> &results);
    void stalledRun(const AppFramePath::StalledRun &run, QSize size, int subsampling, double fps,
                    std::chrono::milliseconds stall);

private:
    void appLine(const char *label, const AppFramePath::Run &run, double limitMs);

    std::FILE *m_out;
};

#endif
