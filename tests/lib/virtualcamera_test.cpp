#include "source/virtualcamera.h"

#include "gatedscene.h"
#include "scenesupport.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

using namespace std::chrono_literals;
using qirmel::CameraConfig;
using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FrameStatus;
using qirmel::SceneKind;
using qirmel::Size;
using qirmel::VirtualCamera;
using qirmel::VirtualCameraConfig;

namespace {

VirtualCameraConfig smallCamera(int fps = 100, SceneKind scene = SceneKind::Page)
{
    VirtualCameraConfig config = CameraConfig::defaultVirtualCamera(1);
    config.info.resolutions = {{320, 240}, {160, 120}};
    config.fps = fps;
    config.scene.kind = scene;
    return config;
}

double meanAbsoluteDifference(const std::vector<std::uint8_t> &a, const std::vector<std::uint8_t> &b)
{
    if (a.size() != b.size())
        return 255;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::abs(int(a[i]) - int(b[i]));
    return sum / a.size();
}

Frame nextFrame(VirtualCamera &camera)
{
    Frame frame;
    EXPECT_EQ(camera.waitFrame(frame, 1000ms), FrameStatus::Ok);
    return frame;
}

// The scene's still at 320x240 without noise, for comparing with a delivered frame.
std::vector<std::uint8_t> stillOf(SceneKind kind)
{
    return qirmeltest::sceneFrame(kind, {320, 240}, FrameFormat::Bgr24).data;
}

}  // namespace

// An unlisted size, an unreadable photo and a closing each leave a camera that delivers nothing.
TEST(VirtualCamera, DeliversNothingUnlessOpened)
{
    qirmeltest::TemporaryFolder folder;
    qirmeltest::writeFile(folder.file("photo.jpg"), "not a JPEG");
    VirtualCameraConfig photo = smallCamera(100, SceneKind::Photo);
    photo.scene.photos = {folder.file("photo.jpg")};
    VirtualCamera unlisted(smallCamera()), unreadable(photo), closed(smallCamera());
    EXPECT_FALSE(unlisted.open({640, 480}, true));
    EXPECT_FALSE(unreadable.open({320, 240}, true));
    ASSERT_TRUE(closed.open({160, 120}, false));
    closed.close();
    closed.close();
    Frame frame;
    for (VirtualCamera *camera : {&unlisted, &unreadable, &closed})
        EXPECT_EQ(camera->waitFrame(frame, 100ms), FrameStatus::Failed);
    EXPECT_TRUE(unlisted.open({160, 120}, true));
}

// Each scene shows its own picture, with noise that changes from frame to frame.
TEST(VirtualCamera, DeliversItsSceneWithFreshNoise)
{
    for (SceneKind kind : {SceneKind::Page, SceneKind::Book, SceneKind::IdCard, SceneKind::EmptyDesk}) {
        VirtualCamera camera(smallCamera(100, kind));
        ASSERT_TRUE(camera.open({320, 240}, true));
        const Frame first = nextFrame(camera);
        EXPECT_EQ(first.format, FrameFormat::Bgr24);
        const double noise = meanAbsoluteDifference(first.data, nextFrame(camera).data);
        EXPECT_GT(noise, 0.5) << int(kind);
        EXPECT_LT(noise, 8.0) << int(kind);
        EXPECT_LT(meanAbsoluteDifference(first.data, stillOf(kind)), 6.0) << int(kind);
        const SceneKind other = kind == SceneKind::Page ? SceneKind::EmptyDesk : SceneKind::Page;
        EXPECT_GT(meanAbsoluteDifference(first.data, stillOf(other)), 10.0) << int(kind);
    }
}

// The scene is turned when the wish changes, not per frame; the frames say how they are turned.
TEST(VirtualCamera, TurnsItsPictureAsAsked)
{
    VirtualCamera camera(smallCamera());
    ASSERT_TRUE(camera.open({320, 240}, true));
    const Frame upright = nextFrame(camera);
    for (int turns : {1, 2, 3, 1, 0}) {
        camera.preferTurns(turns);
        const Frame frame = nextFrame(camera);
        const Frame expected = turns ? qirmeltest::turnedFrame(upright, turns) : upright;
        EXPECT_EQ(frame.quarterTurns, turns);
        EXPECT_EQ(frame.size, expected.size);
        EXPECT_LT(meanAbsoluteDifference(frame.data, expected.data), 8.0) << turns;
    }
    camera.preferTurns(-1);
    EXPECT_EQ(nextFrame(camera).quarterTurns, 3);
    // A reopening keeps the wish.
    ASSERT_TRUE(camera.open({160, 120}, true));
    const Frame reopened = nextFrame(camera);
    EXPECT_EQ(reopened.quarterTurns, 3);
    EXPECT_EQ(reopened.size, (Size{120, 160}));
}

