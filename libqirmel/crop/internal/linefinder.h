#ifndef QIRMEL_CROP_LINEFINDER_H
#define QIRMEL_CROP_LINEFINDER_H

#include <opencv2/core.hpp>

#include <vector>

namespace qirmel {

// A straight line through point with unit direction, and how much edge lies on it.
struct EdgeLine {
    cv::Point2f point;
    cv::Point2f direction;
    double length = 0;
    // Where along the line its edge lies: positions (p - point) . direction of points on the edge, every
    // few pixels, in increasing order.
    std::vector<float> onEdge;
    // For a line through the ends of a pattern's lines, where a document lying on the pattern interrupts
    // them, rather than along an edge: the unit normal towards the pattern (onEdge then holds the ends).
    // Zero for other lines.
    cv::Point2f towardsPattern;

    // Whether the edge runs on across position at for at least reach on either side, with no gap wider
    // than a few pixels: a pattern's line crossing an outline, not one that ends at it.
    bool runsAcross(float at, float reach) const;
    // The line in an image scaled by sx across and sy down.
    EdgeLine scaled(float sx, float sy) const;
};

// Finds the longest straight lines in edge maps. Edges are traced, cut into straight runs, and runs that
// lie on one line are gathered, so a side broken by a pen, a hand or print still counts as one line.
// Tracing costs far less than a Hough transform and does not let the many short strokes of wood grain or
// text add up to lines that are not there. The runs are traced once, however many lines are asked for and
// whatever map is added later. Immutable once built.
class LineFinder {
public:
    // minRun: the shortest straight run that counts, in pixels.
    LineFinder(const std::vector<cv::Mat> &edgeMaps, double minRun);

    // The finder with another edge map's runs added, as if built with it last.
    LineFinder with(const cv::Mat &edges) const;
    // The finder without the runs that lie in a region (CV_8UC1, non-zero there): both their ends in it.
    LineFinder without(const cv::Mat &region) const;
    // First the lines where a cloth's pattern stops at a document (PatternBoundaries), then at most
    // maxLines lines, longest first.
    std::vector<EdgeLine> lines(std::size_t maxLines) const;

    static std::vector<EdgeLine> find(const std::vector<cv::Mat> &edgeMaps, double minRun, std::size_t maxLines)
    {
        return LineFinder(edgeMaps, minRun).lines(maxLines);
    }

private:
    struct Run {
        cv::Point2f from;
        cv::Point2f to;
        double length;
    };

    void trace(const cv::Mat &edges);

    double m_minRun;
    cv::Size m_size;
    std::vector<Run> m_runs;
};

}  // namespace qirmel

#endif
