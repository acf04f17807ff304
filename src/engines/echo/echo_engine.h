// The echo engine ("data convert"): writes the commands it receives back out
// as scene text, one command per line. The polygon sets and Bezier patches
// of a world are merged into one indexed polygon mesh, written as a single
// PolySet just before WorldEnd.
#pragma once

#include "core/limits.h"
#include "core/errors.h"
#include "interface/render_engine.h"
#include "engines/echo/echo_mesh.h"
#include "engines/echo/echo_text.h"

namespace kx {

// Returned when the world mesh cannot grow any further (memory, or its
// counts reaching the int range).
constexpr int kErrEchoMeshMemory = kErrDisplayMemory;

// The echo engine's own state, kept across engine changes.
struct EchoState {
    WorldMesh mesh;                // emptied at every WorldBegin
    int divisions = 20;            // segments per curved patch direction
    TextSink* out = &StandardOutputText();  // where the scene text goes
    TextLine line;                 // the line being built

    // Back to program start (the output goes to standard output again).
    void reset();
};

// The patch divisions an OptionReal "Divisions" value gives: truncated toward
// zero and kept within 0 .. kMaxEchoDivisions; NaN keeps the current value.
int EchoDivisions(float value, int current);

class REEcho : public RenderEngine {
public:
    explicit REEcho(EchoState& state);
    ~REEcho() override;

    int Display(const std::string& name, const std::string& type, const std::string& mode) override;
    int Format(int xres, int yres) override;
    int WorldBegin() override;
    int WorldEnd() override;
    int FrameBegin(int frame) override;
    int FrameEnd() override;
    int Begin() override { return 0; }
    int End() override { return 0; }
    int CameraEye(const Point3& eye) override;
    int CameraAt(const Point3& at) override;
    int CameraUp(const Vector3& up) override;
    int CameraFOV(float fov) override;
    int Clipping(float hither, float yon) override;
    int Translate(const Vector3& t) override;
    int Scale(const Vector3& s) override;
    int RotateXY(float angle) override;
    int RotateYZ(float angle) override;
    int RotateZX(float angle) override;
    int XformPush() override;
    int XformPop() override;
    int Curve(const std::string& vtype, int degree, const float* vertices) override;
    int Patch(const std::string& vtype, int udegree, int vdegree, const float* vertices) override;
    int Circle(const Point3& center, float radius) override;
    int Line(const Point3& start, const Point3& end) override;
    int Point(const Point3& p) override;
    int PointSet(const std::string& vtype, int nvertices, const float* vertices) override;
    int PolySet(const std::string& vtype, int nvertices, const float* vertices, int nfaces,
                const int* indices) override;
    int Cone(float height, float radius, float thetamax) override;
    int Cube() override;
    int Cylinder(float radius, float zmin, float zmax, float thetamax) override;
    int Disk(float height, float radius, float thetamax) override;
    int Hyperboloid(const Point3& p1, const Point3& p2, float thetamax) override;
    int Paraboloid(float rmax, float zmin, float zmax, float thetamax) override;
    int Sphere(float radius, float zmin, float zmax, float thetamax) override;
    int Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax) override;
    int Tube(const Point3& start, const Point3& end, float radius) override;
    int Background(const ColorRGB& c) override;
    int Color(const ColorRGB& c) override;
    int Fill(const Point3& seed) override;
    int Surface(const std::string& name) override;
    int PointLight(const Point3& at, const ColorRGB& c, float intensity) override;
    int FarLight(const Vector3& dir, const ColorRGB& c, float intensity) override;
    int AmbientLight(const ColorRGB& c, float intensity) override;
    int Specular(const ColorRGB& c, int exponent) override;
    int Ka(float ka) override;
    int Kd(float kd) override;
    int Ks(float ks) override;
    int OptionReal(const std::string& name, float value) override;
    int Custom(const std::string&) override { return 0; }

private:
    EchoState& state_;
};

}  // namespace kx
