#include "librarydouble.h"

#include <qirmellib.h>

#include <atomic>

namespace {

std::atomic<LibraryDouble *> g_installed{nullptr};

LibraryDouble &installed()
{
    static LibraryDouble noCamera;
    LibraryDouble *instance = g_installed.load();
    return instance ? *instance : noCamera;
}

}  // namespace

void LibraryDouble::install(LibraryDouble *instance)
{
    g_installed.store(instance);
}

extern "C" {

// One forwarding line a function, as the C header lists them.
// clang-format off
int Init(const char *configFileName) { return installed().Init(configFileName); }
int GetCameraCount(void) { return installed().GetCameraCount(); }
const char *GetCamName(int index) { return installed().GetCamName(index); }
int GetCameraPID(int index) { return installed().GetCameraPID(index); }
int GetCameraVID(int index) { return installed().GetCameraVID(index); }
int GetMainCamera(void) { return installed().GetMainCamera(); }
int GetAuxCamera(void) { return installed().GetAuxCamera(); }
int SetMJPG(int enable) { return installed().SetMJPG(enable); }
int SetDefaultRes(int width, int height) { return installed().SetDefaultRes(width, height); }
int OpenCamera(int index) { return installed().OpenCamera(index); }
int CloseCamera(void) { return installed().CloseCamera(); }
int GetResCount(void) { return installed().GetResCount(); }
int GetResWidth(int index) { return installed().GetResWidth(index); }
int GetResHeight(int index) { return installed().GetResHeight(index); }
int GetCurResWidth(void) { return installed().GetCurResWidth(); }
int GetCurResHeight(void) { return installed().GetCurResHeight(); }
int GetFrameBuffer(unsigned char *buffer, int *length) { return installed().GetFrameBuffer(buffer, length); }
int Capture(const char *path) { return installed().Capture(path); }
int RotateLeft(int reserved) { return installed().RotateLeft(reserved); }
int RotateRight(int reserved) { return installed().RotateRight(reserved); }
int SetAutoCrop(int enable) { return installed().SetAutoCrop(enable); }

// clang-format on
}  // extern "C"
