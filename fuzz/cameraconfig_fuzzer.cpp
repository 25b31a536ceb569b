// Any bytes as the text of a CameraConf.ini. Besides crashes, it traps on a configuration that breaks
// what the rest of the library takes for granted, and on a report line that does not name the file.
#include "config/cameraconfig.h"
#include "core/jpegcodec.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using qirmel::CameraConfig;
using qirmel::SceneKind;
using qirmel::Size;
using qirmel::VirtualCameraConfig;

// The folder the parsed file pretends to lie in, so that relative photo and folder scenes resolve
// somewhere known: it holds one small readable photo, desk.jpg (the dictionary names it), and
// goes when the fuzzer exits.
class SceneFolder {
public:
    SceneFolder()
    {
        char pattern[] = "/tmp/cameraconfig-fuzz-XXXXXX";
        if (!mkdtemp(pattern))
            std::abort();
        m_path = pattern;
        writePhoto(m_path + "/desk.jpg");
    }
    ~SceneFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

    std::string configFile() const { return m_path + "/CameraConf.ini"; }

private:
    static void writePhoto(const std::string &path)
    {
        const Size size{48, 36};
        const std::vector<std::uint8_t> grey(static_cast<std::size_t>(size.area()) * 3, 0x80);
        std::vector<std::uint8_t> jpeg;
        qirmel::JpegCodec codec;
        if (!codec.encode(grey.data(), size, qirmel::FrameFormat::Bgr24, 90, grey.size(), jpeg))
            std::abort();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
    }

    std::string m_path;
};

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool printableName(const std::string &name)
{
    return !name.empty() && name.size() <= 63 &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

void checkCamera(const VirtualCameraConfig &camera)
{
    check(printableName(camera.info.name));
    check(camera.info.vendorId >= 0 && camera.info.vendorId <= 0xffff);
    check(camera.info.productId >= 0 && camera.info.productId <= 0xffff);
    check(camera.fps >= 0 && camera.fps <= 120);
    check(camera.scene.interval.count() > 0);
    const auto &sizes = camera.info.resolutions;
    check(!sizes.empty());
    std::set<std::pair<int, int>> distinct;
    for (const Size &size : sizes) {
        // Listed sizes keep to 32-8192; a photo's own sizes may be smaller but never empty.
        const bool photo = camera.scene.kind == SceneKind::Photo || camera.scene.kind == SceneKind::PhotoFolder;
        const int minSide = photo ? 1 : 32;
        check(size.width >= minSide && size.width <= 8192 && size.height >= minSide && size.height <= 8192);
        check(distinct.emplace(size.width, size.height).second);
    }
    if (camera.scene.kind == SceneKind::Photo)
        check(camera.scene.photos.size() == 1);
    if (camera.scene.kind == SceneKind::PhotoFolder)
        check(!camera.scene.photos.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const SceneFolder folder;
    std::ostringstream errors;
    const CameraConfig config =
        CameraConfig::parse(std::string(reinterpret_cast<const char *>(data), size), folder.configFile(), errors);

    check(config.frameQuality >= 1 && config.frameQuality <= 100);
    check(config.photoQuality >= 1 && config.photoQuality <= 100);
    check(!config.virtualCameras.empty() && config.virtualCameras.size() <= 100);
    for (const VirtualCameraConfig &camera : config.virtualCameras)
        checkCamera(camera);

    // Every report line names the file, and ends its line.
    std::istringstream report(errors.str());
    std::string line;
    while (std::getline(report, line)) {
        check(line.rfind("QirmelLib: " + folder.configFile() + ":", 0) == 0);
        check(!report.eof());
    }
    return 0;
}
