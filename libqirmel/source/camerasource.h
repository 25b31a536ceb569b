// The one interface behind which every kind of camera sits: the virtual camera, V4L2 devices, and the
// scripted sources of the tests.
#ifndef QIRMEL_CAMERASOURCE_H
#define QIRMEL_CAMERASOURCE_H

#include "core/frame.h"

#include <chrono>
#include <string>
#include <vector>

namespace qirmel {

// What a camera tells about itself before it is opened. The name is ASCII: the application reads it
// as Latin-1.
struct CameraInfo {
    std::string name;
    int vendorId = 0;
    int productId = 0;
    std::vector<Size> resolutions;  // in the order the camera lists them, never empty
};

enum class FrameStatus {
    Ok,       // the frame was filled
    Timeout,  // no frame came within the timeout; the camera stays open
    Failed,   // the camera is not open or the device failed (unplugged, stream error)
};

// A camera that can be opened at one of its listed sizes and then delivers frames at its own pace.
// The library serialises open(), close() and waitFrame() on one source (never two at once); info()
// may be called from any thread at any time and never changes after construction.
class CameraSource {
public:
    virtual ~CameraSource() = default;

    virtual const CameraInfo &info() const = 0;

    // Starts streaming at size, which is one of info().resolutions. compressed asks for MJPG frames
    // where the camera can give them; a source may deliver either format regardless. Returns false,
    // leaving the source closed, when the camera cannot be opened. Opening an open source reopens it.
    virtual bool open(Size size, bool compressed) = 0;

    // Stops streaming; harmless when closed.
    virtual void close() = 0;

    // Blocks until the next frame is due or has arrived, as a real camera does, but no longer than
    // timeout, and fills frame (reusing its buffer) at the opened size, turned as preferTurns() says.
    virtual FrameStatus waitFrame(Frame &frame, std::chrono::milliseconds timeout) = 0;

    // Tells the source which way the picture is wanted (clockwise quarter turns) before a wait.
    // A source that can turn its picture once instead of every frame (the virtual camera turns its
    // pre-rendered scene) delivers frames turned so and says so in Frame::quarterTurns; the library
    // turns whatever is left. Most sources cannot and ignore it.
    virtual void preferTurns(int) {}

    // Asked before each photo taken while the source is open, from any thread, also while a wait is
    // in progress: false makes the photo fail, as with a camera that cannot deliver a still. Most
    // sources always allow.
    virtual bool allowPhoto() { return true; }
};

}  // namespace qirmel

#endif  // QIRMEL_CAMERASOURCE_H
