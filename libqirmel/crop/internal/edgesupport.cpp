#include "crop/internal/edgesupport.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace qirmel {

namespace {

// Sobel response that counts as an edge: a step of about four levels after smoothing, which noise at
// the judging size stays well below; in grey on a quiet picture (a plain pale desk, where a white page
// steps by little more), between two and three.
constexpr float kMinStep = 10.0f;
constexpr float kMinQuietGreyStep = 6.0f;
// A picture is quiet when half of its grey gradients (|dx| + |dy|) are at most this.
constexpr int kQuietGradient = 8;
// The gradient must point across the side, within about 30 degrees (compared squared).
constexpr float kMinAlignmentSquared = 0.86f * 0.86f;
// A side hidden by more than this is not judged on what little shows.
constexpr double kMinVisibleShare = 0.2;
// Samples every this many pixels along a side, leaving out the ends where the neighbouring side's
// gradient turns.
constexpr float kSampleStep = 2.0f;
constexpr float kCornerShare = 0.06f;
// A side lies on a line through a pattern's ends when it runs within about 4 degrees of it and this close.
const float kBridgedAlignment = float(std::cos(4 * CV_PI / 180));
constexpr float kBridgedDistance = 2;
// A side hidden by the frame lies beyond it, clear of this band along the border, where a side laid
// along the border itself (an object cut off by the frame, outlined by its edge) would lie: most of it,
// or at least one of its ends, as where a page's side leaves the frame at a slant too shallow to clear
// the band soon.
constexpr float kBorderBand = 2;
// Samples closer than this to another outline belong to it.
constexpr double kApart = 2.0;
// The judging channels are smoothed over 5 by 5 pixels before their gradients are taken over 3 by 3, so
// within this many pixels of the frame's border a gradient is made partly of pixels the border reflects:
// an outline's stretch laid there, along the border, cannot be seen to be on an edge or off one.
constexpr float kReflectedBorder = 3;

// The median of |dx| + |dy| over the image, of the first of the interleaved channels.
int medianGradient(const cv::Mat &dx, const cv::Mat &dy)
{
    constexpr int kLargest = 1024;
    const int channels = dx.channels();
    std::vector<int> histogram(kLargest + 1);
    for (int y = 0; y < dx.rows; ++y) {
        const short *gx = dx.ptr<short>(y);
        const short *gy = dy.ptr<short>(y);
        for (int x = 0; x < dx.cols * channels; x += channels)
            ++histogram[std::min(kLargest, std::abs(gx[x]) + std::abs(gy[x]))];
    }
    const std::size_t half = dx.total() / 2;
    std::size_t seen = 0;
    for (int value = 0; value < kLargest; ++value)
        if ((seen += histogram[value]) > half)
            return value;
    return kLargest;
}

// Of the interleaved channels' gradients, at each pixel the strongest (squared lengths compared; of
// equals, the earlier channel). The channel count known when compiling (Channels; 0 for one given at run
// time) unrolls the comparison, which is most of what this step costs.
template <int Channels>
void keepStrongest(const cv::Mat &dx, const cv::Mat &dy, cv::Mat &strongestDx, cv::Mat &strongestDy)
{
    const int channels = Channels > 0 ? Channels : dx.channels();
    strongestDx.create(dx.size(), CV_16SC1);
    strongestDy.create(dy.size(), CV_16SC1);
    for (int y = 0; y < dx.rows; ++y) {
        const short *gx = dx.ptr<short>(y);
        const short *gy = dy.ptr<short>(y);
        short *bestX = strongestDx.ptr<short>(y);
        short *bestY = strongestDy.ptr<short>(y);
        for (int x = 0; x < dx.cols; ++x, gx += channels, gy += channels) {
            int best = 0;
            int bestLength = int(gx[0]) * gx[0] + int(gy[0]) * gy[0];
            for (int c = 1; c < channels; ++c)
                if (const int length = int(gx[c]) * gx[c] + int(gy[c]) * gy[c]; length > bestLength) {
                    best = c;
                    bestLength = length;
                }
            bestX[x] = gx[best];
            bestY[x] = gy[best];
        }
    }
}

void keepStrongest(const cv::Mat &dx, const cv::Mat &dy, cv::Mat &strongestDx, cv::Mat &strongestDy)
{
    switch (dx.channels()) {
    case 1:
        dx.copyTo(strongestDx);
        dy.copyTo(strongestDy);
        return;
    case 3:
        return keepStrongest<3>(dx, dy, strongestDx, strongestDy);
    default:
        return keepStrongest<0>(dx, dy, strongestDx, strongestDy);
    }
}

}  // namespace

