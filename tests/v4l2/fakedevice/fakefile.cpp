#include "fakefile.h"

#include "fakedevice.h"
#include "libcnext.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace fakev4l2 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kMinBuffers = 2;
constexpr std::uint32_t kMaxBuffers = 8;

// Bytes after a frame's end are filled with this, so that a reader who ignores bytesused sees
// garbage rather than an older frame's tail.
constexpr int kJunk = 0xa5;

std::vector<std::uint32_t> formatsOf(const DeviceDescription &description)
{
    std::vector<std::uint32_t> formats;
    if (!description.mjpg.empty())
        formats.push_back(V4L2_PIX_FMT_MJPEG);
    if (!description.yuyv.empty())
        formats.push_back(V4L2_PIX_FMT_YUYV);
    return formats;
}

const std::vector<FrameSize> &sizesOf(const DeviceDescription &description, std::uint32_t pixelFormat)
{
    return pixelFormat == V4L2_PIX_FMT_YUYV ? description.yuyv : description.mjpg;
}

void copyText(std::uint8_t *target, std::size_t capacity, const std::string &text)
{
    std::strncpy(reinterpret_cast<char *>(target), text.c_str(), capacity - 1);
}

}  // namespace

FakeFile::FakeFile(std::shared_ptr<FakeDevice> device, int eventFd, bool nonBlocking)
    : m_device(std::move(device)), m_generation(m_device->generation()), m_eventFd(eventFd), m_nonBlocking(nonBlocking)
{
    const auto formats = formatsOf(m_device->description());
    if (!formats.empty() && !m_device->description().metadata) {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.pixelformat = formats.front();
        const FrameSize first = sizesOf(m_device->description(), formats.front()).front();
        format.fmt.pix.width = first.width;
        format.fmt.pix.height = first.height;
        setFormat(format, true);
    }
}

FakeFile::~FakeFile()
{
    shutdown();
}

bool FakeFile::isAliveLocked() const
{
    return m_device->isAlive(m_generation);
}

int FakeFile::ioctl(unsigned long request, void *argument)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!isAliveLocked())
        return -ENODEV;
    switch (request) {
    case VIDIOC_QUERYCAP:
        return queryCapabilities(*static_cast<v4l2_capability *>(argument));
    case VIDIOC_ENUM_FMT:
        return enumerateFormat(*static_cast<v4l2_fmtdesc *>(argument));
    case VIDIOC_ENUM_FRAMESIZES:
        return enumerateFrameSizes(*static_cast<v4l2_frmsizeenum *>(argument));
    case VIDIOC_G_FMT: {
        auto &format = *static_cast<v4l2_format *>(argument);
        if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || m_pixelFormat == 0)
            return -EINVAL;
        v4l2_format current{};
        current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        current.fmt.pix.pixelformat = m_pixelFormat;
        current.fmt.pix.width = m_size.width;
        current.fmt.pix.height = m_size.height;
        format = current;
        return setFormat(format, false);
    }
    case VIDIOC_S_FMT:
        return setFormat(*static_cast<v4l2_format *>(argument), true);
    case VIDIOC_TRY_FMT:
        return setFormat(*static_cast<v4l2_format *>(argument), false);
    case VIDIOC_REQBUFS:
        return requestBuffers(*static_cast<v4l2_requestbuffers *>(argument));
    case VIDIOC_QUERYBUF:
        return queryBuffer(*static_cast<v4l2_buffer *>(argument));
    case VIDIOC_QBUF:
        return queueBuffer(*static_cast<v4l2_buffer *>(argument));
    case VIDIOC_DQBUF:
        return dequeueBuffer(*static_cast<v4l2_buffer *>(argument), lock);
    case VIDIOC_STREAMON:
        return *static_cast<int *>(argument) == V4L2_BUF_TYPE_VIDEO_CAPTURE ? streamOn() : -EINVAL;
    case VIDIOC_STREAMOFF:
        if (*static_cast<int *>(argument) != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return -EINVAL;
        streamOffLocked(lock);
        return 0;
    case VIDIOC_QUERYCTRL:
        return queryControl(*static_cast<v4l2_queryctrl *>(argument));
    case VIDIOC_G_CTRL: {
        auto &control = *static_cast<v4l2_control *>(argument);
        return m_device->control(control.id, control.value) ? 0 : -EINVAL;
    }
    case VIDIOC_S_CTRL: {
        const auto &control = *static_cast<v4l2_control *>(argument);
        if (control.value < V4L2_CID_POWER_LINE_FREQUENCY_DISABLED ||
            control.value > V4L2_CID_POWER_LINE_FREQUENCY_AUTO)
            return -ERANGE;
        return m_device->setControl(control.id, control.value) ? 0 : -EINVAL;
    }
    default:
        return -ENOTTY;
    }
}

