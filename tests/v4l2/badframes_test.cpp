// Frames that must never reach the caller, and frames that need their Huffman tables.
#include "jpegsupport.h"
#include "v4l2fixture.h"

#include "fakev4l2.h"

#include <gtest/gtest.h>

namespace v4l2test {
namespace {

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::FrameStatus;
using qirmel::Size;

qirmel::V4l2Settings noDrops()
{
    qirmel::V4l2Settings settings;
    settings.framesToDrop = 0;
    return settings;
}

// Every second frame of the fake (the odd numbers) is bad in the way the parameter says.
class BadFrames : public V4l2Fixture, public ::testing::WithParamInterface<const char *> {};

TEST_P(BadFrames, NeverReachTheCaller)
{
    const auto camera = singleCamera(std::string("mjpg = 320x240\nfps = 60\nbad_every = 2\nbad_kinds = ") +
                                         GetParam() + "\n",
                                     noDrops());
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    Frame frame;
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
        const long number = frameNumber(frame.data);
        EXPECT_EQ(number % 2, 0) << "frame " << number << " was bad";
        int width = 0;
        int height = 0;
        EXPECT_FALSE(decodeRgb(frame.data, width, height).empty()) << "frame " << number;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BadFrames, ::testing::Values("error", "nosoi", "noeoi", "truncated"));

using UncompressedBadFrames = V4l2Fixture;

TEST_F(UncompressedBadFrames, NeverReachTheCallerWhenTruncated)
{
    const auto camera =
        singleCamera("mjpg = 320x240\nyuyv = 320x240\nfps = 60\nbad_every = 2\nbad_kinds = truncated\n", noDrops());
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, false));
    Frame frame;
    Bytes picture(320 * 240 * 3);
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
        ASSERT_EQ(frame.format, FrameFormat::Rgb24);
        double best = 255;
        for (unsigned variant = 0; variant < 4; ++variant) {
            fakev4l2_render(320, 240, variant, picture.data());
            best = std::min(best, meanDifference(frame.data, picture));
        }
        EXPECT_LT(best, 3.0) << "frame " << i << " is not a whole picture";
    }
}

using HuffmanTables = V4l2Fixture;

// libjpeg-turbo decodes frames without tables by itself, so decoding alone proves nothing: the
// tables must be there, and be the standard ones that such frames are coded with.
TEST_F(HuffmanTables, AreInsertedIntoFramesWithoutThem)
{
    const auto camera = singleCamera("mjpg = 320x240\nhuffman = no\n");
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    Frame frame;
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(huffmanTables(frame.data), huffmanTables(encodeTestPicture(320, 240)));
    int width = 0;
    int height = 0;
    const Bytes pixels = decodeRgb(frame.data, width, height);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(pixels, decodeRgb(withoutHuffmanTables(frame.data), width, height));
}

TEST_F(HuffmanTables, AreLeftAsTheyAreInFramesThatHaveThem)
{
    const auto camera = singleCamera("mjpg = 320x240\nhuffman = yes\n");
    ASSERT_TRUE(camera);
    ASSERT_TRUE(camera->open(Size{320, 240}, true));
    Frame frame;
    ASSERT_EQ(waitOk(*camera, frame), FrameStatus::Ok);
    EXPECT_EQ(huffmanTables(frame.data).size(), 4u);
}

}  // namespace
}  // namespace v4l2test
