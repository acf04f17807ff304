// The vertex transforms of the direct engine's pipeline: object space to
// world and screen, screen to device, normals, and texture coordinates to
// texel units.
#pragma once

#include "engines/direct/vertex_layout.h"

namespace kx {

struct DirectState;
class MapList;
class TransformState;

// Floats 0..3 hold an object-space position: stores the world position
// (through the modelling transform xf) into the slot of the current
// layout's position, the screen position (through the world-to-screen
// matrix) into floats 0..3, and 1 into float 4.
void TransformVertex(const DirectState& s, const TransformState& xf, AttributeVertex& v);
// Maps a normal (3 floats, in place) by the inverse transpose of the
// modelling transform.
void TransformNormal(const TransformState& xf, float* n);
// Scales u, v (in place) to texel units of the current texture map; left
// unchanged when no map is current.
void ScaleTextureToTexels(const MapList& maps, float* uv);
// Texture coordinates of a parametric surface from the parameter fractions
// a, b: u = a * du + umin, v = b * dv + vmin (the MapBound settings).
void BoundTextureCoords(const MapList& maps, float a, float b, float* uv);
// Screen position to device coordinates: x, y through the screen-to-device
// matrix and divided by w, z divided by w, and every float from index 4 up
// to the layout's count divided by w.
void ProjectVertex(const DirectState& s, AttributeVertex& v);

}  // namespace kx
