#include "devicedescription.h"

#include <ini.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace fakev4l2 {

namespace {

bool parseBool(const std::string &value, bool &out)
{
    if (value == "yes" || value == "true" || value == "1")
        out = true;
    else if (value == "no" || value == "false" || value == "0")
        out = false;
    else
        return false;
    return true;
}

bool parseNumber(const std::string &value, long &out)
{
    char *end = nullptr;
    out = std::strtol(value.c_str(), &end, 10);
    return !value.empty() && *end == '\0' && out >= 0;
}

bool parseSizes(const std::string &value, std::vector<FrameSize> &out)
{
    std::istringstream words(value);
    std::string word;
    out.clear();
    while (words >> word) {
        FrameSize size;
        char x = 0;
        std::istringstream parts(word);
        if (!(parts >> size.width >> x >> size.height) || x != 'x' || size.width == 0 || size.height == 0 ||
            size.width % 2 != 0)
            return false;
        out.push_back(size);
    }
    return true;
}

bool parseKinds(const std::string &value, std::vector<BadKind> &out)
{
    std::istringstream words(value);
    std::string word;
    out.clear();
    while (words >> word) {
        if (word == "error")
            out.push_back(BadKind::Error);
        else if (word == "nosoi")
            out.push_back(BadKind::NoStart);
        else if (word == "noeoi")
            out.push_back(BadKind::NoEnd);
        else if (word == "truncated")
            out.push_back(BadKind::Truncated);
        else
            return false;
    }
    return !out.empty();
}

bool apply(DeviceDescription &description, const std::string &key, const std::string &value)
{
    long number = 0;
    if (key == "card")
        description.card = value;
    else if (key == "mjpg")
        return parseSizes(value, description.mjpg);
    else if (key == "yuyv")
        return parseSizes(value, description.yuyv);
    else if (key == "metadata")
        return parseBool(value, description.metadata);
    else if (key == "huffman")
        return parseBool(value, description.huffman);
    else if (key == "power_line")
        return parseBool(value, description.powerLine);
    else if (key == "bad_kinds")
        return parseKinds(value, description.badKinds);
    else if (!parseNumber(value, number))
        return false;
    else if (key == "fps")
        description.fps = static_cast<int>(number);
    else if (key == "bad_every")
        description.badEvery = static_cast<int>(number);
    else if (key == "unplug_after")
        description.unplugAfter = number;
    else if (key == "replug_after_ms")
        description.replugAfterMs = static_cast<int>(number);
    else
        return false;
    return true;
}

int handle(void *user, const char *section, const char *key, const char *value)
{
    auto &descriptions = *static_cast<std::vector<DeviceDescription> *>(user);
    if (std::strncmp(section, "video", 5) != 0)
        return 0;
    if (descriptions.empty() || descriptions.back().node != section) {
        descriptions.emplace_back();
        descriptions.back().node = section;
    }
    return apply(descriptions.back(), key, value) ? 1 : 0;
}

}  // namespace

int parseDeviceDescriptions(const char *ini, std::vector<DeviceDescription> &descriptions)
{
    descriptions.clear();
    return ini_parse_string(ini, &handle, &descriptions);
}

}  // namespace fakev4l2
