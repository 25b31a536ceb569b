#include "crop/internal/outlinecolours.h"
#include "crop/internal/chromachannels.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace qirmel;

namespace {

const cv::Size kPicture(480, 270);
const cv::Size kJudged(240, 135);

// A red gingham of 16-pixel squares, or a near-white desk lit from one side.
const cv::Vec3b kRed(70, 60, 200);
const cv::Vec3b kPink(150, 140, 225);
const cv::Vec3b kWhite(235, 235, 235);
// The gingham's mean colour: a quarter red, half pink, a quarter white.
const cv::Scalar kGinghamMean(151, 144, 221);

// A gingham of 16-pixel squares: dark where its stripes cross, light between them.
void paintGingham(cv::Mat &bgr, const cv::Rect &area, const cv::Vec3b &dark, const cv::Vec3b &mid)
{
    for (int y = area.y; y < area.br().y; ++y)
        for (int x = area.x; x < area.br().x; ++x) {
            const bool row = (y / 16) % 2 == 0;
            const bool column = (x / 16) % 2 == 0;
            bgr.at<cv::Vec3b>(y, x) = row && column ? dark : (row || column ? mid : kWhite);
        }
}

cv::Mat gingham()
{
    cv::Mat bgr(kPicture, CV_8UC3);
    paintGingham(bgr, cv::Rect(cv::Point(0, 0), kPicture), kRed, kPink);
    return bgr;
}

cv::Mat nearWhiteDesk()
{
    cv::Mat bgr(kPicture, CV_8UC3);
    for (int x = 0; x < bgr.cols; ++x)
        bgr.col(x).setTo(cv::Scalar::all(170 + 60 * x / bgr.cols));
    return bgr;
}

// The picture's channels as outlines are judged on them: grey and the colour differences, smoothed.
std::vector<cv::Mat> judged(const cv::Mat &bgr)
{
    cv::Mat grey;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    std::vector<cv::Mat> channels(1);
    cv::resize(grey, channels[0], kJudged, 0, 0, cv::INTER_AREA);
    for (const cv::Mat &chroma : ChromaChannels::reduce(bgr, kJudged))
        channels.push_back(chroma);
    for (cv::Mat &channel : channels)
        cv::GaussianBlur(channel, channel, cv::Size(5, 5), 0);
    return channels;
}

// Corners in the picture's pixels.
Quad judgedQuad(float left, float top, float right, float bottom)
{
    return Quad(
               {cv::Point2f(left, top), cv::Point2f(right, top), cv::Point2f(right, bottom), cv::Point2f(left, bottom)})
        .resampled(0.5);
}

}  // namespace

TEST(OutlineColours, TellsAPatchOfAPatternFromADocumentLyingOnIt)
{
    const Quad patch = judgedQuad(128, 64, 320, 192);
    cv::Mat sheet = gingham();
    cv::rectangle(sheet, cv::Rect(128, 64, 192, 128), cv::Scalar(242, 242, 240), cv::FILLED);
    cv::Mat card = gingham();
    cv::rectangle(card, cv::Rect(128, 64, 192, 128), cv::Scalar(120, 120, 120), cv::FILLED);
    cv::Mat plain = gingham();
    cv::rectangle(plain, cv::Rect(128, 64, 192, 128), kGinghamMean, cv::FILLED);
    cv::Mat checked = gingham();
    checked(cv::Rect(128, 64, 192, 128)) -= cv::Scalar(80, 0, 0);
    // A yellow note covering the right two thirds of the patch: its mean is the note's more than the
    // cloth's, but every colour of the cloth around it is within.
    cv::Mat noted = gingham();
    cv::rectangle(noted, cv::Rect(192, 64, 128, 128), cv::Scalar(120, 230, 240), cv::FILLED);
    const Quad runningOut = judgedQuad(-32, 64, 320, 192);
    cv::Mat sheetRunningOut = gingham();
    cv::rectangle(sheetRunningOut, cv::Rect(0, 64, 320, 128), cv::Scalar(242, 242, 240), cv::FILLED);
    // A white page with a blue logo on a pale desk, a blue pen along it: the desk's colour and the pen's
    // are within the page, but the desk is of one colour, no pattern.
    const cv::Scalar blue(200, 60, 30);
    cv::Mat besidePen(kPicture, CV_8UC3, cv::Scalar(228, 228, 228));
    cv::rectangle(besidePen, cv::Rect(128, 64, 192, 128), cv::Scalar(240, 240, 240), cv::FILLED);
    cv::rectangle(besidePen, cv::Rect(150, 90, 40, 26), blue, cv::FILLED);
    cv::rectangle(besidePen, cv::Rect(150, 44, 130, 14), blue, cv::FILLED);
    const struct {
        const char *what;
        cv::Mat picture;
        Quad outline;
        bool patch;
    } cases[] = {
        {"squares of the gingham", gingham(), patch, true},
        {"a white sheet on the gingham", sheet, patch, false},
        {"a grey card on the gingham", card, patch, false},
        {"a sheet of the gingham's mean colour", plain, patch, false},
        {"a sheet printed with the checks in yellower colours", checked, patch, false},
        {"a stretch of a near-white desk under a light falling off", nearWhiteDesk(), patch, false},
        {"a note outlined with the squares beside it", noted, patch, true},
        {"the same running out of the frame, compared with the cloth along the border", noted, runningOut, true},
        {"a white sheet running out of the frame", sheetRunningOut, runningOut, false},
        {"a page on a pale desk beside a pen of its logo's colour", besidePen, patch, false},
    };
    for (const auto &c : cases) {
        const EdgeSupport support(judged(c.picture));
        EXPECT_EQ(OutlineColours(support).isPatchOfPattern(c.outline), c.patch) << c.what;
    }
}

