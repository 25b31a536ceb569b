// Start-up of the window against the camera library, and its end.
#include "scriptedlibrary.h"
#include "mainwindow.h"
#include "stdoutcapture.h"

#include <QComboBox>
#include <QtTest>

#include <memory>

using ScriptedLibrary::Call;

namespace {

ScriptedLibrary::Script twoCameras()
{
    ScriptedLibrary::Script script;
    script.cameras = {{QByteArray("Document Camera"), 0x1234, 0xabcd}, {QByteArray("Side Camera"), 0x0042, 0x00ff}};
    script.mainCamera = 1;
    script.auxCamera = 0;
    script.resolutions = {QSize(3264, 2448), QSize(1920, 1080), QSize(640, 480)};
    return script;
}

QStringList itemsOf(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

QStringList messages;

void collectMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    messages << message;
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { messages.clear(); }

    void callsTheLibraryInOrder();
    void logsEachCameraAndTheOpen();
    void writesMainCameraToTheDebugStream();
    void listsCamerasAndResolutions();
    void readsNamesAsLatin1AndSurvivesANullName();
    void worksWithoutCameras_data();
    void worksWithoutCameras();
    void connectsOnlyAfterFillingTheLists();
    void closingStopsTheFrameThreadAndTheCamera();
};

void StartupTest::callsTheLibraryInOrder()
{
    ScriptedLibrary::reset(twoCameras());
    MainWindow window;

    const std::vector<Call> calls = ScriptedLibrary::callsFrom(QThread::currentThread());
    std::vector<std::string> names;
    for (const Call &call : calls)
        names.push_back(call.function);
    const std::vector<std::string> expected = {
        "Init", "GetCameraCount",
        "GetCamName", "GetCamName", "GetCameraPID", "GetCameraVID",
        "GetCamName", "GetCamName", "GetCameraPID", "GetCameraVID",
        "GetMainCamera", "GetAuxCamera", "SetMJPG", "SetDefaultRes", "GetMainCamera", "OpenCamera",
        "GetResCount", "GetCurResWidth", "GetCurResHeight",
        "GetResWidth", "GetResHeight", "GetResWidth", "GetResHeight", "GetResWidth", "GetResHeight"};
    QCOMPARE(names, expected);

    QCOMPARE(calls[0].text, std::string("CameraConf.ini"));
    QCOMPARE(calls[2].args, std::vector<int>({0}));
    QCOMPARE(calls[6].args, std::vector<int>({1}));
    QCOMPARE(calls[12].args, std::vector<int>({1}));           // SetMJPG(1)
    QCOMPARE(calls[13].args, std::vector<int>({6000, 6000}));  // SetDefaultRes
    QCOMPARE(calls[15].args, std::vector<int>({0}));           // camera 0, whatever the main one is
    QCOMPARE(calls[19].args, std::vector<int>({0}));
    QCOMPARE(calls[23].args, std::vector<int>({2}));
    QVERIFY(ScriptedLibrary::overlaps().empty());
}

void StartupTest::logsEachCameraAndTheOpen()
{
    ScriptedLibrary::Script script = twoCameras();
    script.openResult = -3;
    ScriptedLibrary::reset(script);
    StdoutCapture output;
    {
        MainWindow window;
        QVERIFY(ScriptedLibrary::waitForCalls("GetCurResHeight", 3));
    }
    QStringList lines = output.lines();
    lines.removeAll("thread start run");
    lines.removeAll("视频线程退出！");
    QCOMPARE(lines, QStringList({
        "find count = 2 camera",
        "camera 0 name is Document Camera",
        "iDev = 0, pid = 1234, vid = abcd",
        "camera 1 name is Side Camera",
        "iDev = 1, pid = 42, vid = ff",
        "main_camera = 1, aux_camera = 0",
        "open camera ret = -3",
    }));
    // A failed open changes nothing: the frame thread ran all the same.
    QVERIFY(output.text().contains("thread start run\n"));
    QVERIFY(output.text().endsWith("视频线程退出！\n"));
}

void StartupTest::writesMainCameraToTheDebugStream()
{
    ScriptedLibrary::reset(twoCameras());
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    {
        MainWindow window;
    }
    qInstallMessageHandler(previous);
    QCOMPARE(messages, QStringList({"GetMainCamera() =  1"}));
}

void StartupTest::listsCamerasAndResolutions()
{
    ScriptedLibrary::reset(twoCameras());
    MainWindow window;
    auto *devices = window.findChild<QComboBox *>("comboBoxDev");
    auto *resolutions = window.findChild<QComboBox *>("comboBoxRes");

    QCOMPARE(itemsOf(devices), QStringList({"Document Camera", "Side Camera"}));
    QCOMPARE(devices->currentIndex(), 0);
    QCOMPARE(itemsOf(resolutions), QStringList({"3264X2448", "1920X1080", "640X480"}));
    QCOMPARE(resolutions->currentIndex(), 0);
    QVERIFY(!resolutions->itemData(0).isValid());
}

void StartupTest::readsNamesAsLatin1AndSurvivesANullName()
{
    ScriptedLibrary::Script script;
    script.cameras = {{QByteArray("Cam\xe9ra"), 1, 2}, {std::nullopt, 3, 4}};
    ScriptedLibrary::reset(script);
    StdoutCapture output;
    MainWindow window;
    auto *devices = window.findChild<QComboBox *>("comboBoxDev");

    QCOMPARE(itemsOf(devices), QStringList({QString::fromUtf8("Caméra"), QString()}));
    QVERIFY(output.text().contains("camera 1 name is (null)\n"));
    QVERIFY(output.text().contains("iDev = 1, pid = 3, vid = 4\n"));
}

void StartupTest::worksWithoutCameras_data()
{
    QTest::addColumn<int>("cameraCount");
    QTest::addColumn<int>("resolutionCount");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("negative counts") << -1 << -5;
}

void StartupTest::worksWithoutCameras()
{
    QFETCH(int, cameraCount);
    QFETCH(int, resolutionCount);
    ScriptedLibrary::Script script;
    script.cameraCount = cameraCount;
    script.resolutionCount = resolutionCount;
    script.openResult = -1;
    ScriptedLibrary::reset(script);
    StdoutCapture output;
    MainWindow window;

    QCOMPARE(window.findChild<QComboBox *>("comboBoxDev")->count(), 0);
    auto *resolutions = window.findChild<QComboBox *>("comboBoxRes");
    QCOMPARE(resolutions->count(), 0);
    QCOMPARE(resolutions->currentIndex(), -1);
    QCOMPARE(ScriptedLibrary::callCount("GetCamName"), 0);
    QCOMPARE(ScriptedLibrary::callCount("GetResWidth"), 0);
    QCOMPARE(ScriptedLibrary::callCount("OpenCamera"), 1);
    QVERIFY(output.text().startsWith(QString("find count = %1 camera\n").arg(cameraCount)));
    // The frame thread runs even with no camera; with no frame size it never reads a frame.
    QVERIFY(ScriptedLibrary::waitForCalls("GetCurResHeight", 5));
    QCOMPARE(ScriptedLibrary::callCount("GetFrameBuffer"), 0);
}

void StartupTest::connectsOnlyAfterFillingTheLists()
{
    ScriptedLibrary::reset(twoCameras());
    MainWindow window;
    // Filling the lists made rows current; had the slots been connected, a reopen would show.
    QCOMPARE(ScriptedLibrary::callCount("CloseCamera"), 0);
    QCOMPARE(ScriptedLibrary::callCount("OpenCamera"), 1);
}

void StartupTest::closingStopsTheFrameThreadAndTheCamera()
{
    ScriptedLibrary::Script script = twoCameras();
    script.currentSize = QSize(64, 48);
    ScriptedLibrary::reset(script);
    auto window = std::make_unique<MainWindow>();
    QVERIFY(ScriptedLibrary::waitForCalls("GetFrameBuffer", 3));
    QThread *frameThread = ScriptedLibrary::frameReaderThread();
    QVERIFY(frameThread && frameThread != QThread::currentThread());
    QVERIFY(frameThread->isRunning());

    window.reset();

    QVERIFY(frameThread->isFinished());
    QVERIFY(!ScriptedLibrary::frameReadInProgress());
    const std::vector<Call> calls = ScriptedLibrary::calls();
    QCOMPARE(calls.back().function, std::string("CloseCamera"));
    QVERIFY(ScriptedLibrary::overlaps().empty());
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
