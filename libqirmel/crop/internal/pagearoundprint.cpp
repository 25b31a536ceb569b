#include "crop/internal/pagearoundprint.h"

#include "crop/internal/chromachannels.h"
#include "crop/internal/linemeeting.h"
#include "crop/internal/outlinecolours.h"
#include "crop/internal/outlinescorer.h"
#include "crop/internal/paperformats.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

namespace qirmel {

namespace {

// Each side is judged in four stretches, between a twentieth and nineteen twentieths of its length, a
// sample every pixel and a half of the grey image; three of them must find the step on one line, within
// this many pixels, as print, a hand or a pen may hide it in one.
constexpr int kStretches = 4;
constexpr int kMinStretchesOnLine = 3;
// Where no line runs through that many in grey or in tint, the paper's end seen in two stretches still
// tells its line: a white page's edge may fade to nothing along the rest, where the desk's light reaches
// the paper's level, and steps where the paper ends are the surest there are. Where print lies beyond the
// side, the paper surely goes on past it, and settled steps in two stretches tell the line as well.
constexpr int kMinStretchesInPart = 2;
constexpr double kFirstStretch = 0.05;
constexpr double kLastStretch = 0.95;
constexpr float kStep = 1.5f;
constexpr float kMaxBend = 1.5f;
// Rows parallel to a side, a pixel apart from the print outwards, are averaged (robustly, in parts). Light
// falls off across a page by a fraction of a level a pixel and the rows' noise averages away, while the
// paper's end changes them by this much at least (a white page on a near-white desk: three to five levels)
// within a pixel or two.
constexpr int kFirstRow = 3;
constexpr std::size_t kParts = 5;
constexpr double kMinStep = 1.5;
// Light falling off steeply, as towards a vignetted corner or away from a lamp, changes every row by nearly
// as much, and the rows' noise then peaks past kMinStep all over the desk. Where the rows around a step
// (this many to either side, but for those its blur reaches) change by this much in the median, it must
// stand out from them by kMinStep.
constexpr int kFalloffRows = 14;
constexpr int kBlurRows = 2;
constexpr double kSteepFalloff = 0.5;
// The rows' noise also peaks by as much for a row or two, and the further the rows reach, the likelier such
// peaks line up across stretches, far out on the desk. Where the paper ends, the rows' levels on either side,
// over this many rows each, past the row next to the step that its blur reaches, differ by a step: lines
// through such settled steps are sought first, and through any step only where none holds, as where a soft
// shadow just beyond a page's edge keeps the rows from settling.
constexpr int kSettleRows = 2;
constexpr int kSettleGap = 1;
// Beyond the paper's end lies the desk, whose grain, seams and falling light step too, and the outermost
// line would follow them far out. Where the rows darken by a step and stay darker than the paper was, over
// up to this many rows beyond (at least the second many, short of the frame's border), the paper has
// ended there: the nearest such line is the page's edge. The paper's end is sharp, its step at least this
// share of the drop from the paper to the rows beyond, where a shadow's edge spreads its drop over many
// rows. A paper's end on a desk brighter than it steps the way a picture's edge on the page does, and is
// left to the outermost line.
constexpr int kEndRows = 40;
constexpr int kMinEndRows = 10;
constexpr double kMinSharpShare = 0.5;
// A white page's edge that only this search finds steps by a few levels, and a clearer one would have been
// found by its edges; a step of more than this is where something else on the desk begins (a keyboard, a
// ruler, a screen's foot), which the outermost line would otherwise follow far beyond the page.
constexpr double kMaxStep = 20;
// A side of the outline is the paper's edge where the rows step within this many pixels of it (as far
// as the outline, found on the judging image, may be off: two of its pixels, and a pen across the side
// pulls it further), seen in this many rows to either side.
constexpr float kEdgeOffset = 4;
constexpr int kEdgeRows = 7;
// The levels on either side: the outermost rows, beyond where the step may lie.
constexpr std::size_t kEdgeLevelRows = std::size_t(kEdgeRows) - std::size_t(kEdgeOffset);
// Print beyond a side: marks darker than the rows' median by this much, one begun in every so many samples
// along them at least (a column of text: one in six or seven; a desk's grain and noise, a pen or a hand's
// edge: one in a hundred at most).
constexpr int kPrintContrast = 20;
constexpr double kMinPrintRuns = 0.05;
// Each row of print steps from the one before as the letters come and go, and the rows where a column of
// text ends step as the paper's end does. On a quiet desk, a step this many rows or fewer from a row that
// holds print is the print's, not the paper's, and lines through such steps are sought only where no other
// is found; a desk's grain or a cloth's pattern makes rows that look like print, and there the paper's end
// may lie right beside them.
constexpr int kPrintRows = 3;
// The page reaches at most four times as far past the print as the print is across: a picture or a narrow
// column of print may lie at one end of a wide page.
constexpr double kMaxReach = 4.0;
// The page found must be larger than the print, and a page's edge lies nearly parallel to its print.
constexpr double kMinGrowth = 1.1;
constexpr double kMaxSlant = 0.15;
// The page's corners lie at least this far inside the frame, in pixels of the support's images.
constexpr float kMinBorder = 2;
// Where the page's sides show beyond three sides of its print and not beyond the fourth, along which the
// print runs, the page has the proportions of the commonest sheet, ISO A's: that side is moved out, in
// steps of this many pixels, until the page has them.
constexpr double kSheetProportion = PaperFormats::kIsoSheet;
constexpr float kProportionStep = 0.5f;
// A side with no step beyond it may already be the page's: print reaching its margin, or an edge the lines
// found where the page's other sides are too faint. An outline that the lines chose may have three of the
// page's sides and a rule, a picture's edge or a column of print for the fourth, where the page's side
// there is faint or under a hand: one side moving makes it another outline. A loose block of print that
// nothing else chose must move more.
constexpr int kMinMovedSides = 1;
constexpr int kMinMovedSidesOfBlock = 3;
// The page's print makes the largest blocks; smaller ones are words, a logo or things on the desk.
constexpr std::size_t kMaxBlocks = 3;
// The print's corners may lie this far outside the page, on a side the two share.
constexpr double kOnSide = 1;
// What lies between the print and the page must look like the page rather than the desk. On a near-white
// desk the paper round a picture looks as much like the desk as like the picture: a page found along steps
// beyond all four of the print's sides, stepping the same way on nearly all of its edges (paper brighter
// than the desk all round), is told by its edges alone. A shadow's or a hand's edges step either way.
constexpr double kMinPolarityAllRound = 0.95;

// The median of the means of a few equal parts of the values: print, a pen or a pencil's tip across part
// of a row leaves it where the paper or the desk puts it.
double robustMean(const std::vector<unsigned char> &values)
{
    std::array<double, kParts> means{};
    const std::size_t count = values.size();
    for (std::size_t part = 0; part < kParts; ++part) {
        const std::size_t from = count * part / kParts;
        const std::size_t to = std::max(from + 1, count * (part + 1) / kParts);
        means[part] = std::accumulate(values.begin() + std::ptrdiff_t(from), values.begin() + std::ptrdiff_t(to), 0.0) /
                      double(to - from);
    }
    std::nth_element(means.begin(), means.begin() + kParts / 2, means.end());
    return means[kParts / 2];
}

// The samples of one row of the grey image parallel to the segment from a to b, row pixels along the unit
// vector outward, that lie within the image; false where most of the row lies outside.
bool sampleRow(const cv::Mat &grey, const cv::Point2f &a, const cv::Point2f &b, const cv::Point2f &outward, int row,
               std::vector<unsigned char> &values)
{
    const float length = std::max(1.0f, float(cv::norm(b - a)));
    int points = 0;
    for (float t = 0; t <= length; t += kStep, ++points) {
        const cv::Point2f p = a + (b - a) * (t / length) + outward * float(row);
        const int x = cvRound(p.x);
        const int y = cvRound(p.y);
        if (x >= 0 && y >= 0 && x < grey.cols && y < grey.rows)
            values.push_back(grey.at<unsigned char>(y, x));
    }
    return 2 * int(values.size()) >= points;
}

// The dark marks along a row's samples: runs darker than the row's median by kPrintContrast.
int printRuns(const std::vector<unsigned char> &values)
{
    if (values.empty())
        return 0;
    std::vector<unsigned char> sorted(values);
    const auto middle = sorted.begin() + std::ptrdiff_t(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const int ground = *middle;
    int runs = 0;
    bool inPrint = false;
    for (const unsigned char value : values) {
        const bool dark = value + kPrintContrast < ground;
        runs += dark && !inPrint;
        inPrint = dark;
    }
    return runs;
}

bool manyRuns(int runs, std::size_t samples)
{
    return samples > 0 && double(runs) >= kMinPrintRuns * double(samples);
}

// Rows of the grey image parallel to the segment from a to b, a pixel apart along the unit vector outward,
// from firstRow to lastRow, up to the first row mostly outside the image: their robust means and, where
// asked for, whether each holds print.
struct Rows {
    std::vector<double> means;
    std::vector<bool> print;
};

Rows rowsOf(const cv::Mat &grey, const cv::Point2f &a, const cv::Point2f &b, const cv::Point2f &outward, int firstRow,
            int lastRow, bool markPrint)
{
    Rows rows;
    std::vector<unsigned char> values;
    for (int row = firstRow; row <= lastRow; ++row) {
        values.clear();
        if (!sampleRow(grey, a, b, outward, row, values))
            break;
        rows.means.push_back(robustMean(values));
        if (markPrint)
            rows.print.push_back(manyRuns(printRuns(values), values.size()));
    }
    return rows;
}

// Whether the rows from firstRow to lastRow hold print: dark marks, one after another along them, on a
// lighter ground. A column of text beyond a gutter darkens the rows' means as a desk would, but breaks
// into runs of print many times along them; a pen, a hand or a picture makes one or two.
bool holdPrint(const cv::Mat &grey, const cv::Point2f &a, const cv::Point2f &b, const cv::Point2f &outward,
               int firstRow, int lastRow)
{
    std::vector<unsigned char> values;
    int runs = 0;
    std::size_t samples = 0;
    for (int row = firstRow; row <= lastRow; ++row) {
        values.clear();
        sampleRow(grey, a, b, outward, row, values);
        runs += printRuns(values);
        samples += values.size();
    }
    return manyRuns(runs, samples);
}

// The change between rows i + 1 and i, smoothed: a sharp step between them gives half its height at
// i - 1 and i + 1 and the whole of it at i.
double changeAt(const std::vector<double> &means, std::size_t i)
{
    return (means[i + 2] + means[i + 1] - means[i] - means[i - 1]) / 2;
}

// Where rows' means step: the offset between rows, the first mean being the row at firstRow, and the
// change across the step.
struct Step {
    float offset = 0;
    double change = 0;
};

// The median change of the rows around row i, leaving out those a step at i blurs.
double falloffAround(const std::vector<double> &means, std::size_t i)
{
    std::vector<double> changes;
    const std::size_t first = i > kFalloffRows ? i - kFalloffRows : 1;
    const std::size_t last = std::min(i + kFalloffRows, means.size() - 3);
    for (std::size_t j = first; j <= last; ++j)
        if (j + kBlurRows < i || j > i + kBlurRows)
            changes.push_back(changeAt(means, j));
    if (changes.empty())
        return 0;
    const auto middle = changes.begin() + std::ptrdiff_t(changes.size() / 2);
    std::nth_element(changes.begin(), middle, changes.end());
    return *middle;
}

std::vector<Step> stepsIn(const std::vector<double> &means, int firstRow)
{
    std::vector<Step> steps;
    for (std::size_t i = 2; i + 3 < means.size(); ++i) {
        const double before = std::abs(changeAt(means, i - 1));
        const double at = std::abs(changeAt(means, i));
        const double after = std::abs(changeAt(means, i + 1));
        if (at < kMinStep || at < before || at <= after)
            continue;
        const double falloff = falloffAround(means, i);
        if (std::abs(falloff) >= kSteepFalloff && std::abs(changeAt(means, i) - falloff) < kMinStep)
            continue;
        // Between rows, where a parabola through the three changes peaks.
        const double curvature = before - 2 * at + after;
        const double shift = curvature < 0 ? 0.5 * (before - after) / curvature : 0;
        steps.push_back({float(firstRow + double(i) + 0.5 + shift), changeAt(means, i)});
    }
    return steps;
}

// Whether the rows' mean levels over kSettleRows on either side of the step, kSettleGap rows from it, differ
// by a step.
bool settles(const std::vector<double> &means, const Step &step, int firstRow)
{
    const auto firstBeyond = std::ptrdiff_t(std::ceil(step.offset)) - firstRow;
    const std::ptrdiff_t reach = kSettleGap + kSettleRows;
    if (firstBeyond < reach || firstBeyond + reach > std::ptrdiff_t(means.size()))
        return false;
    const auto beyond = means.begin() + firstBeyond + kSettleGap;
    const auto before = means.begin() + firstBeyond - reach;
    const double change =
        (std::accumulate(beyond, beyond + kSettleRows, 0.0) - std::accumulate(before, before + kSettleRows, 0.0)) /
        kSettleRows;
    return std::abs(change) >= kMinStep;
}

// Whether the paper ends at the step: the rows darken by it, all stay darker than the kSettleRows before it
// (by half a step at least) over the kEndRows beyond, and by a step on average, of which the step itself
// makes kMinSharpShare at least.
bool endsPaper(const std::vector<double> &means, const Step &step, int firstRow)
{
    const auto firstBeyond = std::ptrdiff_t(std::ceil(step.offset)) - firstRow;
    const std::ptrdiff_t reach = kSettleGap + kSettleRows;
    const std::ptrdiff_t from = firstBeyond + kSettleGap;
    const std::ptrdiff_t to = std::min(std::ptrdiff_t(means.size()), from + kEndRows);
    if (step.change >= 0 || firstBeyond < reach || to - from < kMinEndRows)
        return false;
    const auto before = means.begin() + firstBeyond - reach;
    const double paper = std::accumulate(before, before + kSettleRows, 0.0) / kSettleRows;
    const auto first = means.begin() + from;
    const auto last = means.begin() + to;
    const double drop = paper - std::accumulate(first, last, 0.0) / double(to - from);
    return drop >= kMinStep && -step.change >= kMinSharpShare * drop &&
           *std::max_element(first, last) <= paper - kMinStep / 2;
}

// Whether a row within kPrintRows of the step holds print.
bool besidePrint(const std::vector<bool> &print, const Step &step, int firstRow)
{
    const int at = int(std::lround(step.offset)) - firstRow;
    const int last = std::min(int(print.size()) - 1, at + kPrintRows - 1);
    for (int row = std::max(0, at - kPrintRows); row <= last; ++row)
        if (print[std::size_t(row)])
            return true;
    return false;
}

struct Line {
    cv::Point2f point;
    cv::Point2f direction;
};

// A line beyond a side, and whether it runs through steps where the paper ends or that settle, or only
// through any steps, as the rows' noise lined up by chance may.
struct SideLine {
    Line line;
    bool sure = true;
};

// Where the rows step in each stretch of a side (offsets outward from it), and the middle of each stretch
// as a share of the side's length.
using StretchSteps = std::array<std::vector<float>, kStretches>;
using StretchMiddles = std::array<float, kStretches>;

// Where the rows beyond a side step in each stretch: all steps, those that settle, and those where the
// paper ends.
struct Steps {
    StretchSteps any;
    StretchSteps settled;
    StretchSteps ending;
    StretchMiddles middles;

    void add(int stretch, const std::vector<double> &means, const Step &step, int firstRow)
    {
        any[std::size_t(stretch)].push_back(step.offset);
        if (settles(means, step, firstRow))
            settled[std::size_t(stretch)].push_back(step.offset);
        if (endsPaper(means, step, firstRow))
            ending[std::size_t(stretch)].push_back(step.offset);
    }
};

// The steps beyond a side, those beside print left out on a quiet desk, and all of them.
struct SideSteps {
    Steps clearOfPrint;
    Steps all;
};

// A line beyond a side, offset(t) = start + slope * t pixels out at a share t of the side's length,
// fitted by least squares to the steps near a guess at it, and how many stretches have one there.
struct StepLine {
    double start = 0;
    double slope = 0;
    int stretches = 0;

    double offset(double t) const { return start + slope * t; }
};

StepLine fitNear(const StepLine &guess, const StretchSteps &steps, const StretchMiddles &middles)
{
    StepLine line;
    double sumT = 0, sumOffset = 0, sumTT = 0, sumTOffset = 0;
    for (int k = 0; k < kStretches; ++k) {
        const double expected = guess.offset(middles[k]);
        const auto nearest = std::min_element(steps[k].begin(), steps[k].end(), [expected](float u, float v) {
            return std::abs(u - expected) < std::abs(v - expected);
        });
        if (nearest == steps[k].end() || std::abs(*nearest - expected) > kMaxBend)
            continue;
        ++line.stretches;
        sumT += middles[k];
        sumOffset += *nearest;
        sumTT += double(middles[k]) * middles[k];
        sumTOffset += double(middles[k]) * *nearest;
    }
    const double spread = line.stretches * sumTT - sumT * sumT;
    if (line.stretches < 2 || spread <= 0)
        return StepLine{};
    line.slope = (line.stretches * sumTOffset - sumT * sumOffset) / spread;
    line.start = (sumOffset - line.slope * sumT) / line.stretches;
    return line;
}

// Finds lines beyond the sides of an outline (in the grey image's pixels) along which the picture steps,
// in grey or in its tint.
class StepFinder {
public:
    // quietDesk: whether the desk is plain and pale, where rows holding print are the page's.
    StepFinder(const Quad &outline, const cv::Mat &grey, bool quietDesk)
        : m_outline(outline), m_grey(grey), m_quietDesk(quietDesk)
    {}

    // Where the rows beyond the side step in each stretch of the image (of grey's size).
    SideSteps stepsBeyond(int side, const cv::Mat &image) const
    {
        const float reach =
            float(kMaxReach * std::max(m_outline.sideLength((side + 1) % 4), m_outline.sideLength((side + 3) % 4)));
        const cv::Point2f a = m_outline[side];
        const cv::Point2f b = m_outline[(side + 1) % 4];
        const cv::Point2f outward = -m_outline.inwardNormal(side);
        SideSteps steps;
        for (int stretch = 0; stretch < kStretches; ++stretch) {
            const double from = kFirstStretch + (kLastStretch - kFirstStretch) * stretch / kStretches;
            const double to = kFirstStretch + (kLastStretch - kFirstStretch) * (stretch + 1) / kStretches;
            const Rows rows = rowsOf(image, a + (b - a) * float(from), a + (b - a) * float(to), outward, kFirstRow,
                                     int(reach), m_quietDesk);
            for (const Step &step : stepsIn(rows.means, kFirstRow)) {
                if (std::abs(step.change) > kMaxStep)
                    continue;
                steps.all.add(stretch, rows.means, step, kFirstRow);
                if (!m_quietDesk || !besidePrint(rows.print, step, kFirstRow))
                    steps.clearOfPrint.add(stretch, rows.means, step, kFirstRow);
            }
            steps.all.middles[std::size_t(stretch)] = float((from + to) / 2);
            steps.clearOfPrint.middles[std::size_t(stretch)] = steps.all.middles[std::size_t(stretch)];
        }
        return steps;
    }

    // The line beyond the side along which most stretches of an image step (steps found by stepsBeyond):
    // the nearest where the paper ends, else the outermost through settled steps where there is one, else
    // through any.
    std::optional<SideLine> lineBeyond(int side, const Steps &steps) const
    {
        if (std::optional<Line> line = lineThrough(side, steps.ending, steps.middles, Pick::Nearest))
            return SideLine{*line, true};
        if (std::optional<Line> line = lineThrough(side, steps.settled, steps.middles, Pick::Outermost))
            return SideLine{*line, true};
        if (std::optional<Line> line = lineThrough(side, steps.any, steps.middles, Pick::Outermost))
            return SideLine{*line, false};
        return std::nullopt;
    }

    // A line beyond the side through steps of as few stretches as kMinStretchesInPart: the nearest where
    // the paper ends, else, where print lies beyond the side on a quiet desk (elsewhere, a grain or a pattern
    // may look like print), the outermost through settled steps. A line fitted to so few may be tilted, and
    // is not sure.
    std::optional<SideLine> lineInPart(int side, const Steps &steps, bool printBeyond) const
    {
        std::optional<Line> line = lineThrough(side, steps.ending, steps.middles, Pick::Nearest, kMinStretchesInPart);
        if (!line && printBeyond && m_quietDesk)
            line = lineThrough(side, steps.settled, steps.middles, Pick::Outermost, kMinStretchesInPart);
        if (line)
            return SideLine{*line, false};
        return std::nullopt;
    }

    // Whether the outermost rows that isPaperEdge compares hold print, as beyond a gutter between columns.
    bool printBeyond(int side) const { return printAlong(side, kEdgeRows + 1 - int(kEdgeLevelRows), kEdgeRows); }
    // Whether the rows just inside the side hold print: the side runs along the print's end.
    bool printWithin(int side) const { return printAlong(side, -kEdgeRows, -1); }

    // Whether the paper ends at the side itself: the rows darken outward by a step right there and all
    // stay darker beyond, as at a page's edge on a darker desk. Print has paper or more print beyond it:
    // a ruled border or a line of text darkens only the rows along it, and a shaded heading lies inside.
    // The light falling off across a page may leave the outermost rows darker than the innermost all
    // the same, so every row beyond the step is compared. The gutter between two columns of text steps
    // as an edge does, into the next column's print: where printBeyond, the side is no paper edge.
    bool isPaperEdge(int side) const
    {
        const cv::Point2f a = m_outline[side];
        const cv::Point2f b = m_outline[(side + 1) % 4];
        const cv::Point2f first = a + (b - a) * float(kFirstStretch);
        const cv::Point2f last = a + (b - a) * float(kLastStretch);
        const cv::Point2f outward = -m_outline.inwardNormal(side);
        const std::vector<double> means = rowsOf(m_grey, first, last, outward, -kEdgeRows, kEdgeRows, false).means;
        if (means.size() != std::size_t(2 * kEdgeRows + 1))
            return false;
        const auto levelsFrom = means.begin() + std::ptrdiff_t(means.size() - kEdgeLevelRows);
        const double inside = *std::min_element(means.begin(), means.begin() + std::ptrdiff_t(kEdgeLevelRows));
        const double outside = *std::max_element(levelsFrom, means.end());
        if (outside > inside - kMinStep)
            return false;
        const std::vector<Step> steps = stepsIn(means, -kEdgeRows);
        return std::any_of(steps.begin(), steps.end(), [&](const Step &step) {
            if (std::abs(step.offset) > kEdgeOffset || step.change >= 0)
                return false;
            const auto beyond = std::size_t(std::ceil(step.offset + kEdgeRows + 1));
            return beyond >= means.size() ||
                   *std::max_element(means.begin() + std::ptrdiff_t(beyond), means.end()) <= inside - kMinStep;
        });
    }

private:
    enum class Pick { Nearest, Outermost };

    // The nearest or the outermost line beyond the side through steps (offsets outward from it) of at least
    // minStretches stretches.
    std::optional<Line> lineThrough(int side, const StretchSteps &steps, const StretchMiddles &middles, Pick pick,
                                    int minStretches = kMinStretchesOnLine) const
    {
        // Whether a line (its offset halfway along the side) is a better pick than another: further out, or
        // nearer; for the nearest, of two lines along one edge (as far apart as a side may bend), the one
        // fitted to more stretches, as one stretch's noise tilts a line fitted without it, and a side carried
        // far beyond its print runs off at the page's far corner.
        const auto better = [pick](const StepLine &line, const StepLine &than) {
            const double apart = line.offset(0.5) - than.offset(0.5);
            if (pick == Pick::Outermost)
                return apart > 0;
            return std::abs(apart) <= kMaxBend ? line.stretches > than.stretches : apart < 0;
        };
        // Whether no line fitted near the guess is likely to be better. Fitted lines lie within kMaxBend of
        // their guesses: a nearer one may come of a guess a little further out.
        const auto hopeless = [pick](const StepLine &guess, const StepLine &than) {
            const double apart = guess.offset(0.5) - than.offset(0.5);
            return pick == Pick::Outermost ? apart <= 0 : apart > 2 * kMaxBend;
        };
        // Every line through a step of each of two stretches is a guess.
        const double maxSlope = kMaxSlant * m_outline.sideLength(side);
        std::optional<StepLine> picked;
        for (int i = 0; i < kStretches; ++i)
            for (int j = i + 1; j < kStretches; ++j)
                for (const float first : steps[i])
                    for (const float second : steps[j]) {
                        const double slope = (second - first) / (middles[j] - middles[i]);
                        const StepLine guess{first - slope * middles[i], slope, 2};
                        if (std::abs(slope) > maxSlope || (picked && hopeless(guess, *picked)))
                            continue;
                        const StepLine line = fitNear(guess, steps, middles);
                        if (line.stretches >= minStretches && std::abs(line.slope) <= maxSlope &&
                            (!picked || better(line, *picked)))
                            picked = line;
                    }
        if (!picked)
            return std::nullopt;
        const cv::Point2f a = m_outline[side];
        const cv::Point2f b = m_outline[(side + 1) % 4];
        const cv::Point2f outward = -m_outline.inwardNormal(side);
        const cv::Point2f start = a + outward * float(picked->offset(0));
        return Line{start, b + outward * float(picked->offset(1)) - start};
    }

    bool printAlong(int side, int firstRow, int lastRow) const
    {
        const cv::Point2f a = m_outline[side];
        const cv::Point2f b = m_outline[(side + 1) % 4];
        return holdPrint(m_grey, a + (b - a) * float(kFirstStretch), a + (b - a) * float(kLastStretch),
                         -m_outline.inwardNormal(side), firstRow, lastRow);
    }

    const Quad &m_outline;
    const cv::Mat &m_grey;
    bool m_quietDesk;
};

bool cornerWithinFrame(const cv::Point2f &p, const cv::Size &frame)
{
    return p.x >= kMinBorder && p.y >= kMinBorder && p.x <= frame.width - 1 - kMinBorder &&
           p.y <= frame.height - 1 - kMinBorder;
}

// Whether every corner lies inside the frame, clear of its border: a page running out of the frame ends
// at the frame, not along a step, and what steps out there is a pattern's.
bool withinFrame(const Quad &quad, const cv::Size &frame)
{
    return std::all_of(quad.corners().begin(), quad.corners().end(),
                       [&](const cv::Point2f &p) { return cornerWithinFrame(p, frame); });
}

// The corners where the lines meet, if every two neighbours do.
std::optional<std::array<cv::Point2f, 4>> cornersOf(const std::array<SideLine, 4> &lines)
{
    std::array<cv::Point2f, 4> corners;
    for (int corner = 0; corner < 4; ++corner) {
        const Line &before = lines[(corner + 3) % 4].line;
        const Line &after = lines[corner].line;
        if (!linesMeet(before.point, before.direction, after.point, after.direction, corners[corner]))
            return std::nullopt;
    }
    return corners;
}

// The side's line moved outward by as little as gives the outline the sheet's proportions, the sides beside
// it kSheetProportion times as long as it and the one opposite, or as short, within reach.
std::optional<Line> lineAtSheetProportion(std::array<SideLine, 4> lines, int side, const cv::Point2f &outward,
                                          float reach)
{
    const auto proportion = [&lines, side]() -> std::optional<double> {
        const std::optional<std::array<cv::Point2f, 4>> corners = cornersOf(lines);
        if (!corners)
            return std::nullopt;
        const Quad quad(*corners);
        return (quad.sideLength((side + 1) % 4) + quad.sideLength((side + 3) % 4)) /
               std::max(1e-6, quad.sideLength(side) + quad.sideLength((side + 2) % 4));
    };
    const std::optional<double> start = proportion();
    if (!start || *start >= kSheetProportion)
        return std::nullopt;
    const double wanted = *start < 1 / kSheetProportion ? 1 / kSheetProportion : kSheetProportion;
    const cv::Point2f onPrint = lines[side].line.point;
    for (float offset = kProportionStep; offset < reach; offset += kProportionStep) {
        lines[side].line.point = onPrint + outward * offset;
        const std::optional<double> now = proportion();
        if (now && *now >= wanted)
            return lines[side].line;
    }
    return std::nullopt;
}

// Whether inner lies within outer, or on the sides the two share.
bool encloses(const Quad &outer, const Quad &inner)
{
    const std::vector<cv::Point2f> polygon = outer.points();
    return std::all_of(inner.corners().begin(), inner.corners().end(),
                       [&](const cv::Point2f &p) { return cv::pointPolygonTest(polygon, p, true) >= -kOnSide; });
}

}  // namespace

PageAroundPrint::PageAroundPrint(const EdgeSupport &support, const cv::Mat &grey, const cv::Mat &picture,
                                 const cv::Point2d &scale)
    : m_support(support), m_grey(grey), m_picture(picture), m_scale(scale)
{}

const std::vector<cv::Mat> &PageAroundPrint::colourDifferences() const
{
    if (!m_colourDifferences)
        m_colourDifferences =
            m_picture.type() == CV_8UC3 ? ChromaChannels::reduce(m_picture, m_grey.size()) : std::vector<cv::Mat>();
    return *m_colourDifferences;
}

std::optional<Quad> PageAroundPrint::around(const Quad &chosen) const
{
    return around(chosen, kMinMovedSides);
}

std::optional<Quad> PageAroundPrint::aroundAnyOf(std::vector<Quad> blocks) const
{
    // A page enclosing a block lies within the frame only if the block does.
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                [this](const Quad &block) { return !withinFrame(block, m_support.size()); }),
                 blocks.end());
    std::sort(blocks.begin(), blocks.end(), [](const Quad &a, const Quad &b) { return a.area() > b.area(); });
    blocks.resize(std::min(blocks.size(), kMaxBlocks));
    for (const Quad &block : blocks)
        if (std::optional<Quad> page = around(block, kMinMovedSidesOfBlock))
            return page;
    return std::nullopt;
}

