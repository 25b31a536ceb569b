#include "jpegencoder.h"

#include <turbojpeg.h>

void JpegEncoder::HandleCloser::operator()(void *handle) const
{
    tjDestroy(handle);
}

JpegEncoder::JpegEncoder() : m_handle(tjInitCompress()) {}

JpegEncoder::~JpegEncoder() = default;

std::vector<unsigned char> JpegEncoder::encode(const cv::Mat &bgr, int quality)
{
    unsigned char *out = nullptr;
    unsigned long size = 0;
    if (!m_handle || bgr.type() != CV_8UC3 ||
        tjCompress2(m_handle.get(), bgr.data, bgr.cols, static_cast<int>(bgr.step), bgr.rows, TJPF_BGR, &out, &size,
                    TJSAMP_420, quality, 0) != 0) {
        tjFree(out);
        return {};
    }
    std::vector<unsigned char> bytes(out, out + size);
    tjFree(out);
    return bytes;
}
