#include "scene/parser.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <new>
#include <stdexcept>

#include "core/errors.h"
#include "display/display.h"
#include "scene/command_reader.h"
#include "scene/input.h"

namespace kx {

namespace {

// The strings in order; the first status other than 0 ends the reading.
int ReadStrings(SceneInput& in, std::initializer_list<std::string*> out) {
    for (std::string* s : out)
        if (int status = in.readString(*s)) return status;
    return 0;
}

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
    for (;;) {
        if (worldDepth > 0 && objects_.replaying()) {
            bool drew = false;
            int status = objects_.replayStep(*engine_, drew);
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
        const CommandInfo& info = kCommands[command];

        bool top = worldDepth == 0 && frameDepth == 0 && objectDepth == 0;
        bool allowed = true;
        switch (info.context) {
            case BlockContext::Top: allowed = top; break;
            case BlockContext::OutsideWorld: allowed = worldDepth == 0 && objectDepth == 0; break;
            case BlockContext::WorldNoObject: allowed = worldDepth > 0 && objectDepth == 0; break;
            case BlockContext::World: allowed = worldDepth > 0; break;
            case BlockContext::WorldOrObject: allowed = worldDepth > 0 || objectDepth > 0; break;
            case BlockContext::NotTop: allowed = !top; break;
            case BlockContext::Anywhere: allowed = true; break;
            case BlockContext::InFrame: allowed = frameDepth > 0 && worldDepth == 0 && objectDepth == 0; break;
            case BlockContext::InObject: allowed = objectDepth > 0; break;
        }
        if (!allowed) return kErrIllegalContext;

        int status = execute(static_cast<Command>(command));
        // Whatever a command found wrong after the input failed, the input
        // was cut short.
        if (status != 0) return in.readError() != 0 ? kErrEndOfFile : status;
        if (info.draws && display_.perObjectRefresh) return 0;
    }
}

int SceneParser::execute(Command command) {
    switch (command) {
#define KX_COMMAND(Keyword, ...) \
    case Command::Keyword: return readCall<Command::Keyword, &RenderEngine::Keyword>();
#define KX_SPECIAL(Keyword, ...) \
    case Command::Keyword: return read##Keyword();
#include "interface/commands.def"
    }
    return kErrUnrecognizedSymbol;
}

template <Command C, auto Operation>
int SceneParser::readCall() {
    using Call = RecordedCall<C, Operation>;
    CommandReader r(input_);
    typename Call::Fields fields;
    if (int s = r.arguments<InfoOf(C).gaps>(fields)) return s;
    if (r.truncated()) return kErrEndOfFile;
    if (recording()) {
        objects_.record(std::make_unique<Call>(std::move(fields)));
        return 0;
    }
    return Call::call(*engine_, fields);
}

// ---- the blocks ----

void SceneParser::openBlock(int kind, int& depth) {
    blocks.push_back(kind);
    ++depth;
}

bool SceneParser::closeBlock(int kind, int& depth) {
    if (blocks.empty() || blocks.back() != kind) return false;
    blocks.pop_back();
    --depth;
    return true;
}

int SceneParser::readFrameBegin() {
    CommandReader r(input_);
    int frame = r.i();
    if (r.truncated()) return kErrEndOfFile;
    int s = engine_->FrameBegin(frame);
    if (s == 0) openBlock(kBlockFrame, frameDepth);
    return s;
}

int SceneParser::readFrameEnd() {
    if (!closeBlock(kBlockFrame, frameDepth)) return kErrBlockInterleaving;
    return engine_->FrameEnd();
}

int SceneParser::readWorldBegin() {
    if (!displayStarted) {
        displayStarted = true;
        input_.pushToken("WorldBegin");
        return 2;
    }
    int s = engine_->WorldBegin();
    if (s == 0) openBlock(kBlockWorld, worldDepth);
    return s;
}

int SceneParser::readWorldEnd() {
    if (!closeBlock(kBlockWorld, worldDepth)) return kErrBlockInterleaving;
    return engine_->WorldEnd();
}

int SceneParser::readObjectBegin() {
    if (int s = input_.readString(s1_)) return s;
    int count = 0;
    std::string* label = &s1_;
    const char* start = s1_.c_str();
    char* end = nullptr;
    long v = std::strtol(start, &end, 10);
    if (s1_.empty() || (end != start && *end == '\0')) {
        count = static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
        if (int s = input_.readString(s2_)) return s;
        label = &s2_;
    } else if (end != start) {
        return kErrObjectParameters;
    }
    if (int s = objects_.begin(*label, count)) return s;
    openBlock(kBlockObject, objectDepth);
    return 0;
}

int SceneParser::readObjectEnd() { return closeBlock(kBlockObject, objectDepth) ? 0 : kErrBlockInterleaving; }

int SceneParser::readObjectInstance() {
    if (int s = input_.readString(s1_)) return s;
    if (recording()) {
        objects_.record(std::make_unique<ParsedObjectInstanceObject>(s1_, objects_));
        return 0;
    }
    return objects_.lookupAndStart(s1_);
}

// ---- the run's setup: engine, display, image size ----

int SceneParser::readEngine() {
    if (int s = input_.readString(s1_)) return s;
    return engine_.select(s1_);
}

int SceneParser::readDisplay() {
    if (int s = ReadStrings(input_, {&s1_, &s2_, &s3_})) return s;
    if (int s = SelectDisplay(display_, s1_, s2_, s3_)) return s;
    return engine_->Display(s1_, s2_, s3_);
}

int SceneParser::readFormat() {
    CommandReader r(input_);
    int w = r.i(), h = r.i();
    if (r.truncated()) return kErrEndOfFile;
    SetFormat(display_, w, h);
    return engine_->Format(w, h);
}

// ---- the rest ----

int SceneParser::readCustom() {
    if (int s = input_.readString(s1_)) return s;
    if (recording()) return 0;  // read and dropped inside a definition
    return engine_->Custom(s1_);
}

int SceneParser::readRotate() {
    CommandReader r(input_);
    r.word(s1_);
    input_.skipBlank();
    float angle = static_cast<float>(r.d());
    if (r.truncated()) return kErrEndOfFile;
    if (s1_ == "\"X\"" || s1_ == "\"x\"") return recordOrCall<Command::Rotate, &RenderEngine::RotateYZ>(angle);
    if (s1_ == "\"Y\"" || s1_ == "\"y\"") return recordOrCall<Command::Rotate, &RenderEngine::RotateZX>(angle);
    if (s1_ == "\"Z\"" || s1_ == "\"z\"") return recordOrCall<Command::Rotate, &RenderEngine::RotateXY>(angle);
    return kErrRotationAxis;
}

int SceneParser::readOptionArray() {
    CommandReader r(input_);
    if (int s = input_.readString(s1_)) return s;
    int n = r.i();
    if (r.truncated()) return kErrEndOfFile;
    if (n < 0) return kErrIllegalContext;
    floats_.clear();
    for (int k = 0; k < n; ++k) {
        float v = r.f();
        // A count beyond the numbers present ends the command here.
        if (input_.failed()) return r.truncated() ? kErrEndOfFile : kErrUnrecognizedSymbol;
        floats_.push_back(v);
    }
    return recordOrCall<Command::OptionArray, &RenderEngine::OptionArray>(s1_, n, floats_);
}

int SceneParser::readOptionBool() {
    CommandReader r(input_);
    if (int s = input_.readString(s1_)) return s;
    r.word(s2_);
    if (r.truncated()) return kErrEndOfFile;
    bool value = false;
    if (!ParseBoolWord(s2_, value)) return kErrBadBoolean;
    return recordOrCall<Command::OptionBool, &RenderEngine::OptionBool>(s1_, value);
}

// The command word alone: its list is not read, and no operation is called.
int SceneParser::readOptionList() { return 0; }

}  // namespace kx
