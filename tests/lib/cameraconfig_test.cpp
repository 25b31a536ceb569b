#include "config/cameraconfig.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using qirmel::Backend;
using qirmel::CameraConfig;
using qirmel::Size;

namespace {

std::vector<Size> mainSizes()
{
    return {{3264, 2448}, {2592, 1944}, {1920, 1080}, {1280, 720}, {640, 480}};
}

int lineCount(const std::string &text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(CameraConfig, ValidFileSetsEveryKey)
{
    std::stringstream errors;
    const CameraConfig config = CameraConfig::parse(R"(
; a comment
# another comment
[library]
backend = Virtual
frame_quality = 70
photo_quality = 99   ; inline comment

[camera1]
name = Side Camera
vid = 4660
pid = 0xBEEF
resolutions = 800x600, 320X240
fps = 12
scene = Book
scene_interval = 9

[camera0]
  name = Top Camera
  resolutions = 1600X1200
)",
                                                    "test.ini", errors);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(config.backend, Backend::Virtual);
    EXPECT_EQ(config.frameQuality, 70);
    EXPECT_EQ(config.photoQuality, 99);
    ASSERT_EQ(config.virtualCameras.size(), 2u);
    // Numbered by section, not by order in the file; keys left out keep that camera's defaults.
    EXPECT_EQ(config.virtualCameras[0].info.name, "Top Camera");
    EXPECT_EQ(config.virtualCameras[0].info.resolutions, (std::vector<Size>{{1600, 1200}}));
    EXPECT_EQ(config.virtualCameras[0].info.productId, CameraConfig::defaultVirtualCamera(0).info.productId);
    EXPECT_EQ(config.virtualCameras[1].info.name, "Side Camera");
    EXPECT_EQ(config.virtualCameras[1].info.vendorId, 4660);
    EXPECT_EQ(config.virtualCameras[1].info.productId, 0xbeef);
    EXPECT_EQ(config.virtualCameras[1].info.resolutions, (std::vector<Size>{{800, 600}, {320, 240}}));
    EXPECT_EQ(config.virtualCameras[1].fps, 12);
    EXPECT_EQ(config.virtualCameras[1].scene.kind, qirmel::SceneKind::Book);
    EXPECT_EQ(config.virtualCameras[1].scene.interval, std::chrono::seconds(9));
    EXPECT_EQ(config.virtualCameras[0].scene.kind, qirmel::SceneKind::Page);
}

TEST(CameraConfig, V4l2SectionSetsTheRealCameraSettings)
{
    std::stringstream errors;
    const CameraConfig config = CameraConfig::parse(
        "[v4l2]\npower_line_frequency = 60\ndrop_frames = 0\nmain_camera = 4E55:0A01\naux_camera = 0x4e55:b02\n",
        "test.ini", errors);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(config.v4l2.powerLineFrequency, 60);
    EXPECT_EQ(config.v4l2.framesToDrop, 0);
    ASSERT_TRUE(config.v4l2.mainCamera);
    EXPECT_EQ(config.v4l2.mainCamera->vendorId, 0x4e55);
    EXPECT_EQ(config.v4l2.mainCamera->productId, 0x0a01);
    ASSERT_TRUE(config.v4l2.auxCamera);
    EXPECT_EQ(config.v4l2.auxCamera->vendorId, 0x4e55);
    EXPECT_EQ(config.v4l2.auxCamera->productId, 0x0b02);
}

// A section with no keys is a camera with its defaults.
TEST(CameraConfig, CameraSectionsReplaceTheDefaultCameras)
{
    std::stringstream errors;
    const CameraConfig config = CameraConfig::parse("[camera5]\nfps=10\n[camera0]\n", "test.ini", errors);
    EXPECT_EQ(errors.str(), "");
    ASSERT_EQ(config.virtualCameras.size(), 2u);
    EXPECT_EQ(config.virtualCameras[0].info.name, "Virtual Document Camera");
    EXPECT_EQ(config.virtualCameras[1].info.name, "Virtual Camera 5");
    EXPECT_EQ(config.virtualCameras[1].fps, 10);
}

TEST(CameraConfig, ShippedSampleIsValidAndEqualsTheDefaults)
{
    std::stringstream errors;
    const CameraConfig config = CameraConfig::load(QIRMEL_SAMPLE_CONFIG, errors);
    EXPECT_EQ(errors.str(), "");
    const CameraConfig defaults;
    EXPECT_EQ(config.backend, defaults.backend);
    EXPECT_EQ(config.frameQuality, defaults.frameQuality);
    EXPECT_EQ(config.photoQuality, defaults.photoQuality);
    ASSERT_EQ(config.virtualCameras.size(), defaults.virtualCameras.size());
    for (std::size_t i = 0; i < config.virtualCameras.size(); ++i) {
        EXPECT_EQ(config.virtualCameras[i].info.name, defaults.virtualCameras[i].info.name);
        EXPECT_EQ(config.virtualCameras[i].info.vendorId, defaults.virtualCameras[i].info.vendorId);
        EXPECT_EQ(config.virtualCameras[i].info.productId, defaults.virtualCameras[i].info.productId);
        EXPECT_EQ(config.virtualCameras[i].info.resolutions, defaults.virtualCameras[i].info.resolutions);
        EXPECT_EQ(config.virtualCameras[i].fps, defaults.virtualCameras[i].fps);
        EXPECT_EQ(config.virtualCameras[i].scene.kind, defaults.virtualCameras[i].scene.kind);
        EXPECT_EQ(config.virtualCameras[i].scene.interval, defaults.virtualCameras[i].scene.interval);
    }
}

struct MalformedCase {
    const char *text;
    int line;
    const char *complaint;
};

void PrintTo(const MalformedCase &c, std::ostream *out)
{
    *out << "line " << c.line << ", " << c.complaint;
}

class MalformedConfig : public testing::TestWithParam<MalformedCase> {};

// Each file has one fault and one good setting after it: the fault is reported on one line with
// the file's name and its line, the good setting still applies, the faulty one keeps its default.
TEST_P(MalformedConfig, ReportsOneLineAndKeepsTheRest)
{
    const MalformedCase &c = GetParam();
    std::stringstream errors;
    const CameraConfig config = CameraConfig::parse(c.text, "CameraConf.ini", errors);
    const std::string message = errors.str();
    EXPECT_EQ(lineCount(message), 1) << message;
    EXPECT_NE(message.find("CameraConf.ini:" + std::to_string(c.line) + ":"), std::string::npos) << message;
    EXPECT_NE(message.find(c.complaint), std::string::npos) << message;
    EXPECT_EQ(config.photoQuality, 42) << message;
    EXPECT_EQ(config.frameQuality, 85);
    EXPECT_EQ(config.backend, Backend::Auto);
    EXPECT_EQ(config.virtualCameras[0].info.resolutions, mainSizes());
    EXPECT_EQ(config.virtualCameras[0].info.name, "Virtual Document Camera");
}

const std::string kLongLine = "name = " + std::string(300, 'a') + "\n";

INSTANTIATE_TEST_SUITE_P(
    CameraConfig, MalformedConfig,
    testing::Values(
        MalformedCase{"[library\n[library]\nphoto_quality = 42\n", 1, "closing ']'"},
        MalformedCase{"[library]\njust some words\nphoto_quality = 42\n", 2, "key = value"},
        MalformedCase{"frame_quality = 10\n[library]\nphoto_quality = 42\n", 1, "before any [section]"},
        MalformedCase{"[lib]\nframe_quality = 10\n[library]\nphoto_quality = 42\n", 1, "unknown section [lib]"},
        MalformedCase{"[library]\nphoto_quality = 42\n[libary]\n", 3, "unknown section [libary]"},
        MalformedCase{"[library]\n\nquality = 10\nphoto_quality = 42\n", 3, "unknown key \"quality\""},
        MalformedCase{"[library]\nbackend = usb\nphoto_quality = 42\n", 2, "backend must be"},
        MalformedCase{"[library]\nframe_quality = 0\nphoto_quality = 42\n", 2, "frame_quality must be"},
        MalformedCase{"[library]\nframe_quality = 101\nphoto_quality = 42\n", 2, "frame_quality must be"},
        MalformedCase{"[library]\nframe_quality = high\nphoto_quality = 42\n", 2, "not \"high\""},
        MalformedCase{"[library]\nframe_quality = 9 0\nphoto_quality = 42\n", 2, "frame_quality must be"},
        MalformedCase{"[library]\nframe_quality = -5\nphoto_quality = 42\n", 2, "frame_quality must be"},
        MalformedCase{"[camera0]\nvid = 0x10000\n[library]\nphoto_quality = 42\n", 2, "vid must be"},
        MalformedCase{"[camera0]\npid = 0xzz\n[library]\nphoto_quality = 42\n", 2, "pid must be"},
        MalformedCase{"[camera0]\nresolutions = 640\n[library]\nphoto_quality = 42\n", 2, "\"640\" is not"},
        MalformedCase{"[camera0]\nresolutions = 640X480, 16X16\n[library]\nphoto_quality = 42\n", 2, "16X16"},
        MalformedCase{"[camera0]\nresolutions = 640X480, 640x480\n[library]\nphoto_quality = 42\n", 2, "twice"},
        MalformedCase{"[camera0]\nresolutions = ,\n[library]\nphoto_quality = 42\n", 2, "resolutions"},
        MalformedCase{"[camera0]\nfps = 0\n[library]\nphoto_quality = 42\n", 2, "fps must be"},
        MalformedCase{"[camera0]\nname = Kamera \xc3\xbc\n[library]\nphoto_quality = 42\n", 2, "ASCII"},
        MalformedCase{"[camera0]\nscene = beach\n[library]\nphoto_quality = 42\n", 2, "scene must be"},
        MalformedCase{"[camera0]\nscene = video:a.mp4\n[library]\nphoto_quality = 42\n", 2, "scene must be"},
        MalformedCase{"[camera0]\nscene = photo:\n[library]\nphoto_quality = 42\n", 2, "needs the path"},
        MalformedCase{"[camera0]\nscene = photo:/nonexistent/a.jpg\n[library]\nphoto_quality = 42\n", 2,
                      "/nonexistent/a.jpg does not exist"},
        MalformedCase{"[camera0]\nscene = folder:/nonexistent\n[library]\nphoto_quality = 42\n", 2,
                      "/nonexistent does not exist"},
        MalformedCase{"[camera0]\nscene_interval = 0\n[library]\nphoto_quality = 42\n", 2, "scene_interval must"},
        MalformedCase{"[camera0]\ncolour = red\n[library]\nphoto_quality = 42\n", 2, "unknown key \"colour\""},
        MalformedCase{"[camera100]\nname = X\n[library]\nphoto_quality = 42\n", 1, "unknown section"},
        MalformedCase{"[v4l2]\npower_line_frequency = 55\n[library]\nphoto_quality = 42\n", 2, "50, 60 or 0"},
        MalformedCase{"[v4l2]\ndrop_frames = 31\n[library]\nphoto_quality = 42\n", 2, "drop_frames must be"},
        MalformedCase{"[v4l2]\nmain_camera = 4e55\n[library]\nphoto_quality = 42\n", 2, "main_camera must be"},
        MalformedCase{"[v4l2]\naux_camera = 4e55:0a010\n[library]\nphoto_quality = 42\n", 2, "aux_camera must be"},
        MalformedCase{"[v4l2]\nbackend = v4l2\n[library]\nphoto_quality = 42\n", 2, "in [v4l2]"}));

TEST(CameraConfig, NamedScenes)
{
    const std::pair<const char *, qirmel::SceneKind> names[] = {
        {"page", qirmel::SceneKind::Page},    {"BOOK", qirmel::SceneKind::Book},
        {"idcard", qirmel::SceneKind::IdCard}, {"empty", qirmel::SceneKind::EmptyDesk},
        {"Moving", qirmel::SceneKind::MovingPage}};
    for (const auto &[name, kind] : names) {
        std::stringstream errors;
        const CameraConfig config =
            CameraConfig::parse(std::string("[camera0]\nscene = ") + name + "\n", "test.ini", errors);
        EXPECT_EQ(errors.str(), "");
        EXPECT_EQ(config.virtualCameras[0].scene.kind, kind) << name;
        EXPECT_EQ(config.virtualCameras[0].info.resolutions, mainSizes());
    }
}

namespace {

void writePhoto(const std::string &path, int width, int height)
{
    const std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3, 128);
    const auto jpeg = qirmeltest::encodeJpeg(pixels, width, height, 80);
    qirmeltest::writeFile(path, std::string(jpeg.begin(), jpeg.end()));
}

CameraConfig loadText(const qirmeltest::TemporaryFolder &folder, const std::string &text, std::string &errors)
{
    qirmeltest::writeFile(folder.file("CameraConf.ini"), text);
    std::stringstream stream;
    CameraConfig config = CameraConfig::load(folder.file("CameraConf.ini"), stream);
    errors = stream.str();
    return config;
}

}  // namespace