TEST(OutlineColours, TellsAPatternedDeskFromColouredThingsAtItsBorder)
{
    // A white sheet filling the middle of the frame leaves the cloth along the border.
    cv::Mat sheetOnGingham = gingham();
    cv::rectangle(sheetOnGingham, cv::Rect(96, 48, 288, 174), cv::Scalar(242, 242, 240), cv::FILLED);
    // A hand reaching in over a corner of a plain grey desk: as colourful, over a small part of the border.
    cv::Mat handAtCorner(kPicture, CV_8UC3, cv::Scalar(140, 138, 135));
    cv::ellipse(handAtCorner, cv::Point(450, 20), cv::Size(60, 45), 30, 0, 360, cv::Scalar(90, 150, 225), cv::FILLED);
    const struct {
        const char *what;
        cv::Mat picture;
        bool pattern;
    } cases[] = {
        {"a gingham", gingham(), true},
        {"a sheet on a gingham", sheetOnGingham, true},
        {"a near-white desk under a light falling off", nearWhiteDesk(), false},
        {"a hand reaching in over a plain desk", handAtCorner, false},
    };
    for (const auto &c : cases) {
        const EdgeSupport support(judged(c.picture));
        EXPECT_EQ(OutlineColours(support).deskIsPattern(), c.pattern) << c.what;
    }
}

TEST(OutlineColours, TellsANoteFromABlankStretchOfAPage)
{
    // A page printed with lines of text all round a blank square of it, and a yellow note on a grey desk.
    cv::Mat page(kPicture, CV_8UC3, cv::Scalar(120, 120, 120));
    cv::rectangle(page, cv::Rect(60, 20, 360, 230), cv::Scalar::all(235), cv::FILLED);
    for (int y = 30; y < 240; y += 8)
        for (int x = 70; x < 410; x += 12)
            if (y < 70 || y > 210 || x < 140 || x > 300)
                cv::rectangle(page, cv::Rect(x, y, 8, 2), cv::Scalar::all(40), cv::FILLED);
    cv::Mat note(kPicture, CV_8UC3, cv::Scalar(120, 120, 120));
    cv::rectangle(note, cv::Rect(160, 80, 130, 120), cv::Scalar(90, 220, 240), cv::FILLED);
    const Quad square = judgedQuad(160, 80, 290, 200);
    // A yellow square sheet covering two fifths of the frame: no note is as large.
    cv::Mat sheet(kPicture, CV_8UC3, cv::Scalar(120, 120, 120));
    cv::rectangle(sheet, cv::Rect(120, 20, 230, 230), cv::Scalar(90, 220, 240), cv::FILLED);
    // The same note under a lamp whose light falls off across it, and a square card printed all over.
    cv::Mat shadedNote = note.clone();
    for (int x = 160; x < 290; ++x)
        shadedNote(cv::Rect(x, 80, 1, 120)) -= cv::Scalar::all(40 * (x - 160) / 130);
    cv::Mat card(kPicture, CV_8UC3, cv::Scalar(120, 120, 120));
    cv::rectangle(card, cv::Rect(160, 80, 130, 120), cv::Scalar::all(235), cv::FILLED);
    for (int y = 88; y < 194; y += 8)
        cv::rectangle(card, cv::Rect(168, y, 114, 2), cv::Scalar::all(40), cv::FILLED);
    const struct {
        const char *what;
        cv::Mat picture;
        Quad outline;
        bool blankSquare;
    } cases[] = {
        {"a blank stretch of a printed page", page, square, false},
        {"a note on a desk", note, square, true},
        {"a note the light falls off across", shadedNote, square, true},
        {"a square card printed all over", card, square, false},
        {"a blank square sheet", sheet, judgedQuad(120, 20, 350, 250), false},
    };
    for (const auto &c : cases) {
        const EdgeSupport support(judged(c.picture));
        EXPECT_EQ(OutlineColours(support).isBlankSquare(c.outline), c.blankSquare) << c.what;
    }
}
