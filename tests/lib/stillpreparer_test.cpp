#include "source/stillpreparer.h"

#include "gatedscene.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

using qirmel::Size;
using qirmel::StillPreparer;

using qirmeltest::GatedScene;

namespace {

constexpr std::chrono::seconds kHangLimit(30);

std::optional<cv::Mat> takeWaiting(StillPreparer &preparer)
{
    return preparer.take(StillPreparer::Clock::now() + kHangLimit);
}

}  // namespace

// A still is handed out once, when it is made; one that cannot be made comes out empty.
TEST(StillPreparer, HandsOutTheStillOnceItIsMade)
{
    GatedScene scene;
    StillPreparer preparer(scene);
    preparer.request(3, {8, 6});
    ASSERT_TRUE(scene.waitUntilStarted(1));
    EXPECT_FALSE(preparer.take()) << "still being rendered";
    scene.release();
    const std::optional<cv::Mat> still = takeWaiting(preparer);
    ASSERT_TRUE(still);
    ASSERT_EQ(still->size(), cv::Size(8, 6));
    EXPECT_EQ(still->at<cv::Vec3b>(0, 0)[0], 3);
    EXPECT_FALSE(preparer.take()) << "handed out once";
    preparer.request(9, {8, 6});
    scene.release();
    const std::optional<cv::Mat> unmade = takeWaiting(preparer);
    ASSERT_TRUE(unmade);
    EXPECT_TRUE(unmade->empty());
}

TEST(StillPreparer, ANewRequestDropsTheOldOne)
{
    GatedScene scene;
    StillPreparer preparer(scene);
    preparer.request(1, {8, 6});
    ASSERT_TRUE(scene.waitUntilStarted(1));
    preparer.request(2, {8, 6});  // while 1 is being rendered
    preparer.request(4, {8, 6});  // 2 is never started: 4 replaces it
    scene.release();
    scene.release();
    const std::optional<cv::Mat> still = takeWaiting(preparer);
    ASSERT_TRUE(still);
    EXPECT_EQ(still->at<cv::Vec3b>(0, 0)[0], 4);
    EXPECT_EQ(scene.started(), (std::vector<int>{1, 4}));
}

enum class Unwanted { NewRequest, Cancel, Destruction };

class StillPreparerGivingUp : public testing::TestWithParam<Unwanted> {};

// A render that nobody wants any more is given up instead of holding up the next request, a closed
// camera or the camera's end, and what it would have made is never handed out. A cancel returns once
// the render has stopped.
TEST_P(StillPreparerGivingUp, GivesUpTheRenderUnderWay)
{
    GatedScene scene;
    std::thread unblocker;
    {
        StillPreparer preparer(scene);
        preparer.request(5, {8, 6});
        ASSERT_TRUE(scene.waitUntilStarted(1));
        // Should the render not be given up, every render is let finish, so that the test fails
        // instead of hanging.
        unblocker = std::thread([&scene] {
            if (!scene.waitUntilGivenUp(1))
                for (int i = 0; i < 10; ++i)
                    scene.release();
        });
        if (GetParam() == Unwanted::NewRequest) {
            preparer.request(2, {8, 6});
        } else if (GetParam() == Unwanted::Cancel) {
            preparer.cancel();
            EXPECT_EQ(scene.givenUp(), 1u) << "cancel() returned while the render went on";
        }
        if (GetParam() != Unwanted::Destruction) {
            unblocker.join();
            EXPECT_FALSE(preparer.take());
        }
    }
    if (unblocker.joinable())
        unblocker.join();
    EXPECT_EQ(scene.finished(), 0u) << "the unwanted render went on to its end";
    EXPECT_EQ(scene.started().front(), 5);
}

INSTANTIATE_TEST_SUITE_P(Unwanted, StillPreparerGivingUp,
                         testing::Values(Unwanted::NewRequest, Unwanted::Cancel, Unwanted::Destruction));
