#include "peerpipeline.h"

#include <QStandardPaths>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

extern char **environ;

std::vector<PeerPipeline> PeerPipeline::installed()
{
    std::vector<PeerPipeline> peers;
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    if (!ffmpeg.isEmpty())
        peers.push_back(PeerPipeline(Kind::FFmpeg, ffmpeg));
    const QString gstreamer = QStandardPaths::findExecutable("gst-launch-1.0");
    if (!gstreamer.isEmpty())
        peers.push_back(PeerPipeline(Kind::GStreamer, gstreamer));
    return peers;
}

PeerPipeline::PeerPipeline(Kind kind, QString program) : m_kind(kind), m_program(std::move(program)) {}

QString PeerPipeline::name() const
{
    return m_kind == Kind::FFmpeg ? QStringLiteral("ffmpeg") : QStringLiteral("GStreamer");
}

QStringList PeerPipeline::arguments(const QString &folder, int fileCount, int frames, QSize previewSize) const
{
    const QString pattern = folder + "/frame%d.jpg";
    const QString width = QString::number(previewSize.width());
    const QString height = QString::number(previewSize.height());
    // Both peers get one decoding thread and the nearest-neighbour scaling the preview uses, and
    // end with 32-bit pixels as the preview does.
    if (m_kind == Kind::FFmpeg)
        return {"-nostdin",
                "-hide_banner",
                "-loglevel",
                "error",
                "-threads",
                "1",
                "-filter_threads",
                "1",
                "-loop",
                "1",
                "-framerate",
                "30",
                "-i",
                pattern,
                "-frames:v",
                QString::number(frames),
                "-vf",
                "scale=" + width + ":" + height + ":flags=neighbor",
                "-pix_fmt",
                "bgra",
                "-f",
                "null",
                "-"};
    return {"-q",
            "multifilesrc",
            "location=" + pattern,
            "index=0",
            "stop-index=" + QString::number(fileCount - 1),
            "loop=true",
            "num-buffers=" + QString::number(frames),
            "caps=image/jpeg,framerate=30/1",
            "!",
            "jpegdec",
            "!",
            "videoscale",
            "method=nearest-neighbour",
            "!",
            "videoconvert",
            "!",
            "video/x-raw,format=BGRx,width=" + width + ",height=" + height,
            "!",
            "fakesink",
            "sync=false"};
}

std::optional<PeerPipeline::RunUsage> PeerPipeline::runOnce(const QStringList &arguments) const
{
    std::vector<QByteArray> storage;
    storage.push_back(m_program.toLocal8Bit());
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return std::nullopt;

    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    auto ms = [](const timeval &time) { return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3; };
    return RunUsage{ms(usage.ru_utime) + ms(usage.ru_stime), std::int64_t(usage.ru_maxrss) * 1024};
}

std::optional<PeerPipeline::Cost> PeerPipeline::measure(const QString &folder, int fileCount, int frames,
                                                        QSize previewSize) const
{
    const auto shortRun = runOnce(arguments(folder, fileCount, frames, previewSize));
    const auto longRun = runOnce(arguments(folder, fileCount, frames * 3, previewSize));
    if (!shortRun || !longRun)
        return std::nullopt;
    return Cost{(longRun->cpuMs - shortRun->cpuMs) / (2.0 * frames), std::max(shortRun->peakBytes, longRun->peakBytes)};
}
