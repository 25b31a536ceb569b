// One open file of a fake device: its format, its buffers and the thread that fills them.
#ifndef FAKEV4L2_FAKEFILE_H
#define FAKEV4L2_FAKEFILE_H

#include "devicedescription.h"

#include <linux/videodev2.h>
#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace fakev4l2 {

class FakeDevice;

// The application's descriptor for the file is an eventfd that counts filled buffers, so that the
// kernel's poll() sees the file readable exactly when a buffer can be dequeued.
class FakeFile {
public:
    FakeFile(std::shared_ptr<FakeDevice> device, int eventFd, bool nonBlocking);
    ~FakeFile();
    FakeFile(const FakeFile &) = delete;
    FakeFile &operator=(const FakeFile &) = delete;

    // Runs one ioctl; 0 or a negative errno value.
    int ioctl(unsigned long request, void *argument);

    // Maps the buffer at offset into the caller; MAP_FAILED with errno set when there is none.
    void *map(std::size_t length, int protection, int flags, off_t offset);

    // What poll() adds to the kernel's answer: POLLERR | POLLHUP once the device is gone, POLLERR
    // while not streaming, 0 otherwise.
    short pollProblems();

    // Produces count frames at once if streaming.
    void produceNow(int count);

    // Wakes poll() and the frame thread to look at the device again.
    void wake();

    // Stops streaming and frees the buffers; the eventfd is closed next and never touched again.
    void shutdown();

private:
    enum class BufferState { Dequeued, Queued, Done };

    struct Buffer {
        BufferState state = BufferState::Dequeued;
        std::uint32_t bytesUsed = 0;
        std::uint32_t flags = 0;
        std::uint32_t sequence = 0;
        timeval timestamp{};
    };

    bool isAliveLocked() const;
    int queryCapabilities(v4l2_capability &capability) const;
    int enumerateFormat(v4l2_fmtdesc &description) const;
    int enumerateFrameSizes(v4l2_frmsizeenum &entry) const;
    int setFormat(v4l2_format &format, bool apply);
    int requestBuffers(v4l2_requestbuffers &request);
    int queryBuffer(v4l2_buffer &buffer) const;
    int queueBuffer(v4l2_buffer &buffer);
    int dequeueBuffer(v4l2_buffer &buffer, std::unique_lock<std::mutex> &lock);
    int streamOn();
    void streamOffLocked(std::unique_lock<std::mutex> &lock);
    int queryControl(v4l2_queryctrl &query) const;
    void freeBuffersLocked();
    void drainEventFd();
    void produce();
    void fillNextBufferLocked(std::uint32_t sequence);

    const std::shared_ptr<FakeDevice> m_device;
    const unsigned m_generation;
    const int m_eventFd;
    const bool m_nonBlocking;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint32_t m_pixelFormat = 0;
    FrameSize m_size;
    std::uint32_t m_sizeImage = 0;
    int m_memoryFd = -1;
    std::uint8_t *m_memory = nullptr;
    std::size_t m_bufferStride = 0;
    std::vector<Buffer> m_buffers;
    std::deque<std::uint32_t> m_queued;
    std::deque<std::uint32_t> m_done;
    bool m_streaming = false;
    bool m_stopProducer = false;
    bool m_closed = false;  // the application closed the eventfd, whose number may be reused
    std::uint32_t m_sequence = 0;
    std::thread m_producer;
};

}  // namespace fakev4l2

#endif  // FAKEV4L2_FAKEFILE_H
