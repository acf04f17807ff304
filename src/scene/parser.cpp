#include "scene/parser.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>

#include "core/errors.h"
#include "interface/current_engine.h"
#include "interface/vertex_type.h"
#include "scene/input.h"
#include "scene/numbers.h"
#include "scene/objects.h"
#include "display/display.h"

namespace kx {

namespace {

enum class Ctx { T, NWO, WnO, W, WO, nT, Any, FrameEnd, ObjectEnd };

enum Cmd : int {
    kAmbientLight, kBackground, kCameraAt, kCameraEye, kCameraFOV, kCameraUp, kCircle, kClipping,
    kColor, kCone, kConeLight, kCube, kCurve, kCustom, kCylinder, kDisk, kDisplay, kEmit, kEngine,
    kFarLight, kFill, kFormat, kFrameBegin, kFrameEnd, kHyperboloid, kKa, kKd, kKe, kKs, kLine,
    kLineSet, kMap, kMapBorder, kMapBound, kMapLoad, kMapSample, kObjectBegin, kObjectEnd,
    kObjectInstance, kOpacity, kOptionArray, kOptionBool, kOptionList, kOptionReal, kOptionString,
    kParaboloid, kPatch, kPoint, kPointLight, kPointSet, kPolySet, kRotate, kScale, kSpecular,
    kSphere, kSqSphere, kSqTorus, kSubdivision, kSurface, kTorus, kTranslate, kTube, kWorldBegin,
    kWorldEnd, kXformPop, kXformPush, kCommandCount
};

struct CommandInfo {
    std::string_view keyword;
    Ctx context;
    bool refresh;
};

// In the alphabetical order of the keywords (looked up by binary search).
constexpr CommandInfo kCommands[kCommandCount] = {
    {"AmbientLight", Ctx::WnO, false}, {"Background", Ctx::NWO, false},  {"CameraAt", Ctx::NWO, false},
    {"CameraEye", Ctx::NWO, false},    {"CameraFOV", Ctx::NWO, false},   {"CameraUp", Ctx::NWO, false},
    {"Circle", Ctx::W, true},          {"Clipping", Ctx::NWO, false},    {"Color", Ctx::Any, false},
    {"Cone", Ctx::WO, true},           {"ConeLight", Ctx::WnO, false},   {"Cube", Ctx::WO, true},
    {"Curve", Ctx::WO, true},          {"Custom", Ctx::WO, true},        {"Cylinder", Ctx::WO, true},
    {"Disk", Ctx::WO, true},           {"Display", Ctx::T, false},       {"Emit", Ctx::nT, false},
    {"Engine", Ctx::T, false},         {"FarLight", Ctx::WnO, false},    {"Fill", Ctx::W, true},
    {"Format", Ctx::T, false},         {"FrameBegin", Ctx::T, false},    {"FrameEnd", Ctx::FrameEnd, false},
    {"Hyperboloid", Ctx::WO, true},    {"Ka", Ctx::nT, false},           {"Kd", Ctx::nT, false},
    {"Ke", Ctx::nT, false},            {"Ks", Ctx::nT, false},           {"Line", Ctx::WO, true},
    {"LineSet", Ctx::WO, true},        {"Map", Ctx::nT, false},          {"MapBorder", Ctx::nT, false},
    {"MapBound", Ctx::nT, false},      {"MapLoad", Ctx::Any, false},     {"MapSample", Ctx::nT, false},
    {"ObjectBegin", Ctx::T, false},    {"ObjectEnd", Ctx::ObjectEnd, false}, {"ObjectInstance", Ctx::WO, false},
    {"Opacity", Ctx::nT, false},       {"OptionArray", Ctx::Any, false}, {"OptionBool", Ctx::Any, false},
    {"OptionList", Ctx::Any, false},   {"OptionReal", Ctx::Any, false},  {"OptionString", Ctx::Any, false},
    {"Paraboloid", Ctx::WO, true},     {"Patch", Ctx::WO, true},         {"Point", Ctx::WO, true},
    {"PointLight", Ctx::WnO, false},   {"PointSet", Ctx::WO, true},      {"PolySet", Ctx::WO, true},
    {"Rotate", Ctx::nT, false},        {"Scale", Ctx::nT, false},        {"Specular", Ctx::WO, false},
    {"Sphere", Ctx::WO, true},         {"SqSphere", Ctx::WO, true},      {"SqTorus", Ctx::WO, true},
    {"Subdivision", Ctx::WO, true},    {"Surface", Ctx::nT, false},      {"Torus", Ctx::nT, true},
    {"Translate", Ctx::nT, false},     {"Tube", Ctx::WO, true},          {"WorldBegin", Ctx::NWO, false},
    {"WorldEnd", Ctx::WnO, false},     {"XformPop", Ctx::nT, false},     {"XformPush", Ctx::nT, false},
};

int FindCommand(const std::string& word) {
    const CommandInfo* end = kCommands + kCommandCount;
    const CommandInfo* it = std::lower_bound(kCommands, end, std::string_view(word),
                                             [](const CommandInfo& c, std::string_view w) { return c.keyword < w; });
    if (it == end || it->keyword != word) return -1;
    return static_cast<int>(it - kCommands);
}

// Error codes of one vertex-list command.
struct ListCodes {
    int notNumber;     // a vertex word that is no number
    int noIndex;       // an index word that is no number
    int decimalPoint;  // an index followed by a decimal point
};
constexpr ListCodes kPolySetCodes{kErrVertexCoordExpected, kErrVertexIndexExpected, kErrIntegerExpected};
constexpr ListCodes kPointSetCodes{kErrVertexCoordExpected, 0, 0};
constexpr ListCodes kLineSetCodes{kErrIllegalContext, kErrIllegalContext, kErrIntegerExpected};
constexpr ListCodes kBezierCodes{kErrIllegalContext, 0, 0};
constexpr ListCodes kSubdivisionCodes{kErrVertexCoordExpected, kErrVertexIndexExpected, kErrVertexIndexExpected};

// a * b, saturating (counts come from the file and may be absurd).
long long SaturatingProduct(long long a, long long b) {
    if (a <= 0 || b <= 0) return 0;
    if (a > LLONG_MAX / b) return LLONG_MAX;
    return a * b;
}

class CommandReader {
public:
    explicit CommandReader(SceneInput& in) : in_(in) {}