// A relative path is taken from the configuration file's folder, not from the working directory,
// and the camera's sizes follow the photo's.
TEST(CameraConfig, PhotoSceneFromBesideTheFileSetsTheSizes)
{
    qirmeltest::TemporaryFolder folder;
    ASSERT_EQ(mkdir(folder.file("pictures").c_str(), 0755), 0);
    writePhoto(folder.file("pictures/desk.jpg"), 1600, 1200);
    std::string errors;
    const CameraConfig config = loadText(folder, "[camera0]\nscene = photo: pictures/desk.jpg\n", errors);
    EXPECT_EQ(errors, "");
    const auto &camera = config.virtualCameras[0];
    EXPECT_EQ(camera.scene.kind, qirmel::SceneKind::Photo);
    EXPECT_EQ(camera.scene.photos, std::vector<std::string>{folder.file("pictures/desk.jpg")});
    EXPECT_EQ(camera.info.resolutions, (std::vector<Size>{{1600, 1200}, {800, 600}, {400, 300}}));
}

TEST(CameraConfig, ListedSizesWinOverThePhotos)
{
    qirmeltest::TemporaryFolder folder;
    writePhoto(folder.file("desk.jpg"), 1600, 1200);
    for (const char *text : {"[camera0]\nresolutions = 640X480\nscene = photo:desk.jpg\n",
                             "[camera0]\nscene = photo:desk.jpg\nresolutions = 640X480\n"}) {
        std::string errors;
        const CameraConfig config = loadText(folder, text, errors);
        EXPECT_EQ(errors, "");
        EXPECT_EQ(config.virtualCameras[0].scene.kind, qirmel::SceneKind::Photo);
        EXPECT_EQ(config.virtualCameras[0].info.resolutions, (std::vector<Size>{{640, 480}})) << text;
    }
}

