#ifndef TESTFRAMES_H
#define TESTFRAMES_H

#include <QByteArray>
#include <QImage>
#include <QSize>

// Camera-like frames for the tests: a gradient with a few shapes, so that decoding errors show.
QImage makePicture(QSize size);
QByteArray encodeJpeg(const QImage &image, int quality = 85);
QByteArray makeJpeg(QSize size);

#endif // TESTFRAMES_H
