#include "sizemeasurement.h"

#include "limitdecoder.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>

namespace {

constexpr int kWarmUpFrames = 2;
constexpr int kRounds = 8;
constexpr int kMinFramesPerRound = 5;
constexpr int kMaxFrames = 400;

}  // namespace

SizeMeasurement::SizeMeasurement(AppFramePath &app, std::vector<PeerPipeline> peers, double budgetMs, QSize previewSize)
    : m_app(app), m_peers(std::move(peers)), m_budgetMs(budgetMs), m_previewSize(previewSize)
{}

FrameTimings SizeMeasurement::measureLimit(QSize size, const std::vector<QByteArray> &frames, int count,
                                           bool scale) const
{
    LimitDecoder decoder(size);
    for (int i = 0; i < kWarmUpFrames; ++i)
        decoder.decode(frames[std::size_t(i) % frames.size()]);
    return FrameTimings::timeEach(count, [&](int i) {
        decoder.decode(frames[std::size_t(i) % frames.size()]);
        if (scale) {
            const QImage preview = decoder.image().scaled(m_previewSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
            Q_UNUSED(preview);
        }
    });
}

FrameTimings SizeMeasurement::measureQtReader(const std::vector<QByteArray> &frames, int count) const
{
    // What an app gets from Qt alone: its JPEG reader, then the conversion to 32-bit pixels that
    // a pixmap makes.
    return FrameTimings::timeEach(count, [&](int i) {
        const QImage image = QImage::fromData(frames[std::size_t(i) % frames.size()], "JPG");
        const QImage rgb32 = image.convertToFormat(QImage::Format_RGB32);
        Q_UNUSED(rgb32);
    });
}

std::vector<SizeMeasurement::PeerResult> SizeMeasurement::measurePeers(const std::vector<QByteArray> &frames,
                                                                       int count) const
{
    std::vector<PeerResult> results;
    if (m_peers.empty())
        return results;
    QTemporaryDir folder;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        QFile file(folder.filePath(QString("frame%1.jpg").arg(i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(frames[i]) != frames[i].size())
            return results;
    }
    for (const PeerPipeline &peer : m_peers)
        results.push_back({peer.name(), peer.measure(folder.path(), int(frames.size()), count, m_previewSize)});
    return results;
}

SizeMeasurement::Result SizeMeasurement::measure(QSize size, int subsampling, const std::vector<QByteArray> &frames)
{
    Result result;
    result.size = size;
    result.subsampling = subsampling;
    for (const QByteArray &frame : frames)
        result.jpegKiB += frame.size() / 1024.0 / double(frames.size());

    // A few decodes tell how many frames fit the budget.
    const double estimateMs = std::max(measureLimit(size, frames, 2, false).cpuMs.median(), 0.01);
    const int count = std::min(int(m_budgetMs / estimateMs), kMaxFrames);
    const int perRound = std::max(kMinFramesPerRound, count / kRounds);

    result.appRan = m_app.switchTo(size);
    for (int round = 0; round < kRounds; ++round) {
        const FrameTimings limit = measureLimit(size, frames, perRound, false);
        const FrameTimings limitAndScale = measureLimit(size, frames, perRound, true);
        result.limit.append(limit);
        result.limitAndScale.append(limitAndScale);
        if (result.appRan) {
            const AppFramePath::Run streaming = m_app.run(frames, 2, kWarmUpFrames, perRound);
            result.streaming.append(streaming);
            result.oneAtATime.append(m_app.run(frames, 1, kWarmUpFrames, std::max(kMinFramesPerRound, perRound / 2)));
            if (!streaming.cpuMs.empty()) {
                result.roundRatioToLimit.add(limit.cpuMs.median() / streaming.cpuMs.median());
                result.roundRatioToLimitAndScale.add(limitAndScale.cpuMs.median() / streaming.cpuMs.median());
            }
        }
    }
    result.qtReader = measureQtReader(frames, std::max(kMinFramesPerRound, count / 3));
    result.peers = measurePeers(frames, std::max(kMinFramesPerRound, count / 4));
    return result;
}
