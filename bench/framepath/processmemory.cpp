#include "processmemory.h"

#include <fstream>
#include <string>

namespace {

std::int64_t statusField(const std::string &name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, name.size(), name) == 0 && line.size() > name.size() && line[name.size()] == ':')
            return std::stoll(line.substr(name.size() + 1)) * 1024;
    }
    return -1;
}

}  // namespace

std::int64_t ProcessMemory::peakBytes()
{
    return statusField("VmHWM");
}

bool ProcessMemory::resetPeak()
{
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.flush();
    return bool(clearRefs);
}
