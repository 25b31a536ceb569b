#include "config/cameraconfig.h"

#include "source/photoscene.h"

#include <ini.h>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>

namespace qirmel {

namespace {

constexpr int kVendorId = 0x1209;
constexpr int kFirstProductId = 0xd0c1;
constexpr int kMaxCameraNumber = 99;
constexpr int kMinSide = 32;
constexpr int kMaxSide = 8192;
constexpr int kMaxFps = 120;
constexpr int kMaxSceneInterval = 3600;
constexpr int kMaxFaultEvery = 1000000;
constexpr int kMaxFaultMilliseconds = 60000;
constexpr std::size_t kMaxNameLength = 63;
constexpr int kMaxDroppedFrames = 30;

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return text;
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool parseInt(const std::string &text, int base, long min, long max, int &out)
{
    const auto isDigit = [base](unsigned char c) { return base == 16 ? std::isxdigit(c) != 0 : std::isdigit(c) != 0; };
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), isDigit))
        return false;
    errno = 0;
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || value < min || value > max)
        return false;
    out = static_cast<int>(value);
    return true;
}

// A USB id: decimal, or hexadecimal after "0x".
bool parseId(const std::string &text, int &out)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return parseInt(text.substr(2), 16, 0, 0xffff, out);
    return parseInt(text, 10, 0, 0xffff, out);
}

// One half of a USB id: up to four hexadecimal digits, "0x" allowed in front.
bool parseUsbIdHalf(std::string text, int &out)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.erase(0, 2);
    return text.size() <= 4 && parseInt(text, 16, 0, 0xffff, out);
}

// A USB id pair as lsusb prints it: "vvvv:pppp".
bool parseUsbId(const std::string &text, UsbId &out)
{
    const auto colon = text.find(':');
    return colon != std::string::npos && parseUsbIdHalf(text.substr(0, colon), out.vendorId) &&
           parseUsbIdHalf(text.substr(colon + 1), out.productId);
}

bool parseSize(const std::string &text, Size &out)
{
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos)
        return false;
    return parseInt(text.substr(0, x), 10, kMinSide, kMaxSide, out.width) &&
           parseInt(text.substr(x + 1), 10, kMinSide, kMaxSide, out.height);
}

using Problems = std::vector<std::pair<int, std::string>>;

// Notes what is wrong on a line that is left out.
void ignoreLine(Problems &problems, int line, const std::string &what)
{
    problems.emplace_back(line, what + "; the line is ignored");
}

// Feeds inih one line at a time and notes what inih does not tell: where each line is, which
// section headers it reads and where, and every line that it passes over as neither blank, comment,
// section header nor key = value (it reports only the first). Leading blanks are dropped because inih
// would otherwise take an indented key for the continuation of the previous value; a line too long
// for inih's buffer is reported and handed over as an empty line.
class LineReader {
public:
    struct Line {
        int number;
        std::string text;
    };

    LineReader(const std::string &text, Problems &problems) : m_text(text), m_problems(problems) {}

    static char *read(char *buffer, int size, void *self)
    {
        return static_cast<LineReader *>(self)->next(buffer, static_cast<std::size_t>(size));
    }

    int line() const { return m_line; }

    // The handler was given the current line as a key = value.
    void keyFound() { m_keyFound = true; }

    // After parsing: notes the last line, if inih passed it over.
    void finish() { notePassedOver(); }

    // Each section header's line and the section's name.
    const std::vector<Line> &sections() const { return m_sections; }

private:
    char *next(char *buffer, std::size_t size)
    {
        notePassedOver();
        if (m_pos >= m_text.size() || size < 2)
            return nullptr;
        ++m_line;
        auto end = m_text.find('\n', m_pos);
        end = end == std::string::npos ? m_text.size() : end + 1;
        auto start = m_text.find_first_not_of(" \t", m_pos);
        start = std::min(start == std::string::npos ? end : start, end);
        m_pos = end;
        if (end - start > size - 1) {
            ignoreLine(m_problems, m_line, "the line is longer than " + std::to_string(size - 3) + " characters");
            std::strcpy(buffer, "\n");
            return buffer;
        }
        m_text.copy(buffer, end - start, start);
        buffer[end - start] = '\0';
        classify(buffer);
        return buffer;
    }

