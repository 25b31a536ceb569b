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

// Other processes' load shows in every wall-clock figure, so the report says what it was.
std::string loadAverage()
{
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double decodedFrameMiB(QSize size)
{
    return double(size.width()) * size.height() * 4 / kMiB;
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

}  // namespace

ReportWriter::ReportWriter(std::FILE *out) : m_out(out) {}

void ReportWriter::header(const QStringList &peers, double budgetMs, bool peaksPerRun)
{
    std::fprintf(m_out, "doccam frame path benchmark\n");
    std::fprintf(m_out, "machine: %s, %d cores; %s; Qt %s; load average %s\n", cpuModel().c_str(),
                 QThread::idealThreadCount(), qPrintable(QSysInfo::prettyProductName()), qVersion(),
                 loadAverage().c_str());
    std::fprintf(m_out, "peers found: %s\n", peers.isEmpty() ? "none" : qPrintable(peers.join(", ")));
    if (!peaksPerRun)
        std::fprintf(m_out,
                     "the kernel doesn't let the peak memory restart: each peak is since the start of the process\n");
    std::fprintf(
        m_out,
        "CPU times are per thread and per frame (median), about %.0f ms of CPU per figure; ratios to the\n"
        "limit are limit time / app time (1.00 = as fast as the bare decode); ratios to peers are peer time /\n"
        "app time (above 1 = the app is faster). Peers: mean per frame from two runs, start-up cancelled.\n\n",
        budgetMs);
    std::fflush(m_out);
}

void ReportWriter::appLine(const char *label, const AppFramePath::Run &run, double limitMs)
{
    if (run.cpuMs.empty()) {
        std::fprintf(m_out, "  %-38s DID NOT RUN\n", label);
        return;
    }
    const double appMs = run.cpuMs.median();
    std::fprintf(m_out,
                 "  %-38s %8.3f ms %7.1f fps  ratio to limit %.3f  (%d frames; frame thread %.3f ms, GUI thread"
                 " %.3f ms; %.1f page faults/frame; peak memory %.0f MiB)\n",
                 label, appMs, 1000.0 / appMs, limitMs / appMs, run.cpuMs.count(), run.frameThreadCpuMs.median(),
                 run.guiCpuMs.median(), run.faultsPerFrame, double(run.peakBytes) / kMiB);
    if (run.nullFrames > 0 || !run.previewShown)
        std::fprintf(m_out, "  WARNING: %d null frames, preview %s\n", run.nullFrames,
                     run.previewShown ? "shown" : "NOT shown");
}

void ReportWriter::sizeBlock(const SizeMeasurement::Result &r)
{
    const double limitMs = r.limit.cpuMs.median();
    std::fprintf(m_out, "%dx%d %s: JPEG %.0f KiB, decoded frame %.1f MiB\n", r.size.width(), r.size.height(),
                 subsamplingName(r.subsampling), r.jpegKiB, decodedFrameMiB(r.size));
    std::fprintf(m_out, "  %-38s %8.3f ms %7.1f fps  (%d frames; wall p50 %.3f ms, p95 %.3f ms)\n",
                 "limit: TurboJPEG to BGRX, reused buffer", limitMs, 1000.0 / limitMs, r.limit.cpuMs.count(),
                 r.limit.wallMs.median(), r.limit.wallMs.percentile(95));
    const double scaledMs = r.limitAndScale.cpuMs.median();
    std::fprintf(m_out, "  %-38s %8.3f ms %7.1f fps  ratio to limit %.3f\n", "limit, then scaled to the preview",
                 scaledMs, 1000.0 / scaledMs, limitMs / scaledMs);
    appLine("app frame path, streaming", r.streaming, limitMs);
    if (!r.roundRatioToLimit.empty())
        std::fprintf(m_out, "  %-38s %.3f (rounds %.3f to %.3f); to the limit then scaled %.3f\n",
                     "streaming ratio to limit, per round", r.roundRatioToLimit.median(),
                     r.roundRatioToLimit.percentile(0), r.roundRatioToLimit.percentile(100),
                     r.roundRatioToLimitAndScale.median());
    appLine("app frame path, one frame at a time", r.oneAtATime, limitMs);
    const double qtMs = r.qtReader.cpuMs.median();
    std::fprintf(m_out, "  %-38s %8.3f ms %7.1f fps  ratio to limit %.3f\n", "Qt's JPEG reader, then RGB32", qtMs,
                 1000.0 / qtMs, limitMs / qtMs);
    const double appMs = r.streaming.cpuMs.empty() ? NAN : r.streaming.cpuMs.median();
    for (const auto &peer : r.peers) {
        const QString label = peer.name + " decode and scale to preview";
        if (!peer.cost) {
            std::fprintf(m_out, "  %-38s FAILED\n", qPrintable(label));
            continue;
        }
        const double peerMs = peer.cost->cpuMsPerFrame;
        std::fprintf(m_out, "  %-38s %8.3f ms %7.1f fps  ratio to app %.2f  (peak memory %.0f MiB)\n",
                     qPrintable(label), peerMs, 1000.0 / peerMs, peerMs / appMs, double(peer.cost->peakBytes) / kMiB);
    }
    if (!r.oneAtATime.latencyMs.empty())
        std::fprintf(m_out, "  %-38s p50 %.3f ms, p95 %.3f ms\n", "latency, GetFrameBuffer to preview",
                     r.oneAtATime.latencyMs.median(), r.oneAtATime.latencyMs.percentile(95));
    std::fprintf(m_out, "\n");
    std::fflush(m_out);
}

void ReportWriter::summary(const std::vector<SizeMeasurement::Result> &results)
{
    std::fprintf(m_out,
                 "summary (load average %s): app = streaming frame path, CPU per frame; lim+sc = the limit, then\n"
                 "the preview's scaling; /limit and /lim+sc: medians of the ratios within each round; latency (wall)\n"
                 "with the GUI idle, against the limit's wall time at the same percentile (dec p95).\n"
                 "targets: app/limit >= %.2f, ffmpeg/app > 1, latency p95 <= dec p95 + %.0f ms\n",
                 loadAverage().c_str(), kLimitTarget, kLatencyAllowanceMs);
    std::fprintf(m_out, "%-10s %-5s %8s %8s %7s %6s %7s %6s %7s %7s %8s %7s %7s %7s\n", "size", "samp", "limit ms",
                 "app ms", "app fps", "/limit", "/lim+sc", "Qt/lim", "ffmpeg/", "GStrm/", "peak MiB", "lat p50",
                 "lat p95", "dec p95");
    for (const auto &r : results) {
        if (r.streaming.cpuMs.empty() || r.oneAtATime.latencyMs.empty())
            continue;
        const double limitMs = r.limit.cpuMs.median();
        const double appMs = r.streaming.cpuMs.median();
        const double toLimit = r.roundRatioToLimit.median();
        double ffmpeg = NAN;
        double gstreamer = NAN;
        for (const auto &peer : r.peers) {
            if (peer.cost)
                (peer.name == "ffmpeg" ? ffmpeg : gstreamer) = peer.cost->cpuMsPerFrame / appMs;
        }
        const double p95 = r.oneAtATime.latencyMs.percentile(95);
        const double decodeP95 = r.limit.wallMs.percentile(95);
        std::fprintf(
            m_out, "%-10s %-5s %8.3f %8.3f %7.1f %6.3f %7.3f %6.3f %7.2f %7.2f %8.0f %7.3f %7.3f %7.3f  %s %s %s\n",
            qPrintable(QString("%1x%2").arg(r.size.width()).arg(r.size.height())), subsamplingName(r.subsampling),
            limitMs, appMs, 1000.0 / appMs, toLimit, r.roundRatioToLimitAndScale.median(),
            limitMs / r.qtReader.cpuMs.median(), ffmpeg, gstreamer, double(r.streaming.peakBytes) / kMiB,
            r.oneAtATime.latencyMs.median(), p95, decodeP95, toLimit >= kLimitTarget ? "limit:met" : "limit:MISSED",
            std::isnan(ffmpeg) ? "ffmpeg:n/a" : (ffmpeg > 1.0 ? "ffmpeg:met" : "ffmpeg:MISSED"),
            p95 <= decodeP95 + kLatencyAllowanceMs ? "latency:met" : "latency:MISSED");
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
    std::fprintf(m_out,
                 "  peak memory steady %.0f MiB, with the stall %.0f MiB: %+.1f MiB = %+.2f frames of %.1f MiB"
                 " (target <= +%.0f frames: %s)\n",
                 double(run.steadyPeakBytes) / kMiB, double(run.stalledPeakBytes) / kMiB, growthMiB,
                 growthMiB / frameMiB, frameMiB, kStallAllowanceFrames,
                 verdict(growthMiB / frameMiB <= kStallAllowanceFrames));
    std::fprintf(m_out,
                 "  from the stall to the end of the recovery the camera sent %d frames, the frame thread read %d,"
                 " the preview showed %d%s\n\n",
                 run.sentWhileStalled, run.readWhileStalled, run.shownWhileStalled,
                 run.completed ? "" : "  WARNING: the preview was not shown");
    std::fflush(m_out);
}
