// The shared object as the application sees it: its exported names, its SONAME, and the C
// functions called through dlopen()/dlsym().
#include "qirmellib.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <cstdio>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>

// Resolves one of the library's functions by its name, as a loader does.
#define CALL(function) reinterpret_cast<decltype(&function)>(dlsym(library, #function))

namespace {

std::string runCommand(const std::string &command)
{
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    char chunk[4096];
    while (pipe && fgets(chunk, sizeof chunk, pipe.get()))
        output += chunk;
    return output;
}

}  // namespace

TEST(Exports, ExactlyTheTwentyOneFunctions)
{
    std::istringstream names(runCommand("nm -D --defined-only --format=just-symbols '" QIRMEL_LIBRARY_FILE "'"));
    std::istringstream expected(
        "Init GetCameraCount GetCamName GetCameraPID GetCameraVID GetMainCamera GetAuxCamera "
        "SetMJPG SetDefaultRes OpenCamera CloseCamera GetResCount GetResWidth GetResHeight "
        "GetCurResWidth GetCurResHeight GetFrameBuffer Capture RotateLeft RotateRight SetAutoCrop");
    using Words = std::istream_iterator<std::string>;
    EXPECT_EQ(std::set<std::string>(Words(names), {}), std::set<std::string>(Words(expected), {}));
}

TEST(Exports, SonameIsTheFileName)
{
    const std::string dynamic = runCommand("objdump -p '" QIRMEL_LIBRARY_FILE "'");
    std::istringstream lines(dynamic);
    std::string soname;
    for (std::string line, tag; std::getline(lines, line);) {
        std::istringstream fields(line);
        if (fields >> tag && tag == "SONAME" && fields >> soname)
            break;
    }
    EXPECT_EQ(soname, "libQirmelLib.so") << dynamic;
}

// The application's own sequence, through the loaded library with no configuration file.
TEST(Exports, ApplicationSequenceThroughTheLoader)
{
    // Kept loaded after dlclose(), as an application keeps it: the library's state is made once and
    // never destroyed, and unmapping it would leave that state unreachable, a leak in the eyes of
    // LeakSanitizer.
    void *library = dlopen(QIRMEL_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library, nullptr) << dlerror();
    qirmeltest::TemporaryFolder folder;
    EXPECT_EQ(CALL(Init)(folder.file("CameraConf.ini").c_str()), 0);
    ASSERT_EQ(CALL(GetCameraCount)(), 2);
    EXPECT_STREQ(CALL(GetCamName)(0), "Virtual Document Camera");
    EXPECT_EQ(CALL(GetMainCamera)(), 0);
    EXPECT_EQ(CALL(GetAuxCamera)(), 1);
    CALL(SetMJPG)(1);
    CALL(SetDefaultRes)(1000, 1000);
    ASSERT_EQ(CALL(OpenCamera)(1), 0);
    EXPECT_EQ(CALL(GetCurResWidth)(), 640);
    EXPECT_EQ(CALL(GetCurResHeight)(), 480);
    EXPECT_EQ(CALL(GetResCount)(), 2);

    std::vector<unsigned char> buffer(640 * 480 * 3);
    int length = 0;
    ASSERT_EQ(CALL(GetFrameBuffer)(buffer.data(), &length), 0);
    EXPECT_EQ(qirmeltest::inspectJpeg(buffer.data(), static_cast<std::size_t>(length)).width, 640);

    CALL(RotateRight)(0);
    EXPECT_EQ(CALL(GetCurResWidth)(), 480);
    EXPECT_EQ(CALL(Capture)(folder.file("00000.jpg").c_str()), 0);
    const auto photo = qirmeltest::inspectJpegFile(folder.file("00000.jpg"));
    EXPECT_EQ(photo.width, 480);
    EXPECT_EQ(photo.height, 640);
    EXPECT_LT(CALL(Capture)(folder.file("00000.jpg").c_str()), 0);
    CALL(RotateLeft)(0);
    EXPECT_EQ(CALL(GetCurResWidth)(), 640);
    EXPECT_EQ(CALL(SetAutoCrop)(1), 0);

    EXPECT_EQ(CALL(CloseCamera)(), 0);
    EXPECT_EQ(CALL(CloseCamera)(), 0);
    EXPECT_LT(CALL(OpenCamera)(7), 0);
    EXPECT_EQ(CALL(GetCurResWidth)(), 0);
    EXPECT_LT(CALL(GetFrameBuffer)(buffer.data(), &length), 0);
    dlclose(library);
}
