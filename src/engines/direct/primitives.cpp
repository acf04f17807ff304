// The direct engine's quadric, superquadric and other parametric surfaces:
// the shared tessellations handed to the polygon pipeline.
#include "core/transform.h"
#include "engines/direct/direct_engine.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/polygon_stage.h"
#include "engines/direct/primitives.h"
#include "engines/direct/transform_stage.h"
#include "surface/texture.h"

namespace kx {

namespace {

// Builds the pipeline layout of a surface and hands its quadrilaterals to a
// vertex sink, vertex by vertex.
class SurfaceWriter final : public SurfaceQuads {
public:
    explicit SurfaceWriter(VertexSink sink) : sink_(sink) {}

    // The layout: the normal when the surface has one, texture coordinates
    // when a map is current and the surface has them, then the position.
    void begin(bool withNormal, TextureFractions fractions) override {
        bounded_ = fractions == TextureFractions::Bounded;
        VertexLayout& layout = directState().layout;
        layout.reset();
        if (withNormal) layout.append(VertexAttribute::Normal);
        if (fractions != TextureFractions::None && mapList().current() != nullptr)
            layout.append(VertexAttribute::Texture);
        layout.append(VertexAttribute::Position);
        layout.finalize();
        normal_ = layout.normal;
        texture_ = layout.texture;
        v_[3] = 1;
        v_[4] = 1;
    }

    void quad(const SurfacePoint& c0, const SurfacePoint& c1, const SurfacePoint& c2, const SurfacePoint& c3,
              const Vector3& face) override {
        emit(c0, false);
        emit(c1, false);
        emit(c2, false);
        directState().face = FaceNormal{face, true};
        emit(c3, true);
    }

private:
    void emit(const SurfacePoint& c, bool last) {
        v_[0] = c.x;
        v_[1] = c.y;
        v_[2] = c.z;
        v_[3] = 1;
        if (normal_ >= 0) {
            v_[normal_] = c.nx;
            v_[normal_ + 1] = c.ny;
            v_[normal_ + 2] = c.nz;
        }
        if (texture_ >= 0) {
            if (bounded_) {
                BoundTextureCoords(c.a, c.b, &v_[texture_]);
            } else {
                v_[texture_] = c.a;
                v_[texture_ + 1] = c.b;
            }
            v_[texture_ + 2] = 0;
            v_[texture_ + 3] = 0;
        }
        sink_(v_, last);
    }

    AttributeVertex v_;
    int normal_ = -1, texture_ = -1;
    bool bounded_ = false;
    VertexSink sink_;
};

}  // namespace

void TessellateCube(VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateCube(w);
}
void TessellateSphere(float radius, float zmin, float zmax, float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateSphere(radius, zmin, zmax, thetamax, n, w);
}
void TessellateCone(float height, float radius, float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateCone(height, radius, thetamax, n, w);
}
void TessellateCylinder(float radius, float zmin, float zmax, float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateCylinder(radius, zmin, zmax, thetamax, n, w);
}
void TessellateDisk(float height, float radius, float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateDisk(height, radius, thetamax, n, w);
}
void TessellateTube(const Point3& p1, const Point3& p2, float radius, int n, VertexSink sink) {
    const TubeAxis axis = TubeAxisOf(p1, p2);
    TransformState& xf = transforms();
    const Matrix4 M = xf.M, Minv = xf.Minv;
    ApplyTubeFrame(xf, p1, axis);
    TessellateCylinder(radius, 0, axis.length, 360, n, sink);
    xf.M = M;
    xf.Minv = Minv;
}
void TessellateHyperboloid(const Point3& p1, const Point3& p2, float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateHyperboloid(p1, p2, thetamax, n, w);
}
void TessellateParaboloid(float rmax, float zmin, float zmax, float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateParaboloid(rmax, zmin, zmax, thetamax, n, w);
}
void TessellateTorus(float rmajor, float rminor, float phimin, float phimax, float thetamax, int n,
                     VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateTorus(rmajor, rminor, phimin, phimax, thetamax, n, w);
}
void TessellateSqSphere(float radius, float e1, float e2, float zmin, float zmax, float thetamax, int n,
                        VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateSqSphere(radius, e1, e2, zmin, zmax, thetamax, n, w);
}
void TessellateSqTorus(float rmajor, float rminor, float e1, float e2, float phimin, float phimax,
                       float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(sink);
    TessellateSqTorus(rmajor, rminor, e1, e2, phimin, phimax, thetamax, n, w);
}

// ---- engine operations ----

namespace {
inline int Divisions() { return TessellationDivisions(directState().divisions); }
}  // namespace

int REDirect::Cube() {
    TessellateCube(PolygonVertex);
    return 0;
}
int REDirect::Sphere(float radius, float zmin, float zmax, float thetamax) {
    TessellateSphere(radius, zmin, zmax, thetamax, Divisions(), PolygonVertex);
    return 0;
}
int REDirect::Cone(float height, float radius, float thetamax) {
    TessellateCone(height, radius, thetamax, Divisions(), PolygonVertex);
    return 0;
}
int REDirect::Cylinder(float radius, float zmin, float zmax, float thetamax) {
    TessellateCylinder(radius, zmin, zmax, thetamax, Divisions(), PolygonVertex);
    return 0;
}
int REDirect::Disk(float height, float radius, float thetamax) {
    TessellateDisk(height, radius, thetamax, Divisions(), PolygonVertex);
    return 0;
}
int REDirect::Tube(const Point3& start, const Point3& end, float radius) {
    TessellateTube(start, end, radius, Divisions(), PolygonVertex);
    return 0;
}
int REDirect::Hyperboloid(const Point3& p1, const Point3& p2, float thetamax) {
    TessellateHyperboloid(p1, p2, thetamax, Divisions(), PolygonVertex);
    return 0;
}
int REDirect::Paraboloid(float rmax, float zmin, float zmax, float thetamax) {
    TessellateParaboloid(rmax, zmin, zmax, thetamax, Divisions(), PolygonVertex);
    return 0;
}
int REDirect::Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax) {
    TessellateTorus(rmajor, rminor, phimin, phimax, thetamax, Divisions(), PolygonVertex);
    return 0;
}
int REDirect::SqSphere(float radius, float north, float east, float zmin, float zmax, float thetamax) {
    TessellateSqSphere(radius, north, east, zmin, zmax, thetamax, Divisions(), PolygonVertex);
    return 0;
}
int REDirect::SqTorus(float rmajor, float rminor, float north, float east, float phimin, float phimax,
                      float thetamax) {
    TessellateSqTorus(rmajor, rminor, north, east, phimin, phimax, thetamax, Divisions(), PolygonVertex);
    return 0;
}

}  // namespace kx
