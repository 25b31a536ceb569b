#include "fakev4l2.h"

#include "jpegsupport.h"

#include "source/v4l2/v4l2enumeration.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

namespace v4l2test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint8_t kJunk = 0xa5;
constexpr std::uint32_t kRowPadding = 64;  // junk bytes after each YUYV row
constexpr off_t kBufferSpacing = 1 << 24;  // buffer N maps at offset N * this
// Red in BT.601 video range.
constexpr std::uint8_t kRedYuyv[] = {81, 90, 81, 240};

FakeV4l2 *s_fake = nullptr;

void writeFile(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
}

const std::vector<Size> &sizesOf(const FakeNode &node, std::uint32_t pixelFormat)
{
    static const std::vector<Size> none;
    return pixelFormat == V4L2_PIX_FMT_MJPEG ? node.mjpg : pixelFormat == V4L2_PIX_FMT_YUYV ? node.yuyv : none;
}

int failWith(int error)
{
    errno = error;
    return -1;
}

}  // namespace

// What outlives a device's files: whether it is plugged in, its control and its frame count.
struct FakeV4l2::Device {
    explicit Device(const FakeNode &description) : node(description) {}

    void goAway()
    {
        present = false;
        unpluggedAt = Clock::now();
    }

    bool isPresent()
    {
        present = present || (node.replugAfterMs > 0 &&
                              Clock::now() >= unpluggedAt + std::chrono::milliseconds(node.replugAfterMs));
        return present;
    }

    const FakeNode node;
    bool present = true;
    Clock::time_point unpluggedAt;  // files opened before are dead for good
    long frames = 0;
    int powerLine = node.powerLine ? V4L2_CID_POWER_LINE_FREQUENCY_AUTO : -1;  // -1: no such control
};

// One open file of a device: its format, buffers and stream.
struct FakeV4l2::File {
    bool isAlive() const { return device->present && openedAt > device->unpluggedAt; }

    Clock::duration period() const
    {
        return std::chrono::duration_cast<Clock::duration>(1s) / std::max(device->node.fps, 1);
    }

    Bytes frame(std::uint32_t number) const
    {
        if (pixelFormat == V4L2_PIX_FMT_MJPEG) {
            Bytes frame = withoutHuffmanTables(encodeJpeg(size));
            const auto high = static_cast<std::uint8_t>(number >> 8);
            frame.insert(frame.begin() + 2, {0xff, 0xfe, 0, 4, high, static_cast<std::uint8_t>(number)});
            return frame;
        }
        Bytes frame(sizeImage, kJunk);
        const auto pairs = static_cast<std::size_t>(size.width / 2);
        for (std::size_t pair = 0; pair < pairs * static_cast<std::size_t>(size.height); ++pair)
            std::copy(std::begin(kRedYuyv), std::end(kRedYuyv),
                      frame.begin() + pair / pairs * bytesPerLine + pair % pairs * 4);
        return frame;
    }

    // Fills the oldest queued buffer, if there is one, with the next frame.
    void produce()
    {
        const std::uint32_t number = sequence++;
        if (!queued.empty()) {
            const Damage damage = number % 2 == 1 ? device->node.damage : Damage::None;
            Bytes frame = this->frame(number);
            if (damage == Damage::Truncated)
                frame.resize(frame.size() * 3 / 5);
            v4l2_buffer buffer{};
            buffer.index = queued.front();
            queued.pop_front();
            Bytes &memory = *buffers[buffer.index];
            buffer.bytesused = static_cast<std::uint32_t>(std::min(frame.size(), memory.size()));
            buffer.flags = damage == Damage::Flagged ? V4L2_BUF_FLAG_ERROR : 0;
            std::fill(std::copy(frame.begin(), frame.begin() + buffer.bytesused, memory.begin()), memory.end(), kJunk);
            done.push_back(buffer);
        }
        if (++device->frames == device->node.unplugAfter)
            device->goAway();
    }

    // Makes the frames that are due by now.
    void catchUp()
    {
        while (streaming && isAlive() && device->node.fps > 0 && Clock::now() >= nextDue) {
            produce();
            nextDue += period();
        }
    }

    int ioctl(unsigned long request, void *argument);

    std::shared_ptr<Device> device;
    Clock::time_point openedAt = Clock::now();
    bool nonBlocking = false;
    std::uint32_t pixelFormat = 0;
    Size size;
    std::uint32_t bytesPerLine = 0;
    std::uint32_t sizeImage = 0;
    std::vector<std::shared_ptr<Bytes>> buffers;
    std::deque<std::uint32_t> queued;
    std::deque<v4l2_buffer> done;
    bool streaming = false;
    std::uint32_t sequence = 0;
    Clock::time_point nextDue;
};

