// The direct engine's vertex pipeline: vertex layouts, pipeline vertices and
// the entry points through which every primitive hands its vertices over.
//
// A pipeline vertex (AttributeVertex) holds in floats 0..3 the homogeneous
// screen position, in float 4 the perspective factor (1 before projection,
// 1/w after) and from float 5 on the attributes of the current pipeline
// layout, directState().layout: the position slot holds the world position,
// the texture slot u, v and the two y-derivative slots.
//
// How a primitive draws a polygon:
//   1. directState().layout.reset(); append the attributes it supplies
//      (VertexAttribute::Position first or in any order); finalize().
//   2. For each vertex: fill floats 0..3 with the object-space position
//      (x, y, z, 1) and the attribute slots at the layout's offsets (normal
//      in object space, texture coordinates in 0..1 units), then call
//      PolygonVertex(v, last). Before the last vertex set
//      directState().face = {normal, true}.
// Pre-transformed vertices (screen position in 0..3, world-space attributes)
// go to TransformedVertex instead, with face.objectSpace = false.
// Polylines: LineVertex(v, draw) with object-space positions, or
// TransformedLineVertex(v, draw) for pre-transformed ones; draw = false
// starts a new path.
#pragma once

#include <string>

#include "core/math.h"

namespace kx {

constexpr int kVertexFloats = 24;        // floats in one pipeline vertex
constexpr int kFixedFloats = 5;          // screen x, y, z, w and the perspective factor
constexpr int kMaxPolygonVertices = 50;  // polygon buffer and clip output

enum class VertexAttribute { Position, Color, Normal, Texture, Weight, Opacity };

// Which attributes a vertex carries and where they lie (offsets in floats,
// -1 when absent).
struct VertexLayout {
    bool hasPosition = false, hasColor = false, hasNormal = false, hasTexture = false, hasWeight = false,
         hasOpacity = false;
    int count = 0;
    int position = -1, color = -1, normal = -1, texture = -1, weight = -1, opacity = -1;

    void reset() { *this = VertexLayout(); }
    // Appends one attribute at the current end. Texture coordinates take 4
    // floats in a pipeline layout (u, v and their y-derivatives), 2 in an
    // input layout. An attribute that would not fit in a pipeline vertex is
    // not appended.
    void append(VertexAttribute a, bool pipeline = true);
    // Moves every present offset and the count behind the 5 fixed floats.
    void finalize();
    // Builds a layout from a vertex type string (P, C, N or D, T, w, O;
    // double quotes ignored). 0, or -10 for any other character.
    int parse(const std::string& vertexType, bool pipeline);
};

// Builds the input layout of a caller's flat vertex array and the finalised
// pipeline layout from one vertex type string. 0, or -10 when the string is
// invalid, has no position, or needs more floats than a pipeline vertex has.
// With plainCopy the pipeline layout is the input layout finalised (texture
// coordinates keep 2 floats), as points and lines use it.
int BuildLayouts(const std::string& vertexType, VertexLayout& input, VertexLayout& pipeline,
                 bool plainCopy = false);

struct AttributeVertex {
    float v[kVertexFloats] = {};
    float& operator[](int i) { return v[i]; }
    float operator[](int i) const { return v[i]; }
};

// The flat normal of the polygon being built, and whether it is given in
// object space (then the pipeline maps it by the inverse transform).
struct FaceNormal {
    Vector3 normal{0, 0, 1};
    bool objectSpace = true;
};

// ---- vertex transforms (current transform, world-to-screen matrix) ----

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

// ---- polygon entries ----

// Object-space vertex (see above). Returns 0, or 1 when the polygon buffer
// is full and the vertex was dropped. The last vertex submits the polygon.
int PolygonVertex(const AttributeVertex& v, bool last);
// Vertex whose screen position and world-space attributes are already set.
int TransformedVertex(const AttributeVertex& v, bool last);

// ---- line entries ----

// Object-space vertex; draw = false moves to it, true draws a segment from
// the previous vertex.
void LineVertex(const AttributeVertex& v, bool draw);
// The same for a vertex whose screen position and world attributes are set.
void TransformedLineVertex(const AttributeVertex& v, bool draw);
// A line between two projected vertices (device x, y, depth, perspective
// factor and attributes divided by w).
void DeviceLine(const AttributeVertex& a, const AttributeVertex& b);

}  // namespace kx
