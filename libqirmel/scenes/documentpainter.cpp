#include "scenes/documentpainter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace qirmel {

namespace {

cv::Scalar paperColour(Document document, cv::RNG &rng)
{
    if (document == Document::ColouredPaper) {
        const cv::Scalar pastels[] = {
            {120, 235, 250}, {200, 180, 250}, {245, 215, 160}, {170, 240, 180}, {90, 170, 245}};
        return pastels[rng.uniform(0, 5)];
    }
    const double level = rng.uniform(236.0, 252.0);
    const double warmth = rng.uniform(0.0, 6.0);
    return cv::Scalar(level - warmth, level, std::min(255.0, level + warmth / 2));
}

// Lines of text as grey bars between the margins of a region, in paragraphs.
void printText(cv::Mat &page, const cv::Rect &region, double lineHeight, cv::RNG &rng)
{
    const cv::Scalar ink(rng.uniform(20, 70), rng.uniform(20, 70), rng.uniform(20, 70));
    const int thickness = std::max(1, int(lineHeight * 0.45));
    double y = region.y + lineHeight;
    while (y < region.br().y) {
        const int lines = rng.uniform(2, 7);
        for (int i = 0; i < lines && y < region.br().y; ++i, y += lineHeight) {
            const double fill = i == lines - 1 ? rng.uniform(0.2, 0.8) : rng.uniform(0.9, 1.0);
            double x = region.x;
            const double end = region.x + region.width * fill;
            while (x < end) {
                const double word = lineHeight * rng.uniform(1.0, 4.0);
                cv::rectangle(page, cv::Point(int(x), int(y) - thickness),
                              cv::Point(int(std::min(x + word, end)), int(y)), ink, -1);
                x += word + lineHeight * 0.5;
            }
        }
        y += lineHeight;
    }
}

void printPage(cv::Mat &page, cv::RNG &rng)
{
    const int margin = int(page.cols * rng.uniform(0.07, 0.13));
    const cv::Rect body(margin, margin, page.cols - 2 * margin, page.rows - 2 * margin);
    const double lineHeight = std::max(2.0, page.rows * rng.uniform(0.014, 0.025));
    cv::rectangle(page, cv::Rect(body.x, body.y, body.width * 2 / 3, int(lineHeight * 1.5)), cv::Scalar(30, 30, 30),
                  -1);
    cv::Rect text(body.x, body.y + int(lineHeight * 3), body.width, body.height - int(lineHeight * 3));
    if (rng.uniform(0, 10) < 4) {
        // A picture or chart with a frame of its own: a rectangle inside the page that must not win.
        const int height = int(text.height * rng.uniform(0.2, 0.4));
        const cv::Rect picture(text.x, text.y, text.width, height);
        cv::rectangle(page, picture, cv::Scalar(rng.uniform(40, 200), rng.uniform(40, 200), rng.uniform(40, 200)), -1);
        cv::rectangle(page, picture, cv::Scalar(20, 20, 20), std::max(1, page.cols / 300));
        text.y += height + int(lineHeight);
        text.height -= height + int(lineHeight);
    }
    if (text.height > 0)
        printText(page, text, lineHeight, rng);
}

void printReceipt(cv::Mat &page, cv::RNG &rng)
{
    const int margin = page.cols / 10;
    const double lineHeight = std::max(2.0, page.cols * 0.05);
    printText(page, cv::Rect(margin, margin, page.cols - 2 * margin, page.rows - 2 * margin), lineHeight, rng);
}

void printCard(cv::Mat &card, cv::RNG &rng)
{
    const cv::Scalar base(rng.uniform(120, 240), rng.uniform(120, 240), rng.uniform(120, 240));
    for (int y = 0; y < card.rows; ++y)
        card.row(y).setTo(base * (0.85 + 0.15 * y / card.rows));
    cv::rectangle(card, cv::Rect(0, card.rows / 8, card.cols, card.rows / 8), base * 0.6, -1);
    const cv::Rect photo(card.cols / 16, card.rows * 3 / 10, card.cols / 4, card.rows * 6 / 10);
    cv::rectangle(card, photo, cv::Scalar(150, 170, 200), -1);
    cv::ellipse(card, (photo.tl() + photo.br()) / 2, photo.size() / 3, 0, 0, 360, cv::Scalar(90, 110, 150), -1);
    printText(card, cv::Rect(card.cols * 4 / 10, card.rows * 3 / 10, card.cols / 2, card.rows / 2), card.rows * 0.08,
              rng);
}

// The pages of an open book, with the cover showing around them.
void printBook(DocumentImage &image, const cv::Size &pagesSize, cv::RNG &rng)
{
    image.rim = std::max(2, int(pagesSize.height * rng.uniform(0.02, 0.04)));
    const cv::Scalar covers[] = {{40, 30, 120}, {110, 50, 30}, {40, 90, 40}, {30, 30, 30}};
    image.bgr = cv::Mat(pagesSize + cv::Size(2 * image.rim, 2 * image.rim), CV_8UC3, covers[rng.uniform(0, 4)]);
    image.coverage = cv::Mat(image.bgr.size(), CV_8UC1, cv::Scalar(255));
    const cv::Scalar paper(rng.uniform(215, 235), rng.uniform(228, 245), rng.uniform(235, 250));
    cv::Mat inside = image.bgr(cv::Rect(cv::Point(image.rim, image.rim), pagesSize));
    inside.setTo(paper);
    const int half = inside.cols / 2;
    cv::Mat left = inside.colRange(0, half);
    cv::Mat right = inside.colRange(half, inside.cols);
    printPage(left, rng);
    printPage(right, rng);
    // The gutter darkens where the pages curve down into the binding.
    const int gutter = std::max(2, inside.cols / 20);
    for (int x = -gutter; x < gutter; ++x) {
        const double shade = 0.55 + 0.45 * std::abs(double(x)) / gutter;
        cv::Mat column = inside.col(half + x);
        column.convertTo(column, -1, shade);
    }
}

}  // namespace

