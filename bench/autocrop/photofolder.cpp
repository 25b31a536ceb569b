#include "photofolder.h"

#include "crop/documentwarper.h"
#include "crop/photocropper.h"
#include "jaccardindex.h"
#include "livecropdecoder.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace {

std::vector<std::string> splitCsv(const std::string &line)
{
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, ','))
        fields.push_back(field);
    if (!line.empty() && line.back() == ',')
        fields.emplace_back();
    return fields;
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\"");
    const auto last = text.find_last_not_of(" \t\r\"");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

bool PhotoFolder::score(const std::string &folder)
{
    std::ifstream truth(folder + "/truth.csv");
    if (!truth) {
        std::fprintf(stderr, "cannot read %s/truth.csv\n", folder.c_str());
        return false;
    }
    LiveCropDecoder decoder;
    const qirmel::PhotoCropper cropper;
    double sum = 0;
    int withDocument = 0;
    int falseCrops = 0;
    int empty = 0;
    std::string line;
    while (std::getline(truth, line)) {
        std::vector<std::string> fields = splitCsv(line);
        for (std::string &f : fields)
            f = trimmed(f);
        if (fields.empty() || fields[0].empty() || fields[0] == "file")
            continue;
        std::ifstream file(folder + "/" + fields[0], std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                               std::istreambuf_iterator<char>());
        const cv::Mat photo = decoder.decodeBgr(bytes);
        if (photo.empty()) {
            std::printf("%-40s cannot decode\n", fields[0].c_str());
            continue;
        }
        const std::optional<qirmel::Quad> found = cropper.locate(photo, std::nullopt, cv::Size());
        const bool hasTruth = fields.size() >= 9 && !fields[1].empty();
        if (!hasTruth) {
            ++empty;
            falseCrops += found.has_value();
            std::printf("%-40s no document: %s\n", fields[0].c_str(), found ? "WRONGLY CROPPED" : "whole frame");
            continue;
        }
        std::array<cv::Point2f, 4> corners;
        for (int i = 0; i < 4; ++i)
            corners[i] = cv::Point2f(std::stof(fields[1 + 2 * i]), std::stof(fields[2 + 2 * i]));
        const qirmel::Quad truthQuad(corners);
        const double index =
            JaccardIndex::score(truthQuad, qirmel::DocumentWarper::aspectRatio(truthQuad, photo.size()), found);
        sum += index;
        ++withDocument;
        std::printf("%-40s %.4f%s\n", fields[0].c_str(), index, found ? "" : " (missed)");
    }
    std::printf("mean Jaccard index over %d photos with a document: %.4f\n", withDocument,
                withDocument ? sum / withDocument : 0.0);
    std::printf("false crops on %d photos without a document: %d\n", empty, falseCrops);
    return true;
}
