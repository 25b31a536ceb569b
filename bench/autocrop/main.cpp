// Auto crop benchmark. Generates overhead scenes with known document corners, runs them through JPEG
// and the detector as the camera library does, and prints the SmartDoc Jaccard index by category, false
// crops on empty desks, detection time and live stability. With --photos DIR it scores DIR/truth.csv.

#include "categorystats.h"
#include "crop/documentdetector.h"
#include "framedump.h"
#include "jaccardindex.h"
#include "jpegdecoder.h"
#include "jpegencoder.h"
#include "livesequence.h"
#include "photofolder.h"
#include "scenes/documentpainter.h"
#include "scenes/scenerenderer.h"
#include "scenesampler.h"
#include "threadclock.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Options {
    int scenes = 300;
    int negatives = 150;
    int live = 8;
    std::uint32_t seed = 2015;
    cv::Size size{1920, 1080};
    std::string photos;
    std::string dump;
    bool verbose = false;
};

void usage()
{
    std::puts(
        "usage: autocrop_bench [--scenes N] [--negatives N] [--live N] [--seed S] [--size WxH] [--verbose] [--dump "
        "DIR]\n"
        "       autocrop_bench --photos DIR [--dump DIR]   (DIR/truth.csv: file,x1,y1,x2,y2,x3,y3,x4,y4;\n"
        "                                               DIR/categories.csv, if there: file,category)");
}

bool parse(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--scenes" && hasValue)
            options.scenes = std::atoi(argv[++i]);
        else if (arg == "--negatives" && hasValue)
            options.negatives = std::atoi(argv[++i]);
        else if (arg == "--live" && hasValue)
            options.live = std::atoi(argv[++i]);
        else if (arg == "--seed" && hasValue)
            options.seed = std::uint32_t(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--size" && hasValue &&
                 std::sscanf(argv[++i], "%dx%d", &options.size.width, &options.size.height) == 2)
            continue;
        else if (arg == "--photos" && hasValue)
            options.photos = argv[++i];
        else if (arg == "--dump" && hasValue)
            options.dump = argv[++i];
        else if (arg == "--verbose")
            options.verbose = true;
        else
            return false;
    }
    return true;
}

const char *name(qirmel::Desk desk)
{
    switch (desk) {
    case qirmel::Desk::Wood:
        return "wood";
    case qirmel::Desk::PlainLight:
        return "plain light";
    case qirmel::Desk::NearWhite:
        return "near-white";
    case qirmel::Desk::Clutter:
        return "clutter";
    }
    return "?";
}

const char *name(qirmel::Document document)
{
    switch (document) {
    case qirmel::Document::None:
        return "none";
    case qirmel::Document::A4:
        return "A4";
    case qirmel::Document::Letter:
        return "Letter";
    case qirmel::Document::IdCard:
        return "ID card";
    case qirmel::Document::Receipt:
        return "receipt";
    case qirmel::Document::ColouredPaper:
        return "coloured paper";
    case qirmel::Document::OpenBook:
        return "open book";
    }
    return "?";
}

const char *name(qirmel::Lighting lighting)
{
    switch (lighting) {
    case qirmel::Lighting::Even:
        return "even";
    case qirmel::Lighting::Gradient:
        return "gradient";
    case qirmel::Lighting::Shadow:
        return "shadow";
    case qirmel::Lighting::Hotspot:
        return "hotspot";
    case qirmel::Lighting::Vignetting:
        return "vignetting";
    }
    return "?";
}

