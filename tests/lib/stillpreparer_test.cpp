#include "source/stillpreparer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using qirmel::Size;
using qirmel::StillPreparer;

namespace {

// A scene whose stills are plain grey at the level of their index, rendered only when the test lets
// them, so that the test decides what the preparer's worker is doing.
class GatedScene : public qirmel::SceneScript {
public:
    int stillCount() const override { return 10; }

    cv::Mat render(int index, Size size) const override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_started.push_back(index);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_released > static_cast<int>(m_finished); });
        ++m_finished;
        m_changed.notify_all();
        if (index == 9)
            return cv::Mat();
        return cv::Mat(size.height, size.width, CV_8UC3, cv::Scalar::all(index));
    }

    // Lets one more render finish.
    void release()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_released;
        m_changed.notify_all();
    }

    void waitUntilStarted(std::size_t renders) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_started.size() >= renders; });
    }

    void waitUntilFinished(std::size_t renders) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_finished >= renders; });
    }

    std::size_t finished() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_finished;
    }

    std::vector<int> started() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_started;
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable std::vector<int> m_started;
    mutable std::size_t m_finished = 0;
    int m_released = 0;
};

}  // namespace

TEST(StillPreparer, HandsOutTheStillOnceItIsMade)
{
    GatedScene scene;
    StillPreparer preparer(scene);
    preparer.request(3, {8, 6});
    scene.waitUntilStarted(1);
    EXPECT_FALSE(preparer.take()) << "still being rendered";
    scene.release();
    scene.waitUntilFinished(1);
    // The worker stores the still right after the render returns: take() sees it at the latest on a
    // later try, and the loop ends on the condition, not on a time.
    std::optional<cv::Mat> still;
    while (!still) {
        std::this_thread::yield();
        still = preparer.take();
    }
    ASSERT_EQ(still->size(), cv::Size(8, 6));
    EXPECT_EQ(still->at<cv::Vec3b>(0, 0)[0], 3);
    EXPECT_FALSE(preparer.take()) << "handed out once";
}

TEST(StillPreparer, ANewRequestDropsTheOldOne)
{
    GatedScene scene;
    StillPreparer preparer(scene);
    preparer.request(1, {8, 6});
    scene.waitUntilStarted(1);
    preparer.request(2, {8, 6});  // while 1 is being rendered
    preparer.request(4, {8, 6});  // 2 is never started: 4 replaces it
    scene.release();
    scene.release();
    scene.waitUntilFinished(2);
    std::optional<cv::Mat> still;
    while (!still) {
        std::this_thread::yield();
        still = preparer.take();
    }
    EXPECT_EQ(still->at<cv::Vec3b>(0, 0)[0], 4);
    EXPECT_EQ(scene.started(), (std::vector<int>{1, 4}));
}

TEST(StillPreparer, StillThatCannotBeMadeComesOutEmpty)
{
    GatedScene scene;
    StillPreparer preparer(scene);
    preparer.request(9, {8, 6});
    scene.release();
    scene.waitUntilFinished(1);
    std::optional<cv::Mat> still;
    while (!still) {
        std::this_thread::yield();
        still = preparer.take();
    }
    EXPECT_TRUE(still->empty());
}

// Destroying the preparer waits for the render under way instead of leaving the worker behind.
TEST(StillPreparer, DestructionWaitsForTheRender)
{
    GatedScene scene;
    {
        StillPreparer preparer(scene);
        preparer.request(5, {8, 6});
        scene.waitUntilStarted(1);
        scene.release();
    }
    EXPECT_EQ(scene.finished(), 1u);
    EXPECT_EQ(scene.started(), (std::vector<int>{5}));
}
