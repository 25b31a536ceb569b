#include "source/virtualcamera.h"

#include "source/deskscene.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

using namespace std::chrono_literals;
using qirmel::CameraConfig;
using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FrameStatus;
using qirmel::Size;
using qirmel::VirtualCamera;
using qirmel::VirtualCameraConfig;

namespace {

VirtualCameraConfig smallCamera(int fps = 0)
{
    VirtualCameraConfig config = CameraConfig::defaultVirtualCamera(1);
    config.info.resolutions = {{320, 240}, {160, 120}};
    config.fps = fps;
    return config;
}

double meanAbsoluteDifference(const std::vector<std::uint8_t> &a, const std::vector<std::uint8_t> &b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::abs(int(a[i]) - int(b[i]));
    return sum / a.size();
}

int luminance(const std::vector<std::uint8_t> &rgb, int width, double x, double y)
{
    const std::uint8_t *pixel = rgb.data() + (static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * 3;
    return (pixel[0] * 3 + pixel[1] * 6 + pixel[2]) / 10;
}

}  // namespace

TEST(VirtualCamera, DescribesItselfAsConfigured)
{
    const VirtualCamera camera(smallCamera());
    EXPECT_EQ(camera.info().name, "Virtual Auxiliary Camera");
    EXPECT_EQ(camera.info().resolutions.size(), 2u);
}

TEST(VirtualCamera, DefaultFrameRatesFollowTheSize)
{
    const VirtualCamera camera(CameraConfig::defaultVirtualCamera(0));
    EXPECT_EQ(camera.frameRate({3264, 2448}), 15);
    EXPECT_EQ(camera.frameRate({2592, 1944}), 15);
    EXPECT_EQ(camera.frameRate({1920, 1080}), 30);
    EXPECT_EQ(camera.frameRate({640, 480}), 30);
    EXPECT_EQ(VirtualCamera(smallCamera(7)).frameRate({3264, 2448}), 7);
}

TEST(VirtualCamera, OpensOnlyListedSizes)
{
    VirtualCamera camera(smallCamera());
    EXPECT_FALSE(camera.open({640, 480}, true));
    Frame frame;
    EXPECT_EQ(camera.waitFrame(frame, 100ms), FrameStatus::Failed);
    EXPECT_TRUE(camera.open({160, 120}, true));
}

TEST(VirtualCamera, DeliversRawFramesOfTheOpenedSizeWithFreshNoise)
{
    VirtualCamera camera(smallCamera(100));
    ASSERT_TRUE(camera.open({320, 240}, true));
    Frame first, second;
    ASSERT_EQ(camera.waitFrame(first, 1000ms), FrameStatus::Ok);
    ASSERT_EQ(camera.waitFrame(second, 1000ms), FrameStatus::Ok);
    EXPECT_EQ(first.format, FrameFormat::Rgb24);
    EXPECT_EQ(first.size, (Size{320, 240}));
    EXPECT_EQ(first.data.size(), 320u * 240 * 3);
    const double difference = meanAbsoluteDifference(first.data, second.data);
    EXPECT_GT(difference, 0.5) << "the noise must change from frame to frame";
    EXPECT_LT(difference, 8.0) << "but the scene must stay";
}

TEST(VirtualCamera, ClosedCameraDeliversNothing)
{
    VirtualCamera camera(smallCamera());
    ASSERT_TRUE(camera.open({160, 120}, false));
    camera.close();
    camera.close();
    Frame frame;
    EXPECT_EQ(camera.waitFrame(frame, 100ms), FrameStatus::Failed);
}

TEST(VirtualCamera, TimesOutWhenTheNextFrameIsNotDueInTime)
{
    VirtualCamera camera(smallCamera(1));
    ASSERT_TRUE(camera.open({160, 120}, false));
    Frame frame;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(camera.waitFrame(frame, 20ms), FrameStatus::Timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
}

// A sanity bound on the pace, not a timing measurement: over a second a 30 fps camera gives
// roughly 30 frames, never hundreds, and never just a handful.
TEST(VirtualCamera, PacesFramesAtItsRate)
{
    VirtualCamera camera(smallCamera(30));
    ASSERT_TRUE(camera.open({160, 120}, false));
    Frame frame;
    int frames = 0;
    const auto end = std::chrono::steady_clock::now() + 1s;
    while (std::chrono::steady_clock::now() < end)
        if (camera.waitFrame(frame, 1000ms) == FrameStatus::Ok)
            ++frames;
    EXPECT_GE(frames, 10);
    EXPECT_LE(frames, 40);
}

TEST(DeskScene, PageLiesOnTheDeskInPerspective)
{
    const Size size{640, 480};
    qirmel::PageCorners corners{};
    const auto pixels = qirmel::renderDeskScene(qirmel::Scene::Page, size, &corners);
    ASSERT_EQ(pixels.size(), 640u * 480 * 3);

    // The far (top) edge is shorter than the near one, and the page sits inside the picture.
    const auto length = [](const auto &a, const auto &b) { return std::hypot(a[0] - b[0], a[1] - b[1]); };
    EXPECT_LT(length(corners[0], corners[1]), length(corners[3], corners[2]) * 0.99);
    for (const auto &corner : corners) {
        EXPECT_GT(corner[0], 0);
        EXPECT_LT(corner[0], size.width);
        EXPECT_GT(corner[1], 0);
        EXPECT_LT(corner[1], size.height);
    }
    // Paper is bright, the desk darker.
    const double paperX = (corners[0][0] + corners[1][0]) / 2;
    EXPECT_GT(luminance(pixels, size.width, paperX, corners[0][1] + 6), 170);
    EXPECT_LT(luminance(pixels, size.width, 8, 8), 150);
    EXPECT_LT(luminance(pixels, size.width, 8, size.height - 8), 150);
}

TEST(DeskScene, SameSceneAtEverySize)
{
    const auto small = qirmel::renderDeskScene(qirmel::Scene::Page, {320, 240});
    const auto large = qirmel::renderDeskScene(qirmel::Scene::Page, {640, 480});
    // Compare the large picture, halved, with the small one: close, not pixel exact.
    double difference = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            difference += std::abs(luminance(small, 320, x, y) - luminance(large, 640, x * 2 + 0.5, y * 2 + 0.5));
    EXPECT_LT(difference / (320 * 240), 20.0);
}
