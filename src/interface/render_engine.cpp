#include "interface/render_engine.h"

#include <cstdio>

namespace kx {

int NotImplemented(const char* command) {
    std::fprintf(stderr, "%s command not implemented. Ignoring.\n", command);
    std::fflush(stderr);
    return 0;
}

int OptionNotImplemented(const char* command, const char* option) {
    std::fprintf(stderr, "Option \"%s\" not implemented for %s command. Ignoring.\n", option, command);
    std::fflush(stderr);
    return 0;
}

int RenderEngine::Display(const std::string&, const std::string&, const std::string&) { return NotImplemented("Display"); }
int RenderEngine::Format(int, int) { return NotImplemented("Format"); }
int RenderEngine::WorldBegin() { return NotImplemented("WorldBegin"); }
int RenderEngine::WorldEnd() { return NotImplemented("WorldEnd"); }
int RenderEngine::FrameBegin(int) { return NotImplemented("FrameBegin"); }
int RenderEngine::FrameEnd() { return NotImplemented("FrameEnd"); }
int RenderEngine::CameraEye(const Point3&) { return NotImplemented("CameraEye"); }
int RenderEngine::CameraAt(const Point3&) { return NotImplemented("CameraAt"); }
int RenderEngine::CameraUp(const Vector3&) { return NotImplemented("CameraUp"); }
int RenderEngine::CameraFOV(float) { return NotImplemented("CameraFOV"); }
int RenderEngine::Clipping(float, float) { return NotImplemented("Clipping"); }
int RenderEngine::Translate(const Vector3&) { return NotImplemented("Translate"); }
int RenderEngine::Scale(const Vector3&) { return NotImplemented("Scale"); }
int RenderEngine::RotateXY(float) { return NotImplemented("Rotate"); }
int RenderEngine::RotateYZ(float) { return NotImplemented("Rotate"); }
int RenderEngine::RotateZX(float) { return NotImplemented("Rotate"); }
int RenderEngine::XformPush() { return NotImplemented("XformPush"); }
int RenderEngine::XformPop() { return NotImplemented("XformPop"); }
int RenderEngine::Curve(const std::string&, int, const float*) { return OptionNotImplemented("Curve", "Bezier"); }
int RenderEngine::Patch(const std::string&, int, int, const float*) { return OptionNotImplemented("Patch", "Bezier"); }
int RenderEngine::Subdivision(const std::string&, const float*, int, const int*, int, const int*, int, const float*) {
    return OptionNotImplemented("Subdivision", "Catmull-Clark");
}
int RenderEngine::Circle(const Point3&, float) { return NotImplemented("Circle"); }
int RenderEngine::Line(const Point3&, const Point3&) { return NotImplemented("Line"); }
int RenderEngine::LineSet(const std::string&, int, const float*, int, const int*) { return NotImplemented("LineSet"); }
int RenderEngine::Point(const Point3&) { return NotImplemented("Point"); }
int RenderEngine::PointSet(const std::string&, int, const float*) { return NotImplemented("PointSet"); }
int RenderEngine::PolySet(const std::string&, int, const float*, int, const int*) { return NotImplemented("PolySet"); }
int RenderEngine::Cone(float, float, float) { return NotImplemented("Cone"); }
int RenderEngine::Cube() { return NotImplemented("Cube"); }
int RenderEngine::Cylinder(float, float, float, float) { return NotImplemented("Cylinder"); }
int RenderEngine::Disk(float, float, float) { return NotImplemented("Disk"); }
int RenderEngine::Hyperboloid(const Point3&, const Point3&, float) { return NotImplemented("Hyperboloid"); }
int RenderEngine::Paraboloid(float, float, float, float) { return NotImplemented("Paraboloid"); }
int RenderEngine::Sphere(float, float, float, float) { return NotImplemented("Sphere"); }
int RenderEngine::SqSphere(float, float, float, float, float, float) { return NotImplemented("SqSphere"); }
int RenderEngine::SqTorus(float, float, float, float, float, float, float) { return NotImplemented("SqTorus"); }
int RenderEngine::Torus(float, float, float, float, float) { return NotImplemented("Torus"); }
int RenderEngine::Tube(const Point3&, const Point3&, float) { return NotImplemented("Tube"); }
int RenderEngine::Background(const ColorRGB&) { return NotImplemented("Background"); }
int RenderEngine::Color(const ColorRGB&) { return NotImplemented("Color"); }
int RenderEngine::Opacity(float) { return NotImplemented("Opacity"); }
int RenderEngine::Emit(const ColorRGB&, float) { return NotImplemented("Emit"); }
int RenderEngine::Fill(const Point3&) { return NotImplemented("Fill"); }
int RenderEngine::Surface(const std::string&) { return NotImplemented("Surface"); }
int RenderEngine::ConeLight(const Point3&, const Point3&, float, float, const ColorRGB&, float) {
    return NotImplemented("ConeLight");
}
int RenderEngine::PointLight(const Point3&, const ColorRGB&, float) { return NotImplemented("PointLight"); }
int RenderEngine::FarLight(const Vector3&, const ColorRGB&, float) { return NotImplemented("FarLight"); }
int RenderEngine::AmbientLight(const ColorRGB&, float) { return NotImplemented("AmbientLight"); }
int RenderEngine::Specular(const ColorRGB&, int) { return NotImplemented("Specular"); }
int RenderEngine::Ka(float) { return NotImplemented("Ka"); }
int RenderEngine::Kd(float) { return NotImplemented("Kd"); }
int RenderEngine::Ke(float) { return NotImplemented("Ke"); }
int RenderEngine::Ks(float) { return NotImplemented("Ks"); }
int RenderEngine::MapBorder(const std::string&, const std::string&, const std::string&) { return NotImplemented("MapBorder"); }
int RenderEngine::MapBound(const std::string&, float, float, float, float) { return NotImplemented("MapBound"); }
int RenderEngine::MapLoad(const std::string&, const std::string&) { return NotImplemented("MapLoad"); }
int RenderEngine::MapSample(const std::string&, const std::string&, const std::string&) { return NotImplemented("MapSample"); }
int RenderEngine::Map(const std::string&, const std::string&) { return NotImplemented("Map"); }
int RenderEngine::OptionArray(const std::string&, int, const float*) { return NotImplemented("OptionArray"); }
int RenderEngine::OptionBool(const std::string&, bool) { return NotImplemented("OptionBool"); }
int RenderEngine::OptionList(const std::string&, int, const std::string*) { return NotImplemented("OptionList"); }
int RenderEngine::OptionReal(const std::string&, float) { return NotImplemented("OptionReal"); }
int RenderEngine::OptionString(const std::string&, const std::string&) { return NotImplemented("OptionString"); }
int RenderEngine::Custom(const std::string&) { return NotImplemented("Custom"); }

}  // namespace kx
