#include "crop/documentdetector.h"

#include "crop/internal/chromachannels.h"
#include "crop/internal/edgesupport.h"
#include "crop/internal/linefinder.h"
#include "crop/internal/linequads.h"
#include "crop/internal/outlinecandidates.h"
#include "crop/internal/outlinechooser.h"
#include "crop/internal/outlinescorer.h"
#include "crop/internal/siderefiner.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace qirmel {

namespace {

// Outlines are proposed and judged at this size of the longer side. A page's outline is a few long
// straight edges, which survive reduction well, while wood grain, print and noise fade; the refinement
// restores the precision.
constexpr int kJudgingSize = 240;
// The smallest document worth cropping, as a share of the frame: an ID card far from the camera.
constexpr double kMinAreaFraction = 0.04;
// Refinement runs twice: on the reduced decode, reaching as far as a judged outline on faint edges can
// be off, then on the full frame, reaching as far as the reduced decode's result can be off. Both in
// pixels of the reduced decode.
constexpr double kReducedReach = 5;
constexpr double kFullReach = 2;
// Canny thresholds: a firm pass for clear edges, and a sensitive one for pale pages on pale desks.
constexpr double kFirmLow = 20;
constexpr double kFirmHigh = 60;
constexpr double kSensitiveLow = 8;
constexpr double kSensitiveHigh = 24;
// Lines for outlines from line pairs: the shortest straight run of edge that counts, and how many lines.
constexpr double kMinRun = 12;
constexpr std::size_t kMaxLines = 30;
constexpr std::size_t kMaxLineQuads = 12;
// A page under a passing hand keeps well over half of its outline on edges; an outline carried over to
// a picture that has changed finds edges along a quarter of its length at most, by chance.
constexpr double kMinShownSupport = 0.4;

// A frame as outlines are judged on it: the reduced decode brought down to the judging size, smoothed,
// with the frame's colour differences beside it where it has colour, and the factors from its pixels to
// the full frame's.
struct JudgingImages {
    std::vector<cv::Mat> channels;  // grey first
    double factorX = 1;
    double factorY = 1;
};

JudgingImages judgingImages(const cv::Mat &reducedGrey, double scale, const cv::Mat &fullFrame)
{
    cv::Mat small = reducedGrey;
    const int longer = std::max(reducedGrey.cols, reducedGrey.rows);
    if (longer > kJudgingSize * 21 / 20) {
        const double shrink = double(kJudgingSize) / longer;
        cv::resize(reducedGrey, small, cv::Size(cvRound(reducedGrey.cols * shrink), cvRound(reducedGrey.rows * shrink)),
                   0, 0, cv::INTER_AREA);
    }
    JudgingImages judging;
    // The full frame, when given, fixes the factors exactly; reduced decodes round odd sizes up.
    judging.factorX = fullFrame.empty() ? scale * reducedGrey.cols / small.cols : double(fullFrame.cols) / small.cols;
    judging.factorY = fullFrame.empty() ? scale * reducedGrey.rows / small.rows : double(fullFrame.rows) / small.rows;
    judging.channels.resize(1);
    cv::GaussianBlur(small, judging.channels[0], cv::Size(5, 5), 0);
    if (fullFrame.type() == CV_8UC3)
        for (cv::Mat &chroma : ChromaChannels::reduce(fullFrame, small.size())) {
            cv::GaussianBlur(chroma, chroma, cv::Size(5, 5), 0);
            judging.channels.push_back(chroma);
        }
    return judging;
}

}  // namespace

std::optional<Quad> DocumentDetector::detect(const cv::Mat &reducedGrey, double scale, const cv::Mat &fullFrame,
                                             const std::optional<Quad> &seed) const
{
    if (reducedGrey.empty() || reducedGrey.type() != CV_8UC1)
        return std::nullopt;
    const JudgingImages judging = judgingImages(reducedGrey, scale, fullFrame);
    const double factorX = judging.factorX;
    const double factorY = judging.factorY;
    const cv::Mat &smooth = judging.channels[0];
    const EdgeSupport support(judging.channels);
    std::optional<Quad> smallSeed;
    if (seed)
        smallSeed = seed->resampled(1 / factorX, 1 / factorY);
    const OutlineScorer scorer(support, smooth.size(), smallSeed);

    std::vector<cv::Mat> edgeMaps(2);
    cv::Canny(support.dx(), support.dy(), edgeMaps[0], kFirmLow, kFirmHigh, true);
    cv::Canny(support.dx(), support.dy(), edgeMaps[1], kSensitiveLow, kSensitiveHigh, true);
    std::vector<Quad> quads = OutlineCandidates::find(smooth, edgeMaps, kMinAreaFraction);
    const double minArea = kMinAreaFraction * smooth.size().area();
    for (const Quad &quad :
         LineQuads::find(LineFinder::find(edgeMaps, kMinRun, kMaxLines), support, scorer, minArea, kMaxLineQuads))
        quads.push_back(quad);
    if (smallSeed)
        quads.push_back(*smallSeed);

    std::vector<ScoredOutline> candidates;
    candidates.reserve(quads.size());
    for (const Quad &quad : quads)
        candidates.push_back({quad, scorer.score(quad)});
    const std::optional<Quad> best = OutlineChooser(support).choose(candidates);
    if (!best)
        return std::nullopt;

    const double reducedX = double(reducedGrey.cols) / smooth.cols;
    const double reducedY = double(reducedGrey.rows) / smooth.rows;
    Quad found = best->resampled(reducedX, reducedY);
    if (const std::optional<Quad> refined = SideRefiner::refine(reducedGrey, found, kReducedReach))
        found = *refined;
    found = found.resampled(factorX / reducedX, factorY / reducedY);
    if (!fullFrame.empty())
        if (const std::optional<Quad> refined = SideRefiner::refine(fullFrame, found, kFullReach * factorX / reducedX))
            found = *refined;
    return found;
}

bool DocumentDetector::shows(const cv::Mat &reducedGrey, double scale, const cv::Mat &fullFrame,
                             const Quad &outline) const
{
    if (reducedGrey.empty() || reducedGrey.type() != CV_8UC1)
        return false;
    const JudgingImages judging = judgingImages(reducedGrey, scale, fullFrame);
    const EdgeSupport support(judging.channels);
    return support.measure(outline.resampled(1 / judging.factorX, 1 / judging.factorY)).meanSupport >= kMinShownSupport;
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

}  // namespace qirmel