    float f() {
        float v = 0;
        in_.extractFloat(v);
        return v;
    }
    double d() {
        double v = 0;
        in_.extractDouble(v);
        return v;
    }
    int i() {
        int v = 0;
        in_.extractInt(v);
        return v;
    }
    Point3 point() {
        Point3 p;
        p.x = f();
        p.y = f();
        p.z = f();
        return p;
    }
    Vector3 vector() {
        Vector3 v;
        v.x = f();
        v.y = f();
        v.z = f();
        return v;
    }
    ColorRGB color() {
        ColorRGB c;
        c.r = f();
        c.g = f();
        c.b = f();
        return c;
    }
    void word(std::string& w) {
        in_.skipBlank();
        in_.extractWord(w);
    }
    int skipInt() {
        in_.skipBlank();
        return i();
    }
    // A formatted extraction ran into the end of the input: the command is
    // cut short and is not executed.
    bool truncated() const { return in_.atEnd() && in_.failed(); }

    // count numbers of vertex data, appended to out.
    int vertexNumbers(long long count, int notNumber, std::vector<float>& out) {
        out.clear();
        // One buffer for the whole list instead of a doubling series of
        // copies (a count from the file is taken at its word only so far).
        try {
            out.reserve(static_cast<size_t>(std::min<long long>(count, 1 << 24)));
        } catch (const std::exception&) {
        }
        for (long long k = 0; k < count; ++k) {
            in_.skipBlank();
            if (in_.atEnd()) return kErrEndOfFile;
            in_.readToken(token_);
            const char* start = token_.c_str();
            char* end = nullptr;
            double v = ReadDouble(start, &end);
            if (end == start) return notNumber;
            out.push_back(static_cast<float>(v));
        }
        return 0;
    }

    // One index word for a list over nvertices vertices: 0 and the value.
    int index(int nvertices, const ListCodes& codes, long& value) {
        in_.skipBlank();
        if (in_.atEnd()) return kErrEndOfFile;
        in_.readToken(token_);
        const char* start = token_.c_str();
        char* end = nullptr;
        value = ReadLong(start, &end);
        if (end == start) return codes.noIndex;
        if (*end == '.') return codes.decimalPoint;
        if (value >= nvertices || value < -1) return kErrVertexIndexRange;
        return 0;
    }

