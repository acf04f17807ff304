// Texture maps: PNM, PNG and JPEG files loaded under labels, each with a
// chain of area-averaged reduced levels, and the filtered lookup used by the
// "painted plastic" material.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/math.h"

namespace kx {

// A map type other than "texture" in Map, MapSample or MapBorder. The code
// has no message of its own.
constexpr int kErrMapType = -32;

// Limits on what a map file may claim. Larger files or images are treated as
// unrecognized rather than read.
constexpr size_t kMaxMapFileBytes = size_t{1} << 30;
constexpr uint64_t kMaxMapPixels = uint64_t{1} << 28;

struct TextureLevel {
    std::vector<uint8_t> red, green, blue;  // width * height each, row 0 = bottom row of the image
    int width = 0;
    int height = 0;
};

struct TextureMap {
    std::vector<TextureLevel> levels;
    std::string label;
    int levelCount() const { return static_cast<int>(levels.size()); }
};

enum class MapBorderMode { None = 0, Clamp = 1, Repeat = 2 };
enum class MapFilter { Nearest = 0, Linear = 1 };

// How a map is looked up: the filter, the border of each axis and the
// level limit (option "MaxTextureLevel", -1 for none).
struct TextureSampling {
    MapBorderMode uBorder = MapBorderMode::Clamp, vBorder = MapBorderMode::Clamp;
    MapFilter filter = MapFilter::Nearest;
    int maxLevel = -1;
};

// Lookup in a map: u, v in level-0 texel units, derivatives in texels per
// pixel (the level is chosen from the largest). Components 0..1; texels
// outside a "none" border, and every lookup in a map without levels, show
// currentColor. Any float is accepted (NaN and infinities included).
ColorRGB SampleTexture(const TextureMap& map, const TextureSampling& sampling, float u, float v, float dudx,
                       float dudy, float dvdx, float dvdy, const ColorRGB& currentColor);

class MapList {
public:
    static constexpr int kMaxMaps = 20;

    int MapLoad(const std::string& fileName, const std::string& label);
    int Map(const std::string& type, const std::string& label);
    int MapSample(const std::string& type, const std::string& first, const std::string& second);
    int MapBorder(const std::string& type, const std::string& u, const std::string& v);
    int MapBound(const std::string& type, float umin, float vmin, float umax, float vmax);

    // The current map, or null when none is current.
    const TextureMap* current() const { return currentIndex >= 0 ? &maps[currentIndex] : nullptr; }
    // Lookup in the current map (which must exist): u, v in level-0 texel
    // units, derivatives in texels per pixel. Components 0..1; texels outside
    // a "none" border show currentColor. Any float is accepted (NaN and
    // infinities included). Without a current map the result is currentColor.
    ColorRGB lookup(float u, float v, float dudx, float dudy, float dvdx, float dvdy,
                    const ColorRGB& currentColor) const;
    // The current filter, borders and level limit.
    TextureSampling sampling() const;

    // Releases every map (the engine's End); no map is current afterwards.
    // The sample, border and bound settings stay.
    void releaseAll();
    // Back to program start.
    void reset();

    std::vector<TextureMap> maps;  // the loaded maps, at most kMaxMaps
    int currentIndex = -1;
    MapBorderMode uBorder = MapBorderMode::Clamp, vBorder = MapBorderMode::Clamp;
    MapFilter filter = MapFilter::Nearest;
    MapFilter secondFilter = MapFilter::Nearest;
    float umin = 0, vmin = 0, du = 1, dv = 1;  // MapBound: origin and extent
    int maxLevel = -1;                         // option "MaxTextureLevel"; -1 no limit
    // The folder of the scene file ("" for standard input): a map file name
    // that is not found as given is looked up there too.
    std::string sceneFolder;
};

// Loads one PNM, PNG or JPEG file (told apart by their first bytes) into a
// map (levels and label). 0, -28 or -29.
int LoadTextureFile(const std::string& fileName, const std::string& label, TextureMap& out);

// The same from the bytes of a file already read. 0 or -29; out is left
// empty on failure.
int ParseTextureData(const uint8_t* data, size_t size, const std::string& label, TextureMap& out);

// Builds levels 1 .. count-1 of a map whose level 0 is filled in; the count
// is the number of binary digits of min(width, height) of level 0.
void BuildTextureLevels(TextureMap& map);

// The process-wide map list of the direct engine.
MapList& mapList();

}  // namespace kx
