#include "engines/echo/echo_engine.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace kx {

TextSink& StandardOutputText() {
    static TextSink sink(stdout);
    return sink;
}

void EchoState::reset() {
    mesh.clear();
    divisions = 20;
    out = &StandardOutputText();
    line.release();
}

int EchoDivisions(float value, int current) {
    if (std::isnan(value)) return current;
    float t = std::trunc(value);
    if (t <= 0) return 0;
    if (t >= static_cast<float>(kMaxEchoDivisions)) return kMaxEchoDivisions;
    return static_cast<int>(t);
}

namespace {

// Starts a line with the command word and the spaces that follow it.
TextLine& Start(EchoState& s, const char* word, int spaces) { return s.line.word(word).space(spaces); }

// The command's result after writing: 0, or kErrEndOfFile with a message
// naming the system's reason when the output could not take the text (a
// full disk, a closed pipe).
int WriteResult(EchoState& s) {
    if (s.out->good()) return 0;
    const int error = errno != 0 ? errno : EIO;
    s.line.release();
    std::fprintf(stderr, "cannot write standard output: %s\n", std::strerror(error));
    std::fflush(stderr);
    return kErrEndOfFile;
}

// Writes the line built so far and flushes it.
int WriteLine(EchoState& s) {
    errno = 0;
    s.line.writeTo(*s.out);
    return WriteResult(s);
}

// Lines of a block (Curve, PointSet, the world mesh) are collected and written
// in pieces of this size; the block is flushed when it is complete.
constexpr size_t kBlockChunk = 1 << 16;

void EndBlockLine(EchoState& s) {
    s.line.endLine();
    if (s.line.size() >= kBlockChunk) s.line.drainTo(*s.out);
}

int EndBlock(EchoState& s) {
    errno = 0;
    s.line.drainTo(*s.out);
    s.out->flush();
    return WriteResult(s);
}

// One line per vertex, its floats separated by single spaces.
void VertexLines(EchoState& s, long long count, int stride, const float* vertices) {
    TextLine& l = s.line;
    for (long long i = 0; i < count; ++i) {
        if (vertices) l.nums(vertices + i * stride, stride);
        EndBlockLine(s);
    }
}

int WriteWorldMesh(EchoState& s) {
    const WorldMesh& mesh = s.mesh;
    TextLine& l = s.line;
    l.word("PolySet").space(2).quoted("P");
    EndBlockLine(s);
    l.num(mesh.vertexCount()).space(2).num(mesh.polygonCount());
    EndBlockLine(s);
    const std::vector<float>& coords = mesh.coords();
    for (size_t i = 0; i < coords.size(); i += 3) {
        l.triple(&coords[i]);
        EndBlockLine(s);
    }
    EndBlockLine(s);
    // A polygon left without indices (an empty face of a PolySet) is
    // written as "-1" alone, which reads back as the same empty face.
    bool first = true;
    for (int index : mesh.indices()) {
        if (index < 0) {
            l.word(first ? "-1" : " -1");
            EndBlockLine(s);
            first = true;
            continue;
        }
        if (!first) l.space();
        l.num(index);
        first = false;
    }
    EndBlockLine(s);
    return EndBlock(s);
}

int MeshResult(int r) { return r < 0 ? kErrEchoMeshMemory : 0; }

}  // namespace

REEcho::REEcho(EchoState& state) : state_(state) {}
REEcho::~REEcho() = default;

namespace {

// The characters the scene reader takes for one string at most.
constexpr size_t kStringLimit = 300;

// A Display string, quoted; one that quoting would make too long for the
// reader (a bare string of nearly the limit with quotes in it) is written
// bare, as it was read.
TextLine& DisplayString(TextLine& l, const std::string& s) {
    size_t length = s.size() + 1;  // the closing quote counts
    for (char c : s) length += (c == '"' || c == '\\');
    return length <= kStringLimit ? l.quoted(s) : l.string(s);
}

}  // namespace

int REEcho::Display(const std::string& name, const std::string& type, const std::string& mode) {
    TextLine& l = Start(state_, "Display", 1);
    DisplayString(l, name).space();
    DisplayString(l, type).space();
    DisplayString(l, mode);
    return WriteLine(state_);
}

int REEcho::Format(int xres, int yres) {
    Start(state_, "Format", 1).num(xres).space().num(yres);
    return WriteLine(state_);
}

int REEcho::WorldBegin() {
    Start(state_, "WorldBegin", 0);
    state_.mesh.clear();
    return WriteLine(state_);
}