// As a UVC driver answers: capabilities for the whole device, device_caps for this node.
int FakeFile::queryCapabilities(v4l2_capability &capability) const
{
    capability = v4l2_capability{};
    copyText(capability.driver, sizeof capability.driver, "fakev4l2");
    copyText(capability.card, sizeof capability.card, m_device->description().card);
    copyText(capability.bus_info, sizeof capability.bus_info, "usb-fake-" + m_device->description().node);
    capability.version = 0x060100;
    capability.device_caps = (m_device->description().metadata ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE) |
                             V4L2_CAP_STREAMING;
    capability.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                              V4L2_CAP_DEVICE_CAPS;
    return 0;
}

int FakeFile::enumerateFormat(v4l2_fmtdesc &description) const
{
    const auto formats = formatsOf(m_device->description());
    if (description.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || m_device->description().metadata ||
        description.index >= formats.size())
        return -EINVAL;
    const std::uint32_t pixelFormat = formats[description.index];
    const std::uint32_t index = description.index;
    description = v4l2_fmtdesc{};
    description.index = index;
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    description.pixelformat = pixelFormat;
    description.flags = pixelFormat == V4L2_PIX_FMT_MJPEG ? V4L2_FMT_FLAG_COMPRESSED : 0;
    copyText(description.description, sizeof description.description,
             pixelFormat == V4L2_PIX_FMT_MJPEG ? "Motion-JPEG" : "YUYV 4:2:2");
    return 0;
}

// Answered on metadata nodes too, from their own section: software that forgets to look at a
// node's capabilities would then take it for a camera.
int FakeFile::enumerateFrameSizes(v4l2_frmsizeenum &entry) const
{
    if (entry.pixel_format != V4L2_PIX_FMT_MJPEG && entry.pixel_format != V4L2_PIX_FMT_YUYV)
        return -EINVAL;
    const auto &sizes = sizesOf(m_device->description(), entry.pixel_format);
    if (entry.index >= sizes.size())
        return -EINVAL;
    entry.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    entry.discrete.width = sizes[entry.index].width;
    entry.discrete.height = sizes[entry.index].height;
    return 0;
}

int FakeFile::setFormat(v4l2_format &format, bool apply)
{
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || m_device->description().metadata)
        return -EINVAL;
    const auto formats = formatsOf(m_device->description());
    if (formats.empty())
        return -EINVAL;
    auto &pix = format.fmt.pix;
    if (std::find(formats.begin(), formats.end(), pix.pixelformat) == formats.end())
        pix.pixelformat = formats.front();
    // The nearest size by area, as drivers pick one.
    const auto &sizes = sizesOf(m_device->description(), pix.pixelformat);
    const long long wanted = static_cast<long long>(pix.width) * pix.height;
    const FrameSize size = *std::min_element(sizes.begin(), sizes.end(), [wanted](FrameSize a, FrameSize b) {
        return std::llabs(static_cast<long long>(a.width) * a.height - wanted) <
               std::llabs(static_cast<long long>(b.width) * b.height - wanted);
    });
    pix.width = size.width;
    pix.height = size.height;
    pix.field = V4L2_FIELD_NONE;
    pix.bytesperline = pix.pixelformat == V4L2_PIX_FMT_YUYV ? size.width * 2 : 0;
    pix.sizeimage = size.width * size.height * 2;
    pix.colorspace = pix.pixelformat == V4L2_PIX_FMT_YUYV ? V4L2_COLORSPACE_SMPTE170M : V4L2_COLORSPACE_JPEG;
    if (!apply)
        return 0;
    if (m_streaming || !m_buffers.empty())
        return -EBUSY;
    m_pixelFormat = pix.pixelformat;
    m_size = size;
    m_sizeImage = pix.sizeimage;
    return 0;
}