std::optional<Quad> PageAroundPrint::around(const Quad &print, int minMovedSides) const
{
    const Quad outline = print.resampled(m_scale.x, m_scale.y);
    const StepFinder finder(outline, m_grey, m_support.isQuiet());
    std::array<SideLine, 4> lines;
    std::array<bool, 4> found{};
    std::array<bool, 4> paperEdge{};
    const auto onPrint = [&outline](int side) {
        const cv::Point2f from = outline[side];
        return SideLine{{from, outline[(side + 1) % 4] - from}};
    };
    // The steps beyond each side in grey, then in each tint looked at, kept for the search through the
    // print's own steps.
    std::array<std::vector<SideSteps>, 4> stepsBeyond;
    // A white page on a white desk may differ from it in tint alone, by a level or two of the colour
    // differences, where grey does not step at all; print, being grey, leaves the tint flat.
    const auto lineBeyond = [&](int side, Steps SideSteps::*kept, bool printBeyond) {
        std::vector<SideSteps> &steps = stepsBeyond[std::size_t(side)];
        if (steps.empty())
            steps.push_back(finder.stepsBeyond(side, m_grey));
        std::optional<SideLine> line = finder.lineBeyond(side, steps[0].*kept);
        for (std::size_t c = 0; !line && c < colourDifferences().size(); ++c) {
            if (steps.size() < c + 2)
                steps.push_back(finder.stepsBeyond(side, colourDifferences()[c]));
            line = finder.lineBeyond(side, steps[c + 1].*kept);
        }
        if (!line)
            line = finder.lineInPart(side, steps[0].*kept, printBeyond);
        return line;
    };
    for (int side = 0; side < 4; ++side) {
        lines[side] = onPrint(side);
        const bool printBeyond = finder.printBeyond(side);
        paperEdge[side] = !printBeyond && finder.isPaperEdge(side);
        if (paperEdge[side])
            continue;
        if (const std::optional<SideLine> line = lineBeyond(side, &SideSteps::clearOfPrint, printBeyond)) {
            lines[side] = *line;
            found[side] = true;
        }
    }
    // One side left on the print, along which the print runs, where the page's other sides showed: the page's
    // side there is too faint to see, as where a lamp lights the desk to the paper's level. The page takes
    // the sheet's proportions, if it then lies within the frame.
    std::vector<int> unseen;
    for (int side = 0; side < 4; ++side)
        if (!paperEdge[side] && !found[side])
            unseen.push_back(side);
    if (unseen.size() == 1 && finder.printWithin(unseen[0])) {
        const int side = unseen[0];
        const float reach = float(kMaxReach * outline.sideLength((side + 1) % 4));
        if (const std::optional<Line> line = lineAtSheetProportion(lines, side, -outline.inwardNormal(side), reach)) {
            std::array<SideLine, 4> withLine = lines;
            withLine[side].line = *line;
            const std::optional<std::array<cv::Point2f, 4>> corners = cornersOf(withLine);
            if (corners && withinFrame(Quad(*corners).resampled(1 / m_scale.x, 1 / m_scale.y), m_support.size())) {
                lines = withLine;
                found[side] = true;
            }
        }
    }
    // Where no line clear of print was found, the outermost through the print's own steps is taken: the
    // paper reaches at least as far as its print.
    for (int side = 0; side < 4 && m_support.isQuiet(); ++side)
        if (!paperEdge[side] && !found[side])
            if (const std::optional<SideLine> line = lineBeyond(side, &SideSteps::all, false)) {
                lines[side] = *line;
                found[side] = true;
            }
    const auto moved = [&found] { return int(std::count(found.begin(), found.end(), true)); };
    std::optional<Quad> page;
    for (;;) {
        if (moved() < minMovedSides)
            return std::nullopt;
        const std::optional<std::array<cv::Point2f, 4>> corners = cornersOf(lines);
        if (!corners)
            return std::nullopt;
        page = Quad(*corners).resampled(1 / m_scale.x, 1 / m_scale.y);
        // On a plain desk, a page may run out of the frame past a side of its print with no step beyond it:
        // the frame cuts the page there, and the corners at that side's ends lie beyond the frame. Those
        // between two sides found along steps must lie within it; on a coloured pattern, every corner must.
        // Where one does not, a side found through any steps alone went astray on the rows' noise: it is left
        // on the print, and the page sought again.
        if (withinFrame(*page, m_support.size()))
            break;
        if (OutlineColours(m_support).deskIsPattern())
            return std::nullopt;
        int astray = 0;
        while (astray < 4 &&
               (!found[(astray + 3) % 4] || !found[astray] || cornerWithinFrame((*page)[astray], m_support.size())))
            ++astray;
        if (astray == 4)
            break;
        const int before = (astray + 3) % 4;
        if (lines[before].sure && lines[astray].sure)
            return std::nullopt;
        for (const int side : {before, astray})
            if (!lines[side].sure) {
                lines[side] = onPrint(side);
                found[side] = false;
            }
    }
    if (!page->isConvex() || OutlineScorer::shapeScore(*page) <= 0 || page->area() < kMinGrowth * print.area() ||
        !encloses(*page, print))
        return std::nullopt;
    const bool steppedAllRound = moved() == 4 && m_support.measure(*page).polarity >= kMinPolarityAllRound;
    if (!steppedAllRound && !OutlineColours(m_support).ringIsDocument(*page, print))
        return std::nullopt;
    return page;
}

}  // namespace qirmel
