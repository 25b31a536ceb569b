#include "crop/internal/outlinecolours.h"

#include "crop/internal/paperformats.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

namespace qirmel {

namespace {

// Bands are sampled every few pixels along the sides, at these distances from them.
constexpr float kStep = 3;
constexpr float kOffset = 3;
// Colour differences are scaled down by ChromaChannels; the weight brings them back to grey's scale.
constexpr int kChromaWeight = 3;
// Above this share of ring samples nearer the desk, the ring is desk.
constexpr double kMaxDeskShare = 0.5;
// Fewer ring samples than this say nothing: a band a pixel or two wide along the frame's border.
constexpr std::size_t kMinRingSamples = 12;
// Paper under any light a camera works in is brighter than this, or else brighter than the desk it lies
// on: in a dim room the desk darkens with it, while a phone stays darker than even a dark mat.
constexpr int kDarkest = 64;
// A glossy screen catches the light, which may lift its grey above the darkest paper's; it stays under
// half the desk's, while a sheet in a shadow the desk beside it escapes keeps more than that.
constexpr int kDarkGlossy = 100;
// A phone's or a tablet's glass mirrors the room: a lamp's reflection sweeps across it from near black to
// near white, by this much at least between the tenth of it that is darkest and the tenth that is brightest,
// and its median stays darker than the desk by the second much. Paper is lit evenly: a sheet darker than
// the desk is a coloured one, evenly coloured, and one that a shadow darkens across part of it, or a
// banknote, may be as varied, but by its print, from one figure or line to the next, and by the shadow's
// edge, where a reflection changes smoothly across the glass: a plane through the grey leaves at most this
// share of the reflection's variance unexplained.
constexpr int kMinReflectionSweep = 100;
constexpr int kMinGlassDarkening = 40;
constexpr double kMaxUnexplainedShare = 0.4;
// Square within this ratio of its sides; blank where fewer than this share of the inside differs from the
// plane through its grey by as much as faint print does.
constexpr double kMaxSquareRatio = 1.15;
constexpr int kPrintStep = 12;
constexpr double kMaxPrintShare = 0.02;
// A note stands out from what it lies on by at least this colour distance (grey and weighted colour
// differences); a blank stretch of a page between its print has the page's own paper all round it.
constexpr int kMinNoteContrast = 30;
// The largest notes, 10 cm square, cover an eighth of a frame that shows a page; a blank square larger
// than this share of the frame is a sheet, or a blank stretch of one framed by its rules.
constexpr double kMaxNoteShare = 0.2;
// A bezel, a pixel or two wide around a screen, is darker than both the screen and the desk by this much
// at least; the soft shadow round a sheet of paper darkens the desk beside it by half as much at most.
constexpr int kMinBezelContrast = 30;
// A patch of pattern is compared with a ring around it, both sampled every few pixels: within the outline
// shrunk about its centre, and between the outline grown by two factors, clear of the soft shadow along
// its sides. The ring is a coloured pattern where a colour difference varies by this much (a standard
// deviation) at least: a near-white or grained desk varies in brightness alone, by the light falling off
// across it as much as by its grain, and the things on a cluttered desk vary its colour less.
constexpr float kGridStep = 3;
constexpr float kPatchScale = 0.9f;
constexpr float kClearScale = 1.1f;
constexpr float kRingScale = 1.3f;
constexpr double kMinPatternSpread = 12;
// The desk is judged along the frame's border, where a document seldom lies: this part of the frame's
// width and height on each side.
constexpr int kDeskBorderParts = 7;
// The patch looks like the pattern where each channel's mean lies within this many of the ring's
// standard deviations (at least kMinSpread) of the ring's mean, and, where the ring varies by
// kMinVariedSpread or more, the patch varies nearly as much: a plain sheet on the pattern has one colour,
// and a page's print varies the grey alone.
constexpr double kMaxMeanOffset = 0.75;
constexpr double kMinSpread = 4;
constexpr double kMinVariedSpread = 8;
constexpr double kMinSpreadShare = 0.7;
// A patch the pattern's own lines outline holds the pattern's colours, however the lines divide them and
// its mean from the ring's: at least this share of the ring's samples of other colours than its median
// one have a colour within kSameColour (grey and weighted colour differences) of one inside. A
// document on the pattern, plain or printed, lacks most of them. Only where the ring is whole: an
// outline running out of the frame loses part of it.
constexpr double kMinSharedColours = 0.7;
constexpr int kSameColour = 15;
// Where the outline runs out of the frame, its colours are compared with the cloth along the frame's
// border instead, which holds other things lying at the border too (a keyboard, a mug's shadow): a
// lower share of them is within.
constexpr double kMinBorderSharedColours = 0.6;
// The ring is a pattern of several colours where at least this share of it differs from its median
// colour by this much: a desk with a few things lying on it is mostly of one.
constexpr int kOtherColour = 40;
constexpr double kMinOtherShare = 0.25;

// Points every few pixels along a side, leaving out its ends, offset along its outward normal (negative:
// inside).
std::vector<cv::Point2f> pointsAlong(const Quad &quad, int side, float offset)
{
    const cv::Point2f from = quad[side];
    const cv::Point2f to = quad[(side + 1) % 4];
    const float length = float(cv::norm(to - from));
    const cv::Point2f shift = -quad.inwardNormal(side) * offset;
    std::vector<cv::Point2f> points;
    for (float t = kStep; t < length - kStep; t += kStep)
        points.push_back(from + (to - from) * (t / length) + shift);
    return points;
}

bool everywhere(const cv::Point2f &)
{
    return true;
}

// The outline's corners moved away from (or towards) its centre by a factor.
std::array<cv::Point2f, 4> grown(const Quad &quad, float factor)
{
    const cv::Point2f centre = quad.centre();
    std::array<cv::Point2f, 4> corners;
    for (int i = 0; i < 4; ++i)
        corners[i] = centre + (quad[i] - centre) * factor;
    return corners;
}

// Whether p lies within the convex outline: on the same side of all its sides. Far cheaper than
// cv::pointPolygonTest, which a grid of points would call thousands of times.
bool contains(const std::array<cv::Point2f, 4> &convex, const cv::Point2f &p)
{
    bool left = false;
    bool right = false;
    for (int i = 0; i < 4; ++i) {
        const float turn = (convex[(i + 1) & 3] - convex[i]).cross(p - convex[i]);
        left = left || turn < 0;
        right = right || turn > 0;
    }
    return !(left && right);
}

// Per channel, the mean and the standard deviation of the samples.
struct Spread {
    std::array<double, EdgeSupport::kMaxChannels> mean{};
    std::array<double, EdgeSupport::kMaxChannels> deviation{};
};

Spread spreadOf(const std::vector<OutlineColours::Sample> &samples, int channels)
{
    Spread spread;
    for (int c = 0; c < channels; ++c) {
        double sum = 0;
        double squares = 0;
        for (const OutlineColours::Sample &sample : samples) {
            sum += sample[c];
            squares += double(sample[c]) * sample[c];
        }
        const double count = double(samples.size());
        spread.mean[c] = sum / count;
        spread.deviation[c] = std::sqrt(std::max(0.0, squares / count - spread.mean[c] * spread.mean[c]));
    }
    return spread;
}

// Whether a colour difference varies by as much as a coloured pattern's does.
bool isColouredPattern(const Spread &spread, int channels)
{
    for (int c = 1; c < channels; ++c)
        if (spread.deviation[c] >= kMinPatternSpread)
            return true;
    return false;
}

// Per channel, the median of the samples (which must not be empty).
OutlineColours::Sample medianSample(std::vector<OutlineColours::Sample> samples, int channels)
{
    OutlineColours::Sample median{};
    const auto middle = samples.begin() + std::ptrdiff_t(samples.size() / 2);
    for (int c = 0; c < channels; ++c) {
        std::nth_element(samples.begin(), middle, samples.end(),
                         [c](const OutlineColours::Sample &a, const OutlineColours::Sample &b) { return a[c] < b[c]; });
        median[std::size_t(c)] = (*middle)[std::size_t(c)];
    }
    return median;
}

int medianGrey(std::vector<OutlineColours::Sample> samples)
{
    return samples.empty() ? 0 : medianSample(std::move(samples), 1)[0];
}

}  // namespace

OutlineColours::OutlineColours(const EdgeSupport &support) : m_support(support) {}

std::vector<OutlineColours::Sample> OutlineColours::around(const Quad &quad, const std::vector<float> &offsets,
                                                           const std::function<bool(const cv::Point2f &)> &keep) const
{
    std::vector<Sample> values;
    for (int side = 0; side < 4; ++side)
        for (const float offset : offsets)
            for (const cv::Point2f &p : pointsAlong(quad, side, offset))
                if (m_support.measurable(p) && keep(p))
                    values.push_back(m_support.valuesAt(p));
    return values;
}

int OutlineColours::nearest(const Sample &sample, const std::vector<Sample> &samples) const
{
    int best = INT_MAX;
    for (const Sample &other : samples)
        best = std::min(best, distance(sample, other));
    return best;
}

int OutlineColours::distance(const Sample &a, const Sample &b) const
{
    int sum = std::abs(a[0] - b[0]);
    for (int c = 1; c < m_support.channelCount(); ++c)
        sum += kChromaWeight * std::abs(a[c] - b[c]);
    return sum;
}

std::pair<double, std::size_t> OutlineColours::deskShare(const Quad &outer, const Quad &inner) const
{
    const std::vector<cv::Point2f> outerOutline = outer.points();
    const std::vector<float> outside{kOffset, 2 * kOffset, 4 * kOffset};
    const std::vector<Sample> desk = around(outer, outside, everywhere);
    const std::vector<Sample> within = around(inner, {-kOffset, -2 * kOffset, -4 * kOffset}, everywhere);
    const std::vector<Sample> ring = around(
        inner, outside, [&](const cv::Point2f &p) { return cv::pointPolygonTest(outerOutline, p, true) > kOffset; });
    if (ring.empty() || desk.empty() || within.empty())
        return {0, 0};
    std::size_t deskLike = 0;
    for (const Sample &sample : ring)
        deskLike += nearest(sample, desk) < nearest(sample, within);
    return {double(deskLike) / ring.size(), ring.size()};
}

bool OutlineColours::ringIsDesk(const Quad &outer, const Quad &inner) const
{
    const auto [share, samples] = deskShare(outer, inner);
    return samples > 0 && share > kMaxDeskShare;
}

bool OutlineColours::ringIsDocument(const Quad &outer, const Quad &inner) const
{
    const auto [share, samples] = deskShare(outer, inner);
    return samples >= kMinRingSamples && share <= kMaxDeskShare;
}

bool OutlineColours::isDarkObject(const Quad &outline) const
{
    const int inside = medianGrey(around(outline, {-2 * kOffset, -4 * kOffset}, everywhere));
    const int outside = medianGrey(around(outline, {2 * kOffset, 4 * kOffset}, everywhere));
    if (inside >= outside)
        return false;
    if (inside < kDarkest || (inside < kDarkGlossy && inside * 2 < outside))
        return true;
    return inside + kMinGlassDarkening <= outside && isSweptByReflection(outline);
}

OutlineColours::GreyOffPlane OutlineColours::greyOffPlane(const Quad &outline, const std::vector<float> &offsets) const
{
    GreyOffPlane samples;
    std::vector<cv::Point2f> points;
    for (int side = 0; side < 4; ++side)
        for (const float offset : offsets)
            for (const cv::Point2f &p : pointsAlong(outline, side, offset))
                if (m_support.measurable(p)) {
                    points.push_back(p);
                    samples.grey.push_back(m_support.valuesAt(p)[0]);
                }
    if (points.size() < 3)
        return samples;
    // The plane grey = a + b x + c y through the samples.
    cv::Mat atPoints(int(points.size()), 3, CV_64FC1);
    for (int i = 0; i < atPoints.rows; ++i) {
        atPoints.at<double>(i, 0) = 1;
        atPoints.at<double>(i, 1) = points[std::size_t(i)].x;
        atPoints.at<double>(i, 2) = points[std::size_t(i)].y;
    }
    const cv::Mat grey(samples.grey, false);
    cv::Mat plane;
    cv::solve(atPoints, grey, plane, cv::DECOMP_SVD);
    const cv::Mat offPlane = grey - atPoints * plane;
    samples.offPlane.assign(offPlane.begin<double>(), offPlane.end<double>());
    return samples;
}

bool OutlineColours::isSweptByReflection(const Quad &outline) const
{
    const GreyOffPlane samples = greyOffPlane(outline, {-2 * kOffset, -4 * kOffset, -6 * kOffset, -8 * kOffset});
    if (samples.grey.size() < kMinRingSamples)
        return false;
    std::vector<double> sorted = samples.grey;
    std::sort(sorted.begin(), sorted.end());
    if (sorted[sorted.size() * 9 / 10] - sorted[sorted.size() / 10] < kMinReflectionSweep)
        return false;
    cv::Scalar mean;
    cv::Scalar deviation;
    cv::meanStdDev(samples.grey, mean, deviation);
    const double unexplained = cv::norm(samples.offPlane, cv::NORM_L2SQR);
    return unexplained <= kMaxUnexplainedShare * double(samples.grey.size()) * deviation[0] * deviation[0];
}

bool OutlineColours::isBlankSquare(const Quad &outline) const
{
    if (PaperFormats::longOverShort(outline.sideRatio()) > kMaxSquareRatio ||
        outline.area() > kMaxNoteShare * m_support.size().area())
        return false;
    const std::vector<Sample> inside =
        around(outline, {-kOffset, -2 * kOffset, -3 * kOffset, -4 * kOffset}, everywhere);
    if (inside.empty())
        return false;
    // Print, not the light falling off across a note, which shades it smoothly.
    const std::vector<double> offPlane =
        greyOffPlane(outline, {-kOffset, -2 * kOffset, -3 * kOffset, -4 * kOffset}).offPlane;
    const auto printed =
        std::count_if(offPlane.begin(), offPlane.end(), [](double off) { return std::abs(off) >= kPrintStep; });
    if (printed >= kMaxPrintShare * double(offPlane.size()))
        return false;
    const std::vector<Sample> outside = around(outline, {kOffset, 2 * kOffset, 4 * kOffset}, everywhere);
    const int channels = m_support.channelCount();
    return !outside.empty() &&
           distance(medianSample(inside, channels), medianSample(outside, channels)) >= kMinNoteContrast;
}

bool OutlineColours::isScreenInBezel(const Quad &outline) const
{
    const int bezel = medianGrey(around(outline, {1, 2}, everywhere));
    const int screen = medianGrey(around(outline, {-kOffset}, everywhere));
    const int desk = medianGrey(around(outline, {2 * kOffset}, everywhere));
    if (bezel + kMinBezelContrast > std::min(screen, desk))
        return false;
    // A book's cover frames its pages in the same way, but the pages bear print: the grey changes from
    // one sample to the next along the bands inside, where a screen's light changes smoothly.
    return printedShare(outline, {-2 * kOffset, -4 * kOffset, -6 * kOffset}) < kMaxPrintShare;
}

bool OutlineColours::deskIsPattern() const
{
    return isPatternedDesk(deskBorder(everywhere));
}

bool OutlineColours::isPatternedDesk(const std::vector<Sample> &border) const
{
    // A hand reaching in or a coloured thing lying at the border varies the colour as much, but covers
    // little of it.
    return border.size() >= kMinRingSamples &&
           isColouredPattern(spreadOf(border, m_support.channelCount()), m_support.channelCount()) &&
           double(otherColours(border).size()) >= kMinOtherShare * double(border.size());
}

std::vector<OutlineColours::Sample> OutlineColours::deskBorder(
    const std::function<bool(const cv::Point2f &)> &keep) const
{
    const cv::Size size = m_support.size();
    const cv::Rect middle(size.width / kDeskBorderParts, size.height / kDeskBorderParts,
                          size.width - 2 * (size.width / kDeskBorderParts),
                          size.height - 2 * (size.height / kDeskBorderParts));
    std::vector<Sample> border;
    for (float y = 0; y < float(size.height); y += kGridStep)
        for (float x = 0; x < float(size.width); x += kGridStep) {
            const cv::Point2f p(x, y);
            if (!middle.contains(cv::Point(int(x), int(y))) && m_support.measurable(p) && keep(p))
                border.push_back(m_support.valuesAt(p));
        }
    return border;
}

bool OutlineColours::isPatchOfPattern(const Quad &outline) const
{
    const std::array<cv::Point2f, 4> patch = grown(outline, kPatchScale);
    const std::array<cv::Point2f, 4> clear = grown(outline, kClearScale);
    const std::array<cv::Point2f, 4> ring = grown(outline, kRingScale);
    const cv::Rect bounds = cv::boundingRect(std::vector<cv::Point2f>(ring.begin(), ring.end())) &
                            cv::Rect(cv::Point(0, 0), m_support.size());
    std::vector<Sample> within;
    std::vector<Sample> around;
    for (float y = float(bounds.y); y < float(bounds.br().y); y += kGridStep)
        for (float x = float(bounds.x); x < float(bounds.br().x); x += kGridStep) {
            const cv::Point2f p(x, y);
            if (!m_support.measurable(p))
                continue;
            if (contains(patch, p))
                within.push_back(m_support.valuesAt(p));
            else if (contains(ring, p) && !contains(clear, p))
                around.push_back(m_support.valuesAt(p));
        }
    if (within.size() < kMinRingSamples || around.size() < kMinRingSamples)
        return false;
    const int channels = m_support.channelCount();
    const Spread ringSpread = spreadOf(around, channels);
    const Spread inside = spreadOf(within, channels);
    const bool ringIsPattern = isColouredPattern(ringSpread, channels);
    // A ring around a narrow patch can run mostly along one of a cloth's bands and look plainer than the
    // cloth: a patch that varies as a pattern does is then compared with the cloth along the frame's border,
    // away from the patch.
    // The cloth along the border, away from the patch: gathered once, where first needed.
    std::optional<std::vector<Sample>> border;
    const auto borderAway = [&]() -> const std::vector<Sample> & {
        if (!border)
            border = deskBorder([&](const cv::Point2f &p) { return !contains(clear, p); });
        return *border;
    };
    std::optional<Spread> outside;
    if (ringIsPattern)
        outside = ringSpread;
    else if (isColouredPattern(inside, channels) && isPatternedDesk(borderAway()))
        outside = spreadOf(borderAway(), channels);
    if (!outside)
        return false;
    if (ringIsPattern && outline.liesWithin(m_support.size()) && sharedColours(around, within) >= kMinSharedColours)
        return true;
    // An outline running out of the frame is compared with the cloth along the border instead.
    if (!outline.liesWithin(m_support.size()) && isPatternedDesk(borderAway()) &&
        sharedColours(borderAway(), within) >= kMinBorderSharedColours)
        return true;
    for (int c = 0; c < channels; ++c) {
        if (std::abs(inside.mean[c] - outside->mean[c]) > kMaxMeanOffset * std::max(outside->deviation[c], kMinSpread))
            return false;
        if (outside->deviation[c] >= kMinVariedSpread && inside.deviation[c] < kMinSpreadShare * outside->deviation[c])
            return false;
    }
    return true;
}

double OutlineColours::sharedColours(const std::vector<Sample> &ring, std::vector<Sample> within) const
{
    // The ring's colours other than its median one: the pattern's, where it has more than one.
    const std::vector<Sample> others = otherColours(ring);
    if (double(others.size()) < kMinOtherShare * double(ring.size()))
        return 0;
    // A pattern has few colours: the inside's, each kept once, are far fewer to compare with.
    std::sort(within.begin(), within.end());
    within.erase(std::unique(within.begin(), within.end()), within.end());
    const auto shared = std::count_if(others.begin(), others.end(),
                                      [&](const Sample &sample) { return nearest(sample, within) <= kSameColour; });
    return double(shared) / double(others.size());
}

std::vector<OutlineColours::Sample> OutlineColours::otherColours(const std::vector<Sample> &samples) const
{
    const Sample common = medianSample(samples, m_support.channelCount());
    std::vector<Sample> others;
    for (const Sample &sample : samples)
        if (distance(sample, common) > kOtherColour)
            others.push_back(sample);
    return others;
}

double OutlineColours::printedShare(const Quad &outline, const std::vector<float> &offsets) const
{
    std::size_t changes = 0;
    std::size_t pairs = 0;
    for (int side = 0; side < 4; ++side)
        for (const float offset : offsets) {
            std::optional<int> previous;
            for (const cv::Point2f &p : pointsAlong(outline, side, offset)) {
                if (!m_support.measurable(p)) {
                    previous.reset();
                    continue;
                }
                const int grey = m_support.valuesAt(p)[0];
                if (previous) {
                    ++pairs;
                    changes += std::abs(grey - *previous) >= kPrintStep;
                }
                previous = grey;
            }
        }
    return pairs > 0 ? double(changes) / double(pairs) : 0;
}

}  // namespace qirmel
