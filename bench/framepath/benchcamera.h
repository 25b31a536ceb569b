#ifndef BENCH_FRAMEPATH_BENCHCAMERA_H
#define BENCH_FRAMEPATH_BENCHCAMERA_H

#include "librarydouble.h"
#include "threadusage.h"

#include <QByteArray>
#include <QSize>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class FrameLog;
class QThread;

// The camera library's functions, served from JPEG frames held in memory, so that the app's real
// frame thread and preview run with no camera and no library cost of their own. The benchmark
// decides when frames come: not at all, each one as soon as the one before it is on the preview,
// or at a fixed frame rate whatever the app does, as a real camera sends them. Each frame's number
// is the value GetFrameBuffer returns, which the app passes on to its preview slot.
class BenchCamera : public LibraryDouble {
public:
    // The one bench camera, installed as the library that the app calls.
    static BenchCamera &instance();

    // Before the app starts: the sizes that the camera offers.
    void setResolutions(std::vector<QSize> resolutions);
    // The frames to serve in turn; they must all be of the size the app opened.
    void setFrames(std::vector<QByteArray> frames);
    void setLog(FrameLog *log);

    // GetFrameBuffer reports no frame until told otherwise.
    void park();
    // Serves frames as fast as the preview takes them: a frame only while fewer than framesInFlight
    // frames are read and not yet shown. 1: each frame once the one before is on the preview, so
    // that the two threads take turns; 2: the frame thread decodes the next frame while the GUI
    // thread shows one, as with a camera faster than the app.
    void serveKeepingInFlight(int framesInFlight);
    // Serves one frame per interval; a frame falls due while the app is still busy is lost, as
    // with a camera, and the app gets the next one.
    void serveAtRate(std::chrono::nanoseconds interval);
    // From the preview's side: frame has been shown and its image let go.
    void frameShown(int frame);

    struct Counts {
        int served = 0;
        int missed = 0;  // frames the camera sent while the app wasn't reading
    };
    Counts counts() const;
    // The number the next frame served will have.
    int nextFrame() const;
    // Blocks until the app's frame thread has asked for a frame, and returns that thread.
    QThread *waitForFrameThread();

    // The size the camera is open at; 0x0 while it is closed.
    QSize currentSize() const;

    // The library's side: one camera, whose sizes are the ones set; the functions left out answer
    // as the double does.
    int GetCameraCount() override { return 1; }
    const char *GetCamName(int index) override { return index == 0 ? "Bench camera" : nullptr; }
    int GetCameraPID(int index) override { return index == 0 ? 0x0001 : -1; }
    int GetCameraVID(int index) override { return index == 0 ? 0x0001 : -1; }
    int GetMainCamera() override { return 0; }
    int SetDefaultRes(int width, int height) override;
    int OpenCamera(int index) override;
    int CloseCamera() override;
    int GetResCount() override;
    int GetResWidth(int index) override { return resolution(index).width(); }
    int GetResHeight(int index) override { return resolution(index).height(); }
    int GetCurResWidth() override { return currentSize().width(); }
    int GetCurResHeight() override { return currentSize().height(); }
    int GetFrameBuffer(unsigned char *buffer, int *length) override;

private:
    enum class Mode { Parked, KeepingInFlight, AtRate };

    BenchCamera();
    QSize resolution(int index) const;
    bool waitForTurn(std::unique_lock<std::mutex> &lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<QSize> m_resolutions;
    std::vector<QByteArray> m_frames;
    FrameLog *m_log = nullptr;
    QSize m_requestedSize;
    QSize m_currentSize;
    bool m_open = false;
    QThread *m_frameThread = nullptr;

    Mode m_mode = Mode::Parked;
    int m_framesInFlight = 1;
    std::chrono::nanoseconds m_interval{0};
    std::chrono::steady_clock::time_point m_nextDue;
    int m_nextFrame = 0;
    int m_lastServed = -1;
    int m_lastShown = -1;
    Counts m_counts;

    // Touched by the frame thread only, and by open() while that thread is stopped: the frame it is
    // working on and its usage when it got it.
    int m_frameInHand = -1;
    ThreadUsage m_usageAtHandOver;
};

#endif
