#include "jpegsupport.h"

#include "core/jpegcodec.h"

#include <limits>

namespace v4l2test {

Bytes encodeJpeg(qirmel::Size size)
{
    Bytes rgb(static_cast<std::size_t>(size.area()) * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<std::uint8_t>(i % 3 == 0 ? i / 3 % 256 : i / 3 / static_cast<std::size_t>(size.width));
    Bytes jpeg;
    qirmel::JpegCodec().encode(rgb.data(), size, qirmel::FrameFormat::Rgb24, 85,
                               std::numeric_limits<std::size_t>::max(), jpeg);
    return jpeg;
}

qirmel::Frame decoded(const Bytes &jpeg)
{
    qirmel::Frame frame;
    if (!qirmel::JpegCodec().decode(jpeg.data(), jpeg.size(), frame))
        frame.data.clear();
    return frame;
}

std::size_t segmentOffset(const Bytes &jpeg, std::uint8_t marker)
{
    for (std::size_t pos = 2; pos + 4 <= jpeg.size() && jpeg[pos] == 0xff && jpeg[pos + 1] != 0xda;
         pos += segmentLength(jpeg, pos)) {
        if (jpeg[pos + 1] == marker)
            return pos;
    }
    return 0;
}

std::size_t segmentLength(const Bytes &jpeg, std::size_t offset)
{
    return 2 + (static_cast<std::size_t>(jpeg[offset + 2]) << 8 | jpeg[offset + 3]);
}

Bytes withoutHuffmanTables(Bytes jpeg)
{
    for (std::size_t dht = 0; (dht = segmentOffset(jpeg, 0xc4)) != 0;) {
        const auto start = jpeg.begin() + static_cast<std::ptrdiff_t>(dht);
        jpeg.erase(start, start + static_cast<std::ptrdiff_t>(segmentLength(jpeg, dht)));
    }
    return jpeg;
}

long frameNumber(const Bytes &jpeg)
{
    const std::size_t comment = segmentOffset(jpeg, 0xfe);
    return comment == 0 ? -1 : jpeg[comment + 4] << 8 | jpeg[comment + 5];
}

}  // namespace v4l2test
