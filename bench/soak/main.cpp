// Soak: the real app, switched again and again between the cameras and sizes of a real camera
// library, with photos, turns and auto crop clicks in between. Prints whether it ever hung, whether
// every open was matched by a close, and how resident memory moved after the warm-up; exits 1 when
// any of these fails.
#include "countinglibrary.h"
#include "mainwindow.h"
#include "soakrun.h"
#include "watchdog.h"

#include <QApplication>
#include <QCommandLineParser>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// The allocator of AddressSanitizer keeps freed memory in quarantine: resident memory says nothing
// about leaks there, and LeakSanitizer judges them instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryJudged = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryJudged = false;
#else
constexpr bool kMemoryJudged = true;
#endif
#else
constexpr bool kMemoryJudged = true;
#endif

double mebibytes(std::int64_t bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

struct Settings {
    SoakOptions soak;
    QString library;
    QString appLog;
    int hangSeconds = 120;
    int maxGrowthKiB = 1024;
};

int positive(QCommandLineParser &parser, const QString &name)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value <= 0) {
        std::fprintf(stderr, "soak: --%s must be a positive whole number\n", qPrintable(name));
        std::exit(2);
    }
    return value;
}

Settings parseArguments(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Switches doccam's window between every camera and size of a camera "
        "library, again and again, and reports hangs, opens and closes, "
        "and memory.");
    parser.addHelpOption();
    const Settings defaults;
    parser.addOptions({
        {"switches", "Device and resolution switches in all.", "N", QString::number(defaults.soak.switches)},
        {"warmup", "Switches before memory is first measured.", "N", QString::number(defaults.soak.warmup)},
        {"photo-every", "A photo after every Nth switch.", "N", QString::number(defaults.soak.photoEvery)},
        {"turn-every", "A turn after every Nth switch.", "N", QString::number(defaults.soak.turnEvery)},
        {"auto-crop-every", "An auto crop click after every Nth switch.", "N",
         QString::number(defaults.soak.autoCropEvery)},
        {"library", "The camera library to load.", "PATH", DOCCAM_SOAK_LIBRARY},
        {"hang-limit", "Seconds without progress that count as a hang.", "S", QString::number(defaults.hangSeconds)},
        {"max-growth", "Most resident memory growth after the warm-up that passes, in KiB.", "KIB",
         QString::number(defaults.maxGrowthKiB)},
        {"app-log", "Where the app's own log goes.", "PATH", "/dev/null"},
    });
    parser.process(app);

    Settings settings;
    settings.soak.switches = positive(parser, "switches");
    settings.soak.warmup = parser.value("warmup").toInt();
    settings.soak.photoEvery = positive(parser, "photo-every");
    settings.soak.turnEvery = positive(parser, "turn-every");
    settings.soak.autoCropEvery = positive(parser, "auto-crop-every");
    settings.library = parser.value("library");
    settings.hangSeconds = positive(parser, "hang-limit");
    settings.maxGrowthKiB = positive(parser, "max-growth");
    settings.appLog = parser.value("app-log");
    return settings;
}

}  // namespace

