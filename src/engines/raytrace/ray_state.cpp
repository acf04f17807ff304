#include "engines/raytrace/ray_state.h"

namespace kx {

void RayState::reset() {
    scene.Clear();
    scene.useBoundingTree = true;
    scene.objectsShared = false;
    attributes = raytrace::SurfaceAttributes();
    emission = Emission();
    background = ColorRGB();
    maxLevels = 0;
    subsamples = 1;
    threads = 0;
    divisions = 20;
    subdivisionLevel = 3;
    interpolate = true;
    maps.reset();
    bezier.release();
    rasterToWorld = Matrix4();
    eye = Point3();
    frame = 0;
    initialized = false;
}

}  // namespace kx
