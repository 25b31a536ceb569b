// The state behind the library's C functions: the cameras, the open one, its settings and the
// newest frame, with the locking that lets the GUI thread act while the frame thread waits.
#ifndef QIRMEL_CAMERALIBRARY_H
#define QIRMEL_CAMERALIBRARY_H

#include "config/cameraconfig.h"
#include "pipeline/framepipeline.h"
#include "source/camerasource.h"

#include <condition_variable>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qirmel {

// Results are those of the C functions: 0 or a count or size on success, a negative errno value
// on failure.
//
// Two locks: m_streamMutex serialises everything that uses the open camera (init, open, close and
// the frame wait) and is held while the frame thread sleeps for a frame; m_stateMutex guards the
// short reads and writes of the settings and the newest frame and is never held across a wait, so
// rotate() and setAutoCrop() never wait for a frame, and capture() only while there is no newest
// frame, on m_newestArrived, which releases the lock. Lock order: stream, then state.
class CameraLibrary {
public:
    CameraLibrary();
    ~CameraLibrary();
    CameraLibrary(const CameraLibrary &) = delete;
    CameraLibrary &operator=(const CameraLibrary &) = delete;

    // Reads the configuration named fileName where findConfigFile() finds it (reporting its
    // problems on errors) and enumerates the cameras.
    int init(const char *fileName, std::ostream &errors);

    // Starts over with these settings and cameras, closing any open camera; what init() does once
    // the configuration is read. Tests hand in scripted cameras here.
    int init(const CameraConfig &config, std::vector<std::unique_ptr<CameraSource>> cameras);

    int cameraCount() const;
    const char *cameraName(int index) const;
    int vendorId(int index) const;
    int productId(int index) const;
    int mainCamera() const;
    int auxCamera() const;

    int setCompressed(bool compressed);
    int setRequestedSize(int width, int height);
    int open(int index);
    int close();

    int resolutionCount() const;
    int resolutionWidth(int index) const;
    int resolutionHeight(int index) const;
    int currentWidth() const;
    int currentHeight() const;

    // Waits for the open camera's next frame and copies its JPEG into buffer, which holds the
    // opened width * height * 3 bytes: the document alone while auto crop is on and one is in view,
    // else the whole frame, turned as asked.
    int nextFrame(std::uint8_t *buffer, int *length);

    // Writes the newest frame to path at its full resolution, cut and turned as the live frames are
    // (the document searched for afresh, starting where the live frames showed it). Where there is
    // none yet (a camera just opened) or the newest was damaged, waits a little for the frame thread
    // to bring a whole one; -ENODATA when none came.
    int capture(const char *path);

    // Turns the picture by quarterTurns clockwise quarter turns (negative: counter-clockwise).
    int rotate(int quarterTurns);
    // Switches auto crop; the document is followed afresh each time it goes on, and after every
    // opening.
    int setAutoCrop(bool enable);

private:
    const CameraInfo *infoLocked(int index) const;
    void closeLocked();

    mutable std::mutex m_streamMutex;
    mutable std::mutex m_stateMutex;

    // Guarded by m_stateMutex; changed only with m_streamMutex held as well.
    std::vector<std::unique_ptr<CameraSource>> m_cameras;
    std::vector<const char *> m_names;
    std::set<std::string> m_nameStore;  // only grows: names stay valid until the process ends
    int m_openIndex = -1;
    Size m_openSize;

    // Guarded by m_stateMutex.
    CameraConfig m_config;
    bool m_compressed = true;
    Size m_requestedSize{std::numeric_limits<int>::max(), std::numeric_limits<int>::max()};  // the largest
    PipelineSettings m_settings;
    Frame m_newest;
    std::optional<Quad> m_newestOutline;      // where the live crop cut m_newest, a photo's starting point
    bool m_hasNewest = false;                 // false as well while the camera's newest frame is a damaged one
    std::condition_variable m_newestArrived;  // m_hasNewest became true, or the camera was closed

    // Used with m_streamMutex held only.
    FramePipeline m_framePipeline;
    Frame m_incoming;
    std::vector<std::uint8_t> m_frameJpeg;
};

}  // namespace qirmel

#endif  // QIRMEL_CAMERALIBRARY_H
