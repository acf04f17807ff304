#include "engines/direct/direct_state.h"

#include <algorithm>
#include <new>

#include "core/limits.h"
#include "core/threads.h"
#include "display/display.h"
#include "engines/direct/bins.h"
#include "engines/direct/transparent.h"

namespace kx {

DirectState::DirectState() = default;
DirectState::~DirectState() = default;
DirectState::DirectState(DirectState&&) noexcept = default;
DirectState& DirectState::operator=(DirectState&&) noexcept = default;

void DirectState::flushBins() {
    if (bins) bins->flush();
}

void DirectState::flushPolygons() {
    if (bins) bins->flushPolygons();
}

void DirectState::prepareBins() {
    // By default one per CPU the process may use.
    const int n = ThreadsFor(threads, kDirectMaxThreads);
    if (bins && (n < 2 || bins->threads() != n)) bins.reset();
    if (n < 2 || width == 0 || height == 0) return;
    // Memory refused for the bins leaves every polygon to this thread.
    try {
        if (!bins) bins = std::make_unique<PolygonBins>();
    } catch (const std::bad_alloc&) {
        return;
    }
    bins->prepare(n, *this, width, height);
}

void DirectState::reset() {
    bins.reset();
    releaseBuffers();
    const LightSet* linkedLights = lights;
    const MapList* linkedMaps = maps;
    *this = DirectState();
    lights = linkedLights;
    maps = linkedMaps;
}

void DirectState::link(const LightSet& runLights, const MapList& runMaps) {
    lights = &runLights;
    maps = &runMaps;
}

bool DirectState::allocateBuffers(int imageWidth, int imageHeight) {
    // No polygon left waiting for the buffers; a clear of the depths still
    // waiting holds for buffers kept, and goes with buffers released.
    flushPolygons();
    int w = imageWidth > 0 ? imageWidth : 0;
    int h = imageHeight > 0 ? imageHeight : 0;
    if (w == 0 || h == 0) w = h = 0;
    // Buffers of the same size are filled again where they are: their pages
    // are already mapped.
    if (w != width || h != height) releaseBuffers();
    // Checked before asking: a sanitized build ends the process on an
    // impossible request instead of throwing.
    if (static_cast<long long>(w) * h > kMaxImagePixels) return false;
    try {
        // Set by clearDepth when a world begins, before anything is drawn.
        depth.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
        depthBounds.allocate(w, h, 1.0f);
        spanTable.assign(static_cast<size_t>(h), -1);
    } catch (const std::bad_alloc&) {
        releaseBuffers();
        return false;
    } catch (const std::length_error&) {
        releaseBuffers();
        return false;
    }
    width = w;
    height = h;
    return true;
}

void DirectState::clearDepth() {
    flushPolygons();  // what was drawn before goes first; a clear waiting is replaced
    if (transparent) transparent->clear();  // drawn at the end of their world
    depthBounds.clear(1.0f);
    if (bins && bins->clearDepth(depth.data(), width, height, 1.0f)) return;
    std::fill(depth.begin(), depth.end(), 1.0f);
}

void DirectState::releaseBuffers() {
    // The polygons waiting are filled; depths waiting to be set are not,
    // as the buffer goes.
    if (bins) bins->dropDepthClear();
    flushBins();
    if (transparent) transparent->clear();
    depth.clear();
    depth.shrink_to_fit();
    depthBounds.release();
    spanTable.clear();
    spanTable.shrink_to_fit();
    width = height = 0;
}

bool DirectState::depthTest(float x, float y, float z) const {
    // Truncation toward zero keeps (-1, 0) in column 0; anything outside the
    // image (or NaN) fails before it is converted.
    if (!(x > -1.0f && y > -1.0f && x < static_cast<float>(width) && y < static_cast<float>(height))) return false;
    return depthTestPixel(static_cast<int>(x), static_cast<int>(y), z);
}

void DirectState::plotPixel(DisplayDevice& dev, int x, int y, float z, const ColorRGB& c) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    depth[static_cast<size_t>(y) * width + x] = z;
    depthBounds.raise(x, y, z);
    dev.WritePixel(x, y, ClampColor(c));
}

void DirectState::plot(DisplayDevice& dev, float x, float y, float z, const ColorRGB& c) {
    if (!(x > -1.0f && y > -1.0f && x < static_cast<float>(width) && y < static_cast<float>(height))) return;
    plotPixel(dev, static_cast<int>(x), static_cast<int>(y), z, c);
}

void DirectState::plotBounded(DisplayDevice& dev, float x, float y, float z, const ColorRGB& c) {
    if (!(x >= 0 && y >= 0 && x < static_cast<float>(width) && y < static_cast<float>(height))) return;
    plotPixel(dev, static_cast<int>(x), static_cast<int>(y), z, c);
}

}  // namespace kx
