#ifndef BENCH_FRAMEPATH_FRAMETIMINGS_H
#define BENCH_FRAMEPATH_FRAMETIMINGS_H

#include "samples.h"

#include <functional>

// Per-frame costs of work done on the calling thread, in milliseconds.
struct FrameTimings {
    Samples cpuMs;
    Samples wallMs;

    // Runs work(i) for i from 0 to count - 1 and times each call on its own.
    static FrameTimings timeEach(int count, const std::function<void(int)> &work);
    void append(const FrameTimings &other);
};

#endif
