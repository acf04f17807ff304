// The direct engine ("direct", the default): draws every primitive as its
// command arrives into the display's frame image, with a depth buffer,
// per-pixel shading and texture maps. Its state (DirectState) and the
// texture maps are the run's; the engine object is given them and
// dispatches.
//
// The command handlers by family: frames, world, attributes, maps and
// options in direct_engine.cpp; PolySet and Subdivision in polyset.cpp; the quadrics and
// other surfaces in primitives.cpp; curves and patches in bezier.cpp;
// points, lines, circles and the seed fill in lines.cpp.
#pragma once

#include "engines/direct/pipeline.h"
#include "interface/engine_base.h"

namespace kx {

struct DirectState;
class MapList;

class REDirect : public LitEngineBase {
public:
    // Links the state's shader functions to the context's lights and to maps.
    REDirect(EngineContext& context, DirectState& state, MapList& maps);
    ~REDirect() override;

    int Display(const std::string& name, const std::string& type, const std::string& mode) override;
    int Format(int xres, int yres) override;
    int WorldBegin() override;
    int WorldEnd() override;
    int FrameBegin(int frame) override;
    int FrameEnd() override;
    int Begin() override;
    int End() override;
    int Clipping(float hither, float yon) override;
    int Curve(const std::string& vtype, int degree, const float* vertices) override;
    int Patch(const std::string& vtype, int udegree, int vdegree, const float* vertices) override;
    int Circle(const Point3& center, float radius) override;
    int Line(const Point3& start, const Point3& end) override;
    int LineSet(const std::string& vtype, int nvertices, const float* vertices, int nlines,
                const int* indices) override;
    int Point(const Point3& p) override;
    int PointSet(const std::string& vtype, int nvertices, const float* vertices) override;
    int PolySet(const std::string& vtype, int nvertices, const float* vertices, int nfaces,
                const int* indices) override;
    int Subdivision(const std::string& vtype, const float* vertices, int nvertices, const int* faces, int nfaces,
                    const int* creases, int ncreases, const float* sharpness) override;
    int Cone(float height, float radius, float thetamax) override;
    int Cube() override;
    int Cylinder(float radius, float zmin, float zmax, float thetamax) override;
    int Disk(float height, float radius, float thetamax) override;
    int Hyperboloid(const Point3& p1, const Point3& p2, float thetamax) override;
    int Paraboloid(float rmax, float zmin, float zmax, float thetamax) override;
    int Sphere(float radius, float zmin, float zmax, float thetamax) override;
    int SqSphere(float radius, float north, float east, float zmin, float zmax, float thetamax) override;
    int SqTorus(float rmajor, float rminor, float north, float east, float phimin, float phimax,
                float thetamax) override;
    int Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax) override;
    int Tube(const Point3& start, const Point3& end, float radius) override;
    int Color(const ColorRGB& c) override;
    int Opacity(float opacity) override;
    int Fill(const Point3& seed) override;
    int Surface(const std::string& name) override;
    int Specular(const ColorRGB& c, int exponent) override;
    int Ka(float ka) override;
    int Kd(float kd) override;
    int Ks(float ks) override;
    int Emit(const ColorRGB& c, float intensity) override;
    int Ke(float ke) override;
    int MapBorder(const std::string& maptype, const std::string& ubound, const std::string& vbound) override;
    int MapBound(const std::string& maptype, float umin, float vmin, float umax, float vmax) override;
    int MapLoad(const std::string& filename, const std::string& label) override;
    int MapLoadReplayed(const std::string& filename, const std::string& label) override;
    int MapSample(const std::string& maptype, const std::string& magnify, const std::string& minify) override;
    int Map(const std::string& maptype, const std::string& label) override;
    int OptionBool(const std::string& name, bool value) override;
    int OptionReal(const std::string& name, float value) override;
    int Custom(const std::string& text) override;
    // What changes the image, the lights or the device first fills the
    // polygons waiting for the threads (DirectState::flushBins).
    int Background(const ColorRGB& c) override;
    int ConeLight(const Point3& at, const Point3& to, float coneangle, float conedelta, const ColorRGB& c,
                  float intensity) override;
    int PointLight(const Point3& at, const ColorRGB& c, float intensity) override;
    int FarLight(const Vector3& dir, const ColorRGB& c, float intensity) override;
    int AmbientLight(const ColorRGB& c, float intensity) override;
    void finishDrawing() override;

private:
    DirectState& state_;
    MapList& maps_;
    DirectPipeline pipeline_;  // over the context, state_ and maps_
};

// Float to int, truncating toward zero; NaN gives 0 and values beyond the
// int range saturate.
int TruncateToInt(double value);

}  // namespace kx
