#include "watchdog.h"

#include <cstdio>
#include <cstdlib>

Watchdog::Watchdog(std::chrono::seconds limit)
    : m_limit(limit),
      m_lastProgress(std::chrono::steady_clock::now()),
      m_step("starting"),
      m_thread(&Watchdog::watch, this)
{}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void Watchdog::progress(const std::string &step)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastProgress = std::chrono::steady_clock::now();
    m_step = step;
}

void Watchdog::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        const auto deadline = m_lastProgress + m_limit;
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "soak: FAIL: no progress for %lld s while %s: the app hangs\n",
                         static_cast<long long>(m_limit.count()), m_step.c_str());
            std::fflush(stdout);
            // abort, not exit: a core dump or a debugger shows where every thread stands.
            std::abort();
        }
        m_wake.wait_until(lock, deadline);
    }
}
