#include "reportwriter.h"

#include <QSysInfo>
#include <QThread>
#include <QtGlobal>

#include <turbojpeg.h>

#include <cmath>
#include <fstream>
#include <string>

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kLimitTarget = 0.95;
constexpr double kLatencyAllowanceMs = 2.0;
constexpr double kStallAllowanceFrames = 3.0;

const char *subsamplingName(int subsampling)
{
    switch (subsampling) {
    case TJSAMP_444:
        return "4:4:4";
    case TJSAMP_422:
        return "4:2:2";
    case TJSAMP_420:
        return "4:2:0";
    default:
        return "other";
    }
}

std::string cpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.compare(0, 10, "model name") == 0)
            return line.substr(line.find(':') + 2);
    }
    return "unknown";
}

double decodedFrameMiB(QSize size)
{
    return double(size.width()) * size.height() * 4 / kMiB;
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

} // namespace

ReportWriter::ReportWriter(std::FILE *out)
    : m_out(out)
{
}

void ReportWriter::header(const QStringList &peers, double budgetMs)
{
    std::fprintf(m_out, "doccam frame path benchmark\n");
    std::fprintf(m_out, "machine: %s, %d cores; %s; Qt %s\n", cpuModel().c_str(), QThread::idealThreadCount(),
                 qPrintable(QSysInfo::prettyProductName()), qVersion());
    std::fprintf(m_out, "peers found: %s\n", peers.isEmpty() ? "none" : qPrintable(peers.join(", ")));
    std::fprintf(m_out,
                 "CPU times are per thread and per frame (median), about %.0f ms of CPU per figure; ratios to the\n"
                 "limit are limit time / app time (1.00 = as fast as the bare decode); ratios to peers are peer time /\n"
                 "app time (above 1 = the app is faster). Peers: mean per frame from two runs, start-up cancelled.\n\n",
                 budgetMs);
    std::fflush(m_out);
}

void ReportWriter::sizeBlock(const SizeMeasurement::Result &r)
{
    const double limitMs = r.limit.cpuMs.median();
    std::fprintf(m_out, "%dx%d %s: JPEG %.0f KiB, decoded frame %.1f MiB\n", r.size.width(), r.size.height(),
                 subsamplingName(r.subsampling), r.jpegKiB, decodedFrameMiB(r.size));
    std::fprintf(m_out, "  limit: TurboJPEG to BGRX, reused buffer %8.3f ms %7.1f fps  (%d frames)\n", limitMs,
                 1000.0 / limitMs, r.limit.cpuMs.count());
    if (!r.appRan || r.app.cpuMs.empty()) {
        std::fprintf(m_out, "  app frame path: DID NOT RUN\n");
    } else {
        const double appMs = r.app.cpuMs.median();
        std::fprintf(m_out,
                     "  app frame path                         %8.3f ms %7.1f fps  ratio to limit %.3f  (%d frames; "
                     "frame thread %.3f ms, GUI thread %.3f ms; %.1f page faults/frame)\n",
                     appMs, 1000.0 / appMs, limitMs / appMs, r.app.cpuMs.count(), r.app.frameThreadCpuMs.median(),
                     r.app.guiCpuMs.median(), r.app.faultsPerFrame);
        if (r.app.nullFrames > 0 || !r.app.previewShown)
            std::fprintf(m_out, "  WARNING: %d null frames, preview %s\n", r.app.nullFrames,
                         r.app.previewShown ? "shown" : "NOT shown");
    }
    const double qtMs = r.qtReader.cpuMs.median();
    std::fprintf(m_out, "  Qt's JPEG reader, then RGB32           %8.3f ms %7.1f fps  ratio to limit %.3f\n", qtMs,
                 1000.0 / qtMs, limitMs / qtMs);
    for (const auto &peer : r.peers) {
        if (!peer.cost) {
            std::fprintf(m_out, "  %-9s decode and scale: FAILED\n", qPrintable(peer.name));
            continue;
        }
        const double peerMs = peer.cost->cpuMsPerFrame;
        std::fprintf(m_out, "  %-9s decode and scale to preview %8.3f ms %7.1f fps  ratio to app %.2f  (peak %.0f MiB)\n",
                     qPrintable(peer.name), peerMs, 1000.0 / peerMs,
                     r.app.cpuMs.empty() ? NAN : peerMs / r.app.cpuMs.median(), double(peer.cost->peakBytes) / kMiB);
    }
    if (!r.app.cpuMs.empty()) {
        std::fprintf(m_out, "  app peak memory %.0f MiB;  latency from GetFrameBuffer to preview p50 %.3f ms, p95 %.3f ms"
                            " (decode %.3f ms wall)\n\n",
                     double(r.app.peakBytes) / kMiB, r.app.latencyMs.median(), r.app.latencyMs.percentile(95),
                     r.limit.wallMs.median());
    }
    std::fflush(m_out);
}

