#ifndef BENCH_FRAMEPATH_SIZEMEASUREMENT_H
#define BENCH_FRAMEPATH_SIZEMEASUREMENT_H

#include "appframepath.h"
#include "frametimings.h"
#include "peerpipeline.h"
#include "samples.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

// Everything measured on one frame size and subsampling, in one go so that the ratios compare
// figures taken under the same load: the limit and the app's frame path in turns, in several
// rounds, so that a change of load from other processes weighs on both alike; then Qt's own JPEG
// reader and each peer.
class SizeMeasurement {
public:
    struct PeerResult {
        QString name;
        std::optional<PeerPipeline::Cost> cost;
    };

    struct Result {
        QSize size;
        int subsampling = 0;
        double jpegKiB = 0;
        bool appRan = false;
        FrameTimings limit;
        FrameTimings limitAndScale;  // the limit, then the preview's scaling on the same thread
        FrameTimings qtReader;
        AppFramePath::Run streaming;   // the frame thread decodes while the GUI thread shows
        AppFramePath::Run oneAtATime;  // each frame after the last is shown: the GUI idle
        // Limit time / streaming app time within each round: a change of the machine's speed
        // between rounds moves both sides of a ratio alike, so these vary far less than the times.
        Samples roundRatioToLimit;
        Samples roundRatioToLimitAndScale;
        std::vector<PeerResult> peers;
    };

    // budgetMs: about how much CPU time each figure may take; sets how many frames it averages.
    SizeMeasurement(AppFramePath &app, std::vector<PeerPipeline> peers, double budgetMs, QSize previewSize);

    Result measure(QSize size, int subsampling, const std::vector<QByteArray> &frames);

private:
    FrameTimings measureLimit(QSize size, const std::vector<QByteArray> &frames, int count, bool scale) const;
    FrameTimings measureQtReader(const std::vector<QByteArray> &frames, int count) const;
    std::vector<PeerResult> measurePeers(const std::vector<QByteArray> &frames, int count) const;

    AppFramePath &m_app;
    std::vector<PeerPipeline> m_peers;
    double m_budgetMs;
    QSize m_previewSize;
};

#endif
