#include "config/cameraconfig.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <tuple>

using qirmel::Backend;
using qirmel::CameraConfig;
using qirmel::SceneKind;
using qirmel::Size;

namespace {

const std::vector<Size> kMainSizes = CameraConfig::defaultVirtualCamera(0).info.resolutions;

int lineCount(const std::string &text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// What a configuration file can set for a virtual camera, but its faults, as one comparable value.
auto settingsOf(const qirmel::VirtualCameraConfig &camera)
{
    return std::tie(camera.info.name, camera.info.vendorId, camera.info.productId, camera.info.resolutions, camera.fps,
                    camera.scene.kind, camera.scene.interval, camera.scene.photos);
}

void writePhoto(const std::string &path, int width, int height)
{
    const std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3, 128);
    const auto jpeg = qirmeltest::encodeJpeg(pixels, width, height, 80);
    qirmeltest::writeFile(path, std::string(jpeg.begin(), jpeg.end()));
}

// Writes text as the folder's CameraConf.ini and loads it.
CameraConfig loadIn(const qirmeltest::TemporaryFolder &folder, const std::string &text, std::string &errors)
{
    qirmeltest::writeFile(folder.file("CameraConf.ini"), text);
    std::stringstream stream;
    CameraConfig config = CameraConfig::load(folder.file("CameraConf.ini"), stream);
    errors = stream.str();
    return config;
}

}  // namespace

// Cameras are numbered by section, not by order in the file; a section with no keys is a camera with
// its defaults. An indented key is a key of its own, not the previous value's continuation.
TEST(CameraConfig, ValidFileSetsEveryKey)
{
    std::stringstream errors;
    const CameraConfig config = CameraConfig::parse(
        "; a comment\n# another comment\n"
        "[library]\nbackend = Virtual\nframe_quality = 70\nphoto_quality = 100   ; inline comment\n"
        "[V4L2]\npower_line_frequency = 60\ndrop_frames = 30\nmain_camera = 1209:0A01\naux_camera = 0x1209:b02\n"
        "[camera5]\nname = Side Camera\n  vid = 4660\n  pid = 0xBEEF\nresolutions = 800x600, 320X240\nfps = 120\n"
        "scene = Book\nscene_interval = 3600\nfail_every = 7\ncorrupt_every = 5\ntruncate_every = 11\n"
        "stall_every = 13\nstall_ms = 1500\nunplug_every = 100\nunplug_ms = 2500\nphoto_fail_every = 3\n[camera0]\n",
        "test.ini", errors);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(std::tie(config.backend, config.frameQuality, config.photoQuality),
              std::make_tuple(Backend::Virtual, 70, 100));
    const auto &v4l2 = config.v4l2;
    ASSERT_TRUE(v4l2.mainCamera && v4l2.auxCamera);
    EXPECT_EQ(std::vector<int>({v4l2.powerLineFrequency, v4l2.framesToDrop, v4l2.mainCamera->vendorId,
                                v4l2.mainCamera->productId, v4l2.auxCamera->vendorId, v4l2.auxCamera->productId}),
              std::vector<int>({60, 30, 0x1209, 0x0a01, 0x1209, 0x0b02}));
    ASSERT_EQ(config.virtualCameras.size(), 2u);
    EXPECT_EQ(settingsOf(config.virtualCameras[0]), settingsOf(CameraConfig::defaultVirtualCamera(0)));
    const qirmel::VirtualCameraConfig &side = config.virtualCameras[1];
    EXPECT_EQ(settingsOf(side),
              std::make_tuple(std::string("Side Camera"), 4660, 0xbeef, std::vector<Size>{{800, 600}, {320, 240}}, 120,
                              SceneKind::Book, std::chrono::seconds(3600), std::vector<std::string>()));
    const qirmel::CameraFaults &faults = side.faults;
    EXPECT_EQ(std::vector<std::int64_t>({faults.failEvery, faults.corruptEvery, faults.truncateEvery, faults.stallEvery,
                                         faults.stall.count(), faults.unplugEvery, faults.unplugged.count(),
                                         faults.photoFailEvery}),
              std::vector<std::int64_t>({7, 5, 11, 13, 1500, 100, 2500, 3}));
}

