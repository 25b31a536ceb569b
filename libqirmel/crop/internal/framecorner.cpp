#include "crop/internal/framecorner.h"

#include "crop/internal/linemeeting.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace qirmel {

namespace {

// Samples lie this many pixels apart along a line, and compare the picture this near to this far on
// either side of it: past the blur of an edge, short of print near the paper's edge.
constexpr float kStep = 2;
constexpr int kNearAcross = 2;
constexpr int kFarAcross = 5;
// A side's edge is measured over the middle of its stretch within the frame, away from its corners; it
// must step by this much at least to be followed.
constexpr double kMiddleFrom = 0.2;
constexpr double kMiddleTo = 0.8;
constexpr double kMinEdgeStep = 8;
// The edge goes on where it steps by at least half as much as in the middle, and has ended where it
// steps by less than a quarter; it must end this many pixels short of the border, more than the blur of
// a corner, and the fourth side must show for as long.
constexpr double kHoldShare = 0.5;
constexpr double kGoneShare = 0.25;
constexpr float kMinGap = 8;
constexpr float kMinShown = 24;
// Samples over which a corner's blur fades an edge.
constexpr std::size_t kCornerBlur = 3;
// Most samples along the stretch of the fourth side that shows must find its edge.
constexpr double kMinHeldShare = 0.8;
// The fourth side is sought within this angle of the side it replaces, which perspective and a wrong
// proportion turn by a few degrees.
constexpr double kMaxTurnDegrees = 12;
constexpr double kTurnStepDegrees = 0.5;
// On a short stretch several angles show the edge about as well: those within this share of the best lie
// around the side's own.
constexpr double kNearlyBest = 0.97;

bool inFrame(const cv::Point2f &p, const cv::Size &frame)
{
    return p.x >= 0 && p.y >= 0 && p.x <= float(frame.width - 1) && p.y <= float(frame.height - 1);
}

// Steps across lines in one channel of a picture, inside minus outside.
class Stepper {
public:
    Stepper(const cv::Mat &picture, int channel) : m_picture(picture), m_channel(channel) {}

    // Whether samples across p along inward all lie in the picture.
    bool reaches(const cv::Point2f &p, const cv::Point2f &inward) const
    {
        return inFrame(p + inward * float(kFarAcross), m_picture.size()) &&
               inFrame(p - inward * float(kFarAcross), m_picture.size());
    }

    double across(const cv::Point2f &p, const cv::Point2f &inward) const
    {
        double inside = 0;
        double outside = 0;
        for (int k = kNearAcross; k <= kFarAcross; ++k) {
            inside += level(p + inward * float(k));
            outside += level(p - inward * float(k));
        }
        return (inside - outside) / (kFarAcross - kNearAcross + 1);
    }

private:
    double level(const cv::Point2f &p) const
    {
        return m_picture.ptr<std::uint8_t>(cvRound(p.y))[cvRound(p.x) * m_picture.channels() + m_channel];
    }