    // Reads the line as inih will: a section header is noted, a line that should be key = value is
    // kept until it is known whether inih took it as one.
    void classify(const char *line)
    {
        if (m_line == 1 && std::strncmp(line, "\xEF\xBB\xBF", 3) == 0)
            line += 3;
        while (std::isspace(static_cast<unsigned char>(*line)))
            ++line;
        std::string text(line);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
            text.pop_back();
        if (text.empty() || text[0] == ';' || text[0] == '#')
            return;
        m_keyFound = false;
        if (text[0] != '[') {
            m_candidate = Line{m_line, text};
            return;
        }
        // A header ends at its first ']', unless an inline comment (a ';' after a blank) comes first.
        std::size_t close = 1;
        while (close < text.size() && text[close] != ']' &&
               !(text[close] == ';' && std::isspace(static_cast<unsigned char>(text[close - 1]))))
            ++close;
        if (close < text.size() && text[close] == ']')
            m_sections.push_back({m_line, text.substr(1, close - 1)});
        else
            ignoreLine(m_problems, m_line, "a section header needs a closing ']'");
    }

    void notePassedOver()
    {
        if (m_candidate && !m_keyFound)
            ignoreLine(m_problems, m_candidate->number,
                       "expected \"key = value\", a [section] or a comment, not \"" + m_candidate->text + "\"");
        m_candidate.reset();
    }

    const std::string &m_text;
    Problems &m_problems;
    std::size_t m_pos = 0;
    int m_line = 0;
    std::vector<Line> m_sections;
    std::optional<Line> m_candidate;  // the current line, while inih may still take it for a key
    bool m_keyFound = false;
};

// The fault keys of a camera section: how often each fault comes, and how long the lasting ones last.
const std::pair<const char *, int CameraFaults::*> kFaultCounts[] = {
    {"fail_every", &CameraFaults::failEvery},         {"corrupt_every", &CameraFaults::corruptEvery},
    {"truncate_every", &CameraFaults::truncateEvery}, {"stall_every", &CameraFaults::stallEvery},
    {"unplug_every", &CameraFaults::unplugEvery},     {"photo_fail_every", &CameraFaults::photoFailEvery},
};
const std::pair<const char *, std::chrono::milliseconds CameraFaults::*> kFaultDurations[] = {
    {"stall_ms", &CameraFaults::stall},
    {"unplug_ms", &CameraFaults::unplugged},
};

// Why the file at path, which does not read as a JPEG photo, is none.
std::string whyNoPhoto(const std::string &path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return "does not exist";
    if (std::filesystem::is_directory(path, error))
        return "is a folder, not a JPEG file";
    if (access(path.c_str(), R_OK) != 0)
        return "cannot be read (" + std::string(std::strerror(errno)) + ")";
    return "is not a JPEG file";
}

// The named scenes, as the scene key spells them.
const std::pair<const char *, SceneKind> kSceneNames[] = {
    {"page", SceneKind::Page},       {"book", SceneKind::Book},         {"idcard", SceneKind::IdCard},
    {"empty", SceneKind::EmptyDesk}, {"moving", SceneKind::MovingPage},
};

class Parser {
public:
    Parser(const std::string &text, const std::string &folder, CameraConfig &config)
        : m_folder(folder), m_config(config), m_reader(text, m_problems)
    {}

