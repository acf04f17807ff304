// The vertex transforms of the direct engine's pipeline: object space to
// world and screen, screen to device, normals, and texture coordinates to
// texel units.
#pragma once

#include "engines/direct/vertex_layout.h"

namespace kx {

struct DirectState;

// Floats 0..3 hold an object-space position: stores the world position into
// the layout's position slot, the screen position into floats 0..3, and 1
// into float 4.
void TransformVertex(AttributeVertex& v);
// Maps a normal (3 floats, in place) by the inverse transpose of the current
// transform.
void TransformNormal(float* n);
// Scales u, v (in place) to texel units of the current texture map; left
// unchanged when no map is current.
void ScaleTextureToTexels(float* uv);
// Texture coordinates of a parametric surface from the parameter fractions
// a, b: u = a * du + umin, v = b * dv + vmin (the MapBound settings).
void BoundTextureCoords(float a, float b, float* uv);
// Screen position to device coordinates: x, y through the screen-to-device
// matrix and divided by w, z divided by w, and every float from index 4 up
// to the layout's count divided by w.
void ProjectVertex(const DirectState& s, AttributeVertex& v);

}  // namespace kx
