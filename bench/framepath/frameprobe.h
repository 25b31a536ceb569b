#ifndef BENCH_FRAMEPATH_FRAMEPROBE_H
#define BENCH_FRAMEPATH_FRAMEPROBE_H

#include "threadusage.h"

#include <QImage>
#include <QObject>

class BenchCamera;
class FrameLog;

// Connected to the frame thread's signal after the window's own preview slot, so that the same
// queued emission reaches it right after the preview has been set: it stamps that moment, and
// the GUI thread's usage since the previous frame, into the log.
class FrameProbe : public QObject {
    Q_OBJECT

public:
    FrameProbe(FrameLog &log, BenchCamera &camera);

    // Emits enough() once count frames numbered firstFrame or later have been shown; frames from
    // before, still on their way when a run ended, are left out. Restarts the GUI thread's account.
    void expect(int firstFrame, int count);
    int nullFrames() const;

public slots:
    void onFrameShown(const QImage &image, int frame);

signals:
    void enough();

private:
    FrameLog &m_log;
    BenchCamera &m_camera;
    ThreadUsage m_lastUsage;
    int m_firstFrame = 0;
    int m_remaining = 0;
    int m_nullFrames = 0;
};

#endif
