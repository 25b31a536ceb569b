#include "source/virtualcamera.h"

#include "core/turns.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <thread>

namespace qirmel {

namespace {

constexpr long long kLargeFrameArea = 1920LL * 1080;
constexpr int kLargeFrameRate = 15;
constexpr int kSmallFrameRate = 30;

// A scene larger than kDraftArea is first rendered at kDraftShrink of its width and height, a
// sixteenth of the work, and shown enlarged while the full render goes on: on a busy machine that
// render can take a second, and the frames are not held up for it.
constexpr long long kDraftArea = 1280LL * 720;
constexpr int kDraftShrink = 4;

// The noise is a small buffer, cheap to keep in cache, read at a random offset for every chunk of
// the frame so that no two frames share a pattern.
constexpr std::size_t kNoiseChunk = 64 * 1024;
constexpr int kNoiseSpread = 6;  // each sample adds 0 to 2 * kNoiseSpread, kNoiseSpread on average

void turn(const cv::Mat &from, cv::Mat &to, int quarterTurns)
{
    static constexpr cv::RotateFlags kRotations[] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                                     cv::ROTATE_90_COUNTERCLOCKWISE};
    cv::rotate(from, to, kRotations[quarterTurns - 1]);
}

}  // namespace

VirtualCamera::VirtualCamera(VirtualCameraConfig config) : VirtualCamera(config, SceneScript::create(config.scene)) {}

VirtualCamera::VirtualCamera(VirtualCameraConfig config, std::unique_ptr<SceneScript> script)
    : m_config(std::move(config)), m_script(std::move(script)), m_random(std::random_device{}())
{
    std::uniform_int_distribution<int> half(0, kNoiseSpread);
    m_noise.resize(2 * kNoiseChunk);
    for (auto &sample : m_noise)
        sample = static_cast<std::uint8_t>(half(m_random) + half(m_random));
}

const CameraInfo &VirtualCamera::info() const
{
    return m_config.info;
}

int VirtualCamera::frameRate(Size size) const
{
    if (m_config.fps > 0)
        return m_config.fps;
    return size.area() > kLargeFrameArea ? kLargeFrameRate : kSmallFrameRate;
}

bool VirtualCamera::open(Size size, bool)
{
    close();
    const auto &sizes = m_config.info.resolutions;
    if (std::find(sizes.begin(), sizes.end(), size) == sizes.end())
        return false;
    const int stills = m_script->stillCount();
    // A photo of a folder may have become unreadable since the start: the first good one leads.
    int first = 0;
    while (first < stills && !m_script->canRender(first))
        ++first;
    if (first == stills)
        return false;
    if (!m_preparer)
        m_preparer = std::make_unique<StillPreparer>(*m_script);
    m_size = size;
    m_period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / frameRate(size);
    const auto now = Clock::now();
    m_nextFrame = now + m_period;
    // A scene starts over at its first still; one already rendered at this size is shown again.
    if (m_shownIndex == first && m_stillSize == size) {
        prepareNext(now);
    } else {
        m_shownIndex = -1;
        m_scene = cv::Mat();
        m_preparedIndex = first;
        prepareFirst();
    }
    m_open = true;
    return true;
}

void VirtualCamera::close()
{
    if (m_preparer)
        m_preparer->cancel();
    m_start = Start::Done;
    m_open = false;
}

void VirtualCamera::prepareFirst()
{
    if (m_size.area() > kDraftArea) {
        m_start = Start::Drafting;
        m_preparer->request(m_preparedIndex, Size{m_size.width / kDraftShrink, m_size.height / kDraftShrink});
    } else {
        m_start = Start::Rendering;
        m_preparer->request(m_preparedIndex, m_size);
    }
}

void VirtualCamera::preferTurns(int quarterTurns)
{
    m_wantedTurns = ((quarterTurns % 4) + 4) % 4;
}

FrameStatus VirtualCamera::waitFrame(Frame &frame, std::chrono::milliseconds timeout)
{
    if (!m_open)
        return FrameStatus::Failed;
    auto deadline = Clock::now() + timeout;
    if (m_start == Start::Drafting || m_start == Start::Rendering) {
        if (!showFirstStill(deadline))
            return FrameStatus::Timeout;
        // A still that came after the deadline brings the frame that was due meanwhile.
        deadline = std::max(deadline, Clock::now());
    }
    if (m_nextFrame > deadline) {
        std::this_thread::sleep_until(deadline);
        return FrameStatus::Timeout;
    }
    std::this_thread::sleep_until(m_nextFrame);

    advance(Clock::now());
    if (m_sceneTurns != m_wantedTurns) {
        // Into a picture of its own, the old one freed at once: turns are rare, and keeping a spare
        // would hold a second scene's memory for good.
        cv::Mat turned;
        turn(m_scene, turned, turnsLeft(m_wantedTurns, m_sceneTurns));
        m_scene = turned;
        m_sceneTurns = m_wantedTurns;
    }
    frame.format = FrameFormat::Bgr24;
    frame.size = Size{m_scene.cols, m_scene.rows};
    frame.quarterTurns = m_sceneTurns;
    frame.data.resize(m_scene.total() * 3);
    addNoise(frame.data.data());

    m_nextFrame += m_period;
    const auto after = Clock::now();
    if (m_nextFrame < after)
        m_nextFrame += m_period * ((after - m_nextFrame) / m_period + 1);
    return FrameStatus::Ok;
}

