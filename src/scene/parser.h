// The parser: reads one command at a time, checks its block context, reads
// its arguments and executes it on the current engine, or records it inside
// an object definition.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "interface/current_engine.h"
#include "scene/commands.h"
#include "scene/objects.h"

namespace kx {

struct DisplayState;
class SceneInput;

enum BlockKind : int { kBlockObject = 0, kBlockFrame = 1, kBlockWorld = 2 };

class SceneParser {
public:
    // Reads from input, records definitions in objects, runs commands on
    // the engine of the slot; the display commands change display.
    SceneParser(SceneInput& input, ObjectTable& objects, CurrentEngine& engine, DisplayState& display)
        : input_(input), objects_(objects), engine_(engine), display_(display) {}
    SceneParser(const SceneParser&) = delete;
    SceneParser& operator=(const SceneParser&) = delete;

    // 0 after a drawn object with per-object refresh on, 1 at the end of the
    // input with every block closed, 2 when the first WorldBegin asks for the
    // display, or a negative error code.
    int ParseStep();
    void reset();

    int worldDepth = 0;
    int frameDepth = 0;
    int objectDepth = 0;
    std::vector<int> blocks;
    bool displayStarted = false;

private:
    int step();
    int execute(Command command);
    bool recording() const { return objectDepth > 0 && worldDepth == 0; }
    void openBlock(int kind, int& depth);
    // Closes the innermost block, which must be of the kind: false if not.
    bool closeBlock(int kind, int& depth);

    // A command read from its operation's parameters (KX_COMMAND).
    template <Command C, auto Operation>
    int readCall();
    // Records the call in the definition being recorded, or makes it at once.
    template <Command C, auto Operation, typename... Args>
    int recordOrCall(const Args&... args);

    // The commands with a grammar of their own (KX_SPECIAL), one reader
    // each: readCurve(), readDisplay(), ... (the vertex lists in
    // vertex_lists.cpp, the others in parser.cpp).
#define KX_SPECIAL(Keyword, ...) int read##Keyword();
#include "interface/commands.def"
    int readIndexedSet(Command command);  // LineSet and PolySet

    SceneInput& input_;
    ObjectTable& objects_;
    CurrentEngine& engine_;
    DisplayState& display_;
    std::string word_;
    std::string s1_, s2_, s3_;
    std::vector<float> floats_;
};

template <Command C, auto Operation, typename... Args>
int SceneParser::recordOrCall(const Args&... args) {
    using Call = RecordedCall<C, Operation>;
    if (recording()) {
        objects_.record(std::make_unique<Call>(args...));
        return 0;
    }
    return Call::invoke(*engine_, args...);
}

}  // namespace kx
