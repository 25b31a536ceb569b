#include "core/jpegcodec.h"

#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::JpegCodec;
using qirmel::Size;

namespace {

std::vector<std::uint8_t> noisePixels(Size size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(size.area()) * 3);
    for (auto &value : pixels)
        value = static_cast<std::uint8_t>(random());
    return pixels;
}

const std::uint8_t kFrameHeader[] = {0xff, 0xc0};

}  // namespace

TEST(JpegCodec, EncodesAndReadsBack)
{
    JpegCodec codec;
    const Frame frame = qirmeltest::markedFrame({320, 240});
    std::vector<std::uint8_t> jpeg;
    ASSERT_TRUE(codec.encode(frame.data.data(), frame.size, FrameFormat::Rgb24, 90, frame.data.size(), jpeg));
    const auto info = qirmeltest::inspectJpeg(jpeg);
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);

    Size size;
    ASSERT_TRUE(codec.readSize(jpeg.data(), jpeg.size(), size));
    EXPECT_EQ(size, (Size{320, 240}));
    Frame decoded;
    ASSERT_TRUE(codec.decode(jpeg.data(), jpeg.size(), decoded));
    EXPECT_EQ(decoded.format, FrameFormat::Bgr24);
    EXPECT_EQ(decoded.size, (Size{320, 240}));
    EXPECT_EQ(qirmeltest::redQuarter(qirmeltest::swapRedBlue(decoded.data), 320, 240), 0);
}

// The same picture given in either channel order comes out the same.
TEST(JpegCodec, EncodesBgrPixels)
{
    JpegCodec codec;
    const Frame frame = qirmeltest::markedFrame({64, 48});
    std::vector<std::uint8_t> jpeg;
    ASSERT_TRUE(codec.encode(qirmeltest::swapRedBlue(frame.data).data(), frame.size, FrameFormat::Bgr24, 90, SIZE_MAX,
                             jpeg));
    int width = 0, height = 0;
    const auto pixels = qirmeltest::decodeJpeg(jpeg, width, height);
    EXPECT_EQ(qirmeltest::redQuarter(pixels, width, height), 0);
    EXPECT_FALSE(codec.encode(frame.data.data(), frame.size, FrameFormat::Jpeg, 90, SIZE_MAX, jpeg));
}

// Asked for at least a size, the decoder shrinks by the largest power of two that keeps it.
TEST(JpegCodec, DecodesSmallerWhenAskedFor)
{
    JpegCodec codec;
    const Frame frame = qirmeltest::markedFrame({640, 480});
    const auto jpeg = qirmeltest::encodeJpeg(frame.data, 640, 480, 90);
    Frame decoded;
    ASSERT_TRUE(codec.decode(jpeg.data(), jpeg.size(), decoded, Size{150, 100}));
    EXPECT_EQ(decoded.size, (Size{160, 120}));
    EXPECT_EQ(decoded.data.size(), 160u * 120 * 3);
    EXPECT_EQ(qirmeltest::redQuarter(qirmeltest::swapRedBlue(decoded.data), 160, 120), 0);
    ASSERT_TRUE(codec.decode(jpeg.data(), jpeg.size(), decoded, Size{321, 10}));
    EXPECT_EQ(decoded.size, (Size{640, 480})) << "half the width would be too narrow";
    ASSERT_TRUE(codec.decode(jpeg.data(), jpeg.size(), decoded, Size{10, 240}));
    EXPECT_EQ(decoded.size, (Size{320, 240}));

    // The grey picture that edges are found in shrinks alike, asked for by its width alone.
    std::vector<std::uint8_t> grey;
    Size greySize;
    ASSERT_TRUE(codec.decodeGrey(jpeg.data(), jpeg.size(), grey, greySize, Size{160, 0}));
    EXPECT_EQ(greySize, (Size{160, 120}));
    ASSERT_EQ(grey.size(), 160u * 120);
    EXPECT_LT(grey[30 * 160 + 40], 100) << "the red quarter is darker than the grey rest";
    EXPECT_GT(grey[90 * 160 + 120], 115);
    ASSERT_TRUE(codec.decodeGrey(jpeg.data(), jpeg.size(), grey, greySize, Size{161, 0}));
    EXPECT_EQ(greySize, (Size{320, 240}));
}

