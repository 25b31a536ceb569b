#include "imagethread.h"

#include <qirmellib.h>

#include <cstdio>
#include <limits>
#include <new>

namespace {

// How long a pass waits when the camera reports no usable frame size or a read fails, so that the
// loop doesn't spin a core while it waits for a camera that answers at once that it has nothing.
constexpr unsigned long kNoFramePauseMs = 5;

// Width × height × 3 as an int, or 0 when the sizes give no usable buffer.
int frameBufferSize(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const long long bytes = static_cast<long long>(width) * height * 3;
    return bytes > std::numeric_limits<int>::max() ? 0 : static_cast<int>(bytes);
}

}  // namespace

ImageThread::ImageThread() : QThread(nullptr), m_pFrameBuf(nullptr), m_bRun(false), m_iFrameBufSize(0) {}

void ImageThread::stop()
{
    m_bRun.store(false, std::memory_order_relaxed);
    // A stop between start() and the first line of run() would be overwritten when run() sets
    // the flag; the interruption request, which start() resets, survives that.
    requestInterruption();
}

bool ImageThread::allocateFrameBuffer(int width, int height)
{
    const int size = frameBufferSize(width, height);
    if (size == 0)
        return false;
    // Up to 2 GiB: memory that isn't there is handled like a missing frame size, never a crash.
    m_pFrameBuf = new (std::nothrow) unsigned char[size];
    m_iFrameBufSize = m_pFrameBuf ? size : 0;
    return m_pFrameBuf != nullptr;
}

void ImageThread::run()
{
    // Acquire what the previous run, on another thread, left in the members (see the end of run).
    m_bRun.exchange(true, std::memory_order_acquire);
    std::puts("thread start run");

    while (m_bRun.load(std::memory_order_relaxed) && !isInterruptionRequested()) {
        const int width = GetCurResWidth();
        const int height = GetCurResHeight();
        int length = 0;
        const bool haveBuffer = m_pFrameBuf || allocateFrameBuffer(width, height);
        const int ret = haveBuffer ? GetFrameBuffer(m_pFrameBuf, &length) : -1;
        if (ret < 0) {
            msleep(kNoFramePauseMs);
            continue;
        }
        // A length the buffer can't hold is a broken frame, never a reason to read past it.
        if (length < 0 || length > m_iFrameBufSize)
            continue;
        // The GUI thread still holds every decoded frame: drop this one instead of queueing
        // without bound.
        if (!m_decoder.hasFreeBuffer())
            continue;
        // A frame never has more pixels than the camera's frame size the buffer was made for.
        const qint64 framePixels = m_iFrameBufSize / 3;
        emit SendImageProcessing(m_decoder.decode(m_pFrameBuf, length, framePixels), ret);
    }

    delete[] m_pFrameBuf;
    m_pFrameBuf = nullptr;
    m_iFrameBufSize = 0;
    // Each run is a new thread: the members pass from one run to the next through this release,
    // not only through the owner's wait and start, whose ordering lives inside Qt.
    m_bRun.store(false, std::memory_order_release);
    std::puts("视频线程退出！");
}