// The sample leaves the sizes to their defaults, so that switching its scene to a photo is all a
// user has to do to get the photo's sizes.
TEST(CameraConfig, ShippedSampleWithAPhotoOffersThePhotosSizes)
{
    qirmeltest::TemporaryFolder folder;
    writePhoto(folder.file("desk.jpg"), 1280, 960);
    const std::vector<std::uint8_t> sample = qirmeltest::readFile(QIRMEL_SAMPLE_CONFIG);
    std::string text(sample.begin(), sample.end());
    const auto scene = text.find("\nscene = page\n");
    ASSERT_NE(scene, std::string::npos);
    text.replace(scene, 14, "\nscene = photo:desk.jpg\n");
    std::string errors;
    const CameraConfig config = loadText(folder, text, errors);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(config.virtualCameras[0].scene.kind, qirmel::SceneKind::Photo);
    EXPECT_EQ(config.virtualCameras[0].info.resolutions, (std::vector<Size>{{1280, 960}, {640, 480}, {320, 240}}));
    EXPECT_EQ(config.virtualCameras[1].scene.kind, qirmel::SceneKind::Page);
}

TEST(CameraConfig, LaterSceneReplacesAPhoto)
{
    qirmeltest::TemporaryFolder folder;
    writePhoto(folder.file("desk.jpg"), 1600, 1200);
    std::string errors;
    const CameraConfig config = loadText(folder, "[camera0]\nscene = photo:desk.jpg\nscene = book\n", errors);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(config.virtualCameras[0].scene.kind, qirmel::SceneKind::Book);
    EXPECT_TRUE(config.virtualCameras[0].scene.photos.empty());
    EXPECT_EQ(config.virtualCameras[0].info.resolutions, mainSizes());
}

