// Renders a scene's stills away from the frame thread: the first one of an opening while the
// opening returns at once, the next one while the camera goes on showing the current one.
#ifndef QIRMEL_STILLPREPARER_H
#define QIRMEL_STILLPREPARER_H

#include "source/scenescript.h"

#include <opencv2/core.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

namespace qirmel {

// Owns one worker thread that renders the still asked for last. Rendering may take a second or more
// at the largest sizes on a busy machine: done on the thread that opens the camera or reads its frames
// it would hold up the caller. A render that is no longer wanted is given up between its steps, so
// that neither a new request nor the preparer's end waits for it.
class StillPreparer {
public:
    using Clock = std::chrono::steady_clock;

    // script must outlive the preparer.
    explicit StillPreparer(const SceneScript &script);
    // Gives up the render under way and waits for the worker to end.
    ~StillPreparer();
    StillPreparer(const StillPreparer &) = delete;
    StillPreparer &operator=(const StillPreparer &) = delete;

    // Starts on still index at size, dropping any earlier request and anything made for it, and giving
    // up the render under way.
    void request(int index, Size size);

    // Drops the request and anything made for it, and gives up the render under way, waiting for it to
    // stop: once cancel() returns the worker renders nothing until the next request, so that a closed
    // camera leaves no work behind, even in a process that ends without destroying the camera.
    void cancel();

    // The still last requested, once it is made (empty when it could not be made); none while it is
    // still being rendered, or when there is no request. Hands each still out once.
    std::optional<cv::Mat> take();

    // The same, waiting for the still until deadline.
    std::optional<cv::Mat> take(Clock::time_point deadline);

private:
    struct Request {
        int index;
        Size size;
    };

    void run();

    const SceneScript &m_script;
    std::mutex m_mutex;
    std::condition_variable m_wake;  // the worker waits for a request
    std::condition_variable m_done;  // take() waits for a still, cancel() for a render to stop
    bool m_stopping = false;
    bool m_pending = false;  // a request whose still has not been handed out
    bool m_rendering = false;
    std::optional<Request> m_waiting;  // asked for and not yet started on
    std::uint64_t m_requests = 0;      // counts requests and cancels, so that a render for an old one is given up
    std::optional<cv::Mat> m_still;
    std::thread m_worker;  // last: starts once everything it uses exists
};

}  // namespace qirmel

#endif  // QIRMEL_STILLPREPARER_H
