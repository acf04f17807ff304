// Object definitions: recorded commands (the ParsedObject family), the
// object table, and the replay of instances.
#pragma once

#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/math.h"
#include "interface/render_engine.h"

namespace kx {

// One recorded command. It owns deep copies of everything it recorded.
class ParsedObject {
public:
    virtual ~ParsedObject() = default;
    // Runs the command on an engine; the engine operation's result.
    virtual int replay(RenderEngine& engine) const = 0;
    // Whether the command draws (the parser may return after it to let the
    // window refresh).
    virtual bool draws() const = 0;
    // A nested instance is replayed by the object table, not by the engine.
    virtual const std::string* instanceLabel() const { return nullptr; }
};

namespace recorded {

// How a recorded field is handed to the engine operation.
inline const float* pass(const std::vector<float>& v) { return v.data(); }
inline const int* pass(const std::vector<int>& v) { return v.data(); }
inline const std::string* pass(const std::vector<std::string>& v) { return v.data(); }
template <typename T>
inline const T& pass(const T& value) {
    return value;
}
inline float pass(double value) { return static_cast<float>(value); }

}  // namespace recorded

// A recorded call of the engine operation Op with the fields in call order.
template <auto Op, bool Draws, typename... Fields>
class ParsedCommand final : public ParsedObject {
public:
    explicit ParsedCommand(Fields... fields) : fields_(std::move(fields)...) {}
    int replay(RenderEngine& engine) const override {
        return std::apply([&](const Fields&... f) { return (engine.*Op)(recorded::pass(f)...); }, fields_);
    }
    bool draws() const override { return Draws; }
    // Executes the same call at once, without recording.
    template <typename... Args>
    static int invoke(RenderEngine& engine, const Args&... args) {
        return (engine.*Op)(recorded::pass(args)...);
    }

private:
    std::tuple<Fields...> fields_;
};

using Floats = std::vector<float>;
using Ints = std::vector<int>;
using Str = std::string;

using ParsedAmbientLightObject = ParsedCommand<&RenderEngine::AmbientLight, false, ColorRGB, double>;
using ParsedBezierCurveObject = ParsedCommand<&RenderEngine::Curve, true, Str, int, Floats>;
using ParsedBezierPatchObject = ParsedCommand<&RenderEngine::Patch, true, Str, int, int, Floats>;
using ParsedCatmullClarkSDSObject =
    ParsedCommand<&RenderEngine::Subdivision, true, Str, Floats, int, Ints, int, Ints, int, Floats>;
using ParsedColorObject = ParsedCommand<&RenderEngine::Color, false, ColorRGB>;
using ParsedConeObject = ParsedCommand<&RenderEngine::Cone, true, double, double, double>;
using ParsedCubeObject = ParsedCommand<&RenderEngine::Cube, true>;
using ParsedCylinderObject = ParsedCommand<&RenderEngine::Cylinder, true, double, double, double, double>;
using ParsedDiskObject = ParsedCommand<&RenderEngine::Disk, true, double, double, double>;
using ParsedEmissionObject = ParsedCommand<&RenderEngine::Emit, false, ColorRGB, double>;
using ParsedHyperboloidObject = ParsedCommand<&RenderEngine::Hyperboloid, true, Point3, Point3, double>;
using ParsedKaObject = ParsedCommand<&RenderEngine::Ka, false, double>;
using ParsedKdObject = ParsedCommand<&RenderEngine::Kd, false, double>;
using ParsedKeObject = ParsedCommand<&RenderEngine::Ke, false, double>;
using ParsedKsObject = ParsedCommand<&RenderEngine::Ks, false, double>;
using ParsedLineObject = ParsedCommand<&RenderEngine::Line, true, Point3, Point3>;
using ParsedLinesetObject = ParsedCommand<&RenderEngine::LineSet, true, Str, int, Floats, int, Ints>;
using ParsedMapBorderObject = ParsedCommand<&RenderEngine::MapBorder, false, Str, Str, Str>;
using ParsedMapBoundObject = ParsedCommand<&RenderEngine::MapBound, false, Str, double, double, double, double>;
using ParsedMapLoadObject = ParsedCommand<&RenderEngine::MapLoad, false, Str, Str>;
using ParsedMapObject = ParsedCommand<&RenderEngine::Map, false, Str, Str>;
using ParsedMapSampleObject = ParsedCommand<&RenderEngine::MapSample, false, Str, Str, Str>;
using ParsedOpacityObject = ParsedCommand<&RenderEngine::Opacity, false, double>;
using ParsedOptionArrayObject = ParsedCommand<&RenderEngine::OptionArray, false, Str, int, Floats>;
using ParsedOptionBoolObject = ParsedCommand<&RenderEngine::OptionBool, false, Str, bool>;
using ParsedOptionListObject = ParsedCommand<&RenderEngine::OptionList, false, Str, int, std::vector<std::string>>;
using ParsedOptionRealObject = ParsedCommand<&RenderEngine::OptionReal, false, Str, double>;
using ParsedOptionStringObject = ParsedCommand<&RenderEngine::OptionString, false, Str, Str>;
using ParsedParaboloidObject = ParsedCommand<&RenderEngine::Paraboloid, true, double, double, double, double>;
using ParsedPointObject = ParsedCommand<&RenderEngine::Point, true, Point3>;
using ParsedPointsetObject = ParsedCommand<&RenderEngine::PointSet, true, Str, int, Floats>;
using ParsedPolysetObject = ParsedCommand<&RenderEngine::PolySet, true, Str, int, Floats, int, Ints>;
using ParsedRotateXYObject = ParsedCommand<&RenderEngine::RotateXY, false, double>;
using ParsedRotateYZObject = ParsedCommand<&RenderEngine::RotateYZ, false, double>;
using ParsedRotateZXObject = ParsedCommand<&RenderEngine::RotateZX, false, double>;
using ParsedScaleObject = ParsedCommand<&RenderEngine::Scale, false, Vector3>;
using ParsedSpecularObject = ParsedCommand<&RenderEngine::Specular, false, ColorRGB, int>;
using ParsedSphereObject = ParsedCommand<&RenderEngine::Sphere, true, double, double, double, double>;
using ParsedSqSphereObject =
    ParsedCommand<&RenderEngine::SqSphere, true, double, double, double, double, double, double>;
using ParsedSqTorusObject =
    ParsedCommand<&RenderEngine::SqTorus, true, double, double, double, double, double, double, double>;
using ParsedSurfaceObject = ParsedCommand<&RenderEngine::Surface, false, Str>;
using ParsedTorusObject = ParsedCommand<&RenderEngine::Torus, true, double, double, double, double, double>;
using ParsedTranslateObject = ParsedCommand<&RenderEngine::Translate, false, Vector3>;
using ParsedTubeObject = ParsedCommand<&RenderEngine::Tube, true, Point3, Point3, double>;
using ParsedXformPopObject = ParsedCommand<&RenderEngine::XformPop, false>;
using ParsedXformPushObject = ParsedCommand<&RenderEngine::XformPush, false>;

// An instance of another definition inside a definition, by label.
class ObjectTable;
class ParsedObjectInstanceObject final : public ParsedObject {
public:
    ParsedObjectInstanceObject(std::string label, ObjectTable& table) : label_(std::move(label)), table_(table) {}
    // Starts the replay of the definition in the table.
    int replay(RenderEngine& engine) const override;
    bool draws() const override { return false; }
    const std::string* instanceLabel() const override { return &label_; }

private:
    std::string label_;
    ObjectTable& table_;
};

struct ObjectRecord {
    std::string label;
    int parameterCount = 0;
    bool active = false;
    std::vector<std::unique_ptr<ParsedObject>> commands;
    ObjectRecord* savedDefinition = nullptr;
    size_t savedPosition = 0;
};

class ObjectTable {
public:
    // ObjectBegin after its words were read: 0 or -13.
    int begin(const std::string& label, int parameterCount);
    // Appends a command to the definition being recorded.
    void record(std::unique_ptr<ParsedObject> command);
    // Starts the replay of a definition: 0, -12 or -8.
    int lookupAndStart(const std::string& label);
    bool replaying() const { return replayDepth > 0; }
    // One step of the replay: runs the next recorded command on the engine
    // (or finishes a nested replay). Sets drew when a drawing command ran.
    int replayStep(RenderEngine& engine, bool& drew);
    void reset();

    std::vector<std::unique_ptr<ObjectRecord>> records;  // in definition order
    std::unordered_map<std::string, ObjectRecord*> byLabel;
    ObjectRecord* current = nullptr;
    int replayDepth = 0;
    size_t replayPosition = 0;
};

}  // namespace kx
