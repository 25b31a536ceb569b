#ifndef TESTFRAMES_H
#define TESTFRAMES_H

#include <QByteArray>
#include <QImage>
#include <QSize>

// Camera-like frames for the tests: a gradient with a few shapes, so that decoding errors show.
QImage makePicture(QSize size);
// The image in the file format Qt's writer of that name gives.
QByteArray encode(const QImage &image, const char *format);
QByteArray makeJpeg(QSize size);

#endif  // TESTFRAMES_H
