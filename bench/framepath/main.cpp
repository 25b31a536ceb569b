// framepath: the app's frame path against the limit of JPEG decoding. See README.md.
#include "appframepath.h"
#include "benchcamera.h"
#include "jpegencoder.h"
#include "pagescene.h"
#include "peerpipeline.h"
#include "processmemory.h"
#include "reportwriter.h"
#include "sizemeasurement.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>

#include <turbojpeg.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kQuality = 85;
constexpr int kDistinctFrames = 4;
const QSize kPreviewSize(571, 441);
// The stalled GUI run uses the largest size in the subsampling most cameras send.
constexpr int kStallSubsampling = TJSAMP_420;

// The app logs to standard output; the report keeps the real one and the log goes nowhere.
std::FILE *takeOverStandardOutput()
{
    std::fflush(stdout);
    const int report = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    close(devNull);
    return fdopen(report, "w");
}

std::vector<QSize> parseSizes(const QString &text)
{
    std::vector<QSize> sizes;
    for (const QString &item : text.split(',', Qt::SkipEmptyParts)) {
        const QStringList parts = item.split('x');
        const QSize size = parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
        if (size.isEmpty())
            return {};
        sizes.push_back(size);
    }
    // Smallest first: the app's frame buffers only grow, so each size's peak memory is then its own.
    std::sort(sizes.begin(), sizes.end(),
              [](QSize a, QSize b) { return a.width() * a.height() < b.width() * b.height(); });
    return sizes;
}

std::vector<QByteArray> encodeAll(const std::vector<QImage> &pictures, int subsampling)
{
    JpegEncoder encoder;
    std::vector<QByteArray> frames;
    for (const QImage &picture : pictures)
        frames.push_back(encoder.encode(picture, subsampling, kQuality));
    return frames;
}

}  // namespace

int main(int argc, char *argv[])
{
    std::FILE *report = takeOverStandardOutput();
    // No display needed: the window renders on Qt's offscreen platform unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLoggingCategory::setFilterRules("default.debug=false");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription("Measures the app's frame path against a bare TurboJPEG decode and peers.");
    parser.addHelpOption();
    const QCommandLineOption sizesOption("sizes", "Frame sizes, WxH separated by commas.", "sizes",
                                         "640x480,1920x1080,2592x1944,3840x2160,4624x3472");
    const QCommandLineOption budgetOption("budget-ms", "About how much CPU time each figure may take.", "ms", "1500");
    const QCommandLineOption noPeersOption("no-peers", "Leave out ffmpeg and GStreamer even where installed.");
    const QCommandLineOption noStallOption("no-stall", "Leave out the stalled GUI run.");
    const QCommandLineOption stallFpsOption("stall-fps", "Frame rate of the camera in the stalled GUI run.", "fps",
                                            "15");
    const QCommandLineOption stallMsOption("stall-ms", "How long the GUI thread stalls.", "ms", "2000");
    parser.addOptions({sizesOption, budgetOption, noPeersOption, noStallOption, stallFpsOption, stallMsOption});
    parser.process(app);

    const std::vector<QSize> sizes = parseSizes(parser.value(sizesOption));
    const double budgetMs = parser.value(budgetOption).toDouble();
    const double stallFps = parser.value(stallFpsOption).toDouble();
    const std::chrono::milliseconds stall(parser.value(stallMsOption).toInt());
    if (sizes.empty() || budgetMs <= 0 || stallFps <= 0 || stall.count() <= 0) {
        std::fprintf(stderr, "framepath: bad option value\n");
        return 2;
    }

    BenchCamera &camera = BenchCamera::instance();
    // Largest first, as the window opens the largest size at start-up and takes it for row 0.
    camera.setResolutions(std::vector<QSize>(sizes.rbegin(), sizes.rend()));
    AppFramePath framePath(camera);

    std::vector<PeerPipeline> peers;
    if (!parser.isSet(noPeersOption))
        peers = PeerPipeline::installed();
    QStringList peerNames;
    for (const PeerPipeline &peer : peers)
        peerNames << peer.name();
    ReportWriter writer(report);
    writer.header(peerNames, budgetMs, ProcessMemory::resetPeak());

    SizeMeasurement measurement(framePath, peers, budgetMs, kPreviewSize);
    std::vector<SizeMeasurement::Result> results;
    std::vector<QByteArray> largestFrames;
    for (const QSize &size : sizes) {
        // Encoded before anything is measured, so that the pictures' memory is gone again by then.
        std::vector<std::pair<int, std::vector<QByteArray>>> encoded;
        {
            const PageScene scene(size);
            std::vector<QImage> pictures;
            for (int i = 0; i < kDistinctFrames; ++i)
                pictures.push_back(scene.frame(i));
            for (int subsampling : {TJSAMP_422, TJSAMP_420})
                encoded.emplace_back(subsampling, encodeAll(pictures, subsampling));
        }
        for (auto &[subsampling, frames] : encoded) {
            results.push_back(measurement.measure(size, subsampling, frames));
            writer.sizeBlock(results.back());
        }
        for (auto &[subsampling, frames] : encoded) {
            if (subsampling == kStallSubsampling)
                largestFrames = std::move(frames);
        }
    }
    writer.summary(results);

    if (!parser.isSet(noStallOption)) {
        const QSize largest = sizes.back();
        framePath.switchTo(largest);
        const auto interval = std::chrono::nanoseconds(static_cast<long long>(1e9 / stallFps));
        const auto run =
            framePath.runStalled(largestFrames, interval, std::chrono::seconds(1), stall, std::chrono::seconds(1));
        writer.stalledRun(run, largest, kStallSubsampling, stallFps, stall);
    }
    return 0;
}
