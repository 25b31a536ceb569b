#ifndef QIRMEL_CROP_OUTLINECANDIDATES_H
#define QIRMEL_CROP_OUTLINECANDIDATES_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <vector>

namespace qirmel {

// Proposes document outlines from the closed regions of a small image. No single pass finds every page:
// a white sheet on a light desk leaves edges too faint for a Canny pass tuned against wood grain, and a
// page on a busy desk merges with its surroundings in a threshold pass. So the regions enclosed by each
// of the caller's edge maps and those of a brightness split each contribute outlines, and the caller's
// scoring picks among them. Outlines whose corners are cut off by the frame border or hidden under a hand
// come back completed, from the lines of their visible sides. Stateless and reentrant.
class OutlineCandidates {
public:
    // edgeMaps: binary edge images of the same size as smoothGrey.
    static std::vector<Quad> find(const cv::Mat &smoothGrey, const std::vector<cv::Mat> &edgeMaps,
                                  double minAreaFraction);
};

}  // namespace qirmel

#endif
