// Conversion of YUYV pictures, colour by colour.
#include "source/v4l2/yuyvtorgb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace v4l2test {
namespace {

using qirmel::Frame;
using qirmel::FrameFormat;
using qirmel::Size;

struct Colour {
    const char *name;
    std::uint8_t y, u, v;
    int r, g, b;
};

class YuyvToRgb : public ::testing::TestWithParam<Colour> {};

// A 4x2 picture of one colour, its rows padded to 12 bytes with junk that must not show.
TEST_P(YuyvToRgb, ConvertsVideoRangeBt601)
{
    const Colour &colour = GetParam();
    constexpr std::size_t kBytesPerLine = 12;
    std::vector<std::uint8_t> yuyv(kBytesPerLine * 2, 0x77);
    const std::uint8_t pair[] = {colour.y, colour.u, colour.y, colour.v};
    for (std::size_t i = 0; i < 4; ++i)
        std::copy(std::begin(pair), std::end(pair), yuyv.begin() + i / 2 * kBytesPerLine + i % 2 * 4);
    Frame frame;
    qirmel::convertYuyvToRgb(yuyv.data(), kBytesPerLine, Size{4, 2}, frame);
    EXPECT_EQ(frame.format, FrameFormat::Rgb24);
    EXPECT_EQ(frame.size, (Size{4, 2}));
    ASSERT_EQ(frame.data.size(), 4u * 2 * 3);
    const int rgb[] = {colour.r, colour.g, colour.b};
    for (std::size_t i = 0; i < frame.data.size(); ++i)
        EXPECT_LE(std::abs(frame.data[i] - rgb[i % 3]), 2) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Colours, YuyvToRgb,
    ::testing::Values(Colour{"Black", 16, 128, 128, 0, 0, 0}, Colour{"White", 235, 128, 128, 255, 255, 255},
                      Colour{"Grey", 126, 128, 128, 128, 128, 128}, Colour{"Red", 81, 90, 240, 255, 0, 0},
                      Colour{"Green", 145, 54, 34, 0, 255, 0}, Colour{"Blue", 41, 240, 110, 0, 0, 255}),
    [](const ::testing::TestParamInfo<Colour> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace v4l2test
