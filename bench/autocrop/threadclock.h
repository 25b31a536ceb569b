#ifndef BENCH_AUTOCROP_THREADCLOCK_H
#define BENCH_AUTOCROP_THREADCLOCK_H

#include <ctime>

// CPU time of the calling thread in milliseconds: on a machine shared with other work, wall-clock time
// also counts the time this thread waited for a core, which says nothing about what the work costs.
inline double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

#endif
