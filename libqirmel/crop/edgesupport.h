#ifndef QIRMEL_CROP_EDGESUPPORT_H
#define QIRMEL_CROP_EDGESUPPORT_H

#include "quad.h"

#include <opencv2/core.hpp>

namespace qirmel {

// How well an outline's sides sit on edges of the image.
struct SideEvidence
{
    // Share of each side's visible length where the image has an edge running along the side.
    double minSupport = 0;
    double meanSupport = 0;
    // Share of the supporting samples whose brightness step has the majority sign: a page is brighter (or
    // darker) than the desk all round, while chance alignments of texture flip sign at random.
    double polarity = 0;
    // Share of the outline's length inside the image.
    double visible = 0;
};

// Gradients of one smoothed grey image, against which outlines are measured. Immutable once built, so
// one instance may be read from several threads.
class EdgeSupport
{
public:
    explicit EdgeSupport(const cv::Mat &smoothGrey);
    SideEvidence measure(const Quad &quad) const;

private:
    cv::Mat m_dx;
    cv::Mat m_dy;
};

} // namespace qirmel

#endif
