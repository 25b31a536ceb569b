// Everything the fake keeps for the whole process: the devices, the open fake files by descriptor,
// the application's mappings of fake buffers and a count of calls.
#ifndef FAKEV4L2_REGISTRY_H
#define FAKEV4L2_REGISTRY_H

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace fakev4l2 {

class FakeDevice;
class FakeFile;

class Registry {
public:
    // Never destroyed: other libraries still close files and unmap memory from their exit
    // handlers, after static objects are gone.
    static Registry &instance();

    // The registry if instance() made it already, else null: the calls that only look up files
    // use this, so that they stay harmless while the process (or a sanitizer's runtime) starts.
    static Registry *existing();

    // Replaces the devices with those in ini; 0 or the line of the first error.
    int configure(const char *ini);

    // The device of node ("video0"), or null. The first call reads $FAKEV4L2_CONFIG.
    std::shared_ptr<FakeDevice> device(const std::string &node);

    void addFile(int fd, std::shared_ptr<FakeFile> file);
    std::shared_ptr<FakeFile> file(int fd);
    std::shared_ptr<FakeFile> takeFile(int fd);
    int openFiles();

    void addMapping(void *address);
    void removeMapping(void *address);
    int mappings();

    void countCall() { ++m_calls; }
    long calls() const { return m_calls; }

private:
    Registry() = default;

    void loadEnvironment();

    static std::atomic<Registry *> s_registry;

    std::once_flag m_loadOnce;
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<FakeDevice>> m_devices;
    std::map<int, std::shared_ptr<FakeFile>> m_files;
    std::set<void *> m_mappings;
    std::atomic<long> m_calls{0};
};

}  // namespace fakev4l2

#endif  // FAKEV4L2_REGISTRY_H
