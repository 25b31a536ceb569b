#ifndef BENCH_AUTOCROP_JPEGENCODER_H
#define BENCH_AUTOCROP_JPEGENCODER_H

#include <opencv2/core.hpp>

#include <memory>
#include <vector>

// Compresses frames the way the camera's MJPG stream does, so that the detector meets JPEG artefacts.
class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    // 4:2:0 JPEG of a BGR frame at quality 1 to 100; empty on failure.
    std::vector<unsigned char> encode(const cv::Mat &bgr, int quality);

private:
    struct HandleCloser {
        void operator()(void *handle) const;
    };
    std::unique_ptr<void, HandleCloser> m_handle;
};

#endif
