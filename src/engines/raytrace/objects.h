// Ray-traced objects. Every object but the polygon face keeps a
// world-to-object matrix that maps its shape onto one canonical shape (unit
// sphere, cylinder, cone, cube, disk, or a polygon set in its own
// coordinates); intersection happens there, with the ray parameter t shared
// by both spaces because directions are not renormalized.
//
// What every object shares is in objects.cpp, the canonical shapes in
// canonical_shapes.cpp, the polygon faces in poly_faces.cpp, the polygon
// sets and tessellated surfaces in poly_sets.cpp.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/math.h"
#include "engines/raytrace/bounding_tree.h"
#include "engines/raytrace/face_hierarchy.h"
#include "engines/raytrace/surface.h"

namespace kx::raytrace {

class GrObject {
public:
    GrObject() = default;
    virtual ~GrObject() = default;

    // A conservative pre-test; the tracer's traversal does not use it.
    virtual bool mayHit(double tmin, double tmax, const Ray& ray) const = 0;
    // On a hit writes t, the world hit point and the world normal (not
    // necessarily unit length). Writes nothing on a miss.
    virtual bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const = 0;
    // The same test without the hit record (shadow rays).
    virtual bool occludes(double tmin, double tmax, const Ray& ray) const = 0;
};

class GrAttrObject : public GrObject {
public:
    GrAttrObject() = default;

    Matrix4 worldToObject;  // zero until set
    SurfaceAttributes attributes;

protected:
    Ray toObject(const Ray& world) const { return transform(worldToObject, world); }
    // Fills the hit record from the world ray and the canonical normal.
    void finishHit(const Ray& world, double t, const Vector3& canonicalNormal, HitRecord& hit) const;
};

class RTSimpleSphere : public GrAttrObject {
public:
    bool mayHit(double, double, const Ray&) const override { return true; }
    bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const override;
    bool occludes(double tmin, double tmax, const Ray& ray) const override;

    float radius = 1.0f;
};

// A sphere command with a z range or sweep: intersected as the full sphere;
// only its smaller world box limits which rays reach it.
class RTSphere : public GrAttrObject {
public:
    RTSphere(float zmin_, float zmax_, float thetamax_) : zmin(zmin_), zmax(zmax_), thetamax(thetamax_) {}
    bool mayHit(double, double, const Ray&) const override { return true; }
    bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const override;
    bool occludes(double tmin, double tmax, const Ray& ray) const override;

    float radius = 1.0f;
    float zmin, zmax;  // divided by the radius
    float thetamax;    // degrees
};

// Side wall x^2 + y^2 = 1, 0 <= z <= 1, no caps.
class RTCylinder : public GrAttrObject {
public:
    explicit RTCylinder(float thetamax_) : thetamax(thetamax_) {}
    bool mayHit(double tmin, double tmax, const Ray& ray) const override;
    bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const override;
    bool occludes(double tmin, double tmax, const Ray& ray) const override;

    float thetamax;  // degrees
};

// Side wall x^2 + y^2 = z^2, -1 <= z <= 0, no base.
class RTCone : public GrAttrObject {
public:
    explicit RTCone(float thetamax_) : thetamax(thetamax_) {}
    bool mayHit(double tmin, double tmax, const Ray& ray) const override;
    bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const override;
    bool occludes(double tmin, double tmax, const Ray& ray) const override;

    float thetamax;  // degrees
};

// The solid unit cube [0, 1]^3.
class RTCube : public GrAttrObject {
public:
    bool mayHit(double, double, const Ray&) const override { return true; }
    bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const override;
    bool occludes(double tmin, double tmax, const Ray& ray) const override;
};

// z = 0, x^2 + y^2 <= 1, swept from angle 0 to thetamax.
class RTDisk : public GrAttrObject {
public:
    explicit RTDisk(float thetamaxDegrees) : thetamax(thetamaxDegrees * (kPi / 180.0)) {}
    bool mayHit(double, double, const Ray&) const override { return true; }
    bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const override;
    bool occludes(double tmin, double tmax, const Ray& ray) const override;

    double thetamax;  // radians
};

// One planar polygon of a polygon set, in the set's coordinates. Ignores
// tmin: a face is hit for any t in [0, tmax].
class RTPolyFace final : public GrObject {
public:
    // vertices points at n pointers, each to a vertex position (x, y, z).
    void setup(const float* const* vertices_, int n_);
    bool mayHit(double, double, const Ray&) const override { return true; }
    // The hit record gets t, the point and the normal N, all in the set's
    // coordinates.
    bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const override;
    bool occludes(double tmin, double tmax, const Ray& ray) const override;

    // Even-odd test of a point of the plane against the projected polygon.
    bool contains(const Point3& p) const;

