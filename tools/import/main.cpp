// kxrender-import (also installed under its old name kxrender-obj2kx):
// writes the meshes of a model file as kx scene commands.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "import.h"

namespace {

const char* kHelp =
    "Writes the meshes of a model file as kx scene commands on standard output:\n"
    "one PolySet per material (positions, and normals and texture coordinates\n"
    "where the file has them), each after its material as Color, Kd, Ks,\n"
    "Specular and Surface, and MapLoad and Map for a texture file. Node\n"
    "transforms are applied to the positions. Formats: OBJ with MTL, PLY, STL,\n"
    "glTF 2.0 (.gltf, .glb), Collada (.dae), 3DS and the others of the Open\n"
    "Asset Import Library, told by the file name's extension; \"-\" reads OBJ\n"
    "(or the --format) from standard input.\n"
    "\n"
    "Options, before the file name:\n"
    "  --center      move the centre of the model's bounding box to the origin\n"
    "  --fit         centre the model and scale it to fit the cube from -1 to 1\n"
    "  --scale S     multiply the positions by S (after --center and --fit)\n"
    "  --format EXT  the format of standard input (obj, ply, stl, ...)\n"
    "  --help, -h    this text\n"
    "  --version     the program's version\n"
    "\n"
    "Errors name the file and what is wrong, with exit status 1.\n";

void Usage(std::FILE* f, const char* program) {
    const char* base = std::strrchr(program, '/');
    base = base ? base + 1 : program;
    const bool oldName = std::strcmp(base, "kxrender-obj2kx") == 0;
    std::fprintf(f, "Usage: %s  %s\n", program, oldName ? "model.obj" : "[options] model.file");
}

}  // namespace

int main(int argc, char** argv) {
    kx::ImportOptions options;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout, argv[0]);
            std::printf("\n%s", kHelp);
            return 0;
        }
        if (a == "--version") {
            const char* base = std::strrchr(argv[0], '/');
            std::printf("%s %s\n", base ? base + 1 : argv[0], KX_VERSION);
            return 0;
        }
        if (a == "--center") {
            options.center = true;
        } else if (a == "--fit") {
            options.fit = true;
        } else if ((a == "--scale" || a == "--format") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (a == "--format") {
                options.format = value;
                continue;
            }
            char* end = nullptr;
            errno = 0;
            options.scale = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(options.scale) || options.scale == 0) {
                std::fprintf(stderr, "%s: --scale needs a finite number other than 0, not \"%s\"\n", argv[0],
                             value.c_str());
                return 2;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "%s: unknown option \"%s\"\n", argv[0], a.c_str());
            Usage(stderr, argv[0]);
            return 2;
        } else {
            break;
        }
    }
    if (i != argc - 1) {
        Usage(stderr, argv[0]);
        std::fprintf(stderr, "(--help tells more)\n");
        return 2;
    }
    return kx::ImportModel(argv[i], options, stdout, stderr);
}
