// The direct engine's quadric, superquadric and other parametric surfaces:
// the shared tessellations handed to the polygon pipeline.
#include "engines/direct/primitives.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "core/transform.h"
#include "engines/direct/direct_engine.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/polygon_stage.h"
#include "engines/direct/transform_stage.h"
#include "surface/texture.h"

namespace kx {

namespace {

// Builds the pipeline layout of a surface and hands its quadrilaterals to a
// vertex sink, vertex by vertex.
class SurfaceWriter final : public SurfaceQuads {
public:
    SurfaceWriter(DirectPipeline& p, VertexSink sink) : p_(p), sink_(sink) {}

    // The layout: the normal when the surface has one, texture coordinates
    // when a map is current and the surface has them, then the position.
    void begin(bool withNormal, TextureFractions fractions) override {
        bounded_ = fractions == TextureFractions::Bounded;
        VertexLayout& layout = p_.state.layout;
        layout.reset();
        if (withNormal) layout.append(VertexAttribute::Normal);
        if (fractions != TextureFractions::None && p_.maps.current() != nullptr)
            layout.append(VertexAttribute::Texture);
        layout.append(VertexAttribute::Position);
        layout.finalize();
        normal_ = layout.normal;
        texture_ = layout.texture;
        v_[3] = 1;
        v_[4] = 1;
        have_ = false;
        rowValid_ = 0;
        ++p_.state.surface;
    }

    void quad(const SurfacePoint& c0, const SurfacePoint& c1, const SurfacePoint& c2, const SurfacePoint& c3,
              const Vector3& face) override {
        const FaceNormal objectFace{face, true};
        if (sink_ != PolygonVertex) {
            emit(c0, false, objectFace);
            emit(c1, false, objectFace);
            emit(c2, false, objectFace);
            emit(c3, true, objectFace);
            return;
        }
        // The pipeline's own sink: a corner equal to one of the quadrilateral
        // before (the next one in a row shares two) is transformed, and
        // projected, once. The transforms, maps, layout and view stay as they
        // are through a surface.
        const SurfacePoint* corners[4] = {&c0, &c1, &c2, &c3};
        Transformed* now = done_[current_];
        const Transformed* before = done_[current_ ^ 1];
        const SharedVertex* shared[4];
        for (int k = 0; k < 4; ++k) {
            const SurfacePoint& c = *corners[k];
            now[k].corner = c;
            const Transformed* same = nullptr;
            for (int m = 0; m < 4 && have_; ++m)
                if (std::memcmp(&before[m].corner, &c, sizeof c) == 0) {
                    same = &before[m];
                    break;
                }
            if (same) {
                now[k].vertex = same->vertex;
            } else {
                share(c, now[k]);
            }
            shared[k] = &now[k].vertex;
        }
        SharedPolygon(p_, shared, 4, objectFace);
        current_ ^= 1;
        have_ = true;
    }

    // A grid row for the pipeline's own sink: each corner of the grid is
    // transformed and projected once, the lower corners being the upper
    // ones of the row before.
    void row(const SurfacePoint* lower, const SurfacePoint* upper, int cols, const Vector3* faces) override {
        const size_t n = static_cast<size_t>(cols) + 1;
        if (sink_ != PolygonVertex || !rowsFor(n)) {
            SurfaceQuads::row(lower, upper, cols, faces);
            return;
        }
        Transformed* below = rows_[below_].data();
        Transformed* above = rows_[below_ ^ 1].data();
        for (size_t j = 0; j < n; ++j)
            if (j >= rowValid_ || std::memcmp(&below[j].corner, &lower[j], sizeof lower[j]) != 0)
                share(lower[j], below[j]);
        for (size_t j = 0; j < n; ++j) share(upper[j], above[j]);
        for (int j = 0; j < cols; ++j) {
            const SharedVertex* shared[4] = {&below[j].vertex, &below[j + 1].vertex, &above[j + 1].vertex,
                                             &above[j].vertex};
            SharedPolygon(p_, shared, 4, FaceNormal{faces[j], true});
        }
        below_ ^= 1;
        rowValid_ = n;
        have_ = false;
    }

private:
    struct Transformed {
        SurfacePoint corner;
        SharedVertex vertex;
    };

    // Room for rows of n corners; false when the memory is refused.
    bool rowsFor(size_t n) {
        // Both: a refusal may leave one grown and the other not.
        if (rows_[0].size() >= n && rows_[1].size() >= n) return true;
        rowValid_ = 0;
        try {
            for (std::vector<Transformed>& r : rows_) r.resize(n);
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        return true;
    }

    // Corner c transformed and projected into t.
    void share(const SurfacePoint& c, Transformed& t) {
        t.corner = c;
        fill(c);
        t.vertex.vertex = v_;
        TransformObjectVertex(p_, t.vertex.vertex);
        ShareVertex(p_, t.vertex);
    }

    void emit(const SurfacePoint& c, bool last, const FaceNormal& face) {
        fill(c);
        sink_(p_, v_, last, face);
    }

    // The pipeline vertex of a corner, in object space.
    void fill(const SurfacePoint& c) {
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
                BoundTextureCoords(p_.maps, c.a, c.b, &v_[texture_]);
            } else {
                v_[texture_] = c.a;
                v_[texture_ + 1] = c.b;
            }
            v_[texture_ + 2] = 0;
            v_[texture_ + 3] = 0;
        }
    }

