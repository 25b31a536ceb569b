// Prints the CPU time that the library spends per frame of the virtual document camera, as the
// application's frame thread pays it: the wait for the frame (sleeping costs nothing), the sensor
// noise, the turn, the document crop when auto crop is on, and the JPEG encoding. Also the time to
// open the camera and the frames per second that came.
//
// Usage: virtualcamera_bench [--autocrop] [--one-core] [--opening] [--scene NAME] [frames per measurement]
//   default      every size of the main camera, upright and turned, auto crop off
//   --autocrop   1920x1080 and 3264x2448, upright and turned, auto crop off and on
//   --one-core   run on one CPU only, so that the frames per second show what one core keeps up with
//   --opening    instead of frames, what the application waits for at each size, as rounds (the number
//                given, 5 by default): OpenCamera, from OpenCamera to the first frame, CloseCamera once
//                frames came, CloseCamera 20 ms after OpenCamera (while the scene is being rendered,
//                where that happens in the background), and the library's teardown then
//   --scene      the scene filmed: page (default), book, idcard, empty or moving
#include "api/cameralibrary.h"
#include "api/enumeration.h"
#include "core/jpegcodec.h"
#include "source/virtualcamera.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Options {
    bool autoCrop = false;
    bool oneCore = false;
    bool opening = false;
    qirmel::SceneKind scene = qirmel::SceneKind::Page;
    std::string sceneName = "page";
    int frames = 0;  // 0: the mode's default
};

bool parse(int argc, char **argv, Options &options)
{
    const std::map<std::string, qirmel::SceneKind> scenes = {{"page", qirmel::SceneKind::Page},
                                                             {"book", qirmel::SceneKind::Book},
                                                             {"idcard", qirmel::SceneKind::IdCard},
                                                             {"empty", qirmel::SceneKind::EmptyDesk},
                                                             {"moving", qirmel::SceneKind::MovingPage}};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--autocrop") {
            options.autoCrop = true;
        } else if (argument == "--one-core") {
            options.oneCore = true;
        } else if (argument == "--opening") {
            options.opening = true;
        } else if (argument == "--scene" && i + 1 < argc && scenes.count(argv[i + 1])) {
            options.sceneName = argv[++i];
            options.scene = scenes.at(options.sceneName);
        } else if (std::atoi(argument.c_str()) > 0) {
            options.frames = std::atoi(argument.c_str());
        } else {
            return false;
        }
    }
    return true;
}

// What one run of frames cost.
struct Measurement {
    double cpuMs = 0;  // CPU time of the whole process per frame
    double framesPerSecond = 0;
    double cutShare = 0;   // share of the frames that came out cut to a document
    double kilobytes = 0;  // size of the last frame's JPEG
};

Measurement measure(qirmel::CameraLibrary &library, int frames, std::vector<std::uint8_t> &buffer)
{
    qirmel::JpegCodec codec;
    Measurement result;
    int length = 0;
    int cut = 0;
    const double cpuStart = processCpuSeconds();
    const double wallStart = wallSeconds();
    for (int i = 0; i < frames; ++i) {
        if (library.nextFrame(buffer.data(), &length) < 0) {
            std::printf("frame %d failed\n", i);
            continue;
        }
        qirmel::Size size;
        codec.readSize(buffer.data(), static_cast<std::size_t>(length), size);
        cut += size.width != library.currentWidth() || size.height != library.currentHeight();
    }
    result.cpuMs = (processCpuSeconds() - cpuStart) * 1000 / frames;
    result.framesPerSecond = frames / (wallSeconds() - wallStart);
    result.cutShare = double(cut) / frames;
    result.kilobytes = length / 1024.0;
    return result;
}

// How long after OpenCamera the early close comes.
constexpr std::chrono::milliseconds kEarly(20);

// Milliseconds since start.
double millisecondsSince(double start)
{
    return (wallSeconds() - start) * 1000;
}

// What one opening at one size kept the caller waiting, in milliseconds.
struct Opening {
    double open = 0;
    double firstFrame = 0;  // from the start of OpenCamera
    double close = 0;
    double closeEarly = 0;  // CloseCamera shortly after OpenCamera, the scene not yet shown
    double teardown = 0;    // the library destroyed after that
    int timeouts = 0;       // frame reads that timed out before the first frame
};

Opening measureOpening(const qirmel::CameraConfig &config, qirmel::Size size)
{
    Opening result;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size.area()) * 3);
    int length = 0;
    {
        qirmel::CameraLibrary library;
        library.init(config, qirmel::enumerateCameras(config));
        library.setRequestedSize(size.width, size.height);
        const double start = wallSeconds();
        if (library.open(0) != 0)
            return Opening{-1, -1, -1, -1, -1, 0};
        result.open = millisecondsSince(start);
        // Bounded: a camera that sends nothing for a minute is reported as such.
        int status = -ETIMEDOUT;
        while (status == -ETIMEDOUT && wallSeconds() - start < 60) {
            status = library.nextFrame(buffer.data(), &length);
            result.timeouts += status == -ETIMEDOUT;
        }
        result.firstFrame = status == 0 ? millisecondsSince(start) : -1;
        const double closeStart = wallSeconds();
        library.close();
        result.close = millisecondsSince(closeStart);
    }
    auto library = std::make_unique<qirmel::CameraLibrary>();
    library->init(config, qirmel::enumerateCameras(config));
    library->setRequestedSize(size.width, size.height);
    library->open(0);
    std::this_thread::sleep_for(kEarly);
    const double closeStart = wallSeconds();
    library->close();
    result.closeEarly = millisecondsSince(closeStart);
    const double teardownStart = wallSeconds();
    library.reset();
    result.teardown = millisecondsSince(teardownStart);
    return result;
}

