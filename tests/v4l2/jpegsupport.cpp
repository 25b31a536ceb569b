#include "jpegsupport.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace v4l2test {

namespace {

struct TjDeleter {
    void operator()(void *handle) const { tjDestroy(handle); }
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
    for (std::size_t pos = 2; pos + 4 <= jpeg.size() && jpeg[pos] == 0xff;) {
        const std::size_t length = 2 + (static_cast<std::size_t>(jpeg[pos + 2]) << 8 | jpeg[pos + 3]);
        segments.push_back(Segment{jpeg[pos + 1], pos, length});
        if (jpeg[pos + 1] == 0xda)
            break;
        pos += segments.back().length;
    }
    return segments;
}

}  // namespace

Bytes encodeJpeg(int width, int height)
{
    Bytes rgb(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<std::uint8_t>(i % 3 == 0 ? i / 3 % width : i / 3 / width * 255 / height);
    const std::unique_ptr<void, TjDeleter> compressor(tjInitCompress());
    unsigned char *jpeg = nullptr;
    unsigned long length = 0;
    if (tjCompress2(compressor.get(), rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &length, TJSAMP_422, 85, 0) != 0)
        return {};
    const Bytes result(jpeg, jpeg + length);
    tjFree(jpeg);
    return result;
}

qirmel::Size decodedSize(const Bytes &jpeg)
{
    const std::unique_ptr<void, TjDeleter> decompressor(tjInitDecompress());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(decompressor.get(), jpeg.data(), jpeg.size(), &width, &height, &subsampling,
                            &colorspace) != 0)
        return {};
    Bytes rgb(static_cast<std::size_t>(width) * height * 3);
    if (tjDecompress2(decompressor.get(), jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB, 0) != 0)
        return {};
    return qirmel::Size{width, height};
}

long frameNumber(const Bytes &jpeg)
{
    const std::string prefix = "fake frame ";
    for (const Segment &segment : headerSegments(jpeg)) {
        const std::string text(jpeg.begin() + static_cast<std::ptrdiff_t>(segment.start + 4),
                               jpeg.begin() + static_cast<std::ptrdiff_t>(segment.start + segment.length));
        if (segment.marker == 0xfe && text.compare(0, prefix.size(), prefix) == 0)
            return std::strtol(text.c_str() + prefix.size(), nullptr, 10);
    }
    return -1;
}

std::vector<Bytes> huffmanTables(const Bytes &jpeg)
{
    std::vector<Bytes> tables;
    for (const Segment &segment : headerSegments(jpeg)) {
        const std::size_t end = segment.start + segment.length;
        for (std::size_t pos = segment.start + 4; segment.marker == 0xc4 && pos + 17 <= end;) {
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

}  // namespace v4l2test
