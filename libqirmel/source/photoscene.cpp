#include "source/photoscene.h"

#include "pipeline/jpegcodec.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace qirmel {

namespace {

constexpr int kMaxSide = 8192;
constexpr int kMinListedWidth = 320;
constexpr std::size_t kMaxListedSizes = 4;

// The file's bytes; empty when it is no regular file or cannot be read. Reads through istream::read,
// which reports a failing read in the stream's state where a stream buffer iterator would throw.
std::vector<std::uint8_t> readFile(const std::string &path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || !std::filesystem::is_regular_file(path, error))
        return {};
    std::vector<std::uint8_t> data(size);
    std::ifstream file(path, std::ios::binary);
    if (!file.read(reinterpret_cast<char *>(data.data()), static_cast<std::streamsize>(data.size())))
        return {};
    return data;
}

bool isJpegName(const std::filesystem::path &path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".jpg" || extension == ".jpeg";
}

}  // namespace

PhotoScene::PhotoScene(std::vector<std::string> photos) : m_photos(std::move(photos)) {}

int PhotoScene::stillCount() const
{
    return std::max(1, static_cast<int>(m_photos.size()));
}

cv::Mat PhotoScene::render(int index, Size size) const
{
    if (index < 0 || index >= static_cast<int>(m_photos.size()) || size.area() <= 0)
        return cv::Mat();
    const std::vector<std::uint8_t> data = readFile(m_photos[static_cast<std::size_t>(index)]);
    JpegCodec codec;
    Size photo;
    if (!codec.readSize(data.data(), data.size(), photo))
        return cv::Mat();
    const double scale = std::min(double(size.width) / photo.width, double(size.height) / photo.height);
    const Size fitted{std::clamp(static_cast<int>(std::lround(photo.width * scale)), 1, size.width),
                      std::clamp(static_cast<int>(std::lround(photo.height * scale)), 1, size.height)};
    // A large photo shown small is decoded small already, which saves most of the decoding.
    Frame decoded;
    if (!codec.decode(data.data(), data.size(), decoded, fitted))
        return cv::Mat();
    const cv::Mat pixels(decoded.size.height, decoded.size.width, CV_8UC3, decoded.data.data());
    cv::Mat scaled;
    cv::resize(pixels, scaled, cv::Size(fitted.width, fitted.height), 0, 0,
               fitted.width < decoded.size.width ? cv::INTER_AREA : cv::INTER_LINEAR);
    const int left = (size.width - fitted.width) / 2;
    const int top = (size.height - fitted.height) / 2;
    cv::Mat still;
    cv::copyMakeBorder(scaled, still, top, size.height - fitted.height - top, left, size.width - fitted.width - left,
                       cv::BORDER_REPLICATE);
    return still;
}

bool PhotoScene::readSize(const std::string &path, Size &size)
{
    const std::vector<std::uint8_t> data = readFile(path);
    return JpegCodec().readSize(data.data(), data.size(), size) && size.area() > 0;
}

std::vector<std::string> PhotoScene::listFolder(const std::string &folder)
{
    std::vector<std::string> photos;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error))
        if (isJpegName(entry.path()) && entry.is_regular_file(error))
            photos.push_back(entry.path().string());
    std::sort(photos.begin(), photos.end());
    return photos;
}

std::vector<Size> PhotoScene::sizesFor(Size photo)
{
    while (photo.width > kMaxSide || photo.height > kMaxSide)
        photo = Size{std::max(1, photo.width / 2), std::max(1, photo.height / 2)};
    std::vector<Size> sizes{photo};
    for (Size half{photo.width / 2, photo.height / 2};
         sizes.size() < kMaxListedSizes && half.width >= kMinListedWidth && half.height > 0;
         half = Size{half.width / 2, half.height / 2})
        sizes.push_back(half);
    return sizes;
}

}  // namespace qirmel
