// How opaque a surface is, as Opacity and the vertices' O values say: both
// drawing engines show a surface of opacity a as a times its own colour
// plus (1 - a) times what lies behind it. Opacity 1 (the default) hides
// what lies behind, and the engines then do no work for it at all.
#pragma once

#include "core/math.h"

namespace kx {

// An opacity or an O value taken into 0..1; NaN gives 0 (the surface lets
// everything through rather than hide it with a colour of no meaning).
inline float UnitOpacity(float a) {
    if (a >= 1) return 1;
    return a > 0 ? a : 0;
}

// The colour of a pixel or a ray where a surface of colour c and opacity a
// lies over what shows behind it: the same sum in both engines.
inline ColorRGB OverBehind(const ColorRGB& c, float a, const ColorRGB& behind) { return c * a + behind * (1 - a); }

}  // namespace kx
