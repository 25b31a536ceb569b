#ifndef BENCH_SOAK_COUNTINGLIBRARY_H
#define BENCH_SOAK_COUNTINGLIBRARY_H

#include <array>
#include <atomic>
#include <functional>
#include <string>

// A camera library loaded with dlopen, behind the 21 functions of the library double that the tool
// links: each call is counted and forwarded. The app linked into the tool calls those, so nothing it
// does to the library goes uncounted, while the library works exactly as it would beside the
// executable.
class CountingLibrary {
public:
    enum Function {
        Init,
        GetCameraCount,
        GetCamName,
        GetCameraPID,
        GetCameraVID,
        GetMainCamera,
        GetAuxCamera,
        SetMJPG,
        SetDefaultRes,
        OpenCamera,
        CloseCamera,
        GetResCount,
        GetResWidth,
        GetResHeight,
        GetCurResWidth,
        GetCurResHeight,
        GetFrameBuffer,
        Capture,
        RotateLeft,
        RotateRight,
        SetAutoCrop,
        FunctionCount
    };

    // Loads the library at path, finds all 21 functions in it and forwards the app's calls to them;
    // on failure returns false with the reason in error, and none of the functions may be called.
    static bool load(const std::string &path, std::string &error);

    static long calls(Function function);
    // Calls of the function that returned a negative result.
    static long failures(Function function);

    // Counts one call and returns the real function, for the forwarding double only.
    template <typename Pointer>
    static Pointer enter(Function function)
    {
        s_calls[function].fetch_add(1, std::memory_order_relaxed);
        return reinterpret_cast<Pointer>(s_functions[function]);
    }
    // Counts a negative result and passes it on.
    static int result(Function function, int value);

    // Has action run once, on the calling thread of the next OpenCamera, before the library opens:
    // the moment of a switch when the frame thread has ended and the camera is closed.
    static void runBeforeNextOpen(std::function<void()> action);
    // For the forwarding OpenCamera: runs and forgets that action, if any.
    static void beforeOpen();

private:
    // Installs the double that counts and forwards (forwarding.cpp).
    static void forwardCalls();

    static std::array<void *, FunctionCount> s_functions;
    static std::array<std::atomic<long>, FunctionCount> s_calls;
    static std::array<std::atomic<long>, FunctionCount> s_failures;
    static std::function<void()> s_beforeNextOpen;
};

#endif
