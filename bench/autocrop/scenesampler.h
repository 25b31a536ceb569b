#ifndef BENCH_AUTOCROP_SCENESAMPLER_H
#define BENCH_AUTOCROP_SCENESAMPLER_H

#include "scenes/scenelayout.h"

#include <opencv2/core.hpp>

#include <cstdint>

namespace qirmel {

// Draws scene descriptions at random from a seed, covering what a document camera meets: every desk,
// document and light, any rotation, mild to marked perspective, 10 % to 95 % of the frame, pages that
// cross the border, hands and pens, noise and defocus; and empty desks. The same seed gives the same
// sequence.
class SceneSampler {
public:
    // frameAspect: width over height of the frames the scenes will be rendered at.
    SceneSampler(std::uint32_t seed, double frameAspect);

    SceneLayout withDocument();
    SceneLayout emptyDesk();
    // The same scene with the document slid and turned, as when a user moves the page.
    SceneLayout moved(const SceneLayout &layout);
    // Whether any corner of the scene's document lies outside the frame.
    static bool crossesBorder(const SceneLayout &layout, double frameAspect);

private:
    void fitInside(SceneLayout &layout);
    void pushAcrossBorder(SceneLayout &layout);

    cv::RNG m_rng;
    double m_frameAspect;
};

}  // namespace qirmel

#endif
