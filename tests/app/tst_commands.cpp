// Photos, rotation and the auto crop switch: the commands that act on the open camera.
#include "scriptedwindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QtTest>

namespace {

QString appFile(const QString &name)
{
    return QCoreApplication::applicationDirPath() + "/" + name;
}

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void photosAreNumberedPastFailuresAndExistingPhotos_data();
    void photosAreNumberedPastFailuresAndExistingPhotos();
    void commandsRunOnTheGuiThreadWithoutStoppingFrames();
};

void CommandsTest::photosAreNumberedPastFailuresAndExistingPhotos_data()
{
    QTest::addColumn<QStringList>("planted");  // photos in the application directory before the window starts
    QTest::addColumn<QList<int>>("results");   // of the Capture calls
    QTest::addColumn<QStringList>("photos");   // one click each
    QTest::addColumn<QStringList>("failures");
    QTest::newRow("second fails") << QStringList() << QList<int>{0, -2, 0}
                                  << QStringList{"00000.jpg", "00001.jpg", "00002.jpg"}
                                  << QStringList{"ret = -2, 路径不存在"};
    QTest::newRow("never overwritten") << QStringList{"00000.jpg", "00001.jpg", "00003.jpg"} << QList<int>{0, 0}
                                       << QStringList{"00002.jpg", "00004.jpg"} << QStringList();
}

void CommandsTest::photosAreNumberedPastFailuresAndExistingPhotos()
{
    QFETCH(QStringList, planted);
    QFETCH(QList<int>, results);
    QFETCH(QStringList, photos);
    QFETCH(QStringList, failures);
    for (const QString &name : planted)
        QVERIFY(QFile(appFile(name)).open(QIODevice::WriteOnly));
    ScriptedLibrary::Script script = twoCameras();
    script.captureResults.assign(results.begin(), results.end());
    ScriptedWindow app(script);

    QStringList captures;
    for (const QString &name : photos) {
        app.click("pushButton");
        captures << "Capture(" + appFile(name) + ")";
    }
    for (const QString &name : planted)
        QFile::remove(appFile(name));
    QCOMPARE(guiCalls().filter("Capture("), captures);
    QCOMPARE(app.output.lines().filter("路径不存在"), failures);
}

void CommandsTest::commandsRunOnTheGuiThreadWithoutStoppingFrames()
{
    ScriptedLibrary::Script script = twoCameras();
    script.currentSize = QSize(32, 24);
    ScriptedWindow app(script);
    QVERIFY(waitForFrameReads(2));
    const int before = guiCalls().size();

    // The rotate buttons reach their slots only through the form's by-name wiring.
    for (const char *name : {"pushButton", "pushButton_2", "pushButton_3", "pushButton_3", "checkBoxAutoCrop",
                             "checkBoxAutoCrop", "checkBoxAutoCrop"})
        app.click(name);
    app.find<QCheckBox>("checkBoxAutoCrop")->setChecked(false);  // not a click: nothing reaches the library

    QVERIFY(waitForFrameReads(2));
    QCOMPARE(guiCalls().mid(before),
             QStringList({"Capture(" + appFile("00000.jpg") + ")", "RotateLeft(0)", "RotateRight(0)", "RotateRight(0)",
                          "SetAutoCrop(1)", "SetAutoCrop(0)", "SetAutoCrop(1)"}));
    QVERIFY(ScriptedLibrary::overlaps().empty());
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
