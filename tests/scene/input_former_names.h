// The scene input with the three reads the input tests assert on under the
// names they were written with (the input's methods are lowerCamelCase).
#pragma once

#include <string>

#include "scene/input.h"

namespace kxtest {

class SceneInputFormerNames : public kx::SceneInput {
public:
    int ReadToken(std::string& word) { return readToken(word); }
    bool AtEnd() const { return atEnd(); }
    bool Failed() const { return failed(); }
};

}  // namespace kxtest
