// Any bytes as a texture map file: parsed, reduced into levels, and looked up
// under every filter and border with ordinary and hostile coordinates. Built
// also as fuzz_png and fuzz_jpeg (KX_FUZZ_ONLY set to Png or Jpeg), which keep
// only inputs that start like a file of that kind, so that their time goes
// to that decoder.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "surface/texture.h"
#include "surface/texture_formats.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Probe {
    float u, v, d;  // coordinates in texels, derivative in texels per pixel
};
constexpr Probe kProbes[] = {
    {0, 0, 0},      {0.5f, 0.5f, 1},  {3.7f, -2.2f, 0.25f}, {-1, -1, 4},   {1e6f, -1e6f, 16},
    {kNaN, 0, 1},   {0, kInf, 1},     {-kInf, kNaN, kNaN},  {2, 2, kInf}, {1e30f, 1e30f, 1e30f},
    {7, 9, 1e-30f}, {-3e9f, 5, 1e5f}, {64, 64, 2.5f},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#ifdef KX_FUZZ_ONLY
    if (kx::SniffImageFile(data, size) != kx::ImageFileKind::KX_FUZZ_ONLY) return -1;  // not kept
#endif
    kx::MapList maps;
    kx::TextureMap map;
    if (kx::ParseTextureData(data, size, "fuzz", map) != 0) return 0;
    maps.maps.push_back(std::move(map));
    maps.currentIndex = 0;
    const kx::MapBorderMode borders[] = {kx::MapBorderMode::None, kx::MapBorderMode::Clamp,
                                         kx::MapBorderMode::Repeat};
    const kx::MapFilter filters[] = {kx::MapFilter::Nearest, kx::MapFilter::Linear};
    float sink = 0;
    for (kx::MapBorderMode border : borders) {
        maps.uBorder = border;
        maps.vBorder = border;
        for (kx::MapFilter magnify : filters) {
            for (kx::MapFilter minify : filters) {
                maps.filter = magnify;
                maps.secondFilter = minify;
                for (int level : {-1, 0, 2}) {
                    maps.maxLevel = level;
                    for (const Probe& p : kProbes) {
                        kx::ColorRGB c = maps.lookup(p.u, p.v, p.d, 0, 0, p.d, kx::ColorRGB(0.5f, 0.5f, 0.5f));
                        sink += c.r + c.g + c.b;
                    }
                }
            }
        }
    }
    volatile float keep = sink;
    (void)keep;
    return 0;
}
