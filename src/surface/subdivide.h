// Catmull-Clark subdivision surfaces, shared by the drawing engines: a
// control cage refined uniformly (OpenSubdiv) into the faces both engines
// draw as they draw a PolySet.
//
// The refined vertices carry the position, the normal of the limit surface
// and, when the cage's vertices have them, the colour and the texture
// coordinates, refined by the same rules as the positions. Along an
// infinitely sharp crease (sharpness 10 or more) the surface folds: the
// corners of the faces that meet there take each face's own normal.
#pragma once

#include <string>
#include <vector>

#include "core/limits.h"

namespace kx {

// The level actually used: the SubdivisionLevel option clamped to
// 0 .. kMaxSubdivisionLevel (the option keeps the value it was given).
inline int SubdivisionLevelUsed(int level) {
    if (level < 0) return 0;
    return level > kMaxSubdivisionLevel ? kMaxSubdivisionLevel : level;
}

// A refined surface: vertices of stride floats (position at 0, normal at 3,
// then colour and texture coordinates where the offsets say, -1 when
// absent), faces as vertex indices each ended by -1 (quadrilaterals, or the
// cage's own faces at level 0), and the vertex type string that reads
// these vertices ("PN", "PNC", "PNT" or "PNCT").
struct SubdividedSurface {
    std::vector<float> vertices;
    std::vector<int> indices;
    int stride = 6;
    int colorOffset = -1, textureOffset = -1;
    int vertexCount = 0, faceCount = 0;
    std::string vertexType = "PN";
};

// Refines the cage of a Subdivision command (the arguments as the engines
// receive them) to the given level into out. Returns 0; -10 for a vertex
// type without a position; -11 for an index outside the vertices;
// kErrSubdivisionCage for a face of fewer than three vertices or with a
// vertex twice, an edge of more than two faces or of two faces running the
// same way, faces meeting at a vertex but not along edges, or a crease
// along two vertices that are no edge of the cage; kErrSubdivisionSize when
// the refined surface would have more than kMaxSubdivisionFaces faces;
// kErrDisplayMemory when memory is refused; or kErrSubdivisionModule, after
// one line on standard error naming where it was looked for and why it
// failed, when kxrender-subdivide.so (OpenSubdiv, loaded by the first cage
// with faces) cannot be loaded. Nothing escapes as an exception and the
// library prints nothing. A cage without faces gives 0 and no faces.
int SubdivideCage(const std::string& vtype, const float* vertices, int nvertices, const int* faces, int nfaces,
                  const int* creases, int ncreases, const float* sharpness, int level, SubdividedSurface& out);

}  // namespace kx
