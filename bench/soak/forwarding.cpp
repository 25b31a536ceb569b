// The camera library's 21 functions as the app calls them: each counted, then handed to the library
// that CountingLibrary loaded.
#include "countinglibrary.h"

#include "librarydouble.h"

#include <qirmellib.h>

namespace {

using F = CountingLibrary;

template <typename Pointer, typename... Args>
int forward(F::Function function, Args... args)
{
    return F::result(function, F::enter<Pointer>(function)(args...));
}

class Forwarding : public LibraryDouble {
public:
    int Init(const char *configFileName) override { return forward<decltype(&::Init)>(F::Init, configFileName); }
    int GetCameraCount() override { return forward<decltype(&::GetCameraCount)>(F::GetCameraCount); }
    const char *GetCamName(int index) override { return F::enter<decltype(&::GetCamName)>(F::GetCamName)(index); }
    int GetCameraPID(int index) override { return forward<decltype(&::GetCameraPID)>(F::GetCameraPID, index); }
    int GetCameraVID(int index) override { return forward<decltype(&::GetCameraVID)>(F::GetCameraVID, index); }
    int GetMainCamera() override { return forward<decltype(&::GetMainCamera)>(F::GetMainCamera); }
    int GetAuxCamera() override { return forward<decltype(&::GetAuxCamera)>(F::GetAuxCamera); }
    int SetMJPG(int enable) override { return forward<decltype(&::SetMJPG)>(F::SetMJPG, enable); }
    int SetDefaultRes(int width, int height) override
    {
        return forward<decltype(&::SetDefaultRes)>(F::SetDefaultRes, width, height);
    }
    int OpenCamera(int index) override
    {
        F::beforeOpen();
        return forward<decltype(&::OpenCamera)>(F::OpenCamera, index);
    }
    int CloseCamera() override { return forward<decltype(&::CloseCamera)>(F::CloseCamera); }
    int GetResCount() override { return forward<decltype(&::GetResCount)>(F::GetResCount); }
    int GetResWidth(int index) override { return forward<decltype(&::GetResWidth)>(F::GetResWidth, index); }
    int GetResHeight(int index) override { return forward<decltype(&::GetResHeight)>(F::GetResHeight, index); }
    int GetCurResWidth() override { return forward<decltype(&::GetCurResWidth)>(F::GetCurResWidth); }
    int GetCurResHeight() override { return forward<decltype(&::GetCurResHeight)>(F::GetCurResHeight); }
    int GetFrameBuffer(unsigned char *buffer, int *length) override
    {
        return forward<decltype(&::GetFrameBuffer)>(F::GetFrameBuffer, buffer, length);
    }
    int Capture(const char *path) override { return forward<decltype(&::Capture)>(F::Capture, path); }
    int RotateLeft(int reserved) override { return forward<decltype(&::RotateLeft)>(F::RotateLeft, reserved); }
    int RotateRight(int reserved) override { return forward<decltype(&::RotateRight)>(F::RotateRight, reserved); }
    int SetAutoCrop(int enable) override { return forward<decltype(&::SetAutoCrop)>(F::SetAutoCrop, enable); }
};

}  // namespace

void CountingLibrary::forwardCalls()
{
    static Forwarding forwarding;
    LibraryDouble::install(&forwarding);
}