// The sample leaves the sizes to their defaults, so that switching its scene to a photo is all a
// user has to do to get the photo's sizes.
TEST(CameraConfig, ShippedSampleIsValidAndEqualsTheDefaults)
{
    const std::vector<std::uint8_t> sample = qirmeltest::readFile(QIRMEL_SAMPLE_CONFIG);
    std::string text(sample.begin(), sample.end());
    qirmeltest::TemporaryFolder folder;
    std::string errors;
    const CameraConfig config = loadIn(folder, text, errors);
    EXPECT_EQ(errors, "");
    const CameraConfig defaults;
    EXPECT_EQ(std::tie(config.backend, config.frameQuality, config.photoQuality, config.v4l2.powerLineFrequency,
                       config.v4l2.framesToDrop),
              std::tie(defaults.backend, defaults.frameQuality, defaults.photoQuality, defaults.v4l2.powerLineFrequency,
                       defaults.v4l2.framesToDrop));
    ASSERT_EQ(config.virtualCameras.size(), defaults.virtualCameras.size());
    for (std::size_t i = 0; i < config.virtualCameras.size(); ++i)
        EXPECT_EQ(settingsOf(config.virtualCameras[i]), settingsOf(defaults.virtualCameras[i])) << i;

    writePhoto(folder.file("desk.jpg"), 1280, 960);
    const auto scene = text.find("\nscene = page\n");
    ASSERT_NE(scene, std::string::npos);
    text.replace(scene, 14, "\nscene = photo:desk.jpg\n");
    const CameraConfig photo = loadIn(folder, text, errors);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(photo.virtualCameras[0].info.resolutions, (std::vector<Size>{{1280, 960}, {640, 480}, {320, 240}}));
}

// Each file has one fault and one good setting after it: the fault is reported on one line with
// the file's name and its line, the good setting still applies, the faulty one keeps its default.
struct MalformedCase {
    std::string text;
    int line;
    const char *complaint;
};

void PrintTo(const MalformedCase &c, std::ostream *out)
{
    *out << "line " << c.line << ", " << c.complaint;
}

class MalformedConfig : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedConfig, ReportsOneLineAndKeepsTheRest)
{
    const MalformedCase &c = GetParam();
    std::stringstream errors;
    const CameraConfig config =
        CameraConfig::parse(c.text + "\n[library]\nphoto_quality = 42\n", "CameraConf.ini", errors);
    const std::string message = errors.str();
    EXPECT_EQ(lineCount(message), 1) << message;
    EXPECT_NE(message.find("CameraConf.ini:" + std::to_string(c.line) + ":"), std::string::npos) << message;
    EXPECT_NE(message.find(c.complaint), std::string::npos) << message;
    EXPECT_EQ(std::tie(config.backend, config.frameQuality, config.photoQuality),
              std::make_tuple(Backend::Auto, 85, 42));
    EXPECT_EQ(settingsOf(config.virtualCameras[0]), settingsOf(CameraConfig::defaultVirtualCamera(0)));
    EXPECT_FALSE(config.virtualCameras[0].faults.any());
}