int FakeFile::requestBuffers(v4l2_requestbuffers &request)
{
    if (request.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || request.memory != V4L2_MEMORY_MMAP ||
        m_device->description().metadata)
        return -EINVAL;
    if (m_streaming)
        return -EBUSY;
    freeBuffersLocked();
    if (request.count == 0)
        return 0;
    const std::uint32_t count = std::clamp(request.count, kMinBuffers, kMaxBuffers);
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    m_bufferStride = (m_sizeImage + page - 1) / page * page;
    const std::size_t total = m_bufferStride * count;
    m_memoryFd = memfd_create("fakev4l2-buffers", MFD_CLOEXEC);
    if (m_memoryFd < 0 || ftruncate(m_memoryFd, static_cast<off_t>(total)) != 0)
        return -ENOMEM;
    void *memory = next::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, m_memoryFd, 0);
    if (memory == MAP_FAILED)
        return -ENOMEM;
    m_memory = static_cast<std::uint8_t *>(memory);
    std::memset(m_memory, kJunk, total);
    m_buffers.assign(count, Buffer{});
    request.count = count;
    return 0;
}

int FakeFile::queryBuffer(v4l2_buffer &buffer) const
{
    if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.index >= m_buffers.size())
        return -EINVAL;
    const Buffer &state = m_buffers[buffer.index];
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.length = m_sizeImage;
    buffer.m.offset = static_cast<std::uint32_t>(buffer.index * m_bufferStride);
    buffer.bytesused = state.bytesUsed;
    buffer.flags = V4L2_BUF_FLAG_MAPPED | (state.state == BufferState::Queued ? V4L2_BUF_FLAG_QUEUED : 0) |
                   (state.state == BufferState::Done ? V4L2_BUF_FLAG_DONE : 0);
    return 0;
}

int FakeFile::queueBuffer(v4l2_buffer &buffer)
{
    if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.memory != V4L2_MEMORY_MMAP ||
        buffer.index >= m_buffers.size() || m_buffers[buffer.index].state != BufferState::Dequeued)
        return -EINVAL;
    m_buffers[buffer.index].state = BufferState::Queued;
    m_queued.push_back(buffer.index);
    buffer.flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_QUEUED;
    return 0;
}

int FakeFile::dequeueBuffer(v4l2_buffer &buffer, std::unique_lock<std::mutex> &lock)
{
    if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.memory != V4L2_MEMORY_MMAP)
        return -EINVAL;
    while (m_done.empty()) {
        if (!m_streaming)
            return -EINVAL;
        if (m_nonBlocking) {
            drainEventFd();
            return -EAGAIN;
        }
        m_changed.wait(lock);
        if (!isAliveLocked())
            return -ENODEV;
    }
    const std::uint32_t index = m_done.front();
    m_done.pop_front();
    Buffer &state = m_buffers[index];
    state.state = BufferState::Dequeued;
    buffer.index = index;
    buffer.bytesused = state.bytesUsed;
    buffer.flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | state.flags;
    buffer.field = V4L2_FIELD_NONE;
    buffer.timestamp = state.timestamp;
    buffer.sequence = state.sequence;
    buffer.length = m_sizeImage;
    buffer.m.offset = static_cast<std::uint32_t>(index * m_bufferStride);
    if (m_done.empty())
        drainEventFd();
    return 0;
}

void FakeFile::drainEventFd()
{
    eventfd_t count = 0;
    eventfd_read(m_eventFd, &count);
}

int FakeFile::streamOn()
{
    if (m_buffers.empty())
        return -EINVAL;
    if (m_streaming)
        return 0;
    m_streaming = true;
    m_stopProducer = false;
    m_producer = std::thread(&FakeFile::produce, this);
    return 0;
}

void FakeFile::streamOffLocked(std::unique_lock<std::mutex> &lock)
{
    if (m_producer.joinable()) {
        m_stopProducer = true;
        m_changed.notify_all();
        lock.unlock();
        m_producer.join();
        lock.lock();
    }
    m_streaming = false;
    for (Buffer &buffer : m_buffers)
        buffer.state = BufferState::Dequeued;
    m_queued.clear();
    m_done.clear();
    drainEventFd();
}

