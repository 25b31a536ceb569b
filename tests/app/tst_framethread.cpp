// The frame thread and the preview: reading, dropping and showing frames, and stopping.
#include "addressspacelimit.h"
#include "scriptedlibrary.h"
#include "imagethread.h"
#include "mainwindow.h"
#include "stdoutcapture.h"
#include "testframes.h"
#include "threadendbarrier.h"

#include <QLabel>
#include <QSemaphore>
#include <QtTest>

#include <atomic>
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

// What the frame thread emitted, recorded on the frame thread itself so that the images'
// buffers go back at once.
struct EmittedFrames
{
    struct Frame
    {
        bool null;
        QSize size;
        int result;
    };

    ~EmittedFrames() { QObject::disconnect(connection); }

    void connectTo(ImageThread *thread)
    {
        connection = QObject::connect(
            thread, &ImageThread::SendImageProcessing, thread,
            [this](const QImage &image, int result) {
                std::lock_guard<std::mutex> lock(mutex);
                frames.push_back({image.isNull(), image.size(), result});
            },
            Qt::DirectConnection);
    }
    std::vector<Frame> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frames;
    }
    int count() { return int(snapshot().size()); }

    QMetaObject::Connection connection;
    std::mutex mutex;
    std::vector<Frame> frames;
};

// Stops the thread at the end of a test, as its owner must before destroying it.
struct StoppedAtExit
{
    explicit StoppedAtExit(ImageThread &thread)
        : thread(thread)
        , end(thread)
    {
    }
    ~StoppedAtExit()
    {
        thread.stop();
        thread.wait();
        end.pass();
    }

    ImageThread &thread;
    ThreadEndBarrier end;
};

QLabel *preview(MainWindow &window)
{
    return window.findChild<QLabel *>("videoLabel");
}

QStringList warnings;

void collectWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        warnings << message;
}

} // namespace

class FrameThreadTest : public QObject
{
    Q_OBJECT

private slots:
    void stopBeforeRunStillEndsTheLoop();
    void logsStartAndExitOfEveryRun();
    void unusableFrameSizeReadsNothing_data();
    void unusableFrameSizeReadsNothing();
    void impossibleLengthsAreDropped();
    void cameraWithoutFramesPausesBetweenReads();
    void frameIsStretchedOntoThePreview();
    void undecodableFrameClearsThePreviewQuietly();
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
    connect(&thread, &QThread::started, &thread, [&] { stopped.acquire(); }, Qt::DirectConnection);
    for (int round = 0; round < 3; ++round) {
        thread.start();
        thread.stop();
        stopped.release();
        QVERIFY2(thread.wait(30000), "the frame thread ignored a stop that came before run()");
        end.pass();
    }
}

void FrameThreadTest::logsStartAndExitOfEveryRun()
{
    ScriptedLibrary::reset(cameraOfSize(QSize(16, 16)));
    StdoutCapture output;
    ImageThread thread;
    ThreadEndBarrier end(thread);
    for (int round = 0; round < 2; ++round) {
        thread.start();
        QVERIFY(ScriptedLibrary::waitForCalls("GetFrameBuffer", round + 1));
        thread.stop();
        thread.wait();
        end.pass();
    }
    QCOMPARE(output.lines(), QStringList({"thread start run", "视频线程退出！", "thread start run", "视频线程退出！"}));
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
    ScriptedLibrary::reset(cameraOfSize(size));
    ScriptedLibrary::setRepeatingFrame(jpegFrame(QSize(8, 8)));
    ImageThread thread;
    StoppedAtExit stopper(thread);
    thread.start();

    QVERIFY(ScriptedLibrary::waitForCalls("GetCurResHeight", 4));
    QCOMPARE(ScriptedLibrary::callCount("GetFrameBuffer"), 0);
    QVERIFY(thread.isRunning());
}

void FrameThreadTest::impossibleLengthsAreDropped()
{
    const QSize size(64, 48);
    ScriptedLibrary::reset(cameraOfSize(size));
    const int capacity = size.width() * size.height() * 3;
    const QByteArray jpeg = makeJpeg(size);
    ImageThread thread;
    StoppedAtExit stopper(thread);
    EmittedFrames emitted;
    emitted.connectTo(&thread);
    ScriptedLibrary::queueFrames({
        {1, jpeg, -1},
        {2, jpeg, capacity + 1},
        {-4, jpeg, std::nullopt},
        {3, jpeg, capacity},
        {7, jpeg, std::nullopt},
    });
    thread.start();
    QVERIFY(ScriptedLibrary::waitUntilQueueServed());
    QTRY_COMPARE(emitted.count(), 2);

    const auto frames = emitted.snapshot();
    QCOMPARE(frames[0].result, 3);
    QCOMPARE(frames[1].result, 7);
    QVERIFY(!frames[1].null);
    QCOMPARE(frames[1].size, size);
}

