#include "crop/internal/outlinecandidates.h"

#include "crop/internal/localcolourspread.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace qirmel {

namespace {

using Contour = std::vector<cv::Point>;

struct Segment {
    cv::Point2f from;
    cv::Point2f to;
    double length() const { return cv::norm(to - from); }
};

bool intersect(const Segment &a, const Segment &b, cv::Point2f &at)
{
    const cv::Point2f r = a.to - a.from;
    const cv::Point2f s = b.to - b.from;
    const double denominator = double(r.x) * s.y - double(r.y) * s.x;
    if (std::abs(denominator) < 1e-6 * a.length() * b.length())
        return false;
    const cv::Point2f q = b.from - a.from;
    const double t = (double(q.x) * s.y - double(q.y) * s.x) / denominator;
    at = a.from + r * float(t);
    return true;
}

bool alongBorder(const Segment &s, const cv::Size &size)
{
    const float margin = 3;
    const auto near = [&](float v, float limit) { return std::abs(v - limit) <= margin; };
    return (near(s.from.x, 0) && near(s.to.x, 0)) || (near(s.from.y, 0) && near(s.to.y, 0)) ||
           (near(s.from.x, size.width - 1) && near(s.to.x, size.width - 1)) ||
           (near(s.from.y, size.height - 1) && near(s.to.y, size.height - 1));
}

// Local colour spread is measured over windows of these sizes in pixels: the smallest spans a period of
// fine checks, the larger ones reach across broad checks and stripes, whose pale inside a small window
// finds as flat as a page, and the largest a period of the broadest stripes, whose pale ones a window
// within them would join to the page.
constexpr int kPatternWindows[] = {7, 15, 31};
// The picture has a colour pattern where the tenth of it that varies most in colour within a window varies
// by this much (in levels of the colour differences); there, what varies less than this share of it is
// free of it.
constexpr float kMinLocalPatternSpread = 8;
constexpr float kPlainShare = 0.3f;

// Where the picture's colour is flat, in a picture with a colour pattern; empty without one. A window
// that overlaps the pattern by a little varies already, so what is flat is grown back by the window's
// size to where the pattern begins.
cv::Mat withoutPattern(const LocalColourSpread &colourSpread, int window)
{
    // The spread at the tenth from the top is below the pattern's when more than nine tenths are: most
    // pictures have no pattern, and counting tells so without the spreads' image or their order.
    const std::size_t tenthFromTop = colourSpread.size().area() * 9 / 10;
    if (colourSpread.countBelow(window, kMinLocalPatternSpread) > tenthFromTop)
        return cv::Mat();
    const cv::Mat spread = colourSpread.over(window);
    std::vector<float> spreads;
    spread.reshape(1, 1).copyTo(spreads);
    const auto mostVaried = spreads.begin() + std::ptrdiff_t(tenthFromTop);
    std::nth_element(spreads.begin(), mostVaried, spreads.end());
    cv::Mat plain;
    cv::compare(spread, kPlainShare * *mostVaried, plain, cv::CMP_LT);
    cv::morphologyEx(plain, plain, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3)));
    cv::dilate(plain, plain, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(window, window)));
    return plain;
}

class Collector {
public:
    Collector(const cv::Size &size, double minAreaFraction) : m_size(size), m_minArea(minAreaFraction * size.area()) {}

