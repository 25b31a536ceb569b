#include "crop/croptracker.h"

#include <gtest/gtest.h>

using qirmel::CropTracker;
using qirmel::Quad;

namespace {

Quad page(float dx = 0, float dy = 0)
{
    return Quad({cv::Point2f(400 + dx, 200 + dy), cv::Point2f(1100 + dx, 200 + dy), cv::Point2f(1100 + dx, 1190 + dy),
                 cv::Point2f(400 + dx, 1190 + dy)});
}

// The picture shows whatever outline the tracker asks about, as a still page's does.
bool stillThere(const Quad &)
{
    return true;
}

// A tracker that shows page(), seen in two frames.
CropTracker confirmed()
{
    CropTracker tracker;
    tracker.update(page(), stillThere);
    tracker.update(page(), stillThere);
    return tracker;
}

}  // namespace

TEST(CropTracker, ShowsADocumentOnlyOnceASecondFrameConfirmsItAlsoAfterAReset)
{
    CropTracker tracker = confirmed();
    tracker.reset();
    EXPECT_FALSE(tracker.current());
    EXPECT_FALSE(tracker.update(page(), stillThere));
    const std::optional<Quad> shown = tracker.update(page(1, 0), stillThere);
    ASSERT_TRUE(shown);
    EXPECT_LT(shown->maxCornerDistance(page()), 2);
}

TEST(CropTracker, IgnoresASingleStrayDetection)
{
    CropTracker tracker = confirmed();
    const std::optional<Quad> shown = tracker.update(page(300, 300), stillThere);
    ASSERT_TRUE(shown);
    EXPECT_LT(shown->maxCornerDistance(page()), 1e-3);
    EXPECT_LT(tracker.update(page(), stillThere)->maxCornerDistance(page()), 1e-3);
}

TEST(CropTracker, HoldsALostPageBrieflyThenFallsBackToTheWholeFrame)
{
    CropTracker tracker = confirmed();
    for (int frame = 0; frame < CropTracker::kHoldFrames; ++frame)
        ASSERT_TRUE(tracker.update(std::nullopt, stillThere)) << "dropped after " << frame << " missed frames";
    EXPECT_FALSE(tracker.update(std::nullopt, stillThere));
    EXPECT_FALSE(tracker.current());
}

TEST(CropTracker, SmoothsSmallJitterOfAStillPage)
{
    CropTracker tracker = confirmed();
    double worst = 0;
    for (int frame = 0; frame < 40; ++frame) {
        const float wobble = frame % 2 ? 2.0f : -2.0f;
        const std::optional<Quad> shown = tracker.update(page(wobble, -wobble), stillThere);
        ASSERT_TRUE(shown);
        worst = std::max(worst, shown->maxCornerDistance(page()));
    }
    // Detections swing 2.8 pixels either way; what is shown must swing far less.
    EXPECT_LT(worst, 1.0);
}

TEST(CropTracker, FollowsAMovedPageWithinAFewFrames)
{
    CropTracker tracker;
    for (int frame = 0; frame < 5; ++frame)
        tracker.update(page(), stillThere);
    int frames = 0;
    std::optional<Quad> shown;
    do {
        shown = tracker.update(page(150, 60), stillThere);
        ++frames;
    } while (frames < 10 && (!shown || shown->maxCornerDistance(page(150, 60)) > 2));
    EXPECT_LE(frames, 4);
}

// Held corners are dropped at once when the picture no longer shows them, whether the page was missed or
// a detection elsewhere awaits its confirmation.
TEST(CropTracker, HoldsNothingThePictureNoLongerShows)
{
    for (const std::optional<Quad> &detection : {std::optional<Quad>(), std::optional<Quad>(page(300, 300))}) {
        CropTracker tracker = confirmed();
        EXPECT_FALSE(tracker.update(detection, [](const Quad &) { return false; })) << (detection ? "jump" : "miss");
    }
}
