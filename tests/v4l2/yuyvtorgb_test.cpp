// Conversion of YUYV pictures, colour by colour.
#include "source/v4l2/yuyvtorgb.h"

#include <gtest/gtest.h>

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
    for (std::size_t row = 0; row < 2; ++row) {
        for (std::size_t pair = 0; pair < 2; ++pair) {
            std::uint8_t *p = &yuyv[row * kBytesPerLine + pair * 4];
            p[0] = colour.y;
            p[1] = colour.u;
            p[2] = colour.y;
            p[3] = colour.v;
        }
    }
    Frame frame;
    qirmel::convertYuyvToRgb(yuyv.data(), kBytesPerLine, Size{4, 2}, frame);
    EXPECT_EQ(frame.format, FrameFormat::Rgb24);
    EXPECT_EQ(frame.size, (Size{4, 2}));
    ASSERT_EQ(frame.data.size(), 4u * 2 * 3);
    for (std::size_t pixel = 0; pixel < 8; ++pixel) {
        EXPECT_LE(std::abs(frame.data[pixel * 3] - colour.r), 2) << "red of pixel " << pixel;
        EXPECT_LE(std::abs(frame.data[pixel * 3 + 1] - colour.g), 2) << "green of pixel " << pixel;
        EXPECT_LE(std::abs(frame.data[pixel * 3 + 2] - colour.b), 2) << "blue of pixel " << pixel;
    }
}

INSTANTIATE_TEST_SUITE_P(Colours, YuyvToRgb,
                         ::testing::Values(Colour{"Black", 16, 128, 128, 0, 0, 0},
                                           Colour{"White", 235, 128, 128, 255, 255, 255},
                                           Colour{"Grey", 126, 128, 128, 128, 128, 128},
                                           Colour{"Red", 81, 90, 240, 255, 0, 0},
                                           Colour{"Green", 145, 54, 34, 0, 255, 0},
                                           Colour{"Blue", 41, 240, 110, 0, 0, 255}),
                         [](const ::testing::TestParamInfo<Colour> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace v4l2test