int main(int argc, char *argv[])
{
    // Without a display the window goes to Qt's offscreen platform.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Settings settings = parseArguments(app);

    std::string error;
    if (!CountingLibrary::load(settings.library.toStdString(), error)) {
        std::fprintf(stderr, "soak: cannot load the camera library: %s\n", error.c_str());
        return 2;
    }
    // The report keeps the real standard output; the app's log lines, two per switch, go elsewhere.
    std::FILE *report = fdopen(dup(STDOUT_FILENO), "w");
    if (!report || !std::freopen(qPrintable(settings.appLog), "w", stdout)) {
        std::fprintf(stderr, "soak: cannot write the app's log to %s\n", qPrintable(settings.appLog));
        return 2;
    }

    Watchdog watchdog{std::chrono::seconds(settings.hangSeconds)};
    const auto start = std::chrono::steady_clock::now();
    SoakFigures figures;
    long opensWhileOpen = 0;
    long closesWhileOpen = 0;
    {
        auto window = std::make_unique<MainWindow>();
        window->show();
        figures = SoakRun(*window, settings.soak, watchdog).run();
        opensWhileOpen = CountingLibrary::calls(CountingLibrary::OpenCamera);
        closesWhileOpen = CountingLibrary::calls(CountingLibrary::CloseCamera);
        watchdog.progress("closing the window");
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    using L = CountingLibrary;
    const long captureFailures = L::failures(L::Capture);
    const long frames = L::calls(L::GetFrameBuffer) - L::failures(L::GetFrameBuffer);
    std::fprintf(report,
                 "soak: %d switches (%d of device, %d of resolution) in %.1f s, %.3f s a switch on average, "
                 "%.3f s at most\n",
                 figures.switches, figures.deviceSwitches, figures.switches - figures.deviceSwitches, elapsed.count(),
                 figures.totalSwitchTime.count() / std::max(1, figures.switches), figures.longestSwitch.count());
    std::fprintf(report,
                 "soak: %d photos (%ld refused by the library, %d missing), %d turns, %d auto crop clicks, "
                 "%ld frames read (%ld reads failed)\n",
                 figures.photos, captureFailures, figures.photosMissing, figures.turns, figures.autoCropClicks, frames,
                 L::failures(L::GetFrameBuffer));

    bool passed = true;
    const bool balanced = opensWhileOpen == closesWhileOpen + 1;
    std::fprintf(report, "soak: OpenCamera %ld, CloseCamera %ld with the window open: %s\n", opensWhileOpen,
                 closesWhileOpen, balanced ? "opens = closes + 1" : "FAIL: opens != closes + 1");
    passed = passed && balanced;
    std::fprintf(report, "soak: after the window closed: OpenCamera %ld, CloseCamera %ld\n", L::calls(L::OpenCamera),
                 L::calls(L::CloseCamera));

    if (captureFailures > 0 || figures.photosMissing > 0) {
        std::fprintf(report, "soak: FAIL: not every photo was written\n");
        passed = false;
    }

    const auto &samples = figures.memorySamples;
    if (samples.size() < 2) {
        std::fprintf(report,
                     "soak: resident memory: %zu measurement(s) after the warm-up of %d switches; "
                     "growth needs two full cycles after it\n",
                     samples.size(), settings.soak.warmup);
    } else {
        const std::int64_t growth = samples.back() - samples.front();
        const auto [least, most] = std::minmax_element(samples.begin(), samples.end());
        const bool withinLimit = growth < std::int64_t(settings.maxGrowthKiB) * 1024;
        std::fprintf(report,
                     "soak: resident memory: %.2f MiB at switch %d, %.2f MiB at the end (%zu measurements, "
                     "%.2f to %.2f MiB): growth %+.3f MiB, limit %.3f MiB: %s\n",
                     mebibytes(samples.front()), figures.firstSampleSwitch, mebibytes(samples.back()), samples.size(),
                     mebibytes(*least), mebibytes(*most), mebibytes(growth), settings.maxGrowthKiB / 1024.0,
                     !kMemoryJudged ? "not judged under AddressSanitizer"
                     : withinLimit  ? "ok"
                                    : "FAIL");
        passed = passed && (withinLimit || !kMemoryJudged);
        std::fprintf(report, "soak: resident memory at every cycle's end, MiB:");
        for (const std::int64_t sample : samples)
            std::fprintf(report, " %.1f", mebibytes(sample));
        const auto &heap = figures.heapSamples;
        std::fprintf(report, "\nsoak: heap in use: %.2f MiB at switch %d, %.2f MiB at the end: growth %+.3f MiB\n",
                     mebibytes(heap.front()), figures.firstSampleSwitch, mebibytes(heap.back()),
                     mebibytes(heap.back() - heap.front()));
    }
    std::fprintf(report, "soak: %s\n", passed ? "passed" : "FAILED");
    std::fclose(report);
    return passed ? 0 : 1;
}
