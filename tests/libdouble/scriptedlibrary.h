#ifndef SCRIPTEDLIBRARY_H
#define SCRIPTEDLIBRARY_H

#include <QByteArray>
#include <QSize>
#include <QStringList>

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

class QThread;

// A scriptable stand-in for the camera library. Tests script its answers, then read back every
// call it received, with arguments and calling thread, and any call that came while another
// thread was inside GetFrameBuffer where the library forbids it.
namespace ScriptedLibrary {

struct Camera {
    std::optional<QByteArray> name;  // no value: GetCamName returns a null pointer
    int productId = 0;
    int vendorId = 0;
};

struct Frame {
    int result = 0;
    QByteArray bytes;
    std::optional<int> reportedLength;  // no value: the number of bytes
};

struct Call {
    std::string function;
    std::vector<int> args;
    std::string text;  // the string argument of Init and Capture
    QThread *thread = nullptr;
    std::size_t bufferCapacity = 0;  // GetFrameBuffer: usable size of the buffer passed in
};

struct Script {
    std::vector<Camera> cameras;
    std::optional<int> cameraCount;  // overrides cameras.size()
    int mainCamera = 0;
    int auxCamera = 1;
    std::vector<QSize> resolutions;
    std::optional<int> resolutionCount;  // overrides resolutions.size()
    std::optional<QSize> currentSize;    // overrides the last requested size of an open camera
    int openResult = 0;
    std::deque<int> captureResults;       // consumed one per Capture; 0 once empty
    std::optional<Frame> repeatingFrame;  // served whenever no queued frame is waiting
    // How long a frame read takes, as a camera's frame interval would.
    std::chrono::microseconds frameReadTime{500};
    // How long a read with nothing to deliver waits for a frame before it fails.
    std::chrono::microseconds emptyReadWait{2000};
};

// Makes the scripted library the one that answers (see librarydouble.h), replaces the whole script
// and forgets every recorded call.
void reset(Script script = Script());

// Adds frames to be served in order, before any repeating frame.
void queueFrames(const std::vector<Frame> &frames);

std::vector<Call> calls();
// The calls made from the given thread (any thread: null), in order, written as
// "Function(argument,argument)" or "Function(text)".
QStringList trace(QThread *thread = nullptr);
int callCount(const std::string &function);
// The thread that last called GetFrameBuffer.
QThread *frameReaderThread();
// Descriptions of calls that came while GetFrameBuffer was running on another thread.
std::vector<std::string> overlaps();

// Blocks until function has been called count more times than before the wait, or the timeout passes.
bool waitForMoreCalls(const std::string &function, int count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30));
// Blocks until every queued frame has been served, or the timeout passes.
bool waitUntilQueueServed(std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace ScriptedLibrary

#endif  // SCRIPTEDLIBRARY_H