void FrameThreadTest::cameraWithoutFramesPausesBetweenReads()
{
    ScriptedLibrary::Script script = cameraOfSize(QSize(64, 48));
    // A camera that is gone fails every read at once.
    script.emptyReadWait = script.frameReadTime = std::chrono::microseconds(0);
    ScriptedLibrary::reset(script);
    ImageThread thread;
    StoppedAtExit stopper(thread);
    EmittedFrames emitted;
    emitted.connectTo(&thread);
    thread.start();

    QVERIFY(ScriptedLibrary::waitForCalls("GetFrameBuffer", 10));
    QCOMPARE(emitted.count(), 0);
    // A pause of a millisecond or more after each failed read allows at most 100 reads in 100 ms;
    // a loop without one makes thousands.
    const int readsBefore = ScriptedLibrary::callCount("GetFrameBuffer");
    QThread::msleep(100);
    const int reads = ScriptedLibrary::callCount("GetFrameBuffer") - readsBefore;
    QVERIFY2(reads <= 100, qPrintable(QString::number(reads)));

    // Once the camera delivers again, frames flow in the same run.
    ScriptedLibrary::queueFrames({jpegFrame(QSize(64, 48), 5)});
    QTRY_COMPARE(emitted.count(), 1);
    QCOMPARE(emitted.snapshot()[0].result, 5);
}

void FrameThreadTest::frameIsStretchedOntoThePreview()
{
    ScriptedLibrary::reset(cameraOfSize(QSize(640, 480)));
    ScriptedLibrary::queueFrames({jpegFrame(QSize(640, 480), 42)});
    MainWindow window;

    QTRY_VERIFY(!preview(window)->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(preview(window)->pixmap(Qt::ReturnByValue).size(), QSize(571, 441));
}

void FrameThreadTest::undecodableFrameClearsThePreviewQuietly()
{
    ScriptedLibrary::reset(cameraOfSize(QSize(64, 48)));
    ScriptedLibrary::queueFrames({jpegFrame(QSize(64, 48))});
    MainWindow window;
    QTRY_VERIFY(!preview(window)->pixmap(Qt::ReturnByValue).isNull());

    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    QByteArray corrupt = makeJpeg(QSize(64, 48));
    corrupt.replace(2, 200, QByteArray(200, '\x5a'));
    ScriptedLibrary::queueFrames({{0, corrupt, std::nullopt}, {0, QByteArray(100, '\0'), std::nullopt}});
    QVERIFY(ScriptedLibrary::waitUntilQueueServed());
    QTRY_VERIFY(preview(window)->pixmap(Qt::ReturnByValue).isNull());
    qInstallMessageHandler(previous);
    QCOMPARE(warnings, QStringList());
}

void FrameThreadTest::stalledGuiHoldsAtMostTwoFrames()
{
    const QSize size(320, 240);
    ScriptedLibrary::reset(cameraOfSize(size));
    MainWindow window;
    QVERIFY(ScriptedLibrary::waitForCalls("GetFrameBuffer", 1));
    auto *thread = qobject_cast<ImageThread *>(ScriptedLibrary::frameReaderThread());
    QVERIFY(thread);
    EmittedFrames emitted;
    emitted.connectTo(thread);

    // The GUI thread processes no events while the camera delivers 30 frames.
    ScriptedLibrary::queueFrames(std::vector<ScriptedLibrary::Frame>(30, jpegFrame(size)));
    QVERIFY(ScriptedLibrary::waitUntilQueueServed());
    const int emittedWhileStalled = emitted.count();
    QVERIFY2(emittedWhileStalled <= FrameDecoder::kBufferCount, qPrintable(QString::number(emittedWhileStalled)));
    QVERIFY(emittedWhileStalled >= 1);

    // Once the GUI catches up, frames flow again.
    QTRY_VERIFY(!preview(window)->pixmap(Qt::ReturnByValue).isNull());
    ScriptedLibrary::queueFrames(std::vector<ScriptedLibrary::Frame>(3, jpegFrame(size)));
    QTRY_VERIFY(emitted.count() > emittedWhileStalled);
}

QTEST_MAIN(FrameThreadTest)
#include "tst_framethread.moc"
