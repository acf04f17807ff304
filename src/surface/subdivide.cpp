// SubdivideCage through kxrender-subdivide.so (subdivide_module.h), loaded
// when the first cage with faces comes: OpenSubdiv, and the shared C++
// runtime it needs, are mapped only by the runs that draw a subdivision
// surface.
#include "surface/subdivide.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "core/errors.h"
#include "interface/vertex_type.h"
#include "surface/subdivide_module.h"

namespace kx {

namespace {

// The module's functions, all null when it could not be loaded; then why,
// as one line naming where it was looked for.
struct Module {
    KxSubdivideCage cage = nullptr;
    KxSubdivideFree free = nullptr;
    std::string failure;
};

// The folders the module is looked for in: the running program's, then
// <that folder>/../<libdir>/kxrender (where it is installed, wherever the
// prefix); in builds with tests or fuzz targets also the build folder, for
// the programs inside it (the test and fuzz programs in its subfolders).
// Never the current folder nor the environment.
std::vector<std::string> ModuleFolders() {
    std::vector<std::string> folders;
    char self[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", self, PATH_MAX);
    if (n <= 0 || self[0] != '/') return folders;
    // The link names the program by its real path (no "." or "..", no
    // links), so that its folder's parent is the name without its last part.
    const std::string program(self, static_cast<size_t>(n));
    const std::string dir = program.substr(0, program.rfind('/'));
    const std::string parent = dir.substr(0, dir.rfind('/'));
    const std::string libdir = KX_SUBDIVIDE_LIBDIR;
    folders.push_back(dir.empty() ? "/" : dir);
    folders.push_back((libdir[0] == '/' ? libdir : parent + "/" + libdir) + "/kxrender");
#ifdef KX_SUBDIVIDE_BUILD_DIR
    if (char* build = realpath(KX_SUBDIVIDE_BUILD_DIR, nullptr)) {
        if (dir.rfind(std::string(build) + "/", 0) == 0) folders.push_back(build);
        std::free(build);
    }
#endif
    return folders;
}

// dlerror's text without the file name it starts with.
std::string Reason(const std::string& path) {
    const char* text = dlerror();
    std::string reason = text ? text : "unknown error";
    if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
    return reason;
}

Module Load() {
    Module module;
    std::vector<std::string> folders = ModuleFolders();
    std::vector<std::string> reasons;
    for (const std::string& folder : folders) {
        const std::string path = folder + "/" KX_SUBDIVIDE_MODULE;
        // Loaded once and kept: its functions are used to the end.
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            reasons.push_back(Reason(path));
            continue;
        }
        auto abi = reinterpret_cast<KxSubdivideAbi>(dlsym(handle, "kx_subdivide_abi"));
        module.cage = reinterpret_cast<KxSubdivideCage>(dlsym(handle, "kx_subdivide_cage"));
        module.free = reinterpret_cast<KxSubdivideFree>(dlsym(handle, "kx_subdivide_free"));
        if (abi && abi() == KX_SUBDIVIDE_ABI && module.cage && module.free) return module;
        module = Module();
        reasons.push_back("another version's module");
        dlclose(handle);
    }
    // "cannot load kxrender-subdivide.so: looked in A and B: reason", or
    // each folder with its own reason where they differ.
    bool same = true;
    for (const std::string& r : reasons) same = same && r == reasons[0];
    std::string line = "cannot load " KX_SUBDIVIDE_MODULE ": looked in ";
    for (size_t i = 0; i < folders.size(); ++i) {
        if (i > 0) line += i + 1 == folders.size() ? " and " : ", ";
        line += folders[i];
        if (!same) line += " (" + reasons[i] + ")";
    }
    if (folders.empty()) line += "no folder (the program's own is unknown)";
    if (same && !reasons.empty()) line += ": " + reasons[0];
    module.failure = line + "\n";
    return module;
}

// The module, loaded by the first call (C++ runs the initialisation of a
// static once, whichever thread comes first, the others waiting for it).
const Module& TheModule() {
    static const Module module = Load();
    return module;
}

}  // namespace

int SubdivideCage(const std::string& vtype, const float* vertices, int nvertices, const int* faces, int nfaces,
                  const int* creases, int ncreases, const float* sharpness, int level, SubdividedSurface& out) {
    out = SubdividedSurface();
    const VertexType type = ReadVertexType(vtype);
    if (!type.valid || !type.position.present()) return kErrVertexType;
    if (nvertices <= 0 || nfaces <= 0 || !vertices || !faces) return 0;
    if (ncreases < 0 || (ncreases > 0 && !creases)) ncreases = 0;
    const Module& module = TheModule();
    if (!module.cage) {
        std::fwrite(module.failure.data(), 1, module.failure.size(), stderr);
        std::fflush(stderr);
        return kErrSubdivisionModule;
    }
    const KxCageIn cage{vertices,        nvertices,         type.stride, type.position.last,
                        type.color.last, type.texture.last, faces,       nfaces,
                        creases,         ncreases,          sharpness,   SubdivisionLevelUsed(level)};
    KxSurfaceOut* refined = nullptr;
    const int status = module.cage(&cage, &refined);
    if (status != 0 || !refined) return status;
    try {
        out.vertices.assign(refined->vertices,
                            refined->vertices + static_cast<size_t>(refined->vertexCount) * refined->stride);
        out.indices.assign(refined->indices, refined->indices + refined->indexCount);
    } catch (const std::bad_alloc&) {
        module.free(refined);
        out = SubdividedSurface();
        return kErrDisplayMemory;
    }
    out.stride = refined->stride;
    out.colorOffset = refined->colorOffset;
    out.textureOffset = refined->textureOffset;
    out.vertexCount = refined->vertexCount;
    out.faceCount = refined->faceCount;
    out.vertexType = std::string("PN") + (out.colorOffset >= 0 ? "C" : "") + (out.textureOffset >= 0 ? "T" : "");
    module.free(refined);
    return 0;
}

}  // namespace kx
