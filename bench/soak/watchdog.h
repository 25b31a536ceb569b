#ifndef BENCH_SOAK_WATCHDOG_H
#define BENCH_SOAK_WATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

// Ends the process with a message when the run makes no progress for a set time: a deadlock would
// otherwise leave it hanging without a word. The limit is far above any step's normal length, so
// it tells a hang from a slow machine.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // Restarts the clock; step names what the run does now, for the message.
    void progress(const std::string &step);

private:
    void watch();

    const std::chrono::seconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::chrono::steady_clock::time_point m_lastProgress;
    std::string m_step;
    bool m_stopping = false;
    std::thread m_thread;
};

#endif
