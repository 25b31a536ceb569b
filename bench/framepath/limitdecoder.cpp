#include "limitdecoder.h"

#include <turbojpeg.h>

void LimitDecoder::HandleCloser::operator()(void *handle) const
{
    tjDestroy(handle);
}

LimitDecoder::LimitDecoder(QSize frameSize)
    : m_handle(tjInitDecompress()),
      m_frameSize(frameSize),
      m_pixels(std::size_t(frameSize.width()) * std::size_t(frameSize.height()) * 4)
{}

LimitDecoder::~LimitDecoder() = default;

bool LimitDecoder::decode(const QByteArray &jpeg)
{
    if (!m_handle)
        return false;
    // TurboJPEG scales a larger frame down to the size given rather than write past the buffer, so
    // the one call is all the work and still safe.
    const int width = m_frameSize.width();
    return tjDecompress2(m_handle.get(), reinterpret_cast<const unsigned char *>(jpeg.constData()),
                         static_cast<unsigned long>(jpeg.size()), m_pixels.data(), width, width * 4,
                         m_frameSize.height(), TJPF_BGRX, 0) == 0;
}

QImage LimitDecoder::image() const
{
    return QImage(m_pixels.data(), m_frameSize.width(), m_frameSize.height(), m_frameSize.width() * 4,
                  QImage::Format_RGB32);
}
