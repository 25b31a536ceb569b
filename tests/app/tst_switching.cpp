// Choosing another camera or resolution: the frame thread stops, the camera is closed and opened
// again, and nothing of the library's forbidden overlap happens on the way.
#include "scriptedwindow.h"

#include <QCheckBox>
#include <QtTest>

class SwitchingTest : public QObject {
    Q_OBJECT

private slots:
    void deviceChangeReopensOnceAndRefills_data();
    void deviceChangeReopensOnceAndRefills();
    void resolutionChangeParsesTheRow_data();
    void resolutionChangeParsesTheRow();
    void frameThreadRestartsWithTheNewBufferSize();
    void rapidSwitchingNeverOverlapsAFrameReadNorResendsCommands();
};

void SwitchingTest::deviceChangeReopensOnceAndRefills_data()
{
    // The size the library opens, whatever was asked for, and the row that shows it.
    QTest::addColumn<QSize>("running");
    QTest::addColumn<int>("row");
    QTest::newRow("unlisted") << QSize(800, 600) << 0;
    QTest::newRow("not the first row") << QSize(1920, 1080) << 1;
    QTest::newRow("turned") << QSize(480, 640) << 2;
}

void SwitchingTest::deviceChangeReopensOnceAndRefills()
{
    QFETCH(QSize, running);
    QFETCH(int, row);
    ScriptedLibrary::Script script = twoCameras();
    script.currentSize = running;
    ScriptedWindow app(script);
    QCOMPARE(app.resolutions()->currentIndex(), row);
    const int before = guiCalls().size();

    app.devices()->setCurrentIndex(1);

    QCOMPARE(guiCalls().mid(before),
             QStringList({"CloseCamera()", "SetDefaultRes(800,600)", "OpenCamera(1)", "GetResCount()",
                          "GetCurResWidth()", "GetCurResHeight()", "GetResWidth(0)", "GetResHeight(0)",
                          "GetResWidth(1)", "GetResHeight(1)", "GetResWidth(2)", "GetResHeight(2)"}));
    QCOMPARE(app.resolutions()->currentIndex(), row);
    QVERIFY(ScriptedLibrary::overlaps().empty());

    // The frame thread was stopped before the close and runs again after the open.
    QVERIFY(waitForFrameReads(1));
    const QStringList lines = app.output.lines();
    QCOMPARE(lines.mid(lines.indexOf("thread start run")),
             QStringList({"thread start run", "视频线程退出！", "onDevChange open camera ret = 0, m_iCurIndex = 1",
                          "thread start run"}));

    // Row 0 is another size than the one running, unless it is the one running.
    app.resolutions()->setCurrentIndex(0);
    QCOMPARE(ScriptedLibrary::callCount("CloseCamera"), row == 0 ? 1 : 2);
}

void SwitchingTest::resolutionChangeParsesTheRow_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("size");  // asked for by the reopen; empty: the row is ignored
    QTest::newRow("listed") << "640X480"
                            << "640,480";
    QTest::newRow("width not a number") << "wideX480"
                                        << "0,480";
    QTest::newRow("both empty") << "X"
                                << "0,0";
    QTest::newRow("lower-case x") << "640x480" << QString();
    QTest::newRow("three parts") << "640X480X2" << QString();
    QTest::newRow("empty") << "" << QString();
}

void SwitchingTest::resolutionChangeParsesTheRow()
{
    QFETCH(QString, row);
    QFETCH(QString, size);
    ScriptedWindow app;
    app.resolutions()->addItem(row);
    const int before = guiCalls().size();

    app.resolutions()->setCurrentIndex(3);
    // Back to the first row: a reopen again, unless the row before was ignored and the first is still current.
    app.resolutions()->setCurrentIndex(0);

    const QStringList reopens = {"CloseCamera()", "SetDefaultRes(" + size + ")", "OpenCamera(0)",
                                 "CloseCamera()", "SetDefaultRes(3264,2448)",    "OpenCamera(0)"};
    QCOMPARE(guiCalls().mid(before), size.isEmpty() ? QStringList() : reopens);
    QCOMPARE(app.output.lines().filter("open camera ret = 0, m_iCurIndex = 0").size(), size.isEmpty() ? 0 : 2);
    QVERIFY(ScriptedLibrary::overlaps().empty());
}

void SwitchingTest::frameThreadRestartsWithTheNewBufferSize()
{
    ScriptedLibrary::Script script = twoCameras();
    script.repeatingFrame = ScriptedLibrary::Frame{0, QByteArray("not a picture"), std::nullopt};
    ScriptedWindow app(script);
    QVERIFY(waitForFrameReads(3));

    app.resolutions()->setCurrentIndex(2);  // 640X480
    QVERIFY(waitForFrameReads(3));

    std::vector<std::size_t> capacities;
    for (const ScriptedLibrary::Call &call : ScriptedLibrary::calls()) {
        if (call.function == "GetFrameBuffer")
            capacities.push_back(call.bufferCapacity);
    }
    // Start-up asked for 6000 × 6000; the reopen for 640 × 480. A buffer too small for its size,
    // or one kept from the earlier run, shows here.
    const std::size_t large = 6000u * 6000u * 3u;
    QVERIFY(capacities.front() >= large);
    QVERIFY(capacities.back() >= 640u * 480u * 3u);
    QVERIFY(capacities.back() < large);
}

void SwitchingTest::rapidSwitchingNeverOverlapsAFrameReadNorResendsCommands()
{
    ScriptedLibrary::Script script = twoCameras();
    script.frameReadTime = std::chrono::milliseconds(2);
    script.repeatingFrame = ScriptedLibrary::Frame{0, QByteArray(16, 'x'), std::nullopt};
    ScriptedWindow app(script);
    app.click("checkBoxAutoCrop");

    for (int round = 0; round < 40; ++round) {
        app.resolutions()->setCurrentIndex((round % 2) + 1);
        if (round % 5 == 0)
            app.devices()->setCurrentIndex((round / 5) % 2);
        QCoreApplication::processEvents();
    }

    QVERIFY(ScriptedLibrary::overlaps().empty());
    QCOMPARE(ScriptedLibrary::callCount("OpenCamera"), ScriptedLibrary::callCount("CloseCamera") + 1);
    // No reopen sends the auto crop state or a rotation again, and the box keeps the user's state.
    QCOMPARE(guiCalls().filter(QRegularExpression("^(SetAutoCrop|Rotate)")), QStringList({"SetAutoCrop(1)"}));
    QVERIFY(app.find<QCheckBox>("checkBoxAutoCrop")->isChecked());
}

QTEST_MAIN(SwitchingTest)
#include "tst_switching.moc"
