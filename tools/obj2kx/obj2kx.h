// Conversion of a Wavefront OBJ mesh into one kx PolySet command.
#pragma once

#include <cstdio>
#include <string>

namespace kx {

// A kx polygon has at most this many vertices (the engines' polygon buffer);
// longer OBJ faces are split into a fan of triangles.
constexpr size_t kObjMaxFaceVertices = 50;

// Reads the OBJ file at path ("-" reads standard input) and writes to out a
// comment line and one PolySet with positions, and normals and texture
// coordinates when every face vertex has them. Errors and notes go to err as
// "<path>: <what>". Returns 0, or 1 for a file that cannot be converted.
int ConvertObj(const std::string& path, std::FILE* out, std::FILE* err);

}  // namespace kx
