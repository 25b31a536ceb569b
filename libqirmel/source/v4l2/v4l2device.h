// One opened V4L2 device node and the queries and settings made on it before streaming.
#ifndef QIRMEL_V4L2DEVICE_H
#define QIRMEL_V4L2DEVICE_H

#include "core/frame.h"
#include "source/v4l2/filedescriptor.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qirmel {

// The format a device agreed to stream in.
struct StreamFormat {
    std::uint32_t pixelFormat = 0;  // V4L2_PIX_FMT_*
    Size size;
    std::uint32_t bytesPerLine = 0;  // of uncompressed formats
};

class V4l2Device {
public:
    // Opens path non-blocking; isOpen() tells whether that worked.
    explicit V4l2Device(const std::string &path);

    bool isOpen() const { return m_fd.isValid(); }
    int fd() const { return m_fd.get(); }

    // Runs one ioctl, again when a signal interrupts it. False with errno set when it fails.
    bool request(unsigned long code, void *argument) const;

    // The device's name if it captures video by streaming; nothing for other nodes (metadata,
    // output, radio).
    std::optional<std::string> captureCardName() const;

    // The discrete frame sizes offered in pixelFormat, largest area first, without repeats; for a
    // device that gives a range, its largest and smallest size.
    std::vector<Size> frameSizes(std::uint32_t pixelFormat) const;

    // Asks for pixelFormat at size; the agreed format, or nothing when the device chose another
    // format or size or refused.
    std::optional<StreamFormat> setFormat(std::uint32_t pixelFormat, Size size) const;

    // Sets the anti-flicker filter to 50 or 60 Hz where the device has one; other devices are left
    // alone, as a missing filter is no reason not to stream.
    void setPowerLineFrequency(int hertz) const;

private:
    FileDescriptor m_fd;
};

}  // namespace qirmel

#endif  // QIRMEL_V4L2DEVICE_H
