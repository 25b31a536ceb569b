#include "testsupport.h"

#include <turbojpeg.h>

#include <stdlib.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qirmeltest {

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "qirmel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> TemporaryFolder::entries() const
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(m_path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

JpegInfo inspectJpeg(const std::uint8_t *data, std::size_t length)
{
    JpegInfo info;
    info.valid = !decodeJpeg(std::vector<std::uint8_t>(data, data + length), info.width, info.height).empty();
    return info;
}

JpegInfo inspectJpeg(const std::vector<std::uint8_t> &data)
{
    return inspectJpeg(data.data(), data.size());
}

JpegInfo inspectJpegFile(const std::string &path)
{
    return inspectJpeg(readFile(path));
}

std::vector<std::uint8_t> decodeJpeg(const std::vector<std::uint8_t> &data, int &width, int &height)
{
    std::vector<std::uint8_t> pixels;
    tjhandle handle = tjInitDecompress();
    int subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle, data.data(), data.size(), &width, &height, &subsampling, &colorspace) == 0) {
        pixels.resize(static_cast<std::size_t>(width) * height * 3);
        if (tjDecompress2(handle, data.data(), data.size(), pixels.data(), width, 0, height, TJPF_RGB, 0) != 0)
            pixels.clear();
    }
    tjDestroy(handle);
    return pixels;
}

std::vector<std::uint8_t> encodeJpeg(const std::vector<std::uint8_t> &rgb, int width, int height, int quality,
                                     bool fullChroma)
{
    tjhandle handle = tjInitCompress();
    unsigned char *buffer = nullptr;
    unsigned long length = 0;
    std::vector<std::uint8_t> jpeg;
    if (tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &buffer, &length,
                    fullChroma ? TJSAMP_444 : TJSAMP_420, quality, 0) == 0)
        jpeg.assign(buffer, buffer + length);
    tjFree(buffer);
    tjDestroy(handle);
    return jpeg;
}

std::vector<std::uint8_t> damageJpeg(std::vector<std::uint8_t> jpeg, bool cutOff)
{
    if (cutOff) {
        jpeg.resize(jpeg.size() * 2 / 3);
        return jpeg;
    }
    for (std::size_t i = jpeg.size() / 2; i + 2 < jpeg.size(); ++i)
        jpeg[i] = static_cast<std::uint8_t>(i * 37 % 0xff);
    return jpeg;
}

std::vector<std::uint8_t> readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary) << content;
}

}  // namespace qirmeltest
