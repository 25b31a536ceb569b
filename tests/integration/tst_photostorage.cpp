// Photos into a full folder and a read-only one, with the real camera library: the photo fails,
// no partial file stays behind, the app logs the failure and goes on, and the numbering with it.
//
// The application directory, where the photos go, is a small tmpfs mounted over this test's own
// folder in a mount namespace of the process's own; where that is not permitted, the tests skip.
#include "mainwindow.h"
#include "privatetmpfs.h"
#include "stdoutcapture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QtTest>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

namespace {

// Room for the configuration and a few photos of the small camera below.
constexpr std::size_t kTmpfsBytes = 4 << 20;

PrivateTmpfs g_tmpfs;
std::optional<std::string> g_notPermitted;

// The running executable, whose folder is QCoreApplication's application directory, known before
// there is an application object.
std::string executablePath()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, std::size_t(length)) : std::string();
}

// One small camera, so that photos are small and the tmpfs fills up fast.
bool writeCameraConfiguration(const std::string &folder)
{
    std::ofstream file(folder + "/CameraConf.ini");
    file << "[library]\nbackend = virtual\n[camera0]\nname = Small Camera\nresolutions = 320X240\n";
    file.flush();
    return bool(file);
}

void setUpPhotoFolder()
{
    const std::string exe = executablePath();
    const std::string folder = exe.substr(0, exe.rfind('/'));
    std::string error;
    // Qt finds the application directory through the executable's path, which must therefore
    // still lead to a file.
    if (!g_tmpfs.mount(folder, kTmpfsBytes, exe.substr(exe.rfind('/') + 1), error)) {
        g_notPermitted = error;
        return;
    }
    // The library reads CameraConf.ini from the working directory first.
    if (!writeCameraConfiguration(folder) || chdir(folder.c_str()) != 0)
        g_notPermitted = "cannot set up the camera configuration in " + folder;
}

QLabel *preview(MainWindow &window)
{
    return window.findChild<QLabel *>("videoLabel");
}

void takePhoto(MainWindow &window)
{
    window.findChild<QAbstractButton *>("pushButton")->click();
}

// The names in the application directory but the executable, its configuration and the filler:
// photos and anything a failed write left behind, hidden files included.
QStringList photoFolderEntries()
{
    QStringList entries = QDir(QCoreApplication::applicationDirPath())
                              .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    entries.removeAll(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    entries.removeAll("CameraConf.ini");
    entries.removeAll(".filler");
    return entries;
}

bool isJpegFile(const QString &name)
{
    QFile file(QCoreApplication::applicationDirPath() + "/" + name);
    return file.open(QIODevice::ReadOnly) && file.read(2) == QByteArray("\xff\xd8", 2);
}

// Waits until the preview shows a frame other than the one it shows now: the frame thread runs.
bool previewMovesOn(MainWindow &window)
{
    const qint64 shown = preview(window)->pixmap(Qt::ReturnByValue).cacheKey();
    return QTest::qWaitFor([&] {
        const QPixmap pixmap = preview(window)->pixmap(Qt::ReturnByValue);
        return !pixmap.isNull() && pixmap.cacheKey() != shown;
    }, 60000);
}

const QRegularExpression kFailureLine("^ret = (-\\d+), 路径不存在$");

QStringList failureLines(const StdoutCapture &output)
{
    return output.lines().filter(kFailureLine);
}

} // namespace

class PhotoStorageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void fullFolder();
    void readOnlyFolder();
};

void PhotoStorageTest::initTestCase()
{
    if (g_notPermitted)
        QSKIP(g_notPermitted->c_str());
    // Photos must land in the tmpfs, nowhere else.
    const std::string exe = executablePath();
    QCOMPARE(QCoreApplication::applicationDirPath(), QString::fromStdString(exe.substr(0, exe.rfind('/'))));
}

void PhotoStorageTest::cleanup()
{
    g_tmpfs.setReadOnly(false);
    g_tmpfs.freeSpace();
    for (const QString &name : photoFolderEntries())
        QFile::remove(QCoreApplication::applicationDirPath() + "/" + name);
}

void PhotoStorageTest::fullFolder()
{
    StdoutCapture output;
    MainWindow window;
    QVERIFY(previewMovesOn(window));
    takePhoto(window);
    QCOMPARE(photoFolderEntries(), QStringList({"00000.jpg"}));

    QVERIFY(g_tmpfs.fill());
    takePhoto(window);
    QCOMPARE(photoFolderEntries(), QStringList({"00000.jpg"}));
    const QStringList failures = failureLines(output);
    QCOMPARE(failures.size(), 1);
    QVERIFY(kFailureLine.match(failures.first()).captured(1).toInt() < 0);
    QVERIFY2(previewMovesOn(window), "the preview stopped after the failed photo");

    QVERIFY(g_tmpfs.freeSpace());
    takePhoto(window);
    QCOMPARE(photoFolderEntries(), QStringList({"00000.jpg", "00002.jpg"}));
    QVERIFY(isJpegFile("00002.jpg"));
    QCOMPARE(failureLines(output).size(), 1);
}

void PhotoStorageTest::readOnlyFolder()
{
    StdoutCapture output;
    MainWindow window;
    QVERIFY(previewMovesOn(window));
    takePhoto(window);
    QCOMPARE(photoFolderEntries(), QStringList({"00000.jpg"}));

    QVERIFY(g_tmpfs.setReadOnly(true));
    takePhoto(window);
    takePhoto(window);
    QCOMPARE(failureLines(output).size(), 2);
    QVERIFY2(previewMovesOn(window), "the preview stopped after the failed photos");

    QVERIFY(g_tmpfs.setReadOnly(false));
    takePhoto(window);
    QCOMPARE(photoFolderEntries(), QStringList({"00000.jpg", "00003.jpg"}));
    QVERIFY(isJpegFile("00003.jpg"));
}

int main(int argc, char *argv[])
{
    // Before the application object: a user namespace can only be entered with a single thread.
    setUpPhotoFolder();
    QApplication app(argc, argv);
    PhotoStorageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_photostorage.moc"
