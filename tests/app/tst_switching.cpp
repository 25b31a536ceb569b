// Choosing another camera or resolution: the frame thread stops, the camera is closed and opened
// again, and nothing of the library's forbidden overlap happens on the way.
#include "scriptedlibrary.h"
#include "mainwindow.h"
#include "stdoutcapture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QtTest>

using ScriptedLibrary::Call;

namespace {

ScriptedLibrary::Script twoCameras()
{
    ScriptedLibrary::Script script;
    script.cameras = {{QByteArray("Main"), 1, 2}, {QByteArray("Aux"), 3, 4}};
    script.resolutions = {QSize(1280, 720), QSize(640, 480), QSize(320, 240)};
    return script;
}

std::vector<std::string> reopenCallsAfter(std::size_t first)
{
    std::vector<std::string> names;
    const std::vector<Call> calls = ScriptedLibrary::callsFrom(QThread::currentThread());
    for (std::size_t i = first; i < calls.size(); ++i)
        names.push_back(calls[i].function);
    return names;
}

const Call *lastCall(const std::string &function)
{
    static std::vector<Call> calls;
    calls = ScriptedLibrary::calls();
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->function == function)
            return &*it;
    }
    return nullptr;
}

} // namespace

class SwitchingTest : public QObject
{
    Q_OBJECT

private slots:
    void deviceChangeReopensOnceAndRefills_data();
    void deviceChangeReopensOnceAndRefills();
    void choosingTheOpenDeviceDoesNothing();
    void resolutionChangeParsesTheRow_data();
    void resolutionChangeParsesTheRow();
    void choosingTheCurrentResolutionDoesNothing();
    void reopenDoesNotResendAutoCrop();
    void frameThreadRestartsWithTheNewBufferSize();
    void rapidSwitchingNeverOverlapsAFrameRead();
};

void SwitchingTest::deviceChangeReopensOnceAndRefills_data()
{
    // The size the library opens, whatever was asked for, and the row that shows it.
    QTest::addColumn<QSize>("running");
    QTest::addColumn<int>("row");
    QTest::newRow("unlisted") << QSize(800, 600) << 0;
    QTest::newRow("not the first row") << QSize(640, 480) << 1;
    QTest::newRow("turned") << QSize(240, 320) << 2;
}

void SwitchingTest::deviceChangeReopensOnceAndRefills()
{
    QFETCH(QSize, running);
    QFETCH(int, row);
    ScriptedLibrary::Script script = twoCameras();
    script.currentSize = running;
    ScriptedLibrary::reset(script);
    StdoutCapture output;
    MainWindow window;
    auto *devices = window.findChild<QComboBox *>("comboBoxDev");
    auto *resolutions = window.findChild<QComboBox *>("comboBoxRes");
    QCOMPARE(resolutions->currentIndex(), row);
    const std::size_t before = ScriptedLibrary::callsFrom(QThread::currentThread()).size();

    devices->setCurrentIndex(1);

    const std::vector<std::string> expected = {
        "CloseCamera", "SetDefaultRes", "OpenCamera",
        "GetResCount", "GetCurResWidth", "GetCurResHeight",
        "GetResWidth", "GetResHeight", "GetResWidth", "GetResHeight", "GetResWidth", "GetResHeight"};
    QCOMPARE(reopenCallsAfter(before), expected);
    QCOMPARE(lastCall("SetDefaultRes")->args, std::vector<int>({800, 600}));
    QCOMPARE(lastCall("OpenCamera")->args, std::vector<int>({1}));
    QCOMPARE(resolutions->currentIndex(), row);
    QVERIFY(output.text().contains("onDevChange open camera ret = 0, m_iCurIndex = 1\n"));
    QVERIFY(ScriptedLibrary::overlaps().empty());

    // The frame thread was stopped before the close and runs again after the open.
    const int reads = ScriptedLibrary::callCount("GetFrameBuffer");
    QVERIFY(ScriptedLibrary::waitForCalls("GetFrameBuffer", reads + 1));
    QCOMPARE(output.text().count("thread start run\n"), 2);
    QCOMPARE(output.text().count("视频线程退出！\n"), 1);

    // Row 0 is another size than the one running, unless it is the one running.
    resolutions->setCurrentIndex(0);
    QCOMPARE(ScriptedLibrary::callCount("CloseCamera"), row == 0 ? 1 : 2);
}

void SwitchingTest::choosingTheOpenDeviceDoesNothing()
{
    ScriptedLibrary::reset(twoCameras());
    StdoutCapture output;
    MainWindow window;
    auto *devices = window.findChild<QComboBox *>("comboBoxDev");

    devices->setCurrentIndex(1);
    devices->setCurrentIndex(1);
    devices->setCurrentIndex(0);
    devices->setCurrentIndex(0);

    QCOMPARE(ScriptedLibrary::callCount("CloseCamera"), 2);
    QCOMPARE(ScriptedLibrary::callCount("OpenCamera"), 3);
    QCOMPARE(output.text().count("onDevChange"), 2);
}

void SwitchingTest::resolutionChangeParsesTheRow_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<bool>("reopens");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    QTest::newRow("listed") << "640X480" << true << 640 << 480;
    QTest::newRow("width not a number") << "wideX480" << true << 0 << 480;
    QTest::newRow("both empty") << "X" << true << 0 << 0;
    QTest::newRow("lower-case x") << "640x480" << false << 0 << 0;
    QTest::newRow("three parts") << "640X480X2" << false << 0 << 0;
    QTest::newRow("empty") << "" << false << 0 << 0;
}

