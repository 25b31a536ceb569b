// Photos, rotation and the auto crop switch: the commands that act on the open camera.
#include "scriptedlibrary.h"
#include "mainwindow.h"
#include "stdoutcapture.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QtTest>

namespace {

ScriptedLibrary::Script oneCamera()
{
    ScriptedLibrary::Script script;
    script.cameras = {{QByteArray("Camera"), 1, 2}};
    script.resolutions = {QSize(640, 480)};
    return script;
}

// Photos a test puts in the application directory before the window numbers its own.
const QStringList kPlantedPhotos = {"00000.jpg", "00001.jpg", "00003.jpg"};

QString appFile(const QString &name)
{
    return QCoreApplication::applicationDirPath() + "/" + name;
}

QStringList capturedPaths()
{
    QStringList paths;
    for (const ScriptedLibrary::Call &call : ScriptedLibrary::calls()) {
        if (call.function == "Capture")
            paths << QString::fromLocal8Bit(call.text.c_str());
    }
    return paths;
}

std::vector<int> autoCropArguments()
{
    std::vector<int> arguments;
    for (const ScriptedLibrary::Call &call : ScriptedLibrary::calls()) {
        if (call.function == "SetAutoCrop")
            arguments.push_back(call.args.at(0));
    }
    return arguments;
}

} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void photosAreNumberedEvenPastAFailure();
    void existingPhotosAreNeverOverwritten();
    void autoCropFollowsClicksOnly();
    void commandsRunOnTheGuiThreadWithoutStoppingFrames();
};

void CommandsTest::cleanup()
{
    for (const QString &name : kPlantedPhotos)
        QFile::remove(appFile(name));
}

void CommandsTest::photosAreNumberedEvenPastAFailure()
{
    ScriptedLibrary::Script script = oneCamera();
    script.captureResults = {0, -2, 0};
    ScriptedLibrary::reset(script);
    StdoutCapture output;
    MainWindow window;
    auto *photo = window.findChild<QPushButton *>("pushButton");
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(photo, Qt::LeftButton);

    QCOMPARE(capturedPaths(), QStringList({appFile("00000.jpg"), appFile("00001.jpg"), appFile("00002.jpg")}));
    QCOMPARE(output.text().count("路径不存在"), 1);
    QVERIFY(output.text().contains("ret = -2, 路径不存在\n"));
}

void CommandsTest::existingPhotosAreNeverOverwritten()
{
    ScriptedLibrary::reset(oneCamera());
    for (const QString &name : kPlantedPhotos) {
        QFile file(appFile(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    MainWindow window;
    auto *photo = window.findChild<QPushButton *>("pushButton");
    QTest::mouseClick(photo, Qt::LeftButton);
    QTest::mouseClick(photo, Qt::LeftButton);

    QCOMPARE(capturedPaths(), QStringList({appFile("00002.jpg"), appFile("00004.jpg")}));
}

void CommandsTest::autoCropFollowsClicksOnly()
{
    ScriptedLibrary::reset(oneCamera());
    MainWindow window;
    auto *autoCrop = window.findChild<QCheckBox *>("checkBoxAutoCrop");

    QTest::mouseClick(autoCrop, Qt::LeftButton);
    QTest::mouseClick(autoCrop, Qt::LeftButton);
    QTest::mouseClick(autoCrop, Qt::LeftButton);
    autoCrop->setChecked(false); // not a click: nothing reaches the library

    QCOMPARE(autoCropArguments(), std::vector<int>({1, 0, 1}));
}

void CommandsTest::commandsRunOnTheGuiThreadWithoutStoppingFrames()
{
    ScriptedLibrary::Script script = oneCamera();
    script.currentSize = QSize(32, 24);
    ScriptedLibrary::reset(script);
    MainWindow window;
    QVERIFY(ScriptedLibrary::waitForCalls("GetFrameBuffer", 2));

    // The rotate buttons reach their slots only through the form's by-name wiring.
    QTest::mouseClick(window.findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton *>("pushButton_2"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton *>("pushButton_3"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton *>("pushButton_3"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QCheckBox *>("checkBoxAutoCrop"), Qt::LeftButton);

    const int readsSoFar = ScriptedLibrary::callCount("GetFrameBuffer");
    QVERIFY(ScriptedLibrary::waitForCalls("GetFrameBuffer", readsSoFar + 2));
    QStringList commands;
    for (const ScriptedLibrary::Call &call : ScriptedLibrary::callsFrom(QThread::currentThread())) {
        if (call.function.rfind("Rotate", 0) == 0)
            QCOMPARE(call.args, std::vector<int>({0}));
        if (call.function == "Capture" || call.function.rfind("Rotate", 0) == 0 || call.function == "SetAutoCrop")
            commands << QString::fromStdString(call.function);
    }
    QCOMPARE(commands, QStringList({"Capture", "RotateLeft", "RotateRight", "RotateRight", "SetAutoCrop"}));
    QCOMPARE(ScriptedLibrary::callCount("CloseCamera"), 0);
    QVERIFY(ScriptedLibrary::overlaps().empty());
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
