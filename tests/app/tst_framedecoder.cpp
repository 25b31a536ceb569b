// Decoding camera frames: the same pixels as Qt's own reader, bad data, and the bounded buffers.
#include "addressspacelimit.h"
#include "framedecoder.h"
#include "testframes.h"

#include <QtTest>

#include <turbojpeg.h>

#include <memory>

namespace {

QByteArray encodeWithTurboJpeg(const QImage &picture, int subsampling)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    tjhandle handle = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.constBits(), rgb.width(), rgb.bytesPerLine(), rgb.height(), TJPF_RGB, &jpeg, &size,
                subsampling, 85, 0);
    QByteArray bytes(reinterpret_cast<const char *>(jpeg), int(size));
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

// Room for the largest frame the tests decode, as a camera's frame buffer would give.
constexpr qint64 kCameraPixels = 1920 * 1080;

// A 64 x 48 JPEG whose header claims another size.
QByteArray jpegClaiming(QSize size)
{
    QByteArray jpeg = makeJpeg(QSize(64, 48));
    const int sof = jpeg.indexOf("\xff\xc0");
    jpeg[sof + 5] = char(size.height() >> 8);
    jpeg[sof + 6] = char(size.height() & 0xff);
    jpeg[sof + 7] = char(size.width() >> 8);
    jpeg[sof + 8] = char(size.width() & 0xff);
    return jpeg;
}

QImage decode(FrameDecoder &decoder, const QByteArray &bytes, qint64 maxPixels = kCameraPixels)
{
    return decoder.decode(reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size(), maxPixels);
}

QStringList warnings;

void collectWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        warnings << message;
}

}  // namespace

class FrameDecoderTest : public QObject {
    Q_OBJECT

private slots:
    void matchesQtsReader_data();
    void matchesQtsReader();
    void otherFormatsFallBackToQt();
    void refusedFramesGiveNullImagesQuietly_data();
    void refusedFramesGiveNullImagesQuietly();
    void truncatedJpegStillShowsWhatArrived();
    void buffersAreHeldUntilImagesAreReleased();
    void framesOfChangingSizeDecodeIntoGrownBuffers();
};

void FrameDecoderTest::matchesQtsReader_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("subsampling");
    QTest::newRow("4:2:0") << QSize(640, 480) << int(TJSAMP_420);
    QTest::newRow("4:2:2") << QSize(1920, 1080) << int(TJSAMP_422);
    QTest::newRow("4:4:4 odd size") << QSize(333, 211) << int(TJSAMP_444);
    QTest::newRow("grey") << QSize(320, 240) << int(TJSAMP_GRAY);
}

void FrameDecoderTest::matchesQtsReader()
{
    QFETCH(QSize, size);
    QFETCH(int, subsampling);
    const QByteArray jpeg = encodeWithTurboJpeg(makePicture(size), subsampling);
    FrameDecoder decoder;

    // A frame exactly as large as the camera's is no damaged one.
    const QImage ours = decode(decoder, jpeg, qint64(size.width()) * size.height());
    const QImage qts = QImage::fromData(jpeg, "JPG").convertToFormat(QImage::Format_RGB32);

    QCOMPARE(ours.format(), QImage::Format_RGB32);
    QCOMPARE(ours.size(), size);
    QVERIFY(ours == qts);
}

void FrameDecoderTest::otherFormatsFallBackToQt()
{
    const QImage picture = makePicture(QSize(40, 30));
    const QByteArray png = encode(picture, "PNG");
    FrameDecoder decoder;

    const QImage decoded = decode(decoder, png, 40 * 30);
    QCOMPARE(decoded.size(), picture.size());
    QVERIFY(decoded == picture.convertToFormat(QImage::Format_RGB32));

    // Whatever follows the image's end is not part of it.
    QVERIFY(decode(decoder, png + QByteArray(64, '\xff')) == decoded);
}

