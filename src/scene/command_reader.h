// The arguments of one command, read from the scene input by the rules of
// the format: numbers by formatted extraction (a malformed one fails the
// input and reads as 0), strings quoted or bare, and the check that the
// end of the input did not cut the command short.
#pragma once

#include <string>
#include <tuple>
#include <type_traits>

#include "core/math.h"
#include "scene/commands.h"
#include "scene/input.h"

namespace kx {

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
    // Three floats in order: a point, a vector or a colour.
    template <typename T>
    T triple() {
        float a = f();
        float b = f();
        float c = f();
        return T(a, b, c);
    }
    void word(std::string& w) {
        in_.skipBlank();
        in_.extractWord(w);
    }
    int skipInt() {
        in_.skipBlank();
        return i();
    }
    // 0, -1 (end of input) or -5 (runaway string).
    int string(std::string& s) { return in_.readString(s); }
    // A formatted extraction ran into the end of the input: the command is
    // cut short and is not executed.
    bool truncated() const { return in_.atEnd() && in_.failed(); }

    // One argument of an engine operation's parameter type; 0, or the status
    // of a string that could not be read.
    int argument(float& v) {
        v = static_cast<float>(d());
        return 0;
    }
    int argument(int& v) {
        v = i();
        return 0;
    }
    template <typename T>
        requires std::is_same_v<T, Point3> || std::is_same_v<T, Vector3> || std::is_same_v<T, ColorRGB>
    int argument(T& value) {
        value = triple<T>();
        return 0;
    }
    int argument(std::string& s) { return string(s); }

    // The arguments of a command in order, with the gaps the command allows
    // before them; the first status other than 0 ends the reading.
    template <ArgumentGaps G, typename... T>
    int arguments(std::tuple<T...>& fields) {
        if constexpr (sizeof...(T) == 0) {
            return 0;
        } else {
            return std::apply(
                [&](T&... field) {
                    int status = 0;
                    bool first = true;
                    auto one = [&](auto& value) {
                        if (status != 0) return;
                        if (G == ArgumentGaps::BlankEach || (G == ArgumentGaps::BlankFirst && first)) in_.skipBlank();
                        first = false;
                        status = argument(value);
                    };
                    (one(field), ...);
                    return status;
                },
                fields);
        }
    }

protected:
    SceneInput& in_;
};

}  // namespace kx