int REEcho::WorldEnd() {
    if (int r = WriteWorldMesh(state_)) return r;
    Start(state_, "WorldEnd", 0);
    return WriteLine(state_);
}

int REEcho::FrameBegin(int frame) {
    Start(state_, "FrameBegin", 1).num(frame);
    return WriteLine(state_);
}

int REEcho::FrameEnd() {
    Start(state_, "FrameEnd", 0);
    return WriteLine(state_);
}

int REEcho::CameraEye(const Point3& eye) {
    Start(state_, "CameraEye", 1).triple(eye);
    return WriteLine(state_);
}

int REEcho::CameraAt(const Point3& at) {
    Start(state_, "CameraAt", 1).triple(at);
    return WriteLine(state_);
}

int REEcho::CameraUp(const Vector3& up) {
    Start(state_, "CameraUp", 1).triple(up);
    return WriteLine(state_);
}

int REEcho::CameraFOV(float fov) {
    Start(state_, "CameraFOV", 1).num(fov);
    return WriteLine(state_);
}

int REEcho::Clipping(float hither, float yon) {
    Start(state_, "Clipping", 1).num(hither).space().num(yon);
    return WriteLine(state_);
}

int REEcho::Translate(const Vector3& t) {
    Start(state_, "Translate", 1).triple(t);
    return WriteLine(state_);
}

int REEcho::Scale(const Vector3& s) {
    Start(state_, "Scale", 1).triple(s);
    return WriteLine(state_);
}

int REEcho::RotateXY(float angle) {
    Start(state_, "Rotate", 1).quoted("Z").space().num(angle);
    return WriteLine(state_);
}

int REEcho::RotateYZ(float angle) {
    Start(state_, "Rotate", 1).quoted("X").space().num(angle);
    return WriteLine(state_);
}

int REEcho::RotateZX(float angle) {
    Start(state_, "Rotate", 1).quoted("Y").space().num(angle);
    return WriteLine(state_);
}

int REEcho::XformPush() {
    Start(state_, "XformPush", 0);
    return WriteLine(state_);
}

int REEcho::XformPop() {
    Start(state_, "XformPop", 0);
    return WriteLine(state_);
}

int REEcho::Curve(const std::string& vtype, int degree, const float* vertices) {
    EchoLayout layout;
    if (int r = ParseEchoLayout(vtype, layout)) return r;
    Start(state_, "Curve", 1).word("\"Bezier\"").space().word(vtype);
    EndBlockLine(state_);
    state_.line.num(degree);
    EndBlockLine(state_);
    VertexLines(state_, static_cast<long long>(degree) + 1, layout.stride, vertices);
    return EndBlock(state_);
}

int REEcho::PointSet(const std::string& vtype, int nvertices, const float* vertices) {
    EchoLayout layout;
    if (int r = ParseEchoLayout(vtype, layout)) return r;
    Start(state_, "PointSet", 1).word(vtype);
    EndBlockLine(state_);
    state_.line.num(nvertices);
    EndBlockLine(state_);
    VertexLines(state_, nvertices, layout.stride, vertices);
    return EndBlock(state_);
}

int REEcho::PolySet(const std::string& vtype, int nvertices, const float* vertices, int nfaces, const int* indices) {
    EchoLayout layout;
    if (int r = ParseEchoLayout(vtype, layout)) return r;
    if (layout.position < 0 || !indices) return 0;
    WorldMesh& mesh = state_.mesh;
    try {
        size_t k = 0;
        for (int done = 0; done < nfaces;) {
            const int i = indices[k++];
            if (i == -1) {
                if (mesh.endPolygon()) return kErrEchoMeshMemory;
                ++done;
                continue;
            }
            if (i < 0 || i >= nvertices || !vertices) continue;  // the parser lets none through
            const float* p = vertices + static_cast<size_t>(i) * layout.stride + layout.position;
            if (mesh.addVertex(p[0], p[1], p[2])) return kErrEchoMeshMemory;
        }
    } catch (const std::bad_alloc&) {
        return kErrEchoMeshMemory;
    }
    return 0;
}

int REEcho::Patch(const std::string& vtype, int udegree, int vdegree, const float* vertices) {
    EchoLayout layout;
    if (int r = ParseEchoLayout(vtype, layout)) return r;
    EchoState& s = state_;
    try {
        return MeshResult(TessellatePatch(s.mesh, vertices, layout, udegree, vdegree, s.divisions));
    } catch (const std::bad_alloc&) {
        return kErrEchoMeshMemory;
    }
}