void FrameDecoderTest::refusedFramesGiveNullImagesQuietly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("maxPixels");  // of the camera's frame
    QTest::addColumn<bool>("memoryShort");
    const auto row = [](const char *name, const QByteArray &bytes, qint64 maxPixels = kCameraPixels) {
        QTest::newRow(name) << bytes << maxPixels << false;
    };
    const QByteArray jpeg = makeJpeg(QSize(64, 48));
    QByteArray scrambledHeader = jpeg;
    scrambledHeader.replace(2, 300, QByteArray(300, '\x5a'));
    QByteArray withoutFrameHeader = jpeg;
    const int sof = jpeg.indexOf("\xff\xc0");
    withoutFrameHeader.remove(sof, 2 + (uchar(jpeg[sof + 2]) << 8 | uchar(jpeg[sof + 3])));
    const QByteArray png = encode(makePicture(QSize(64, 48)), "PNG");
    // A text chunk before the end claims 1.6 GB: more than the whole frame holds.
    QByteArray pngWithHugeChunk = png;
    static const char hugeChunk[] =
        "\x64\x00\x00\x25"
        "tEXt"
        "date:modify";
    pngWithHugeChunk.insert(png.size() - 12, QByteArray(hugeChunk, sizeof hugeChunk - 1));
    // A BMP whose header claims 16000 x 16000 pixels, which Qt's reader would take a gigabyte for.
    QByteArray lyingBmp = encode(makePicture(QSize(64, 48)), "BMP");
    for (int at : {18, 22})
        lyingBmp.replace(at, 4, QByteArray("\x80\x3e\x00\x00", 4));

    row("zeros", QByteArray(512, '\0'));
    row("text", "hello camera");
    row("start marker only", jpeg.left(2));
    row("scrambled header", scrambledHeader);
    row("no frame header", withoutFrameHeader);
    row("empty", QByteArray());
    row("PNG chunk longer than the frame", pngWithHugeChunk);
    row("JPEG one pixel larger than the camera's", jpeg, 64 * 48 - 1);
    row("PNG one pixel larger than the camera's", png, 64 * 48 - 1);
    row("JPEG claiming 16000 x 16000", jpegClaiming(QSize(16000, 16000)));
    row("BMP claiming 16000 x 16000", lyingBmp);
    // Within the camera's size, but its 4.3 GB of pixels are more than an int counts and than the
    // memory left.
    QTest::newRow("no memory for 4.3 GB") << jpegClaiming(QSize(65500, 16394)) << qint64(65500) * 16394 << true;
}

void FrameDecoderTest::refusedFramesGiveNullImagesQuietly()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, maxPixels);
    QFETCH(bool, memoryShort);
    AddressSpaceLimit limit;
    if (memoryShort && !limit.set(std::size_t(256) << 20))
        QSKIP("no address space limit under a sanitizer");
    FrameDecoder decoder;

    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    const QImage decoded = decode(decoder, bytes, maxPixels);
    qInstallMessageHandler(previous);
    QVERIFY(decoded.isNull());
    QCOMPARE(warnings, QStringList());
    QVERIFY(decoder.hasFreeBuffer());
    QVERIFY2(!decode(decoder, makeJpeg(QSize(64, 48))).isNull(), "the next whole frame is lost");
}

void FrameDecoderTest::truncatedJpegStillShowsWhatArrived()
{
    QByteArray jpeg = makeJpeg(QSize(320, 240));
    jpeg.truncate(jpeg.size() * 2 / 3);
    FrameDecoder decoder;
    const QImage decoded = decode(decoder, jpeg);
    QCOMPARE(decoded.size(), QSize(320, 240));
    const QImage complete = QImage::fromData(makeJpeg(QSize(320, 240))).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(decoded.pixel(10, 10), complete.pixel(10, 10));
}

void FrameDecoderTest::buffersAreHeldUntilImagesAreReleased()
{
    const QByteArray jpeg = makeJpeg(QSize(160, 120));
    auto decoder = std::make_unique<FrameDecoder>();
    QImage first = decode(*decoder, jpeg);
    QImage copyOfFirst = first;
    const QImage second = decode(*decoder, jpeg);
    QVERIFY(!first.isNull() && !second.isNull());
    QVERIFY(first.constBits() != second.constBits());
    QVERIFY(!decoder->hasFreeBuffer());
    QVERIFY(decode(*decoder, jpeg).isNull());

    first = QImage();
    QVERIFY(!decoder->hasFreeBuffer());  // a copy still holds the buffer
    copyOfFirst = QImage();
    QVERIFY(decoder->hasFreeBuffer());
    const QImage third = decode(*decoder, jpeg);
    // Images outlive the decoder that made them.
    decoder.reset();
    QVERIFY(!third.isNull());
    QVERIFY(third == second);
}

void FrameDecoderTest::framesOfChangingSizeDecodeIntoGrownBuffers()
{
    FrameDecoder decoder;
    // Two images held at once use both buffers: sized for the small frame first, then each must
    // grow, then serve a smaller frame from its larger memory.
    for (const QSize size : {QSize(64, 48), QSize(320, 240), QSize(96, 72)}) {
        const QByteArray jpeg = encodeWithTurboJpeg(makePicture(size), TJSAMP_420);
        const QImage held = decode(decoder, jpeg);
        const QImage other = decode(decoder, jpeg);
        const QImage expected = QImage::fromData(jpeg, "JPG").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(held.size(), size);
        QVERIFY(held == expected);
        QVERIFY(other == expected);
    }
}

QTEST_MAIN(FrameDecoderTest)
#include "tst_framedecoder.moc"
