// Renders a scene's next still while the camera goes on showing the current one.
#ifndef QIRMEL_STILLPREPARER_H
#define QIRMEL_STILLPREPARER_H

#include "source/scenescript.h"

#include <opencv2/core.hpp>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

namespace qirmel {

// Owns one worker thread that renders the still asked for last. Rendering may take a second or more
// at the largest sizes: done on the frame thread it would stall the frames.
class StillPreparer {
public:
    // script must outlive the preparer.
    explicit StillPreparer(const SceneScript &script);
    // Waits for a still being rendered to be done.
    ~StillPreparer();
    StillPreparer(const StillPreparer &) = delete;
    StillPreparer &operator=(const StillPreparer &) = delete;

    // Starts on still index at size, dropping any earlier request and anything made for it.
    void request(int index, Size size);

    // The still last requested, once it is made (empty when it could not be made); none while it is
    // still being rendered. Hands each still out once.
    std::optional<cv::Mat> take();

private:
    struct Request {
        int index;
        Size size;
    };

    void run();

    const SceneScript &m_script;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::optional<Request> m_waiting;  // asked for and not yet started on
    std::uint64_t m_requests = 0;      // counts requests, so that a still made for an old one is dropped
    std::optional<cv::Mat> m_made;
    std::thread m_worker;  // last: starts once everything it uses exists
};

}  // namespace qirmel

#endif  // QIRMEL_STILLPREPARER_H