    // Returns the problems found, sorted by line.
    Problems run()
    {
        if (ini_parse_stream(&LineReader::read, &m_reader, &Parser::handle, this) < 0)
            m_problems.emplace_back(0, "the file could not be parsed");
        m_reader.finish();
        for (const LineReader::Line &section : m_reader.sections()) {
            // A camera's section makes the camera, even with no keys under it.
            const std::string name = lowered(section.text);
            int number = -1;
            if (cameraNumber(name, number))
                m_cameras.try_emplace(number, CameraConfig::defaultVirtualCamera(number));
            else if (name != "library" && name != "v4l2")
                m_problems.emplace_back(section.number, unknownSection(section.text));
        }
        // A photo sets the sizes a camera lists unless its section lists them itself.
        for (const auto &[number, size] : m_photoSizes)
            if (m_listedSizes.count(number) == 0)
                m_cameras[number].info.resolutions = PhotoScene::sizesFor(size);
        if (!m_cameras.empty()) {
            m_config.virtualCameras.clear();
            for (auto &entry : m_cameras)
                m_config.virtualCameras.push_back(entry.second);
        }
        std::stable_sort(m_problems.begin(), m_problems.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        return m_problems;
    }

private:
    static int handle(void *self, const char *section, const char *name, const char *value)
    {
        auto *parser = static_cast<Parser *>(self);
        parser->m_reader.keyFound();
        std::string problem = parser->apply(lowered(section), lowered(name), trimmed(value));
        if (problem.empty())
            return 1;
        ignoreLine(parser->m_problems, parser->m_reader.line(), problem);
        return 0;
    }

    static std::string unknownSection(const std::string &name)
    {
        return "unknown section [" + name + "] (expected [library], [v4l2] or [camera0] to [camera" +
               std::to_string(kMaxCameraNumber) + "]); it is ignored with its keys";
    }

    static bool cameraNumber(const std::string &section, int &number)
    {
        return section.compare(0, 6, "camera") == 0 && parseInt(section.substr(6), 10, 0, kMaxCameraNumber, number);
    }

    // Applies one setting; returns what is wrong with it, or an empty string. The keys of an unknown
    // section are left out without a word: its header is reported.
    std::string apply(const std::string &section, const std::string &name, const std::string &value)
    {
        if (section.empty())
            return "\"" + name + "\" stands before any [section]";
        if (section == "library")
            return applyLibrary(name, value);
        if (section == "v4l2")
            return applyV4l2(name, value);
        int number = -1;
        if (!cameraNumber(section, number))
            return {};
        auto found = m_cameras.try_emplace(number, CameraConfig::defaultVirtualCamera(number)).first;
        return applyCamera(number, found->second, name, value);
    }

    std::string applyLibrary(const std::string &name, const std::string &value)
    {
        if (name == "backend") {
            const std::string backend = lowered(value);
            if (backend == "auto")
                m_config.backend = Backend::Auto;
            else if (backend == "virtual")
                m_config.backend = Backend::Virtual;
            else if (backend == "v4l2")
                m_config.backend = Backend::V4l2;
            else
                return "backend must be auto, virtual or v4l2, not \"" + value + "\"";
            return {};
        }
        if (name == "frame_quality" || name == "photo_quality") {
            int &quality = name == "frame_quality" ? m_config.frameQuality : m_config.photoQuality;
            if (!parseInt(value, 10, 1, 100, quality))
                return name + " must be a whole number from 1 to 100, not \"" + value + "\"";
            return {};
        }
        return "unknown key \"" + name + "\" in [library]";
    }

    std::string applyV4l2(const std::string &name, const std::string &value)
    {
        V4l2Settings &v4l2 = m_config.v4l2;
        if (name == "power_line_frequency") {
            int hertz = 0;
            if (!parseInt(value, 10, 0, 60, hertz) || (hertz != 0 && hertz != 50 && hertz != 60))
                return "power_line_frequency must be 50, 60 or 0, not \"" + value + "\"";
            v4l2.powerLineFrequency = hertz;
            return {};
        }
        if (name == "drop_frames") {
            if (!parseInt(value, 10, 0, kMaxDroppedFrames, v4l2.framesToDrop))
                return "drop_frames must be a whole number from 0 to " + std::to_string(kMaxDroppedFrames) +
                       ", not \"" + value + "\"";
            return {};
        }
        if (name == "main_camera" || name == "aux_camera") {
            UsbId id;
            if (!parseUsbId(value, id))
                return name + " must be a USB id vvvv:pppp in hexadecimal, not \"" + value + "\"";
            (name == "main_camera" ? v4l2.mainCamera : v4l2.auxCamera) = id;
            return {};
        }
        return "unknown key \"" + name + "\" in [v4l2]";
    }

    std::string applyCamera(int number, VirtualCameraConfig &camera, const std::string &name, const std::string &value)
    {
        if (name == "name") {
            const bool printable =
                std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
            if (value.empty() || value.size() > kMaxNameLength || !printable)
                return "name must be 1 to " + std::to_string(kMaxNameLength) + " printable ASCII characters, not \"" +
                       value + "\"";
            camera.info.name = value;
            return {};
        }
        if (name == "vid" || name == "pid") {
            int &id = name == "vid" ? camera.info.vendorId : camera.info.productId;
            if (!parseId(value, id))
                return name + " must be a number from 0 to 0xffff (decimal, or hexadecimal after 0x), not \"" + value +
                       "\"";
            return {};
        }
        if (name == "resolutions") {
            std::string problem = applyResolutions(camera, value);
            if (problem.empty())
                m_listedSizes.insert(number);
            return problem;
        }
        if (name == "fps") {
            if (!parseInt(value, 10, 1, kMaxFps, camera.fps))
                return "fps must be a whole number from 1 to " + std::to_string(kMaxFps) + ", not \"" + value + "\"";
            return {};
        }
        if (name == "scene")
            return applyScene(number, camera.scene, value);
        if (name == "scene_interval") {
            int seconds = 0;
            if (!parseInt(value, 10, 1, kMaxSceneInterval, seconds))
                return "scene_interval must be a whole number of seconds from 1 to " +
                       std::to_string(kMaxSceneInterval) + ", not \"" + value + "\"";
            camera.scene.interval = std::chrono::seconds(seconds);
            return {};
        }
        if (std::string problem; applyFault(camera.faults, name, value, problem))
            return problem;
        return "unknown key \"" + name + "\" in a camera section";
    }

    // True when name is one of the fault keys, with what is wrong with its value in problem.
    static bool applyFault(CameraFaults &faults, const std::string &name, const std::string &value,
                           std::string &problem)
    {
        for (const auto &[key, count] : kFaultCounts) {
            if (name != key)
                continue;
            if (!parseInt(value, 10, 0, kMaxFaultEvery, faults.*count))
                problem = name + " must be a whole number from 0 (never) to " + std::to_string(kMaxFaultEvery) +
                          ", not \"" + value + "\"";
            return true;
        }
        for (const auto &[key, duration] : kFaultDurations) {
            if (name != key)
                continue;
            int milliseconds = 0;
            if (parseInt(value, 10, 1, kMaxFaultMilliseconds, milliseconds))
                faults.*duration = std::chrono::milliseconds(milliseconds);
            else
                problem = name + " must be a whole number of milliseconds from 1 to " +
                          std::to_string(kMaxFaultMilliseconds) + ", not \"" + value + "\"";
            return true;
        }
        return false;
    }

    std::string applyScene(int number, SceneConfig &scene, const std::string &value)
    {
        for (const auto &[sceneName, kind] : kSceneNames)
            if (lowered(value) == sceneName) {
                scene.kind = kind;
                scene.photos.clear();
                m_photoSizes.erase(number);
                return {};
            }
        const auto colon = value.find(':');
        const std::string kind = lowered(trimmed(value.substr(0, colon)));
        if (colon == std::string::npos || (kind != "photo" && kind != "folder"))
            return "scene must be page, book, idcard, empty, moving, photo:PATH or folder:PATH, not \"" + value + "\"";
        const std::string given = trimmed(value.substr(colon + 1));
        if (given.empty())
            return "scene " + kind + ": needs the path of a " +
                   (kind == "photo" ? "JPEG file" : "folder of JPEG files");
        std::error_code error;
        const std::string path =
            std::filesystem::absolute(std::filesystem::path(m_folder) / given, error).lexically_normal().string();
        std::vector<std::string> photos;
        if (kind == "photo") {
            photos.push_back(path);
        } else {
            if (!std::filesystem::exists(path, error))
                return "scene folder: " + given + " does not exist";
            if (!std::filesystem::is_directory(path, error))
                return "scene folder: " + given + " is not a folder";
            photos = PhotoScene::listFolder(path);
            if (photos.empty())
                return "scene folder: " + given + " holds no JPEG photos (*.jpg, *.jpeg)";
        }
        // The first photo that can be read sets the sizes; the others are read when their turn comes.
        for (const std::string &photo : photos) {
            Size size;
            if (PhotoScene::readSize(photo, size)) {
                scene.kind = kind == "photo" ? SceneKind::Photo : SceneKind::PhotoFolder;
                scene.photos = std::move(photos);
                m_photoSizes[number] = size;
                return {};
            }
        }
        if (kind == "photo")
            return "scene photo: " + given + " " + whyNoPhoto(path);
        return "scene folder: none of the JPEG photos in " + given + " can be read";
    }

    std::string applyResolutions(VirtualCameraConfig &camera, const std::string &value)
    {
        std::vector<Size> sizes;
        std::stringstream list(value);
        std::string item;
        while (std::getline(list, item, ',')) {
            item = trimmed(item);
            Size size;
            if (!parseSize(item, size))
                return "resolutions: \"" + item + "\" is not WIDTHXHEIGHT with sides from " + std::to_string(kMinSide) +
                       " to " + std::to_string(kMaxSide);
            if (std::find(sizes.begin(), sizes.end(), size) != sizes.end())
                return "resolutions: " + item + " is listed twice";
            sizes.push_back(size);
        }
        if (sizes.empty())
            return "resolutions must list at least one size, as in 1280X720, 640X480";
        camera.info.resolutions = std::move(sizes);
        return {};
    }

    const std::string m_folder;
    CameraConfig &m_config;
    Problems m_problems;
    LineReader m_reader;
    std::map<int, VirtualCameraConfig> m_cameras;
    std::set<int> m_listedSizes;       // cameras whose section lists their sizes
    std::map<int, Size> m_photoSizes;  // size of each photo scene's first photo
};

}  // namespace