    const float* const* vertices = nullptr;
    int n = 0;
    int u = 0, v = 1;  // projection axes
    Vector3 N;         // not normalized
    float d = 0;       // N.p + d = 0 on the plane

private:
    bool hitPlane(double tmax, const Ray& ray, double& t, Point3& p) const;
};

// A polygon mesh: its vertices, its faces and the hierarchy of boxes over
// them, in object space. Polygons are two-sided: the world normal always
// faces the incoming ray.
class RTPolySet : public GrAttrObject {
public:
    RTPolySet() = default;
    RTPolySet(const RTPolySet&) = delete;
    RTPolySet& operator=(const RTPolySet&) = delete;

    // Builds the faces from a PolySet command's data. 0, -10 for an unknown
    // vertex type letter, -11 for an index outside the vertex list (memory
    // refused throws std::bad_alloc). The vertices' texture coordinates (T)
    // are kept for interpolation.
    int build(const std::string& vertexType, int vertexCount, const float* vertexData, int faceCount,
              const int* indices);
    // The same from vertices of stride floats with the position at
    // positionOffset (the offsets of normals and texture coordinates are set
    // before, -1 when absent). faceCell, when set before, has one value a
    // face in the order of indices; it follows the faces into the order of
    // the hierarchy.
    int buildFaces(int stride, int positionOffset, int vertexCount, const float* vertexData, int faceCount,
                   const int* indices);

    bool mayHit(double tmin, double tmax, const Ray& ray) const override;
    bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const override;
    bool occludes(double tmin, double tmax, const Ray& ray) const override;

    int stride = 0;           // floats per vertex
    int positionOffset = -1;  // offset of the position in a vertex
    // Offsets of the vertex normal and of the texture coordinates (u, v in
    // texel units) that a hit interpolates, -1 when the set has none: then
    // the face's own normal is used and the hit has no texture coordinates.
    int normalOffset = -1;
    int textureOffset = -1;
    int colorOffset = -1;  // vertex colours (C), blended likewise
    int opacityOffset = -1;  // vertex O values, blended likewise (PolySet)
    // Cells of a tessellated surface that are not flat are two triangles:
    // the positions of every cell's four corners, and for each face the
    // index of its cell's first corner (-1 for a face of its own). Empty
    // when every face is its own.
    std::vector<const float*> cellCorners;
    std::vector<int> faceCell;
    std::vector<float> vertexData;
    FaceList faces;
    FaceHierarchy hierarchy;
};

// What a primitive command builds: the object (null when the command makes
// nothing to hit) and its world box.
struct BuiltObject {
    std::unique_ptr<GrAttrObject> object;
    Point3 lower, upper;
};

// The world box of an object-space box: the eight corners carried by M.
void WorldBox(const Matrix4& M, const Point3& lower, const Point3& upper, Point3& worldLower, Point3& worldUpper);

// The objects of the primitive commands under the object-to-world matrix M
// and its inverse Minv.
BuiltObject BuildSphere(float radius, float zmin, float zmax, float thetamax, const Matrix4& M, const Matrix4& Minv);
BuiltObject BuildCube(const Matrix4& M, const Matrix4& Minv);
BuiltObject BuildCylinder(float radius, float zmin, float zmax, float thetamax, const Matrix4& M,
                          const Matrix4& Minv);
BuiltObject BuildCone(float height, float radius, float thetamax, const Matrix4& M, const Matrix4& Minv);
BuiltObject BuildDisk(float height, float radius, float thetamax, const Matrix4& M, const Matrix4& Minv);
BuiltObject BuildTube(const Point3& from, const Point3& to, float radius, const Matrix4& M, const Matrix4& Minv);
// 0 or the error of RTPolySet::build. A set without faces builds nothing.
// texelScale (width, height of the map current, or null) turns the
// vertices' texture coordinates into texel units; without it they are
// not kept. colors: the vertices' colours (C) are kept.
int BuildPolySet(const std::string& vertexType, int vertexCount, const float* vertexData, int faceCount,
                 const int* indices, const Matrix4& M, const Matrix4& Minv, BuiltObject& out,
                 const float* texelScale = nullptr, bool colors = false);

// A tessellated surface: quadCount quadrilaterals of four vertices each,
// every vertex stride floats with the position first; normalOffset and
// textureOffset and colorOffset as in RTPolySet (-1 when absent). A surface without
// quadrilaterals builds nothing.
BuiltObject BuildSurfaceMesh(std::vector<float> vertices, int stride, int normalOffset, int textureOffset,
                             int colorOffset, const Matrix4& M, const Matrix4& Minv);
// The same from shared vertices and faceCount faces of vertex indices, each
// ended by -1 (a refined subdivision surface): a quadrilateral that is not
// flat is two triangles, as in a tessellated surface; other faces are one.
// The indices must lie in the vertices.
BuiltObject BuildSharedMesh(std::vector<float> vertices, int stride, const std::vector<int>& indices, int faceCount,
                            int normalOffset, int textureOffset, int colorOffset, const Matrix4& M,
                            const Matrix4& Minv);

}  // namespace kx::raytrace
