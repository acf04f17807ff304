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
    // --output: the scene's file, beside which embedded textures and links
    // are written; "" for standard output (they go into the current folder).
    std::string output;
    // Textures are looked for in the model's folder and stored ones written
    // beside the scene; false leaves every texture out, reading and writing
    // no file (models held in memory).
    bool textureFiles = true;
};

// Reads the model at path ("-" reads standard input) and writes its meshes
// to out. Node transforms are applied to the positions and normals. Errors
// and notes go to err as "<path>: <what>", one line each. Returns 0, or 1 for
// a file that cannot be converted.
// The library's work runs in a child process under limits of memory, time
// and stack (child.h), and the model may read only regular files in or
// below its folder (confine.h).
int ImportModel(const std::string& path, const ImportOptions& options, std::FILE* out, std::FILE* err);

// The same for a model held in memory, in the format options.format names
// (OBJ when empty), its messages starting with name; like standard input,
// it may read no other file. It runs in a child under limits (DefaultChildLimits
// when null), or with inChild false in this process, unbounded (the fuzz
// target, under the fuzzer's own limits).
struct ChildLimits;
int ImportBuffer(const std::string& name, const std::string& bytes, const ImportOptions& options, std::FILE* out,
                 std::FILE* err, bool inChild = true, const ChildLimits* limits = nullptr);

// Text for a quoted kx string (or a comment): quotes and backslashes
// escaped, control characters written as octal escapes, so that nothing in a
// name can end the string or start a new line. With quotes false only the
// control characters are escaped (for messages).
std::string KxEscape(const std::string& text, bool quotes = true);

}  // namespace kx