void ReportWriter::summary(const std::vector<SizeMeasurement::Result> &results)
{
    std::fprintf(m_out, "summary (targets: ratio to limit >= %.2f, faster than ffmpeg, latency p95 <= decode + %.0f ms)\n",
                 kLimitTarget, kLatencyAllowanceMs);
    std::fprintf(m_out, "%-10s %-6s %9s %9s %7s %6s %7s %8s %8s %9s %9s %9s %8s\n", "size", "samp", "limit ms", "app ms",
                 "app fps", "/limit", "Qt/lim", "ffmpeg/a", "GStrm/a", "peak MiB", "lat p50", "lat p95", "p95-dec");
    for (const auto &r : results) {
        if (r.app.cpuMs.empty())
            continue;
        const double limitMs = r.limit.cpuMs.median();
        const double appMs = r.app.cpuMs.median();
        double ffmpeg = NAN;
        double gstreamer = NAN;
        for (const auto &peer : r.peers) {
            if (!peer.cost)
                continue;
            (peer.name == "ffmpeg" ? ffmpeg : gstreamer) = peer.cost->cpuMsPerFrame / appMs;
        }
        const double p95 = r.app.latencyMs.percentile(95);
        const double decodeWall = r.limit.wallMs.median();
        std::fprintf(m_out, "%-10s %-6s %9.3f %9.3f %7.1f %6.3f %7.3f %8.2f %8.2f %9.0f %9.3f %9.3f %8.3f  %s %s %s\n",
                     qPrintable(QString("%1x%2").arg(r.size.width()).arg(r.size.height())),
                     subsamplingName(r.subsampling), limitMs, appMs, 1000.0 / appMs, limitMs / appMs,
                     limitMs / r.qtReader.cpuMs.median(), ffmpeg, gstreamer, double(r.app.peakBytes) / kMiB,
                     r.app.latencyMs.median(), p95, p95 - decodeWall,
                     limitMs / appMs >= kLimitTarget ? "limit:met" : "limit:MISSED",
                     std::isnan(ffmpeg) ? "ffmpeg:n/a" : (ffmpeg > 1.0 ? "ffmpeg:met" : "ffmpeg:MISSED"),
                     p95 - decodeWall <= kLatencyAllowanceMs ? "latency:met" : "latency:MISSED");
    }
    std::fprintf(m_out, "\n");
    std::fflush(m_out);
}

void ReportWriter::stalledRun(const AppFramePath::StalledRun &run, QSize size, int subsampling, double fps,
                              std::chrono::milliseconds stall)
{
    const double frameMiB = decodedFrameMiB(size);
    const double growthMiB = double(run.stalledPeakBytes - run.steadyPeakBytes) / kMiB;
    std::fprintf(m_out, "stalled GUI: %dx%d %s camera at %.1f fps, GUI thread handles no events for %lld ms\n",
                 size.width(), size.height(), subsamplingName(subsampling), fps, static_cast<long long>(stall.count()));
    std::fprintf(m_out, "  peak memory steady %.0f MiB, with the stall %.0f MiB: %+.1f MiB = %+.2f frames of %.1f MiB"
                        " (target <= +%.0f frames: %s)\n",
                 double(run.steadyPeakBytes) / kMiB, double(run.stalledPeakBytes) / kMiB, growthMiB,
                 growthMiB / frameMiB, frameMiB, kStallAllowanceFrames,
                 verdict(growthMiB / frameMiB <= kStallAllowanceFrames));
    std::fprintf(m_out, "  from the stall to the end of the recovery the camera sent %d frames, the frame thread read %d,"
                        " the preview showed %d%s\n\n",
                 run.sentWhileStalled, run.readWhileStalled, run.shownWhileStalled,
                 run.completed ? "" : "  WARNING: the preview was not shown");
    std::fflush(m_out);
}

void ReportWriter::note(const char *text)
{
    std::fprintf(m_out, "%s\n", text);
    std::fflush(m_out);
}
