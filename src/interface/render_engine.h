// The abstract render engine: one operation per scene command, in a fixed
// order. Every operation returns 0 or a negative error code. An operation an
// engine does not implement prints a notice on standard error and succeeds:
// the defaults come from the command list, interface/commands.def, which
// names each operation with its parameter types (a new operation is
// declared here and listed there).
#pragma once

#include <string>

#include "core/math.h"

namespace kx {

class RenderEngine {
public:
    RenderEngine() = default;
    RenderEngine(const RenderEngine&) = delete;
    RenderEngine& operator=(const RenderEngine&) = delete;
    virtual ~RenderEngine() = default;

    virtual int Display(const std::string& name, const std::string& type, const std::string& mode);
    virtual int Format(int xres, int yres);
    virtual int WorldBegin();
    virtual int WorldEnd();
    virtual int FrameBegin(int frame);
    virtual int FrameEnd();
    virtual int Begin() { return 0; }
    virtual int End() { return 0; }
    // Completes the drawing the engine has put off: the display's image
    // then holds everything drawn so far (a window shows it between steps).
    virtual void finishDrawing() {}
    virtual int CameraEye(const Point3& eye);
    virtual int CameraAt(const Point3& at);
    virtual int CameraUp(const Vector3& up);
    virtual int CameraFOV(float fov);
    virtual int Clipping(float hither, float yon);
    virtual int Translate(const Vector3& t);
    virtual int Scale(const Vector3& s);
    virtual int RotateXY(float angle);
    virtual int RotateYZ(float angle);
    virtual int RotateZX(float angle);
    virtual int XformPush();
    virtual int XformPop();
    virtual int Curve(const std::string& vtype, int degree, const float* vertices);
    virtual int Patch(const std::string& vtype, int udegree, int vdegree, const float* vertices);
    virtual int Subdivision(const std::string& vtype, const float* vertices, int nvertices, const int* faces,
                            int nfaces, const int* creases, int ncreases, const float* sharpness);
    virtual int Circle(const Point3& center, float radius);
    virtual int Line(const Point3& start, const Point3& end);
    virtual int LineSet(const std::string& vtype, int nvertices, const float* vertices, int nlines,
                        const int* indices);
    virtual int Point(const Point3& p);
    virtual int PointSet(const std::string& vtype, int nvertices, const float* vertices);
    virtual int PolySet(const std::string& vtype, int nvertices, const float* vertices, int nfaces,
                        const int* indices);
    virtual int Cone(float height, float radius, float thetamax);
    virtual int Cube();
    virtual int Cylinder(float radius, float zmin, float zmax, float thetamax);
    virtual int Disk(float height, float radius, float thetamax);
    virtual int Hyperboloid(const Point3& p1, const Point3& p2, float thetamax);
    virtual int Paraboloid(float rmax, float zmin, float zmax, float thetamax);
    virtual int Sphere(float radius, float zmin, float zmax, float thetamax);
    virtual int SqSphere(float radius, float north, float east, float zmin, float zmax, float thetamax);
    virtual int SqTorus(float rmajor, float rminor, float north, float east, float phimin, float phimax,
                        float thetamax);
    virtual int Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax);
    virtual int Tube(const Point3& start, const Point3& end, float radius);
    virtual int Background(const ColorRGB& c);
    virtual int Color(const ColorRGB& c);
    virtual int Opacity(float opacity);
    virtual int Emit(const ColorRGB& c, float intensity);
    virtual int Fill(const Point3& seed);
    virtual int Surface(const std::string& name);
    virtual int ConeLight(const Point3& at, const Point3& to, float coneangle, float conedelta, const ColorRGB& c,
                          float intensity);
    virtual int PointLight(const Point3& at, const ColorRGB& c, float intensity);
    virtual int FarLight(const Vector3& dir, const ColorRGB& c, float intensity);
    virtual int AmbientLight(const ColorRGB& c, float intensity);
    virtual int Specular(const ColorRGB& c, int exponent);
    virtual int Ka(float ka);
    virtual int Kd(float kd);
    virtual int Ke(float ke);
    virtual int Ks(float ks);
    virtual int MapBorder(const std::string& maptype, const std::string& ubound, const std::string& vbound);
    virtual int MapBound(const std::string& maptype, float umin, float vmin, float umax, float vmax);
    virtual int MapLoad(const std::string& filename, const std::string& label);
    // MapLoad replayed from an object definition (scene/objects.h), where a
    // label an earlier instance loaded from the same file is no error for an
    // engine that keeps maps. The default is MapLoad itself: an engine that
    // does not keep maps sees the command as written.
    virtual int MapLoadReplayed(const std::string& filename, const std::string& label) {
        return MapLoad(filename, label);
    }
    virtual int MapSample(const std::string& maptype, const std::string& magnify, const std::string& minify);
    virtual int Map(const std::string& maptype, const std::string& label);
    virtual int OptionArray(const std::string& name, int n, const float* values);
    virtual int OptionBool(const std::string& name, bool value);
    virtual int OptionList(const std::string& name, int n, const std::string* items);
    virtual int OptionReal(const std::string& name, float value);
    virtual int OptionString(const std::string& name, const std::string& value);
    virtual int Custom(const std::string& text);
};

// "<Command> command not implemented. Ignoring." on standard error; returns 0.
int NotImplemented(const char* command);
// "Option \"<option>\" not implemented for <command> command. Ignoring."
int OptionNotImplemented(const char* command, const char* option);

}  // namespace kx
