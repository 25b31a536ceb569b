#include "documentdetector.h"

#include "edgesupport.h"
#include "outlinecandidates.h"
#include "paperformats.h"
#include "siderefiner.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace qirmel {

namespace {

// The smallest document worth cropping, as a share of the frame: an ID card far from the camera.
constexpr double kMinAreaFraction = 0.04;
// Seen from overhead, a rectangle's corners stay within this many degrees of square.
constexpr double kMaxAngleDeviation = 35;
// Below these, an outline is a coincidence of edges rather than a document.
constexpr double kMinSideSupport = 0.45;
constexpr double kMinMeanSupport = 0.65;
constexpr double kMinPolarity = 0.8;
constexpr double kMinVisible = 0.5;
// Full-resolution search reach, in pixels of the judging image.
constexpr double kRefineReach = 2.5;

double shapeScore(const Quad &quad)
{
    double worst = 0;
    for (int corner = 0; corner < 4; ++corner)
        worst = std::max(worst, std::abs(quad.cornerAngle(corner) - 90));
    if (worst > kMaxAngleDeviation)
        return 0;
    const double squareness = 1 - 0.5 * std::pow(worst / kMaxAngleDeviation, 2);
    const double ratio = (quad.sideLength(0) + quad.sideLength(2)) / std::max(1e-6, quad.sideLength(1) + quad.sideLength(3));
    const double proportion = 1 - 0.5 * std::min(PaperFormats::distance(ratio), 0.3);
    return squareness * proportion;
}

double score(const SideEvidence &evidence, const Quad &quad, const cv::Size &size, const std::optional<Quad> &seed)
{
    if (evidence.minSupport < kMinSideSupport || evidence.meanSupport < kMinMeanSupport
        || evidence.polarity < kMinPolarity || evidence.visible < kMinVisible)
        return 0;
    const double shape = shapeScore(quad);
    // Print on a page and the pages of an open book make smaller rectangles inside the document; among
    // equally well supported outlines the larger one is the document.
    const double areaShare = std::min(1.0, quad.area() / size.area());
    double result = evidence.meanSupport * shape * (0.7 + 0.3 * std::sqrt(areaShare));
    if (seed) {
        const double drift = quad.maxCornerDistance(*seed) / std::hypot(size.width, size.height);
        result *= 1 + 0.3 * std::exp(-drift / 0.03);
    }
    return result;
}

} // namespace

std::optional<Quad> DocumentDetector::detect(const cv::Mat &reducedGrey, double scale, const cv::Mat &fullFrame,
                                             const std::optional<Quad> &seed) const
{
    if (reducedGrey.empty() || reducedGrey.type() != CV_8UC1)
        return std::nullopt;
    cv::Mat small = reducedGrey;
    if (small.cols > kWorkingWidth * 4 / 3)
        cv::resize(reducedGrey, small, cv::Size(kWorkingWidth, cvRound(double(reducedGrey.rows) * kWorkingWidth / reducedGrey.cols)),
                   0, 0, cv::INTER_AREA);
    // The full frame, when given, fixes the factors exactly; reduced decodes round odd sizes up.
    const double factorX = fullFrame.empty() ? scale * reducedGrey.cols / small.cols : double(fullFrame.cols) / small.cols;
    const double factorY = fullFrame.empty() ? scale * reducedGrey.rows / small.rows : double(fullFrame.rows) / small.rows;

    cv::Mat smooth;
    cv::GaussianBlur(small, smooth, cv::Size(5, 5), 0);
    const EdgeSupport support(smooth);
    std::vector<Quad> candidates = OutlineCandidates::find(smooth, kMinAreaFraction);
    std::optional<Quad> smallSeed;
    if (seed) {
        smallSeed = seed->resampled(1 / factorX, 1 / factorY);
        candidates.push_back(*smallSeed);
    }

    double bestScore = 0;
    std::optional<Quad> best;
    for (const Quad &candidate : candidates) {
        const double s = score(support.measure(candidate), candidate, smooth.size(), smallSeed);
        if (s > bestScore) {
            bestScore = s;
            best = candidate;
        }
    }
    if (!best)
        return std::nullopt;

    Quad found = best->resampled(factorX, factorY);
    if (!fullFrame.empty())
        if (const std::optional<Quad> refined = SideRefiner::refine(fullFrame, found, kRefineReach * factorX))
            found = *refined;
    return found;
}

std::optional<Quad> DocumentDetector::detect(const cv::Mat &fullFrame, const std::optional<Quad> &seed) const
{
    if (fullFrame.empty())
        return std::nullopt;
    cv::Mat reduced = fullFrame;
    double scale = 1;
    if (fullFrame.cols > kWorkingWidth * 4 / 3) {
        scale = double(fullFrame.cols) / kWorkingWidth;
        cv::resize(fullFrame, reduced, cv::Size(kWorkingWidth, cvRound(fullFrame.rows / scale)), 0, 0, cv::INTER_AREA);
    }
    if (reduced.channels() == 3)
        cv::cvtColor(reduced, reduced, cv::COLOR_BGR2GRAY);
    return detect(reduced, scale, fullFrame, seed);
}

} // namespace qirmel
