// The checks and repairs of single MJPG frames, on frames TurboJPEG made.
#include "jpegsupport.h"

#include "source/v4l2/mjpegsanitizer.h"

#include <gtest/gtest.h>

#include <functional>

namespace v4l2test {
namespace {

using qirmel::sanitizeMjpeg;
using qirmel::Size;

constexpr Size kSize{320, 240};

class MjpegSanitizer : public ::testing::Test {
protected:
    const Bytes m_original = encodeJpeg(kSize.width, kSize.height);

    bool sanitize(const Bytes &frame, Bytes &jpeg, Size size = kSize)
    {
        return sanitizeMjpeg(frame.data(), frame.size(), size, jpeg);
    }
};

// Some cameras pad their frames after the end marker.
TEST_F(MjpegSanitizer, PassesACompleteFrameThroughWithoutItsPadding)
{
    ASSERT_EQ(huffmanTables(m_original).size(), 4u);
    for (const std::size_t padding : {0, 300}) {
        Bytes padded = m_original;
        padded.resize(padded.size() + padding, 0x00);
        Bytes jpeg;
        ASSERT_TRUE(sanitize(padded, jpeg));
        EXPECT_EQ(jpeg, m_original);
    }
}

// TurboJPEG codes with the standard tables unless told to optimise, so the tables it writes are
// the ones to be inserted; nothing else may change.
TEST_F(MjpegSanitizer, InsertsTheStandardHuffmanTablesWhereTheFrameHasNone)
{
    const Bytes bare = withoutHuffmanTables(m_original);
    ASSERT_TRUE(huffmanTables(bare).empty());
    Bytes jpeg;
    ASSERT_TRUE(sanitize(bare, jpeg));
    EXPECT_EQ(huffmanTables(jpeg), huffmanTables(m_original));
    EXPECT_EQ(withoutHuffmanTables(jpeg), bare);
}

struct BrokenFrame {
    const char *name;
    std::function<void(Bytes &)> damage;
    Size expected = kSize;
};

class BrokenFrames : public MjpegSanitizer, public ::testing::WithParamInterface<BrokenFrame> {};

TEST_P(BrokenFrames, AreRejected)
{
    Bytes frame = m_original;
    GetParam().damage(frame);
    Bytes jpeg;
    EXPECT_FALSE(sanitize(frame, jpeg, GetParam().expected));
}

// The offset of the first segment with marker, for damage done to it.
std::size_t segmentOffset(const Bytes &jpeg, std::uint8_t marker)
{
    std::size_t pos = 2;
    while (jpeg[pos + 1] != marker)
        pos += 2 + (static_cast<std::size_t>(jpeg[pos + 2]) << 8 | jpeg[pos + 3]);
    return pos;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BrokenFrames,
    ::testing::Values(
        BrokenFrame{"Empty", [](Bytes &f) { f.clear(); }},
        BrokenFrame{"NoStartMarker", [](Bytes &f) { f[1] = 0x00; }},
        BrokenFrame{"NoEndMarker", [](Bytes &f) { f.resize(f.size() - 2); }},
        BrokenFrame{"EndMarkerOverwritten", [](Bytes &f) { f[f.size() - 1] = 0x00; }},
        BrokenFrame{"CutInTheScan", [](Bytes &f) { f.resize(f.size() * 3 / 5); }},
        BrokenFrame{"CutInTheHeadersWithAnEndMarker",
                    [](Bytes &f) {
                        f.resize(segmentOffset(f, 0xc0) + 6);
                        f.insert(f.end(), {0xff, 0xd9});
                    }},
        BrokenFrame{"SegmentRunsPastTheEnd",
                    [](Bytes &f) {
                        const std::size_t dqt = segmentOffset(f, 0xdb);
                        f[dqt + 2] = 0xff;
                        f[dqt + 3] = 0xff;
                    }},
        BrokenFrame{"NoFrameHeader",
                    [](Bytes &f) {
                        const std::size_t sof = segmentOffset(f, 0xc0);
                        f.erase(f.begin() + static_cast<std::ptrdiff_t>(sof),
                                f.begin() + static_cast<std::ptrdiff_t>(sof + 2 + (f[sof + 2] << 8 | f[sof + 3])));
                    }},
        BrokenFrame{"OnlyStartAndEnd", [](Bytes &f) { f = {0xff, 0xd8, 0xff, 0xd9}; }},
        BrokenFrame{"OtherSize", [](Bytes &) {}, Size{640, 480}}),
    [](const ::testing::TestParamInfo<BrokenFrame> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace v4l2test
