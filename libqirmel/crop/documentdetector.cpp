#include "crop/documentdetector.h"

#include "crop/internal/blockaverage.h"
#include "crop/internal/chromachannels.h"
#include "crop/internal/drawnlines.h"
#include "crop/internal/edgesupport.h"
#include "crop/internal/framecorner.h"
#include "crop/internal/linefinder.h"
#include "crop/internal/linemeeting.h"
#include "crop/internal/linequads.h"
#include "crop/internal/outlinecandidates.h"
#include "crop/internal/outlinechooser.h"
#include "crop/internal/outlinecolours.h"
#include "crop/internal/outlineextender.h"
#include "crop/internal/outlinescorer.h"
#include "crop/internal/pagearoundprint.h"
#include "crop/internal/shadowoutline.h"
#include "crop/internal/sideprofile.h"
#include "crop/internal/siderefiner.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace qirmel {

namespace {

// Outlines are proposed and judged at this size of the longer side. A page's outline is a few long
// straight edges, which survive reduction well, while wood grain, print and noise fade; the refinement
// restores the precision.
constexpr int kJudgingSize = 240;
// The smallest document worth cropping, as a share of the frame: an ID card far from the camera. Sticky
// notes and phones lying about come smaller.
constexpr double kMinAreaFraction = 0.05;
// Refinement runs twice: on the reduced image, reaching as far as a judged outline on faint edges can
// be off, then on the picture itself, reaching as far as the reduced image's result can be off. Both in
// pixels of the reduced image.
constexpr double kReducedReach = 5;
constexpr double kFullReach = 2;
// Canny thresholds: a firm pass for clear edges, and a sensitive one for pale pages on pale desks.
constexpr double kFirmLow = 20;
constexpr double kFirmHigh = 60;
constexpr double kSensitiveLow = 8;
constexpr double kSensitiveHigh = 24;
// And on a quiet picture, a faint pass for a white page on a pale desk.
constexpr double kFaintLow = 5;
constexpr double kFaintHigh = 10;
// Corners of an outline this near outside another lie on its sides, and an outline must be this much
// larger to be another.
constexpr double kSameSide = 2;
constexpr double kMinGrowth = 1.05;
// Lines for outlines from line pairs: the shortest straight run of edge that counts, and how many lines.
constexpr double kMinRun = 12;
constexpr std::size_t kMaxLines = 40;
constexpr std::size_t kMaxLineQuads = 12;
// Where outlines are credible but none convinces (a page found among the longest lines mostly scores well
// above this), the page's sides may be among shorter lines that print, a pattern or a shadow's edges crowd
// out of the longest: outlines are then sought again among this many. Where nothing at all is credible, an
// empty desk is far likelier, and more lines would only bring more chances of a false crop.
constexpr double kConvincingScore = 0.65;
constexpr std::size_t kMoreLines = 80;
// A line cuts a strip off an outline where it runs within this angle (its sine) of a side, its edge
// along this share of the cut at least.
constexpr float kMaxCutSine = 0.25f;
constexpr float kMinCutCover = 0.5f;
// On a cloth the pattern's own lines outline patches of it that may score as well as a document lying
// elsewhere on it: up to this many are set aside in turn, the best first.
constexpr int kMaxPatchesSetAside = 3;
// Where nothing at all is credible, or the desk is a coloured pattern, a page may lie on a patterned cloth: at the
// judging size a gingham's squares are a few pixels across, and the page's side, whose edge breaks off wherever it
// borders a pale square, falls apart into pieces shorter than a run. On the reduced image, twice the size, the
// pieces are long enough to count and be gathered into the side's line. The cloth's own lines come first, so many
// lines are needed. Among so many, a ruler's marks or a keyboard's keys close outlines of the smallest size a
// document may have: what this search finds must be twice as large. The cloth's lines outline patches of it of
// every size, which only the cloth seen all round them tells from a page (by their colours): what this search finds
// must lie within the frame, unless something else is credible and it convinces more, and its colours are not the
// cloth's: a sheet running out of the frame. Where something is credible, an outline of these lines is wanted only
// in its place, a page whose broken sides the judging size missed that outlines it better: one scoring well below
// it is a patch of cloth with part of the page, which would otherwise be taken for the page around what was found.
constexpr std::size_t kFineLines = 120;
constexpr double kFineMinAreaFactor = 2;
constexpr double kMinFineShare = 0.9;
// Outlines of regions lie off the edges they follow by a few pixels where the edges are broken: the
// edge maps' contours round the gaps, and the pattern pass grows its regions back by a window's size. One
// that does not convince where it lies but finds edges along most of its length is moved onto the edges
// this near it, side by side, and judged again. Most outlines of print find fewer, and moving an outline
// costs about as much as judging ten.
constexpr double kSnapReach = 3;
constexpr double kMinSnapSupport = 0.6;
// A page under a passing hand keeps well over half of its outline on edges; an outline carried over to
// a picture that has changed finds edges along a quarter of its length at most, by chance.
constexpr double kMinShownSupport = 0.4;

// A line of print across a sheet has the same paper on both sides of it, but for the print's own tint
// and the light falling off; a book's pages end on its cover, which steps by several times as much.
constexpr double kMaxPaperStep = 20;

// The picture reduced by a whole factor to about this width, the first step down to the judging size.
// A whole factor averages blocks of pixels in one quick pass where any other takes several times as
// long.
constexpr int kWorkingWidth = 480;

// A picture as outlines are judged on it: reduced to the judging size, smoothed, with the picture's
// colour differences beside it where it has colour; the reduced grey image the first refinement runs on;
// and the part of the picture the reduction covers, which the last refinement runs on.
struct JudgingImages {
    std::vector<cv::Mat> channels;  // grey first
    cv::Mat reducedGrey;
    cv::Mat searched;
    // From pixels of the judging image to the reduced image's and to the picture's.
    double toReducedX = 1;
    double toReducedY = 1;
    double factorX = 1;
    double factorY = 1;
};

JudgingImages judgingImages(const cv::Mat &picture)
{
    JudgingImages judging;
    // The factor goes by the longer side, so that a picture turned upright is judged on no more pixels
    // than a wide one; the last rows and columns short of a whole block are left out of the search.
    const int factor = std::max(1, std::max(picture.cols, picture.rows) / kWorkingWidth);
    const cv::Size reducedSize(picture.cols / factor, picture.rows / factor);
    judging.searched = picture(cv::Rect(0, 0, reducedSize.width * factor, reducedSize.height * factor));
    judging.reducedGrey = BlockAverage::reduce(judging.searched, factor);

    cv::Mat small = judging.reducedGrey;
    const int longer = std::max(reducedSize.width, reducedSize.height);
    if (longer > kJudgingSize * 21 / 20) {
        const double shrink = double(kJudgingSize) / longer;
        cv::resize(judging.reducedGrey, small,
                   cv::Size(cvRound(reducedSize.width * shrink), cvRound(reducedSize.height * shrink)), 0, 0,
                   cv::INTER_AREA);
    }
    judging.toReducedX = double(reducedSize.width) / small.cols;
    judging.toReducedY = double(reducedSize.height) / small.rows;
    judging.factorX = double(judging.searched.cols) / small.cols;
    judging.factorY = double(judging.searched.rows) / small.rows;
    judging.channels.resize(1);
    cv::GaussianBlur(small, judging.channels[0], cv::Size(5, 5), 0);
    if (picture.type() == CV_8UC3)
        for (cv::Mat &chroma : ChromaChannels::reduce(judging.searched, small.size())) {
            cv::GaussianBlur(chroma, chroma, cv::Size(5, 5), 0);
            judging.channels.push_back(chroma);
        }
    return judging;
}

// The longest lines of the reduced image, in pixels of the judging image.
std::vector<EdgeLine> fineLines(const JudgingImages &judging)
{
    cv::Mat smooth;
    cv::GaussianBlur(judging.reducedGrey, smooth, cv::Size(5, 5), 0);
    std::vector<cv::Mat> edgeMaps(2);
    cv::Canny(smooth, edgeMaps[0], kFirmLow, kFirmHigh, 3, true);
    cv::Canny(smooth, edgeMaps[1], kSensitiveLow, kSensitiveHigh, 3, true);
    std::vector<EdgeLine> lines = LineFinder::find(edgeMaps, kMinRun, kFineLines);
    for (EdgeLine &line : lines)
        line = line.scaled(float(1 / judging.toReducedX), float(1 / judging.toReducedY));
    return lines;
}

// Whether inner lies within outer, its corners no further out than a refinement moves a side, and outer
// is clearly the larger: not the same outline found a little further out.
bool encloses(const Quad &outer, const Quad &inner)
{
    const std::vector<cv::Point2f> polygon = outer.points();
    return outer.area() >= kMinGrowth * inner.area() &&
           std::all_of(inner.corners().begin(), inner.corners().end(),
                       [&](const cv::Point2f &p) { return cv::pointPolygonTest(polygon, p, true) >= -kSameSide; });
}

// The pixels of an image of the given size lying inside the outline, clear of its sides.
cv::Mat interiorOf(const Quad &outline, const cv::Size &size)
{
    std::vector<cv::Point> corners;
    for (const cv::Point2f &p : outline.corners())
        corners.emplace_back(cvRound(p.x), cvRound(p.y));
    cv::Mat inside(size, CV_8UC1, cv::Scalar(0));
    cv::fillConvexPoly(inside, corners, cv::Scalar(255));
    const int clear = 2 * int(std::ceil(kSameSide)) + 3;
    cv::erode(inside, inside, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(clear, clear)));
    return inside;
}

