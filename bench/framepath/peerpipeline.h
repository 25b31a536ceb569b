#ifndef BENCH_FRAMEPATH_PEERPIPELINE_H
#define BENCH_FRAMEPATH_PEERPIPELINE_H

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// Another program that decodes the same JPEG frames and scales them to the preview size, run as
// a process of its own so that nothing of it is linked into the benchmark. Only programs found on
// the PATH at run time take part.
class PeerPipeline {
public:
    struct Cost {
        double cpuMsPerFrame = 0;
        std::int64_t peakBytes = 0;
    };

    static std::vector<PeerPipeline> installed();

    QString name() const;

    // Runs the peer over the files frame0.jpg to frame<fileCount - 1>.jpg of folder, round and
    // round. Start-up costs cancel out between a run of frames and one of three times as many; the
    // result is the CPU time of the peer's process per extra frame. No value when the peer fails.
    std::optional<Cost> measure(const QString &folder, int fileCount, int frames, QSize previewSize) const;

private:
    enum class Kind { FFmpeg, GStreamer };
    struct RunUsage {
        double cpuMs = 0;
        std::int64_t peakBytes = 0;
    };

    PeerPipeline(Kind kind, QString program);
    QStringList arguments(const QString &folder, int fileCount, int frames, QSize previewSize) const;
    std::optional<RunUsage> runOnce(const QStringList &arguments) const;

    Kind m_kind;
    QString m_program;
};

#endif
