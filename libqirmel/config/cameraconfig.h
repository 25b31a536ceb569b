// The library's settings: built-in defaults, overridden by "CameraConf.ini" where one is found.
#ifndef QIRMEL_CAMERACONFIG_H
#define QIRMEL_CAMERACONFIG_H

#include "source/v4l2/v4l2settings.h"
#include "source/virtualcameraconfig.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace qirmel {

enum class Backend {
    Auto,     // real cameras where there are any, else the virtual ones
    Virtual,  // the virtual cameras only
    V4l2,     // real cameras only, none when there are none
};

struct CameraConfig {
    Backend backend = Backend::Auto;
    int frameQuality = 85;  // JPEG quality of the frames GetFrameBuffer delivers
    int photoQuality = 95;  // JPEG quality of the photos Capture writes
    std::vector<VirtualCameraConfig> virtualCameras = defaultVirtualCameras();
    V4l2Settings v4l2;  // the real cameras' settings, from [v4l2]

    // The main document camera and the auxiliary camera that stand in when nothing is configured.
    static std::vector<VirtualCameraConfig> defaultVirtualCameras();

    // What a [cameraN] section starts from before its keys apply: the defaults above for 0 and 1,
    // a small generic camera beyond.
    static VirtualCameraConfig defaultVirtualCamera(int number);

    // Parses INI text read from the file sourceName. Every valid setting applies; a malformed line or
    // bad value is left out, and each is reported on errors in a line of its own naming sourceName, its
    // line number and what is wrong. A [cameraN] section makes camera N, with no keys as well.
    // Relative photo paths are taken from the folder of sourceName. Never throws on bad input.
    static CameraConfig parse(const std::string &text, const std::string &sourceName, std::ostream &errors);

    // Reads and parses the file at path; an unreadable file gives the defaults and one line on errors.
    static CameraConfig load(const std::string &path, std::ostream &errors);
};

// The folder that holds the running executable, without a trailing slash; empty if unknown.
std::string executableDir();

// Where the configuration named fileName is: in the working directory, else in exeDir (by default
// the folder of the running executable). An absolute name is taken as it is. Returns an empty
// string when there is no such file.
std::string findConfigFile(const std::string &fileName, const std::string &exeDir = executableDir());

}  // namespace qirmel

#endif  // QIRMEL_CAMERACONFIG_H
