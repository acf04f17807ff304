// Object definitions: recorded commands (the ParsedObject family), the
// object table, and the replay of instances.
#pragma once

#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/math.h"
#include "interface/render_engine.h"
#include "scene/commands.h"

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

// The field that records a parameter of an engine operation: a copy of the
// value, or of the array behind a pointer.
template <typename Parameter>
struct Field {
    using type = std::decay_t<Parameter>;
};
template <>
struct Field<const float*> {
    using type = std::vector<float>;
};
template <>
struct Field<const int*> {
    using type = std::vector<int>;
};
template <>
struct Field<const std::string*> {
    using type = std::vector<std::string>;
};

// The engine operation a recorded call makes when its definition is
// replayed: the one it was recorded for, except that MapLoad finds a map
// that an earlier instance loaded (RenderEngine::MapLoadReplayed).
template <auto Op>
inline constexpr auto kReplayed = Op;
template <>
inline constexpr auto kReplayed<&RenderEngine::MapLoad> = &RenderEngine::MapLoadReplayed;

}  // namespace recorded

// A recorded call of the engine operation Op with the fields in call order.
// call() and invoke() make it at once, replay() from its definition.
template <auto Op, bool Draws, typename... F>
class ParsedCommand final : public ParsedObject {
public:
    using Fields = std::tuple<F...>;

    explicit ParsedCommand(F... fields) : fields_(std::move(fields)...) {}
    explicit ParsedCommand(Fields&& fields) : fields_(std::move(fields)) {}
    int replay(RenderEngine& engine) const override { return callAs<recorded::kReplayed<Op>>(engine, fields_); }
    bool draws() const override { return Draws; }
    // Executes the same call at once, without recording.
    template <typename... Args>
    static int invoke(RenderEngine& engine, const Args&... args) {
        return (engine.*Op)(recorded::pass(args)...);
    }
    static int call(RenderEngine& engine, const Fields& fields) { return callAs<Op>(engine, fields); }

private:
    template <auto Operation>
    static int callAs(RenderEngine& engine, const Fields& fields) {
        return std::apply([&](const F&... f) { return (engine.*Operation)(recorded::pass(f)...); }, fields);
    }

    Fields fields_;
};

namespace recorded {

template <auto Op, bool Draws, typename Operation = decltype(Op)>
struct CallOf;
template <auto Op, bool Draws, typename... Parameters>
struct CallOf<Op, Draws, int (RenderEngine::*)(Parameters...)> {
    using type = ParsedCommand<Op, Draws, typename Field<Parameters>::type...>;
};

}  // namespace recorded

// The recorded call of a command of the list (interface/commands.def) to an
// engine operation: its fields follow from the operation's parameters.
template <Command C, auto Operation>
using RecordedCall = typename recorded::CallOf<Operation, InfoOf(C).draws>::type;

class ObjectTable;

// An instance of another definition inside a definition, by label.
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