    // Appends a value to the shared index buffer at position n.
    bool store(int& n, int value) {
        if (n >= in_.indexCapacity && !in_.growIndexBuffer()) return false;
        in_.indexBuffer[n++] = value;
        return true;
    }

    // An index list of items lists, each ended by -1, into the index buffer;
    // the number of stored entries in n.
    int indexList(int nvertices, int items, const ListCodes& codes, int& n) {
        n = 0;
        for (int closed = 0; closed < items;) {
            long v = 0;
            if (int s = index(nvertices, codes, v)) return s;
            if (!store(n, static_cast<int>(v))) return kErrDisplayMemory;
            if (v == -1) ++closed;
        }
        return 0;
    }

    SceneInput& in_;
    std::string token_;
};

bool ParseBoolWord(const std::string& w, bool& value) {
    if (w == "on" || w == "true" || w == "yes" || w == "1") {
        value = true;
        return true;
    }
    if (w == "off" || w == "false" || w == "no" || w == "0") {
        value = false;
        return true;
    }
    return false;
}

}  // namespace

void SceneParser::reset() {
    worldDepth = frameDepth = objectDepth = 0;
    blocks.clear();
    displayStarted = false;
}

int SceneParser::ParseStep() {
    // Memory refused anywhere in a command (its data, the objects it makes,
    // the stacks it grows) ends the run with a report, never with an abort.
    // The engines leave their state whole for the shutdown that follows.
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return kErrDisplayMemory;
    } catch (const std::length_error&) {
        return kErrDisplayMemory;
    }
}

int SceneParser::step() {
    SceneInput& in = input_;
    ObjectTable& objects = objects_;
    for (;;) {
        if (worldDepth > 0 && objects.replaying()) {
            bool drew = false;
            int status = objects.replayStep(*engine_, drew);
            if (status != 0) return status;
            if (drew && display_.perObjectRefresh) return 0;
            continue;
        }
        in.skipBlank();
        if (in.atEnd() && !in.hasPushback()) {
            // An input that could not be read to its end is cut short.
            if (in.readError() != 0) return kErrEndOfFile;
            return (worldDepth == 0 && frameDepth == 0 && objectDepth == 0) ? 1 : kErrEndOfFile;
        }
        if (in.readToken(word_) != 0 || in.readError() != 0) return kErrEndOfFile;
        int command = FindCommand(word_);
        if (command < 0) return kErrUnrecognizedSymbol;

        bool top = worldDepth == 0 && frameDepth == 0 && objectDepth == 0;
        bool allowed = true;
        switch (kCommands[command].context) {
            case Ctx::T: allowed = top; break;
            case Ctx::NWO: allowed = worldDepth == 0 && objectDepth == 0; break;
            case Ctx::WnO: allowed = worldDepth > 0 && objectDepth == 0; break;
            case Ctx::W: allowed = worldDepth > 0; break;
            case Ctx::WO: allowed = worldDepth > 0 || objectDepth > 0; break;
            case Ctx::nT: allowed = !top; break;
            case Ctx::Any: allowed = true; break;
            case Ctx::FrameEnd: allowed = frameDepth > 0 && worldDepth == 0 && objectDepth == 0; break;
            case Ctx::ObjectEnd: allowed = objectDepth > 0; break;
        }
        if (!allowed) return kErrIllegalContext;

        int status = execute(command);
        // Whatever a command found wrong after the input failed, the input
        // was cut short.
        if (status != 0) return in.readError() != 0 ? kErrEndOfFile : status;
        if (kCommands[command].refresh && display_.perObjectRefresh) return 0;
    }
}

