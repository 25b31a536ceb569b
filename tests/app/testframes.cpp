#include "testframes.h"

#include <QBuffer>
#include <QPainter>

QImage makePicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x * 255 / size.width(), y * 255 / size.height(), (x ^ y) & 0xff);
    }
    QPainter painter(&image);
    painter.fillRect(QRect(QPoint(size.width() / 4, size.height() / 4), size / 2), Qt::white);
    painter.setPen(Qt::black);
    painter.drawLine(0, 0, size.width(), size.height());
    return image;
}

QByteArray encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 85);
    return bytes;
}

QByteArray makeJpeg(QSize size)
{
    return encode(makePicture(size), "JPG");
}