EdgeSupport::EdgeSupport(const std::vector<cv::Mat> &channels) : m_channels(channels), m_minGreyStep(kMinStep)
{
    CV_Assert(!channels.empty() && int(channels.size()) <= kMaxChannels);
    // One pass of each filter over all channels at once, which gives the interleaved gradients directly.
    cv::Mat merged;
    cv::merge(channels, merged);
    cv::Sobel(merged, m_dxAll, CV_16S, 1, 0, 3);
    cv::Sobel(merged, m_dyAll, CV_16S, 0, 1, 3);
    keepStrongest(m_dxAll, m_dyAll, m_dxStrongest, m_dyStrongest);
    m_quiet = medianGradient(m_dxAll, m_dyAll) <= kQuietGradient;
    if (m_quiet)
        m_minGreyStep = kMinQuietGreyStep;
}

void EdgeSupport::addBoundaries(const std::vector<EdgeLine> &lines)
{
    for (const EdgeLine &line : lines)
        if (line.towardsPattern != cv::Point2f() && !line.onEdge.empty())
            m_boundaries.push_back(line);
}

bool EdgeSupport::bridged(const cv::Point2f &p, const cv::Point2f &along, const cv::Point2f &inward) const
{
    for (const EdgeLine &line : m_boundaries) {
        const cv::Point2f d = p - line.point;
        const float at = d.dot(line.direction);
        if (std::abs(line.direction.dot(along)) >= kBridgedAlignment && line.towardsPattern.dot(inward) < 0 &&
            std::abs(d.x * line.direction.y - d.y * line.direction.x) <= kBridgedDistance &&
            at >= line.onEdge.front() - kBridgedDistance && at <= line.onEdge.back() + kBridgedDistance)
            return true;
    }
    return false;
}

bool EdgeSupport::isBeyondFrame(const cv::Point2f &p) const
{
    return p.x < -kBorderBand || p.y < -kBorderBand || p.x > m_dxAll.cols - 1 + kBorderBand ||
           p.y > m_dxAll.rows - 1 + kBorderBand;
}

bool EdgeSupport::clearOfBorder(const cv::Point2f &p, float margin) const
{
    return p.x >= margin && p.y >= margin && p.x <= m_dxAll.cols - 1 - margin && p.y <= m_dxAll.rows - 1 - margin;
}

bool EdgeSupport::measurable(const cv::Point2f &p) const
{
    return clearOfBorder(p, 2);
}

std::array<int, EdgeSupport::kMaxChannels> EdgeSupport::valuesAt(const cv::Point2f &p) const
{
    std::array<int, kMaxChannels> values{};
    for (std::size_t c = 0; c < m_channels.size(); ++c)
        values[c] = m_channels[c].at<unsigned char>(cvRound(p.y), cvRound(p.x));
    return values;
}

std::array<int, EdgeSupport::kMaxChannels> EdgeSupport::edgeSigns(const cv::Point2f &p, const cv::Point2f &normal) const
{
    const int channels = channelCount();
    std::array<float, kMaxChannels> bestAcross{};
    for (int offset = -1; offset <= 1; ++offset) {
        const int x = cvRound(p.x + offset * normal.x);
        const int y = cvRound(p.y + offset * normal.y);
        const short *gxs = m_dxAll.ptr<short>(y) + x * channels;
        const short *gys = m_dyAll.ptr<short>(y) + x * channels;
        for (int c = 0; c < channels; ++c) {
            const float gx = gxs[c];
            const float gy = gys[c];
            const float across = gx * normal.x + gy * normal.y;
            if (std::abs(across) > std::abs(bestAcross[c]) &&
                across * across >= kMinAlignmentSquared * (gx * gx + gy * gy))
                bestAcross[c] = across;
        }
    }
    std::array<int, kMaxChannels> signs{};
    for (int c = 0; c < channels; ++c)
        if (std::abs(bestAcross[c]) >= (c == 0 ? m_minGreyStep : kMinStep))
            signs[c] = bestAcross[c] > 0 ? 1 : -1;
    return signs;
}