INSTANTIATE_TEST_SUITE_P(
    CameraConfig, MalformedConfig,
    testing::Values(MalformedCase{"frame_quality = 10", 1, "before any [section]"},
                    MalformedCase{"[camera100]\nname = X", 1, "unknown section [camera100]"},
                    MalformedCase{"[camera0]\ncolour = red", 2, "unknown key \"colour\""},
                    MalformedCase{"[v4l2]\nbackend = v4l2", 2, "unknown key \"backend\" in [v4l2]"},
                    MalformedCase{"[library]\nbackend = usb", 2, "backend must be"},
                    MalformedCase{"[library]\nquality = 10", 2, "unknown key \"quality\" in [library]"},
                    MalformedCase{"[library]\nframe_quality = 0", 2, "frame_quality must be"},
                    MalformedCase{"[library]\nframe_quality = 101", 2, "frame_quality must be"},
                    MalformedCase{"[camera0]\nvid = 0x10000", 2, "vid must be"},
                    MalformedCase{"[camera0]\nresolutions = 640X480, 16X16", 2, "\"16X16\" is not"},
                    MalformedCase{"[camera0]\nresolutions = 640X480, 640", 2, "\"640\" is not"},
                    MalformedCase{"[camera0]\nresolutions = 640X480, 640x480", 2, "640x480 is listed twice"},
                    MalformedCase{"[camera0]\nresolutions =", 2, "at least one size"},
                    MalformedCase{"[camera0]\nfps = 0", 2, "fps must be"},
                    MalformedCase{"[camera0]\nname = Kamera \xc3\xbc", 2, "ASCII"},
                    MalformedCase{"[camera0]\nname = " + std::string(64, 'a'), 2, "name must be 1 to 63"},
                    MalformedCase{"[camera0]\nname = " + std::string(300, 'a'), 2, "the line is longer than"},
                    MalformedCase{"[camera0]\nscene = video:a.mp4", 2, "scene must be"},
                    MalformedCase{"[camera0]\nscene_interval = 0", 2, "scene_interval must be"},
                    MalformedCase{"[camera0]\nfail_every = -1", 2, "fail_every must be"},
                    MalformedCase{"[camera0]\nstall_ms = 0", 2, "stall_ms must be"},
                    MalformedCase{"[v4l2]\npower_line_frequency = 55", 2, "50, 60 or 0"},
                    MalformedCase{"[v4l2]\ndrop_frames = 31", 2, "drop_frames must be"},
                    MalformedCase{"[v4l2]\nmain_camera = 1209", 2, "main_camera must be"},
                    MalformedCase{"[v4l2]\naux_camera = 1209:0a010", 2, "aux_camera must be"}));

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
    for (const char *expected :
         {":2: frame_quality must be", ":3: expected \"key = value\"", ":4: unknown section [libary]",
          ":7: fps must be", ":8: scene folder: needs the path", ":9: a section header needs"}) {
        ASSERT_TRUE(std::getline(report, line)) << errors.str();
        EXPECT_EQ(line.rfind(std::string("QirmelLib: CameraConf.ini") + expected, 0), 0u) << line;
    }
    EXPECT_FALSE(std::getline(report, line)) << line;
    EXPECT_EQ(config.virtualCameras[0].info.name, "Fine");
}

