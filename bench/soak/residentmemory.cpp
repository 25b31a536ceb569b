#include "residentmemory.h"

#include <malloc.h>
#include <unistd.h>

#include <fstream>

std::int64_t ResidentMemory::settledBytes()
{
    malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    std::int64_t sizePages = 0;
    std::int64_t residentPages = 0;
    if (!(statm >> sizePages >> residentPages))
        return -1;
    return residentPages * sysconf(_SC_PAGESIZE);
}

std::int64_t ResidentMemory::heapInUseBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return std::int64_t(info.uordblks + info.hblkhd);
}
