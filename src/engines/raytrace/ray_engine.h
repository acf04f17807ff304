// The ray tracing engine ("raytrace"). Between WorldBegin and WorldEnd it
// collects objects into a bounding tree and lights into the light set;
// WorldEnd traces n x n primary rays per pixel through a pinhole camera, with
// shadow rays and recursive mirror reflection.
#pragma once

#include <string>

#include "core/math.h"
#include "core/lights.h"
#include "core/transform.h"
#include "interface/engine_base.h"
#include "engines/raytrace/bounding_tree.h"
#include "engines/raytrace/objects.h"
#include "engines/raytrace/surface.h"
#include "surface/bezier_patch.h"
#include "surface/tessellate.h"
#include "surface/texture.h"

namespace kx {

// Reflection bounces and subsamples per axis are capped: each bounce is a
// nested trace, and n subsamples cost n * n rays per pixel.
#ifdef KX_FUZZ_BUILD
// Fuzzing builds: every run stays short.
constexpr int kRayMaxLevels = 4;
constexpr int kRayMaxSubsamples = 2;
constexpr int kRayMaxThreads = 2;
#else
constexpr int kRayMaxLevels = 100;
constexpr int kRayMaxSubsamples = 64;
// Threads tracing one image at most.
constexpr int kRayMaxThreads = 256;
#endif

// The ray tracer's process-wide state. Attributes, background, options and
// camera persist across world blocks; the scene lives until the next
// WorldBegin or End.
struct RayState {
    raytrace::BoundingTree scene;
    raytrace::SurfaceAttributes attributes;
    ColorRGB background;
    int maxLevels = 0;
    int subsamples = 1;
    int threads = 0;  // threads tracing an image; 0: one per core
    int divisions = 20;  // tessellation resolution of surfaces (option "Divisions", clamped)
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

// The process-wide ray tracer state.
RayState& rayState();

// The camera matrix mapping the pixel-plane point (px, py, 1) to world space.
Matrix4 BuildRasterToWorld(const Camera& camera, int width, int height);
// Offset within a pixel of the centre of subsample s of n along one axis.
inline float SubsampleOffset(int s, int n) { return static_cast<float>(2 * s + 1) / static_cast<float>(2 * n); }
// An option value truncated toward zero into [0, high]; NaN gives 0.
int TruncateOption(float value, int high);

// The colour seen along a ray, with level reflection bounces left.
ColorRGB Trace(const Ray& ray, int level);
// Whether the point p is shadowed from the light.
bool InShadow(const Light& light, const Point3& p);

class RERay : public LitEngineBase {
public:
    explicit RERay(EngineContext& context);
    ~RERay() override;

    int Display(const std::string& name, const std::string& type, const std::string& mode) override;
    int Format(int xres, int yres) override;
    int FrameBegin(int frame) override;
    int FrameEnd() override;
    int WorldBegin() override;
    int WorldEnd() override;
    int Begin() override;
    int End() override;
    int PolySet(const std::string& vtype, int nvertices, const float* vertices, int nfaces,
                const int* indices) override;
    int Cone(float height, float radius, float thetamax) override;
    int Cube() override;
    int Cylinder(float radius, float zmin, float zmax, float thetamax) override;
    int Disk(float height, float radius, float thetamax) override;
    int Sphere(float radius, float zmin, float zmax, float thetamax) override;
    int Tube(const Point3& start, const Point3& end, float radius) override;
    int Patch(const std::string& vtype, int udegree, int vdegree, const float* vertices) override;
    int Hyperboloid(const Point3& p1, const Point3& p2, float thetamax) override;
    int Paraboloid(float rmax, float zmin, float zmax, float thetamax) override;
    int SqSphere(float radius, float north, float east, float zmin, float zmax, float thetamax) override;
    int SqTorus(float rmajor, float rminor, float north, float east, float phimin, float phimax,
                float thetamax) override;
    int Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax) override;
    int MapBorder(const std::string& maptype, const std::string& ubound, const std::string& vbound) override;
    int MapBound(const std::string& maptype, float umin, float vmin, float umax, float vmax) override;
    int MapLoad(const std::string& filename, const std::string& label) override;
    int MapSample(const std::string& maptype, const std::string& magnify, const std::string& minify) override;
    int Map(const std::string& maptype, const std::string& label) override;
    int Background(const ColorRGB& c) override;
    int Color(const ColorRGB& c) override;
    int Surface(const std::string& name) override;
    int Specular(const ColorRGB& c, int exponent) override;
    int Ka(float ka) override;
    int Kd(float kd) override;
    int Ks(float ks) override;
    int OptionBool(const std::string& name, bool value) override;
    int OptionReal(const std::string& name, float value) override;

    // Renders the current scene into the display (the body of WorldEnd
    // without ImageShow).
    void Render();

private:
    int add(raytrace::BuiltObject built);
    // Whether the surfaces made now carry texture coordinates: a map is
    // current and the material is "painted plastic".
    bool textured() const;
    // Adds the tessellation of a surface (the quadrilaterals make writes).
    template <class Make>
    int addTessellated(Make make);
};

}  // namespace kx
