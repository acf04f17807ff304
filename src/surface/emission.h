// The light a surface gives off, as Emit and Ke set it: both drawing
// engines add Ke x intensity x colour to the colour the material lights,
// after the lights and the shadows, so that a surface of Ke 1 seen under no
// light shows its Emit colour. Ke 0 (the default) gives nothing off,
// whatever Emit says, and the engines then do no work for it at all.
#pragma once

#include "core/math.h"

namespace kx {

struct Emission {
    ColorRGB color{1, 1, 1};  // Emit's colour
    float intensity = 1;      // Emit's intensity
    float ke = 0;             // Ke

    // The colour added: the coefficient times the intensity, times the colour.
    ColorRGB light() const { return color * (ke * intensity); }
    // Whether anything is added: never with Ke 0, nor when the light is
    // black (adding zeros would change no byte).
    bool emits() const {
        if (ke == 0) return false;
        const ColorRGB l = light();
        return !(l.r == 0 && l.g == 0 && l.b == 0);
    }
};

}  // namespace kx
