// The app with the real camera library whose virtual camera misbehaves as CameraConf.ini tells it:
// failing reads, damaged and cut-off frames, stalls longer than the library waits, a camera that
// goes away and comes back, photos that fail. Through all of it the window keeps showing frames once
// the camera sends them again, switches, numbers its photos on, and logs nothing but its usual lines
// and the line of each failed photo.
#include "mainwindow.h"
#include "stdoutcapture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <turbojpeg.h>

#include <vector>

namespace {

// Any line but those the app ever writes to standard output.
const QRegularExpression kUnexpectedLine(
    "^(?!(find count = -?\\d+ camera"
    "|camera \\d+ name is .*"
    "|iDev = \\d+, pid = [0-9a-f]+, vid = [0-9a-f]+"
    "|main_camera = -?\\d+, aux_camera = -?\\d+"
    "|open camera ret = -?\\d+"
    "|thread start run"
    "|视频线程退出！"
    "|on(Dev|Res)Change open camera ret = -?\\d+, m_iCurIndex = \\d+"
    "|ret = -\\d+, 路径不存在)$)");
const QRegularExpression kPhotoFailure("^ret = -\\d+, 路径不存在$");

QStringList unexpectedLines(const StdoutCapture &output)
{
    return output.lines().filter(kUnexpectedLine);
}

QStringList photoFailures(const StdoutCapture &output)
{
    return output.lines().filter(kPhotoFailure);
}

QDir appDir()
{
    return QDir(QCoreApplication::applicationDirPath());
}

QStringList photos()
{
    return appDir().entryList({"*.jpg"}, QDir::Files, QDir::Name);
}

void removePhotos()
{
    for (const QString &name : photos())
        QFile::remove(appDir().filePath(name));
}

// Whether the photo decodes to its end without a single warning: a garbled photo still starts as a
// JPEG and still loads in most viewers.
bool decodesCleanly(const QString &name)
{
    QFile file(appDir().filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray jpeg = file.readAll();
    const auto *data = reinterpret_cast<const unsigned char *>(jpeg.constData());
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    bool clean = tjDecompressHeader3(handle, data, jpeg.size(), &width, &height, &subsampling, &colourspace) == 0;
    if (clean) {
        std::vector<unsigned char> pixels(std::size_t(width) * height * 3);
        clean = tjDecompress2(handle, data, jpeg.size(), pixels.data(), width, 0, height, TJPF_RGB, 0) == 0;
    }
    tjDestroy(handle);
    return clean;
}

// Counts the frames that reach a window: the frame thread's signal crosses to the GUI thread as a
// queued call, one event per frame, which the counter sees on its way to the window's slot.
class FrameDeliveries : public QObject {
public:
    explicit FrameDeliveries(QObject &window) : QObject(&window) { window.installEventFilter(this); }

    // Processes events until frames more frames than so far have arrived; false if they do not
    // within a minute, far longer than any fault here lasts.
    bool waitForMore(int frames)
    {
        const int target = m_count + frames;
        return QTest::qWaitFor([&] { return m_count >= target; }, 60000);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall)
            ++m_count;
        return QObject::eventFilter(watched, event);
    }

private:
    int m_count = 0;
};

// A working folder whose CameraConf.ini gives the first of two small virtual cameras the faults
// given, for the library to read when the window starts; the photos go with it.
struct FaultyCameraFolder {
    explicit FaultyCameraFolder(const char *faults)
    {
        removePhotos();
        QFile config(folder.filePath("CameraConf.ini"));
        if (!config.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(config.fileName()));
        config.write(
            "[library]\nbackend = virtual\n"
            "[camera0]\nname = Faulty Camera\nresolutions = 320X240, 160X120\nfps = 30\n" +
            QByteArray(faults) + "\n[camera1]\nname = Steady Camera\nresolutions = 160X120\n");
        QDir::setCurrent(folder.path());
    }
    ~FaultyCameraFolder()
    {
        QDir::setCurrent(previous);
        removePhotos();
    }

    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
};

// The app started on the faulty camera: its log from the start, its window, and the frames that
// reach the window.
struct FaultyApp : FaultyCameraFolder {
    explicit FaultyApp(const char *faults) : FaultyCameraFolder(faults), frames(window) {}

    void takePhoto() { window.findChild<QAbstractButton *>("pushButton")->click(); }

    // Switches to the other resolution; the result of the camera's opening, as the window logged it.
    QString switchResolution()
    {
        auto *box = window.findChild<QComboBox *>("comboBoxRes");
        box->setCurrentIndex(1 - box->currentIndex());
        const QStringList opens = output.lines().filter(QRegularExpression("^onResChange open camera ret = "));
        return opens.isEmpty() ? QString() : opens.last();
    }

