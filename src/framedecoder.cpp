#include "framedecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <turbojpeg.h>

#include <cstring>
#include <new>

namespace {

// Byte order of QImage::Format_RGB32 (0xffRRGGBB in a native 32-bit word) in TurboJPEG terms.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr int kRgb32PixelFormat = TJPF_BGRX;
#else
constexpr int kRgb32PixelFormat = TJPF_XRGB;
#endif

constexpr int kBytesPerPixel = 4;

bool looksLikeJpeg(const unsigned char *data, int length)
{
    return length >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// False for a PNG frame with a chunk that claims to be longer than the whole frame: libpng reserves
// a chunk's declared length, up to 2 GiB, before it finds the data missing. A chunk that is merely
// cut off by the frame's end claims no more than the frame holds, and decodes as far as it goes.
bool pngChunksFit(const unsigned char *data, int length)
{
    const std::size_t size = std::size_t(length);
    if (size < sizeof kPngSignature || std::memcmp(data, kPngSignature, sizeof kPngSignature) != 0)
        return true;
    constexpr std::size_t kChunkFrame = 12;  // length, type and checksum around a chunk's data
    std::size_t pos = sizeof kPngSignature;
    while (pos + 4 <= size) {
        const std::size_t chunkLength = std::size_t(data[pos]) << 24 | std::size_t(data[pos + 1]) << 16 |
                                        std::size_t(data[pos + 2]) << 8 | data[pos + 3];
        if (chunkLength > size)
            return false;
        // What follows the image's end chunk is no part of it, and libpng never reads it.
        if (pos + 8 <= size && std::memcmp(data + pos + 4, "IEND", 4) == 0)
            return true;
        pos += kChunkFrame + chunkLength;
    }
    return true;
}

}  // namespace

struct FrameDecoder::Buffer {
    std::unique_ptr<uchar[]> pixels;
    std::size_t size = 0;
    // Set by the frame thread when an image is made from the buffer, cleared by whichever thread
    // drops the image's last copy.
    std::atomic<bool> taken{false};
};

struct FrameDecoder::TurboJpegHandle {
    tjhandle handle = tjInitDecompress();
    ~TurboJpegHandle()
    {
        if (handle)
            tjDestroy(handle);
    }
};

FrameDecoder::FrameDecoder() : m_turboJpeg(std::make_unique<TurboJpegHandle>())
{
    for (auto &buffer : m_buffers)
        buffer = std::make_shared<Buffer>();
}

FrameDecoder::~FrameDecoder() = default;

bool FrameDecoder::hasFreeBuffer() const
{
    for (const auto &buffer : m_buffers) {
        if (!buffer->taken.load(std::memory_order_acquire))
            return true;
    }
    return false;
}

std::shared_ptr<FrameDecoder::Buffer> FrameDecoder::takeFreeBuffer(std::size_t bytes)
{
    for (const auto &buffer : m_buffers) {
        if (buffer->taken.load(std::memory_order_acquire))
            continue;
        // Grow only: a buffer sized for the largest frame seen is reused without touching the
        // allocator again, so steady streaming maps no fresh memory per frame. A buffer that must
        // grow lets its old pixels go first, so that a switch to a larger size never holds the old
        // and the new memory at once. Memory that isn't there means no frame, never a crash.
        if (buffer->size < bytes) {
            buffer->pixels.reset();
            buffer->size = 0;
            buffer->pixels.reset(new (std::nothrow) uchar[bytes]);
            if (!buffer->pixels)
                return nullptr;
            buffer->size = bytes;
        }
        return buffer;
    }
    return nullptr;
}

QImage FrameDecoder::wrap(std::shared_ptr<Buffer> buffer, int width, int height)
{
    buffer->taken.store(true, std::memory_order_relaxed);
    // The image owns a reference to its buffer, so the buffer outlives even a decoder destroyed
    // while images are still queued.
    auto owner = std::make_unique<std::shared_ptr<Buffer>>(buffer);
    auto release = [](void *info) {
        std::unique_ptr<std::shared_ptr<Buffer>> owner(static_cast<std::shared_ptr<Buffer> *>(info));
        (*owner)->taken.store(false, std::memory_order_release);
    };
    QImage image(buffer->pixels.get(), width, height, width * kBytesPerPixel, QImage::Format_RGB32, release,
                 owner.release());
    return image;
}

QImage FrameDecoder::decode(const unsigned char *data, int length, qint64 maxPixels)
{
    if (!data || length <= 0)
        return QImage();
    return looksLikeJpeg(data, length) ? decodeJpeg(data, length, maxPixels) : decodeOther(data, length, maxPixels);
}

QImage FrameDecoder::decodeJpeg(const unsigned char *data, int length, qint64 maxPixels)
{
    bool decompressed = false;
    QImage image = decodeJpegWith(m_turboJpeg->handle, data, length, maxPixels, decompressed);
    // TurboJPEG leaves a decompressor whose header read failed, or was not followed by a decode,
    // in the middle of a stream, which fails the next frame: a fresh one takes its place.
    if (!decompressed)
        m_turboJpeg = std::make_unique<TurboJpegHandle>();
    return image;
}

QImage FrameDecoder::decodeJpegWith(tjhandle handle, const unsigned char *data, int length, qint64 maxPixels,
                                    bool &decompressed)
{
    if (!handle)
        return QImage();
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(handle, data, static_cast<unsigned long>(length), &width, &height, &subsampling,
                            &colorspace) != 0)
        return QImage();
    // TurboJPEG can't turn CMYK into RGB; Qt's reader can, and no camera stream uses it.
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK)
        return decodeOther(data, length, maxPixels);
    // The header is only a few bytes of a possibly damaged frame: its size is trusted no further
    // than the camera's own frame size, so a broken frame can't make the decoder take gigabytes.
    if (width <= 0 || height <= 0 || qint64(width) * height > maxPixels)
        return QImage();

    auto buffer = takeFreeBuffer(std::size_t(width) * height * kBytesPerPixel);
    if (!buffer)
        return QImage();
    // A warning (a truncated or slightly damaged stream) still leaves a picture, as any viewer
    // would show; only a fatal error means no frame.
    decompressed = true;
    if (tjDecompress2(handle, data, static_cast<unsigned long>(length), buffer->pixels.get(), width,
                      width * kBytesPerPixel, height, kRgb32PixelFormat, 0) != 0 &&
        tjGetErrorCode(handle) != TJERR_WARNING)
        return QImage();
    return wrap(std::move(buffer), width, height);
}

QImage FrameDecoder::decodeOther(const unsigned char *data, int length, qint64 maxPixels)
{
    if (!pngChunksFit(data, length))
        return QImage();
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), length);
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device);
    // As with JPEG, a size the header claims beyond the camera's frame size is refused before the
    // reader allocates for it.
    const QSize claimed = reader.size();
    if (claimed.isValid() && qint64(claimed.width()) * claimed.height() > maxPixels)
        return QImage();
    QImage loaded = reader.read();
    if (loaded.isNull() || qint64(loaded.width()) * loaded.height() > maxPixels)
        return QImage();
    loaded = loaded.convertToFormat(QImage::Format_RGB32);
    auto buffer = takeFreeBuffer(std::size_t(loaded.width()) * loaded.height() * kBytesPerPixel);
    if (!buffer)
        return QImage();
    for (int y = 0; y < loaded.height(); ++y)
        std::memcpy(buffer->pixels.get() + std::size_t(y) * loaded.width() * kBytesPerPixel, loaded.constScanLine(y),
                    std::size_t(loaded.width()) * kBytesPerPixel);
    return wrap(std::move(buffer), loaded.width(), loaded.height());
}
