// What one fake device is, as its INI section describes it.
#ifndef FAKEV4L2_DEVICEDESCRIPTION_H
#define FAKEV4L2_DEVICEDESCRIPTION_H

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

struct DeviceDescription {
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

// Parses INI text into device descriptions; returns 0 or the line of the first error.
int parseDeviceDescriptions(const char *ini, std::vector<DeviceDescription> &descriptions);

}  // namespace fakev4l2

#endif  // FAKEV4L2_DEVICEDESCRIPTION_H
