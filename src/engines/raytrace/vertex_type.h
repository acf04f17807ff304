// The layout of a vertex type string (the letters of PolySet and Patch): how
// many floats a vertex has and where its position, texture coordinates,
// colour and normal lie among them.
#pragma once

#include <string>

namespace kx::raytrace {

// Floats per vertex and offset of the position for a vertex type string
// (P, C, N, D: 3; T: 2; w, O: 1; '"' ignored). False for any other letter.
// textureOffset, colorOffset and normalOffset, when given, receive the
// offsets of T, C and the first of N and D (-1 without).
bool ParseVertexType(const std::string& vertexType, int& stride, int& positionOffset,
                     int* textureOffset = nullptr, int* colorOffset = nullptr, int* normalOffset = nullptr);

}  // namespace kx::raytrace