int FakeV4l2::File::ioctl(unsigned long request, void *argument)
{
    if (!isAlive())
        return failWith(ENODEV);
    const FakeNode &node = device->node;
    auto &buffer = *static_cast<v4l2_buffer *>(argument);
    switch (request) {
    case VIDIOC_QUERYCAP: {
        // As UVC answers: capabilities for the whole device, device_caps for this node.
        auto &capability = *static_cast<v4l2_capability *>(argument);
        capability = v4l2_capability{};
        std::strncpy(reinterpret_cast<char *>(capability.card), node.card.c_str(), sizeof capability.card - 1);
        capability.device_caps = (node.metadata ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE) | V4L2_CAP_STREAMING;
        capability.capabilities =
            V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto &entry = *static_cast<v4l2_frmsizeenum *>(argument);
        const auto &sizes = sizesOf(node, entry.pixel_format);
        if (entry.index >= sizes.size())
            return failWith(EINVAL);
        entry.type = V4L2_FRMSIZE_TYPE_DISCRETE;
        entry.discrete.width = static_cast<std::uint32_t>(sizes[entry.index].width);
        entry.discrete.height = static_cast<std::uint32_t>(sizes[entry.index].height);
        return 0;
    }
    case VIDIOC_S_FMT: {
        auto &pix = static_cast<v4l2_format *>(argument)->fmt.pix;
        const auto &sizes = sizesOf(node, pix.pixelformat);
        size = Size{static_cast<int>(pix.width), static_cast<int>(pix.height)};
        if (node.metadata || std::find(sizes.begin(), sizes.end(), size) == sizes.end() || streaming ||
            !buffers.empty())
            return failWith(EINVAL);
        pixelFormat = pix.pixelformat;
        bytesPerLine = pixelFormat == V4L2_PIX_FMT_YUYV ? static_cast<std::uint32_t>(size.width) * 2 + kRowPadding : 0;
        sizeImage = bytesPerLine > 0 ? bytesPerLine * pix.height : static_cast<std::uint32_t>(size.area()) * 2;
        pix.bytesperline = bytesPerLine;
        pix.sizeimage = sizeImage;
        return 0;
    }
    case VIDIOC_S_CTRL: {
        const auto &control = *static_cast<v4l2_control *>(argument);
        if (control.id != V4L2_CID_POWER_LINE_FREQUENCY || device->powerLine < 0)
            return failWith(EINVAL);
        device->powerLine = control.value;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto &requested = *static_cast<v4l2_requestbuffers *>(argument);
        if (streaming || pixelFormat == 0)
            return failWith(EINVAL);
        requested.count = std::clamp(requested.count, 2u, 8u);
        buffers.clear();
        for (std::uint32_t i = 0; i < requested.count; ++i)
            buffers.push_back(std::make_shared<Bytes>(sizeImage, kJunk));
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
        if (buffer.index >= buffers.size())
            return failWith(EINVAL);
        if (request == VIDIOC_QBUF)
            queued.push_back(buffer.index);
        buffer.length = sizeImage;
        buffer.m.offset = static_cast<std::uint32_t>(buffer.index * kBufferSpacing);
        return 0;
    case VIDIOC_DQBUF:
        catchUp();
        if (!isAlive())
            return failWith(ENODEV);
        if (done.empty()) {
            EXPECT_TRUE(nonBlocking) << "a blocking DQBUF would wait for the next frame";
            return failWith(streaming ? EAGAIN : EINVAL);
        }
        buffer = done.front();
        done.pop_front();
        return 0;
    case VIDIOC_STREAMON:
        if (buffers.empty())
            return failWith(EINVAL);
        streaming = true;
        sequence = 0;
        nextDue = Clock::now() + period();
        return 0;
    case VIDIOC_STREAMOFF:
        streaming = false;
        queued.clear();
        done.clear();
        return 0;
    default:
        return failWith(ENOTTY);
    }
}

// The system calls, answered from the fake's state.
struct FakeV4l2::Calls {
    static std::shared_ptr<File> file(int fd)
    {
        const auto found = s_fake->m_files.find(fd);
        return found == s_fake->m_files.end() ? nullptr : found->second;
    }

    static int open(const char *path, int flags)
    {
        ++s_fake->m_calls;
        const std::string name = fs::path(path).filename();
        const auto found = s_fake->m_devices.find(name);
        if (std::strncmp(path, "/dev/", 5) != 0 || found == s_fake->m_devices.end() || !found->second->isPresent())
            return failWith(ENOENT);
        auto file = std::make_shared<File>();
        file->device = found->second;
        file->nonBlocking = (flags & O_NONBLOCK) != 0;
        s_fake->m_files[s_fake->m_nextFd] = file;
        return s_fake->m_nextFd++;
    }

    static int close(int fd) { return s_fake->m_files.erase(fd) == 1 ? 0 : failWith(EBADF); }

    static int ioctl(int fd, unsigned long request, void *argument)
    {
        ++s_fake->m_calls;
        const auto found = file(fd);
        return found ? found->ioctl(request, argument) : failWith(EBADF);
    }

    static void *mmap(void *, std::size_t length, int, int flags, int fd, off_t offset)
    {
        const auto found = file(fd);
        const auto index = static_cast<std::size_t>(offset / kBufferSpacing);
        if (!found || index >= found->buffers.size() || length > found->buffers[index]->size() ||
            (flags & MAP_SHARED) == 0) {
            errno = EINVAL;
            return MAP_FAILED;
        }
        void *address = found->buffers[index]->data();
        s_fake->m_mappings[address] = found->buffers[index];
        return address;
    }

    static int munmap(void *address, std::size_t)
    {
        return s_fake->m_mappings.erase(address) == 1 ? 0 : failWith(EINVAL);
    }

    // The library polls one file at a time. Sleeps until the next frame is due or the timeout.
    static int poll(pollfd *entry, nfds_t, int timeout)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
        ++s_fake->m_calls;
        for (;;) {
            const auto found = file(entry->fd);
            if (found)
                found->catchUp();
            entry->revents = !found                 ? POLLNVAL
                             : !found->isAlive()    ? POLLERR | POLLHUP
                             : !found->streaming    ? POLLERR
                             : !found->done.empty() ? POLLIN
                                                    : 0;
            if (entry->revents != 0)
                return 1;
            if (Clock::now() >= deadline)
                return 0;
            const auto wake = found->device->node.fps > 0 ? std::min(deadline, found->nextDue) : deadline;
            std::this_thread::sleep_until(wake);
        }
    }
};