int FakeFile::queryControl(v4l2_queryctrl &query) const
{
    std::int32_t value = 0;
    if (query.id != V4L2_CID_POWER_LINE_FREQUENCY || !m_device->control(query.id, value))
        return -EINVAL;
    const std::uint32_t id = query.id;
    query = v4l2_queryctrl{};
    query.id = id;
    query.type = V4L2_CTRL_TYPE_MENU;
    copyText(query.name, sizeof query.name, "Power Line Frequency");
    query.minimum = V4L2_CID_POWER_LINE_FREQUENCY_DISABLED;
    query.maximum = V4L2_CID_POWER_LINE_FREQUENCY_AUTO;
    query.step = 1;
    query.default_value = V4L2_CID_POWER_LINE_FREQUENCY_DISABLED;
    return 0;
}

void *FakeFile::map(std::size_t length, int protection, int flags, off_t offset)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const bool known = m_bufferStride > 0 && offset >= 0 && static_cast<std::size_t>(offset) % m_bufferStride == 0 &&
                       static_cast<std::size_t>(offset) / m_bufferStride < m_buffers.size();
    if (!known || length == 0 || length > m_bufferStride || (flags & MAP_SHARED) == 0) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return next::mmap(nullptr, length, protection, flags, m_memoryFd, offset);
}

short FakeFile::pollProblems()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!isAliveLocked())
        return POLLERR | POLLHUP;
    return m_streaming ? 0 : POLLERR;
}

void FakeFile::wake()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_changed.notify_all();
    // A dead file stays readable, so that poll() returns at once to report it.
    if (!m_closed && !isAliveLocked())
        eventfd_write(m_eventFd, 1);
}

void FakeFile::shutdown()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closed)
        return;
    streamOffLocked(lock);
    freeBuffersLocked();
    m_closed = true;
}

void FakeFile::freeBuffersLocked()
{
    if (m_memory)
        next::munmap(m_memory, m_bufferStride * m_buffers.size());
    if (m_memoryFd >= 0)
        next::close(m_memoryFd);
    m_memory = nullptr;
    m_memoryFd = -1;
    m_buffers.clear();
    m_queued.clear();
    m_done.clear();
}

// Delivers frames at the device's rate, the first one period after streaming starts. A tick that
// finds no queued buffer loses its frame, as a real camera's does.
void FakeFile::produce()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto next = Clock::now();
    while (!m_stopProducer && isAliveLocked()) {
        const int fps = m_device->fps();
        if (fps <= 0) {
            m_changed.wait(lock);
            next = Clock::now();
            continue;
        }
        next += std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / fps;
        if (m_changed.wait_until(lock, next, [this] { return m_stopProducer; }))
            break;
        if (!isAliveLocked())
            break;
        fillNextBufferLocked(m_sequence++);
        if (m_device->countFrame()) {
            lock.unlock();
            m_device->unplug();
            return;
        }
        next = std::max(next, Clock::now());
    }
}

void FakeFile::produceNow(int count)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < count && m_streaming && isAliveLocked(); ++i) {
        fillNextBufferLocked(m_sequence++);
        m_device->countFrame();
    }
}

void FakeFile::fillNextBufferLocked(std::uint32_t sequence)
{
    if (m_queued.empty())
        return;
    const std::uint32_t index = m_queued.front();
    m_queued.pop_front();
    std::uint8_t *data = m_memory + index * m_bufferStride;
    const auto written = m_device->frameMaker().write(m_pixelFormat, m_size, sequence, data, m_sizeImage);
    std::memset(data + written.bytes, kJunk, m_sizeImage - written.bytes);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    Buffer &buffer = m_buffers[index];
    buffer.state = BufferState::Done;
    buffer.bytesUsed = static_cast<std::uint32_t>(written.bytes);
    buffer.flags = written.error ? V4L2_BUF_FLAG_ERROR : 0;
    buffer.sequence = sequence;
    buffer.timestamp.tv_sec = now.tv_sec;
    buffer.timestamp.tv_usec = now.tv_nsec / 1000;
    m_done.push_back(index);
    eventfd_write(m_eventFd, 1);
    m_changed.notify_all();
}

}  // namespace fakev4l2
