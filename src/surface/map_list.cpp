#include "surface/map_list.h"

#include <cstdio>
#include <cstring>

#include "core/errors.h"
#include "core/printable.h"
#include "surface/texture_load.h"

namespace kx {

namespace {

bool parseFilter(const std::string& s, MapFilter& out) {
    if (s == "nearest") out = MapFilter::Nearest;
    else if (s == "linear") out = MapFilter::Linear;
    else return false;
    return true;
}

bool parseBorder(const std::string& s, MapBorderMode& out) {
    if (s == "none") out = MapBorderMode::None;
    else if (s == "clamp") out = MapBorderMode::Clamp;
    else if (s == "repeat") out = MapBorderMode::Repeat;
    else return false;
    return true;
}

// Stores each of two named settings that is valid; failCode if either is not.
template <typename T>
int setPair(bool (*parse)(const std::string&, T&), const std::string& a, T& outA, const std::string& b,
            T& outB, int failCode) {
    const bool okA = parse(a, outA);
    const bool okB = parse(b, outB);
    return okA && okB ? kOk : failCode;
}

const char* const kMapType = "texture";

// One line on standard error, before the error report, which names no file.
void Note(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

int MapList::MapLoad(const std::string& fileName, const std::string& label, const SceneFolder& folder) {
    if (maps.size() >= static_cast<size_t>(kMaxMaps)) return kErrMapListOverflow;
    if (label == "none") return kErrMapLabel;
    for (const TextureMap& m : maps)
        if (m.label == label) return kErrMapLabel;
    TextureMap map;
    std::string opened = fileName;
    int why = 0, whyOther = 0;  // the system's reasons, from each try
    int rc = LoadTextureFile(fileName, label, map, &why);
    // "brick.ppm" named by "scenes/room.kx" is also "scenes/brick.ppm"; a
    // name found as given keeps its meaning.
    const std::string other = folder.alternative(fileName);
    if (rc == kErrMapFileNotFound && !other.empty()) {
        opened = other;
        rc = LoadTextureFile(other, label, map, &whyOther);
    }
    noteLooked(rc == kErrMapFileNotFound ? fileName : opened);
    if (rc == kErrMapFileNotFound && !other.empty()) noteLooked(other);
    if (rc == kErrMapFileNotFound) {
        std::string line = "cannot open map file \"" + PrintableName(fileName) + "\"";
        if (!fileName.empty() && fileName[0] != '/') line += ": looked in .";
        if (!other.empty() && whyOther != why)
            line += std::string(" (") + std::strerror(why) + ") and " + PrintableName(folder.path) + " (" +
                    std::strerror(whyOther) + ")";
        else
            line += (other.empty() ? "" : " and " + PrintableName(folder.path)) + ": " + std::strerror(why);
        Note(line + "\n");
    } else if (rc == kErrMapFormat) {
        const int reason = opened == fileName ? why : whyOther;
        Note("cannot read map file \"" + PrintableName(opened) + "\"" +
             (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string()) + "\n");
    }
    if (rc != kOk) return rc;
    map.file = fileName;
    maps.reserve(kMaxMaps);  // the current map never moves
    maps.push_back(std::move(map));
    return kOk;
}

void MapList::noteLooked(const std::string& name) {
    for (const std::string& f : filesLooked)
        if (f == name) return;
    filesLooked.push_back(name);
}

bool MapList::holds(const std::string& fileName, const std::string& label) const {
    for (const TextureMap& m : maps)
        if (m.label == label && m.file == fileName) return true;
    return false;
}

int MapList::Map(const std::string& type, const std::string& label) {
    if (type != kMapType) return kErrMapType;
    currentIndex = -1;
    if (label == "none") return kOk;
    for (size_t i = 0; i < maps.size(); ++i) {
        if (maps[i].label == label) {
            currentIndex = static_cast<int>(i);
            return kOk;
        }
    }
    return kErrMapNotFound;
}

int MapList::MapSample(const std::string& type, const std::string& first, const std::string& second) {
    if (type != kMapType) return kErrMapType;
    return setPair(parseFilter, first, filter, second, secondFilter, kErrMapInterpolation);
}

int MapList::MapBorder(const std::string& type, const std::string& u, const std::string& v) {
    if (type != kMapType) return kErrMapType;
    return setPair(parseBorder, u, uBorder, v, vBorder, kErrMapBorder);
}

int MapList::MapBound(const std::string& type, float umin_, float vmin_, float umax, float vmax) {
    if (type != kMapType) return kOk;
    umin = umin_;
    vmin = vmin_;
    du = umax - umin_;
    dv = vmax - vmin_;
    return kOk;
}

ColorRGB MapList::lookup(float u, float v, float dudx, float dudy, float dvdx, float dvdy,
                         const ColorRGB& currentColor) const {
    if (currentIndex < 0) return currentColor;
    return SampleTexture(maps[static_cast<size_t>(currentIndex)], sampling(), u, v, dudx, dudy, dvdx, dvdy,
                         currentColor);
}

TextureSampling MapList::sampling() const {
    TextureSampling s;
    s.uBorder = uBorder;
    s.vBorder = vBorder;
    s.filter = filter;
    s.maxLevel = maxLevel;
    return s;
}

void MapList::releaseAll() {
    maps.clear();
    currentIndex = -1;
}

void MapList::reset() { *this = MapList{}; }

}  // namespace kx
