#include "core/jpegcodec.h"

#include "scriptedcamera.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::JpegCodec;
using qirmel::Size;

// The same picture given in either channel order comes out the same, and decodes to BGR.
TEST(JpegCodec, EncodesAndReadsBack)
{
    JpegCodec codec;
    const Frame frame = qirmeltest::markedFrame({320, 240});
    std::vector<std::uint8_t> jpeg;
    for (const FrameFormat format : {FrameFormat::Rgb24, FrameFormat::Bgr24}) {
        const auto pixels = format == FrameFormat::Rgb24 ? frame.data : qirmeltest::swapRedBlue(frame.data);
        ASSERT_TRUE(codec.encode(pixels.data(), frame.size, format, 90, pixels.size(), jpeg));
        Frame decoded;
        ASSERT_TRUE(codec.decode(jpeg.data(), jpeg.size(), decoded));
        EXPECT_EQ(std::tie(decoded.format, decoded.size), std::make_tuple(FrameFormat::Bgr24, frame.size));
        EXPECT_EQ(qirmeltest::redQuarter(qirmeltest::swapRedBlue(decoded.data), 320, 240), 0);
    }
    EXPECT_FALSE(codec.encode(frame.data.data(), frame.size, FrameFormat::Jpeg, 90, SIZE_MAX, jpeg));
}

// Asked for at least a size, the decoder shrinks by the largest power of two that keeps it; so does
// the grey picture that edges are found in.
TEST(JpegCodec, DecodesSmallerWhenAskedFor)
{
    JpegCodec codec;
    const auto jpeg = qirmeltest::encodeJpeg(qirmeltest::markedFrame({640, 480}).data, 640, 480, 90);
    const std::pair<Size, Size> rows[] = {{{150, 100}, {160, 120}},
                                          {{160, 0}, {160, 120}},
                                          {{161, 0}, {320, 240}},
                                          {{10, 240}, {320, 240}},
                                          {{321, 10}, {640, 480}}};
    for (const auto &[atLeast, expected] : rows) {
        Frame decoded;
        ASSERT_TRUE(codec.decode(jpeg.data(), jpeg.size(), decoded, atLeast));
        ASSERT_EQ(decoded.size, expected) << atLeast.width << "x" << atLeast.height;
        EXPECT_EQ(qirmeltest::redQuarter(qirmeltest::swapRedBlue(decoded.data), expected.width, expected.height), 0);
        std::vector<std::uint8_t> grey;
        Size greySize;
        ASSERT_TRUE(codec.decodeGrey(jpeg.data(), jpeg.size(), grey, greySize, atLeast));
        ASSERT_EQ(greySize, expected);
        ASSERT_EQ(grey.size(), static_cast<std::size_t>(expected.area()));
        const int width = expected.width, height = expected.height;
        EXPECT_LT(grey[height / 4 * width + width / 4], 100) << "the red quarter is darker than the grey rest";
        EXPECT_GT(grey[3 * height / 4 * width + 3 * width / 4], 115);
    }
}

TEST(JpegCodec, RejectsWhatIsNotAJpeg)
{
    JpegCodec codec;
    const std::vector<std::uint8_t> garbage(1000, 0x42);
    Size size;
    Frame decoded;
    EXPECT_FALSE(codec.readSize(garbage.data(), garbage.size(), size));
    EXPECT_FALSE(codec.decode(garbage.data(), garbage.size(), decoded));

    // A JPEG without its frame header fails, and costs the next whole image nothing.
    const std::vector<std::uint8_t> whole = qirmeltest::encodeJpeg(qirmeltest::noiseFrame({64, 48}).data, 64, 48, 90);
    std::vector<std::uint8_t> headless = whole;
    const std::uint8_t frameHeader[] = {0xff, 0xc0};
    const auto sof = std::search(headless.begin(), headless.end(), std::begin(frameHeader), std::end(frameHeader));
    headless.erase(sof, sof + 2 + (sof[2] << 8 | sof[3]));
    EXPECT_FALSE(codec.decode(headless.data(), headless.size(), decoded));
    EXPECT_TRUE(codec.decode(whole.data(), whole.size(), decoded));
}

// Lower qualities are tried rather than exceed the budget; when none fits, the encoding fails.
TEST(JpegCodec, LowersTheQualityRatherThanExceedTheBudget)
{
    JpegCodec codec;
    const Frame noise = qirmeltest::noiseFrame({256, 256});
    std::vector<std::uint8_t> best, bounded;
    ASSERT_TRUE(codec.encode(noise.data.data(), noise.size, FrameFormat::Rgb24, 100, SIZE_MAX, best));
    const std::size_t budget = best.size() / 2;
    ASSERT_TRUE(codec.encode(noise.data.data(), noise.size, FrameFormat::Rgb24, 100, budget, bounded));
    EXPECT_LE(bounded.size(), budget);
    EXPECT_TRUE(qirmeltest::inspectJpeg(bounded).valid);
    EXPECT_FALSE(codec.encode(noise.data.data(), noise.size, FrameFormat::Rgb24, 90, 300, bounded));
}

// A turn that would lose the picture's partial blocks at its edges is refused.
TEST(JpegCodec, TurnsLosslesslyWhenBlocksAreWhole)
{
    JpegCodec codec;
    const auto jpeg = qirmeltest::encodeJpeg(qirmeltest::markedFrame({64, 48}).data, 64, 48, 90);
    std::vector<std::uint8_t> turned;
    ASSERT_TRUE(codec.turnLossless(jpeg.data(), jpeg.size(), 1, turned));
    int width = 0, height = 0;
    const auto pixels = qirmeltest::decodeJpeg(turned, width, height);
    EXPECT_EQ((Size{width, height}), (Size{48, 64}));
    EXPECT_EQ(qirmeltest::redQuarter(pixels, width, height), 1);
    // Neither side a multiple of 16.
    const auto partial = qirmeltest::encodeJpeg(qirmeltest::markedFrame({72, 40}).data, 72, 40, 90);
    EXPECT_FALSE(codec.turnLossless(partial.data(), partial.size(), 1, turned));
}
