#ifndef LIBRARYDOUBLE_H
#define LIBRARYDOUBLE_H

// The camera library's 21 functions, defined once for every program that links a stand-in in place
// of the library: each function forwards to the installed double, an object that overrides the
// functions it answers. The app's tests install a scripted one, the frame path benchmark one that
// serves frames from memory, the soak one that counts the calls and forwards them to a loaded
// library, the frame thread's fuzzer one that answers from its input.
class LibraryDouble {
public:
    virtual ~LibraryDouble() = default;

    // The double that answers from now on; null: the answers below. It must outlive every call, so
    // it is installed before the app starts.
    static void install(LibraryDouble *instance);

    // Unless overridden, a function answers as a library that found no camera: settings are taken
    // (0), counts and the current size are 0, the name is null, and what needs a camera fails (-1).
    virtual int Init(const char *) { return 0; }
    virtual int GetCameraCount() { return 0; }
    virtual const char *GetCamName(int) { return nullptr; }
    virtual int GetCameraPID(int) { return -1; }
    virtual int GetCameraVID(int) { return -1; }
    virtual int GetMainCamera() { return -1; }
    virtual int GetAuxCamera() { return -1; }
    virtual int SetMJPG(int) { return 0; }
    virtual int SetDefaultRes(int, int) { return 0; }
    virtual int OpenCamera(int) { return -1; }
    virtual int CloseCamera() { return 0; }
    virtual int GetResCount() { return 0; }
    virtual int GetResWidth(int) { return -1; }
    virtual int GetResHeight(int) { return -1; }
    virtual int GetCurResWidth() { return 0; }
    virtual int GetCurResHeight() { return 0; }
    virtual int GetFrameBuffer(unsigned char *, int *) { return -1; }
    virtual int Capture(const char *) { return -1; }
    virtual int RotateLeft(int) { return 0; }
    virtual int RotateRight(int) { return 0; }
    virtual int SetAutoCrop(int) { return 0; }
};

#endif  // LIBRARYDOUBLE_H
