#include "threadusage.h"

#include <sys/resource.h>
#include <time.h>

namespace {

std::int64_t clockNs(clockid_t clock)
{
    timespec time{};
    clock_gettime(clock, &time);
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

ThreadUsage ThreadUsage::now()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return {clockNs(CLOCK_THREAD_CPUTIME_ID), usage.ru_minflt};
}

std::int64_t ThreadUsage::wallNs()
{
    return clockNs(CLOCK_MONOTONIC);
}

ThreadUsage ThreadUsage::operator-(const ThreadUsage &earlier) const
{
    return {cpuNs - earlier.cpuNs, minorFaults - earlier.minorFaults};
}
