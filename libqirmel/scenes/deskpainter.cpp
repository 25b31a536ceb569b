#include "scenes/deskpainter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace qirmel {

namespace {

// Rows of a full-frame pass worked between two questions whether to stop.
constexpr int kRowsBetweenStopChecks = 256;

bool stopped(const std::function<bool()> &stopAsked)
{
    return stopAsked && stopAsked();
}

// The colour picture of a shade field, each channel the shade times the colour's. Row by row, as a
// full-frame picture is tens of megabytes and every temporary one costs its allocation afresh. Empty
// once stopAsked says so.
cv::Mat tinted(const cv::Mat &shade, const cv::Scalar &colour, const std::function<bool()> &stopAsked)
{
    const float b = float(colour[0]);
    const float g = float(colour[1]);
    const float r = float(colour[2]);
    cv::Mat out(shade.size(), CV_8UC3);
    for (int y = 0; y < shade.rows; ++y) {
        if (y % kRowsBetweenStopChecks == 0 && stopped(stopAsked))
            return cv::Mat();
        const float *in = shade.ptr<float>(y);
        uchar *row = out.ptr<uchar>(y);
        for (int x = 0; x < shade.cols; ++x) {
            row[3 * x] = cv::saturate_cast<uchar>(in[x] * b);
            row[3 * x + 1] = cv::saturate_cast<uchar>(in[x] * g);
            row[3 * x + 2] = cv::saturate_cast<uchar>(in[x] * r);
        }
    }
    return out;
}

cv::Mat wood(const cv::Size &size, cv::RNG &rng, const std::function<bool()> &stopAsked)
{
    const double angle = rng.uniform(0.0, CV_PI);
    const double period = rng.uniform(0.015, 0.04) * size.height;
    const float warpDepth = float(rng.uniform(1.5, 4.0));
    const cv::Mat warp = DeskPainter::smoothNoise(size, 6, rng);
    if (stopped(stopAsked))
        return cv::Mat();
    const cv::Mat grain = DeskPainter::smoothNoise(size, 40, rng);
    // The grain is added into the warp's field, so that the shade needs no picture of its own.
    cv::Mat shade = warp;
    const float c = float(std::cos(angle) / period);
    const float s = float(std::sin(angle) / period);
    for (int y = 0; y < size.height; ++y) {
        if (y % kRowsBetweenStopChecks == 0 && stopped(stopAsked))
            return cv::Mat();
        float *row = shade.ptr<float>(y);
        const float *g = grain.ptr<float>(y);
        for (int x = 0; x < size.width; ++x)
            row[x] = 0.85f + 0.15f * std::sin(float(2 * CV_PI) * (x * c + y * s + row[x] * warpDepth)) + g[x] * 0.04f;
    }
    const cv::Scalar colours[] = {{45, 85, 140}, {30, 60, 100}, {70, 120, 170}, {60, 100, 150}};
    const cv::Scalar colour = colours[rng.uniform(0, 4)];
    return tinted(shade, colour, stopAsked);
}

cv::Mat plain(const cv::Size &size, double level, cv::RNG &rng, const std::function<bool()> &stopAsked)
{
    cv::Mat shade = DeskPainter::smoothNoise(size, 4, rng);
    shade.convertTo(shade, CV_32F, 0.02, 1.0);
    const double tint = rng.uniform(-8.0, 8.0);
    return tinted(shade, cv::Scalar(level - tint, level, level + tint), stopAsked);
}

void scatterClutter(cv::Mat &desk, cv::RNG &rng)
{
    const int unit = desk.rows;
    const int objects = rng.uniform(3, 8);
    for (int i = 0; i < objects; ++i) {
        const cv::Point at(rng.uniform(0, desk.cols), rng.uniform(0, desk.rows));
        const cv::Scalar colour(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255));
        switch (rng.uniform(0, 4)) {
        case 0: {  // pen
            const double a = rng.uniform(0.0, CV_PI);
            const int length = rng.uniform(unit / 8, unit / 3);
            const cv::Point d(int(length * std::cos(a)), int(length * std::sin(a)));
            cv::line(desk, at - d / 2, at + d / 2, colour, std::max(3, unit / 90), cv::LINE_AA);
            break;
        }
        case 1: {  // cable
            std::vector<cv::Point> path{at};
            double a = rng.uniform(0.0, 2 * CV_PI);
            for (int k = 0; k < 12; ++k) {
                a += rng.uniform(-0.5, 0.5);
                path.push_back(path.back() + cv::Point(int(unit / 20 * std::cos(a)), int(unit / 20 * std::sin(a))));
            }
            cv::polylines(desk, path, false, colour * 0.4, std::max(2, unit / 150), cv::LINE_AA);
            break;
        }
        case 2: {  // mug seen from above
            const int r = rng.uniform(unit / 20, unit / 10);
            cv::circle(desk, at, r, colour, -1, cv::LINE_AA);
            cv::circle(desk, at, r * 8 / 10, colour * 0.5, -1, cv::LINE_AA);
            break;
        }
        default: {  // a sticky note, far smaller than any document worth cropping
            const float side = float(rng.uniform(unit / 20, unit / 9));
            const cv::RotatedRect note(cv::Point2f(at), cv::Size2f(side, side), float(rng.uniform(0.0, 90.0)));
            cv::Point2f corners[4];
            note.points(corners);
            std::vector<cv::Point> polygon(corners, corners + 4);
            cv::fillConvexPoly(desk, polygon, cv::Scalar(80, 220, 240), cv::LINE_AA);
            break;
        }
        }
    }
}

}  // namespace

cv::Mat DeskPainter::smoothNoise(const cv::Size &size, int cells, cv::RNG &rng)
{
    const int across = std::max(2, cells);
    const int down = std::max(2, cells * size.height / std::max(1, size.width));
    cv::Mat coarse(down, across, CV_32F);
    rng.fill(coarse, cv::RNG::NORMAL, 0.0, 0.6);
    cv::Mat out;
    cv::resize(coarse, out, size, 0, 0, cv::INTER_CUBIC);
    return out;
}

cv::Mat DeskPainter::paint(Desk desk, const cv::Size &size, cv::RNG &rng, const std::function<bool()> &stopAsked)
{
    switch (desk) {
    case Desk::Wood:
        return wood(size, rng, stopAsked);
    case Desk::PlainLight:
        return plain(size, rng.uniform(140.0, 195.0), rng, stopAsked);
    case Desk::NearWhite:
        return plain(size, rng.uniform(212.0, 228.0), rng, stopAsked);
    case Desk::Clutter:
        break;
    }
    cv::Mat out =
        rng.uniform(0, 2) ? wood(size, rng, stopAsked) : plain(size, rng.uniform(120.0, 200.0), rng, stopAsked);
    if (!out.empty())
        scatterClutter(out, rng);
    return out;
}

}  // namespace qirmel