// The moving page is put down elsewhere after the interval, and the pictures keep coming meanwhile.
TEST(VirtualCamera, MovingPageMovesNowAndThen)
{
    VirtualCameraConfig config = smallCamera(100, SceneKind::MovingPage);
    config.scene.interval = 50ms;
    VirtualCamera camera(config);
    ASSERT_TRUE(camera.open({320, 240}, true));
    const Frame first = nextFrame(camera);
    bool moved = false;
    // Bounded by frames, not by time: ten seconds of them at this rate is far more than the move needs.
    for (int frames = 0; frames < 1000 && !moved; ++frames) {
        moved = meanAbsoluteDifference(nextFrame(camera).data, first.data) > 10.0;
    }
    EXPECT_TRUE(moved);
}

namespace {

// A photo of one colour (B G R) with a darker left third, so that a turned or mirrored picture shows.
void writePhoto(const std::string &path, Size size, cv::Scalar colour)
{
    cv::Mat pixels(size.height, size.width, CV_8UC3, colour);
    pixels.colRange(0, size.width / 3) *= 0.5;
    cv::cvtColor(pixels, pixels, cv::COLOR_BGR2RGB);
    const std::vector<std::uint8_t> rgb(pixels.data, pixels.data + pixels.total() * 3);
    const auto jpeg = qirmeltest::encodeJpeg(rgb, size.width, size.height, 95);
    qirmeltest::writeFile(path, std::string(jpeg.begin(), jpeg.end()));
}

// The mean colour of the left or right quarter of a frame, B G R.
cv::Scalar colourOf(const Frame &frame, bool left = false)
{
    const cv::Mat pixels(frame.size.height, frame.size.width, CV_8UC3, const_cast<std::uint8_t *>(frame.data.data()));
    const int width = frame.size.width;
    return cv::mean(left ? pixels.colRange(0, width / 4) : pixels.colRange(width * 3 / 4, width));
}

bool near(const cv::Scalar &a, const cv::Scalar &b)
{
    return std::abs(a[0] - b[0]) < 15 && std::abs(a[1] - b[1]) < 15 && std::abs(a[2] - b[2]) < 15;
}

}  // namespace

TEST(VirtualCamera, PhotoSceneShowsThePhoto)
{
    qirmeltest::TemporaryFolder folder;
    const cv::Scalar green(60, 180, 60);
    writePhoto(folder.file("photo.jpg"), {640, 480}, green);
    VirtualCameraConfig config = smallCamera(100, SceneKind::Photo);
    config.scene.photos = {folder.file("photo.jpg")};
    config.info.resolutions = {{640, 480}, {320, 240}};
    VirtualCamera camera(config);
    for (const Size size : config.info.resolutions) {
        ASSERT_TRUE(camera.open(size, true));
        const Frame frame = nextFrame(camera);
        EXPECT_EQ(frame.size, size);
        EXPECT_TRUE(near(colourOf(frame), green)) << colourOf(frame);
        EXPECT_LT(colourOf(frame, true)[1], 120) << "the darker third stays left";
    }
}

// A folder's photos come in turn, round and round; one that cannot be read is passed over.
TEST(VirtualCamera, FolderSceneShowsEachPhotoInTurn)
{
    qirmeltest::TemporaryFolder folder;
    const cv::Scalar blue(200, 60, 40), red(40, 60, 200);
    writePhoto(folder.file("a.jpg"), {640, 480}, blue);
    qirmeltest::writeFile(folder.file("b.jpg"), "not a JPEG");
    writePhoto(folder.file("c.jpg"), {480, 640}, red);
    VirtualCameraConfig config = smallCamera(100, SceneKind::PhotoFolder);
    config.scene.photos = {folder.file("a.jpg"), folder.file("b.jpg"), folder.file("c.jpg")};
    config.scene.interval = 30ms;
    VirtualCamera camera(config);
    ASSERT_TRUE(camera.open({320, 240}, true));

    std::vector<int> shown;  // 0 for blue, 2 for red, each time the picture changes
    for (int frames = 0; frames < 2000 && shown.size() < 4; ++frames) {
        const Frame frame = nextFrame(camera);
        const cv::Scalar colour = colourOf(frame);
        const int photo = near(colour, blue) ? 0 : near(colour, red) ? 2 : -1;
        ASSERT_NE(photo, -1) << "a frame shows neither photo: " << colour;
        if (shown.empty() || shown.back() != photo)
            shown.push_back(photo);
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 2, 0, 2}));
}

