#include "countinglibrary.h"

#include <dlfcn.h>

#include <utility>

namespace {

const char *const kNames[CountingLibrary::FunctionCount] = {
    "Init",         "GetCameraCount", "GetCamName",     "GetCameraPID",    "GetCameraVID",   "GetMainCamera",
    "GetAuxCamera", "SetMJPG",        "SetDefaultRes",  "OpenCamera",      "CloseCamera",    "GetResCount",
    "GetResWidth",  "GetResHeight",   "GetCurResWidth", "GetCurResHeight", "GetFrameBuffer", "Capture",
    "RotateLeft",   "RotateRight",    "SetAutoCrop",
};

}  // namespace

std::array<void *, CountingLibrary::FunctionCount> CountingLibrary::s_functions{};
std::array<std::atomic<long>, CountingLibrary::FunctionCount> CountingLibrary::s_calls{};
std::array<std::atomic<long>, CountingLibrary::FunctionCount> CountingLibrary::s_failures{};
std::function<void()> CountingLibrary::s_beforeNextOpen;

bool CountingLibrary::load(const std::string &path, std::string &error)
{
    // Never closed: the frame thread may call into the library until the process ends.
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        error = dlerror();
        return false;
    }
    for (int i = 0; i < FunctionCount; ++i) {
        s_functions[i] = dlsym(handle, kNames[i]);
        if (!s_functions[i]) {
            error = path + " has no function " + kNames[i];
            return false;
        }
    }
    forwardCalls();
    return true;
}

long CountingLibrary::calls(Function function)
{
    return s_calls[function].load(std::memory_order_relaxed);
}

long CountingLibrary::failures(Function function)
{
    return s_failures[function].load(std::memory_order_relaxed);
}

int CountingLibrary::result(Function function, int value)
{
    if (value < 0)
        s_failures[function].fetch_add(1, std::memory_order_relaxed);
    return value;
}

void CountingLibrary::runBeforeNextOpen(std::function<void()> action)
{
    s_beforeNextOpen = std::move(action);
}

void CountingLibrary::beforeOpen()
{
    if (s_beforeNextOpen)
        std::exchange(s_beforeNextOpen, nullptr)();
}
