// Vertex type strings: how the numbers of a caller's vertex array are laid
// out. Each letter is an attribute, in the order the numbers come: P
// position, N or D normal, C colour (3 numbers each), T texture coordinates
// (2), w weight and O opacity (1 each); double quotes count nothing.
//
// ReadVertexType is the one reader of these strings; what a reader of it
// accepts is its own choice (VertexStride below, for one, refuses O).
#pragma once

#include <string_view>

namespace kx {

// No real vertex has more numbers: a longer string is not read.
constexpr int kMaxVertexStride = 1 << 24;

// Where one attribute's numbers start in a vertex: at its first and at its
// last letter (the same unless the letter is repeated), -1 when absent.
struct VertexField {
    int first = -1;
    int last = -1;
    bool present() const { return first >= 0; }
};

// A vertex type string read.
struct VertexType {
    // False for a string with any other character or a stride over
    // kMaxVertexStride; the rest then covers the letters read before it.
    bool valid = false;
    int stride = 0;  // numbers per vertex
    VertexField position, color, normal, texture, weight, opacity;
};

// Reads a vertex type string. Texture coordinates take textureSize numbers:
// 2 in a caller's array (the default); a layout that keeps more per pair
// (the direct engine's pipeline vertices keep u, v and their two
// y-derivatives: 4) reads its offsets with its own size.
VertexType ReadVertexType(std::string_view type, int textureSize = 2);

// Numbers per vertex of a caller's array as the scene parser reads it, or
// -1 for a string with any other character, with an O (unless withOpacity:
// a PolySet's vertices may have one), or with a stride over kMaxVertexStride.
int VertexStride(std::string_view type, bool withOpacity = false);

}  // namespace kx
