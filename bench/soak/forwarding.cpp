// The camera library's 21 functions as the app calls them: each counted, then handed to the library
// that CountingLibrary loaded.
#include "countinglibrary.h"

#include <qirmellib.h>

namespace {

using F = CountingLibrary;

template <typename Pointer, typename... Args>
int forward(F::Function function, Args... args)
{
    return F::result(function, F::enter<Pointer>(function)(args...));
}

} // namespace

extern "C" {

int Init(const char *configFileName) { return forward<decltype(&Init)>(F::Init, configFileName); }
int GetCameraCount(void) { return forward<decltype(&GetCameraCount)>(F::GetCameraCount); }
const char *GetCamName(int index) { return F::enter<decltype(&GetCamName)>(F::GetCamName)(index); }
int GetCameraPID(int index) { return forward<decltype(&GetCameraPID)>(F::GetCameraPID, index); }
int GetCameraVID(int index) { return forward<decltype(&GetCameraVID)>(F::GetCameraVID, index); }
int GetMainCamera(void) { return forward<decltype(&GetMainCamera)>(F::GetMainCamera); }
int GetAuxCamera(void) { return forward<decltype(&GetAuxCamera)>(F::GetAuxCamera); }
int SetMJPG(int enable) { return forward<decltype(&SetMJPG)>(F::SetMJPG, enable); }
int SetDefaultRes(int width, int height) { return forward<decltype(&SetDefaultRes)>(F::SetDefaultRes, width, height); }
int OpenCamera(int index)
{
    F::beforeOpen();
    return forward<decltype(&OpenCamera)>(F::OpenCamera, index);
}
int CloseCamera(void) { return forward<decltype(&CloseCamera)>(F::CloseCamera); }
int GetResCount(void) { return forward<decltype(&GetResCount)>(F::GetResCount); }
int GetResWidth(int index) { return forward<decltype(&GetResWidth)>(F::GetResWidth, index); }
int GetResHeight(int index) { return forward<decltype(&GetResHeight)>(F::GetResHeight, index); }
int GetCurResWidth(void) { return forward<decltype(&GetCurResWidth)>(F::GetCurResWidth); }
int GetCurResHeight(void) { return forward<decltype(&GetCurResHeight)>(F::GetCurResHeight); }
int GetFrameBuffer(unsigned char *buffer, int *length)
{
    return forward<decltype(&GetFrameBuffer)>(F::GetFrameBuffer, buffer, length);
}
int Capture(const char *path) { return forward<decltype(&Capture)>(F::Capture, path); }
int RotateLeft(int reserved) { return forward<decltype(&RotateLeft)>(F::RotateLeft, reserved); }
int RotateRight(int reserved) { return forward<decltype(&RotateRight)>(F::RotateRight, reserved); }
int SetAutoCrop(int enable) { return forward<decltype(&SetAutoCrop)>(F::SetAutoCrop, enable); }

} // extern "C"
