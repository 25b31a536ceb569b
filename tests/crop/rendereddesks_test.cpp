// Detection on photos of desks ray-traced by a renderer independent of the project's scene painter, each
// chosen for what it takes to get right: a phone, a ruler on a cutting mat, a ruler running out of the
// frame, a sticky note as large as an ID card, a card on gingham, a form on a striped cloth whose pale
// stripes match the paper, a curled sheet on such a cloth, a receipt on wood grain, pages cut off by the
// frame at a corner and across a whole side, a form whose table outlines better than the sliver of a side
// the frame leaves, white pages on near-white desks (one reaching almost to the frame's edge), an open
// book, an invoice on gingham under the camera arm's shadow, whose print and shadow make longer lines
// than its sides, and a page on gingham whose sides, where they border pale squares, break into pieces
// too short to count as lines at the size outlines are judged at, and a gingham with a pen, a ruler and
// a sticky note on it, whose checks outline patches of themselves, an empty gingham whose checks
// outline one as large as the frame, a page on fine gingham running out of the frame, whose print
// outlines better than its broken sides, a page on broad stripes under the camera arm's shadow, and an
// ID card with a coloured band across its foot, whose edge outlines the rest of the card better than
// the card's own edge beyond the band, two pages whose regions outline them a few pixels off their
// broken sides (one on red gingham, one under the camera arm's shadow), a page on stripes as broad as
// its margins beside a keyboard and a mug, a page on broad checks whose sliver of cloth below it is
// narrower than the checks, a white page on a near-white desk whose side a pen crosses, found a few
// pixels off that side, and a white page under a hand, one of whose outlines ends at a line of print
// that the light falling off across the page makes look like the paper's edge, and two white pages whose
// paper beyond their print differs from the desk in tint alone (a form on a near-white desk, a page under
// a hand), and a form on a pale desk whose sides step too faintly for the usual edges, around a ruled
// table that outlines itself clearly, and the camera arm's shadow on an empty white desk, a band from a
// sticky note to a keyboard, and a sheet running out of the frame whose outline a line of its print,
// with paper on both sides of it, cuts short, and a sheet whose corner lies just inside the frame's
// border, its fourth side showing only from there to the border, and a form cut short by its table's
// last rule, a corner of its paper just inside the frame's border beyond, and on coloured cloths, where
// a table or a block of print is credible, a page under a hand and a page whose sides break into pieces
// at the size outlines are judged at, and a page running out of the frame that the cloth's finer lines
// would outline together with a patch of the cloth, and a sheet running out of the frame on stripes,
// whose sides only the stripes' finer lines outline, and a card on a cloth whose finer lines outline a
// patch of it running out of the frame, and a page across which the camera arm's shadow falls, whose print
// goes on into the shade past the shadow's edge, and a white page on a near-white desk under that shadow,
// beyond whose print the rows' noise steps far out on the desk, and a form under a pen whose ruled boxes
// outline a blank square of it, as large and as even as a note, and a form on a pale desk among a ruler,
// a pen and a screen's foot, whose edges beyond its table step far more than its paper's, a form on a pale
// desk running out of the frame past its table's last rule, and an empty striped cloth, around a patch of
// which the stripes' steps would outline a page running out of the frame, and a white page on a
// near-white desk under a hand, which only the fainter edges outline beyond its print, and a page among
// clutter on a near-white desk, found to the pixel, which a slightly larger outline among the fainter
// edges must not replace, and an empty plaid whose lines outline a patch three bands wide running out of
// the frame, the ring around it lying mostly along one pale band, and a card on broad gingham whose
// checks outline a patch of it that scores better, an empty gingham with a note and a mug on it whose
// checks outline a patch running out of the frame, a note beside a pen on wood, which the pen's edge
// closes an outline around with a strip of the desk, and a form on gingham whose rules outline a blank
// square of it larger than any note, and a sheet curled along two sides, whose flat part outlines
// better than the sheet, and a white page nearly filling the frame of a near-white desk, brighter beyond
// its top than the paper, where the rows' noise lined up by chance would take the top side out of the
// frame, and the page is found along its other three sides (each desk's least overlap is in corners.csv
// where it is not nine tenths).
#include "core/jpegcodec.h"
#include "crop/documentdetector.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

using namespace qirmel;

namespace {

struct Desk {
    std::string file;
    std::optional<Quad> truth;
    // The least overlap of the outline found with the document's.
    double least = 0.9;
};

std::vector<Desk> desks()
{
    std::ifstream csv(std::string(DESKS_DIR) + "/corners.csv");
    std::vector<Desk> rows;
    std::string line;
    std::getline(csv, line);
    while (std::getline(csv, line)) {
        std::stringstream fields(line);
        Desk desk;
        std::getline(fields, desk.file, ',');
        std::array<cv::Point2f, 4> corners;
        std::string x, y;
        for (cv::Point2f &corner : corners)
            if (std::getline(fields, x, ',') && std::getline(fields, y, ',') && !x.empty())
                corner = cv::Point2f(std::stof(x), std::stof(y));
        if (!x.empty())
            desk.truth = Quad(corners);
        std::string least;
        if (std::getline(fields, least, ',') && !least.empty())
            desk.least = std::stod(least);
        rows.push_back(desk);
    }
    return rows;
}

cv::Mat photo(const std::string &file)
{
    std::ifstream in(std::string(DESKS_DIR) + "/" + file, std::ios::binary);
    const std::vector<std::uint8_t> jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static Frame decoded;
    if (!JpegCodec().decode(jpeg.data(), jpeg.size(), decoded))
        return cv::Mat();
    return cv::Mat(decoded.size.height, decoded.size.width, CV_8UC3, decoded.data.data());
}

// Area of the intersection over area of the union.
double overlap(const Quad &a, const Quad &b)
{
    std::vector<cv::Point2f> common;
    const double shared = cv::intersectConvexConvex(a.points(), b.points(), common);
    return shared / (a.area() + b.area() - shared);
}

}  // namespace

TEST(RenderedDesks, FindsEachDocumentAndNothingElse)
{
    const std::vector<Desk> rows = desks();
    ASSERT_EQ(rows.size(), 55u);
    for (const Desk &desk : rows) {
        const cv::Mat picture = photo(desk.file);
        ASSERT_FALSE(picture.empty()) << desk.file;
        const std::optional<Quad> found = DocumentDetector().detect(picture);
        if (!desk.truth) {
            EXPECT_FALSE(found) << desk.file;
            continue;
        }
        ASSERT_TRUE(found) << desk.file;
        // The corners of a page under a hand or beyond the frame are extrapolated from its sides, and a
        // curved sheet's from its straighter stretches: the outlines overlap, the corners need not match.
        // Where a hand hides a white page's corner on a near-white desk, its side there is the hand's; a
        // page found to the pixel must stay so.
        EXPECT_GT(overlap(*found, *desk.truth), desk.least) << desk.file;
    }
}