// Whether the line runs through the outline, clear of its sides: no side of an outline around it lies
// along the line.
bool cutsThrough(const EdgeLine &line, const Quad &outline)
{
    const cv::Point2f normal(line.direction.y, -line.direction.x);
    bool before = false;
    bool beyond = false;
    for (const cv::Point2f &corner : outline.corners()) {
        const float offset = normal.dot(corner - line.point);
        before = before || offset < -kSameSide;
        beyond = beyond || offset > kSameSide;
    }
    return before && beyond;
}

// Whether every side of inner that lies inside outer (both in pixels of the judging image) has paper on
// both sides of it in the picture: lines of print on the sheet that outer outlines.
bool onlyPrintWithin(const JudgingImages &judging, const Quad &inner, const Quad &outer)
{
    const Quad innerInPicture = inner.resampled(judging.factorX, judging.factorY);
    const std::vector<cv::Point2f> outerInPicture = outer.resampled(judging.factorX, judging.factorY).points();
    const cv::Mat &picture = judging.searched;
    const int reach = SideProfile::lineReach(picture);
    for (int side = 0; side < 4; ++side) {
        const cv::Point2f middle = (innerInPicture[side] + innerInPicture[(side + 1) % 4]) * 0.5f;
        if (cv::pointPolygonTest(outerInPicture, middle, true) < kSameSide * judging.factorX)
            continue;
        const std::optional<SideProfile> profile = SideProfile::across(picture, innerInPicture, side, reach);
        if (!profile || profile->largestStep() > kMaxPaperStep)
            return false;
    }
    return true;
}

