#ifndef BENCH_SOAK_RESIDENTMEMORY_H
#define BENCH_SOAK_RESIDENTMEMORY_H

#include <cstdint>

// The process's resident memory as the kernel counts it.
class ResidentMemory {
public:
    // Resident bytes after the allocator has handed back the free memory it keeps for later, so that
    // two readings differ by what the process holds, not by how the allocator caches. -1 if unknown.
    static std::int64_t settledBytes();

    // Bytes the allocator has handed out and not had back: what a leak adds to, as opposed to the
    // resident pages that fragmentation can add to as well.
    static std::int64_t heapInUseBytes();
};

#endif
