#include "registry.h"

#include "devicedescription.h"
#include "fakedevice.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace fakev4l2 {

namespace {

std::map<std::string, std::shared_ptr<FakeDevice>> makeDevices(std::vector<DeviceDescription> descriptions)
{
    std::map<std::string, std::shared_ptr<FakeDevice>> devices;
    for (auto &description : descriptions) {
        std::string node = description.node;
        devices[node] = std::make_shared<FakeDevice>(std::move(description));
    }
    return devices;
}

}  // namespace

std::atomic<Registry *> Registry::s_registry{nullptr};

Registry &Registry::instance()
{
    static Registry *const registry = new Registry;
    s_registry.store(registry, std::memory_order_release);
    return *registry;
}

Registry *Registry::existing()
{
    return s_registry.load(std::memory_order_acquire);
}

int Registry::configure(const char *ini)
{
    std::vector<DeviceDescription> descriptions;
    const int error = parseDeviceDescriptions(ini ? ini : "", descriptions);
    if (error != 0)
        return error;
    auto devices = makeDevices(std::move(descriptions));
    // A configuration given here wins over the environment's.
    std::call_once(m_loadOnce, [] {});
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        std::swap(m_devices, devices);
    }
    for (const auto &entry : devices)
        entry.second->unplug();
    return 0;
}

// Reads without holding the lock: reading opens and closes a file, which comes back through this
// library's close().
void Registry::loadEnvironment()
{
    const char *path = std::getenv("FAKEV4L2_CONFIG");
    if (!path || !*path)
        return;
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    std::vector<DeviceDescription> descriptions;
    const int error = file ? parseDeviceDescriptions(text.str().c_str(), descriptions) : -1;
    if (error != 0) {
        std::fprintf(stderr, "fakev4l2: %s: %s %d; no fake devices\n", path,
                     error < 0 ? "cannot be read, error" : "error on line", error);
        return;
    }
    auto devices = makeDevices(std::move(descriptions));
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_devices = std::move(devices);
}

std::shared_ptr<FakeDevice> Registry::device(const std::string &node)
{
    std::call_once(m_loadOnce, [this] { loadEnvironment(); });
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_devices.find(node);
    return found == m_devices.end() ? nullptr : found->second;
}

void Registry::addFile(int fd, std::shared_ptr<FakeFile> file)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_files[fd] = std::move(file);
}

std::shared_ptr<FakeFile> Registry::file(int fd)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_files.find(fd);
    return found == m_files.end() ? nullptr : found->second;
}

std::shared_ptr<FakeFile> Registry::takeFile(int fd)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_files.find(fd);
    if (found == m_files.end())
        return nullptr;
    auto file = std::move(found->second);
    m_files.erase(found);
    return file;
}

int Registry::openFiles()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_files.size());
}

void Registry::addMapping(void *address)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_mappings.insert(address);
}

void Registry::removeMapping(void *address)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_mappings.erase(address);
}

int Registry::mappings()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_mappings.size());
}

}  // namespace fakev4l2
