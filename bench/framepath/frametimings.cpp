#include "frametimings.h"

#include "threadusage.h"

FrameTimings FrameTimings::timeEach(int count, const std::function<void(int)> &work)
{
    FrameTimings timings;
    for (int i = 0; i < count; ++i) {
        const std::int64_t wallStart = ThreadUsage::wallNs();
        const ThreadUsage start = ThreadUsage::now();
        work(i);
        const ThreadUsage spent = ThreadUsage::now() - start;
        timings.cpuMs.add(double(spent.cpuNs) / 1e6);
        timings.wallMs.add(double(ThreadUsage::wallNs() - wallStart) / 1e6);
    }
    return timings;
}

void FrameTimings::append(const FrameTimings &other)
{
    cpuMs.append(other.cpuMs);
    wallMs.append(other.wallMs);
}
