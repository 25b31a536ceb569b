#include "source/deskscene.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

namespace qirmel {

namespace {

constexpr std::uint32_t kSeed = 0x0d0c5ce7;
constexpr double kPi = 3.14159265358979323846;
constexpr double kPageAspect = 1.4142;  // A4: height over width

const cv::Scalar kPaper(246, 244, 238);
const cv::Scalar kInk(38, 38, 44);
const cv::Scalar kFigureInk(70, 108, 160);

// The page's words, drawn from the seed once, so that every size shows the same text.
struct PageText {
    std::vector<std::string> title;
    std::vector<std::vector<std::string>> paragraphs;
};

std::string randomWord(std::mt19937 &random, int minLength, int maxLength)
{
    static const char kLetters[] = "etaoinshrdlcumwfgypbvkjxqz";
    // Frequent letters first, picked with a falling weight, so the words' outlines look like prose.
    std::geometric_distribution<int> letter(0.16);
    std::uniform_int_distribution<int> length(minLength, maxLength);
    std::string word(static_cast<std::size_t>(length(random)), 'e');
    for (char &c : word)
        c = kLetters[std::min(letter(random), 25)];
    return word;
}

PageText makePageText()
{
    std::mt19937 random(kSeed);
    PageText text;
    for (int i = 0; i < 4; ++i) {
        std::string word = randomWord(random, 3, 8);
        word[0] = static_cast<char>(word[0] - 'a' + 'A');
        text.title.push_back(word);
    }
    std::uniform_int_distribution<int> paragraphWords(35, 80);
    for (int p = 0; p < 8; ++p) {
        std::vector<std::string> words;
        const int count = paragraphWords(random);
        for (int i = 0; i < count; ++i)
            words.push_back(randomWord(random, 1, 9));
        words[0][0] = static_cast<char>(words[0][0] - 'a' + 'A');
        text.paragraphs.push_back(std::move(words));
    }
    return text;
}

// Horizontal wood grain with wavy rings and fine streaks. Worked out at half the size and enlarged:
// the grain has no detail finer than that.
cv::Mat renderDesk(cv::Size size, cv::RNG &rng)
{
    const cv::Size half(std::max(2, size.width / 2), std::max(2, size.height / 2));
    const double unit = half.height;  // lengths in frame heights, so every size shows the same grain
    cv::Mat streaks(220, 6, CV_32F);
    rng.fill(streaks, cv::RNG::UNIFORM, -1.0, 1.0);
    cv::resize(streaks, streaks, half, 0, 0, cv::INTER_CUBIC);

    std::vector<double> wave(static_cast<std::size_t>(half.width));
    for (int x = 0; x < half.width; ++x) {
        const double u = x / unit;
        wave[static_cast<std::size_t>(x)] = 0.45 * std::sin(u * 2.3 + 0.7) + 0.18 * std::sin(u * 6.1 + 2.0);
    }

    cv::Mat desk(half, CV_8UC3);
    const cv::Vec3f dark(118, 78, 47), light(178, 128, 84);
    for (int y = 0; y < half.height; ++y) {
        const double v = y / unit;
        auto *row = desk.ptr<cv::Vec3b>(y);
        const float *streak = streaks.ptr<float>(y);
        for (int x = 0; x < half.width; ++x) {
            const float ring = 0.5f + 0.5f * static_cast<float>(std::sin(2 * kPi * (v * 9.0 + wave[static_cast<std::size_t>(x)])));
            const float t = std::clamp(0.25f + 0.5f * ring * ring + 0.22f * streak[x], 0.0f, 1.0f);
            const cv::Vec3f color = dark + (light - dark) * t;
            row[x] = cv::Vec3b(static_cast<uchar>(color[0]), static_cast<uchar>(color[1]), static_cast<uchar>(color[2]));
        }
    }
    cv::resize(desk, desk, size, 0, 0, cv::INTER_LINEAR);
    return desk;
}

// Lays out words from (left, y) up to right, line by line; returns the y below the last line.
double drawParagraph(cv::Mat &page, const std::vector<std::string> &words, double left, double right, double y,
                     double lineHeight, double fontScale, int thickness)
{
    const int font = cv::FONT_HERSHEY_SIMPLEX;
    int baseline = 0;
    const double space = cv::getTextSize(" ", font, fontScale, thickness, &baseline).width * 0.8;
    double x = left;
    for (const std::string &word : words) {
        const double width = cv::getTextSize(word, font, fontScale, thickness, &baseline).width;
        if (x > left && x + width > right) {
            x = left;
            y += lineHeight;
        }
        cv::putText(page, word, cv::Point(cvRound(x), cvRound(y)), font, fontScale, kInk, thickness, cv::LINE_AA);
        x += width + space;
    }
    return y + lineHeight;
}

// A small bar chart with a frame and a caption line, as reports have.
double drawFigure(cv::Mat &page, double left, double right, double y, double height, double lineHeight,
                  double fontScale, int thickness, std::mt19937 &random)
{
    const int stroke = std::max(1, thickness);
    const cv::Rect box(cvRound(left), cvRound(y), cvRound(right - left), cvRound(height));
    cv::rectangle(page, box, cv::Scalar(232, 232, 228), cv::FILLED);
    cv::rectangle(page, box, kInk, stroke, cv::LINE_AA);
    std::uniform_real_distribution<double> barHeight(0.2, 0.85);
    const int bars = 7;
    const double slot = (right - left) / (bars + 1);
    const double floor = y + height * 0.92;
    for (int i = 0; i < bars; ++i) {
        const double x = left + slot * (i + 0.6);
        const double top = floor - (height * 0.85) * barHeight(random);
        cv::rectangle(page, cv::Point(cvRound(x), cvRound(top)), cv::Point(cvRound(x + slot * 0.7), cvRound(floor)),
                      kFigureInk, cv::FILLED, cv::LINE_AA);
    }
    cv::line(page, cv::Point(cvRound(left + slot * 0.3), cvRound(floor)),
             cv::Point(cvRound(right - slot * 0.3), cvRound(floor)), kInk, stroke, cv::LINE_AA);
    const std::vector<std::string> caption = {"Fig.", "1", "quarterly", "values", "of", "the", "measured", "series"};
    return drawParagraph(page, caption, left, right, y + height + lineHeight * 1.1, lineHeight, fontScale * 0.9,
                         thickness);
}

cv::Mat renderPage(cv::Size size)
{
    static const PageText text = makePageText();
    std::mt19937 random(kSeed + 1);
    cv::Mat page(size, CV_8UC3, kPaper);
    const double w = size.width;
    const double left = 0.11 * w, right = 0.89 * w;
    const double lineHeight = 0.030 * w;
    const int thickness = std::max(1, cvRound(0.0016 * w));
    const double fontScale = cv::getFontScaleFromHeight(cv::FONT_HERSHEY_SIMPLEX, std::max(2, cvRound(0.0125 * w)),
                                                        thickness);

    const int titleThickness = std::max(1, cvRound(0.0035 * w));
    const double titleScale =
        cv::getFontScaleFromHeight(cv::FONT_HERSHEY_DUPLEX, std::max(3, cvRound(0.030 * w)), titleThickness);
    std::string title;
    for (const std::string &word : text.title)
        title += (title.empty() ? "" : " ") + word;
    int baseline = 0;
    const cv::Size titleSize = cv::getTextSize(title, cv::FONT_HERSHEY_DUPLEX, titleScale, titleThickness, &baseline);
    cv::putText(page, title, cv::Point(cvRound((w - titleSize.width) / 2), cvRound(0.13 * w)), cv::FONT_HERSHEY_DUPLEX,
                titleScale, kInk, titleThickness, cv::LINE_AA);

    double y = 0.22 * w;
    const double bottom = size.height - 0.10 * w;
    for (std::size_t p = 0; p < text.paragraphs.size() && y < bottom; ++p) {
        if (p == 2) {
            y = drawFigure(page, left + 0.12 * w, right - 0.12 * w, y, 0.30 * w, lineHeight, fontScale, thickness,
                           random) + lineHeight * 0.5;
            continue;
        }
        y = drawParagraph(page, text.paragraphs[p], left + (p > 0 ? 0.04 * w : 0.0), right, y, lineHeight, fontScale, thickness);
        y += lineHeight * 0.6;
        if (y > bottom)
            break;
    }
    cv::putText(page, "- 3 -", cv::Point(cvRound(0.47 * w), cvRound(size.height - 0.05 * w)),
                cv::FONT_HERSHEY_SIMPLEX, fontScale, kInk, thickness, cv::LINE_AA);
    return page;
}

}  // namespace

std::vector<std::uint8_t> renderDeskScene(Scene scene, Size frameSize, PageCorners *corners)
{
    (void)scene;  // the page is the only scene so far
    const cv::Size size(frameSize.width, frameSize.height);
    cv::RNG rng(kSeed);
    const cv::Mat desk = renderDesk(size, rng);

    // The page fills most of the picture's height, a little turned and seen a little from below, so
    // that its far (top) edge is shorter than its near one.
    const double pageHeight = 0.84 * std::min<double>(size.height, size.width * kPageAspect * 0.9);
    const cv::Size pageSize(std::max(8, cvRound(pageHeight / kPageAspect)), std::max(8, cvRound(pageHeight)));
    const cv::Mat page = renderPage(pageSize);

    const double angle = -2.2 * kPi / 180;
    const cv::Point2d centre(size.width * 0.5, size.height * 0.51);
    const cv::Point2f source[4] = {{0, 0},
                                   {static_cast<float>(pageSize.width), 0},
                                   {static_cast<float>(pageSize.width), static_cast<float>(pageSize.height)},
                                   {0, static_cast<float>(pageSize.height)}};
    cv::Point2f target[4];
    const int signs[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int i = 0; i < 4; ++i) {
        const double dx = signs[i][0] * pageSize.width * 0.5 * (signs[i][1] < 0 ? 0.955 : 1.0);
        const double dy = signs[i][1] * pageSize.height * 0.5;
        target[i] = cv::Point2f(static_cast<float>(centre.x + dx * std::cos(angle) - dy * std::sin(angle)),
                                static_cast<float>(centre.y + dx * std::sin(angle) + dy * std::cos(angle)));
        if (corners)
            (*corners)[static_cast<std::size_t>(i)] = {target[i].x, target[i].y};
    }
    const cv::Mat transform = cv::getPerspectiveTransform(source, target);

    cv::Mat warpedPage, coverage;
    cv::warpPerspective(page, warpedPage, transform, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    cv::warpPerspective(cv::Mat(pageSize, CV_8U, cv::Scalar(255)), coverage, transform, size, cv::INTER_LINEAR,
                        cv::BORDER_CONSTANT);

    // The soft shadow is the page's outline, shifted away from the light and blurred, worked out at a
    // quarter of the size because it has no detail.
    const cv::Size small(std::max(2, size.width / 4), std::max(2, size.height / 4));
    cv::Mat shadow;
    cv::resize(coverage, shadow, small, 0, 0, cv::INTER_AREA);
    const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, small.width * 0.008, 0, 1, small.height * 0.012);
    cv::warpAffine(shadow, shadow, shift, small);
    cv::GaussianBlur(shadow, shadow, cv::Size(), std::max(0.5, small.width * 0.01));
    cv::resize(shadow, shadow, size, 0, 0, cv::INTER_LINEAR);

    // Light from the upper left that falls off towards the far corner, in 1/256 steps.
    cv::Mat lightSmall(16, 16, CV_32F);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            lightSmall.at<float>(y, x) =
                static_cast<float>(256 * (1.06 - 0.30 * std::hypot((x / 15.0) - 0.3, (y / 15.0) - 0.2) / 1.1));
    cv::Mat light;
    cv::resize(lightSmall, light, size, 0, 0, cv::INTER_LINEAR);
    light.convertTo(light, CV_16U);

    // Integer blend of the shaded desk and the page by the page's coverage, lit.
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(frameSize.area()) * 3);
    for (int y = 0; y < size.height; ++y) {
        const auto *deskRow = desk.ptr<uchar>(y);
        const auto *pageRow = warpedPage.ptr<uchar>(y);
        const auto *coverageRow = coverage.ptr<uchar>(y);
        const auto *shadowRow = shadow.ptr<uchar>(y);
        const auto *lightRow = light.ptr<std::uint16_t>(y);
        std::uint8_t *out = pixels.data() + static_cast<std::size_t>(y) * size.width * 3;
        for (int x = 0; x < size.width; ++x) {
            const std::uint32_t alpha = coverageRow[x];
            const std::uint32_t shade = 255 - (107 * shadowRow[x]) / 255;  // the shadow takes up to 42 %
            for (int c = 0; c < 3; ++c) {
                const int i = x * 3 + c;
                const std::uint32_t shadedDesk = deskRow[i] * shade / 255;
                const std::uint32_t value = (shadedDesk * (255 - alpha) + pageRow[i] * alpha) / 255 * lightRow[x] / 256;
                out[i] = static_cast<std::uint8_t>(std::min<std::uint32_t>(value, 255));
            }
        }
    }
    return pixels;
}

}  // namespace qirmel
