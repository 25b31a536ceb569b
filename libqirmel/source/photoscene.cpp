#include "source/photoscene.h"

#include "core/jpegcodec.h"

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

bool PhotoScene::canRender(int index) const
{
    Size size;
    return index >= 0 && index < static_cast<int>(m_photos.size()) &&
           readSize(m_photos[static_cast<std::size_t>(index)], size);
}

cv::Mat PhotoScene::renderStill(int index, Size size, const std::function<bool()> &stopAsked) const
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
    if (!codec.decode(data.data(), data.size(), decoded, fitted) || (stopAsked && stopAsked()))
        return cv::Mat();
    const cv::Mat pixels(decoded.size.height, decoded.size.width, CV_8UC3, decoded.data.data());
    cv::Mat still;
    cv::resize(pixels, still, cv::Size(fitted.width, fitted.height), 0, 0,
               fitted.width < decoded.size.width ? cv::INTER_AREA : cv::INTER_LINEAR);
    if (fitted == size)
        return still;
    // Around a photo of another shape: its outermost pixels drawn out to the frame's edges and blurred
    // along the photo's side, so that the frame looks calm and the photo's border leaves no straight
    // edge that could pass for a document's. Blurred at an eighth of the size, as it has no detail.
    const int left = (size.width - fitted.width) / 2;
    const int top = (size.height - fitted.height) / 2;
    cv::Mat framed;
    cv::copyMakeBorder(still, framed, top, size.height - fitted.height - top, left, size.width - fitted.width - left,
                       cv::BORDER_REPLICATE);
    cv::Mat coarse;
    cv::resize(framed, coarse, cv::Size(std::max(1, size.width / 8), std::max(1, size.height / 8)), 0, 0,
               cv::INTER_AREA);
    const bool sideBars = fitted.width < size.width;
    const double along = (sideBars ? coarse.rows : coarse.cols) / 12.0;
    cv::GaussianBlur(coarse, coarse, cv::Size(), sideBars ? 0.5 : along, sideBars ? along : 0.5, cv::BORDER_REPLICATE);
    cv::resize(coarse, framed, cv::Size(size.width, size.height), 0, 0, cv::INTER_LINEAR);
    still.copyTo(framed(cv::Rect(left, top, fitted.width, fitted.height)));
    return framed;
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
