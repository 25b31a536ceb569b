// What one fake device is, as its INI section describes it.
#ifndef FAKEV4L2_DEVICESPEC_H
#define FAKEV4L2_DEVICESPEC_H

#include <cstdint>
#include <string>
#include <vector>

namespace fakev4l2 {

struct FrameSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

enum class BadKind {
    Error,      // the buffer comes with V4L2_BUF_FLAG_ERROR
    NoStart,    // the start-of-image marker is overwritten
    NoEnd,      // the end-of-image marker is cut off
    Truncated,  // only the first 60 % of the frame arrives
};

struct DeviceSpec {
    std::string node;  // "video0"
    std::string card = "Fake Camera";
    std::vector<FrameSize> mjpg;
    std::vector<FrameSize> yuyv;
    bool metadata = false;
    int fps = 30;
    bool huffman = true;
    int badEvery = 0;
    std::vector<BadKind> badKinds{BadKind::Error, BadKind::NoStart, BadKind::NoEnd, BadKind::Truncated};
    long unplugAfter = 0;
    int replugAfterMs = 0;
    bool powerLine = true;
};

// Parses INI text into device specs; returns 0 or the line of the first error.
int parseDeviceSpecs(const char *ini, std::vector<DeviceSpec> &specs);

}  // namespace fakev4l2

#endif  // FAKEV4L2_DEVICESPEC_H
