#ifndef QIRMEL_CROP_EDGESUPPORT_H
#define QIRMEL_CROP_EDGESUPPORT_H

#include "crop/internal/linefinder.h"
#include "crop/quad.h"

#include <opencv2/core.hpp>

#include <array>
#include <vector>

namespace qirmel {

// How well an outline's sides sit on edges of the image, judged in the one channel and with the one
// brightness sign that suit it best.
struct SideEvidence {
    // Share of each side's visible length where the image has an edge running along the side, with the
    // inside brighter (or, if that fits better, darker) than the outside.
    double minSupport = 0;
    double meanSupport = 0;
    // The least support among the sides that show, leaving out one lying (almost) wholly beyond the frame
    // (rather than along its border); minSupport counts such a side as unsupported.
    double minShownSupport = 0;
    // Share of all edge samples along the sides whose step has that sign: a page is brighter (or darker)
    // than the desk all round, while chance alignments of texture flip sign at random.
    double polarity = 0;
    // Share of the outline's length inside the image.
    double visible = 0;
    // The channel and the sign that fit best: the inside brighter than the outside, or darker.
    int channel = 0;
    bool insideBrighter = true;
};

// Gradients of smoothed images of one scene (grey, and colour differences where the frame has colour),
// against which outlines are measured. A page on a desk of the same brightness still differs in colour,
// and a card on grained wood may be lighter than some stripes and darker than others but keeps one hue.
// Immutable once built and given the picture's pattern boundaries, so one instance may then be read from
// several threads.
class EdgeSupport {
public:
    // Grey and two colour differences.
    static constexpr int kMaxChannels = 3;
    // The share of a side on edges of its own below which bridged samples do not count.
    static constexpr double kMinOwnSupport = 0.25;

    // channels: 1 to kMaxChannels 8-bit images of equal size, already smoothed.
    explicit EdgeSupport(const std::vector<cv::Mat> &channels);

    int channelCount() const { return int(m_channels.size()); }
    cv::Size size() const { return m_dxAll.size(); }
    // Whether half of the picture's grey gradients are faint: a plain pale desk, where a white page's
    // edges step by little more.
    bool isQuiet() const { return m_quiet; }
    // The x and y gradients (CV_16SC1) of the channel whose gradient is the strongest at each pixel,
    // the first of equals, as cv::Canny picks them among channels: Canny on these finds the same edges as
    // on all channels, without picking again at every pass.
    const cv::Mat &dx() const { return m_dxStrongest; }
    const cv::Mat &dy() const { return m_dyStrongest; }

    // Per channel, whether within a pixel of p it steps across the given unit normal: +1 when it brightens
    // towards +normal, -1 when it darkens, 0 for no edge; unused channels 0. p must lie at least 2 pixels
    // inside the image.
    std::array<int, kMaxChannels> edgeSigns(const cv::Point2f &p, const cv::Point2f &normal) const;
    bool measurable(const cv::Point2f &p) const;
    // Lines where a pattern's lines end (EdgeLine::towardsPattern): along them, between their first and
    // last end, a side with the pattern outside counts as on an edge even where the step is too faint to
    // see, as where a page lies on a cloth's pale stripes. Set once, before the instance is shared.
    void addBoundaries(const std::vector<EdgeLine> &lines);
    bool hasBoundaries() const { return !m_boundaries.empty(); }
    // A side's supported samples with those bridged where a pattern ends added, if enough of the side
    // lies on edges of its own: a page on a striped cloth shows its edge on the dark stripes at least;
    // grain that merely breaks off along a line shows none across it.
    static int withBridged(int supported, int bridged, int visible)
    {
        return supported >= kMinOwnSupport * visible ? supported + bridged : supported;
    }
    // Whether p lies on such a line running along `along`, with the pattern on the side away from `inward`.
    bool bridged(const cv::Point2f &p, const cv::Point2f &along, const cv::Point2f &inward) const;
    // The smoothed channels' values at p (which must be measurable), grey first; unused channels 0.
    std::array<int, kMaxChannels> valuesAt(const cv::Point2f &p) const;

    // onlyChannel: judge in that channel alone rather than in the one that fits best.
    SideEvidence measure(const Quad &quad, int onlyChannel = -1) const;
    // Evidence for the stretches of outer's sides that run clear of inner's outline: meanSupport is the
    // share of such samples inside the image on an edge (best channel and sign, or grey with one sign
    // where a colour channel has no edge with its own), visible the share of
    // such samples inside the image, clear of the few rows and columns along its border where gradients
    // are partly reflected. A document around a printed rectangle has all of its own outline on
    // edges; a rectangle stretched from the printed one over the desk or out of the frame has not.
    SideEvidence measureApart(const Quad &outer, const Quad &inner) const;

private:
    // Whether p lies at least margin pixels inside the image's border.
    bool clearOfBorder(const cv::Point2f &p, float margin) const;
    // Whether p lies outside the image, clear of its border.
    bool isBeyondFrame(const cv::Point2f &p) const;

    std::vector<cv::Mat> m_channels;
    // All channels' gradients, interleaved (CV_16SC(n)), which sides are measured on; and the strongest
    // channel's at each pixel, which the edge maps are drawn from.
    cv::Mat m_dxAll;
    cv::Mat m_dyAll;
    cv::Mat m_dxStrongest;
    cv::Mat m_dyStrongest;
    bool m_quiet = false;
    float m_minGreyStep;  // lower on a quiet picture
    std::vector<EdgeLine> m_boundaries;
};

}  // namespace qirmel

#endif
