#include "appframepath.h"

#include "benchcamera.h"
#include "processmemory.h"

#include <imagethread.h>
#include <mainwindow.h>

#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <thread>

namespace {

// Only a broken frame path takes this long to show the frames asked for; the run then reports
// what it got instead of hanging.
constexpr std::chrono::minutes kGiveUpAfter{5};

}  // namespace

void AppFramePath::Run::append(const Run &later)
{
    const bool first = cpuMs.empty();
    const int frames = cpuMs.count() + later.cpuMs.count();
    if (frames > 0)
        faultsPerFrame = (faultsPerFrame * cpuMs.count() + later.faultsPerFrame * later.cpuMs.count()) / frames;
    previewShown = (first || previewShown) && later.previewShown;
    cpuMs.append(later.cpuMs);
    frameThreadCpuMs.append(later.frameThreadCpuMs);
    guiCpuMs.append(later.guiCpuMs);
    latencyMs.append(later.latencyMs);
    peakBytes = std::max(peakBytes, later.peakBytes);
    nullFrames += later.nullFrames;
}

AppFramePath::AppFramePath(BenchCamera &camera) : m_camera(camera), m_probe(m_log, camera)
{
    m_camera.park();
    m_camera.setLog(&m_log);
    m_window = std::make_unique<MainWindow>();
    // The window connected its preview slot in its constructor; connected after it, the probe
    // gets each emission right after the preview slot has run.
    auto *frameThread = qobject_cast<ImageThread *>(m_camera.waitForFrameThread());
    QObject::connect(frameThread, &ImageThread::SendImageProcessing, &m_probe, &FrameProbe::onFrameShown);
}

AppFramePath::~AppFramePath()
{
    m_camera.park();
    m_window.reset();
    m_camera.setLog(nullptr);
}

bool AppFramePath::switchTo(QSize size)
{
    if (m_camera.currentSize() == size)
        return true;
    auto *resolutions = m_window->findChild<QComboBox *>("comboBoxRes");
    const int index = resolutions->findText(QString::number(size.width()) + "X" + QString::number(size.height()));
    if (index < 0)
        return false;
    resolutions->setCurrentIndex(index);
    return m_camera.currentSize() == size;
}

bool AppFramePath::waitForFrames(int firstFrame, int count)
{
    QEventLoop loop;
    bool gaveUp = false;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, [&] {
        gaveUp = true;
        loop.quit();
    });
    QObject::connect(&m_probe, &FrameProbe::enough, &loop, &QEventLoop::quit);
    giveUp.start(std::chrono::milliseconds(kGiveUpAfter).count());
    m_probe.expect(firstFrame, count);
    loop.exec();
    return !gaveUp;
}

void AppFramePath::handleEventsFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(int(duration.count()), &loop, &QEventLoop::quit);
    loop.exec();
}

bool AppFramePath::previewShown() const
{
    const auto *preview = m_window->findChild<QLabel *>("videoLabel");
    const QPixmap pixmap = preview->pixmap(Qt::ReturnByValue);
    return !pixmap.isNull() && pixmap.size() == preview->size();
}

AppFramePath::Run AppFramePath::run(std::vector<QByteArray> frames, int framesInFlight, int warmUp, int count)
{
    m_camera.setFrames(std::move(frames));
    m_log.clear();
    // Memory that the benchmark's own measurements freed stays resident in the allocator until
    // trimmed; the peak should count only what the app holds.
    malloc_trim(0);
    ProcessMemory::resetPeak();

    Run run;
    const int firstFrame = m_camera.nextFrame();
    // No frame reaches the probe before waitForFrames runs the event loop, so it counts them all.
    m_camera.serveKeepingInFlight(framesInFlight);
    const bool complete = waitForFrames(firstFrame, warmUp + count);
    m_camera.park();
    run.peakBytes = ProcessMemory::peakBytes();
    run.nullFrames = m_probe.nullFrames();
    run.previewShown = complete && previewShown();

    const auto entries = m_log.entries();
    long faults = 0;
    for (const auto &[number, entry] : entries) {
        if (number < firstFrame + warmUp || number >= firstFrame + warmUp + count)
            continue;
        if (!entry.frameThreadDone || entry.servedWallNs < 0 || entry.shownWallNs < 0)
            continue;
        run.frameThreadCpuMs.add(double(entry.frameThread.cpuNs) / 1e6);
        run.guiCpuMs.add(double(entry.guiThread.cpuNs) / 1e6);
        run.cpuMs.add(double(entry.frameThread.cpuNs + entry.guiThread.cpuNs) / 1e6);
        run.latencyMs.add(double(entry.shownWallNs - entry.servedWallNs) / 1e6);
        faults += entry.frameThread.minorFaults + entry.guiThread.minorFaults;
    }
    if (!run.cpuMs.empty())
        run.faultsPerFrame = double(faults) / run.cpuMs.count();
    return run;
}

AppFramePath::StalledRun AppFramePath::runStalled(std::vector<QByteArray> frames,
                                                  std::chrono::nanoseconds frameInterval,
                                                  std::chrono::milliseconds steady, std::chrono::milliseconds stall,
                                                  std::chrono::milliseconds recovery)
{
    constexpr int kWarmUpFrames = 5;
    m_camera.setFrames(std::move(frames));
    m_log.clear();
    malloc_trim(0);
    const int firstFrame = m_camera.nextFrame();
    m_camera.serveAtRate(frameInterval);

    StalledRun run;
    run.completed = waitForFrames(firstFrame, kWarmUpFrames);
    ProcessMemory::resetPeak();
    handleEventsFor(steady);
    run.steadyPeakBytes = ProcessMemory::peakBytes();

    const BenchCamera::Counts before = m_camera.counts();
    const int shownBefore = m_log.shownCount();
    ProcessMemory::resetPeak();
    std::this_thread::sleep_for(stall);
    handleEventsFor(recovery);
    run.stalledPeakBytes = ProcessMemory::peakBytes();
    const BenchCamera::Counts after = m_camera.counts();
    m_camera.park();

    run.sentWhileStalled = (after.served + after.missed) - (before.served + before.missed);
    run.readWhileStalled = after.served - before.served;
    run.shownWhileStalled = m_log.shownCount() - shownBefore;
    run.completed = run.completed && previewShown();
    return run;
}