std::vector<VirtualCameraConfig> CameraConfig::defaultVirtualCameras()
{
    return {defaultVirtualCamera(0), defaultVirtualCamera(1)};
}

VirtualCameraConfig CameraConfig::defaultVirtualCamera(int number)
{
    VirtualCameraConfig camera;
    camera.info.vendorId = kVendorId;
    camera.info.productId = kFirstProductId + number;
    if (number == 0) {
        camera.info.name = "Virtual Document Camera";
        camera.info.resolutions = {{3264, 2448}, {2592, 1944}, {1920, 1080}, {1280, 720}, {640, 480}};
    } else {
        camera.info.name = number == 1 ? "Virtual Auxiliary Camera" : "Virtual Camera " + std::to_string(number);
        camera.info.resolutions = {{1280, 720}, {640, 480}};
    }
    return camera;
}

CameraConfig CameraConfig::parse(const std::string &text, const std::string &sourceName, std::ostream &errors)
{
    CameraConfig config;
    const std::string folder = std::filesystem::path(sourceName).parent_path().string();
    for (const auto &[line, problem] : Parser(text, folder, config).run())
        errors << "QirmelLib: " << sourceName << ":" << line << ": " << problem << "\n";
    return config;
}

CameraConfig CameraConfig::load(const std::string &path, std::ostream &errors)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    if (file)
        text << file.rdbuf();
    if (!file || file.bad()) {
        errors << "QirmelLib: " << path << ": cannot be read (" << std::strerror(errno) << "); using the defaults\n";
        return CameraConfig();
    }
    return parse(text.str(), path, errors);
}

std::string executableDir()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string exe(path, static_cast<std::size_t>(length));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : exe.substr(0, slash);
}

std::string findConfigFile(const std::string &fileName, const std::string &exeDir)
{
    const auto isFile = [](const std::string &path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    };
    if (fileName.empty())
        return {};
    if (fileName[0] == '/')
        return isFile(fileName) ? fileName : std::string();
    if (isFile(fileName))
        return fileName;
    if (!exeDir.empty() && isFile(exeDir + "/" + fileName))
        return exeDir + "/" + fileName;
    return {};
}

}  // namespace qirmel
