// Pieces shared by the direct engine's rasterisers (not for primitives).
#pragma once

#include "engines/direct/direct_state.h"

namespace kx {

// Screen position to device coordinates: x, y through the screen-to-device
// matrix and divided by w, z divided by w, and every float from index 4 up
// to the layout's count divided by w.
void ProjectVertex(const DirectState& s, AttributeVertex& v);

}  // namespace kx
