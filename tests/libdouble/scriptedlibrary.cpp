#include "scriptedlibrary.h"

#include "librarydouble.h"

#include <QThread>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace ScriptedLibrary {
namespace {

struct State
{
    std::mutex mutex;
    std::condition_variable changed;
    Script script;
    std::deque<Frame> queuedFrames;
    std::vector<Call> calls;
    std::vector<std::string> overlaps;
    QThread *frameReader = nullptr;
    bool open = false;
    QSize requestedSize;
    std::atomic<int> readersInside{0};
};

State &state()
{
    static State instance;
    return instance;
}

void record(Call call)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.calls.push_back(std::move(call));
    s.changed.notify_all();
}

void recordCall(const char *function, std::vector<int> args = {}, std::string text = {})
{
    record({function, std::move(args), std::move(text), QThread::currentThread(), 0});
}

// Calls that must never run while another thread reads a frame.
void recordExclusiveCall(const char *function, std::vector<int> args = {})
{
    State &s = state();
    if (s.readersInside.load() > 0) {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.frameReader != QThread::currentThread())
            s.overlaps.push_back(std::string(function) + " during GetFrameBuffer");
    }
    recordCall(function, std::move(args));
}

int cameraCountLocked(const State &s)
{
    return s.script.cameraCount.value_or(int(s.script.cameras.size()));
}

const Camera *cameraAt(int index)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (index < 0 || index >= int(s.script.cameras.size()))
        return nullptr;
    return &s.script.cameras[std::size_t(index)];
}

QSize currentSize()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.script.currentSize)
        return *s.script.currentSize;
    return s.open ? s.requestedSize : QSize(0, 0);
}

int resolutionDimension(int index, bool width)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (index < 0 || index >= int(s.script.resolutions.size()))
        return -1;
    const QSize size = s.script.resolutions[std::size_t(index)];
    return width ? size.width() : size.height();
}

// The 21 functions answered from the script, each call recorded.
class ScriptedDouble : public LibraryDouble
{
public:
    int Init(const char *configFileName) override
    {
        recordCall("Init", {}, configFileName ? configFileName : "");
        return 0;
    }

    int GetCameraCount() override
    {
        recordCall("GetCameraCount");
        State &s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        return cameraCountLocked(s);
    }

    const char *GetCamName(int index) override
    {
        recordCall("GetCamName", {index});
        const Camera *camera = cameraAt(index);
        return camera && camera->name ? camera->name->constData() : nullptr;
    }

    int GetCameraPID(int index) override
    {
        recordCall("GetCameraPID", {index});
        const Camera *camera = cameraAt(index);
        return camera ? camera->productId : -1;
    }

    int GetCameraVID(int index) override
    {
        recordCall("GetCameraVID", {index});
        const Camera *camera = cameraAt(index);
        return camera ? camera->vendorId : -1;
    }

    int GetMainCamera() override
    {
        recordCall("GetMainCamera");
        State &s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        return s.script.mainCamera;
    }

    int GetAuxCamera() override
    {
        recordCall("GetAuxCamera");
        State &s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        return s.script.auxCamera;
    }

    int SetMJPG(int enable) override
    {
        recordCall("SetMJPG", {enable});
        return 0;
    }

    int SetDefaultRes(int width, int height) override
    {
        recordExclusiveCall("SetDefaultRes", {width, height});
        State &s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.requestedSize = QSize(width, height);
        return 0;
    }

    int OpenCamera(int index) override
    {
        recordExclusiveCall("OpenCamera", {index});
        State &s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.open = s.script.openResult >= 0;
        return s.script.openResult;
    }

    int CloseCamera() override
    {
        recordExclusiveCall("CloseCamera");
        State &s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.open = false;
        return 0;
    }

    int GetResCount() override
    {
        recordExclusiveCall("GetResCount");
        State &s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        return s.script.resolutionCount.value_or(int(s.script.resolutions.size()));
    }

    int GetResWidth(int index) override
    {
        recordExclusiveCall("GetResWidth", {index});
        return resolutionDimension(index, true);
    }

    int GetResHeight(int index) override
    {
        recordExclusiveCall("GetResHeight", {index});
        return resolutionDimension(index, false);
    }

    int GetCurResWidth() override
    {
        recordExclusiveCall("GetCurResWidth");
        return currentSize().width();
    }

