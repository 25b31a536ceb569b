// A scene whose stills are plain grey at the level of their index, rendered only when the test lets
// them, so that the test decides what a renderer's worker is doing.
#ifndef QIRMEL_GATEDSCENE_H
#define QIRMEL_GATEDSCENE_H

#include "source/scenescript.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace qirmeltest {

class GatedScene : public qirmel::SceneScript {
public:
    explicit GatedScene(int stills = 10) : m_stills(stills) {}

    int stillCount() const override { return m_stills; }

    // Lets one more render finish.
    void release();

    // Waits until so many renders have started (finished, been given up), but no longer than a limit
    // that only bounds a hang; false when the limit passed.
    bool waitUntilStarted(std::size_t renders) const;
    bool waitUntilFinished(std::size_t renders) const;
    bool waitUntilGivenUp(std::size_t renders) const;

    std::size_t finished() const;
    std::size_t givenUp() const;
    std::vector<int> started() const;
    std::vector<qirmel::Size> startedSizes() const;

private:
    // Still 9 cannot be made. A render held back polls its stop question, as a renderer does
    // between its steps, and gives up when told to.
    cv::Mat renderStill(int index, qirmel::Size size, const std::function<bool()> &stopAsked) const override;

    bool waitUntil(const std::function<bool()> &condition) const;

    const int m_stills;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable std::vector<int> m_started;
    mutable std::vector<qirmel::Size> m_startedSizes;
    mutable std::size_t m_finished = 0;
    mutable std::size_t m_givenUp = 0;
    int m_released = 0;
};

}  // namespace qirmeltest

#endif  // QIRMEL_GATEDSCENE_H
