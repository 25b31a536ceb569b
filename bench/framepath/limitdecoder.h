#ifndef BENCH_FRAMEPATH_LIMITDECODER_H
#define BENCH_FRAMEPATH_LIMITDECODER_H

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <memory>
#include <vector>

// The least any JPEG frame path can spend: one TurboJPEG call per frame into a buffer of 32-bit
// pixels allocated and touched once, with nothing before or after it.
class LimitDecoder {
public:
    explicit LimitDecoder(QSize frameSize);
    ~LimitDecoder();
    LimitDecoder(const LimitDecoder &) = delete;
    LimitDecoder &operator=(const LimitDecoder &) = delete;

    // False when the frame doesn't decode.
    bool decode(const QByteArray &jpeg);
    // The last frame decoded, sharing the decoder's buffer: valid until the next decode.
    QImage image() const;

private:
    struct HandleCloser {
        void operator()(void *handle) const;
    };
    std::unique_ptr<void, HandleCloser> m_handle;
    QSize m_frameSize;
    std::vector<unsigned char> m_pixels;
};

#endif
