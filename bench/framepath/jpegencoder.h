#ifndef BENCH_FRAMEPATH_JPEGENCODER_H
#define BENCH_FRAMEPATH_JPEGENCODER_H

#include <QByteArray>
#include <QImage>

#include <memory>

// Compresses frames with TurboJPEG as a camera's MJPG stream would deliver them.
class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    // subsampling is a TurboJPEG TJSAMP_ value; empty on failure.
    QByteArray encode(const QImage &image, int subsampling, int quality);

private:
    struct HandleCloser {
        void operator()(void *handle) const;
    };
    std::unique_ptr<void, HandleCloser> m_handle;
};

#endif