TEST(JpegCodec, RejectsWhatIsNotAJpeg)
{
    JpegCodec codec;
    const std::vector<std::uint8_t> garbage(1000, 0x42);
    Size size;
    Frame decoded;
    EXPECT_FALSE(codec.readSize(garbage.data(), garbage.size(), size));
    EXPECT_FALSE(codec.decode(garbage.data(), garbage.size(), decoded));
    std::vector<std::uint8_t> grey;
    EXPECT_FALSE(codec.decodeGrey(garbage.data(), garbage.size(), grey, size));
    EXPECT_FALSE(codec.readSize(nullptr, 0, size));

    // A JPEG without its frame header fails, and costs the next whole image nothing.
    const std::vector<std::uint8_t> whole = qirmeltest::encodeJpeg(noisePixels({64, 48}, 2), 64, 48, 90);
    std::vector<std::uint8_t> headless = whole;
    const auto sof = std::search(headless.begin(), headless.end(), std::begin(kFrameHeader), std::end(kFrameHeader));
    headless.erase(sof, sof + 2 + (sof[2] << 8 | sof[3]));
    EXPECT_FALSE(codec.decode(headless.data(), headless.size(), decoded));
    EXPECT_TRUE(codec.decode(whole.data(), whole.size(), decoded));
}

TEST(JpegCodec, LowersTheQualityRatherThanExceedTheBudget)
{
    JpegCodec codec;
    const Size size{256, 256};
    const auto pixels = noisePixels(size, 1);
    std::vector<std::uint8_t> best, bounded;
    ASSERT_TRUE(codec.encode(pixels.data(), size, FrameFormat::Rgb24, 100, SIZE_MAX, best));
    const std::size_t budget = best.size() / 2;
    ASSERT_TRUE(codec.encode(pixels.data(), size, FrameFormat::Rgb24, 100, budget, bounded));
    EXPECT_LE(bounded.size(), budget);
    EXPECT_TRUE(qirmeltest::inspectJpeg(bounded).valid);
}

TEST(JpegCodec, FailsWhenNoQualityFits)
{
    JpegCodec codec;
    const Size size{256, 256};
    const auto pixels = noisePixels(size, 2);
    std::vector<std::uint8_t> jpeg = {1, 2, 3};
    EXPECT_FALSE(codec.encode(pixels.data(), size, FrameFormat::Rgb24, 90, 300, jpeg));
}

TEST(JpegCodec, TurnsLosslesslyWhenBlocksAreWhole)
{
    JpegCodec codec;
    const Frame frame = qirmeltest::markedFrame({64, 48});
    const auto jpeg = qirmeltest::encodeJpeg(frame.data, 64, 48, 90);
    std::vector<std::uint8_t> turned;
    ASSERT_TRUE(codec.turnLossless(jpeg.data(), jpeg.size(), 1, turned));
    int width = 0, height = 0;
    const auto pixels = qirmeltest::decodeJpeg(turned, width, height);
    EXPECT_EQ(width, 48);
    EXPECT_EQ(height, 64);
    EXPECT_EQ(qirmeltest::redQuarter(pixels, width, height), 1);
}

TEST(JpegCodec, RefusesALossyTurn)
{
    JpegCodec codec;
    const Frame frame = qirmeltest::markedFrame({72, 40});  // neither side a multiple of 16
    const auto jpeg = qirmeltest::encodeJpeg(frame.data, 72, 40, 90);
    std::vector<std::uint8_t> turned;
    EXPECT_FALSE(codec.turnLossless(jpeg.data(), jpeg.size(), 1, turned));
}
