// The interface of kxrender-subdivide.so, the module that refines
// Subdivision cages through OpenSubdiv (subdivide_module.cpp). kxrender
// loads it when a scene first asks for a subdivision surface
// (subdivide.cpp), so that a run without one does not map OpenSubdiv and the
// shared C++ runtime it needs. The program links its C++ runtime in and the
// module uses the shared one: only C types cross, and nothing is thrown
// across.
#pragma once

#include <stddef.h>

// The module's file name, and the interface version both sides are built
// with (a module of another version is not used).
#define KX_SUBDIVIDE_MODULE "kxrender-subdivide.so"
#define KX_SUBDIVIDE_ABI 1

extern "C" {

// A cage as the Subdivision command gives it. Each vertex is stride floats:
// the position at positionAt, the colour at colorAt and the texture
// coordinates at textureAt (-1 when the vertex has none). Faces are vertex
// indices each ended by -1; creases are chains of vertex indices each ended
// by -1, with one sharpness for each edge of a chain (sharpness may be null:
// all 0). level is the refinement level, 0 .. kMaxSubdivisionLevel.
struct KxCageIn {
    const float* vertices;
    int nvertices, stride, positionAt, colorAt, textureAt;
    const int* faces;
    int nfaces;
    const int* creases;
    int ncreases;
    const float* sharpness;
    int level;
};

// A refined surface, as SubdividedSurface holds it (surface/subdivide.h):
// vertexCount vertices of stride floats, faceCount faces in indexCount
// indices. Owned by the module; freed with kx_subdivide_free.
struct KxSurfaceOut {
    float* vertices;
    int* indices;
    size_t indexCount;
    int stride, colorOffset, textureOffset, vertexCount, faceCount;
    void* owner;  // the module's
};

// KX_SUBDIVIDE_ABI of the module.
typedef int (*KxSubdivideAbi)(void);
// Refines a cage into *out: 0, or the status SubdivideCage returns (with
// *out null). A cage without faces gives 0 and a surface without faces.
typedef int (*KxSubdivideCage)(const KxCageIn* cage, KxSurfaceOut** out);
// Frees what kx_subdivide_cage gave (null: nothing).
typedef void (*KxSubdivideFree)(KxSurfaceOut* surface);

}  // extern "C"
