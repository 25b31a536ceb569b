// What the library's configuration says about real (V4L2) cameras.
#ifndef QIRMEL_V4L2SETTINGS_H
#define QIRMEL_V4L2SETTINGS_H

#include <optional>

namespace qirmel {

// A USB device's vendor and product id, as lsusb prints them ("vvvv:pppp").
struct UsbId {
    int vendorId = 0;
    int productId = 0;

    bool operator==(const UsbId &other) const { return vendorId == other.vendorId && productId == other.productId; }
};

struct V4l2Settings {
    // The mains frequency, 50 or 60 Hz, that the camera's anti-flicker filter is set to on every
    // opening; 0 leaves the camera's own setting alone.
    int powerLineFrequency = 0;

    // Frames thrown away after streaming starts: many cameras send a few dark or half-exposed ones.
    int framesToDrop = 2;

    // The camera listed first (the main, document camera) and second (the auxiliary one). Unset or
    // not plugged in: the cameras keep their order by USB port.
    std::optional<UsbId> mainCamera;
    std::optional<UsbId> auxCamera;
};

}  // namespace qirmel

#endif  // QIRMEL_V4L2SETTINGS_H
