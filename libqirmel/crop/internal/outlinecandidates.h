#ifndef QIRMEL_CROP_OUTLINECANDIDATES_H
#define QIRMEL_CROP_OUTLINECANDIDATES_H

#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <vector>

namespace qirmel {

// Proposes document outlines from the closed regions of a small image. No single pass finds every page:
// a white sheet on a light desk leaves edges too faint for a Canny pass tuned against wood grain, a page
// on a busy desk merges with its surroundings in a threshold pass, and a pale page on a cloth of coloured
// checks is as bright as the pale squares. So the regions enclosed by each of the caller's edge maps,
// those of a brightness split and, on a colour pattern, those free of the pattern each contribute
// outlines, and the caller's scoring picks among them. Outlines whose corners are cut off by the frame
// border or hidden under a hand come back completed, from the lines of their visible sides. Stateless
// and reentrant.
class OutlineCandidates {
public:
    // channels: the smoothed grey image, then its colour differences if it has colour; edgeMaps: binary
    // edge images of the same size.
    static std::vector<Quad> find(const std::vector<cv::Mat> &channels, const std::vector<cv::Mat> &edgeMaps,
                                  double minAreaFraction);
};

}  // namespace qirmel

#endif
