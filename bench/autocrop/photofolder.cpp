#include "photofolder.h"

#include "categorystats.h"
#include "crop/documentwarper.h"
#include "crop/photocropper.h"
#include "framedump.h"
#include "jaccardindex.h"
#include "jpegdecoder.h"
#include "threadclock.h"

#include <opencv2/core/utility.hpp>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

namespace {

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\"");
    const auto last = text.find_last_not_of(" \t\r\"");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::vector<std::string> splitCsv(const std::string &line)
{
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, ','))
        fields.push_back(trimmed(field));
    if (!line.empty() && line.back() == ',')
        fields.emplace_back();
    return fields;
}

// file -> category from categories.csv; empty when the folder has none.
std::map<std::string, std::string> readCategories(const std::string &folder)
{
    std::map<std::string, std::string> categories;
    std::ifstream csv(folder + "/categories.csv");
    std::string line;
    while (std::getline(csv, line)) {
        const std::vector<std::string> fields = splitCsv(line);
        if (fields.size() >= 2 && !fields[0].empty() && fields[0] != "file")
            categories[fields[0]] = fields[1];
    }
    return categories;
}

}  // namespace

bool PhotoFolder::score(const std::string &folder, const std::string &dump)
{
    std::ifstream truth(folder + "/truth.csv");
    if (!truth) {
        std::fprintf(stderr, "cannot read %s/truth.csv\n", folder.c_str());
        return false;
    }
    // Per core, as the library's frame thread runs it.
    cv::setNumThreads(1);
    const std::map<std::string, std::string> categories = readCategories(folder);
    JpegDecoder decoder;
    const qirmel::PhotoCropper cropper;
    CategoryStats stats;
    std::map<std::string, std::pair<int, int>> falseCrops;  // category -> (cropped, empty desks)
    std::vector<double> times;
    std::string line;
    while (std::getline(truth, line)) {
        const std::vector<std::string> fields = splitCsv(line);
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
        const auto category = categories.find(fields[0]);
        const std::string kind = category == categories.end() ? "" : category->second;
        const double start = threadMilliseconds();
        const std::optional<qirmel::Quad> found = cropper.locate(photo, std::nullopt, cv::Size());
        times.push_back(threadMilliseconds() - start);
        if (fields.size() < 9 || fields[1].empty()) {
            auto &[cropped, empty] = falseCrops[kind.empty() ? "all" : kind];
            cropped += found.has_value();
            ++empty;
            if (!dump.empty() && found)
                FrameDump::save(dump, fields[0], photo, std::nullopt, found);
            std::printf("%-40s %-16s no document: %s\n", fields[0].c_str(), kind.c_str(),
                        found ? "WRONGLY CROPPED" : "whole frame");
            continue;
        }
        std::array<cv::Point2f, 4> corners;
        for (int i = 0; i < 4; ++i)
            corners[i] = cv::Point2f(std::stof(fields[1 + 2 * i]), std::stof(fields[2 + 2 * i]));
        const qirmel::Quad truthQuad(corners);
        const double index =
            JaccardIndex::score(truthQuad, qirmel::DocumentWarper::aspectRatio(truthQuad, photo.size()), found);
        if (!dump.empty() && index < 0.95)
            FrameDump::save(dump, fields[0], photo, truthQuad, found);
        stats.add("all", index);
        if (!kind.empty())
            stats.add(kind, index);
        std::printf("%-40s %-16s %.4f%s\n", fields[0].c_str(), kind.c_str(), index, found ? "" : " (missed)");
    }
    std::printf("\nJaccard index by category (a miss scores 0)\n");
    stats.print();
    int cropped = 0;
    int empty = 0;
    std::printf("\nFalse crops on photos without a document\n");
    for (const auto &[kind, counts] : falseCrops) {
        std::printf("  %-22s %3d of %3d\n", kind.c_str(), counts.first, counts.second);
        cropped += counts.first;
        empty += counts.second;
    }
    std::printf("  %-22s %3d of %3d\n", "all", cropped, empty);
    std::printf("\nDetection per photo, CPU time of one thread: p50 %.2f ms   p95 %.2f ms   (n=%zu)\n",
                CategoryStats::quantile(times, 0.5), CategoryStats::quantile(times, 0.95), times.size());
    return true;
}