// Whether inner lies within three of outer's sides, as it must for outer taken on beyond its fourth to
// enclose it: a quick test before the costly one of taking it on.
bool withinThreeSides(const Quad &outer, const Quad &inner)
{
    int sides = 0;
    for (int side = 0; side < 4; ++side) {
        const cv::Point2f inward = outer.inwardNormal(side);
        sides += std::all_of(inner.corners().begin(), inner.corners().end(),
                             [&](const cv::Point2f &p) { return inward.dot(p - outer[side]) >= -kSameSide; });
    }
    return sides >= 3;
}

// A sheet running out of the frame whose chosen outline a line of its print cut short: the largest of the
// outlines that, carried beyond the frame, encloses the chosen one with paper all round it.
std::optional<Quad> sheetPastPrint(const Quad &chosen, const std::vector<ScoredOutline> &outlines,
                                   const EdgeSupport &support, const JudgingImages &judging)
{
    const OutlineColours colours(support);
    std::optional<Quad> sheet;
    for (const ScoredOutline &outline : outlines) {
        if (outline.score <= 0 || !withinThreeSides(outline.quad, chosen))
            continue;
        const std::optional<Quad> extended =
            OutlineExtender::beyondFrame(outline.quad, support, [&](const Quad &candidate) {
                return (!sheet || candidate.area() > sheet->area()) && encloses(candidate, chosen) &&
                       onlyPrintWithin(judging, chosen, candidate);
            });
        if (extended && colours.ringIsDocument(*extended, chosen))
            sheet = extended;
    }
    return sheet;
}

