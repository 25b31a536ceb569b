#ifndef BENCH_FRAMEPATH_PROCESSMEMORY_H
#define BENCH_FRAMEPATH_PROCESSMEMORY_H

#include <cstdint>

// The process's resident memory as the kernel counts it, with a peak that can be restarted so
// that each phase of the benchmark reports its own.
class ProcessMemory {
public:
    static std::int64_t peakBytes();
    // Restarts the peak from the current resident size; false where the kernel doesn't allow it,
    // and then peaks run from the start of the process.
    static bool resetPeak();
};

#endif
