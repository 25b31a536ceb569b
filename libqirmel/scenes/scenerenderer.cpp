#include "scenes/scenerenderer.h"

#include "scenes/deskpainter.h"
#include "scenes/documentpainter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace qirmel {

namespace {

double radians(double degrees)
{
    return degrees * CV_PI / 180;
}

// Rows of a full-frame pass worked between two questions whether to stop.
constexpr int kRowsBetweenStopChecks = 256;

// Pastes the document into the frame through the homography that takes its own corners to the outline;
// a rim around the document (a book's cover) lands outside the outline. Leaves off, the frame half
// done, once stopped() says so.
void placeDocument(cv::Mat &frame, const DocumentImage &document, const Quad &outline, cv::RNG &rng,
                   const std::function<bool()> &stopped)
{
    const float rim = float(document.rim);
    const float right = document.bgr.cols - rim - 0.5f;
    const float bottom = document.bgr.rows - rim - 0.5f;
    const cv::Point2f own[4] = {{rim - 0.5f, rim - 0.5f}, {right, rim - 0.5f}, {right, bottom}, {rim - 0.5f, bottom}};
    const cv::Matx33d toFrame = cv::getPerspectiveTransform(own, outline.corners().data());
    const std::vector<cv::Point2f> imageCorners = {{-0.5f, -0.5f},
                                                   {document.bgr.cols - 0.5f, -0.5f},
                                                   {document.bgr.cols - 0.5f, document.bgr.rows - 0.5f},
                                                   {-0.5f, document.bgr.rows - 0.5f}};
    std::vector<cv::Point2f> placed;
    cv::perspectiveTransform(imageCorners, placed, toFrame);
    const cv::Rect area =
        (cv::boundingRect(placed) + cv::Size(4, 4) - cv::Point(2, 2)) & cv::Rect(cv::Point(), frame.size());
    if (area.empty())
        return;
    const cv::Matx33d toArea = cv::Matx33d(1, 0, -area.x, 0, 1, -area.y, 0, 0, 1) * toFrame;
    cv::Mat paper;
    cv::Mat coverage;
    cv::warpPerspective(document.bgr, paper, cv::Mat(toArea), area.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    if (stopped())
        return;
    cv::warpPerspective(document.coverage, coverage, cv::Mat(toArea), area.size(), cv::INTER_LINEAR,
                        cv::BORDER_CONSTANT, 0);
    if (stopped())
        return;
    cv::Mat region = frame(area);
    if (rng.uniform(0, 2)) {
        // The sheet's thin shadow on the desk, offset away from the light.
        cv::Mat shadow;
        const int offset = std::max(1, frame.rows / 400);
        cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, offset, 0, 1, offset);
        cv::warpAffine(coverage, shadow, shift, coverage.size());
        // Blurred in eight bits, several times faster than in floating point, for a difference of a
        // fraction of a grey level.
        cv::GaussianBlur(shadow, shadow, cv::Size(0, 0), offset * 1.5);
        if (stopped())
            return;
        const float depth = float(rng.uniform(0.1, 0.3)) / 255;
        for (int y = 0; y < region.rows; ++y) {
            const uchar *s = shadow.ptr<uchar>(y);
            uchar *pixel = region.ptr<uchar>(y);
            for (int x = 0; x < region.cols; ++x) {
                const float darkening = 1.0f - s[x] * depth;
                for (int c = 0; c < 3; ++c)
                    pixel[3 * x + c] = cv::saturate_cast<uchar>(pixel[3 * x + c] * darkening);
            }
        }
    }
    // The paper over the desk, weighed by its coverage, row by row rather than through pictures of
    // floating-point weights the size of the document.
    if (stopped())
        return;
    for (int y = 0; y < region.rows; ++y) {
        const uchar *weight = coverage.ptr<uchar>(y);
        const uchar *sheet = paper.ptr<uchar>(y);
        uchar *pixel = region.ptr<uchar>(y);
        for (int x = 0; x < region.cols; ++x) {
            const float w = weight[x] * (1.0f / 255);
            for (int c = 0; c < 3; ++c)
                pixel[3 * x + c] = cv::saturate_cast<uchar>(sheet[3 * x + c] * w + pixel[3 * x + c] * (1.0f - w));
        }
    }
}

void drawHand(cv::Mat &frame, const Quad &outline, cv::RNG &rng)
{
    // Over a corner that is in the frame; the outline's first such corner.
    const cv::Rect inside(cv::Point(), frame.size());
    int corner = 0;
    while (corner < 3 && !inside.contains(cv::Point(outline[corner])))
        ++corner;
    cv::Point2f centre(0, 0);
    for (int i = 0; i < 4; ++i)
        centre += outline[i] * 0.25f;
    cv::Point2f out = outline[corner] - centre;
    out /= float(std::max(1.0, cv::norm(out)));
    const float unit = float(std::min(frame.rows, int(std::sqrt(outline.area()))));
    const cv::Scalar skin(rng.uniform(90, 150), rng.uniform(120, 170), rng.uniform(170, 225));
    const cv::Point2f palm = outline[corner] + out * (unit * float(rng.uniform(0.0, 0.08)));
    const double angle = std::atan2(out.y, out.x) * 180 / CV_PI;
    cv::line(frame, palm, palm + out * float(frame.cols * 2), skin * 0.9, int(unit * 0.22), cv::LINE_AA);
    cv::ellipse(frame, palm, cv::Size(int(unit * 0.14), int(unit * 0.12)), angle, 0, 360, skin, -1, cv::LINE_AA);
    const cv::Point2f across(-out.y, out.x);
    for (int finger = 0; finger < 4; ++finger) {
        const float spread = (finger - 1.5f) * unit * 0.05f;
        const cv::Point2f tip = palm - out * (unit * float(rng.uniform(0.18, 0.26))) + across * spread;
        cv::line(frame, palm + across * spread, tip, skin * 1.05, int(unit * 0.045), cv::LINE_AA);
    }
}

void drawPen(cv::Mat &frame, const Quad &outline, cv::RNG &rng)
{
    const int side = rng.uniform(0, 4);
    const cv::Point2f from = outline[side];
    const cv::Point2f to = outline[(side + 1) % 4];
    const cv::Point2f crossing = from + (to - from) * float(rng.uniform(0.25, 0.75));
    cv::Point2f along = to - from;
    along /= float(cv::norm(along));
    const double tilt = radians(rng.uniform(-40.0, 40.0));
    const cv::Point2f normal(along.y, -along.x);
    const cv::Point2f direction = normal * float(std::cos(tilt)) + along * float(std::sin(tilt));
    const float length = float(frame.rows * rng.uniform(0.2, 0.35));
    const float offset = float(rng.uniform(-0.3, 0.3)) * length;
    const cv::Scalar inks[] = {{30, 30, 30}, {150, 50, 20}, {30, 30, 170}, {200, 200, 200}};
    cv::line(frame, crossing + direction * (offset - length / 2), crossing + direction * (offset + length / 2),
             inks[rng.uniform(0, 4)], std::max(3, int(frame.rows * rng.uniform(0.008, 0.013))), cv::LINE_AA);
}

// Light as a gain and an added glare, both smooth, so they are computed coarse and enlarged. Leaves
// off, the frame half done, once stopped() says so.
void light(cv::Mat &frame, Lighting lighting, cv::RNG &rng, const std::function<bool()> &stopped)
{
    if (lighting == Lighting::Even)
        return;
    const cv::Size coarse(std::max(2, frame.cols / 8), std::max(2, frame.rows / 8));
    cv::Mat gain(coarse, CV_32F, cv::Scalar(1));
    cv::Mat glare(coarse, CV_32F, cv::Scalar(0));
    const double diagonal = std::hypot(coarse.width, coarse.height);
    switch (lighting) {
    case Lighting::Gradient: {
        const double a = rng.uniform(0.0, 2 * CV_PI);
        const double low = rng.uniform(0.55, 0.8);
        for (int y = 0; y < coarse.height; ++y)
            for (int x = 0; x < coarse.width; ++x) {
                const double t =
                    ((x - coarse.width / 2.0) * std::cos(a) + (y - coarse.height / 2.0) * std::sin(a)) / diagonal + 0.5;
                gain.at<float>(y, x) = float(low + (1.1 - low) * t);
            }
        break;
    }
    case Lighting::Shadow: {
        // The shadow of the camera's arm or of the user: a broad soft band from one border.
        std::vector<cv::Point> band;
        const cv::Point2f start(float(rng.uniform(0, coarse.width)), 0);
        const cv::Point2f end(float(rng.uniform(0, coarse.width)), float(coarse.height));
        const float width = float(coarse.width * rng.uniform(0.1, 0.3));
        band = {cv::Point(start), cv::Point(start + cv::Point2f(width, 0)),
                cv::Point(end + cv::Point2f(width * 1.5f, 0)), cv::Point(end)};
        cv::fillConvexPoly(gain, band, cv::Scalar(rng.uniform(0.5, 0.75)));
        cv::GaussianBlur(gain, gain, cv::Size(0, 0), rng.uniform(1.0, 4.0));
        break;
    }
    case Lighting::Hotspot: {
        const cv::Point centre(rng.uniform(0, coarse.width), rng.uniform(0, coarse.height));
        const double radius = diagonal * rng.uniform(0.15, 0.35);
        const double strength = rng.uniform(25.0, 60.0);
        for (int y = 0; y < coarse.height; ++y)
            for (int x = 0; x < coarse.width; ++x) {
                const double r2 = (std::pow(x - centre.x, 2) + std::pow(y - centre.y, 2)) / (radius * radius);
                glare.at<float>(y, x) = float(strength * std::exp(-r2));
            }
        break;
    }
    case Lighting::Vignetting: {
        const double strength = rng.uniform(0.3, 0.5);
        for (int y = 0; y < coarse.height; ++y)
            for (int x = 0; x < coarse.width; ++x) {
                const double r2 = (std::pow(x - coarse.width / 2.0, 2) + std::pow(y - coarse.height / 2.0, 2)) /
                                  std::pow(diagonal / 2, 2);
                gain.at<float>(y, x) = float(1 - strength * r2);
            }
        break;
    }
    case Lighting::Even:
        break;
    }
    cv::resize(gain, gain, frame.size(), 0, 0, cv::INTER_LINEAR);
    cv::resize(glare, glare, frame.size(), 0, 0, cv::INTER_LINEAR);
    for (int y = 0; y < frame.rows; ++y) {
        if (y % kRowsBetweenStopChecks == 0 && stopped())
            return;
        const float *g = gain.ptr<float>(y);
        const float *added = glare.ptr<float>(y);
        uchar *pixel = frame.ptr<uchar>(y);
        for (int x = 0; x < frame.cols; ++x)
            for (int c = 0; c < 3; ++c)
                pixel[3 * x + c] = cv::saturate_cast<uchar>(pixel[3 * x + c] * g[x] + added[x]);
    }
}

}  // namespace

