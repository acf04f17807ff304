// The texture maps of a run and the Map commands that load them, choose the
// current one and set how it is looked up.
#pragma once

#include <string>
#include <vector>

#include "core/math.h"
#include "core/paths.h"
#include "surface/texture_map.h"
#include "surface/texture_sampling.h"

namespace kx {

// A map type other than "texture" in Map, MapSample or MapBorder. The code
// has no message of its own.
constexpr int kErrMapType = -32;

class MapList {
public:
    static constexpr int kMaxMaps = 20;

    // Loads a map file under a label: 0, -28, -29, -30 (label in use or
    // "none") or -27 (list full). A relative name not found as given is
    // looked for in the scene file's folder. A file not found, or found but
    // not read as a map, is named on standard error before the error is
    // reported, with the folders tried and the system's reason.
    int MapLoad(const std::string& fileName, const std::string& label, const SceneFolder& folder = SceneFolder{});
    // Whether a map of the label is loaded from the file name, as written: a
    // MapLoad replayed from an object definition (instanced many times) then
    // takes it as it is loaded.
    bool holds(const std::string& fileName, const std::string& label) const;
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

    // Every map file MapLoad opened, under the name it opened, or looked for
    // and did not find, under each name it tried; once each. Kept by
    // releaseAll: what --watch watches after the run.
    std::vector<std::string> filesLooked;

private:
    void noteLooked(const std::string& name);
};

}  // namespace kx
