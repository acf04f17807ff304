// The direct engine's vertices: the pipeline vertex, the layouts that say
// where its attributes lie, and the flat normal of the polygon being built.
//
// A pipeline vertex (AttributeVertex) holds in floats 0..3 the homogeneous
// screen position, in float 4 the perspective factor (1 before projection,
// 1/w after) and from float 5 on the attributes of the current pipeline
// layout: the position slot holds the world position, the texture slot u, v
// and the two y-derivative slots.
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
    // Builds a layout from a vertex type string (interface/vertex_type.h:
    // P, C, N or D, T, w, O; double quotes ignored); a repeated letter lies
    // where it comes last. 0, or -10 for any other character or, in a
    // pipeline layout, more floats than a pipeline vertex holds (the layout
    // is then empty).
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

}  // namespace kx