// The folder's JPEG files in name order; the first one that reads sets the sizes.
TEST(CameraConfig, FolderScene)
{
    qirmeltest::TemporaryFolder folder;
    ASSERT_EQ(mkdir(folder.file("album").c_str(), 0755), 0);
    qirmeltest::writeFile(folder.file("album/1.jpg"), "broken");
    writePhoto(folder.file("album/2.JPG"), 1000, 800);
    writePhoto(folder.file("album/3.jpeg"), 640, 480);
    qirmeltest::writeFile(folder.file("album/readme.txt"), "not a photo");
    std::string errors;
    const CameraConfig config = loadText(folder, "[camera1]\nscene = Folder:" + folder.file("album") + "\n", errors);
    EXPECT_EQ(errors, "");
    const auto &camera = config.virtualCameras[0];
    EXPECT_EQ(camera.scene.kind, qirmel::SceneKind::PhotoFolder);
    EXPECT_EQ(camera.scene.photos, (std::vector<std::string>{folder.file("album/1.jpg"), folder.file("album/2.JPG"),
                                                             folder.file("album/3.jpeg")}));
    EXPECT_EQ(camera.info.resolutions, (std::vector<Size>{{1000, 800}, {500, 400}}));
}

TEST(CameraConfig, BadPhotoScenesKeepThePage)
{
    qirmeltest::TemporaryFolder folder;
    qirmeltest::writeFile(folder.file("fake.jpg"), "GIF89a");
    ASSERT_EQ(mkdir(folder.file("empty").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.file("broken").c_str(), 0755), 0);
    qirmeltest::writeFile(folder.file("broken/a.jpg"), "broken");
    const std::pair<const char *, const char *> cases[] = {
        {"scene = photo:fake.jpg", "fake.jpg is not a JPEG file"},
        {"scene = photo:empty", "empty is a folder, not a JPEG file"},
        {"scene = folder:fake.jpg", "fake.jpg is not a folder"},
        {"scene = folder:empty", "empty holds no JPEG photos"},
        {"scene = folder:broken", "none of the JPEG photos in broken can be read"}};
    for (const auto &[line, complaint] : cases) {
        std::string errors;
        const CameraConfig config = loadText(folder, std::string("[camera0]\n") + line + "\n", errors);
        EXPECT_NE(errors.find("CameraConf.ini:2: scene "), std::string::npos) << errors;
        EXPECT_NE(errors.find(complaint), std::string::npos) << errors;
        EXPECT_EQ(lineCount(errors), 1) << errors;
        EXPECT_EQ(config.virtualCameras[0].scene.kind, qirmel::SceneKind::Page) << line;
        EXPECT_EQ(config.virtualCameras[0].info.resolutions, mainSizes()) << line;
    }
}

