// The library's C functions: each forwards to the one CameraLibrary and keeps every exception
// inside, turning it into a negative result.
#include "qirmellib.h"

#include "api/cameralibrary.h"

#include <cerrno>
#include <iostream>

namespace {

// Never destroyed: the caller's frame thread may still be inside GetFrameBuffer while the process
// runs its exit handlers.
qirmel::CameraLibrary &library()
{
    static auto *const instance = new qirmel::CameraLibrary();
    return *instance;
}

template <typename Call>
int guarded(Call call) noexcept
{
    try {
        return call();
    } catch (...) {
        return -EFAULT;
    }
}

}  // namespace

extern "C" {

int Init(const char *configFileName)
{
    return guarded([&] { return library().init(configFileName, std::cerr); });
}

int GetCameraCount(void)
{
    return guarded([] { return library().cameraCount(); });
}

const char *GetCamName(int index)
{
    try {
        return library().cameraName(index);
    } catch (...) {
        return nullptr;
    }
}

int GetCameraPID(int index)
{
    return guarded([&] { return library().productId(index); });
}

int GetCameraVID(int index)
{
    return guarded([&] { return library().vendorId(index); });
}

int GetMainCamera(void)
{
    return guarded([] { return library().mainCamera(); });
}

int GetAuxCamera(void)
{
    return guarded([] { return library().auxCamera(); });
}

int SetMJPG(int enable)
{
    return guarded([&] { return library().setCompressed(enable != 0); });
}

int SetDefaultRes(int width, int height)
{
    return guarded([&] { return library().setRequestedSize(width, height); });
}

int OpenCamera(int index)
{
    return guarded([&] { return library().open(index); });
}

int CloseCamera(void)
{
    return guarded([] { return library().close(); });
}

int GetResCount(void)
{
    return guarded([] { return library().resolutionCount(); });
}

int GetResWidth(int index)
{
    return guarded([&] { return library().resolutionWidth(index); });
}

int GetResHeight(int index)
{
    return guarded([&] { return library().resolutionHeight(index); });
}

int GetCurResWidth(void)
{
    return guarded([] { return library().currentWidth(); });
}

int GetCurResHeight(void)
{
    return guarded([] { return library().currentHeight(); });
}

int GetFrameBuffer(unsigned char *buffer, int *length)
{
    return guarded([&] { return library().nextFrame(buffer, length); });
}

int Capture(const char *path)
{
    return guarded([&] { return library().capture(path); });
}

int RotateLeft(int)
{
    return guarded([] { return library().rotate(-1); });
}

int RotateRight(int)
{
    return guarded([] { return library().rotate(1); });
}

int SetAutoCrop(int enable)
{
    return guarded([&] { return library().setAutoCrop(enable != 0); });
}

}  // extern "C"
