#include "source/v4l2/v4l2enumeration.h"

#include "source/v4l2/v4l2camera.h"
#include "source/v4l2/v4l2device.h"
#include "source/v4l2/videonode.h"

#include <linux/videodev2.h>

#include <algorithm>

namespace qirmel {

namespace {

// The application shows names as Latin-1 in a list: printable ASCII, no longer than a list can
// take, never empty.
constexpr std::size_t kMaxNameLength = 63;

std::string displayName(const std::string &card, const VideoNode &node)
{
    std::string name;
    for (const char c : card.substr(0, kMaxNameLength))
        name += c >= 0x20 && c < 0x7f ? c : '?';
    const auto last = name.find_last_not_of(' ');
    name.erase(last == std::string::npos ? 0 : last + 1);
    return name.empty() ? node.devicePath.substr(node.devicePath.rfind('/') + 1) : name;
}

// Moves the first camera at or after position `from` that has id to position `to`; false when
// there is none.
bool moveToPlace(std::vector<std::unique_ptr<CameraSource>> &cameras, const std::optional<UsbId> &id, std::size_t from,
                 std::size_t to)
{
    if (!id || to >= cameras.size() || from >= cameras.size())
        return false;
    const auto begin = cameras.begin();
    const auto found = std::find_if(begin + static_cast<std::ptrdiff_t>(from), cameras.end(),
                                    [&](const std::unique_ptr<CameraSource> &camera) {
                                        const CameraInfo &info = camera->info();
                                        return UsbId{info.vendorId, info.productId} == *id;
                                    });
    if (found == cameras.end())
        return false;
    const auto target = begin + static_cast<std::ptrdiff_t>(to);
    if (found < target)
        std::rotate(found, found + 1, target + 1);
    else
        std::rotate(target, found, found + 1);
    return true;
}

}  // namespace

void placeMainAndAux(std::vector<std::unique_ptr<CameraSource>> &cameras, const V4l2Settings &settings)
{
    // A camera named main is never taken for the auxiliary one as well.
    const bool mainPlaced = moveToPlace(cameras, settings.mainCamera, 0, 0);
    moveToPlace(cameras, settings.auxCamera, mainPlaced ? 1 : 0, 1);
}

std::vector<std::unique_ptr<CameraSource>> enumerateV4l2Cameras(const V4l2Settings &settings)
{
    std::vector<std::unique_ptr<CameraSource>> cameras;
    for (const VideoNode &node : VideoNode::scan()) {
        const V4l2Device device(node.devicePath);
        if (!device.isOpen())
            continue;
        const auto card = device.captureCardName();
        if (!card)
            continue;
        CameraInfo info{displayName(*card, node), node.vendorId, node.productId, device.frameSizes(V4L2_PIX_FMT_MJPEG)};
        if (info.resolutions.empty())
            continue;
        cameras.push_back(
            std::make_unique<V4l2Camera>(std::move(info), node, device.frameSizes(V4L2_PIX_FMT_YUYV), settings));
    }
    placeMainAndAux(cameras, settings);
    return cameras;
}

}  // namespace qirmel