TEST(CameraConfig, TooLongLineIsReportedNotCut)
{
    std::stringstream errors;
    const CameraConfig config =
        CameraConfig::parse("[camera0]\n" + kLongLine + "[library]\nphoto_quality = 42\n", "CameraConf.ini", errors);
    EXPECT_EQ(lineCount(errors.str()), 1);
    EXPECT_NE(errors.str().find("CameraConf.ini:2: the line is longer than"), std::string::npos) << errors.str();
    EXPECT_EQ(config.virtualCameras[0].info.name, "Virtual Document Camera");
    EXPECT_EQ(config.photoQuality, 42);
}

// Every faulty line gets a report line of its own, also the syntax errors after the first; the keys
// of an unknown section go with it, and those after a broken header stay in the section before.
TEST(CameraConfig, EveryFaultyLineIsReportedWithItsOwnNumber)
{
    std::stringstream errors;
    const CameraConfig config = CameraConfig::parse(
        "[library]\nframe_quality = x\njust words\n[libary]\nbackend = usb\n[camera0]\nfps = 1000\nscene = folder:\n"
        "[v4l2\nname = Fine\n",
        "CameraConf.ini", errors);
    std::stringstream report(errors.str());
    std::string line;
    for (const char *expected : {":2: frame_quality must be", ":3: expected \"key = value\"",
                                 ":4: unknown section [libary]", ":7: fps must be", ":8: scene folder: needs the path",
                                 ":9: a section header needs"}) {
        ASSERT_TRUE(std::getline(report, line)) << errors.str();
        EXPECT_EQ(line.rfind(std::string("QirmelLib: CameraConf.ini") + expected, 0), 0u) << line;
    }
    EXPECT_FALSE(std::getline(report, line)) << line;
    EXPECT_EQ(config.virtualCameras[0].info.name, "Fine");
}

