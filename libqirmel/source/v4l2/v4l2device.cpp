#include "source/v4l2/v4l2device.h"

#include "source/v4l2/systemcalls.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qirmel {

V4l2Device::V4l2Device(const std::string &path) : m_fd(systemCalls.open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC))
{}

bool V4l2Device::request(unsigned long code, void *argument) const
{
    int result = 0;
    do {
        result = systemCalls.ioctl(m_fd.get(), code, argument);
    } while (result < 0 && errno == EINTR);
    return result >= 0;
}

std::optional<std::string> V4l2Device::captureCardName() const
{
    v4l2_capability capability{};
    if (!request(VIDIOC_QUERYCAP, &capability))
        return std::nullopt;
    const std::uint32_t caps =
        (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? capability.device_caps : capability.capabilities;
    if ((caps & V4L2_CAP_VIDEO_CAPTURE) == 0 || (caps & V4L2_CAP_STREAMING) == 0)
        return std::nullopt;
    const auto *card = reinterpret_cast<const char *>(capability.card);
    return std::string(card, strnlen(card, sizeof capability.card));
}

std::vector<Size> V4l2Device::frameSizes(std::uint32_t pixelFormat) const
{
    std::vector<Size> sizes;
    v4l2_frmsizeenum entry{};
    entry.pixel_format = pixelFormat;
    for (entry.index = 0; request(VIDIOC_ENUM_FRAMESIZES, &entry); ++entry.index) {
        if (entry.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.push_back(Size{static_cast<int>(entry.discrete.width), static_cast<int>(entry.discrete.height)});
            continue;
        }
        sizes.push_back(Size{static_cast<int>(entry.stepwise.max_width), static_cast<int>(entry.stepwise.max_height)});
        sizes.push_back(Size{static_cast<int>(entry.stepwise.min_width), static_cast<int>(entry.stepwise.min_height)});
        break;
    }
    sizes.erase(std::remove_if(sizes.begin(), sizes.end(), [](Size size) { return size.area() <= 0; }), sizes.end());
    std::stable_sort(sizes.begin(), sizes.end(),
                     [](Size a, Size b) { return a.area() != b.area() ? a.area() > b.area() : a.width > b.width; });
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

std::optional<StreamFormat> V4l2Device::setFormat(std::uint32_t pixelFormat, Size size) const
{
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.pixelformat = pixelFormat;
    format.fmt.pix.width = static_cast<std::uint32_t>(size.width);
    format.fmt.pix.height = static_cast<std::uint32_t>(size.height);
    format.fmt.pix.field = V4L2_FIELD_NONE;
    if (!request(VIDIOC_S_FMT, &format))
        return std::nullopt;
    const Size agreed{static_cast<int>(format.fmt.pix.width), static_cast<int>(format.fmt.pix.height)};
    if (format.fmt.pix.pixelformat != pixelFormat || agreed != size)
        return std::nullopt;
    return StreamFormat{pixelFormat, size, format.fmt.pix.bytesperline};
}

void V4l2Device::setPowerLineFrequency(int hertz) const
{
    if (hertz != 50 && hertz != 60)
        return;
    v4l2_control control{};
    control.id = V4L2_CID_POWER_LINE_FREQUENCY;
    control.value = hertz == 50 ? V4L2_CID_POWER_LINE_FREQUENCY_50HZ : V4L2_CID_POWER_LINE_FREQUENCY_60HZ;
    request(VIDIOC_S_CTRL, &control);
}

}  // namespace qirmel
