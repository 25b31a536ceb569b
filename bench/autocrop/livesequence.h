#ifndef BENCH_AUTOCROP_LIVESEQUENCE_H
#define BENCH_AUTOCROP_LIVESEQUENCE_H

#include "scenes/scenelayout.h"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

// One live run through the camera library's frame pipeline with auto crop on: a still page seen through
// fresh sensor noise and JPEG each frame, then the page moved.
struct LiveResult {
    // RMS movement of the shown corners about their mean while the page lies still, full-frame pixels;
    // and the same for the raw per-frame detections, for comparison.
    double shownJitter = 0;
    double rawJitter = 0;
    // Frames after the move until every shown corner is within kFollowTolerance of the new truth;
    // none when it never got there.
    std::optional<int> framesToFollow;
    // CPU time the pipeline took for each frame: decoding, detection, following, cutting and encoding.
    std::vector<double> frameMilliseconds;
};

class LiveSequence {
public:
    static constexpr double kFollowTolerance = 4.0;
    static LiveResult run(const qirmel::SceneLayout &still, const qirmel::SceneLayout &moved, const cv::Size &size,
                          int quality, std::uint32_t seed);
};

#endif
