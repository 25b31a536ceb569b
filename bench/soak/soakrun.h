#ifndef BENCH_SOAK_SOAKRUN_H
#define BENCH_SOAK_SOAKRUN_H

#include <QDir>

#include <chrono>
#include <cstdint>
#include <vector>

class MainWindow;
class QAbstractButton;
class QComboBox;
class QLabel;
class Watchdog;

struct SoakOptions {
    int switches = 1000;
    // Switches before memory is first measured: caches, the allocator's arenas and each camera's
    // scene at every size have settled by then.
    int warmup = 100;
    int photoEvery = 5;
    int turnEvery = 3;
    int autoCropEvery = 7;
};

struct SoakFigures {
    int switches = 0;
    int deviceSwitches = 0;
    int photos = 0;
    int photosMissing = 0;  // Capture succeeded, yet no new JPEG file appeared
    int turns = 0;
    int autoCropClicks = 0;
    std::chrono::duration<double> longestSwitch{};
    std::chrono::duration<double> totalSwitchTime{};
    // Resident bytes at the end of every cycle through all cameras and sizes after the warm-up,
    // each taken in the same state: the first camera at its first size, showing frames.
    std::vector<std::int64_t> memorySamples;
    std::vector<std::int64_t> heapSamples;  // the allocator's bytes in use at the same moments
    int firstSampleSwitch = 0;
};

// Drives the window as a user would, through its widgets: cycle after cycle, every camera and every
// size of each, with photos, turns and auto crop clicks in between, and after every switch a wait
// until a frame of the reopened camera reaches the preview.
class SoakRun {
public:
    SoakRun(MainWindow &window, const SoakOptions &options, Watchdog &watchdog);

    SoakFigures run();

private:
    void switchTo(QComboBox *box, int row);
    void waitForNextFrame();
    void betweenSwitches();
    void takePhoto();
    void turn(QAbstractButton *button);
    void settle();

    const SoakOptions m_options;
    Watchdog &m_watchdog;
    QComboBox *m_devices;
    QComboBox *m_resolutions;
    QLabel *m_preview;
    QAbstractButton *m_photo;
    QAbstractButton *m_turnLeft;
    QAbstractButton *m_turnRight;
    QAbstractButton *m_autoCrop;
    const QDir m_photoDir;
    int m_quarterTurns = 0;  // clockwise, as the turns so far leave the picture
    SoakFigures m_figures;
};

#endif
