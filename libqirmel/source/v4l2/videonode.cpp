#include "source/v4l2/videonode.h"

#include "source/v4l2/systemcalls.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string_view>

namespace qirmel {

namespace {

// Below the sysfs root.
constexpr std::string_view kClassDir = "/class/video4linux";
constexpr std::string_view kDevicesDir = "/devices";

std::string classDir()
{
    return std::string(systemCalls.sysfsRoot).append(kClassDir);
}

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

std::string readLine(const std::string &path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

int readHexId(const std::string &path)
{
    const std::string text = readLine(path);
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 16);
    return end != text.c_str() && value >= 0 && value <= 0xffff ? static_cast<int>(value) : 0;
}

std::string parentOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// The device node's name from the kernel's uevent (what udev names /dev entries after), else the
// sysfs name.
std::string devicePathOf(const std::string &sysPath, const std::string &name)
{
    std::ifstream uevent(sysPath + "/uevent");
    std::string line;
    while (std::getline(uevent, line)) {
        if (line.compare(0, 8, "DEVNAME=") == 0)
            return "/dev/" + line.substr(8);
    }
    return "/dev/" + name;
}

void readUsbParent(VideoNode &node)
{
    const std::size_t devicesDirLength = std::strlen(systemCalls.sysfsRoot) + kDevicesDir.size();
    for (std::string dir = node.busPath; dir.size() > devicesDirLength; dir = parentOf(dir)) {
        if (access((dir + "/idVendor").c_str(), F_OK) == 0) {
            node.vendorId = readHexId(dir + "/idVendor");
            node.productId = readHexId(dir + "/idProduct");
            node.serial = readLine(dir + "/serial");
            return;
        }
    }
}

// Reads one entry of the video4linux class; false when it is not a video node or vanished while
// being read (the camera was unplugged meanwhile).
bool readNode(const std::string &name, VideoNode &node)
{
    if (name.compare(0, 5, "video") != 0 || name.size() == 5 ||
        !std::all_of(name.begin() + 5, name.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
        return false;
    char resolved[PATH_MAX];
    if (!realpath((classDir() + "/" + name).c_str(), resolved))
        return false;
    const std::string sysPath = resolved;
    // The node lives in <device>/video4linux/<name>.
    node.busPath = parentOf(parentOf(sysPath));
    if (node.busPath.empty())
        return false;
    node.number = std::atoi(name.c_str() + 5);
    node.devicePath = devicePathOf(sysPath, name);
    readUsbParent(node);
    return true;
}

}  // namespace

bool naturalLess(const std::string &a, const std::string &b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (digitA && digitB) {
            const std::size_t startA = i;
            const std::size_t startB = j;
            while (i < a.size() && std::isdigit(static_cast<unsigned char>(a[i])))
                ++i;
            while (j < b.size() && std::isdigit(static_cast<unsigned char>(b[j])))
                ++j;
            std::string numberA = a.substr(startA, i - startA);
            std::string numberB = b.substr(startB, j - startB);
            numberA.erase(0, std::min(numberA.find_first_not_of('0'), numberA.size() - 1));
            numberB.erase(0, std::min(numberB.find_first_not_of('0'), numberB.size() - 1));
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (numberA != numberB)
                return numberA < numberB;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

bool VideoNode::isSameCameraAs(const VideoNode &other) const
{
    if (siblingIndex != other.siblingIndex)
        return false;
    if (busPath == other.busPath)
        return true;
    return !serial.empty() && serial == other.serial && vendorId == other.vendorId && productId == other.productId;
}

std::vector<VideoNode> VideoNode::scan()
{
    std::vector<VideoNode> nodes;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(classDir().c_str()));
    if (!dir)
        return nodes;
    while (const dirent *entry = readdir(dir.get())) {
        VideoNode node;
        if (readNode(entry->d_name, node))
            nodes.push_back(std::move(node));
    }
    std::sort(nodes.begin(), nodes.end(), [](const VideoNode &a, const VideoNode &b) {
        if (a.busPath != b.busPath)
            return naturalLess(a.busPath, b.busPath);
        return a.number < b.number;
    });
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        if (nodes[i].busPath == nodes[i - 1].busPath)
            nodes[i].siblingIndex = nodes[i - 1].siblingIndex + 1;
    }
    return nodes;
}

}  // namespace qirmel
