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

std::vector<std::size_t> segmentOffsets(const Bytes &jpeg, std::uint8_t marker)
{
    std::vector<std::size_t> offsets;
    for (std::size_t pos = 2; pos + 4 <= jpeg.size() && jpeg[pos] == 0xff && jpeg[pos + 1] != 0xda;
         pos += segmentLength(jpeg, pos)) {
        if (jpeg[pos + 1] == marker)
            offsets.push_back(pos);
    }
    return offsets;
}

std::size_t segmentLength(const Bytes &jpeg, std::size_t offset)
{
    return 2 + (static_cast<std::size_t>(jpeg[offset + 2]) << 8 | jpeg[offset + 3]);
}

Bytes huffmanTables(const Bytes &jpeg)
{
    Bytes tables;
    for (const std::size_t dht : segmentOffsets(jpeg, 0xc4))
        tables.insert(tables.end(), jpeg.begin() + dht + 4, jpeg.begin() + dht + segmentLength(jpeg, dht));
    return tables;
}

Bytes withoutHuffmanTables(Bytes jpeg)
{
    const auto tables = segmentOffsets(jpeg, 0xc4);
    for (auto dht = tables.rbegin(); dht != tables.rend(); ++dht)
        jpeg.erase(jpeg.begin() + *dht, jpeg.begin() + *dht + segmentLength(jpeg, *dht));
    return jpeg;
}

long frameNumber(const Bytes &jpeg)
{
    return jpeg.size() > 8 && jpeg[2] == 0xff && jpeg[3] == 0xfe ? jpeg[6] << 8 | jpeg[7] : -1;
}

}  // namespace v4l2test