// Opening leaves the scene to the camera's worker and returns while it is rendered; the frames start
// once it is ready. Closing gives up a render under way instead of leaving it to run.
TEST(VirtualCamera, OpensWithoutWaitingForItsScene)
{
    auto owned = std::make_unique<qirmeltest::GatedScene>(1);
    qirmeltest::GatedScene &scene = *owned;
    VirtualCamera camera(smallCamera(100), std::move(owned));
    std::promise<bool> opening;
    std::future<bool> opened = opening.get_future();
    std::thread opener([&] { opening.set_value(camera.open({320, 240}, true)); });
    const bool openedFirst = scene.waitUntilStarted(1) && opened.wait_for(30s) == std::future_status::ready;
    if (!openedFirst)
        scene.release();  // lets an opening that renders by itself come to its end
    opener.join();
    ASSERT_TRUE(openedFirst) << "the opening waited for its scene";
    ASSERT_TRUE(opened.get());
    // The first wait lasts until the scene is ready, past its own timeout.
    Frame frame;
    std::future<FrameStatus> first = std::async(std::launch::async, [&] { return camera.waitFrame(frame, 1ms); });
    EXPECT_EQ(first.wait_for(100ms), std::future_status::timeout) << "the first wait ended before its frame";
    scene.release();
    ASSERT_EQ(first.get(), FrameStatus::Ok);
    EXPECT_EQ(frame.size, (Size{320, 240}));

    ASSERT_TRUE(camera.open({160, 120}, true));
    ASSERT_TRUE(scene.waitUntilStarted(2));
    camera.close();
    EXPECT_TRUE(scene.waitUntilGivenUp(1));
    EXPECT_EQ(camera.waitFrame(frame, 0ms), FrameStatus::Failed);
}

// Above 1280x720 the frames start with a draft rendered at a quarter of the width and height,
// enlarged, while the full still is rendered.
TEST(VirtualCamera, LargeSceneStartsWithADraft)
{
    auto owned = std::make_unique<qirmeltest::GatedScene>(1);
    qirmeltest::GatedScene &scene = *owned;
    VirtualCameraConfig config = smallCamera(100);
    config.info.resolutions = {{2560, 1440}};
    VirtualCamera camera(config, std::move(owned));
    ASSERT_TRUE(camera.open({2560, 1440}, true));
    scene.release();
    Frame frame;
    ASSERT_EQ(camera.waitFrame(frame, 30s), FrameStatus::Ok);
    EXPECT_EQ(frame.size, (Size{2560, 1440}));
    ASSERT_TRUE(scene.waitUntilStarted(2));
    const std::vector<Size> sizes = scene.startedSizes();
    EXPECT_EQ(sizes[0], (Size{640, 360}));
    EXPECT_EQ(sizes[1], (Size{2560, 1440}));
}

// Bounds on the pace, not timing measurements: a 1 fps camera has no frame due within 20 ms, and over
// a second a 30 fps one gives roughly 30 frames, never hundreds, and never just a handful.
TEST(VirtualCamera, PacesFramesAtItsRate)
{
    VirtualCamera slow(smallCamera(1)), camera(smallCamera(30));
    ASSERT_TRUE(slow.open({160, 120}, false));
    ASSERT_TRUE(camera.open({160, 120}, false));
    Frame frame;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(slow.waitFrame(frame, 20ms), FrameStatus::Timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
    int frames = 0;
    for (const auto end = std::chrono::steady_clock::now() + 1s; std::chrono::steady_clock::now() < end;)
        frames += camera.waitFrame(frame, 1000ms) == FrameStatus::Ok;
    EXPECT_GE(frames, 10);
    EXPECT_LE(frames, 40);
}
