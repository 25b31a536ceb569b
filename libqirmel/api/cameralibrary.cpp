#include "api/cameralibrary.h"

#include "api/enumeration.h"
#include "api/sizechoice.h"
#include "pipeline/photopipeline.h"
#include "pipeline/photowriter.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <thread>

namespace qirmel {

namespace {

// How long a frame may keep the caller waiting before it hears of a timeout; longer than any
// camera's frame period.
constexpr std::chrono::milliseconds kFrameTimeout(1000);

// With no camera open, the caller's loop is held this long per call so that it never spins a core.
constexpr std::chrono::milliseconds kNoCameraPause(30);

// How long a photo waits for a frame to be made of: a camera just opened, or one whose newest frame
// was damaged, has one well within this, at the slowest frame rate and with the first frames thrown
// away; a click is still answered soon when none comes.
constexpr std::chrono::milliseconds kPhotoFrameWait(2000);

}  // namespace

CameraLibrary::CameraLibrary() = default;

CameraLibrary::~CameraLibrary()
{
    const std::lock_guard<std::mutex> stream(m_streamMutex);
    const std::lock_guard<std::mutex> state(m_stateMutex);
    closeLocked();
}

int CameraLibrary::init(const char *fileName, std::ostream &errors)
{
    const std::string path = findConfigFile(fileName ? fileName : "");
    const CameraConfig config = path.empty() ? CameraConfig() : CameraConfig::load(path, errors);
    return init(config, enumerateCameras(config));
}

int CameraLibrary::init(const CameraConfig &config, std::vector<std::unique_ptr<CameraSource>> cameras)
{
    const std::lock_guard<std::mutex> stream(m_streamMutex);
    const std::lock_guard<std::mutex> state(m_stateMutex);
    closeLocked();
    m_cameras = std::move(cameras);
    m_names.clear();
    for (const auto &camera : m_cameras)
        m_names.push_back(m_nameStore.insert(camera->info().name).first->c_str());
    m_config = config;
    m_settings = PipelineSettings();
    return 0;
}

int CameraLibrary::cameraCount() const
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    return static_cast<int>(m_cameras.size());
}

const CameraInfo *CameraLibrary::infoLocked(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_cameras.size()))
        return nullptr;
    return &m_cameras[static_cast<std::size_t>(index)]->info();
}

const char *CameraLibrary::cameraName(int index) const
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    return infoLocked(index) ? m_names[static_cast<std::size_t>(index)] : nullptr;
}

int CameraLibrary::vendorId(int index) const
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    const CameraInfo *info = infoLocked(index);
    return info ? info->vendorId : -EINVAL;
}

int CameraLibrary::productId(int index) const
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    const CameraInfo *info = infoLocked(index);
    return info ? info->productId : -EINVAL;
}

int CameraLibrary::mainCamera() const
{
    return cameraCount() > 0 ? 0 : -ENODEV;
}

int CameraLibrary::auxCamera() const
{
    return cameraCount() > 1 ? 1 : -ENODEV;
}

int CameraLibrary::setCompressed(bool compressed)
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    m_compressed = compressed;
    return 0;
}

int CameraLibrary::setRequestedSize(int width, int height)
{
    if (width <= 0 || height <= 0)
        return -EINVAL;
    const std::lock_guard<std::mutex> state(m_stateMutex);
    m_requestedSize = Size{width, height};
    return 0;
}

int CameraLibrary::open(int index)
{
    const std::lock_guard<std::mutex> stream(m_streamMutex);
    CameraSource *camera = nullptr;
    Size size;
    bool compressed = true;
    {
        const std::lock_guard<std::mutex> state(m_stateMutex);
        closeLocked();
        const CameraInfo *info = infoLocked(index);
        if (!info)
            return -EINVAL;
        camera = m_cameras[static_cast<std::size_t>(index)].get();
        size = chooseSize(info->resolutions, m_requestedSize);
        compressed = m_compressed;
    }
    // Opening may take a while (a real camera negotiates its format and starts streaming): the state
    // lock stays free.
    if (!camera->open(size, compressed))
        return -EIO;
    const std::lock_guard<std::mutex> state(m_stateMutex);
    m_openIndex = index;
    m_openSize = size;
    return 0;
}

int CameraLibrary::close()
{
    const std::lock_guard<std::mutex> stream(m_streamMutex);
    const std::lock_guard<std::mutex> state(m_stateMutex);
    closeLocked();
    return 0;
}

void CameraLibrary::closeLocked()
{
    if (m_openIndex >= 0)
        m_cameras[static_cast<std::size_t>(m_openIndex)]->close();
    m_openIndex = -1;
    m_openSize = Size{};
    m_hasNewest = false;
    m_newestOutline.reset();
    m_framePipeline.reset();
    m_newestArrived.notify_all();
}

