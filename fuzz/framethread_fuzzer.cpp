// The app's frame thread against a camera library that answers whatever the input says: any frame
// size, any bytes with any reported length and result. The thread's loop runs on the fuzzer's own
// thread, one pass per input, and every emitted image is read in full.
//
// Input: width and height (16-bit, signed, little-endian), the reported length (32-bit, signed),
// the result (8-bit, signed), then the frame's bytes, of which the library copies as many as the
// buffer holds.
#include "imagethread.h"
#include "librarydouble.h"

#include <QImage>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace {

// A camera size whose buffer would be larger, yet within the int range that the thread accepts, only
// costs the fuzzer memory it never touches. Sizes past that range stay: refusing them is under test.
constexpr long long kMaxBufferBytes = 64LL << 20;
constexpr std::size_t kHeaderBytes = 9;

struct Answers {
    int width = 0;
    int height = 0;
    int length = 0;
    int result = 0;
    const std::uint8_t *bytes = nullptr;
    std::size_t byteCount = 0;
};

class FuzzedFrameThread : public ImageThread {
public:
    using ImageThread::run;
};

Answers g_answers;
FuzzedFrameThread *g_thread = nullptr;

template <typename Int>
Int readLittleEndian(const std::uint8_t *data)
{
    std::make_unsigned_t<Int> value = 0;
    for (std::size_t i = 0; i < sizeof(Int); ++i)
        value |= static_cast<std::make_unsigned_t<Int>>(data[i]) << (8 * i);
    return static_cast<Int>(value);
}

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// Reads every pixel, so that an image over freed or foreign memory shows.
void inspect(const QImage &image)
{
    if (image.isNull())
        return;
    check(image.width() > 0 && image.height() > 0);
    check(image.format() == QImage::Format_RGB32);
    unsigned sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            sum += line[x];
    }
    // Keeps the reads from being optimised away.
    asm volatile("" : : "r"(sum));
}

// The camera library as far as the frame thread calls it: the current size and the frame, as the
// input says. The rest, which only the window calls, answers as the double does.
class FuzzedLibrary : public LibraryDouble {
public:
    int GetCurResWidth() override { return g_answers.width; }

    // One pass per input: the loop looks at the stop only before its next pass, so this one reads
    // its frame, or finds no usable size, and the loop ends.
    int GetCurResHeight() override
    {
        g_thread->stop();
        return g_answers.height;
    }

    int GetFrameBuffer(unsigned char *buffer, int *length) override
    {
        const std::size_t capacity = std::size_t(g_answers.width) * std::size_t(g_answers.height) * 3;
        std::memcpy(buffer, g_answers.bytes, std::min(capacity, g_answers.byteCount));
        *length = g_answers.length;
        return g_answers.result;
    }
};

}  // namespace

extern "C" {

int LLVMFuzzerInitialize(int *, char ***)
{
    // The thread logs every run's start and end; at thousands of runs a second that is noise.
    std::freopen("/dev/null", "w", stdout);
    static FuzzedLibrary library;
    LibraryDouble::install(&library);
    static FuzzedFrameThread thread;
    g_thread = &thread;
    QObject::connect(
        &thread, &ImageThread::SendImageProcessing, &thread,
        [](const QImage &image, int result) {
            check(result >= 0);
            inspect(image);
        },
        Qt::DirectConnection);
    return 0;
}

int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < kHeaderBytes)
        return 0;
    Answers answers;
    answers.width = readLittleEndian<std::int16_t>(data);
    answers.height = readLittleEndian<std::int16_t>(data + 2);
    answers.length = readLittleEndian<std::int32_t>(data + 4);
    answers.result = static_cast<std::int8_t>(data[8]);
    answers.bytes = data + kHeaderBytes;
    answers.byteCount = size - kHeaderBytes;
    const long long bytes = 3LL * answers.width * answers.height;
    if (answers.width > 0 && answers.height > 0 && bytes > kMaxBufferBytes && bytes <= INT_MAX)
        return 0;
    g_answers = answers;
    g_thread->run();
    return 0;
}

}  // extern "C"