std::vector<std::string> categories(const qirmel::SceneLayout &layout, int quality, double frameAspect)
{
    std::vector<std::string> out{"all", std::string("desk: ") + name(layout.desk),
                                 std::string("document: ") + name(layout.document),
                                 std::string("light: ") + name(layout.lighting)};
    const double offAxis = std::abs(std::remainder(layout.rotationDegrees, 90.0));
    out.push_back(offAxis > 10 ? "geometry: rotated > 10 deg" : "geometry: near axis");
    out.push_back(std::max(std::abs(layout.tiltXDegrees), std::abs(layout.tiltYDegrees)) > 3
                      ? "geometry: perspective 3-15 deg"
                      : "geometry: overhead < 3 deg");
    out.push_back(layout.areaShare < 0.3   ? "geometry: size 10-30 %"
                  : layout.areaShare < 0.6 ? "geometry: size 30-60 %"
                                           : "geometry: size 60-95 %");
    if (qirmel::SceneSampler::crossesBorder(layout, frameAspect))
        out.push_back("geometry: crossing border");
    if (layout.occluder == qirmel::Occluder::HandOverCorner)
        out.push_back("occlusion: hand over corner");
    if (layout.occluder == qirmel::Occluder::PenAcrossSide)
        out.push_back("occlusion: pen across side");
    out.push_back(layout.noise >= 4 ? "noise: sigma 4-8" : "noise: sigma 0-4");
    out.push_back(layout.blur > 0 ? "blur: sigma 0.8-2.5" : "blur: none");
    out.push_back(quality < 70 ? "jpeg: quality 50-69" : "jpeg: quality 70-95");
    return out;
}

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string loadAverage()
{
    std::ifstream loadavg("/proc/loadavg");
    std::string one;
    std::string five;
    std::string fifteen;
    loadavg >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void printTimes(const char *what, const std::vector<double> &times)
{
    std::printf("%-44s p50 %6.2f ms   p95 %6.2f ms   (n=%zu)\n", what, CategoryStats::quantile(times, 0.5),
                CategoryStats::quantile(times, 0.95), times.size());
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        usage();
        return 2;
    }
    if (!options.photos.empty())
        return PhotoFolder::score(options.photos, options.dump) ? 0 : 1;

    // Figures are per core: OpenCV's own worker threads would blur the per-frame cost.
    cv::setNumThreads(1);
    const double frameAspect = double(options.size.width) / options.size.height;
    qirmel::SceneSampler sampler(options.seed, frameAspect);
    cv::RNG qualities(options.seed + 1);
    JpegEncoder encoder;
    JpegDecoder decoder;
    const qirmel::DocumentDetector detector;
    CategoryStats stats;
    std::vector<double> detectTimes;
    std::vector<double> detectCpuTimes;
    std::vector<double> decodeTimes;

    const auto compress = [&](const cv::Mat &bgr, int quality) {
        const std::vector<unsigned char> jpeg = encoder.encode(bgr, quality);
        const double start = threadMilliseconds();
        cv::Mat frame = decoder.decodeBgr(jpeg);
        decodeTimes.push_back(threadMilliseconds() - start);
        return frame;
    };
    const auto detect = [&](const cv::Mat &frame) {
        const Clock::time_point start = Clock::now();
        const double cpuStart = threadMilliseconds();
        std::optional<qirmel::Quad> found = detector.detect(frame);
        detectCpuTimes.push_back(threadMilliseconds() - cpuStart);
        detectTimes.push_back(millisecondsSince(start));
        return found;
    };

    for (int i = 0; i < options.scenes; ++i) {
        const qirmel::SceneLayout layout = sampler.withDocument();
        const int quality = qualities.uniform(50, 96);
        const qirmel::Scene scene = qirmel::SceneRenderer::render(layout, options.size);
        const std::optional<qirmel::Quad> found = detect(compress(scene.bgr, quality));
        const double aspect = qirmel::DocumentPainter::aspect(layout.document, layout.receiptLength);
        const double index = JaccardIndex::score(*scene.truth, aspect, found);
        for (const std::string &category : categories(layout, quality, frameAspect))
            stats.add(category, index);
        if (!options.dump.empty() && index < 0.95)
            FrameDump::save(options.dump, "scene" + std::to_string(i), scene.bgr, scene.truth, found);
        if (options.verbose && index < 0.95)
            std::printf("scene %d seed %u: %.4f  %s, %s, %s, q%d\n", i, layout.seed, index, name(layout.desk),
                        name(layout.document), name(layout.lighting), quality);
    }

    std::printf("Jaccard index on %d scenes of %dx%d (a miss scores 0)\n", options.scenes, options.size.width,
                options.size.height);
    stats.print();

    std::vector<int> falseCrops(4, 0);
    std::vector<int> desks(4, 0);
    for (int i = 0; i < options.negatives; ++i) {
        const qirmel::SceneLayout layout = sampler.emptyDesk();
        const qirmel::Scene scene = qirmel::SceneRenderer::render(layout, options.size);
        const bool cropped = detect(compress(scene.bgr, qualities.uniform(50, 96))).has_value();
        ++desks[int(layout.desk)];
        falseCrops[int(layout.desk)] += cropped;
        if (!options.dump.empty() && cropped)
            FrameDump::save(options.dump, "empty" + std::to_string(i), scene.bgr, std::nullopt, std::nullopt);
        if (options.verbose && cropped)
            std::printf("empty desk %d seed %u: false crop (%s, %s)\n", i, layout.seed, name(layout.desk),
                        name(layout.lighting));
    }
    int allFalse = 0;
    std::printf("\nFalse crops on empty desks\n");
    for (int d = 0; d < 4; ++d) {
        allFalse += falseCrops[d];
        std::printf("  %-14s %3d of %3d\n", name(static_cast<qirmel::Desk>(d)), falseCrops[d], desks[d]);
    }
    std::printf("  %-14s %3d of %3d (%.1f %%)\n", "all", allFalse, options.negatives,
                options.negatives ? 100.0 * allFalse / options.negatives : 0.0);

    std::printf("\nTime per %dx%d frame, one core (load average %s)\n", options.size.width, options.size.height,
                loadAverage().c_str());
    printTimes("detection, CPU time of the thread", detectCpuTimes);
    printTimes("detection, wall clock", detectTimes);
    printTimes("full BGR JPEG decode (not in detection)", decodeTimes);

    if (options.live > 0) {
        std::vector<double> shown;
        std::vector<double> raw;
        std::vector<double> follow;
        std::vector<double> frameTimes;
        int lost = 0;
        for (int i = 0; i < options.live; ++i) {
            qirmel::SceneLayout still = sampler.withDocument();
            still.occluder = qirmel::Occluder::None;
            const qirmel::SceneLayout moved = sampler.moved(still);
            const LiveResult result =
                LiveSequence::run(still, moved, options.size, qualities.uniform(50, 96), options.seed + i);
            if (options.verbose)
                std::printf("live sequence %d: jitter shown %.3f px, detected %.3f px; followed after %s frames\n", i,
                            result.shownJitter, result.rawJitter,
                            result.framesToFollow ? std::to_string(*result.framesToFollow).c_str() : "no");
            shown.push_back(result.shownJitter);
            frameTimes.insert(frameTimes.end(), result.frameMilliseconds.begin(), result.frameMilliseconds.end());
            raw.push_back(result.rawJitter);
            if (result.framesToFollow)
                follow.push_back(*result.framesToFollow);
            else
                ++lost;
        }
        std::printf("\nLive sequences: %d (30 still frames with fresh noise and JPEG, then the page moved)\n",
                    options.live);
        std::printf("  still page jitter, shown corners   mean %.3f px   max %.3f px (RMS about their mean)\n",
                    CategoryStats::mean(shown), *std::max_element(shown.begin(), shown.end()));
        std::printf("  still page jitter, detection on the whole frame  mean %.3f px   max %.3f px\n",
                    CategoryStats::mean(raw), *std::max_element(raw.begin(), raw.end()));
        std::printf("  frames to follow a moved page (all corners within %.0f px): median %.0f, max %.0f, never %d\n",
                    LiveSequence::kFollowTolerance, CategoryStats::quantile(follow, 0.5),
                    follow.empty() ? 0.0 : *std::max_element(follow.begin(), follow.end()), lost);
        printTimes("  library's live crop per frame, CPU time", frameTimes);
    }
    return 0;
}