// Photo and folder scenes take their paths from the configuration file's folder, not from the working
// directory; the first photo that reads sets the sizes unless the section lists its own.
TEST(CameraConfig, Scenes)
{
    qirmeltest::TemporaryFolder folder;
    for (const char *name : {"album", "empty", "broken"})
        ASSERT_EQ(mkdir(folder.file(name).c_str(), 0755), 0);
    writePhoto(folder.file("desk.jpg"), 1600, 1200);
    qirmeltest::writeFile(folder.file("fake.jpg"), "GIF89a");
    qirmeltest::writeFile(folder.file("broken/a.jpg"), "broken");
    qirmeltest::writeFile(folder.file("album/1.jpg"), "broken");
    writePhoto(folder.file("album/2.JPG"), 1000, 800);
    writePhoto(folder.file("album/3.jpeg"), 640, 480);
    const std::vector<std::string> desk = {folder.file("desk.jpg")};
    const std::vector<std::string> album = {folder.file("album/1.jpg"), folder.file("album/2.JPG"),
                                            folder.file("album/3.jpeg")};
    // A faulty row leaves the camera as it was.
    const struct {
        std::string lines;      // of a [camera0] section
        std::string complaint;  // about its first line
        SceneKind kind = SceneKind::Page;
        std::vector<Size> sizes = kMainSizes;
        std::vector<std::string> photos = {};
    } rows[] = {
        {"scene = idcard", "", SceneKind::IdCard},
        {"scene = EMPTY", "", SceneKind::EmptyDesk},
        {"scene = Moving", "", SceneKind::MovingPage},
        {"scene = photo: ./desk.jpg", "", SceneKind::Photo, {{1600, 1200}, {800, 600}, {400, 300}}, desk},
        {"resolutions = 640X480\nscene = photo:desk.jpg", "", SceneKind::Photo, {{640, 480}}, desk},
        {"scene = photo:desk.jpg\nresolutions = 640X480", "", SceneKind::Photo, {{640, 480}}, desk},
        {"scene = photo:desk.jpg\nscene = page", ""},
        {"scene = Folder:album", "", SceneKind::PhotoFolder, {{1000, 800}, {500, 400}}, album},
        {"scene = photo:fake.jpg", "photo: fake.jpg is not a JPEG file"},
        {"scene = photo:album", "photo: album is a folder, not a JPEG file"},
        {"scene = photo:missing.jpg", "photo: missing.jpg does not exist"},
        {"scene = folder:fake.jpg", "folder: fake.jpg is not a folder"},
        {"scene = folder:missing", "folder: missing does not exist"},
        {"scene = folder:empty", "folder: empty holds no JPEG photos (*.jpg, *.jpeg)"},
        {"scene = folder:broken", "folder: none of the JPEG photos in broken can be read"},
    };
    for (const auto &row : rows) {
        std::string errors;
        const CameraConfig config = loadIn(folder, "[camera0]\n" + row.lines + "\n", errors);
        EXPECT_EQ(errors, row.complaint.empty() ? ""
                                                : "QirmelLib: " + folder.file("CameraConf.ini") + ":2: scene " +
                                                      row.complaint + "; the line is ignored\n");
        const qirmel::VirtualCameraConfig &camera = config.virtualCameras[0];
        EXPECT_EQ(std::tie(camera.scene.kind, camera.info.resolutions, camera.scene.photos),
                  std::tie(row.kind, row.sizes, row.photos))
            << row.lines;
    }
}

// An empty file, though, is a valid one.
TEST(CameraConfig, UnreadableFileGivesTheDefaultsAndOneLine)
{
    qirmeltest::TemporaryFolder folder;
    std::stringstream errors;
    CameraConfig::load(folder.file("CameraConf.ini"), errors);
    EXPECT_EQ(errors.str(), "QirmelLib: " + folder.file("CameraConf.ini") + ": cannot be read (" +
                                std::strerror(ENOENT) + "); using the defaults\n");
    std::string empty;
    loadIn(folder, "", empty);
    EXPECT_EQ(empty, "");
}

// Changes the working directory for the length of a test.
struct WorkingDirectory {
    explicit WorkingDirectory(const std::string &path) { std::filesystem::current_path(path); }
    ~WorkingDirectory() { std::filesystem::current_path(old); }
    const std::filesystem::path old = std::filesystem::current_path();
};

// A folder of that name in the working directory is no file: the lookup goes on beside the executable.
TEST(ConfigLookup, WorkingDirectoryFirstThenBesideTheExecutable)
{
    qirmeltest::TemporaryFolder work, exe;
    const WorkingDirectory cwd(work.path());
    ASSERT_EQ(mkdir("CameraConf.ini", 0755), 0);
    EXPECT_EQ(qirmel::findConfigFile("CameraConf.ini", exe.path()), "");

    qirmeltest::writeFile(exe.file("CameraConf.ini"), "");
    EXPECT_EQ(qirmel::findConfigFile("CameraConf.ini", exe.path()), exe.file("CameraConf.ini"));

    ASSERT_EQ(rmdir("CameraConf.ini"), 0);
    qirmeltest::writeFile(work.file("CameraConf.ini"), "");
    EXPECT_EQ(qirmel::findConfigFile("CameraConf.ini", exe.path()), "CameraConf.ini");
    EXPECT_EQ(qirmel::findConfigFile(work.file("other.ini"), exe.path()), "") << "an absolute name that is no file";
}

TEST(ConfigLookup, ExecutableDirIsThisTestsFolder)
{
    const std::string dir = qirmel::executableDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(access((dir + "/qirmel_tests").c_str(), X_OK), 0) << dir;
}
