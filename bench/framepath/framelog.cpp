#include "framelog.h"

#include <algorithm>

void FrameLog::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
}

void FrameLog::served(int frame, std::int64_t wallNs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries[frame].servedWallNs = wallNs;
}

void FrameLog::frameThreadSpent(int frame, ThreadUsage spent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Entry &entry = m_entries[frame];
    entry.frameThread = spent;
    entry.frameThreadDone = true;
}

void FrameLog::shown(int frame, std::int64_t wallNs, ThreadUsage guiSpent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Entry &entry = m_entries[frame];
    entry.shownWallNs = wallNs;
    entry.guiThread = guiSpent;
}

std::map<int, FrameLog::Entry> FrameLog::entries() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
}

int FrameLog::shownCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(std::count_if(m_entries.begin(), m_entries.end(),
                             [](const auto &item) { return item.second.shownWallNs >= 0; }));
}
