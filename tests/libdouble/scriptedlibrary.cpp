#include "scriptedlibrary.h"

#include "librarydouble.h"

#include <QThread>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace ScriptedLibrary {
namespace {

struct State {
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
} g_state;

using Lock = std::unique_lock<std::mutex>;

// What the library forbids while another thread is inside GetFrameBuffer.
const std::set<std::string> kExclusive = {"SetDefaultRes", "OpenCamera",   "CloseCamera",    "GetResCount",
                                          "GetResWidth",   "GetResHeight", "GetCurResWidth", "GetCurResHeight"};

// Records a call, with its string argument if any, and answers it with the state locked.
template <typename Reply>
auto respond(const char *function, std::vector<int> args, Reply reply, const char *text = nullptr)
{
    Lock lock(g_state.mutex);
    const bool reading = g_state.readersInside.load() > 0 && g_state.frameReader != QThread::currentThread();
    if (reading && kExclusive.count(function))
        g_state.overlaps.push_back(std::string(function) + " during GetFrameBuffer");
    g_state.calls.push_back({function, std::move(args), text ? text : "", QThread::currentThread(), 0});
    g_state.changed.notify_all();
    return reply();
}

// The following read the state with its lock held.
const Camera *cameraAt(int index)
{
    const auto &cameras = g_state.script.cameras;
    return index >= 0 && index < int(cameras.size()) ? &cameras[std::size_t(index)] : nullptr;
}

QSize resolutionAt(int index)
{
    const auto &sizes = g_state.script.resolutions;
    return index >= 0 && index < int(sizes.size()) ? sizes[std::size_t(index)] : QSize(-1, -1);
}

QSize currentSize()
{
    return g_state.script.currentSize.value_or(g_state.open ? g_state.requestedSize : QSize(0, 0));
}

int countOf(const std::string &function)
{
    const auto &calls = g_state.calls;
    return int(std::count_if(calls.begin(), calls.end(), [&](const Call &call) { return call.function == function; }));
}

// The 21 functions answered from the script, each call recorded.
class ScriptedDouble : public LibraryDouble {
public:
    int Init(const char *configFileName) override
    {
        return respond(
            "Init", {}, [] { return 0; }, configFileName);
    }
    int GetCameraCount() override
    {
        return respond("GetCameraCount", {},
                       [] { return g_state.script.cameraCount.value_or(int(g_state.script.cameras.size())); });
    }
    const char *GetCamName(int index) override
    {
        return respond("GetCamName", {index}, [&]() -> const char * {
            const Camera *camera = cameraAt(index);
            return camera && camera->name ? camera->name->constData() : nullptr;
        });
    }
    int GetCameraPID(int index) override
    {
        return respond("GetCameraPID", {index}, [&] { return cameraAt(index) ? cameraAt(index)->productId : -1; });
    }
    int GetCameraVID(int index) override
    {
        return respond("GetCameraVID", {index}, [&] { return cameraAt(index) ? cameraAt(index)->vendorId : -1; });
    }
    int GetMainCamera() override
    {
        return respond("GetMainCamera", {}, [] { return g_state.script.mainCamera; });
    }
    int GetAuxCamera() override
    {
        return respond("GetAuxCamera", {}, [] { return g_state.script.auxCamera; });
    }
    int SetMJPG(int enable) override
    {
        return respond("SetMJPG", {enable}, [] { return 0; });
    }
    int SetDefaultRes(int width, int height) override
    {
        return respond("SetDefaultRes", {width, height}, [&] {
            g_state.requestedSize = QSize(width, height);
            return 0;
        });
    }
    int OpenCamera(int index) override
    {
        return respond("OpenCamera", {index}, [] {
            g_state.open = g_state.script.openResult >= 0;
            return g_state.script.openResult;
        });
    }
    int CloseCamera() override
    {
        return respond("CloseCamera", {}, [] {
            g_state.open = false;
            return 0;
        });
    }
    int GetResCount() override
    {
        return respond("GetResCount", {},
                       [] { return g_state.script.resolutionCount.value_or(int(g_state.script.resolutions.size())); });
    }
    int GetResWidth(int i) override
    {
        return respond("GetResWidth", {i}, [&] { return resolutionAt(i).width(); });
    }
    int GetResHeight(int i) override
    {
        return respond("GetResHeight", {i}, [&] { return resolutionAt(i).height(); });
    }
    int GetCurResWidth() override
    {
        return respond("GetCurResWidth", {}, [] { return currentSize().width(); });
    }
    int GetCurResHeight() override
    {
        return respond("GetCurResHeight", {}, [] { return currentSize().height(); });
    }