    const cv::Mat &m_picture;
    int m_channel;
};

// Steps across the line from `from` along `along` every kStep pixels, for as long as the picture reaches.
std::vector<double> stepsAlong(const Stepper &stepper, const cv::Point2f &from, const cv::Point2f &along,
                               const cv::Point2f &inward)
{
    std::vector<double> steps;
    for (float t = 0;; t += kStep) {
        const cv::Point2f p = from + along * t;
        if (!stepper.reaches(p, inward))
            return steps;
        steps.push_back(stepper.across(p, inward));
    }
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

cv::Point2f turned(const cv::Point2f &v, double degrees)
{
    const double r = degrees * CV_PI / 180;
    return cv::Point2f(float(v.x * std::cos(r) - v.y * std::sin(r)), float(v.x * std::sin(r) + v.y * std::cos(r)));
}

// Where a sheet's edge ends: how far from where it was followed from, in which channel it shows most
// clearly, and how much it steps there, inside minus outside.
struct EdgeEnd {
    float at = 0;
    int channel = 0;
    double step = 0;
};

// The sheet's corner where the edge along the side from inside (a corner in the frame) along `along`
// ends short of the border; none where it runs on to the border or shows too faintly to follow.
std::optional<EdgeEnd> edgeEnd(const cv::Mat &picture, const cv::Point2f &inside, const cv::Point2f &along,
                               const cv::Point2f &inward)
{
    std::optional<EdgeEnd> end;
    double clearest = kMinEdgeStep;
    std::vector<double> best;
    for (int channel = 0; channel < picture.channels(); ++channel) {
        const std::vector<double> steps = stepsAlong(Stepper(picture, channel), inside, along, inward);
        if (float(steps.size()) * kStep < 2 * kMinGap)
            return std::nullopt;
        const std::vector<double> middle(steps.begin() + std::ptrdiff_t(kMiddleFrom * double(steps.size())),
                                         steps.begin() + std::ptrdiff_t(kMiddleTo * double(steps.size())));
        const double step = median(middle);
        if (std::abs(step) >= clearest) {
            clearest = std::abs(step);
            end = EdgeEnd{0, channel, step};
            best = steps;
        }
    }
    if (!end)
        return std::nullopt;
    const double sign = end->step > 0 ? 1 : -1;
    std::size_t last = best.size();
    while (last > 0 && sign * best[last - 1] < kGoneShare * clearest)
        --last;
    // The last sample short of the gap may straddle the corner's blur: the edge must hold just before.
    if (last < kCornerBlur || float(best.size() - last) * kStep < kMinGap ||
        std::none_of(best.end() - std::ptrdiff_t(best.size() - last + kCornerBlur), best.begin() + std::ptrdiff_t(last),
                     [&](double step) { return sign * step >= kHoldShare * clearest; }))
        return std::nullopt;
    end->at = float(last - 1) * kStep;
    return end;
}

// How well the line from corner along `along` shows the sheet's edge up to the border: its mean step, or
// nothing where it shows for less than kMinShown pixels, fewer than kMinHeldShare of its samples find
// the edge, or it steps the other way on the whole.
std::optional<double> shownStep(const Stepper &stepper, const cv::Point2f &corner, const cv::Point2f &along,
                                const cv::Point2f &inward, double edgeStep)
{
    // The first samples lie in the blur of the corner.
    const std::vector<double> steps = stepsAlong(stepper, corner + along * float(kFarAcross), along, inward);
    if (float(steps.size()) * kStep < kMinShown)
        return std::nullopt;
    const double sign = edgeStep > 0 ? 1 : -1;
    std::size_t held = 0;
    double sum = 0;
    for (const double step : steps) {
        held += sign * step >= kHoldShare * std::abs(edgeStep);
        sum += sign * step;
    }
    if (double(held) < kMinHeldShare * double(steps.size()) || sum <= 0)
        return std::nullopt;
    return sum / double(steps.size());
}

// The direction of the side that leaves the frame from corner, turned from `expected` by the angle at which
// it shows the edge best: the middle of the angles that show it nearly as well as any, since on a short
// stretch several do. Its inside lies towards `inner`.
std::optional<cv::Point2f> fourthSide(const Stepper &stepper, const cv::Point2f &corner, const cv::Point2f &expected,
                                      const cv::Point2f &inner, double edgeStep)
{
    std::vector<std::pair<double, double>> shown;  // degrees, mean step
    double best = 0;
    for (double degrees = -kMaxTurnDegrees; degrees <= kMaxTurnDegrees; degrees += kTurnStepDegrees) {
        const cv::Point2f along = turned(expected, degrees);
        cv::Point2f inward(along.y, -along.x);
        if (inward.dot(inner - corner) < 0)
            inward = -inward;
        if (const std::optional<double> step = shownStep(stepper, corner, along, inward, edgeStep)) {
            shown.emplace_back(degrees, *step);
            best = std::max(best, *step);
        }
    }
    if (shown.empty())
        return std::nullopt;
    double sum = 0;
    int count = 0;
    for (const auto &[degrees, step] : shown)
        if (step >= kNearlyBest * best) {
            sum += degrees;
            ++count;
        }
    return turned(expected, sum / count);
}

}  // namespace

std::optional<Quad> FrameCorner::within(const cv::Mat &picture, const Quad &outline)
{
    const cv::Size frame = picture.size();
    for (int outside = 0; outside < 4; ++outside) {
        if (inFrame(outline[outside], frame))
            continue;
        for (const int turn : {1, 3}) {
            // The side from a corner in the frame to this one runs out of the frame; the side from this
            // corner to the far one is the sheet's, beyond the frame where the edge goes on to the border.
            const int inside = (outside + turn) % 4;
            const int far = (outside + 4 - turn) % 4;
            const int beyondFar = (far + 4 - turn) % 4;
            if (!inFrame(outline[inside], frame))
                continue;
            const cv::Point2f towards = outline[outside] - outline[inside];
            const cv::Point2f along = towards / float(cv::norm(towards));
            cv::Point2f inward(along.y, -along.x);
            if (inward.dot(outline.centre() - outline[inside]) < 0)
                inward = -inward;
            const std::optional<EdgeEnd> end = edgeEnd(picture, outline[inside], along, inward);
            if (!end)
                continue;
            const cv::Point2f corner = outline[inside] + along * end->at;
            const cv::Point2f farSide = outline[far] - outline[outside];
            const cv::Point2f farAlong = farSide / float(std::max(1e-3, cv::norm(farSide)));
            const std::optional<cv::Point2f> leaving =
                fourthSide(Stepper(picture, end->channel), corner, farAlong, outline[inside], end->step);
            if (!leaving)
                continue;
            std::array<cv::Point2f, 4> corners = outline.corners();
            corners[std::size_t(outside)] = corner;
            const cv::Point2f farNeighbour = outline[beyondFar] - outline[far];
            if (!linesMeet(corner, *leaving, outline[far], farNeighbour, corners[std::size_t(far)]) ||
                inFrame(corners[std::size_t(far)], frame))
                continue;
            const Quad moved(corners);
            if (moved.isConvex())
                return moved;
        }
    }
    return std::nullopt;
}

}  // namespace qirmel