void SwitchingTest::resolutionChangeParsesTheRow()
{
    QFETCH(QString, row);
    QFETCH(bool, reopens);
    QFETCH(int, width);
    QFETCH(int, height);

    ScriptedLibrary::reset(twoCameras());
    StdoutCapture output;
    MainWindow window;
    auto *resolutions = window.findChild<QComboBox *>("comboBoxRes");
    resolutions->addItem(row);

    resolutions->setCurrentIndex(resolutions->count() - 1);

    if (!reopens) {
        QCOMPARE(ScriptedLibrary::callCount("CloseCamera"), 0);
        QCOMPARE(ScriptedLibrary::callCount("OpenCamera"), 1);
        return;
    }
    const std::size_t start = ScriptedLibrary::callsFrom(QThread::currentThread()).size() - 3;
    QCOMPARE(reopenCallsAfter(start), std::vector<std::string>({"CloseCamera", "SetDefaultRes", "OpenCamera"}));
    QCOMPARE(lastCall("SetDefaultRes")->args, std::vector<int>({width, height}));
    QCOMPARE(lastCall("OpenCamera")->args, std::vector<int>({0}));
    QVERIFY(output.text().contains("open camera ret = 0, m_iCurIndex = 0\n"));
    QVERIFY(ScriptedLibrary::overlaps().empty());
}

void SwitchingTest::choosingTheCurrentResolutionDoesNothing()
{
    ScriptedLibrary::reset(twoCameras());
    MainWindow window;
    auto *resolutions = window.findChild<QComboBox *>("comboBoxRes");

    resolutions->setCurrentIndex(2);
    resolutions->setCurrentIndex(2);
    resolutions->setCurrentIndex(0);

    QCOMPARE(ScriptedLibrary::callCount("CloseCamera"), 2);
    QCOMPARE(lastCall("SetDefaultRes")->args, std::vector<int>({1280, 720}));
}

void SwitchingTest::reopenDoesNotResendAutoCrop()
{
    ScriptedLibrary::reset(twoCameras());
    MainWindow window;
    auto *autoCrop = window.findChild<QCheckBox *>("checkBoxAutoCrop");
    QTest::mouseClick(autoCrop, Qt::LeftButton);
    QCOMPARE(ScriptedLibrary::callCount("SetAutoCrop"), 1);

    window.findChild<QComboBox *>("comboBoxRes")->setCurrentIndex(1);
    window.findChild<QComboBox *>("comboBoxDev")->setCurrentIndex(1);

    QCOMPARE(ScriptedLibrary::callCount("CloseCamera"), 2);
    QCOMPARE(ScriptedLibrary::callCount("SetAutoCrop"), 1);
    QCOMPARE(ScriptedLibrary::callCount("RotateLeft") + ScriptedLibrary::callCount("RotateRight"), 0);
    QVERIFY(autoCrop->isChecked());
}

void SwitchingTest::frameThreadRestartsWithTheNewBufferSize()
{
    ScriptedLibrary::reset(twoCameras());
    ScriptedLibrary::setRepeatingFrame(ScriptedLibrary::Frame{0, QByteArray("not a picture"), std::nullopt});
    MainWindow window;
    QVERIFY(ScriptedLibrary::waitForCalls("GetFrameBuffer", 3));

    window.findChild<QComboBox *>("comboBoxRes")->setCurrentIndex(2); // 320X240
    const int readsBefore = ScriptedLibrary::callCount("GetFrameBuffer");
    QVERIFY(ScriptedLibrary::waitForCalls("GetFrameBuffer", readsBefore + 3));

    std::vector<std::size_t> capacities;
    for (const Call &call : ScriptedLibrary::calls()) {
        if (call.function == "GetFrameBuffer")
            capacities.push_back(call.bufferCapacity);
    }
    // Start-up asked for 6000 × 6000; the reopen for 320 × 240. A buffer too small for its size,
    // or one kept from the earlier run, shows here.
    const std::size_t large = 6000u * 6000u * 3u;
    const std::size_t small = 320u * 240u * 3u;
    QVERIFY(capacities.front() >= large);
    QVERIFY(capacities.back() >= small);
    QVERIFY(capacities.back() < large);
}

void SwitchingTest::rapidSwitchingNeverOverlapsAFrameRead()
{
    ScriptedLibrary::Script script = twoCameras();
    script.frameReadTime = std::chrono::milliseconds(2);
    ScriptedLibrary::reset(script);
    ScriptedLibrary::setRepeatingFrame(ScriptedLibrary::Frame{0, QByteArray(16, 'x'), std::nullopt});
    MainWindow window;
    auto *devices = window.findChild<QComboBox *>("comboBoxDev");
    auto *resolutions = window.findChild<QComboBox *>("comboBoxRes");

    for (int round = 0; round < 40; ++round) {
        resolutions->setCurrentIndex((round % 2) + 1);
        if (round % 5 == 0)
            devices->setCurrentIndex((round / 5) % 2);
        QCoreApplication::processEvents();
    }

    QVERIFY(ScriptedLibrary::overlaps().empty());
    QCOMPARE(ScriptedLibrary::callCount("OpenCamera"), ScriptedLibrary::callCount("CloseCamera") + 1);
}

QTEST_MAIN(SwitchingTest)
#include "tst_switching.moc"
