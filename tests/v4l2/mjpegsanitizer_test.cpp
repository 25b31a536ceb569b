// The checks and repairs of single MJPG frames, on frames the library's codec made.
#include "jpegsupport.h"

#include "source/v4l2/mjpegsanitizer.h"

#include <gtest/gtest.h>

namespace v4l2test {
namespace {

using qirmel::Size;

constexpr Size kSize{320, 240};

class MjpegSanitizer : public ::testing::Test {
protected:
    const Bytes m_original = encodeJpeg(kSize);

    static bool sanitize(const Bytes &frame, Bytes &jpeg, Size size = kSize)
    {
        return qirmel::sanitizeMjpeg(frame.data(), frame.size(), size, jpeg);
    }
};

// Some cameras pad their frames after the end marker.
TEST_F(MjpegSanitizer, PassesACompleteFrameThroughWithoutItsPadding)
{
    for (const std::size_t padding : {0, 300}) {
        Bytes padded = m_original;
        padded.resize(padded.size() + padding, 0x00);
        Bytes jpeg;
        ASSERT_TRUE(sanitize(padded, jpeg));
        EXPECT_EQ(jpeg, m_original);
    }
}

// The codec codes with the standard tables, in the order the inserted ones have, so they are the
// ones to be inserted; nothing else may change. Decoding would prove nothing: the decoder fills
// in missing tables by itself, and a wrong symbol of a rare code may never show.
TEST_F(MjpegSanitizer, InsertsTheStandardHuffmanTablesWhereTheFrameHasNone)
{
    const Bytes bare = withoutHuffmanTables(m_original);
    Bytes jpeg;
    ASSERT_TRUE(sanitize(bare, jpeg));
    EXPECT_EQ(huffmanTables(jpeg), huffmanTables(m_original));
    EXPECT_EQ(withoutHuffmanTables(jpeg), bare);
}

// One row for each way the frame walk can find a frame unusable.
TEST_F(MjpegSanitizer, RejectsBrokenFrames)
{
    const auto changed = [this](auto change) {
        Bytes frame = m_original;
        change(frame);
        return frame;
    };
    const std::size_t sof = segmentOffsets(m_original, 0xc0).at(0);
    const struct {
        const char *name;
        Bytes frame;
        Size size = kSize;
    } rows[] = {
        {"empty", {}},
        {"no start marker", changed([](Bytes &f) { f[1] = 0x00; })},
        {"cut in the scan", changed([](Bytes &f) { f.resize(f.size() * 3 / 5); })},
        {"cut in the headers, with an end marker", changed([sof](Bytes &f) {
             f.resize(sof + 6);
             f.insert(f.end(), {0xff, 0xd9});
         })},
        {"no frame header",
         changed([sof](Bytes &f) { f.erase(f.begin() + sof, f.begin() + sof + segmentLength(f, sof)); })},
        {"another size", m_original, Size{640, 480}},
    };
    for (const auto &row : rows) {
        Bytes jpeg;
        EXPECT_FALSE(sanitize(row.frame, jpeg, row.size)) << row.name;
    }
}

}  // namespace
}  // namespace v4l2test
