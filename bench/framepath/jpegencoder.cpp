#include "jpegencoder.h"

#include <turbojpeg.h>

void JpegEncoder::HandleCloser::operator()(void *handle) const
{
    tjDestroy(handle);
}

JpegEncoder::JpegEncoder() : m_handle(tjInitCompress()) {}

JpegEncoder::~JpegEncoder() = default;

QByteArray JpegEncoder::encode(const QImage &image, int subsampling, int quality)
{
    if (!m_handle)
        return QByteArray();
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(m_handle.get(), rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
                                   TJPF_RGB, &jpeg, &size, subsampling, quality, 0);
    QByteArray bytes;
    if (result == 0)
        bytes = QByteArray(reinterpret_cast<const char *>(jpeg), int(size));
    tjFree(jpeg);
    return bytes;
}
