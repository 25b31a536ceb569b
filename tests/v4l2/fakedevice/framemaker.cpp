#include "framemaker.h"

#include <linux/videodev2.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace fakev4l2 {

namespace {

constexpr unsigned kVariants = 4;
constexpr int kQuality = 85;

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr Rgb kDesk{70, 55, 40};
constexpr Rgb kPage{235, 235, 230};
constexpr Rgb kStripe{20, 20, 20};
constexpr Rgb kBars[] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                         {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};

struct TjDeleter {
    void operator()(void *handle) const { tjDestroy(handle); }
};

struct TjBufferDeleter {
    void operator()(unsigned char *buffer) const { tjFree(buffer); }
};

std::vector<std::uint8_t> encodeJpeg(const std::vector<std::uint8_t> &rgb, FrameSize size)
{
    const std::unique_ptr<void, TjDeleter> compressor(tjInitCompress());
    unsigned char *jpeg = nullptr;
    unsigned long length = 0;
    if (!compressor ||
        tjCompress2(compressor.get(), rgb.data(), static_cast<int>(size.width), 0, static_cast<int>(size.height),
                    TJPF_RGB, &jpeg, &length, TJSAMP_422, kQuality, 0) != 0)
        throw std::runtime_error("fakev4l2: TurboJPEG cannot encode a frame");
    const std::unique_ptr<unsigned char, TjBufferDeleter> owner(jpeg);
    return std::vector<std::uint8_t>(jpeg, jpeg + length);
}

// Drops the DHT segments in front of the scan, as cameras that rely on the standard tables do.
std::vector<std::uint8_t> withoutHuffmanTables(const std::vector<std::uint8_t> &jpeg)
{
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos + 1] != 0xda) {
        const std::size_t length = 2 + (static_cast<std::size_t>(jpeg[pos + 2]) << 8 | jpeg[pos + 3]);
        if (jpeg[pos + 1] != 0xc4)
            out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(pos),
                       jpeg.begin() + static_cast<std::ptrdiff_t>(pos + length));
        pos += length;
    }
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(pos), jpeg.end());
    return out;
}

std::uint8_t clampByte(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// BT.601 video range, as UVC cameras send it, in fixed point with 8 fractional bits.
std::vector<std::uint8_t> toYuyv(const std::vector<std::uint8_t> &rgb, FrameSize size)
{
    std::vector<std::uint8_t> yuyv(static_cast<std::size_t>(size.width) * size.height * 2);
    for (std::size_t pixel = 0; pixel < static_cast<std::size_t>(size.width) * size.height; pixel += 2) {
        int u = 0;
        int v = 0;
        for (std::size_t k = 0; k < 2; ++k) {
            const int r = rgb[(pixel + k) * 3];
            const int g = rgb[(pixel + k) * 3 + 1];
            const int b = rgb[(pixel + k) * 3 + 2];
            yuyv[(pixel + k) * 2] = clampByte(16 + ((66 * r + 129 * g + 25 * b + 128) >> 8));
            u += 128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8);
            v += 128 + ((112 * r - 94 * g - 18 * b + 128) >> 8);
        }
        yuyv[pixel * 2 + 1] = clampByte((u + 1) / 2);
        yuyv[pixel * 2 + 3] = clampByte((v + 1) / 2);
    }
    return yuyv;
}

}  // namespace

void renderPattern(int width, int height, unsigned variant, std::uint8_t *rgb)
{
    const int pageLeft = width / 8;
    const int pageRight = width - width / 8;
    const int pageTop = height / 10;
    const int pageBottom = height - height / 10;
    const int stripeTop = pageTop + height / 20 + static_cast<int>(variant % kVariants) * height / 40;
    const int stripeBottom = stripeTop + std::max(height / 50, 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb colour = kDesk;
            if (x >= pageLeft && x < pageRight && y >= pageTop && y < pageBottom) {
                colour = kPage;
                if (y >= stripeTop && y < stripeBottom)
                    colour = kStripe;
                else if (y >= height * 2 / 5 && y < height * 3 / 4)
                    colour = kBars[(x - pageLeft) * 8 / (pageRight - pageLeft)];
            }
            std::uint8_t *pixel = rgb + (static_cast<std::size_t>(y) * width + x) * 3;
            pixel[0] = colour.r;
            pixel[1] = colour.g;
            pixel[2] = colour.b;
        }
    }
}

FrameMaker::FrameMaker(const DeviceDescription &description)
    : m_huffman(description.huffman), m_badEvery(description.badEvery), m_badKinds(description.badKinds)
{
}

const std::vector<std::vector<std::uint8_t>> &FrameMaker::variants(std::uint32_t pixelFormat, FrameSize size)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    auto &variants = m_variants[Key{pixelFormat, size.width, size.height}];
    if (variants.empty()) {
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(size.width) * size.height * 3);
        for (unsigned variant = 0; variant < kVariants; ++variant) {
            renderPattern(static_cast<int>(size.width), static_cast<int>(size.height), variant, rgb.data());
            if (pixelFormat == V4L2_PIX_FMT_YUYV)
                variants.push_back(toYuyv(rgb, size));
            else if (m_huffman)
                variants.push_back(encodeJpeg(rgb, size));
            else
                variants.push_back(withoutHuffmanTables(encodeJpeg(rgb, size)));
        }
    }
    return variants;
}

FrameMaker::Written FrameMaker::write(std::uint32_t pixelFormat, FrameSize size, std::uint32_t number,
                                      std::uint8_t *buffer, std::size_t capacity)
{
    const std::vector<std::uint8_t> &picture = variants(pixelFormat, size)[number % kVariants];
    std::vector<std::uint8_t> frame;
    if (pixelFormat == V4L2_PIX_FMT_YUYV) {
        frame = picture;
    } else {
        char text[32];
        const int textLength = std::snprintf(text, sizeof text, "fake frame %u", number);
        const auto segmentLength = static_cast<std::size_t>(textLength) + 2;
        frame.assign(picture.begin(), picture.begin() + 2);
        frame.insert(frame.end(), {0xff, 0xfe, static_cast<std::uint8_t>(segmentLength >> 8),
                                   static_cast<std::uint8_t>(segmentLength & 0xff)});
        frame.insert(frame.end(), text, text + textLength);
        frame.insert(frame.end(), picture.begin() + 2, picture.end());
    }

    Written written;
    if (m_badEvery > 0 && (number + 1) % static_cast<unsigned>(m_badEvery) == 0) {
        const std::size_t badIndex = (number + 1) / static_cast<unsigned>(m_badEvery) - 1;
        switch (m_badKinds[badIndex % m_badKinds.size()]) {
        case BadKind::Error:
            written.error = true;
            break;
        case BadKind::NoStart:
            if (pixelFormat != V4L2_PIX_FMT_YUYV)
                frame[0] = frame[1] = 0;
            break;
        case BadKind::NoEnd:
            if (pixelFormat != V4L2_PIX_FMT_YUYV)
                frame.resize(frame.size() - 2);
            break;
        case BadKind::Truncated:
            frame.resize(frame.size() * 3 / 5);
            break;
        }
    }
    written.bytes = std::min(frame.size(), capacity);
    std::memcpy(buffer, frame.data(), written.bytes);
    return written;
}

}  // namespace fakev4l2
