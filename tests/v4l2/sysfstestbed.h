// The sysfs side of fake cameras: USB devices with video nodes, in an umockdev test bed.
#ifndef V4L2TEST_SYSFSTESTBED_H
#define V4L2TEST_SYSFSTESTBED_H

#include <map>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace v4l2test {

// Lives as long as one test: a fresh, empty /sys for this process (through umockdev's preloaded
// library), removed again when destroyed.
class SysfsTestbed {
public:
    SysfsTestbed();
    ~SysfsTestbed();
    SysfsTestbed(const SysfsTestbed &) = delete;
    SysfsTestbed &operator=(const SysfsTestbed &) = delete;

    // A USB camera on port ("1-2" is port 2 of bus 1) whose first interface holds the video nodes
    // ("video0", ...). An empty serial leaves the attribute out, as cheap cameras do.
    void plugUsbCamera(const std::string &port, int vendorId, int productId, const std::string &serial,
                       const std::vector<std::string> &nodes);

    // A video node on a platform device, with no USB device above it.
    void addPlatformNode(const std::string &device, const std::string &node);

    // Removes what plugUsbCamera(port) added, as the kernel does on unplug.
    void unplugUsbCamera(const std::string &port);

private:
    void add(const std::string &record);

    UMockdevTestbed *m_testbed;
    std::map<std::string, std::vector<std::string>> m_pathsByPort;  // in the order they were added
};

}  // namespace v4l2test

#endif  // V4L2TEST_SYSFSTESTBED_H
