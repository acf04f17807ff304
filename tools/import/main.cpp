// kxrender-import (also built under its old name kxrender-obj2kx):
// writes the meshes of a model file as kx scene commands.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/version.h"
#include "import.h"

namespace {

const char* kHelp =
    "Writes the meshes of a model file as kx scene commands on standard output\n"
    "(or into the --output file): one PolySet per material (positions, and\n"
    "normals, vertex colours and texture coordinates where the file has them),\n"
    "each after its material as Color, Kd, Ks, Specular and Surface, and\n"
    "MapLoad, Map and MapBorder for a texture. Node transforms are applied to\n"
    "the positions. Formats: OBJ with MTL, PLY, STL, glTF 2.0 (.gltf, .glb),\n"
    "Collada (.dae), 3DS and the others of the Open Asset Import Library, told\n"
    "by the file name's extension; \"-\" reads OBJ (or the --format) from\n"
    "standard input.\n"
    "\n"
    "Texture files are looked for in the model's folder and below, as named,\n"
    "with \\ as /, in any case of letters, and by their base name; one the\n"
    "renderer cannot read is left out with a warning (the material keeps its\n"
    "colour). Textures stored inside the model are written as PNG files\n"
    "beside the output (model_0.png, ...), and a texture path too long for a\n"
    "scene string gets a short symbolic link there (model_file1.jpg, ...);\n"
    "existing files of other content are never replaced.\n"
    "\n"
    "Options, before the file name:\n"
    "  --center      move the centre of the model's bounding box to the origin\n"
    "  --fit         centre the model and scale it to fit the cube from -1 to 1\n"
    "  --scale S     multiply the positions by S (after --center and --fit)\n"
    "  --format EXT  the format of standard input (obj, ply, stl, ...)\n"
    "  --output FILE, -o FILE\n"
    "                write the scene to FILE (whole, or not at all), naming\n"
    "                texture files so that the renderer finds them from any\n"
    "                folder; without it the scene goes to standard output and\n"
    "                texture files are named from the current folder\n"
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

// The scene into the --output file: a temporary file beside it, renamed to
// it when the import succeeds, removed when it fails.
int WriteScene(const std::string& model, const kx::ImportOptions& options) {
    const std::string& path = options.output;
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    std::FILE* out = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!out) {
        std::fprintf(stderr, "%s: cannot write: %s\n", kx::KxEscape(path, false).c_str(), std::strerror(errno));
        if (fd >= 0) {
            close(fd);
            unlink(temp.c_str());
        }
        return 1;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    int status = kx::ImportModel(model, options, out, stderr);
    const bool closed = std::fclose(out) == 0;
    if (status == 0 && (!closed || std::rename(temp.c_str(), path.c_str()) != 0)) {
        std::fprintf(stderr, "%s: cannot write: %s\n", kx::KxEscape(path, false).c_str(), std::strerror(errno));
        status = 1;
    }
    if (status != 0) unlink(temp.c_str());
    return status;
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
            std::printf("%s %s\n", base ? base + 1 : argv[0], kx::Version());
            return 0;
        }
        if (a == "--center") {
            options.center = true;
        } else if (a == "--fit") {
            options.fit = true;
        } else if ((a == "--scale" || a == "--format" || a == "--output" || a == "-o") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (a == "--output" || a == "-o") {
                options.output = value == "-" ? "" : value;
                continue;
            }
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
    if (options.output.empty()) return kx::ImportModel(argv[i], options, stdout, stderr);
    return WriteScene(argv[i], options);
}
