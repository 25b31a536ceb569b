#ifndef BENCH_FRAMEPATH_APPFRAMEPATH_H
#define BENCH_FRAMEPATH_APPFRAMEPATH_H

#include "framelog.h"
#include "frameprobe.h"
#include "samples.h"

#include <QByteArray>
#include <QSize>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

class BenchCamera;
class MainWindow;

// The app's own frame path, whole: its window with the frame thread and the preview slot,
// reading from the bench camera. The window stays hidden, so the figures hold the decode, the
// queued signal, the scaling and the pixmap, and no painting.
class AppFramePath {
public:
    struct Run {
        Samples cpuMs;  // frame thread and GUI thread together
        Samples frameThreadCpuMs;
        Samples guiCpuMs;
        Samples latencyMs;  // from GetFrameBuffer returning to the preview being set
        double faultsPerFrame = 0;
        std::int64_t peakBytes = 0;
        int nullFrames = 0;
        bool previewShown = false;

        // Adds the frames of a later run of the same kind.
        void append(const Run &later);
    };

    struct StalledRun {
        std::int64_t steadyPeakBytes = 0;
        std::int64_t stalledPeakBytes = 0;
        int sentWhileStalled = 0;  // by the camera, from the stall to the end of the recovery
        int readWhileStalled = 0;  // of those, the ones the frame thread took
        int shownWhileStalled = 0;
        bool completed = false;
    };

    // The window opens the camera and starts its frame thread as it does at start-up.
    explicit AppFramePath(BenchCamera &camera);
    ~AppFramePath();
    AppFramePath(const AppFramePath &) = delete;
    AppFramePath &operator=(const AppFramePath &) = delete;

    // Through the resolution box, as a user would: the window stops its thread, reopens the
    // camera and starts the thread again.
    bool switchTo(QSize size);

    // Frames come as fast as the preview takes them, with at most framesInFlight read and not yet
    // shown (see BenchCamera::serveKeepingInFlight); with 1 the GUI thread is idle when a frame
    // arrives. The first warmUp frames are left out of the figures.
    Run run(std::vector<QByteArray> frames, int framesInFlight, int warmUp, int count);

    // The camera sends at a fixed rate while the GUI thread stops handling events for a while,
    // as a long dialog or a slow disk would make it.
    StalledRun runStalled(std::vector<QByteArray> frames, std::chrono::nanoseconds frameInterval,
                          std::chrono::milliseconds steady, std::chrono::milliseconds stall,
                          std::chrono::milliseconds recovery);

private:
    bool waitForFrames(int firstFrame, int count);
    void handleEventsFor(std::chrono::milliseconds duration);
    bool previewShown() const;

    BenchCamera &m_camera;
    FrameLog m_log;
    FrameProbe m_probe;
    std::unique_ptr<MainWindow> m_window;
};

#endif
