// A render engine that writes every call it receives into a log, and helpers
// to parse scene text with it.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "interface/current_engine.h"
#include "interface/render_engine.h"
#include "interface/vertex_type.h"
#include "scene/input.h"
#include "scene/objects.h"
#include "scene/parser.h"
#include "display/display.h"
#include "support/process_state.h"

namespace kxtest {

using kx::ColorRGB;
using kx::Point3;
using kx::Vector3;

class LogEngine : public kx::RenderEngine {
public:
    static std::vector<std::string>& log() {
        static std::vector<std::string> entries;
        return entries;
    }
    template <typename... A>
    static int add(const char* name, const A&... args) {
        std::ostringstream os;
        os << name << "(";
        int i = 0;
        ((os << (i++ ? "," : "") << show(args)), ...);
        os << ")";
        log().push_back(os.str());
        return 0;
    }
    static std::string show(const Point3& p) { return tuple(p.x, p.y, p.z); }
    static std::string show(const Vector3& p) { return tuple(p.x, p.y, p.z); }
    static std::string show(const ColorRGB& p) { return tuple(p.r, p.g, p.b); }
    static std::string show(const std::string& s) { return "'" + s + "'"; }
    static std::string show(const char* s) { return s; }
    struct Raw {
        std::string text;
    };
    static std::string show(const Raw& r) { return r.text; }
    template <typename T>
    static std::string show(const T& v) {
        std::ostringstream os;
        os << v;
        return os.str();
    }
    static std::string tuple(float a, float b, float c) {
        std::ostringstream os;
        os << "(" << a << " " << b << " " << c << ")";
        return os.str();
    }
    static Raw floats(const float* v, long n) {
        std::ostringstream os;
        os << "[";
        for (long i = 0; i < n; ++i) os << (i ? " " : "") << v[i];
        os << "]";
        return {os.str()};
    }
    static Raw ints(const int* v, int items) {
        std::ostringstream os;
        os << "[";
        for (int i = 0, closed = 0; closed < items; ++i) {
            os << (i ? " " : "") << v[i];
            if (v[i] == -1) ++closed;
        }
        os << "]";
        return {os.str()};
    }

    int Display(const std::string& a, const std::string& b, const std::string& c) override {
        return add("Display", a, b, c);
    }
    int Format(int x, int y) override { return add("Format", x, y); }
    int WorldBegin() override { return add("WorldBegin"); }
    int WorldEnd() override { return add("WorldEnd"); }
    int FrameBegin(int f) override { return add("FrameBegin", f); }
    int FrameEnd() override { return add("FrameEnd"); }
    int CameraEye(const Point3& p) override { return add("CameraEye", p); }
    int CameraFOV(float f) override { return add("CameraFOV", f); }
    int Translate(const Vector3& v) override { return add("Translate", v); }
    int Scale(const Vector3& v) override { return add("Scale", v); }
    int RotateXY(float a) override { return add("RotateXY", a); }
    int RotateYZ(float a) override { return add("RotateYZ", a); }
    int RotateZX(float a) override { return add("RotateZX", a); }
    int XformPush() override { return add("XformPush"); }
    int XformPop() override { return add("XformPop"); }
    int Curve(const std::string& t, int n, const float* v) override {
        return add("Curve", t, n, floats(v, (n + 1) * kx::VertexStride(t)));
    }
    int Patch(const std::string& t, int u, int v, const float* p) override {
        return add("Patch", t, u, v, floats(p, (u + 1) * (v + 1) * kx::VertexStride(t)));
    }
    int Subdivision(const std::string& t, const float* v, int nv, const int* f, int nf, const int* c, int nc,
                    const float* s) override {
        long sharp = 0;
        for (int i = 0, closed = 0, run = 0; closed < nc; ++i) {
            if (c[i] == -1) {
                ++closed;
                sharp += run > 0 ? run - 1 : 0;
                run = 0;
            } else {
                ++run;
            }
        }
        return add("Subdivision", t, floats(v, static_cast<long>(nv) * kx::VertexStride(t)), nv, ints(f, nf), nf,
                   ints(c, nc), nc, floats(s, sharp));
    }
    int Circle(const Point3& c, float r) override { return add("Circle", c, r); }
    int LineSet(const std::string& t, int nv, const float* v, int nl, const int* idx) override {
        return add("LineSet", t, nv, floats(v, static_cast<long>(nv) * kx::VertexStride(t)), nl, ints(idx, nl));
    }
    int PointSet(const std::string& t, int nv, const float* v) override {
        return add("PointSet", t, nv, floats(v, static_cast<long>(nv) * kx::VertexStride(t)));
    }
    int PolySet(const std::string& t, int nv, const float* v, int nf, const int* idx) override {
        return add("PolySet", t, nv, floats(v, static_cast<long>(nv) * kx::VertexStride(t)), nf, ints(idx, nf));
    }
    int Cone(float a, float b, float c) override { return add("Cone", a, b, c); }
    int Cube() override { return add("Cube"); }
    int Sphere(float a, float b, float c, float d) override { return add("Sphere", a, b, c, d); }
    int Torus(float a, float b, float c, float d, float e) override { return add("Torus", a, b, c, d, e); }
    int Tube(const Point3& a, const Point3& b, float r) override { return add("Tube", a, b, r); }
    int Color(const ColorRGB& c) override { return add("Color", c); }
    int Fill(const Point3& p) override { return add("Fill", p); }
    int Surface(const std::string& s) override { return add("Surface", s); }
    int AmbientLight(const ColorRGB& c, float i) override { return add("AmbientLight", c, i); }
    int Specular(const ColorRGB& c, int e) override { return add("Specular", c, e); }
    int Ka(float k) override { return add("Ka", k); }
    int MapLoad(const std::string& a, const std::string& b) override { return add("MapLoad", a, b); }
    int OptionArray(const std::string& n, int c, const float* v) override {
        return add("OptionArray", n, c, floats(v, c));
    }
    int OptionBool(const std::string& n, bool v) override { return add("OptionBool", n, v); }
    int OptionReal(const std::string& n, float v) override { return add("OptionReal", n, v); }
    int OptionString(const std::string& n, const std::string& v) override { return add("OptionString", n, v); }
    int Custom(const std::string& t) override { return add("Custom", t); }
};

inline std::unique_ptr<kx::RenderEngine> MakeLogEngine(const std::string& name, int& status) {
    status = (name == "direct" || name == "raytrace" || name == "data convert" || name == "scan convert")
                 ? 0
                 : kx::kErrUnknownEngine;
    return std::make_unique<LogEngine>();
}

struct ParseResult {
    int status = 0;  // the first result other than 0 and 2 (1 at a clean end)
    int line = 0;
    std::vector<std::string> calls;
};

// Parses the scene input opened by open(input) to its end (or first error)
// with a fresh LogEngine.
template <typename Open>
ParseResult ParseOpened(Open open) {
    kx::process().reset();
    LogEngine::log().clear();
    kx::currentEngine().factory = MakeLogEngine;
    kx::currentEngine().set(std::make_unique<LogEngine>());
    open(kx::sceneInput());
    ParseResult r;
    for (int guard = 0; guard < 1000000; ++guard) {
        int s = kx::sceneParser().ParseStep();
        if (s == 0 || s == 2) continue;
        r.status = s;
        break;
    }
    r.line = kx::sceneInput().line;
    r.calls = LogEngine::log();
    kx::sceneInput().close();
    return r;
}

inline ParseResult ParseText(const std::string& text) {
    return ParseOpened([&](kx::SceneInput& in) { in.openText(text); });
}

}  // namespace kxtest