bool VirtualCamera::showFirstStill(Clock::time_point deadline)
{
    // Past the wait's own deadline: the first frame after an opening comes late rather than not at
    // all, so that the first read after OpenCamera does not fail on a busy machine. The draft keeps
    // this short at the large sizes.
    std::optional<cv::Mat> still = m_preparer->take(Clock::time_point::max());
    if (!still)
        return false;
    if (still->empty()) {
        // A photo that could no longer be read after all: the next one is tried, at the pace of the
        // waits rather than in a loop.
        m_preparedIndex = (m_preparedIndex + 1) % m_script->stillCount();
        prepareFirst();
        std::this_thread::sleep_until(deadline);
        return false;
    }
    showPrepared(std::move(*still), Clock::now());
    return true;
}

void VirtualCamera::showPrepared(cv::Mat still, Clock::time_point now)
{
    m_shownIndex = m_preparedIndex;
    if (m_start == Start::Drafting) {
        cv::Mat enlarged;
        cv::resize(still, enlarged, cv::Size(m_size.width, m_size.height), 0, 0, cv::INTER_LINEAR);
        show(std::move(enlarged));
        // Not m_size's still yet: a reopening at this size renders it again.
        m_stillSize = Size{};
        m_start = Start::Sharpening;
        m_preparer->request(m_preparedIndex, m_size);
        return;
    }
    show(std::move(still));
    m_stillSize = m_size;
    m_start = Start::Done;
    prepareNext(now);
}

void VirtualCamera::prepareNext(Clock::time_point now)
{
    const int stills = m_script->stillCount();
    if (stills < 2)
        return;
    m_preparedIndex = (m_shownIndex + 1) % stills;
    m_preparer->request(m_preparedIndex, m_size);
    m_nextStill = now + m_config.scene.interval;
}

void VirtualCamera::advance(Clock::time_point now)
{
    if (m_start == Start::Sharpening) {
        std::optional<cv::Mat> still = m_preparer->take();
        if (!still)
            return;
        if (!still->empty()) {
            showPrepared(std::move(*still), now);
            return;
        }
        // A full still that could not be made leaves the draft shown.
        m_start = Start::Done;
        prepareNext(now);
        return;
    }
    if (m_script->stillCount() < 2 || now < m_nextStill)
        return;
    std::optional<cv::Mat> still = m_preparer->take();
    if (!still)
        return;
    // A still that could not be made is passed over; the one shown stays until a good one is ready.
    if (!still->empty()) {
        m_shownIndex = m_preparedIndex;
        show(std::move(*still));
        m_nextStill = now + m_config.scene.interval;
    }
    m_preparedIndex = (m_preparedIndex + 1) % m_script->stillCount();
    m_preparer->request(m_preparedIndex, m_size);
}

void VirtualCamera::show(cv::Mat still)
{
    if (!still.isContinuous())
        still = still.clone();
    cv::subtract(still, cv::Scalar::all(kNoiseSpread), still);
    if (m_wantedTurns == 0) {
        m_scene = std::move(still);
    } else {
        m_scene = cv::Mat();
        turn(still, m_scene, m_wantedTurns);
    }
    m_sceneTurns = m_wantedTurns;
}

void VirtualCamera::addNoise(std::uint8_t *target)
{
    const std::size_t length = m_scene.total() * 3;
    std::uniform_int_distribution<std::size_t> offset(0, kNoiseChunk);
    for (std::size_t done = 0; done < length; done += kNoiseChunk) {
        const int chunk = static_cast<int>(std::min(kNoiseChunk, length - done));
        const cv::Mat scene(1, chunk, CV_8U, m_scene.data + done);
        const cv::Mat noise(1, chunk, CV_8U, m_noise.data() + offset(m_random));
        cv::Mat out(1, chunk, CV_8U, target + done);
        cv::add(scene, noise, out);
    }
}

}  // namespace qirmel
