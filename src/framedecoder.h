#ifndef FRAMEDECODER_H
#define FRAMEDECODER_H

#include <QImage>

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>

// Turns one encoded camera frame into a QImage on the frame thread. JPEG goes straight from
// TurboJPEG into one of a few reused pixel buffers; anything else falls back to Qt's image
// readers. Each buffer stays taken while any copy of the image made from it is alive, so the
// number of decoded frames waiting for the GUI thread can never exceed the number of buffers.
class FrameDecoder {
public:
    static constexpr int kBufferCount = 2;

    FrameDecoder();
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder &) = delete;
    FrameDecoder &operator=(const FrameDecoder &) = delete;

    // False while every buffer is held by images not yet released: decoding now would have
    // nowhere to go, so the caller drops the frame.
    bool hasFreeBuffer() const;

    // Decodes length bytes of data into an image of at most maxPixels pixels. A frame that doesn't
    // decode gives a null image; so does one whose header claims more pixels, which no camera of
    // that frame size sends, and a decodable one when no buffer is free.
    QImage decode(const unsigned char *data, int length, qint64 maxPixels);

private:
    struct Buffer;
    struct TurboJpegHandle;

    std::shared_ptr<Buffer> takeFreeBuffer(std::size_t bytes);
    QImage wrap(std::shared_ptr<Buffer> buffer, int width, int height);
    QImage decodeJpeg(const unsigned char *data, int length, qint64 maxPixels);
    // decompressed tells whether the handle went on from the header to a decode.
    QImage decodeJpegWith(void *handle, const unsigned char *data, int length, qint64 maxPixels, bool &decompressed);
    QImage decodeOther(const unsigned char *data, int length, qint64 maxPixels);

    std::unique_ptr<TurboJpegHandle> m_turboJpeg;
    std::array<std::shared_ptr<Buffer>, kBufferCount> m_buffers;
};

#endif  // FRAMEDECODER_H
