#include "framedump.h"

#include "jpegencoder.h"

#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <vector>

void FrameDump::save(const std::string &folder, const std::string &name, const cv::Mat &bgr,
                     const std::optional<qirmel::Quad> &truth, const std::optional<qirmel::Quad> &found)
{
    cv::Mat marked = bgr.clone();
    const auto draw = [&](const qirmel::Quad &quad, const cv::Scalar &colour) {
        std::vector<cv::Point> polygon;
        for (const cv::Point2f &p : quad.corners())
            polygon.emplace_back(cvRound(p.x), cvRound(p.y));
        cv::polylines(marked, polygon, true, colour, 2, cv::LINE_AA);
    };
    if (truth)
        draw(*truth, cv::Scalar(0, 200, 0));
    if (found)
        draw(*found, cv::Scalar(0, 0, 255));
    JpegEncoder encoder;
    const std::vector<unsigned char> jpeg = encoder.encode(marked, 90);
    std::FILE *file = std::fopen((folder + "/" + name + ".jpg").c_str(), "wb");
    if (!file)
        return;
    std::fwrite(jpeg.data(), 1, jpeg.size(), file);
    std::fclose(file);
}
