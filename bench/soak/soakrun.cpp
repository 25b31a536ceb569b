#include "soakrun.h"

#include "countinglibrary.h"
#include "mainwindow.h"
#include "watchdog.h"

#include "residentmemory.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QSet>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

template <typename Widget>
Widget *child(MainWindow &window, const char *name)
{
    auto *widget = window.findChild<Widget *>(name);
    if (!widget) {
        std::fprintf(stderr, "soak: the window has no %s\n", name);
        std::exit(2);
    }
    return widget;
}

QSet<QString> photoNames(const QDir &dir)
{
    const QStringList names = dir.entryList({"*.jpg"}, QDir::Files);
    return QSet<QString>(names.begin(), names.end());
}

}  // namespace

SoakRun::SoakRun(MainWindow &window, const SoakOptions &options, Watchdog &watchdog)
    : m_options(options),
      m_watchdog(watchdog),
      m_devices(child<QComboBox>(window, "comboBoxDev")),
      m_resolutions(child<QComboBox>(window, "comboBoxRes")),
      m_preview(child<QLabel>(window, "videoLabel")),
      m_photo(child<QAbstractButton>(window, "pushButton")),
      m_turnLeft(child<QAbstractButton>(window, "pushButton_2")),
      m_turnRight(child<QAbstractButton>(window, "pushButton_3")),
      m_autoCrop(child<QAbstractButton>(window, "checkBoxAutoCrop")),
      m_photoDir(QCoreApplication::applicationDirPath())
{}

SoakFigures SoakRun::run()
{
    const auto finished = [this] { return m_figures.switches >= m_options.switches; };
    const int cameras = m_devices->count();
    m_watchdog.progress("waiting for the first frame");
    waitForNextFrame();
    while (!finished()) {
        // Every cycle ends on the first camera at its first size, the state memory is measured in.
        for (int step = 1; step <= cameras && !finished(); ++step) {
            if (cameras > 1) {
                switchTo(m_devices, step % cameras);
                ++m_figures.deviceSwitches;
            }
            const int sizes = m_resolutions->count();
            for (int row = 1; row <= sizes && sizes > 1 && !finished(); ++row)
                switchTo(m_resolutions, row % sizes);
        }
        const bool cycleComplete = m_devices->currentIndex() == 0 && m_resolutions->currentIndex() == 0;
        if (cycleComplete && m_figures.switches >= m_options.warmup) {
            settle();
            // Measured in the next switch, between close and open: no frame in flight, no frame
            // buffer, nothing but what the app and the library keep.
            const int cycleEnd = m_figures.switches;
            CountingLibrary::runBeforeNextOpen([this, cycleEnd] {
                if (m_figures.memorySamples.empty())
                    m_figures.firstSampleSwitch = cycleEnd;
                m_figures.memorySamples.push_back(ResidentMemory::settledBytes());
                m_figures.heapSamples.push_back(ResidentMemory::heapInUseBytes());
            });
        }
    }
    return m_figures;
}

void SoakRun::switchTo(QComboBox *box, int row)
{
    ++m_figures.switches;
    m_watchdog.progress("switch " + std::to_string(m_figures.switches) + " (" + box->objectName().toStdString() +
                        " to row " + std::to_string(row) + ")");
    const auto start = Clock::now();
    box->setCurrentIndex(row);
    waitForNextFrame();
    const std::chrono::duration<double> took = Clock::now() - start;
    m_figures.totalSwitchTime += took;
    m_figures.longestSwitch = std::max(m_figures.longestSwitch, took);

    m_watchdog.progress("commands after switch " + std::to_string(m_figures.switches));
    betweenSwitches();
}

void SoakRun::waitForNextFrame()
{
    // Frames that the stopped run queued before it ended come first: let them pass.
    QCoreApplication::processEvents();
    const qint64 shown = m_preview->pixmap(Qt::ReturnByValue).cacheKey();
    while (m_preview->pixmap(Qt::ReturnByValue).cacheKey() == shown)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void SoakRun::betweenSwitches()
{
    const int done = m_figures.switches;
    if (done % m_options.photoEvery == 0)
        takePhoto();
    // Two right, one left: in time every orientation, and both buttons.
    if (done % m_options.turnEvery == 0)
        turn(m_figures.turns % 3 == 2 ? m_turnLeft : m_turnRight);
    if (done % m_options.autoCropEvery == 0) {
        m_autoCrop->click();
        ++m_figures.autoCropClicks;
    }
}

void SoakRun::turn(QAbstractButton *button)
{
    button->click();
    m_quarterTurns = (m_quarterTurns + (button == m_turnRight ? 1 : 3)) % 4;
    ++m_figures.turns;
}

// Every measurement is taken in the same state, or the buffers that the state keeps would show as
// growth or shrinkage: auto crop off, the picture upright, and turned a full round at the size
// measured at, so that the turns' buffers are sized alike every time.
void SoakRun::settle()
{
    m_watchdog.progress("settling after switch " + std::to_string(m_figures.switches));
    if (m_autoCrop->isChecked()) {
        m_autoCrop->click();
        ++m_figures.autoCropClicks;
    }
    while (m_quarterTurns != 0)
        turn(m_turnLeft);
    for (int quarter = 0; quarter < 4; ++quarter) {
        turn(m_turnRight);
        waitForNextFrame();
    }
    waitForNextFrame();
}

void SoakRun::takePhoto()
{
    const QSet<QString> before = photoNames(m_photoDir);
    const long failedBefore = CountingLibrary::failures(CountingLibrary::Capture);
    m_photo->click();
    ++m_figures.photos;
    const bool failed = CountingLibrary::failures(CountingLibrary::Capture) > failedBefore;
    const QSet<QString> added = photoNames(m_photoDir) - before;
    if (!failed && (added.size() != 1 || QFileInfo(m_photoDir.filePath(*added.begin())).size() == 0))
        ++m_figures.photosMissing;
    // Checked, the photos go again: a thousand of them at full size would fill the build folder.
    for (const QString &name : added)
        QFile::remove(m_photoDir.filePath(name));
}
