#ifndef QIRMEL_CROP_OUTLINECOLOURS_H
#define QIRMEL_CROP_OUTLINECOLOURS_H

#include "crop/internal/edgesupport.h"
#include "crop/quad.h"

#include <array>
#include <functional>
#include <vector>

namespace qirmel {

// What lies just inside and just outside outlines, in the judging image's smoothed channels: where edges
// alone cannot tell a document from a stretch of desk beside it, or from a phone, their colours can. Holds only a
// reference to the caller's evidence; stateless otherwise.
class OutlineColours {
public:
    using Sample = std::array<int, EdgeSupport::kMaxChannels>;

    explicit OutlineColours(const EdgeSupport &support);

    // Whether the band just outside inner, where it lies well inside outer, looks more like the desk
    // outside outer than like the band just inside inner: a stretch of desk, not the margin of a document
    // around a printed rectangle or a book's other page.
    bool ringIsDesk(const Quad &outer, const Quad &inner) const;
    // The converse, where the band shows at all: the document goes on beyond inner.
    bool ringIsDocument(const Quad &outer, const Quad &inner) const;

    // Whether the inside is darker than the surroundings and nearly black, dark and under half as bright as
    // them, or swept from dark to bright by a reflection: a phone or a tablet, never paper.
    bool isDarkObject(const Quad &outline) const;
    // Whether the outline is a square of one even colour with nothing printed on it, unlike what lies
    // around it: a sticky note, as large as an ID card and far smaller than the frame. Documents are not
    // square, and a square one bears print.
    bool isBlankSquare(const Quad &outline) const;
    // Whether a dark band runs just outside the outline, the inside and the desk beyond both far
    // brighter: a phone's or a tablet's lit screen within its bezel. Paper lies on the desk itself.
    bool isScreenInBezel(const Quad &outline) const;
    // Whether the outline encloses a patch of a coloured pattern that looks like the pattern around it: a
    // cloth's checks or stripes outline such patches with their own lines, while a document lying on the
    // pattern, even one as pale as its pale squares, changes the colours within. An outline within the
    // frame is also a patch where it holds all the pattern's colours, a note lying among them or not, and
    // one running out of it where it holds most of the colours of the cloth along the frame's border.
    bool isPatchOfPattern(const Quad &outline) const;
    // Whether the desk, seen along the frame's border, is a coloured pattern: a cloth's checks or stripes.
    bool deskIsPattern() const;

private:
    // Values every few pixels along the frame's border, clear of its middle, where keep(point) holds; and
    // whether they are a cloth's.
    std::vector<Sample> deskBorder(const std::function<bool(const cv::Point2f &)> &keep) const;
    bool isPatternedDesk(const std::vector<Sample> &border) const;
    // Values every few pixels along the outline's sides, offset along the outward normal by each of
    // offsets (negative: inside), where measurable and keep(point) holds.
    std::vector<Sample> around(const Quad &quad, const std::vector<float> &offsets,
                               const std::function<bool(const cv::Point2f &)> &keep) const;
    // The share of the ring's samples nearer the desk than the inside, and how many samples there are.
    std::pair<double, std::size_t> deskShare(const Quad &outer, const Quad &inner) const;
    // The share of ring's samples unlike its median colour that have a colour close to one of within's;
    // 0 where few are unlike it.
    double sharedColours(const std::vector<Sample> &ring, std::vector<Sample> within) const;
    // The samples whose colour lies far from the samples' median one.
    std::vector<Sample> otherColours(const std::vector<Sample> &samples) const;
    // The colour distance from sample to the nearest of samples.
    int nearest(const Sample &sample, const std::vector<Sample> &samples) const;
    // The colour distance between two samples: grey, and the colour differences weighted to its scale.
    int distance(const Sample &a, const Sample &b) const;
    // The grey along the sides at each of offsets, and how far each sample lies off the plane through
    // them all (least squares): what smooth light across a surface leaves is its marks.
    struct GreyOffPlane {
        std::vector<double> grey;
        std::vector<double> offPlane;
    };
    GreyOffPlane greyOffPlane(const Quad &outline, const std::vector<float> &offsets) const;
    // Whether the grey inside the outline sweeps from near black to near white, and smoothly, as a
    // reflection across glass does.
    bool isSweptByReflection(const Quad &outline) const;
    // The share of neighbouring samples along the sides, at each of offsets, whose grey differs by as
    // much as print does.
    double printedShare(const Quad &outline, const std::vector<float> &offsets) const;

    const EdgeSupport &m_support;
};

}  // namespace qirmel

#endif