double DocumentPainter::aspect(Document document, double receiptLength)
{
    switch (document) {
    case Document::Letter:
        return 8.5 / 11;
    case Document::IdCard:
        return 85.6 / 54;
    case Document::Receipt:
        return 1 / receiptLength;
    case Document::OpenBook:
        return 1.41421;
    case Document::None:
    case Document::A4:
    case Document::ColouredPaper:
        break;
    }
    return 1 / 1.41421;
}

DocumentImage DocumentPainter::paint(Document document, const cv::Size &size, cv::RNG &rng)
{
    DocumentImage image;
    image.bgr.create(size, CV_8UC3);
    image.coverage = cv::Mat(size, CV_8UC1, cv::Scalar(255));
    switch (document) {
    case Document::IdCard: {
        printCard(image.bgr, rng);
        // Rounded corners: the outline's corners are where the straight sides would meet.
        const int radius = std::max(1, size.width / 28);
        image.coverage.setTo(0);
        cv::rectangle(image.coverage, cv::Rect(radius, 0, size.width - 2 * radius, size.height), 255, -1);
        cv::rectangle(image.coverage, cv::Rect(0, radius, size.width, size.height - 2 * radius), 255, -1);
        for (const cv::Point centre : {cv::Point(radius, radius), cv::Point(size.width - 1 - radius, radius),
                                       cv::Point(radius, size.height - 1 - radius),
                                       cv::Point(size.width - 1 - radius, size.height - 1 - radius)})
            cv::circle(image.coverage, centre, radius, 255, -1, cv::LINE_AA);
        break;
    }
    case Document::OpenBook:
        printBook(image, size, rng);
        break;
    case Document::Receipt:
        image.bgr.setTo(cv::Scalar(232, 236, 238));
        printReceipt(image.bgr, rng);
        break;
    case Document::None:
    case Document::A4:
    case Document::Letter:
    case Document::ColouredPaper:
        image.bgr.setTo(paperColour(document, rng));
        printPage(image.bgr, rng);
        break;
    }
    return image;
}

}  // namespace qirmel
