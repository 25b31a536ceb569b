// The shared object as the application sees it: its exported names, its SONAME, and the C
// functions called through dlopen()/dlsym().
#include "qirmellib.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dlfcn.h>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::set<std::string> kFunctions = {
    "Init",          "GetCameraCount", "GetCamName",      "GetCameraPID", "GetCameraVID", "GetMainCamera",
    "GetAuxCamera",  "SetMJPG",        "SetDefaultRes",   "OpenCamera",   "CloseCamera",  "GetResCount",
    "GetResWidth",   "GetResHeight",   "GetCurResWidth",  "GetCurResHeight", "GetFrameBuffer", "Capture",
    "RotateLeft",    "RotateRight",    "SetAutoCrop"};

std::string runCommand(const std::string &command)
{
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    char chunk[4096];
    while (pipe && fgets(chunk, sizeof chunk, pipe.get()))
        output += chunk;
    return output;
}

// Resolves one of the library's functions by name, as a loader would.
template <typename Function>
Function *symbol(void *library, const char *name)
{
    return reinterpret_cast<Function *>(dlsym(library, name));
}

}  // namespace

TEST(Exports, ExactlyTheTwentyOneFunctions)
{
    // nm lists each defined dynamic symbol as "address type name".
    std::istringstream lines(runCommand("nm -D --defined-only '" QIRMEL_LIBRARY_FILE "'"));
    std::set<std::string> exported;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            exported.insert(name);
    }
    EXPECT_EQ(exported, kFunctions);
}

TEST(Exports, SonameIsTheFileName)
{
    const std::string dynamic = runCommand("objdump -p '" QIRMEL_LIBRARY_FILE "'");
    std::istringstream lines(dynamic);
    std::string line, soname;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string tag, value;
        if (fields >> tag >> value && tag == "SONAME")
            soname = value;
    }
    EXPECT_EQ(soname, "libQirmelLib.so");
}

// The application's own sequence, through the loaded library with no configuration file.
TEST(Exports, ApplicationSequenceThroughTheLoader)
{
    // Kept loaded after dlclose(), as an application keeps it: the library's state is made once and
    // never destroyed, and unmapping it would leave that state unreachable, a leak in the eyes of
    // LeakSanitizer.
    void *library = dlopen(QIRMEL_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const std::string &name : kFunctions)
        EXPECT_NE(dlsym(library, name.c_str()), nullptr) << name;

    qirmeltest::TemporaryFolder folder;
    const std::string absent = folder.file("CameraConf.ini");
    EXPECT_EQ(symbol<decltype(Init)>(library, "Init")(absent.c_str()), 0);
    ASSERT_EQ(symbol<decltype(GetCameraCount)>(library, "GetCameraCount")(), 2);
    EXPECT_STREQ(symbol<decltype(GetCamName)>(library, "GetCamName")(0), "Virtual Document Camera");
    EXPECT_EQ(symbol<decltype(GetMainCamera)>(library, "GetMainCamera")(), 0);
    EXPECT_EQ(symbol<decltype(GetAuxCamera)>(library, "GetAuxCamera")(), 1);
    symbol<decltype(SetMJPG)>(library, "SetMJPG")(1);
    symbol<decltype(SetDefaultRes)>(library, "SetDefaultRes")(1000, 1000);
    ASSERT_EQ(symbol<decltype(OpenCamera)>(library, "OpenCamera")(1), 0);
    const auto width = symbol<decltype(GetCurResWidth)>(library, "GetCurResWidth");
    const auto height = symbol<decltype(GetCurResHeight)>(library, "GetCurResHeight");
    EXPECT_EQ(width(), 640);
    EXPECT_EQ(height(), 480);
    EXPECT_EQ(symbol<decltype(GetResCount)>(library, "GetResCount")(), 2);

    std::vector<unsigned char> buffer(static_cast<std::size_t>(width()) * height() * 3);
    int length = 0;
    ASSERT_EQ(symbol<decltype(GetFrameBuffer)>(library, "GetFrameBuffer")(buffer.data(), &length), 0);
    auto info = qirmeltest::inspectJpeg(buffer.data(), static_cast<std::size_t>(length));
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.width, 640);

    symbol<decltype(RotateRight)>(library, "RotateRight")(0);
    EXPECT_EQ(width(), 480);
    EXPECT_EQ(symbol<decltype(Capture)>(library, "Capture")(folder.file("00000.jpg").c_str()), 0);
    info = qirmeltest::inspectJpegFile(folder.file("00000.jpg"));
    EXPECT_EQ(info.width, 480);
    EXPECT_EQ(info.height, 640);
    EXPECT_LT(symbol<decltype(Capture)>(library, "Capture")(folder.file("00000.jpg").c_str()), 0);
    symbol<decltype(RotateLeft)>(library, "RotateLeft")(0);
    EXPECT_EQ(symbol<decltype(SetAutoCrop)>(library, "SetAutoCrop")(1), 0);

    EXPECT_EQ(symbol<decltype(CloseCamera)>(library, "CloseCamera")(), 0);
    EXPECT_EQ(symbol<decltype(CloseCamera)>(library, "CloseCamera")(), 0);
    EXPECT_LT(symbol<decltype(OpenCamera)>(library, "OpenCamera")(7), 0);
    EXPECT_EQ(width(), 0);
    EXPECT_LT(symbol<decltype(GetFrameBuffer)>(library, "GetFrameBuffer")(buffer.data(), &length), 0);
    dlclose(library);
}
