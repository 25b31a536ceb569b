// Decoding camera frames: the same pixels as Qt's own reader, bad data, and the bounded buffers.
#include "addressspacelimit.h"
#include "framedecoder.h"
#include "testframes.h"

#include <QBuffer>
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

void writeLittleEndian(QByteArray &bytes, int at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

// Room for the largest frame the tests decode, as a camera's frame buffer would give.
constexpr qint64 kCameraPixels = 1920 * 1080;

// The JPEG with its header claiming another size.
QByteArray claimingSize(QByteArray jpeg, QSize size)
{
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

// Decodes with Qt's messages collected into warnings, which starts empty.
QImage decodeCollectingWarnings(FrameDecoder &decoder, const QByteArray &bytes)
{
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    const QImage decoded = decode(decoder, bytes);
    qInstallMessageHandler(previous);
    return decoded;
}

} // namespace

class FrameDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesQtsReader_data();
    void matchesQtsReader();
    void otherFormatsFallBackToQt();
    void damagedDataGivesNullImagesQuietly_data();
    void damagedDataGivesNullImagesQuietly();
    void truncatedJpegStillShowsWhatArrived();
    void framesLargerThanTheCameraAreRefused();
    void frameWithoutMemoryIsDropped();
    void buffersAreHeldUntilImagesAreReleased();
    void framesOfChangingSizeDecodeIntoGrownBuffers();
    void imagesOutliveTheDecoder();
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

    const QImage ours = decode(decoder, jpeg);
    const QImage qts = QImage::fromData(jpeg, "JPG").convertToFormat(QImage::Format_RGB32);

    QCOMPARE(ours.format(), QImage::Format_RGB32);
    QCOMPARE(ours.size(), size);
    QVERIFY(ours == qts);
}

void FrameDecoderTest::otherFormatsFallBackToQt()
{
    const QImage picture = makePicture(QSize(40, 30));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    FrameDecoder decoder;

    const QImage decoded = decode(decoder, png);
    QCOMPARE(decoded.size(), picture.size());
    QVERIFY(decoded == picture.convertToFormat(QImage::Format_RGB32));

    // Whatever follows the image's end is not part of it.
    QVERIFY(decode(decoder, png + QByteArray(64, '\xff')) == decoded);
}

void FrameDecoderTest::damagedDataGivesNullImagesQuietly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray headerOnly = makeJpeg(QSize(64, 64));
    headerOnly.truncate(2);
    QByteArray scrambledHeader = makeJpeg(QSize(64, 64));
    scrambledHeader.replace(2, 300, QByteArray(300, '\x5a'));
    QByteArray withoutFrameHeader = makeJpeg(QSize(64, 64));
    const int sof = withoutFrameHeader.indexOf("\xff\xc0");
    withoutFrameHeader.remove(sof, 2 + (uchar(withoutFrameHeader[sof + 2]) << 8 | uchar(withoutFrameHeader[sof + 3])));

    // A text chunk before the end claims 1.6 GB: more than the whole frame holds.
    QByteArray pngWithHugeChunk;
    QBuffer pngBuffer(&pngWithHugeChunk);
    pngBuffer.open(QIODevice::WriteOnly);
    makePicture(QSize(16, 12)).save(&pngBuffer, "PNG");
    static const char hugeChunk[] = "\x64\x00\x00\x25" "tEXt" "date:modify";
    pngWithHugeChunk.insert(pngWithHugeChunk.size() - 12, QByteArray(hugeChunk, sizeof hugeChunk - 1));

    QTest::newRow("zeros") << QByteArray(512, '\0');
    QTest::newRow("text") << QByteArray("hello camera");
    QTest::newRow("start marker only") << headerOnly;
    QTest::newRow("scrambled header") << scrambledHeader;
    QTest::newRow("no frame header") << withoutFrameHeader;
    QTest::newRow("65535 x 65535") << claimingSize(makeJpeg(QSize(64, 64)), QSize(65535, 65535));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("PNG chunk longer than the frame") << pngWithHugeChunk;
}

