// Helpers shared by the camera library's tests: temporary folders and JPEG checks that do not go
// through the library's own codec.
#ifndef QIRMEL_TESTSUPPORT_H
#define QIRMEL_TESTSUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace qirmeltest {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder &) = delete;
    TemporaryFolder &operator=(const TemporaryFolder &) = delete;

    const std::string &path() const { return m_path; }
    std::string file(const std::string &name) const { return m_path + "/" + name; }
    // The names in the folder, hidden ones included, sorted.
    std::vector<std::string> entries() const;

private:
    std::string m_path;
};

struct JpegInfo {
    bool valid = false;
    int width = 0;
    int height = 0;
};

// Reads the header of, and fully decodes, a JPEG image with TurboJPEG; valid only if both succeed.
JpegInfo inspectJpeg(const std::uint8_t *data, std::size_t length);
JpegInfo inspectJpeg(const std::vector<std::uint8_t> &data);
JpegInfo inspectJpegFile(const std::string &path);

// Decodes a JPEG image to packed RGB; empty on failure.
std::vector<std::uint8_t> decodeJpeg(const std::vector<std::uint8_t> &data, int &width, int &height);

// Encodes packed RGB with TurboJPEG, for frames that scripted cameras deliver.
std::vector<std::uint8_t> encodeJpeg(const std::vector<std::uint8_t> &rgb, int width, int height, int quality,
                                     bool fullChroma = false);

// The JPEG with its picture data damaged as a camera's transfer damages it, headers kept: from the
// middle on overwritten short of the end marker (never with a marker's 0xff), or with cutOff, its last
// third cut away. The picture data must take more than half of jpeg, as noise frames' does.
std::vector<std::uint8_t> damageJpeg(std::vector<std::uint8_t> jpeg, bool cutOff);

std::vector<std::uint8_t> readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &content);

}  // namespace qirmeltest

#endif  // QIRMEL_TESTSUPPORT_H