SideEvidence EdgeSupport::measure(const Quad &quad, int onlyChannel) const
{
    const int channels = channelCount();
    // Per channel and side: samples whose inside is brighter, and darker.
    std::vector<std::array<std::array<int, 2>, 4>> counts(channels);
    // Per channel and side: samples without a step that lie where a pattern ends outside the outline.
    std::vector<std::array<int, 4>> bridgedCounts(channels);
    std::array<int, 4> visible{};
    std::array<double, 4> length{};
    std::array<double, 4> visibleShare{};
    std::array<bool, 4> beyondFrame{};
    for (int side = 0; side < 4; ++side) {
        const cv::Point2f from = quad[side];
        const cv::Point2f to = quad[(side + 1) % 4];
        length[side] = cv::norm(to - from);
        const cv::Point2f inward = quad.inwardNormal(side);
        const cv::Point2f along = (to - from) / float(std::max(1e-6, length[side]));
        const int samples = std::max(2, int(length[side] / kSampleStep));
        int beyond = 0;
        for (int i = 0; i < samples; ++i) {
            const float t = kCornerShare + (1 - 2 * kCornerShare) * (i + 0.5f) / samples;
            const cv::Point2f p = from + (to - from) * t;
            if (!measurable(p)) {
                beyond += isBeyondFrame(p);
                continue;
            }
            ++visible[side];
            const bool onBoundary = !m_boundaries.empty() && bridged(p, along, inward);
            const std::array<int, kMaxChannels> signs = edgeSigns(p, inward);
            for (int c = 0; c < channels; ++c) {
                const int sign = signs[c];
                if (sign != 0)
                    ++counts[c][side][sign > 0 ? 0 : 1];
                else if (onBoundary)
                    ++bridgedCounts[c][side];
            }
        }
        visibleShare[side] = double(visible[side]) / samples;
        beyondFrame[side] = 2 * beyond > samples || isBeyondFrame(from) || isBeyondFrame(to);
    }

    SideEvidence best;
    double totalLength = 0;
    double visibleLength = 0;
    for (int side = 0; side < 4; ++side) {
        totalLength += length[side];
        visibleLength += length[side] * visibleShare[side];
    }
    if (visibleLength <= 0)
        return best;
    for (int c = 0; c < channels; ++c)
        for (int sign = 0; sign < 2; ++sign) {
            if (onlyChannel >= 0 && c != onlyChannel)
                continue;
            SideEvidence evidence;
            evidence.minSupport = 1;
            evidence.visible = visibleLength / totalLength;
            double supported = 0;
            int agreeing = 0;
            int all = 0;
            evidence.minShownSupport = 1;
            int hidden = 0;
            for (int side = 0; side < 4; ++side) {
                agreeing += counts[c][side][sign];
                all += counts[c][side][0] + counts[c][side][1];
                if (visibleShare[side] < kMinVisibleShare) {
                    evidence.minSupport = 0;
                    if (++hidden > 1 || !beyondFrame[side])
                        evidence.minShownSupport = 0;
                    continue;
                }
                const double support =
                    double(withBridged(counts[c][side][sign], bridgedCounts[c][side], visible[side])) / visible[side];
                evidence.minSupport = std::min(evidence.minSupport, support);
                evidence.minShownSupport = std::min(evidence.minShownSupport, support);
                supported += support * length[side] * visibleShare[side];
            }
            evidence.meanSupport = supported / visibleLength;
            evidence.polarity = all > 0 ? double(agreeing) / all : 0;
            evidence.channel = c;
            evidence.insideBrighter = sign == 0;
            if (evidence.meanSupport > best.meanSupport)
                best = evidence;
        }
    return best;
}

SideEvidence EdgeSupport::measureApart(const Quad &outer, const Quad &inner) const
{
    const std::vector<cv::Point2f> innerOutline = inner.points();
    std::vector<std::array<int, kMaxChannels>> signsApart;
    int apart = 0;
    for (int side = 0; side < 4; ++side) {
        const cv::Point2f from = outer[side];
        const cv::Point2f to = outer[(side + 1) % 4];
        const float length = float(cv::norm(to - from));
        const cv::Point2f inward = outer.inwardNormal(side);
        const int samples = std::max(2, int(length / kSampleStep));
        for (int i = 0; i < samples; ++i) {
            const float t = kCornerShare + (1 - 2 * kCornerShare) * (i + 0.5f) / samples;
            const cv::Point2f p = from + (to - from) * t;
            if (std::abs(cv::pointPolygonTest(innerOutline, p, true)) < kApart)
                continue;
            ++apart;
            if (clearOfBorder(p, kReflectedBorder))
                signsApart.push_back(edgeSigns(p, inward));
        }
    }
    // A sheet on a coloured pattern is lighter in grey than the pattern's dark parts and may be darker
    // than its pale ones, and differs in colour from the coloured parts alone: where it does not step in
    // grey with one sign, it steps in colour with one sign. So besides each channel with each sign, grey
    // with each sign is tried together with each colour channel with each sign.
    struct Fit {
        int channel;
        int sign;
        int other;  // none: -1
        int otherSign;
    };
    std::vector<Fit> fits;
    for (int c = 0; c < channelCount(); ++c)
        for (const int sign : {1, -1}) {
            fits.push_back({c, sign, -1, 0});
            if (c == 0)
                for (int other = 1; other < channelCount(); ++other)
                    for (const int otherSign : {1, -1})
                        fits.push_back({c, sign, other, otherSign});
        }
    int best = 0;
    int all = 0;
    for (const Fit &fit : fits) {
        int agreeing = 0;
        int stepping = 0;
        for (const std::array<int, kMaxChannels> &signs : signsApart) {
            const bool inOther = fit.other >= 0;
            agreeing += signs[fit.channel] == fit.sign || (inOther && signs[fit.other] == fit.otherSign);
            stepping += signs[fit.channel] != 0 || (inOther && signs[fit.other] != 0);
        }
        if (agreeing > best) {
            best = agreeing;
            all = stepping;
        }
    }
    const int visible = int(signsApart.size());
    SideEvidence evidence;
    evidence.meanSupport = visible > 0 ? double(best) / visible : 0;
    evidence.minSupport = evidence.meanSupport;
    evidence.polarity = all > 0 ? double(best) / all : 0;
    evidence.visible = apart > 0 ? double(visible) / apart : 0;
    return evidence;
}

}  // namespace qirmel
