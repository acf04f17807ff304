// The ray tracing engine's own state: the scene being collected, the surface
// attributes of the objects to come, the options, the texture maps and the
// camera of the world being traced.
#pragma once

#include "core/limits.h"
#include "core/math.h"
#include "engines/raytrace/bounding_tree.h"
#include "engines/raytrace/surface.h"
#include "surface/bezier_patch.h"
#include "surface/emission.h"
#include "surface/texture.h"

namespace kx {

// The ray tracer's own state, kept by the run (shell/process.h) and handed to
// the engine. Attributes, background, options and camera persist across
// world blocks; the scene lives until the next WorldBegin or End.
struct RayState {
    raytrace::BoundingTree scene;
    raytrace::SurfaceAttributes attributes;
    Emission emission;  // Emit and Ke, taken by each object made (RERay::add)
    ColorRGB background;
    int maxLevels = 0;
    int subsamples = 1;
    int threads = 0;  // threads tracing an image; 0: one per usable CPU
    int divisions = 20;  // tessellation resolution of surfaces (option "Divisions", clamped)
    int subdivisionLevel = 3;  // refinement of subdivision surfaces (option "SubdivisionLevel", clamped)
    bool interpolate = true;  // option "Interpolate": surfaces blend their vertex normals and colours
    MapList maps;        // texture maps, from MapLoad until End
    BezierWork bezier;   // working storage of patch tessellation
    Matrix4 rasterToWorld;
    Point3 eye;  // the camera eye when the world began
    int frame = 0;  // the open frame's number; images outside frames are 0
    bool initialized = false;

    // Back to program start: empty scene using the tree, default attributes
    // and options.
    void reset();
};

}  // namespace kx