int CameraLibrary::resolutionCount() const
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    const CameraInfo *info = infoLocked(m_openIndex);
    return info ? static_cast<int>(info->resolutions.size()) : 0;
}

int CameraLibrary::resolutionWidth(int index) const
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    const CameraInfo *info = infoLocked(m_openIndex);
    if (!info || index < 0 || index >= static_cast<int>(info->resolutions.size()))
        return -EINVAL;
    return info->resolutions[static_cast<std::size_t>(index)].width;
}

int CameraLibrary::resolutionHeight(int index) const
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    const CameraInfo *info = infoLocked(m_openIndex);
    if (!info || index < 0 || index >= static_cast<int>(info->resolutions.size()))
        return -EINVAL;
    return info->resolutions[static_cast<std::size_t>(index)].height;
}

int CameraLibrary::currentWidth() const
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    return turnedSize(m_openSize, m_settings.quarterTurns).width;
}

int CameraLibrary::currentHeight() const
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    return turnedSize(m_openSize, m_settings.quarterTurns).height;
}

int CameraLibrary::nextFrame(std::uint8_t *buffer, int *length)
{
    if (!buffer || !length)
        return -EINVAL;
    std::unique_lock<std::mutex> stream(m_streamMutex);
    CameraSource *camera = nullptr;
    Size size;
    int wantedTurns = 0;
    {
        const std::lock_guard<std::mutex> state(m_stateMutex);
        if (m_openIndex >= 0) {
            camera = m_cameras[static_cast<std::size_t>(m_openIndex)].get();
            size = m_openSize;
            wantedTurns = m_settings.quarterTurns;
        }
    }
    if (!camera) {
        stream.unlock();
        std::this_thread::sleep_for(kNoCameraPause);
        return -ENODEV;
    }

    camera->preferTurns(wantedTurns);
    m_incoming.quarterTurns = 0;
    const FrameStatus status = camera->waitFrame(m_incoming, kFrameTimeout);
    if (status != FrameStatus::Ok)
        return status == FrameStatus::Timeout ? -ETIMEDOUT : -EIO;
    if (m_incoming.size != turnedSize(size, m_incoming.quarterTurns))
        return -EIO;

    // The settings are read after the wait so that a turn made meanwhile shows in this frame.
    PipelineSettings settings;
    int quality = 0;
    {
        const std::lock_guard<std::mutex> state(m_stateMutex);
        settings = m_settings;
        quality = m_config.frameQuality;
    }
    const std::size_t capacity = static_cast<std::size_t>(size.area()) * 3;
    const bool encoded = m_framePipeline.process(m_incoming, settings, quality, capacity, m_frameJpeg);
    {
        // A delivered frame becomes the newest; the one it replaces is overwritten by the next wait.
        // One that was not leaves no newest frame, so that a photo waits for the next whole one
        // rather than show the damaged picture or an older one.
        const std::lock_guard<std::mutex> state(m_stateMutex);
        m_hasNewest = encoded;
        if (encoded) {
            std::swap(m_newest, m_incoming);
            m_newestOutline = m_framePipeline.outline();
        }
    }
    if (!encoded)
        return -EIO;
    m_newestArrived.notify_all();
    std::memcpy(buffer, m_frameJpeg.data(), m_frameJpeg.size());
    *length = static_cast<int>(m_frameJpeg.size());
    return 0;
}

int CameraLibrary::capture(const char *path)
{
    if (!path || !*path)
        return -EINVAL;
    Frame frame;
    std::optional<Quad> liveOutline;
    PipelineSettings settings;
    int quality = 0;
    {
        std::unique_lock<std::mutex> state(m_stateMutex);
        m_newestArrived.wait_for(state, kPhotoFrameWait, [this] { return m_hasNewest || m_openIndex < 0; });
        if (!m_hasNewest)
            return -ENODATA;
        if (!m_cameras[static_cast<std::size_t>(m_openIndex)]->allowPhoto())
            return -EIO;
        frame = m_newest;
        liveOutline = m_newestOutline;
        settings = m_settings;
        quality = m_config.photoQuality;
    }
    // A pipeline of its own: the frame thread's may be busy meanwhile.
    PhotoPipeline pipeline;
    std::vector<std::uint8_t> jpeg;
    if (!pipeline.process(frame, liveOutline, settings, quality, jpeg))
        return -EIO;
    return writePhoto(path, jpeg.data(), jpeg.size());
}

int CameraLibrary::rotate(int quarterTurns)
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    m_settings.quarterTurns = ((m_settings.quarterTurns + quarterTurns) % 4 + 4) % 4;
    return 0;
}

int CameraLibrary::setAutoCrop(bool enable)
{
    const std::lock_guard<std::mutex> state(m_stateMutex);
    m_settings.autoCrop = enable;
    return 0;
}

}  // namespace qirmel