// Whether a line nearly along one side of the outline cuts it into a note and a strip of the desk beside
// it: a pen or a ruler lying a little way off the note closes an outline around both.
bool isNoteBesideDesk(const Quad &outline, const LineFinder &finder, const OutlineColours &colours,
                      const cv::Size &size)
{
    // Only the lines inside the outline: the longest elsewhere, a desk's grain among them, leave out a note's
    // short side.
    cv::Mat outside;
    cv::bitwise_not(interiorOf(outline, size), outside);
    const std::vector<EdgeLine> lines = finder.without(outside).lines(kMaxLines);
    for (int side = 0; side < 4; ++side) {
        const int next = (side + 1) % 4;
        const cv::Point2f before = outline[(side + 3) % 4];
        const cv::Point2f after = outline[(side + 2) % 4];
        const cv::Point2f along = (outline[next] - outline[side]) / float(outline.sideLength(side));
        for (const EdgeLine &line : lines) {
            if (std::abs(along.cross(line.direction)) > kMaxCutSine || !cutsThrough(line, outline))
                continue;
            // The outline with this side moved on to the line: what lies beyond the strip.
            std::array<cv::Point2f, 4> corners = outline.corners();
            if (!linesMeet(line.point, line.direction, before, outline[side] - before, corners[side]) ||
                !linesMeet(line.point, line.direction, after, outline[next] - after, corners[next]))
                continue;
            const float start = (corners[side] - line.point).dot(line.direction);
            const float end = (corners[next] - line.point).dot(line.direction);
            const float from = std::min(start, end);
            const float to = std::max(start, end);
            const float covered = std::min(to, line.onEdge.back()) - std::max(from, line.onEdge.front());
            const Quad rest(corners);
            if (covered >= kMinCutCover * (to - from) && colours.isBlankSquare(rest) &&
                colours.ringIsDesk(outline, rest))
                return true;
        }
    }
    return false;
}

bool usable(const cv::Mat &picture)
{
    return (picture.type() == CV_8UC1 || picture.type() == CV_8UC3) && picture.cols >= 16 && picture.rows >= 16;
}

}  // namespace

DocumentDetector::DocumentDetector(Effort effort) : m_effort(effort) {}

