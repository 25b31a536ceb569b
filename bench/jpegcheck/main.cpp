// Prints the CPU time per frame of the check that every live JPEG frame passes before it is shown
// (JpegCodec::decodesCleanly: a grey decode at 1/8 scale that stops at the first warning), beside a
// full decode, at the sizes of a 1080p and an 8-megapixel camera. The frames are the virtual
// camera's page scene encoded at the default live frame quality, as drawn and with a sensor's noise
// (which a camera's frames carry and which makes their JPEGs larger and slower to decode); the
// damaged one is cut off halfway, as the virtual camera's truncate_every fault sends it.
//
// Usage: jpegcheck_bench [frames per measurement]
#include "config/cameraconfig.h"
#include "core/jpegcodec.h"
#include "source/syntheticscene.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <vector>

namespace {

// Sensor noise: each sample gains 0 to this many grey levels, as the virtual camera adds it.
constexpr int kNoiseSpread = 13;

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// CPU milliseconds per call of work, over frames calls after one to warm up; -1 when a call gives
// an unexpected answer.
template <typename Work>
double millisecondsPer(int frames, bool expected, Work work)
{
    if (work() != expected)
        return -1;
    const double start = cpuSeconds();
    for (int i = 0; i < frames; ++i)
        if (work() != expected)
            return -1;
    return (cpuSeconds() - start) * 1000 / frames;
}

}  // namespace

int main(int argc, char **argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 50;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: %s [frames per measurement]\n", argv[0]);
        return 2;
    }
    const int quality = qirmel::CameraConfig().frameQuality;
    std::printf("Page scene as JPEG at quality %d, %d frames per measurement, CPU ms per frame\n", quality, frames);
    std::printf("%-10s %6s %8s %11s %12s %7s %14s\n", "size", "noise", "JPEG kB", "full decode", "clean check", "ratio",
                "damaged check");
    qirmel::JpegCodec codec;
    for (const qirmel::Size size : {qirmel::Size{1920, 1080}, qirmel::Size{3264, 2448}}) {
        const cv::Mat drawn = qirmel::SyntheticScene(qirmel::SceneKind::Page).render(0, size);
        for (const bool noisy : {false, true}) {
            cv::Mat scene = drawn.clone();
            if (noisy) {
                cv::Mat noise(scene.size(), scene.type());
                cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(kNoiseSpread));
                scene += noise;
            }
            std::vector<std::uint8_t> jpeg;
            if (!codec.encode(scene.data, size, qirmel::FrameFormat::Bgr24, quality,
                              std::numeric_limits<std::size_t>::max(), jpeg)) {
                std::printf("%dx%d: cannot encode\n", size.width, size.height);
                return 1;
            }
            const std::vector<std::uint8_t> damaged(jpeg.begin(),
                                                    jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
            qirmel::Frame decoded;
            const double full =
                millisecondsPer(frames, true, [&] { return codec.decode(jpeg.data(), jpeg.size(), decoded); });
            const double check =
                millisecondsPer(frames, true, [&] { return codec.decodesCleanly(jpeg.data(), jpeg.size()); });
            const double damagedCheck =
                millisecondsPer(frames, false, [&] { return codec.decodesCleanly(damaged.data(), damaged.size()); });
            std::printf("%4dx%-5d %6s %8.0f %11.2f %12.2f %6.0f%% %14.2f\n", size.width, size.height,
                        noisy ? "yes" : "no", jpeg.size() / 1024.0, full, check, check / full * 100, damagedCheck);
        }
    }
    return 0;
}
