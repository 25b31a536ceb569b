// The frame thread and the preview: reading, dropping and showing frames, and stopping.
#include "addressspacelimit.h"
#include "imagethread.h"
#include "scriptedwindow.h"
#include "testframes.h"
#include "threadendbarrier.h"

#include <QLabel>
#include <QSemaphore>
#include <QtTest>

#include <mutex>

namespace {

ScriptedLibrary::Script cameraOfSize(QSize size)
{
    ScriptedLibrary::Script script;
    script.cameras = {{QByteArray("Camera"), 1, 2}};
    script.resolutions = {size};
    script.currentSize = size;
    return script;
}

ScriptedLibrary::Frame jpegFrame(QSize size, int result = 0)
{
    return ScriptedLibrary::Frame{result, makeJpeg(size), std::nullopt};
}

// What a frame thread emitted, as "result WIDTHxHEIGHT", recorded on the frame thread itself so that
// the images' buffers go back at once.
struct EmittedFrames {
    explicit EmittedFrames(ImageThread *thread)
    {
        connection = QObject::connect(
            thread, &ImageThread::SendImageProcessing, thread,
            [this](const QImage &image, int result) {
                std::lock_guard<std::mutex> lock(mutex);
                frames.push_back(QString("%1 %2x%3").arg(result).arg(image.width()).arg(image.height()));
            },
            Qt::DirectConnection);
    }
    ~EmittedFrames() { QObject::disconnect(connection); }

    QStringList list()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return QStringList(frames.begin(), frames.end());
    }

    QMetaObject::Connection connection;
    std::mutex mutex;
    // A plain vector, whose storage no copy handed to the test shares: appending to a QStringList whose
    // copy has just gone reads Qt's reference count in code that ThreadSanitizer does not see.
    std::vector<QString> frames;
};

// A frame thread started on its own, and stopped at the end of the test as its owner must before
// destroying it.
struct StartedThread {
    StartedThread() { thread.start(); }
    ~StartedThread()
    {
        thread.stop();
        thread.wait();
        end.pass();
    }

    ImageThread thread;
    ThreadEndBarrier end{thread};
    EmittedFrames emitted{&thread};
};

QStringList warnings;

void collectWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        warnings << message;
}

}  // namespace

class FrameThreadTest : public QObject {
    Q_OBJECT

private slots:
    void stopBeforeRunStillEndsTheLoop();
    void unusableFrameSizeReadsNothing_data();
    void unusableFrameSizeReadsNothing();
    void impossibleLengthsAreDropped();
    void cameraWithoutFramesPausesBetweenReads();
    void previewShowsFramesStretchedAndClearsQuietlyOnABadOne();
    void stalledGuiHoldsAtMostTwoFrames();
};

void FrameThreadTest::stopBeforeRunStillEndsTheLoop()
{
    ScriptedLibrary::reset(cameraOfSize(QSize(16, 16)));
    ImageThread thread;
    ThreadEndBarrier end(thread);
    QSemaphore stopped;
    // started() is emitted on the new thread just before run(): holding it there puts the stop
    // exactly between start() and the loop's first line.
    connect(
        &thread, &QThread::started, &thread, [&] { stopped.acquire(); }, Qt::DirectConnection);
    for (int round = 0; round < 3; ++round) {
        thread.start();
        thread.stop();
        stopped.release();
        QVERIFY2(thread.wait(30000), "the frame thread ignored a stop that came before run()");
        end.pass();
    }
}

void FrameThreadTest::unusableFrameSizeReadsNothing_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("memoryShort");
    QTest::newRow("zero width") << QSize(0, 480) << false;
    QTest::newRow("zero height") << QSize(640, 0) << false;
    QTest::newRow("negative") << QSize(-640, -480) << false;
    QTest::newRow("int overflow") << QSize(40000, 40000) << false;
    QTest::newRow("just past int") << QSize(46341, 15447) << false;
    QTest::newRow("no memory for 1.2 GB") << QSize(20000, 20000) << true;
}

void FrameThreadTest::unusableFrameSizeReadsNothing()
{
    QFETCH(QSize, size);
    QFETCH(bool, memoryShort);
    AddressSpaceLimit limit;
    if (memoryShort && !limit.set(std::size_t(256) << 20))
        QSKIP("no address space limit under a sanitizer");
    ScriptedLibrary::Script script = cameraOfSize(size);
    script.repeatingFrame = jpegFrame(QSize(8, 8));
    ScriptedLibrary::reset(script);
    StartedThread started;

    QVERIFY(ScriptedLibrary::waitForMoreCalls("GetCurResHeight", 4));
    QCOMPARE(ScriptedLibrary::callCount("GetFrameBuffer"), 0);
    QVERIFY(started.thread.isRunning());
}