int SceneParser::execute(int command) {
    SceneInput& in = input_;
    CommandReader r(in);
    RenderEngine& engine = *engine_;
    ObjectTable& objects = objects_;
    const bool rec = recording();

    // Records the command inside a definition, or runs it at once.
    auto emit = [&](auto tag, auto... args) -> int {
        using Obj = typename decltype(tag)::type;
        if (r.truncated()) return kErrEndOfFile;
        if (rec) {
            objects.record(std::make_unique<Obj>(std::move(args)...));
            return 0;
        }
        return Obj::invoke(engine, args...);
    };
    auto run = [&](auto call) -> int {
        if (r.truncated()) return kErrEndOfFile;
        return call();
    };
    auto strings = [&](std::initializer_list<std::string*> out) -> int {
        for (std::string* s : out)
            if (int status = in.readString(*s)) return status;
        return 0;
    };
#define KX_TAG(T) std::type_identity<T>()

    switch (command) {
        case kAmbientLight: {
            ColorRGB c = r.color();
            double intensity = r.d();
            return run([&] { return ParsedAmbientLightObject::invoke(engine, c, intensity); });
        }
        case kBackground: {
            ColorRGB c = r.color();
            return run([&] { return engine.Background(c); });
        }
        case kCameraAt: {
            Point3 p = r.point();
            return run([&] { return engine.CameraAt(p); });
        }
        case kCameraEye: {
            Point3 p = r.point();
            return run([&] { return engine.CameraEye(p); });
        }
        case kCameraFOV: {
            double v = r.d();
            return run([&] { return engine.CameraFOV(static_cast<float>(v)); });
        }
        case kCameraUp: {
            Vector3 v = r.vector();
            return run([&] { return engine.CameraUp(v); });
        }
        case kCircle: {
            Point3 p = r.point();
            double radius = r.d();
            return run([&] { return engine.Circle(p, static_cast<float>(radius)); });
        }
        case kClipping: {
            double hither = r.d();
            double yon = r.d();
            return run([&] { return engine.Clipping(static_cast<float>(hither), static_cast<float>(yon)); });
        }
        case kColor: {
            ColorRGB c = r.color();
            return emit(KX_TAG(ParsedColorObject), c);
        }
        case kCone: {
            in.skipBlank();
            double a = r.d(), b = r.d(), c = r.d();
            return emit(KX_TAG(ParsedConeObject), a, b, c);
        }
        case kConeLight: {
            Point3 from = r.point();
            Point3 to = r.point();
            double a1 = r.d(), a2 = r.d();
            ColorRGB c = r.color();
            double intensity = r.d();
            return run([&] {
                return engine.ConeLight(from, to, static_cast<float>(a1), static_cast<float>(a2), c,
                                        static_cast<float>(intensity));
            });
        }
        case kCube: return emit(KX_TAG(ParsedCubeObject));
        case kCurve: {
            r.word(s1_);
            if (s1_ != "\"Bezier\"") return kErrCurveType;
            r.word(s2_);
            int stride = VertexStride(s2_);
            if (stride < 0) return kErrVertexType;
            int degree = r.skipInt();
            if (r.truncated()) return kErrEndOfFile;
            if (degree < 0) return kErrBsplineMismatch;
            long long count = SaturatingProduct(static_cast<long long>(degree) + 1, stride);
            if (int s = r.vertexNumbers(count, kBezierCodes.notNumber, floats_)) return s;
            if (rec) {
                objects.record(std::make_unique<ParsedBezierCurveObject>(s2_, degree, floats_));
                return 0;
            }
            return engine.Curve(s2_, degree, floats_.data());
        }
        case kCustom: {
            if (int s = in.readString(s1_)) return s;
            if (rec) return 0;  // read and dropped inside a definition
            return engine.Custom(s1_);
        }
        case kCylinder: {
            in.skipBlank();
            double a = r.d(), b = r.d(), c = r.d(), d = r.d();
            return emit(KX_TAG(ParsedCylinderObject), a, b, c, d);
        }
        case kDisk: {
            in.skipBlank();
            double a = r.d(), b = r.d(), c = r.d();
            return emit(KX_TAG(ParsedDiskObject), a, b, c);
        }
        case kDisplay: {
            if (int s = strings({&s1_, &s2_, &s3_})) return s;
            if (int s = SelectDisplay(display_, s1_, s2_, s3_)) return s;
            return engine.Display(s1_, s2_, s3_);
        }
        case kEmit: {
            ColorRGB c = r.color();
            double intensity = r.d();
            return emit(KX_TAG(ParsedEmissionObject), c, intensity);
        }
        case kEngine: {
            if (int s = in.readString(s1_)) return s;
            return engine_.select(s1_);
        }
        case kFarLight: {
            Vector3 dir = r.vector();
            ColorRGB c = r.color();
            double intensity = r.d();
            return run([&] { return engine.FarLight(dir, c, static_cast<float>(intensity)); });
        }
        case kFill: {
            Point3 p = r.point();
            return run([&] { return engine.Fill(p); });
        }
        case kFormat: {
            int w = r.i(), h = r.i();
            return run([&] {
                SetFormat(display_, w, h);
                return engine.Format(w, h);
            });
        }
        case kFrameBegin: {
            int frame = r.i();
            return run([&] {
                int s = engine.FrameBegin(frame);
                if (s == 0) {
                    blocks.push_back(kBlockFrame);
                    ++frameDepth;
                }
                return s;
            });
        }
        case kFrameEnd: {
            if (blocks.empty() || blocks.back() != kBlockFrame) return kErrBlockInterleaving;
            blocks.pop_back();
            --frameDepth;
            return engine.FrameEnd();
        }
        case kHyperboloid: {
            in.skipBlank();
            Point3 p1 = r.point();
            Point3 p2 = r.point();
            double sweep = r.d();
            return emit(KX_TAG(ParsedHyperboloidObject), p1, p2, sweep);
        }
        case kKa: return emit(KX_TAG(ParsedKaObject), r.d());
        case kKd: return emit(KX_TAG(ParsedKdObject), r.d());
        case kKe: return emit(KX_TAG(ParsedKeObject), r.d());
        case kKs: return emit(KX_TAG(ParsedKsObject), r.d());
        case kLine: {
            Point3 a = r.point();
            Point3 b = r.point();
            return emit(KX_TAG(ParsedLineObject), a, b);
        }
        case kLineSet:
        case kPolySet: {
            const bool poly = command == kPolySet;
            const ListCodes& codes = poly ? kPolySetCodes : kLineSetCodes;
            r.word(s1_);
            int stride = VertexStride(s1_);
            if (stride < 0) return kErrVertexType;
            int nvertices = r.skipInt();
            int nitems = r.skipInt();
            if (r.truncated()) return kErrEndOfFile;
            if (nvertices < 0 || nitems < 0) return kErrVertexIndexRange;
            if (stride == 0 && nvertices > 0) return kErrVertexType;
            if (int s = r.vertexNumbers(SaturatingProduct(nvertices, stride), codes.notNumber, floats_)) return s;
            int n = 0;
            if (int s = r.indexList(nvertices, nitems, codes, n)) return s;
            const int* indices = in.indexBuffer.get();
            if (rec) {
                Ints copy(indices, indices + n);
                if (poly)
                    objects.record(std::make_unique<ParsedPolysetObject>(s1_, nvertices, floats_, nitems, std::move(copy)));
                else
                    objects.record(std::make_unique<ParsedLinesetObject>(s1_, nvertices, floats_, nitems, std::move(copy)));
                return 0;
            }
            return poly ? engine.PolySet(s1_, nvertices, floats_.data(), nitems, indices)
                        : engine.LineSet(s1_, nvertices, floats_.data(), nitems, indices);
        }
        case kMap: {
            if (int s = strings({&s1_, &s2_})) return s;
            return emit(KX_TAG(ParsedMapObject), s1_, s2_);
        }
        case kMapBorder: {
            if (int s = strings({&s1_, &s2_, &s3_})) return s;
            return emit(KX_TAG(ParsedMapBorderObject), s1_, s2_, s3_);
        }
        case kMapBound: {
            if (int s = in.readString(s1_)) return s;
            double a = r.d(), b = r.d(), c = r.d(), d = r.d();
            return emit(KX_TAG(ParsedMapBoundObject), s1_, a, b, c, d);
        }
        case kMapLoad: {
            if (int s = strings({&s1_, &s2_})) return s;
            return emit(KX_TAG(ParsedMapLoadObject), s1_, s2_);
        }
        case kMapSample: {
            if (int s = strings({&s1_, &s2_, &s3_})) return s;
            return emit(KX_TAG(ParsedMapSampleObject), s1_, s2_, s3_);
        }
        case kObjectBegin: {
            if (int s = in.readString(s1_)) return s;
            int count = 0;
            std::string* label = &s1_;
            const char* start = s1_.c_str();
            char* end = nullptr;
            long v = std::strtol(start, &end, 10);
            if (s1_.empty() || (end != start && *end == '\0')) {
                count = static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
                if (int s = in.readString(s2_)) return s;
                label = &s2_;
            } else if (end != start) {
                return kErrObjectParameters;
            }
            if (int s = objects.begin(*label, count)) return s;
            blocks.push_back(kBlockObject);
            ++objectDepth;
            return 0;
        }
        case kObjectEnd: {
            if (blocks.empty() || blocks.back() != kBlockObject) return kErrBlockInterleaving;
            blocks.pop_back();
            --objectDepth;
            return 0;
        }
        case kObjectInstance: {
            if (int s = in.readString(s1_)) return s;
            if (rec) {
                objects.record(std::make_unique<ParsedObjectInstanceObject>(s1_, objects));
                return 0;
            }
            return objects.lookupAndStart(s1_);
        }
        case kOpacity: return emit(KX_TAG(ParsedOpacityObject), r.d());
        case kOptionArray: {
            if (int s = in.readString(s1_)) return s;
            int n = r.i();
            if (r.truncated()) return kErrEndOfFile;
            if (n < 0) return kErrIllegalContext;
            floats_.clear();
            for (int k = 0; k < n; ++k) {
                float v = r.f();
                // A count beyond the numbers present ends the command here.
                if (in.failed()) return r.truncated() ? kErrEndOfFile : kErrUnrecognizedSymbol;
                floats_.push_back(v);
            }
            return emit(KX_TAG(ParsedOptionArrayObject), s1_, n, floats_);
        }
        case kOptionBool: {
            if (int s = in.readString(s1_)) return s;
            r.word(s2_);
            if (r.truncated()) return kErrEndOfFile;
            bool value = false;
            if (!ParseBoolWord(s2_, value)) return kErrBadBoolean;
            return emit(KX_TAG(ParsedOptionBoolObject), s1_, value);
        }
        case kOptionList: return 0;
        case kOptionReal: {
            if (int s = in.readString(s1_)) return s;
            double v = r.d();
            return emit(KX_TAG(ParsedOptionRealObject), s1_, v);
        }
        case kOptionString: {
            if (int s = strings({&s1_, &s2_})) return s;
            return emit(KX_TAG(ParsedOptionStringObject), s1_, s2_);
        }
        case kParaboloid: {
            in.skipBlank();
            double a = r.d(), b = r.d(), c = r.d(), d = r.d();
            return emit(KX_TAG(ParsedParaboloidObject), a, b, c, d);
        }
        case kPatch: {
            r.word(s1_);
            r.word(s2_);
            int stride = VertexStride(s2_);
            if (stride < 0) return kErrVertexType;
            if (s1_ != "\"Bezier\"") return kErrPatchType;
            int udegree = r.skipInt();
            int vdegree = r.i();
            if (r.truncated()) return kErrEndOfFile;
            if (udegree < 0 || vdegree < 0) return kErrBsplineMismatch;
            long long count = SaturatingProduct(
                SaturatingProduct(static_cast<long long>(udegree) + 1, static_cast<long long>(vdegree) + 1), stride);
            if (int s = r.vertexNumbers(count, kBezierCodes.notNumber, floats_)) return s;
            if (rec) {
                objects.record(std::make_unique<ParsedBezierPatchObject>(s2_, udegree, vdegree, floats_));
                return 0;
            }
            return engine.Patch(s2_, udegree, vdegree, floats_.data());
        }
        case kPoint: {
            Point3 p = r.point();
            return emit(KX_TAG(ParsedPointObject), p);
        }
        case kPointLight: {
            Point3 p = r.point();
            ColorRGB c = r.color();
            double intensity = r.d();
            return run([&] { return engine.PointLight(p, c, static_cast<float>(intensity)); });
        }
        case kPointSet: {
            r.word(s1_);
            int stride = VertexStride(s1_);
            if (stride < 0) return kErrVertexType;
            int count = r.skipInt();
            if (r.truncated()) return kErrEndOfFile;
            if (count < 0) return kErrVertexIndexRange;
            if (stride == 0 && count > 0) return kErrVertexType;
            if (int s = r.vertexNumbers(SaturatingProduct(count, stride), kPointSetCodes.notNumber, floats_)) return s;
            if (rec) {
                objects.record(std::make_unique<ParsedPointsetObject>(s1_, count, floats_));
                return 0;
            }
            return engine.PointSet(s1_, count, floats_.data());
        }
        case kRotate: {
            r.word(s1_);
            in.skipBlank();
            double angle = r.d();
            if (r.truncated()) return kErrEndOfFile;
            if (s1_ == "\"X\"" || s1_ == "\"x\"") return emit(KX_TAG(ParsedRotateYZObject), angle);
            if (s1_ == "\"Y\"" || s1_ == "\"y\"") return emit(KX_TAG(ParsedRotateZXObject), angle);
            if (s1_ == "\"Z\"" || s1_ == "\"z\"") return emit(KX_TAG(ParsedRotateXYObject), angle);
            return kErrRotationAxis;
        }
        case kScale: return emit(KX_TAG(ParsedScaleObject), r.vector());
        case kSpecular: {
            in.skipBlank();
            ColorRGB c = r.color();
            in.skipBlank();
            int exponent = r.i();
            return emit(KX_TAG(ParsedSpecularObject), c, exponent);
        }
        case kSphere: {
            in.skipBlank();
            double a = r.d(), b = r.d(), c = r.d(), d = r.d();
            return emit(KX_TAG(ParsedSphereObject), a, b, c, d);
        }
        case kSqSphere: {
            in.skipBlank();
            double v[6];
            for (double& x : v) x = r.d();
            return emit(KX_TAG(ParsedSqSphereObject), v[0], v[1], v[2], v[3], v[4], v[5]);
        }
        case kSqTorus: {
            in.skipBlank();
            double v[7];
            for (double& x : v) x = r.d();
            return emit(KX_TAG(ParsedSqTorusObject), v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
        }
        case kSubdivision: {
            r.word(s1_);
            r.word(s2_);
            int stride = VertexStride(s2_);
            if (stride < 0) return kErrVertexType;
            if (s1_ != "\"Catmull-Clark\"") return kErrPatchType;
            int nvertices = r.skipInt();
            int nfaces = r.skipInt();
            int ncreases = r.skipInt();
            if (r.truncated()) return kErrEndOfFile;
            if (nvertices < 0 || nfaces < 0 || ncreases < 0) return kErrVertexIndexRange;
            if (stride == 0 && nvertices > 0) return kErrVertexType;
            const ListCodes& codes = kSubdivisionCodes;
            if (int s = r.vertexNumbers(SaturatingProduct(nvertices, stride), codes.notNumber, floats_)) return s;
            int n = 0;
            if (int s = r.indexList(nvertices, nfaces, codes, n)) return s;
            const int* buffer = in.indexBuffer.get();
            Ints faces(buffer, buffer + n);
            Ints creases;
            Floats sharpness;
            creases.reserve(10);
            sharpness.reserve(10);
            for (int k = 0; k < ncreases; ++k) {
                int length = 0;
                for (;;) {
                    long v = 0;
                    if (int s = r.index(nvertices, codes, v)) return s;
                    creases.push_back(static_cast<int>(v));
                    if (v == -1) break;
                    ++length;
                }
                std::vector<float> values;
                if (int s = r.vertexNumbers(length > 0 ? length - 1 : 0, kErrFloatExpected, values)) return s;
                sharpness.insert(sharpness.end(), values.begin(), values.end());
            }
            auto object = std::make_unique<ParsedCatmullClarkSDSObject>(s2_, floats_, nvertices, std::move(faces),
                                                                        nfaces, std::move(creases), ncreases,
                                                                        std::move(sharpness));
            if (rec) {
                objects.record(std::move(object));
                return 0;
            }
            return object->replay(engine);
        }
        case kSurface: {
            if (int s = in.readString(s1_)) return s;
            return emit(KX_TAG(ParsedSurfaceObject), s1_);
        }
        case kTorus: {
            double v[5];
            for (double& x : v) x = r.d();
            return emit(KX_TAG(ParsedTorusObject), v[0], v[1], v[2], v[3], v[4]);
        }
        case kTranslate: return emit(KX_TAG(ParsedTranslateObject), r.vector());
        case kTube: {
            Point3 a = r.point();
            Point3 b = r.point();
            double radius = r.d();
            return emit(KX_TAG(ParsedTubeObject), a, b, radius);
        }
        case kWorldBegin: {
            if (!displayStarted) {
                displayStarted = true;
                in.pushToken("WorldBegin");
                return 2;
            }
            int s = engine.WorldBegin();
            if (s == 0) {
                blocks.push_back(kBlockWorld);
                ++worldDepth;
            }
            return s;
        }
        case kWorldEnd: {
            if (blocks.empty() || blocks.back() != kBlockWorld) return kErrBlockInterleaving;
            blocks.pop_back();
            --worldDepth;
            return engine.WorldEnd();
        }
        case kXformPop: return emit(KX_TAG(ParsedXformPopObject));
        case kXformPush: return emit(KX_TAG(ParsedXformPushObject));
        default: return kErrUnrecognizedSymbol;
    }
#undef KX_TAG
}

}  // namespace kx