std::optional<Quad> SceneRenderer::outline(const SceneLayout &layout, const cv::Size &size)
{
    if (layout.document == Document::None)
        return std::nullopt;
    const double aspect = DocumentPainter::aspect(layout.document, layout.receiptLength);
    const double area = layout.areaShare * size.area();
    const double width = std::sqrt(area * aspect);
    const double height = width / aspect;
    const double c = std::cos(radians(layout.rotationDegrees));
    const double s = std::sin(radians(layout.rotationDegrees));
    const cv::Point2d centre(layout.centreX * size.width, layout.centreY * size.height);
    const cv::Point2d frameCentre(size.width / 2.0, size.height / 2.0);
    // A desk tilted against the image plane, seen by a lens whose focal length is the frame's width.
    const double gx = std::tan(radians(layout.tiltYDegrees)) / size.width;
    const double gy = std::tan(radians(layout.tiltXDegrees)) / size.width;
    const cv::Point2d own[4] = {
        {-width / 2, -height / 2}, {width / 2, -height / 2}, {width / 2, height / 2}, {-width / 2, height / 2}};
    std::array<cv::Point2f, 4> corners;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2d flat =
            centre + cv::Point2d(own[i].x * c - own[i].y * s, own[i].x * s + own[i].y * c) - frameCentre;
        const double w = 1 + gx * flat.x + gy * flat.y;
        corners[i] = cv::Point2f(frameCentre + flat / w);
    }
    return Quad(corners);
}