void FrameThreadTest::impossibleLengthsAreDropped()
{
    const QSize size(64, 48);
    ScriptedLibrary::reset(cameraOfSize(size));
    const int capacity = size.width() * size.height() * 3;
    const QByteArray jpeg = makeJpeg(size);
    ScriptedLibrary::queueFrames({{1, jpeg, -1},
                                  {2, jpeg, capacity + 1},
                                  {-4, jpeg, std::nullopt},
                                  {3, jpeg, capacity},
                                  {7, jpeg, std::nullopt}});
    StartedThread started;

    QVERIFY(ScriptedLibrary::waitUntilQueueServed());
    QTRY_COMPARE(started.emitted.list(), QStringList({"3 64x48", "7 64x48"}));
}

void FrameThreadTest::cameraWithoutFramesPausesBetweenReads()
{
    ScriptedLibrary::Script script = cameraOfSize(QSize(64, 48));
    // A camera that is gone fails every read at once.
    script.emptyReadWait = script.frameReadTime = std::chrono::microseconds(0);
    ScriptedLibrary::reset(script);
    StartedThread started;

    QVERIFY(waitForFrameReads(10));
    QCOMPARE(started.emitted.list(), QStringList());
    // A pause of a millisecond or more after each failed read allows at most 100 reads in 100 ms;
    // a loop without one makes thousands.
    const int readsBefore = ScriptedLibrary::callCount("GetFrameBuffer");
    QThread::msleep(100);
    const int reads = ScriptedLibrary::callCount("GetFrameBuffer") - readsBefore;
    QVERIFY2(reads <= 100, qPrintable(QString::number(reads)));

    // Once the camera delivers again, frames flow in the same run.
    ScriptedLibrary::queueFrames({jpegFrame(QSize(64, 48), 5)});
    QTRY_COMPARE(started.emitted.list(), QStringList({"5 64x48"}));
}

void FrameThreadTest::previewShowsFramesStretchedAndClearsQuietlyOnABadOne()
{
    ScriptedWindow app(cameraOfSize(QSize(640, 480)));
    auto *preview = app.find<QLabel>("videoLabel");
    ScriptedLibrary::queueFrames({jpegFrame(QSize(640, 480), 42)});
    QTRY_COMPARE(preview->pixmap(Qt::ReturnByValue).size(), QSize(571, 441));

    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    QByteArray corrupt = makeJpeg(QSize(64, 48));
    corrupt.replace(2, 200, QByteArray(200, '\x5a'));
    ScriptedLibrary::queueFrames({{0, corrupt, std::nullopt}, {0, QByteArray(100, '\0'), std::nullopt}});
    QVERIFY(ScriptedLibrary::waitUntilQueueServed());
    QTRY_VERIFY(preview->pixmap(Qt::ReturnByValue).isNull());
    qInstallMessageHandler(previous);
    QCOMPARE(warnings, QStringList());
}

void FrameThreadTest::stalledGuiHoldsAtMostTwoFrames()
{
    const QSize size(320, 240);
    ScriptedWindow app(cameraOfSize(size));
    QVERIFY(waitForFrameReads(1));
    auto *thread = qobject_cast<ImageThread *>(ScriptedLibrary::frameReaderThread());
    QVERIFY(thread);
    EmittedFrames emitted(thread);

    // The GUI thread processes no events while the camera delivers 30 frames.
    ScriptedLibrary::queueFrames(std::vector<ScriptedLibrary::Frame>(30, jpegFrame(size)));
    QVERIFY(ScriptedLibrary::waitUntilQueueServed());
    const int emittedWhileStalled = emitted.list().size();
    QVERIFY2(emittedWhileStalled <= FrameDecoder::kBufferCount, qPrintable(QString::number(emittedWhileStalled)));
    QVERIFY(emittedWhileStalled >= 1);

    // Once the GUI catches up, frames flow again.
    QTRY_VERIFY(!app.find<QLabel>("videoLabel")->pixmap(Qt::ReturnByValue).isNull());
    ScriptedLibrary::queueFrames(std::vector<ScriptedLibrary::Frame>(3, jpegFrame(size)));
    QTRY_VERIFY(emitted.list().size() > emittedWhileStalled);
}

QTEST_MAIN(FrameThreadTest)
#include "tst_framethread.moc"
