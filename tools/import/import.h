// Models in the formats of the Open Asset Import Library (OBJ with MTL, PLY,
// STL, glTF, Collada, 3DS and more) as kx scene commands: one PolySet per
// material, each after the material's commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kx {

// A kx polygon has at most this many vertices (the engines' polygon buffer);
// longer faces are split into a fan of triangles.
constexpr size_t kObjMaxFaceVertices = 50;

// Model files larger than this are refused unread.
constexpr uint64_t kMaxModelBytes = uint64_t{1} << 30;

struct ImportOptions {
    double scale = 1;     // --scale: applied last
    bool center = false;  // --center: bounding box centre to the origin
    bool fit = false;     // --fit: centred and scaled into the cube from -1 to 1
    std::string format;   // --format: the format of standard input ("obj" when empty)
};

// Reads the model at path ("-" reads standard input) and writes its meshes
// to out. Node transforms are applied to the positions and normals. Errors
// and notes go to err as "<path>: <what>", one line each. Returns 0, or 1 for
// a file that cannot be converted.
int ImportModel(const std::string& path, const ImportOptions& options, std::FILE* out, std::FILE* err);

// Text for a quoted kx string (or a comment): quotes and backslashes
// escaped, control characters written as octal escapes, so that nothing in a
// name can end the string or start a new line. With quotes false only the
// control characters are escaped (for messages).
std::string KxEscape(const std::string& text, bool quotes = true);

}  // namespace kx