Scene SceneRenderer::render(const SceneLayout &layout, const cv::Size &size, const std::function<bool()> &stopAsked)
{
    bool givenUp = false;
    const std::function<bool()> stopped = [&] { return givenUp = givenUp || (stopAsked && stopAsked()); };
    cv::RNG rng(layout.seed);
    Scene scene;
    scene.bgr = DeskPainter::paint(layout.desk, size, rng, stopped);
    const std::optional<Quad> placed = outline(layout, size);
    if (placed && !stopped()) {
        // Painted at about the size it will appear, so that print is neither lost nor blown up.
        const double across = std::max(placed->sideLength(0), placed->sideLength(2));
        const double aspect = DocumentPainter::aspect(layout.document, layout.receiptLength);
        const int width = std::clamp(int(across), 32, 3000);
        const DocumentImage document =
            DocumentPainter::paint(layout.document, cv::Size(width, std::max(8, int(width / aspect))), rng);
        if (!stopped())
            placeDocument(scene.bgr, document, *placed, rng, stopped);
        if (layout.occluder == Occluder::HandOverCorner)
            drawHand(scene.bgr, *placed, rng);
        else if (layout.occluder == Occluder::PenAcrossSide)
            drawPen(scene.bgr, *placed, rng);
        scene.truth = Quad::fromUnordered(placed->points());
    }
    if (stopped())
        return Scene();
    light(scene.bgr, layout.lighting, rng, stopped);
    if (layout.blur > 0 && !stopped())
        cv::GaussianBlur(scene.bgr, scene.bgr, cv::Size(0, 0), layout.blur * size.height / 1080.0);
    if (layout.noise > 0 && !stopped()) {
        cv::Mat noise(size, CV_16SC3);
        rng.fill(noise, cv::RNG::NORMAL, 0, layout.noise);
        cv::Mat sum;
        cv::add(scene.bgr, noise, sum, cv::noArray(), CV_16SC3);
        sum.convertTo(scene.bgr, CV_8UC3);
    }
    if (stopped())
        return Scene();
    return scene;
}

}  // namespace qirmel
