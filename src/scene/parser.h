// The parser: reads one command at a time, checks its block context, reads
// its arguments and executes it on the current engine, or records it inside
// an object definition.
#pragma once

#include <string>
#include <vector>

namespace kx {

class CurrentEngine;
struct DisplayState;
class ObjectTable;
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
    int execute(int command);
    bool recording() const { return objectDepth > 0 && worldDepth == 0; }

    SceneInput& input_;
    ObjectTable& objects_;
    CurrentEngine& engine_;
    DisplayState& display_;
    std::string word_;
    std::string s1_, s2_, s3_;
    std::vector<float> floats_;
};

}  // namespace kx
