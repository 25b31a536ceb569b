#ifndef BENCH_AUTOCROP_FRAMEDUMP_H
#define BENCH_AUTOCROP_FRAMEDUMP_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <optional>
#include <string>

// Saves frames that scored badly, for a person to look at.
class FrameDump {
public:
    // folder/name.jpg: bgr with the true outline in green and the found one in red.
    static void save(const std::string &folder, const std::string &name, const cv::Mat &bgr,
                     const std::optional<qirmel::Quad> &truth, const std::optional<qirmel::Quad> &found);
};

#endif
