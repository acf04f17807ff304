// kxrender-obj2kx: converts a Wavefront OBJ mesh into a kx PolySet.
#include <cstdio>
#include <cstring>

#include "obj2kx.h"

int main(int argc, char** argv) {
    const char* usage = "Usage: %s  model.obj\n"
                        "Writes the mesh of model.obj (\"-\": standard input) as one kx PolySet on standard output.\n";
    if (argc <= 1) {
        std::fprintf(stderr, usage, argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::printf(usage, argv[0]);
        return 0;
    }
    return kx::ConvertObj(argv[1], stdout, stderr);
}