    StdoutCapture output;
    MainWindow window;
    FrameDeliveries frames;
};

}  // namespace

class FaultsTest : public QObject {
    Q_OBJECT

private slots:
    void failingReads();
    void damagedFrames();
    void stallsLongerThanTheLibraryWaits();
    void cameraGoneAndBack();
    void failingPhotos();
    void allFaultsTogether();
};

void FaultsTest::failingReads()
{
    FaultyApp app("fail_every = 2");
    QVERIFY(app.frames.waitForMore(10));
    QCOMPARE(unexpectedLines(app.output), QStringList());
}

void FaultsTest::damagedFrames()
{
    FaultyApp app("corrupt_every = 2\ntruncate_every = 3");
    QVERIFY(app.frames.waitForMore(12));

    // No damaged frame makes a photo: one asked for while the newest frame is damaged is made of
    // the next whole one, a few frames later.
    const QStringList shots = {"00000.jpg", "00001.jpg", "00002.jpg", "00003.jpg", "00004.jpg", "00005.jpg"};
    for (int i = 0; i < shots.size(); ++i) {
        app.takePhoto();
        QVERIFY(app.frames.waitForMore(1));
    }
    QCOMPARE(photos(), shots);
    for (const QString &name : shots)
        QVERIFY2(decodesCleanly(name), qPrintable(name));
    QCOMPARE(unexpectedLines(app.output), QStringList());
}

void FaultsTest::stallsLongerThanTheLibraryWaits()
{
    // Before every frame the camera sends nothing for longer than a frame read waits, so the frame
    // thread is nearly always inside a read that times out when the window reopens the camera.
    FaultyApp app("stall_every = 1\nstall_ms = 1500");
    QVERIFY(app.frames.waitForMore(2));
    QCOMPARE(app.switchResolution(), QString("onResChange open camera ret = 0, m_iCurIndex = 0"));
    QVERIFY(app.frames.waitForMore(2));
    QCOMPARE(unexpectedLines(app.output), QStringList());
}

void FaultsTest::cameraGoneAndBack()
{
    FaultyApp app("unplug_every = 3\nunplug_ms = 1000");
    // Gone after frames 3, 6 and 9, back each time.
    QVERIFY(app.frames.waitForMore(10));

    // A camera that is gone cannot be opened: the window logs the failure and goes on. Once the
    // camera is back, with no frame read meanwhile to send it away again, the next switch opens it.
    if (app.switchResolution() != "onResChange open camera ret = 0, m_iCurIndex = 0") {
        QTest::qWait(1500);
        QCOMPARE(app.switchResolution(), QString("onResChange open camera ret = 0, m_iCurIndex = 0"));
    }
    QVERIFY(app.frames.waitForMore(2));
    QCOMPARE(unexpectedLines(app.output), QStringList());
}

void FaultsTest::failingPhotos()
{
    FaultyApp app("photo_fail_every = 2");
    QVERIFY(app.frames.waitForMore(1));
    for (int i = 0; i < 4; ++i)
        app.takePhoto();

    QCOMPARE(photos(), QStringList({"00000.jpg", "00002.jpg"}));
    QCOMPARE(photoFailures(app.output).size(), 2);
    QVERIFY(app.frames.waitForMore(3));
    app.takePhoto();
    QCOMPARE(photos(), QStringList({"00000.jpg", "00002.jpg", "00004.jpg"}));
    QCOMPARE(unexpectedLines(app.output), QStringList());
}

void FaultsTest::allFaultsTogether()
{
    FaultyApp app(
        "fail_every = 7\ncorrupt_every = 5\ntruncate_every = 11\n"
        "stall_every = 13\nstall_ms = 1200\nphoto_fail_every = 3");
    int shots = 0;
    for (int round = 0; round < 8; ++round) {
        QVERIFY(app.frames.waitForMore(5));
        app.takePhoto();
        ++shots;
        if (round % 3 == 2)
            QCOMPARE(app.switchResolution().left(30), QString("onResChange open camera ret = "));
    }
    QVERIFY(app.frames.waitForMore(3));
    QCOMPARE(photos().size() + photoFailures(app.output).size(), shots);
    QVERIFY(photoFailures(app.output).size() >= shots / 3);
    QCOMPARE(app.output.lines().filter(QRegularExpression("^onResChange open camera ret = 0,")).size(), 2);
    QCOMPARE(unexpectedLines(app.output), QStringList());
}

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