void FrameDecoderTest::damagedDataGivesNullImagesQuietly()
{
    QFETCH(QByteArray, bytes);
    FrameDecoder decoder;
    QVERIFY(decodeCollectingWarnings(decoder, bytes).isNull());
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

void FrameDecoderTest::framesLargerThanTheCameraAreRefused()
{
    FrameDecoder decoder;
    const QByteArray jpeg = makeJpeg(QSize(64, 48));
    QVERIFY(!decode(decoder, jpeg, 64 * 48).isNull());
    QVERIFY(decode(decoder, jpeg, 64 * 48 - 1).isNull());

    // A 1.3 kB frame whose header claims 16000 x 16000 pixels is refused before any buffer grows
    // to a gigabyte for it.
    QVERIFY(decode(decoder, claimingSize(jpeg, QSize(16000, 16000))).isNull());

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    makePicture(QSize(64, 48)).save(&buffer, "PNG");
    QVERIFY(decode(decoder, png, 64 * 48 - 1).isNull());

    // The same for a frame in another format: a BMP whose header claims 16000 x 16000 pixels,
    // which Qt's reader would take a gigabyte for.
    QByteArray lyingBmp;
    QBuffer bmpBuffer(&lyingBmp);
    bmpBuffer.open(QIODevice::WriteOnly);
    makePicture(QSize(64, 48)).save(&bmpBuffer, "BMP");
    writeLittleEndian(lyingBmp, 18, 16000);
    writeLittleEndian(lyingBmp, 22, 16000);
    QVERIFY(decodeCollectingWarnings(decoder, lyingBmp).isNull());
    QCOMPARE(warnings, QStringList());
    QVERIFY(decoder.hasFreeBuffer());
}

void FrameDecoderTest::frameWithoutMemoryIsDropped()
{
    AddressSpaceLimit limit;
    if (!limit.set(std::size_t(256) << 20))
        QSKIP("no address space limit under a sanitizer");
    FrameDecoder decoder;
    // Within the camera's size, but its 4.3 GB of pixels are more than an int counts and than the
    // memory left.
    const QSize huge(65500, 16394);
    const QByteArray jpeg = makeJpeg(QSize(64, 48));
    QVERIFY(decode(decoder, claimingSize(jpeg, huge), qint64(huge.width()) * huge.height()).isNull());
    QVERIFY(!decode(decoder, jpeg).isNull());
}

void FrameDecoderTest::buffersAreHeldUntilImagesAreReleased()
{
    const QByteArray jpeg = makeJpeg(QSize(160, 120));
    FrameDecoder decoder;
    QImage first = decode(decoder, jpeg);
    QImage copyOfFirst = first;
    QImage second = decode(decoder, jpeg);
    QVERIFY(!first.isNull() && !second.isNull());
    QVERIFY(first.constBits() != second.constBits());
    QVERIFY(!decoder.hasFreeBuffer());
    QVERIFY(decode(decoder, jpeg).isNull());

    first = QImage();
    QVERIFY(!decoder.hasFreeBuffer()); // a copy still holds the buffer
    copyOfFirst = QImage();
    QVERIFY(decoder.hasFreeBuffer());
    const QImage third = decode(decoder, jpeg);
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

void FrameDecoderTest::imagesOutliveTheDecoder()
{
    const QImage expected = QImage::fromData(makeJpeg(QSize(64, 48))).convertToFormat(QImage::Format_RGB32);
    QImage survivor;
    {
        auto decoder = std::make_unique<FrameDecoder>();
        survivor = decode(*decoder, makeJpeg(QSize(64, 48)));
    }
    QVERIFY(survivor == expected);
}

QTEST_MAIN(FrameDecoderTest)
#include "tst_framedecoder.moc"