    int GetFrameBuffer(unsigned char *buffer, int *length) override
    {
        State &s = g_state;
        s.readersInside.fetch_add(1);
        Lock lock(s.mutex);
        s.frameReader = QThread::currentThread();
        s.calls.push_back({"GetFrameBuffer", {}, {}, s.frameReader, buffer ? malloc_usable_size(buffer) : 0});
        if (!buffer)
            s.overlaps.push_back("GetFrameBuffer without a buffer");
        s.changed.wait_for(lock, s.script.emptyReadWait,
                           [&] { return !s.queuedFrames.empty() || s.script.repeatingFrame; });
        std::optional<Frame> frame = s.script.repeatingFrame;
        if (!s.queuedFrames.empty()) {
            frame = s.queuedFrames.front();
            s.queuedFrames.pop_front();
        }
        s.changed.notify_all();
        const std::chrono::microseconds readTime = s.script.frameReadTime;
        lock.unlock();
        std::this_thread::sleep_for(readTime);
        lock.lock();

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
        return respond(
            "Capture", {},
            [] {
                auto &results = g_state.script.captureResults;
                const int result = results.empty() ? 0 : results.front();
                if (!results.empty())
                    results.pop_front();
                return result;
            },
            path);
    }
    int RotateLeft(int reserved) override
    {
        return respond("RotateLeft", {reserved}, [] { return 0; });
    }
    int RotateRight(int reserved) override
    {
        return respond("RotateRight", {reserved}, [] { return 0; });
    }
    int SetAutoCrop(int enable) override
    {
        return respond("SetAutoCrop", {enable}, [] { return 0; });
    }
};

}  // namespace

void reset(Script script)
{
    static ScriptedDouble scripted;
    LibraryDouble::install(&scripted);
    Lock lock(g_state.mutex);
    g_state.script = std::move(script);
    g_state.queuedFrames.clear();
    g_state.calls.clear();
    g_state.overlaps.clear();
    g_state.frameReader = nullptr;
    g_state.open = false;
    g_state.requestedSize = QSize();
}

void queueFrames(const std::vector<Frame> &frames)
{
    Lock lock(g_state.mutex);
    g_state.queuedFrames.insert(g_state.queuedFrames.end(), frames.begin(), frames.end());
    g_state.changed.notify_all();
}

std::vector<Call> calls()
{
    Lock lock(g_state.mutex);
    return g_state.calls;
}

QStringList trace(QThread *thread)
{
    QStringList written;
    for (const Call &call : calls()) {
        QStringList args;
        for (int arg : call.args)
            args << QString::number(arg);
        if (!call.text.empty())
            args << QString::fromLocal8Bit(call.text.c_str());
        if (!thread || call.thread == thread)
            written << QString::fromStdString(call.function) + "(" + args.join(',') + ")";
    }
    return written;
}

int callCount(const std::string &function)
{
    Lock lock(g_state.mutex);
    return countOf(function);
}

QThread *frameReaderThread()
{
    Lock lock(g_state.mutex);
    return g_state.frameReader;
}

std::vector<std::string> overlaps()
{
    Lock lock(g_state.mutex);
    return g_state.overlaps;
}

bool waitForMoreCalls(const std::string &function, int count, std::chrono::milliseconds timeout)
{
    Lock lock(g_state.mutex);
    const int target = countOf(function) + count;
    return g_state.changed.wait_for(lock, timeout, [&] { return countOf(function) >= target; });
}

bool waitUntilQueueServed(std::chrono::milliseconds timeout)
{
    Lock lock(g_state.mutex);
    return g_state.changed.wait_for(lock, timeout, [] { return g_state.queuedFrames.empty(); });
}

}  // namespace ScriptedLibrary
