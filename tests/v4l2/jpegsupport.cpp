#include "jpegsupport.h"

#include "fakev4l2.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace v4l2test {

namespace {

struct TjDeleter {
    void operator()(void *handle) const { tjDestroy(handle); }
};

struct TjBufferDeleter {
    void operator()(unsigned char *buffer) const { tjFree(buffer); }
};

struct Segment {
    std::uint8_t marker;
    std::size_t start;   // of the 0xff
    std::size_t length;  // of the whole segment, marker included
};

std::vector<Segment> headerSegments(const Bytes &jpeg)
{
    std::vector<Segment> segments;
    if (jpeg.size() < 4 || jpeg[0] != 0xff || jpeg[1] != 0xd8)
        return segments;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xff) {
        const std::size_t length = 2 + (static_cast<std::size_t>(jpeg[pos + 2]) << 8 | jpeg[pos + 3]);
        segments.push_back(Segment{jpeg[pos + 1], pos, length});
        if (jpeg[pos + 1] == 0xda)
            break;
        pos += length;
    }
    return segments;
}

}  // namespace

std::vector<std::uint8_t> headerMarkers(const Bytes &jpeg)
{
    std::vector<std::uint8_t> markers;
    for (const Segment &segment : headerSegments(jpeg))
        markers.push_back(segment.marker);
    return markers;
}

long frameNumber(const Bytes &jpeg)
{
    static const std::string kPrefix = "fake frame ";
    for (const Segment &segment : headerSegments(jpeg)) {
        if (segment.marker != 0xfe)
            continue;
        const std::string text(jpeg.begin() + static_cast<std::ptrdiff_t>(segment.start + 4),
                               jpeg.begin() + static_cast<std::ptrdiff_t>(segment.start + segment.length));
        if (text.compare(0, kPrefix.size(), kPrefix) == 0)
            return std::strtol(text.c_str() + kPrefix.size(), nullptr, 10);
    }
    return -1;
}

std::vector<Bytes> huffmanTables(const Bytes &jpeg)
{
    std::vector<Bytes> tables;
    for (const Segment &segment : headerSegments(jpeg)) {
        if (segment.marker != 0xc4)
            continue;
        std::size_t pos = segment.start + 4;
        const std::size_t end = segment.start + segment.length;
        while (pos + 17 <= end) {
            std::size_t symbols = 0;
            for (std::size_t i = 1; i <= 16; ++i)
                symbols += jpeg[pos + i];
            const std::size_t tableEnd = std::min(pos + 17 + symbols, end);
            tables.emplace_back(jpeg.begin() + static_cast<std::ptrdiff_t>(pos),
                                jpeg.begin() + static_cast<std::ptrdiff_t>(tableEnd));
            pos = tableEnd;
        }
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

Bytes withoutHuffmanTables(const Bytes &jpeg)
{
    Bytes out = jpeg;
    const auto segments = headerSegments(jpeg);
    for (auto segment = segments.rbegin(); segment != segments.rend(); ++segment) {
        if (segment->marker == 0xc4)
            out.erase(out.begin() + static_cast<std::ptrdiff_t>(segment->start),
                      out.begin() + static_cast<std::ptrdiff_t>(segment->start + segment->length));
    }
    return out;
}

Bytes decodeRgb(const Bytes &jpeg, int &width, int &height)
{
    const std::unique_ptr<void, TjDeleter> decompressor(tjInitDecompress());
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(decompressor.get(), jpeg.data(), jpeg.size(), &width, &height, &subsampling,
                            &colorspace) != 0)
        return {};
    Bytes rgb(static_cast<std::size_t>(width) * height * 3);
    if (tjDecompress2(decompressor.get(), jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB, 0) != 0)
        return {};
    return rgb;
}

Bytes encodeTestPicture(int width, int height)
{
    Bytes rgb(static_cast<std::size_t>(width) * height * 3);
    fakev4l2_render(width, height, 0, rgb.data());
    const std::unique_ptr<void, TjDeleter> compressor(tjInitCompress());
    unsigned char *jpeg = nullptr;
    unsigned long length = 0;
    if (tjCompress2(compressor.get(), rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &length, TJSAMP_422, 85, 0) != 0)
        return {};
    const std::unique_ptr<unsigned char, TjBufferDeleter> owner(jpeg);
    return Bytes(jpeg, jpeg + length);
}

double meanDifference(const Bytes &a, const Bytes &b)
{
    if (a.size() != b.size() || a.empty())
        return 255;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
    return sum / static_cast<double>(a.size());
}

}  // namespace v4l2test