TEST(CameraConfig, UnreadableFileGivesDefaultsAndOneLine)
{
    std::stringstream errors;
    const CameraConfig config = CameraConfig::load("/nonexistent/CameraConf.ini", errors);
    EXPECT_EQ(lineCount(errors.str()), 1);
    EXPECT_NE(errors.str().find("/nonexistent/CameraConf.ini"), std::string::npos);
    EXPECT_EQ(config.virtualCameras.size(), 2u);
}

TEST(CameraConfig, EmptyFileIsValid)
{
    qirmeltest::TemporaryFolder folder;
    qirmeltest::writeFile(folder.file("CameraConf.ini"), "");
    std::stringstream errors;
    const CameraConfig config = CameraConfig::load(folder.file("CameraConf.ini"), errors);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(config.virtualCameras.size(), 2u);
}

// Changes the working directory for the length of a test.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string &path)
    {
        char *old = getcwd(nullptr, 0);
        m_old = old;
        free(old);
        EXPECT_EQ(chdir(path.c_str()), 0);
    }
    ~WorkingDirectory() { EXPECT_EQ(chdir(m_old.c_str()), 0); }

private:
    std::string m_old;
};

TEST(ConfigLookup, WorkingDirectoryFirstThenBesideTheExecutable)
{
    qirmeltest::TemporaryFolder work, exe;
    const WorkingDirectory cwd(work.path());
    EXPECT_EQ(qirmel::findConfigFile("CameraConf.ini", exe.path()), "");

    qirmeltest::writeFile(exe.file("CameraConf.ini"), "");
    EXPECT_EQ(qirmel::findConfigFile("CameraConf.ini", exe.path()), exe.file("CameraConf.ini"));

    qirmeltest::writeFile(work.file("CameraConf.ini"), "");
    EXPECT_EQ(qirmel::findConfigFile("CameraConf.ini", exe.path()), "CameraConf.ini");
}

TEST(ConfigLookup, FolderOfTheNameIsNotAFile)
{
    qirmeltest::TemporaryFolder work;
    const WorkingDirectory cwd(work.path());
    ASSERT_EQ(mkdir("CameraConf.ini", 0755), 0);
    EXPECT_EQ(qirmel::findConfigFile("CameraConf.ini", "/nonexistent"), "");
}

TEST(ConfigLookup, AbsoluteNameAndNoName)
{
    qirmeltest::TemporaryFolder folder;
    qirmeltest::writeFile(folder.file("my.ini"), "");
    EXPECT_EQ(qirmel::findConfigFile(folder.file("my.ini"), "/nonexistent"), folder.file("my.ini"));
    EXPECT_EQ(qirmel::findConfigFile(folder.file("other.ini"), folder.path()), "");
    EXPECT_EQ(qirmel::findConfigFile("", folder.path()), "");
}

TEST(ConfigLookup, ExecutableDirIsThisTestsFolder)
{
    const std::string dir = qirmel::executableDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(access((dir + "/qirmel_tests").c_str(), X_OK), 0) << dir;
}
