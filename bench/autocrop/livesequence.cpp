#include "livesequence.h"

#include "core/frame.h"
#include "crop/documentdetector.h"
#include "jpegdecoder.h"
#include "jpegencoder.h"
#include "pipeline/framepipeline.h"
#include "scenes/scenerenderer.h"
#include "threadclock.h"

#include <cmath>
#include <vector>

namespace {

constexpr int kStillFrames = 30;
constexpr int kSettleFrames = 10;
constexpr int kMovedFrames = 20;

double rmsAboutMean(const std::vector<qirmel::Quad> &quads)
{
    if (quads.empty())
        return 0;
    std::array<cv::Point2d, 4> mean{};
    for (const qirmel::Quad &q : quads)
        for (int i = 0; i < 4; ++i)
            mean[i] += cv::Point2d(q[i]) / double(quads.size());
    double sum = 0;
    for (const qirmel::Quad &q : quads)
        for (int i = 0; i < 4; ++i) {
            const cv::Point2d d = cv::Point2d(q[i]) - mean[i];
            sum += d.dot(d);
        }
    return std::sqrt(sum / (4.0 * quads.size()));
}

}  // namespace

LiveResult LiveSequence::run(const qirmel::SceneLayout &still, const qirmel::SceneLayout &moved, const cv::Size &size,
                             int quality, std::uint32_t seed)
{
    qirmel::SceneLayout quietStill = still;
    qirmel::SceneLayout quietMoved = moved;
    quietStill.noise = quietMoved.noise = 0;
    const qirmel::Scene before = qirmel::SceneRenderer::render(quietStill, size);
    const qirmel::Scene after = qirmel::SceneRenderer::render(quietMoved, size);
    const double noise = std::max(2.0, still.noise);

    cv::RNG rng(seed);
    JpegEncoder encoder;
    JpegDecoder decoder;
    const qirmel::DocumentDetector detector(qirmel::DocumentDetector::Effort::Live);
    qirmel::FramePipeline pipeline;
    qirmel::PipelineSettings settings;
    settings.autoCrop = true;
    std::vector<std::uint8_t> cut;
    std::vector<qirmel::Quad> shown;
    std::vector<qirmel::Quad> raw;
    LiveResult result;
    for (int frame = 0; frame < kStillFrames + kMovedFrames; ++frame) {
        const qirmel::Scene &scene = frame < kStillFrames ? before : after;
        cv::Mat grain(size, CV_16SC3);
        rng.fill(grain, cv::RNG::NORMAL, 0, noise);
        cv::Mat noisy;
        cv::add(scene.bgr, grain, noisy, cv::noArray(), CV_8UC3);
        const std::vector<unsigned char> jpeg = encoder.encode(noisy, quality);
        // Through the camera library's own live path, as a camera's JPEG frame.
        qirmel::Frame camera;
        camera.format = qirmel::FrameFormat::Jpeg;
        camera.size = qirmel::Size{size.width, size.height};
        camera.data.assign(jpeg.begin(), jpeg.end());
        const double start = threadMilliseconds();
        pipeline.process(camera, settings, quality, std::size_t(size.area()) * 3, cut);
        result.frameMilliseconds.push_back(threadMilliseconds() - start);
        const std::optional<qirmel::Quad> current = pipeline.outline();
        const std::optional<qirmel::Quad> found = detector.detect(decoder.decodeBgr(jpeg));
        if (frame >= kSettleFrames && frame < kStillFrames) {
            if (current)
                shown.push_back(*current);
            if (found)
                raw.push_back(*found);
        }
        if (frame >= kStillFrames && !result.framesToFollow && current &&
            current->maxCornerDistance(*after.truth) <= kFollowTolerance)
            result.framesToFollow = frame - kStillFrames + 1;
    }
    result.shownJitter = rmsAboutMean(shown);
    result.rawJitter = rmsAboutMean(raw);
    return result;
}
