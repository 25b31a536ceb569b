// Start-up of the window against the camera library, and its end.
#include "scriptedwindow.h"

#include <QtTest>

namespace {

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

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void callsTheLibraryInOrder();
    void listsAndLogsTheCamerasAndClosesAtTheEnd();
    void readsNamesAsLatin1AndSurvivesANullName();
    void worksWithoutCameras_data();
    void worksWithoutCameras();
};

void StartupTest::callsTheLibraryInOrder()
{
    ScriptedWindow app;
    QCOMPARE(guiCalls(), QStringList({"Init(CameraConf.ini)", "GetCameraCount()", "GetCamName(0)", "GetCamName(0)",
                                      "GetCameraPID(0)", "GetCameraVID(0)", "GetCamName(1)", "GetCamName(1)",
                                      "GetCameraPID(1)", "GetCameraVID(1)", "GetMainCamera()", "GetAuxCamera()",
                                      "SetMJPG(1)", "SetDefaultRes(6000,6000)",
                                      // Camera 0, whatever the main one is.
                                      "GetMainCamera()", "OpenCamera(0)", "GetResCount()", "GetCurResWidth()",
                                      "GetCurResHeight()", "GetResWidth(0)", "GetResHeight(0)", "GetResWidth(1)",
                                      "GetResHeight(1)", "GetResWidth(2)", "GetResHeight(2)"}));
    QVERIFY(ScriptedLibrary::overlaps().empty());
}

void StartupTest::listsAndLogsTheCamerasAndClosesAtTheEnd()
{
    ScriptedLibrary::Script script = twoCameras();
    script.openResult = -3;
    script.currentSize = QSize(64, 48);
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    ScriptedWindow app(script);
    qInstallMessageHandler(previous);

    QCOMPARE(messages, QStringList({"GetMainCamera() =  1"}));
    QCOMPARE(itemsOf(app.devices()), QStringList({"Document Camera", "Side Camera"}));
    QCOMPARE(app.devices()->currentIndex(), 0);
    QCOMPARE(itemsOf(app.resolutions()), QStringList({"3264X2448", "1920X1080", "640X480"}));
    QCOMPARE(app.resolutions()->currentIndex(), 0);
    QVERIFY(!app.resolutions()->itemData(0).isValid());

    // A failed open changes nothing: the frame thread reads all the same, until the window goes.
    QVERIFY(waitForFrameReads(3));
    QThread *frameThread = ScriptedLibrary::frameReaderThread();
    app.window.reset();
    QVERIFY(frameThread->isFinished());
    QCOMPARE(ScriptedLibrary::trace().last(), QString("CloseCamera()"));
    QVERIFY(ScriptedLibrary::overlaps().empty());
    QCOMPARE(app.output.lines(), QStringList({"find count = 2 camera", "camera 0 name is Document Camera",
                                              "iDev = 0, pid = 1234, vid = abcd", "camera 1 name is Side Camera",
                                              "iDev = 1, pid = 42, vid = ff", "main_camera = 1, aux_camera = 0",
                                              "open camera ret = -3", "thread start run", "视频线程退出！"}));
}

void StartupTest::readsNamesAsLatin1AndSurvivesANullName()
{
    ScriptedLibrary::Script script;
    script.cameras = {{QByteArray("Cam\xe9ra"), 1, 2}, {std::nullopt, 3, 4}};
    ScriptedWindow app(script);

    QCOMPARE(itemsOf(app.devices()), QStringList({QString::fromUtf8("Caméra"), QString()}));
    QVERIFY(app.output.text().contains("camera 1 name is (null)\niDev = 1, pid = 3, vid = 4\n"));
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
    ScriptedWindow app(script);

    QCOMPARE(app.devices()->count(), 0);
    QCOMPARE(app.resolutions()->count(), 0);
    QCOMPARE(guiCalls().filter(QRegularExpression("^(GetCamName|GetRes[WH]|OpenCamera)")),
             QStringList({"OpenCamera(0)"}));
    QVERIFY(app.output.text().startsWith(QString("find count = %1 camera\n").arg(cameraCount)));
    // The frame thread runs even with no camera; with no frame size it never reads a frame.
    QVERIFY(ScriptedLibrary::waitForMoreCalls("GetCurResHeight", 5));
    QCOMPARE(ScriptedLibrary::callCount("GetFrameBuffer"), 0);
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