int REEcho::Circle(const Point3& center, float radius) {
    Start(state_, "Circle", 2).triple(center).space(2).num(radius);
    return WriteLine(state_);
}

int REEcho::Line(const Point3& start, const Point3& end) {
    Start(state_, "Line", 1).triple(start).space(2).triple(end);
    return WriteLine(state_);
}

int REEcho::Point(const Point3& p) {
    Start(state_, "Point", 1).triple(p);
    return WriteLine(state_);
}

int REEcho::Cone(float height, float radius, float thetamax) {
    const float v[] = {height, radius, thetamax};
    Start(state_, "Cone", 2).nums(v, 3);
    return WriteLine(state_);
}

int REEcho::Cube() {
    Start(state_, "Cube", 0);
    return WriteLine(state_);
}

int REEcho::Cylinder(float radius, float zmin, float zmax, float thetamax) {
    const float v[] = {radius, zmin, zmax, thetamax};
    Start(state_, "Cylinder", 2).nums(v, 4);
    return WriteLine(state_);
}

int REEcho::Disk(float height, float radius, float thetamax) {
    const float v[] = {height, radius, thetamax};
    Start(state_, "Disk", 2).nums(v, 3);
    return WriteLine(state_);
}

int REEcho::Hyperboloid(const Point3& p1, const Point3& p2, float thetamax) {
    Start(state_, "Hyperboloid", 2).triple(p1).space(2).triple(p2).space(2).num(thetamax);
    return WriteLine(state_);
}

int REEcho::Paraboloid(float rmax, float zmin, float zmax, float thetamax) {
    const float v[] = {rmax, zmin, zmax, thetamax};
    Start(state_, "Paraboloid", 2).nums(v, 4);
    return WriteLine(state_);
}

int REEcho::Sphere(float radius, float zmin, float zmax, float thetamax) {
    const float v[] = {radius, zmin, zmax, thetamax};
    Start(state_, "Sphere", 2).nums(v, 4);
    return WriteLine(state_);
}

int REEcho::Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax) {
    const float v[] = {rmajor, rminor, phimin, phimax, thetamax};
    Start(state_, "Torus", 2).nums(v, 5);
    return WriteLine(state_);
}

int REEcho::Tube(const Point3& start, const Point3& end, float radius) {
    Start(state_, "Tube", 2).triple(start).space(2).triple(end).space(2).num(radius);
    return WriteLine(state_);
}

int REEcho::Background(const ColorRGB& c) {
    Start(state_, "Background", 2).triple(c);
    return WriteLine(state_);
}

int REEcho::Color(const ColorRGB& c) {
    Start(state_, "Color", 2).triple(c);
    return WriteLine(state_);
}

int REEcho::Fill(const Point3& seed) {
    Start(state_, "Fill", 2).triple(seed);
    return WriteLine(state_);
}

int REEcho::Surface(const std::string& name) {
    Start(state_, "Surface", 2).string(name);
    return WriteLine(state_);
}

int REEcho::PointLight(const Point3& at, const ColorRGB& c, float intensity) {
    Start(state_, "PointLight", 2).triple(at).space(2).triple(c).space(2).num(intensity);
    return WriteLine(state_);
}

int REEcho::FarLight(const Vector3& dir, const ColorRGB& c, float intensity) {
    Start(state_, "FarLight", 2).triple(dir).space(2).triple(c).space(2).num(intensity);
    return WriteLine(state_);
}

int REEcho::AmbientLight(const ColorRGB& c, float intensity) {
    Start(state_, "AmbientLight", 2).triple(c).space(2).num(intensity);
    return WriteLine(state_);
}

int REEcho::Specular(const ColorRGB& c, int exponent) {
    Start(state_, "Specular", 2).triple(c).space(2).num(exponent);
    return WriteLine(state_);
}

int REEcho::Ka(float ka) {
    Start(state_, "Ka", 2).num(ka);
    return WriteLine(state_);
}

int REEcho::Kd(float kd) {
    Start(state_, "Kd", 2).num(kd);
    return WriteLine(state_);
}

int REEcho::Ks(float ks) {
    Start(state_, "Ks", 2).num(ks);
    return WriteLine(state_);
}

int REEcho::OptionReal(const std::string& name, float value) {
    if (name == "Divisions") {
        EchoState& s = state_;
        s.divisions = EchoDivisions(value, s.divisions);
    }
    return 0;
}

}  // namespace kx