FakeV4l2::FakeV4l2() : m_saved(qirmel::systemCalls)
{
    m_root = (fs::temp_directory_path() / "v4l2test-XXXXXX").string();
    if (!mkdtemp(m_root.data()))
        throw std::system_error(errno, std::generic_category(), m_root);
    fs::create_directories(m_root + "/class/video4linux");
    s_fake = this;
    qirmel::systemCalls = {&Calls::open,   &Calls::close, &Calls::ioctl, &Calls::mmap,
                           &Calls::munmap, &Calls::poll,  m_root.c_str()};
}

FakeV4l2::~FakeV4l2()
{
    qirmel::systemCalls = m_saved;
    s_fake = nullptr;
    fs::remove_all(m_root);
}

void FakeV4l2::addNode(const std::string &parent, const std::string &name)
{
    writeFile(parent + "/video4linux/" + name + "/uevent", "DEVNAME=" + name);
    fs::create_directory_symlink(parent + "/video4linux/" + name, m_root + "/class/video4linux/" + name);
}

void FakeV4l2::plug(const std::string &port, const std::string &productId, const std::string &serial,
                    const std::vector<FakeNode> &nodes)
{
    unplug(port);
    const std::string device = m_root + "/devices/pci0000:00/0000:00:14.0/usb1/" + port;
    writeFile(device + "/idVendor", "1209");
    writeFile(device + "/idProduct", productId);
    if (!serial.empty())
        writeFile(device + "/serial", serial);
    for (const FakeNode &node : nodes) {
        addNode(device + "/" + port + ":1.0", node.name);
        m_devices[node.name] = std::make_shared<Device>(node);
        m_nodesByPort[port].push_back(node.name);
    }
}

void FakeV4l2::addPlatformNode(const std::string &device, const std::string &node)
{
    addNode(m_root + "/devices/platform/" + device, node);
}

void FakeV4l2::unplug(const std::string &port)
{
    fs::remove_all(m_root + "/devices/pci0000:00/0000:00:14.0/usb1/" + port);
    for (const std::string &node : m_nodesByPort[port]) {
        fs::remove(m_root + "/class/video4linux/" + node);
        m_devices.at(node)->goAway();
        m_devices.erase(node);
    }
    m_nodesByPort.erase(port);
}

void FakeV4l2::step(const std::string &node, int count)
{
    const auto device = m_devices.at(node);
    for (const auto &entry : m_files) {
        for (int i = 0; i < count && entry.second->device == device && entry.second->streaming; ++i)
            entry.second->produce();
    }
}

int FakeV4l2::powerLineFrequency(const std::string &node) const
{
    return m_devices.at(node)->powerLine;
}

qirmel::V4l2Settings V4l2Test::settings(int framesToDrop, int powerLineFrequency)
{
    qirmel::V4l2Settings settings;
    settings.framesToDrop = framesToDrop;
    settings.powerLineFrequency = powerLineFrequency;
    return settings;
}

std::unique_ptr<qirmel::CameraSource> V4l2Test::plugCamera(const FakeNode &node, const qirmel::V4l2Settings &settings)
{
    m_fake.plug("1-1", "0001", "SN1", {node});
    auto cameras = qirmel::enumerateV4l2Cameras(settings);
    return cameras.size() == 1 ? std::move(cameras.front()) : nullptr;
}

std::unique_ptr<qirmel::CameraSource> V4l2Test::openCamera(const FakeNode &node, const qirmel::V4l2Settings &settings,
                                                           bool compressed)
{
    auto camera = plugCamera(node, settings);
    return camera && camera->open(Size{320, 240}, compressed) ? std::move(camera) : nullptr;
}

qirmel::FrameStatus V4l2Test::waitOk(qirmel::CameraSource &camera, qirmel::Frame &frame, int tries,
                                     std::chrono::milliseconds timeout)
{
    qirmel::FrameStatus status = qirmel::FrameStatus::Failed;
    for (int i = 0; i < tries && status != qirmel::FrameStatus::Ok; ++i)
        status = camera.waitFrame(frame, timeout);
    return status;
}

}  // namespace v4l2test
