// A video device node as sysfs describes it, and how to tell that a node belongs to a given camera.
#ifndef QIRMEL_VIDEONODE_H
#define QIRMEL_VIDEONODE_H

#include <string>
#include <vector>

namespace qirmel {

struct VideoNode {
    std::string devicePath;  // "/dev/video0"
    int number = 0;          // the 0 of video0

    // The sysfs path of the device the node hangs off (for UVC the camera's USB interface, such as
    // /sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0): stable while the camera stays on
    // the same port, whatever node numbers it gets.
    std::string busPath;

    // Where the node stands among the nodes of the same busPath, by number: a camera with a
    // second stream (infrared, metadata) registers its nodes in the same order every time.
    int siblingIndex = 0;

    // From the USB device above busPath; 0 and empty for cameras that are not on USB.
    int vendorId = 0;
    int productId = 0;
    std::string serial;

    // The same camera at the same place in its device: on the same port, or, when it has a serial
    // number, anywhere with the same ids and serial.
    bool isSameCameraAs(const VideoNode &other) const;

    // The video nodes that sysfs lists now, ordered by busPath (numbers in it compared as numbers,
    // so that port 1-2 comes before 1-10), then by node number.
    static std::vector<VideoNode> scan();
};

// Less-than on text in which runs of digits compare by value: "1-2" < "1-10".
bool naturalLess(const std::string &a, const std::string &b);

}  // namespace qirmel

#endif  // QIRMEL_VIDEONODE_H