std::optional<Quad> DocumentDetector::detect(const cv::Mat &picture, const std::optional<Quad> &seed) const
{
    if (!usable(picture))
        return std::nullopt;
    const JudgingImages judging = judgingImages(picture);
    const double factorX = judging.factorX;
    const double factorY = judging.factorY;
    const cv::Mat &smooth = judging.channels[0];
    EdgeSupport support(judging.channels);
    std::optional<Quad> smallSeed;
    if (seed)
        smallSeed = seed->resampled(1 / factorX, 1 / factorY);

    std::vector<cv::Mat> edgeMaps(2);
    cv::Canny(support.dx(), support.dy(), edgeMaps[0], kFirmLow, kFirmHigh, true);
    cv::Canny(support.dx(), support.dy(), edgeMaps[1], kSensitiveLow, kSensitiveHigh, true);
    const LineFinder lineFinder(edgeMaps, kMinRun);
    const std::vector<EdgeLine> lines = lineFinder.lines(kMaxLines);
    support.addBoundaries(lines);
    const OutlineScorer scorer(support, smooth.size(), smallSeed, lines);
    // Outlines of what the edges enclose: a document, or where nothing holds, a block of print.
    const std::vector<Quad> contours = OutlineCandidates::find(judging.channels, edgeMaps, kMinAreaFraction);
    std::vector<ScoredOutline> candidates;
    std::vector<const Quad *> nearlyOnEdges;
    for (const Quad &quad : contours) {
        const SideEvidence evidence = support.measure(quad);
        candidates.push_back({quad, scorer.score(quad, evidence)});
        if (candidates.back().score < kConvincingScore && evidence.meanSupport >= kMinSnapSupport)
            nearlyOnEdges.push_back(&quad);
    }
    const double minArea = kMinAreaFraction * smooth.size().area();
    for (const Quad &quad : LineQuads::find(lines, support, scorer, minArea, kMaxLineQuads))
        candidates.push_back({quad, scorer.score(quad)});
    if (smallSeed)
        candidates.push_back({*smallSeed, scorer.score(*smallSeed)});
    for (const Quad *quad : nearlyOnEdges)
        if (const std::optional<Quad> snapped = SideRefiner::refine(smooth, *quad, kSnapReach))
            candidates.push_back({*snapped, scorer.score(*snapped)});
    double bestScore = 0;
    for (const ScoredOutline &candidate : candidates)
        bestScore = std::max(bestScore, candidate.score);
    if (bestScore > 0 && bestScore < kConvincingScore) {
        const std::vector<EdgeLine> moreLines = lineFinder.lines(kMoreLines);
        if (moreLines.size() > lines.size())
            for (const Quad &quad : LineQuads::find(moreLines, support, scorer, minArea, kMaxLineQuads))
                candidates.push_back({quad, scorer.score(quad)});
    }
    const OutlineColours colours(support);
    const PageAroundPrint pageAround(support, judging.reducedGrey, judging.searched,
                                     cv::Point2d(judging.toReducedX, judging.toReducedY));
    const auto isShadowEdge = [&](const Quad &outline, int side) {
        return ShadowOutline::isShadowEdge(judging.searched, outline.resampled(factorX, factorY), side);
    };
    // The document among the candidates: the outline chosen, unless it is something else lying on the
    // desk, taken on to the frame's border or to the paper's edge beyond its print.
    bool somethingElse = false;
    const bool onPattern = colours.deskIsPattern();
    const auto chooseAmong = [&](std::vector<ScoredOutline> outlines) {
        const OutlineChooser chooser(support, isShadowEdge);
        std::optional<Quad> chosen = chooser.choose(outlines);
        for (int setAside = 0;
             chosen && onPattern && setAside < kMaxPatchesSetAside && colours.isPatchOfPattern(*chosen); ++setAside) {
            outlines.erase(
                std::remove_if(outlines.begin(), outlines.end(),
                               [&](const ScoredOutline &o) { return o.quad.maxCornerDistance(*chosen) < 1; }),
                outlines.end());
            chosen = chooser.choose(outlines);
        }
        return chosen;
    };
    const auto documentAmong = [&](const std::vector<ScoredOutline> &outlines) -> std::optional<Quad> {
        const std::optional<Quad> chosen = chooseAmong(outlines);
        if (!chosen)
            return pageAround.aroundAnyOf(contours);
        if (colours.isDarkObject(*chosen) || colours.isBlankSquare(*chosen) || colours.isScreenInBezel(*chosen)) {
            somethingElse = true;
            return std::nullopt;
        }
        // A sheet that runs on to the frame's border past one side of the outline is cut by the frame
        // there, whatever steps beyond that side short of the border: print, a fold or the light falling off.
        if (const std::optional<Quad> extended = OutlineExtender::beyondFrame(*chosen, support))
            return extended;
        // Or cut short by a line of its print, where another outline takes the sheet on to the border.
        if (const std::optional<Quad> sheet = sheetPastPrint(*chosen, outlines, support, judging))
            return sheet;
        if (const std::optional<Quad> page = pageAround.around(*chosen))
            return page;
        return chosen;
    };
    std::optional<Quad> best = documentAmong(candidates);
    if (somethingElse)
        return std::nullopt;
    // The finer lines only once the choice among the others is known not to be something else: a phone's
    // lit screen would otherwise be enclosed by an outline of the whole phone, whose bezel is too thin to
    // tell at the judging size.
    if ((bestScore == 0 || onPattern) && m_effort == Effort::Photo) {
        const std::size_t coarse = candidates.size();
        for (const Quad &quad :
             LineQuads::find(fineLines(judging), support, scorer, kFineMinAreaFactor * minArea, kMaxLineQuads)) {
            const double score = scorer.score(quad);
            const bool placed =
                quad.liesWithin(smooth.size()) ||
                (bestScore > 0 && score >= std::max(kConvincingScore, bestScore) && !colours.isPatchOfPattern(quad));
            if (placed && score >= kMinFineShare * bestScore)
                candidates.push_back({quad, score});
        }
        if (candidates.size() > coarse)
            best = documentAmong(candidates);
        if (somethingElse)
            return std::nullopt;
    }
    // On a plain pale desk a white page's sides may step too faintly for either edge map, and what the
    // edges outline is its print, a table on it or a part of it cut off by a rule. Lines along fainter edges
    // outline the page, which then encloses what was found; where it does not, the fainter edges made an
    // outline of print and the page's visible sides.
    if (support.isQuiet()) {
        cv::Mat faintEdges;
        cv::Canny(support.dx(), support.dy(), faintEdges, kFaintLow, kFaintHigh, true);
        // Only lines clear of what was found can be sides of a page around it: the edges well inside it,
        // its print, are left out, and so are the lines that run through it.
        cv::Mat interior;
        if (best) {
            interior = interiorOf(*best, faintEdges.size());
            faintEdges.setTo(0, interior);
        }
        const LineFinder finder = (best ? lineFinder.without(interior) : lineFinder).with(faintEdges);
        std::vector<EdgeLine> faintLines = finder.lines(kMaxLines);
        if (best)
            faintLines.erase(std::remove_if(faintLines.begin(), faintLines.end(),
                                            [&](const EdgeLine &line) { return cutsThrough(line, *best); }),
                             faintLines.end());
        const std::vector<Quad> faintOutlines = LineQuads::find(faintLines, support, scorer, minArea, kMaxLineQuads);
        // Where none of them encloses what was found, none is the page around it.
        if (std::any_of(faintOutlines.begin(), faintOutlines.end(),
                        [&](const Quad &outline) { return !best || encloses(outline, *best); })) {
            std::vector<ScoredOutline> withFaint = candidates;
            for (const Quad &outline : faintOutlines)
                withFaint.push_back({outline, scorer.score(outline)});
            const std::optional<Quad> page = documentAmong(withFaint);
            if (page && (!best || encloses(*page, *best)))
                best = page;
        }
    }
    if (!best || isNoteBesideDesk(*best, lineFinder, colours, smooth.size()))
        return std::nullopt;

    Quad found = best->resampled(judging.toReducedX, judging.toReducedY);
    if (const std::optional<Quad> refined = SideRefiner::refine(judging.reducedGrey, found, kReducedReach))
        found = *refined;
    // The reduction's whole factor, from the reduced image to the picture.
    const double factor = factorX / judging.toReducedX;
    found = found.resampled(factor, factor);
    if (const std::optional<Quad> refined = SideRefiner::refine(judging.searched, found, kFullReach * factor))
        found = *refined;
    // Sheet proportions may have taken the outline past a corner that the frame shows.
    if (const std::optional<Quad> cornered = FrameCorner::within(judging.searched, found))
        found = SideRefiner::refine(judging.searched, *cornered, kFullReach * factor).value_or(*cornered);
    if (ShadowOutline::encloses(judging.searched, found) || DrawnLines::bound(judging.searched, found) ||
        colours.isPatchOfPattern(found.resampled(1 / factorX, 1 / factorY)))
        return std::nullopt;
    return found;
}

bool DocumentDetector::shows(const cv::Mat &picture, const Quad &outline) const
{
    if (!usable(picture))
        return false;
    const JudgingImages judging = judgingImages(picture);
    const EdgeSupport support(judging.channels);
    return support.measure(outline.resampled(1 / judging.factorX, 1 / judging.factorY)).meanSupport >= kMinShownSupport;
}

}  // namespace qirmel
