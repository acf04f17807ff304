// The direct engine's own state, kept by the run (shell/process.h) and
// handed to the engine: surface attributes, options, viewing matrices, the
// depth buffer and the pipeline's working buffers.
#pragma once

#include <memory>
#include <vector>

#include "core/large_pages.h"
#include "core/math.h"
#include "engines/direct/clip.h"
#include "engines/direct/depth_bounds.h"
#include "engines/direct/materials.h"
#include "engines/direct/scan_convert.h"
#include "engines/direct/span_kernels.h"
#include "engines/direct/vertex_layout.h"
#include "interface/frame_stats.h"
#include "surface/bezier_patch.h"
#include "surface/emission.h"

namespace kx {

class DisplayDevice;
class LightSet;
class MapList;
class PolygonBins;
class TransparentFragments;

struct DirectState {
    DirectState();
    ~DirectState();
    DirectState(DirectState&&) noexcept;
    DirectState& operator=(DirectState&&) noexcept;

    // ---- surface attributes and options ----
    int frame = 0;
    float hither = 1.0f, yon = 1.0e9f;
    ColorRGB color{1, 1, 1};
    float ka = 1, kd = 1, ks = 0;
    ColorRGB specularColor{1, 1, 1};
    int specularExponent = 10;
    Emission emission;  // Emit and Ke: added to what the shader lights
    float opacity = 1;  // Opacity, in 0..1 (transparent.h)
    ShaderFunction shader = ShadeMatte;
    bool interpolate = true;
    bool wireframe = false;
    bool doubleSided = false;
    bool control = false;
    ColorRGB controlColor{1, 1, 1};
    int divisions = 20;  // tessellation resolution of surfaces and curves
    int subdivisionLevel = 3;  // refinement of subdivision surfaces (SubdivisionLevelUsed)

    // ---- viewing, built by WorldBegin ----
    Matrix4 worldToScreen;
    Matrix4 screenToDevice;
    Point3 eye;  // the camera eye in force at WorldBegin
    bool started = false;

    // ---- raster: image size, depth buffer, span table ----
    int width = 0, height = 0;  // size the buffers were made for
    std::vector<float, LargePageAllocator<float>> depth;  // width * height, row-major
    DepthBounds depthBounds;    // over tiles of the depth buffer
    std::vector<int> spanTable; // one edge-list head per row, -1 when empty

    // ---- the run's lights and texture maps, as the shader functions read
    // them: linked by the engine that draws with this state, kept by reset() ----
    const LightSet* lights = nullptr;
    const MapList* maps = nullptr;

    // ---- pipeline ----
    VertexLayout input;   // the caller's vertex array
    VertexLayout layout;  // the pipeline vertices
    // The flat normal of the polygon submitted last: a PolySet face with
    // fewer than three usable vertices has none of its own and keeps it.
    FaceNormal lastFace;
    Vector3 shadingNormal{0, 0, 1};  // the face normal in world space, used by the shaders
    AttributeVertex polygon[kMaxPolygonVertices];
    int polygonCount = 0;
    AttributeVertex clipped[kMaxPolygonVertices];
    int clippedCount = 0;
    // The surface being tessellated, numbered from 1 (0: none); its
    // polygons share every attribute they are shaded with.
    uint64_t surface = 0;
    ClipPlane planes[6];
    EdgeRecord edges[kMaxPolygonVertices];
    ShadingLights shadingLights;
    // How spans of the four materials are shaded: the processor's widest
    // lanes unless a test chooses (span_kernels.h).
    SpanPath spanPath = FastestSpanPath();

    // ---- line state: the previous vertex, its boundary values, its outcode ----
    AttributeVertex linePrevious;
    float lineBounds[6] = {};
    int lineOutcode = 0;

    // ---- the fragment being shaded ----
    AttributeVertex fragment;
    float dudx = 0, dvdx = 0, dudy = 0, dvdy = 0;  // texture derivatives, texels per pixel

    BezierWork bezier;  // working storage of the curves and patches

    // ---- threads (OptionReal "Threads"): 0 one per usable CPU, 1 every polygon
    // filled at once on the parser's thread ----
    int threads = 0;
    // The polygons waiting for the threads, and the threads; none with one
    // thread (bins.h).
    std::unique_ptr<PolygonBins> bins;
    // The pixels of transparent surfaces, laid over the image far to near
    // when the world ends (transparent.h); none until the first.
    std::unique_ptr<TransparentFragments> transparent;
    // Fills the polygons waiting, and sets the depths when a clear waits for
    // the threads (clearDepth): whatever reads or writes the depth buffer,
    // or draws into the image itself, calls it first.
    void flushBins();
    // Fills the polygons waiting, and leaves a clear of the depths waiting
    // for the threads, with the next polygon: whatever shows the image or
    // changes what the threads read as they fill (the lights, the texture
    // maps, an option, the background) calls it first.
    void flushPolygons();
    // Makes the bins ready for an image of the buffers' size with the
    // threads asked for (without bins when the memory is refused).
    void prepareBins();

    // Back to program start (buffers released, links kept).
    void reset();
    // Links the shader functions to the run's lights and texture maps.
    void link(const LightSet& runLights, const MapList& runMaps);
    // (Re)creates the depth buffer (its depths unset until clearDepth) and
    // the span table for an image of the given size (nothing for a size
    // below 1). False when the memory cannot be had (the buffers are then
    // empty).
    bool allocateBuffers(int imageWidth, int imageHeight);
    void releaseBuffers();
    // Every depth back to the farthest (1): by the bins' threads when there
    // are any, as flushBins makes sure.
    void clearDepth();

    // Depth test at device (x, y): passes when the stored depth is strictly
    // greater than z. Fails outside the image.
    bool depthTest(float x, float y, float z) const;
    bool depthTestPixel(int x, int y, float z) const {
        return x >= 0 && y >= 0 && x < width && y < height && depth[static_cast<size_t>(y) * width + x] > z;
    }
    // Stores z and writes the clamped colour to dev at the pixel containing
    // device (x, y) (coordinates truncated toward zero), without a depth test.
    void plot(DisplayDevice& dev, float x, float y, float z, const ColorRGB& c);
    void plotPixel(DisplayDevice& dev, int x, int y, float z, const ColorRGB& c);
    // The same, only when 0 <= x < width and 0 <= y < height.
    void plotBounded(DisplayDevice& dev, float x, float y, float z, const ColorRGB& c);

    // Runs the current shader on the fragment, counted as a pixel shaded,
    // and adds the light the surface gives off (points and lines; polygons
    // add it in their span filler, scan_convert.cpp).
    ColorRGB shade(FrameStats& stats) const {
        stats.countPixelShaded();
        ColorRGB c;
        shader(*this, c);
        if (emission.emits()) c += emission.light();
        return c;
    }
};

}  // namespace kx
