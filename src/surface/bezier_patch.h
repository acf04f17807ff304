// Bezier patches cut into quadrilaterals, shared by the engines that draw
// them.
//
// A patch is evaluated on records: each control point is a record of width
// floats (the engine chooses what they hold: positions, colours, normals,
// texture coordinates), and every point of the surface is found by repeated
// linear interpolation of whole records (de Casteljau), so that every value
// follows the position. Normals not given with the points are the cross
// products of the u and v derivatives of the positions.
#pragma once

#include <vector>

#include "core/math.h"

namespace kx {

// Floats in one record at most.
constexpr int kMaxPatchRecordFloats = 24;

// The storage of one control net under evaluation: its points, the u
// reductions of its rows per column, and the de Casteljau working copy.
struct BezierNetStorage {
    std::vector<float> points, table, copy;
};

// Working storage of the Bezier evaluation (the surface and its two
// derivative nets), kept between calls so that drawing allocates only when a
// larger net than before arrives. Its size follows the control net and the
// tessellation resolution; after a call that needed more than a modest
// amount the memory is given back.
struct BezierWork {
    BezierNetStorage surface, du, dv;
    void release();
    void trim();
};

// One de Casteljau reduction of count points of width floats each, spaced
// step floats apart starting at p, at parameter t; the result is left in
// the first point. t = 0 and t = 1 give the end points exactly.
void DeCasteljau(float* p, int count, int step, int width, float t);

// The segments used for n asked for when each evaluated point costs
// perPoint interpolation steps (a surface evaluates n x n points): fewer
// when a hostile degree would otherwise keep the engine busy for hours.
int LimitBezierSegments(int n, double perPoint, bool surface);

// Whether an array of that many control points of stride floats can exist:
// larger counts (a degree near the int range) come from no scene and would
// overflow the index arithmetic.
inline bool PlausibleBezierNet(double points, int stride) { return points * stride < double(1u << 31); }

// Receives the quadrilaterals of a patch: the records of its corners in
// drawing order, and the face normal (A' - A) x (B - A) on the positions.
class PatchQuads {
public:
    virtual ~PatchQuads() = default;
    virtual void quad(const float* a, const float* a2, const float* b2, const float* b, const Vector3& face) = 0;
};

// Cuts the patch of u degree m and v degree k whose (m + 1) * (k + 1)
// control records (width floats, u varying fastest) are in
// work.surface.points into n x n quadrilaterals (n already clamped, n > 0;
// fewer for very high degrees). position is the offset of the position in a
// record; normal the offset where derived normals are written, -1 when the
// records bring their own. Returns 0, or kErrDisplayMemory when the working
// storage cannot be had (it is then released).
int TessellateBezierPatch(BezierWork& work, int m, int k, int width, int position, int normal, int n,
                          PatchQuads& out);

}  // namespace kx
