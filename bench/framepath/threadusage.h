#ifndef BENCH_FRAMEPATH_THREADUSAGE_H
#define BENCH_FRAMEPATH_THREADUSAGE_H

#include <cstdint>

// What the calling thread has consumed so far: CPU time and minor page faults. Per-thread figures
// stay true when other processes load the machine, which wall-clock time does not.
struct ThreadUsage {
    std::int64_t cpuNs = 0;
    long minorFaults = 0;

    static ThreadUsage now();
    // Monotonic wall-clock time, for latencies, which are wall time by nature.
    static std::int64_t wallNs();

    ThreadUsage operator-(const ThreadUsage &earlier) const;
};

#endif
