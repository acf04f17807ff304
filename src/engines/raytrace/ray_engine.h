// The ray tracing engine ("raytrace"). Between WorldBegin and WorldEnd it
// collects objects into a bounding tree and lights into the light set;
// WorldEnd traces n x n primary rays per pixel through a pinhole camera, with
// shadow rays and recursive mirror reflection.
//
// The engine's commands are in ray_engine.cpp, those of the surfaces and
// texture maps in surface_commands.cpp. What they build and trace is in
// namespace kx::raytrace: the shapes (objects.h), the bounding tree, the
// camera (camera.h), the recursion (tracer.h), the shaders (shading.cpp) and
// the image sampler with its threads (image_sampler.h, row_pipeline.h).
#pragma once

#include <string>

#include "core/math.h"
#include "interface/engine_base.h"
#include "engines/raytrace/objects.h"
#include "engines/raytrace/ray_state.h"

namespace kx {

class RERay : public LitEngineBase {
public:
    RERay(EngineContext& context, RayState& state);
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
    int Subdivision(const std::string& vtype, const float* vertices, int nvertices, const int* faces, int nfaces,
                    const int* creases, int ncreases, const float* sharpness) override;
    int Hyperboloid(const Point3& p1, const Point3& p2, float thetamax) override;
    int Paraboloid(float rmax, float zmin, float zmax, float thetamax) override;
    int SqSphere(float radius, float north, float east, float zmin, float zmax, float thetamax) override;
    int SqTorus(float rmajor, float rminor, float north, float east, float phimin, float phimax,
                float thetamax) override;
    int Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax) override;
    int MapBorder(const std::string& maptype, const std::string& ubound, const std::string& vbound) override;
    int MapBound(const std::string& maptype, float umin, float vmin, float umax, float vmax) override;
    int MapLoad(const std::string& filename, const std::string& label) override;
    int MapLoadReplayed(const std::string& filename, const std::string& label) override;
    int MapSample(const std::string& maptype, const std::string& magnify, const std::string& minify) override;
    int Map(const std::string& maptype, const std::string& label) override;
    int Background(const ColorRGB& c) override;
    int Color(const ColorRGB& c) override;
    int Opacity(float opacity) override;
    int Surface(const std::string& name) override;
    int Specular(const ColorRGB& c, int exponent) override;
    int Ka(float ka) override;
    int Kd(float kd) override;
    int Ks(float ks) override;
    int Emit(const ColorRGB& c, float intensity) override;
    int Ke(float ke) override;
    int OptionBool(const std::string& name, bool value) override;
    int OptionReal(const std::string& name, float value) override;

    // Renders the current scene into the display (the body of WorldEnd
    // without ImageShow).
    void Render();

private:
    RayState& state_;

    int add(raytrace::BuiltObject built);
    // Whether the surfaces made now carry texture coordinates: a map is
    // current and the material is "painted plastic".
    bool textured() const;
    // Adds the tessellation of a surface (the quadrilaterals make writes).
    template <class Make>
    int addTessellated(Make make);
};

}  // namespace kx
