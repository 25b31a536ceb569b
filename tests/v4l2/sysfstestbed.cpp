#include "sysfstestbed.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <cstdio>
#include <sstream>

namespace v4l2test {

namespace {

const std::string kUsbHost = "/devices/pci0000:00/0000:00:14.0/usb1";

std::string hexId(int id)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", id);
    return text;
}

}  // namespace

SysfsTestbed::SysfsTestbed() : m_testbed(umockdev_testbed_new()) {}

SysfsTestbed::~SysfsTestbed()
{
    g_object_unref(m_testbed);
}

void SysfsTestbed::add(const std::string &record)
{
    GError *error = nullptr;
    const bool added = umockdev_testbed_add_from_string(m_testbed, record.c_str(), &error);
    EXPECT_TRUE(added) << (error ? error->message : "") << "\n" << record;
    if (error)
        g_error_free(error);
}

// Without "N:" lines: umockdev then makes no /dev entries (the fake library answers for them),
// and a device taken out can be added again.
void SysfsTestbed::plugUsbCamera(const std::string &port, int vendorId, int productId, const std::string &serial,
                                 const std::vector<std::string> &nodes)
{
    const std::string device = kUsbHost + "/" + port;
    const std::string interface = device + "/" + port + ":1.0";
    std::ostringstream record;
    record << "P: " << device << "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=" << hexId(vendorId)
           << "\nA: idProduct=" << hexId(productId) << "\n";
    if (!serial.empty())
        record << "A: serial=" << serial << "\n";
    record << "\nP: " << interface << "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n";
    std::vector<std::string> paths{device, interface};
    for (const auto &node : nodes) {
        const std::string path = interface + "/video4linux/" + node;
        record << "\nP: " << path << "\nE: SUBSYSTEM=video4linux\nE: DEVNAME=/dev/" << node << "\nA: name=" << node
               << "\n";
        paths.push_back(path);
    }
    add(record.str());
    m_pathsByPort[port] = paths;
}

void SysfsTestbed::addPlatformNode(const std::string &device, const std::string &node)
{
    add("P: /devices/platform/" + device + "\nE: SUBSYSTEM=platform\n\nP: /devices/platform/" + device +
        "/video4linux/" + node + "\nE: SUBSYSTEM=video4linux\nE: DEVNAME=/dev/" + node + "\n");
}

// Children first: umockdev removes a device's class and bus links only with the device itself.
void SysfsTestbed::unplugUsbCamera(const std::string &port)
{
    const auto paths = m_pathsByPort[port];
    for (auto path = paths.rbegin(); path != paths.rend(); ++path)
        umockdev_testbed_remove_device(m_testbed, ("/sys" + *path).c_str());
    m_pathsByPort.erase(port);
}

}  // namespace v4l2test