// Prints the median and the largest of each figure over the rounds, size by size.
void reportOpenings(const qirmel::CameraConfig &config, int rounds)
{
    const auto &sizes = config.virtualCameras.front().info.resolutions;
    std::printf("%d rounds per size, wall-clock milliseconds as median / largest\n", rounds);
    std::printf("%-10s %15s %15s %15s %15s %15s %9s\n", "size", "OpenCamera", "first frame", "CloseCamera",
                "close early", "teardown", "timeouts");
    for (const qirmel::Size size : sizes) {
        std::vector<Opening> openings;
        for (int round = 0; round < rounds; ++round)
            openings.push_back(measureOpening(config, size));
        auto column = [&](double Opening::*figure) {
            std::vector<double> values;
            for (const Opening &opening : openings)
                values.push_back(opening.*figure);
            std::sort(values.begin(), values.end());
            char text[32];
            std::snprintf(text, sizeof text, "%.1f / %.1f", values[values.size() / 2], values.back());
            return std::string(text);
        };
        int timeouts = 0;
        for (const Opening &opening : openings)
            timeouts += opening.timeouts;
        const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
        std::printf("%-10s %15s %15s %15s %15s %15s %9d\n", name.c_str(), column(&Opening::open).c_str(),
                    column(&Opening::firstFrame).c_str(), column(&Opening::close).c_str(),
                    column(&Opening::closeEarly).c_str(), column(&Opening::teardown).c_str(), timeouts);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--autocrop] [--one-core] [--opening] [--scene page|book|idcard|empty|moving] "
                     "[frames or rounds]\n",
                     argv[0]);
        return 2;
    }
    if (options.oneCore) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        if (sched_setaffinity(0, sizeof one, &one) != 0)
            std::perror("sched_setaffinity");
    }

    qirmel::CameraConfig config;
    auto &camera = config.virtualCameras.front();
    camera.scene.kind = options.scene;
    if (options.autoCrop)
        camera.info.resolutions = {{3264, 2448}, {1920, 1080}};
    if (options.opening) {
        std::printf("Virtual camera \"%s\", scene %s, opening and closing%s\n", camera.info.name.c_str(),
                    options.sceneName.c_str(), options.oneCore ? ", on one core" : "");
        reportOpenings(config, options.frames > 0 ? options.frames : 5);
        return 0;
    }
    if (options.frames == 0)
        options.frames = 45;
    const qirmel::VirtualCamera rates(camera);

    std::printf("Virtual camera \"%s\", scene %s, %d frames per measurement, frame JPEG quality %d%s\n",
                camera.info.name.c_str(), options.sceneName.c_str(), options.frames, config.frameQuality,
                options.oneCore ? ", on one core" : "");
    std::printf("%-10s %4s %8s %9s %7s %8s %12s %9s %9s %5s\n", "size", "fps", "open ms", "auto crop", "turned",
                "JPEG kB", "CPU ms/frame", "% of core", "frames/s", "cut");
    for (const qirmel::Size size : camera.info.resolutions) {
        qirmel::CameraLibrary library;
        library.init(config, qirmel::enumerateCameras(config));
        library.setRequestedSize(size.width, size.height);
        const double openStart = wallSeconds();
        if (library.open(0) != 0) {
            std::printf("%dx%d: cannot open\n", size.width, size.height);
            return 1;
        }
        const double openMs = (wallSeconds() - openStart) * 1000;
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size.area()) * 3);
        const int fps = rates.frameRate(size);
        const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
        for (const bool autoCrop : options.autoCrop ? std::vector<bool>{false, true} : std::vector<bool>{false}) {
            library.setAutoCrop(autoCrop);
            for (int turned = 0; turned < 2; ++turned) {
                library.rotate(turned);
                // A few frames first: they warm the buffers up and let the crop settle on the page.
                measure(library, 3, buffer);
                const Measurement m = measure(library, options.frames, buffer);
                std::printf("%-10s %4d %8.0f %9s %7s %8.0f %12.2f %8.0f%% %9.1f %4.0f%%\n", name.c_str(), fps, openMs,
                            autoCrop ? "on" : "off", turned ? "yes" : "no", m.kilobytes, m.cpuMs, m.cpuMs * fps / 10,
                            m.framesPerSecond, m.cutShare * 100);
            }
            library.rotate(-1);
        }
    }
    return 0;
}