    int GetCurResHeight() override
    {
        recordExclusiveCall("GetCurResHeight");
        return currentSize().height();
    }

    int GetFrameBuffer(unsigned char *buffer, int *length) override
    {
        State &s = state();
        s.readersInside.fetch_add(1);
        std::optional<Frame> frame;
        std::chrono::microseconds readTime;
        {
            std::unique_lock<std::mutex> lock(s.mutex);
            s.frameReader = QThread::currentThread();
            s.calls.push_back({"GetFrameBuffer", {}, {}, s.frameReader, buffer ? malloc_usable_size(buffer) : 0});
            readTime = s.script.frameReadTime;
            s.changed.wait_for(lock, s.script.emptyReadWait,
                               [&] { return !s.queuedFrames.empty() || s.script.repeatingFrame; });
            if (!s.queuedFrames.empty()) {
                frame = s.queuedFrames.front();
                s.queuedFrames.pop_front();
            } else if (s.script.repeatingFrame) {
                frame = s.script.repeatingFrame;
            }
            if (!buffer)
                s.overlaps.push_back("GetFrameBuffer without a buffer");
            s.changed.notify_all();
        }
        std::this_thread::sleep_for(readTime);

        int result = -1;
        if (frame && buffer && length) {
            // Like the real library, never write past width × height × 3 of the current size.
            const QSize size = currentSize();
            const long long capacity = std::max(0LL, (long long)size.width() * size.height() * 3);
            const int written = int(std::min<long long>(frame->bytes.size(), capacity));
            std::memcpy(buffer, frame->bytes.constData(), std::size_t(written));
            *length = frame->reportedLength.value_or(frame->bytes.size());
            result = frame->result;
        }
        s.readersInside.fetch_sub(1);
        return result;
    }

    int Capture(const char *path) override
    {
        recordCall("Capture", {}, path ? path : "");
        State &s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.script.captureResults.empty())
            return 0;
        const int result = s.script.captureResults.front();
        s.script.captureResults.pop_front();
        return result;
    }

    int RotateLeft(int reserved) override
    {
        recordCall("RotateLeft", {reserved});
        return 0;
    }

    int RotateRight(int reserved) override
    {
        recordCall("RotateRight", {reserved});
        return 0;
    }

    int SetAutoCrop(int enable) override
    {
        recordCall("SetAutoCrop", {enable});
        return 0;
    }
};

} // namespace

void reset(Script script)
{
    static ScriptedDouble scripted;
    LibraryDouble::install(&scripted);
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.script = std::move(script);
    s.queuedFrames.clear();
    s.calls.clear();
    s.overlaps.clear();
    s.frameReader = nullptr;
    s.open = false;
    s.requestedSize = QSize();
}

void queueFrames(const std::vector<Frame> &frames)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.queuedFrames.insert(s.queuedFrames.end(), frames.begin(), frames.end());
    s.changed.notify_all();
}

void setRepeatingFrame(std::optional<Frame> frame)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.script.repeatingFrame = std::move(frame);
    s.changed.notify_all();
}

std::vector<Call> calls()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.calls;
}

std::vector<Call> callsFrom(QThread *thread)
{
    std::vector<Call> result;
    for (Call &call : calls()) {
        if (call.thread == thread)
            result.push_back(std::move(call));
    }
    return result;
}

std::vector<std::string> functionsCalledFrom(QThread *thread)
{
    std::vector<std::string> result;
    for (const Call &call : callsFrom(thread))
        result.push_back(call.function);
    return result;
}

int callCount(const std::string &function)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return int(std::count_if(s.calls.begin(), s.calls.end(),
                             [&](const Call &call) { return call.function == function; }));
}

QThread *frameReaderThread()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.frameReader;
}

std::vector<std::string> overlaps()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.overlaps;
}

bool waitForCalls(const std::string &function, int count, std::chrono::milliseconds timeout)
{
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.changed.wait_for(lock, timeout, [&] {
        return std::count_if(s.calls.begin(), s.calls.end(),
                             [&](const Call &call) { return call.function == function; })
            >= count;
    });
}

bool waitUntilQueueServed(std::chrono::milliseconds timeout)
{
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.changed.wait_for(lock, timeout, [&] { return s.queuedFrames.empty(); });
}

bool frameReadInProgress()
{
    return state().readersInside.load() > 0;
}

} // namespace ScriptedLibrary