    DirectPipeline& p_;
    AttributeVertex v_;
    Transformed done_[2][4];  // the corners of the last two quadrilaterals
    int current_ = 0;
    bool have_ = false;
    std::vector<Transformed> rows_[2];  // a grid's rows of corners
    int below_ = 0;                     // the one that holds the row before's upper corners
    size_t rowValid_ = 0;               // its corners worked out

    int normal_ = -1, texture_ = -1;
    bool bounded_ = false;
    VertexSink sink_;
};

}  // namespace

void TessellateCube(DirectPipeline& p, VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateCube(w);
}
void TessellateSphere(DirectPipeline& p, float radius, float zmin, float zmax, float thetamax, int n,
                      VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateSphere(radius, zmin, zmax, thetamax, n, w);
}
void TessellateCone(DirectPipeline& p, float height, float radius, float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateCone(height, radius, thetamax, n, w);
}
void TessellateCylinder(DirectPipeline& p, float radius, float zmin, float zmax, float thetamax, int n,
                        VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateCylinder(radius, zmin, zmax, thetamax, n, w);
}
void TessellateDisk(DirectPipeline& p, float height, float radius, float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateDisk(height, radius, thetamax, n, w);
}
void TessellateTube(DirectPipeline& p, const Point3& p1, const Point3& p2, float radius, int n, VertexSink sink) {
    const TubeAxis axis = TubeAxisOf(p1, p2);
    TransformState& xf = p.transforms;
    const Matrix4 M = xf.M, Minv = xf.Minv;
    ApplyTubeFrame(xf, p1, axis);
    TessellateCylinder(p, radius, 0, axis.length, 360, n, sink);
    xf.M = M;
    xf.Minv = Minv;
}
void TessellateHyperboloid(DirectPipeline& p, const Point3& p1, const Point3& p2, float thetamax, int n,
                           VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateHyperboloid(p1, p2, thetamax, n, w);
}
void TessellateParaboloid(DirectPipeline& p, float rmax, float zmin, float zmax, float thetamax, int n,
                          VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateParaboloid(rmax, zmin, zmax, thetamax, n, w);
}
void TessellateTorus(DirectPipeline& p, float rmajor, float rminor, float phimin, float phimax, float thetamax,
                     int n, VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateTorus(rmajor, rminor, phimin, phimax, thetamax, n, w);
}
void TessellateSqSphere(DirectPipeline& p, float radius, float e1, float e2, float zmin, float zmax,
                        float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateSqSphere(radius, e1, e2, zmin, zmax, thetamax, n, w);
}
void TessellateSqTorus(DirectPipeline& p, float rmajor, float rminor, float e1, float e2, float phimin,
                       float phimax, float thetamax, int n, VertexSink sink) {
    SurfaceWriter w(p, sink);
    TessellateSqTorus(rmajor, rminor, e1, e2, phimin, phimax, thetamax, n, w);
}

// ---- engine operations ----

namespace {
inline int Divisions(const DirectState& s) { return TessellationDivisions(s.divisions); }
}  // namespace

int REDirect::Cube() {
    TessellateCube(pipeline_, PolygonVertex);
    return 0;
}
int REDirect::Sphere(float radius, float zmin, float zmax, float thetamax) {
    TessellateSphere(pipeline_, radius, zmin, zmax, thetamax, Divisions(state_), PolygonVertex);
    return 0;
}
int REDirect::Cone(float height, float radius, float thetamax) {
    TessellateCone(pipeline_, height, radius, thetamax, Divisions(state_), PolygonVertex);
    return 0;
}
int REDirect::Cylinder(float radius, float zmin, float zmax, float thetamax) {
    TessellateCylinder(pipeline_, radius, zmin, zmax, thetamax, Divisions(state_), PolygonVertex);
    return 0;
}
int REDirect::Disk(float height, float radius, float thetamax) {
    TessellateDisk(pipeline_, height, radius, thetamax, Divisions(state_), PolygonVertex);
    return 0;
}
int REDirect::Tube(const Point3& start, const Point3& end, float radius) {
    TessellateTube(pipeline_, start, end, radius, Divisions(state_), PolygonVertex);
    return 0;
}
int REDirect::Hyperboloid(const Point3& p1, const Point3& p2, float thetamax) {
    TessellateHyperboloid(pipeline_, p1, p2, thetamax, Divisions(state_), PolygonVertex);
    return 0;
}
int REDirect::Paraboloid(float rmax, float zmin, float zmax, float thetamax) {
    TessellateParaboloid(pipeline_, rmax, zmin, zmax, thetamax, Divisions(state_), PolygonVertex);
    return 0;
}
int REDirect::Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax) {
    TessellateTorus(pipeline_, rmajor, rminor, phimin, phimax, thetamax, Divisions(state_), PolygonVertex);
    return 0;
}
int REDirect::SqSphere(float radius, float north, float east, float zmin, float zmax, float thetamax) {
    TessellateSqSphere(pipeline_, radius, north, east, zmin, zmax, thetamax, Divisions(state_), PolygonVertex);
    return 0;
}
int REDirect::SqTorus(float rmajor, float rminor, float north, float east, float phimin, float phimax,
                      float thetamax) {
    TessellateSqTorus(pipeline_, rmajor, rminor, north, east, phimin, phimax, thetamax,
                      Divisions(state_), PolygonVertex);
    return 0;
}

}  // namespace kx