    void addRegions(const cv::Mat &binary)
    {
        std::vector<Contour> contours;
        cv::findContours(binary, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
        for (const Contour &contour : contours) {
            if (contour.size() < 4)
                continue;
            Contour hull;
            cv::convexHull(contour, hull);
            if (cv::contourArea(hull) >= m_minArea)
                addHull(hull);
        }
    }

    std::vector<Quad> take() { return std::move(m_quads); }

private:
    void addHull(const Contour &hull)
    {
        const double perimeter = cv::arcLength(hull, true);
        Contour polygon;
        for (double tolerance : {0.015, 0.03}) {
            cv::approxPolyDP(hull, polygon, tolerance * perimeter, true);
            if (polygon.size() == 4)
                addQuad(std::vector<cv::Point2f>(polygon.begin(), polygon.end()));
            else if (polygon.size() > 4)
                addFromSides(polygon);
        }
    }

    // Clipped or hidden corners leave a polygon with more than four sides: the document's visible sides
    // plus stretches of frame border or a chord across the occluder. Any four non-border sides in their
    // cyclic order, extended to meet, make a candidate; the scoring tells the true sides from the chords.
    void addFromSides(const Contour &polygon)
    {
        std::vector<Segment> sides;
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const Segment s{cv::Point2f(polygon[i]), cv::Point2f(polygon[(i + 1) % polygon.size()])};
            if (!alongBorder(s, m_size))
                sides.push_back(s);
        }
        if (sides.size() < 4)
            return;
        constexpr std::size_t kMaxSides = 6;
        if (sides.size() > kMaxSides) {
            std::vector<std::size_t> order(sides.size());
            std::iota(order.begin(), order.end(), 0);
            std::partial_sort(order.begin(), order.begin() + kMaxSides, order.end(),
                              [&](std::size_t a, std::size_t b) { return sides[a].length() > sides[b].length(); });
            order.resize(kMaxSides);
            std::sort(order.begin(), order.end());
            std::vector<Segment> longest;
            for (std::size_t i : order)
                longest.push_back(sides[i]);
            sides.swap(longest);
        }
        const std::size_t n = sides.size();
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = a + 1; b < n; ++b)
                for (std::size_t c = b + 1; c < n; ++c)
                    for (std::size_t d = c + 1; d < n; ++d)
                        addFromLines({sides[a], sides[b], sides[c], sides[d]});
    }

    void addFromLines(const std::array<Segment, 4> &lines)
    {
        std::vector<cv::Point2f> corners(4);
        for (int i = 0; i < 4; ++i)
            if (!intersect(lines[i], lines[(i + 1) % 4], corners[(i + 1) % 4]))
                return;
        addQuad(corners);
    }

    void addQuad(const std::vector<cv::Point2f> &corners)
    {
        // A completed corner may lie outside the frame, but not absurdly far.
        const float reachX = 0.5f * m_size.width;
        const float reachY = 0.5f * m_size.height;
        for (const cv::Point2f &p : corners)
            if (p.x < -reachX || p.y < -reachY || p.x > m_size.width + reachX || p.y > m_size.height + reachY)
                return;
        const Quad quad = Quad::fromUnordered(corners);
        if (!quad.isConvex() || quad.area() < m_minArea)
            return;
        for (const Quad &known : m_quads)
            if (known.maxCornerDistance(quad) < 1.5)
                return;
        m_quads.push_back(quad);
    }

    cv::Size m_size;
    double m_minArea;
    std::vector<Quad> m_quads;
};

}  // namespace

std::vector<Quad> OutlineCandidates::find(const std::vector<cv::Mat> &channels, const std::vector<cv::Mat> &edgeMaps,
                                          double minAreaFraction)
{
    const cv::Mat &smoothGrey = channels.front();
    Collector collector(smoothGrey.size(), minAreaFraction);
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat binary;
    // Closing small gaps lets a page's edge broken by noise or print close around it.
    for (const cv::Mat &edges : edgeMaps) {
        cv::dilate(edges, binary, square);
        collector.addRegions(binary);
    }

    // Brightness split: finds pages on textured desks whose edges drown in the texture, whether the page
    // is the brighter or the darker side.
    cv::threshold(smoothGrey, binary, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::morphologyEx(binary, binary, cv::MORPH_OPEN, square);
    collector.addRegions(binary);
    cv::bitwise_not(binary, binary);
    collector.addRegions(binary);

    // Colour pattern split: finds pages on a cloth of coloured checks or stripes, where neither of the
    // above does. Along the cloth's pale squares a pale page's side has no edge, so what edge it has
    // breaks into pieces that close nothing, while its colour stays flat against the pattern's.
    const std::vector<cv::Mat> colourDifferences(channels.begin() + 1, channels.end());
    if (!colourDifferences.empty()) {
        const LocalColourSpread colourSpread(colourDifferences,
                                             *std::max_element(std::begin(kPatternWindows), std::end(kPatternWindows)));
        for (int window : kPatternWindows)
            if (const cv::Mat plain = withoutPattern(colourSpread, window); !plain.empty())
                collector.addRegions(plain);
    }
    return collector.take();
}

}  // namespace qirmel
