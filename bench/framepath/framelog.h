#ifndef BENCH_FRAMEPATH_FRAMELOG_H
#define BENCH_FRAMEPATH_FRAMELOG_H

#include "threadusage.h"

#include <cstdint>
#include <map>
#include <mutex>

// What became of each frame of one run, by the number the camera gave it: when GetFrameBuffer
// handed it over, what the frame thread spent on it before its next read, when the preview had
// it, and what the GUI thread spent since the frame before. The frame thread and the GUI thread
// write it; the benchmark reads it once the run is over.
class FrameLog {
public:
    struct Entry {
        std::int64_t servedWallNs = -1;
        std::int64_t shownWallNs = -1;
        bool frameThreadDone = false;
        ThreadUsage frameThread;
        ThreadUsage guiThread;
    };

    void clear();
    void served(int frame, std::int64_t wallNs);
    void frameThreadSpent(int frame, ThreadUsage spent);
    void shown(int frame, std::int64_t wallNs, ThreadUsage guiSpent);
    std::map<int, Entry> entries() const;
    int shownCount() const;

private:
    mutable std::mutex m_mutex;
    std::map<int, Entry> m_entries;
};

#endif
