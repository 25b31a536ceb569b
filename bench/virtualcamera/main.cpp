// Prints the CPU time that the library spends per frame of the virtual document camera, at each of
// its sizes, upright and turned a quarter, as the application's frame thread pays it: the wait for
// the frame (sleeping costs nothing), the sensor noise, the turn and the JPEG encoding. Also the
// time to open the camera, which renders the scene.
//
// Usage: virtualcamera_bench [frames per measurement, default 45]
#include "api/cameralibrary.h"
#include "source/enumeration.h"
#include "source/virtualcamera.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double processCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char **argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 45;
    const qirmel::CameraConfig config;
    const auto &camera = config.virtualCameras.front();
    const qirmel::VirtualCamera rates(camera);

    std::printf("Virtual camera \"%s\", %d frames per measurement, frame JPEG quality %d\n", camera.info.name.c_str(),
                frames, config.frameQuality);
    std::printf("%-10s %5s %9s %12s %12s %10s %12s %10s\n", "size", "fps", "open ms", "JPEG kB", "CPU ms/frame",
                "% of core", "turned ms", "% of core");
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
        int length = 0;
        library.nextFrame(buffer.data(), &length);  // the first frame warms the buffers up

        double cpuMs[2] = {};
        for (int turned = 0; turned < 2; ++turned) {
            library.rotate(turned);
            library.nextFrame(buffer.data(), &length);
            const double cpuStart = processCpuSeconds();
            for (int i = 0; i < frames; ++i)
                if (library.nextFrame(buffer.data(), &length) < 0)
                    std::printf("frame %d failed\n", i);
            cpuMs[turned] = (processCpuSeconds() - cpuStart) * 1000 / frames;
        }
        const int fps = rates.frameRate(size);
        const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
        std::printf("%-10s %5d %9.0f %12.0f %12.2f %9.0f%% %12.2f %9.0f%%\n", name.c_str(), fps, openMs,
                    length / 1024.0, cpuMs[0], cpuMs[0] * fps / 10, cpuMs[1], cpuMs[1] * fps / 10);
    }
    return 0;
}
