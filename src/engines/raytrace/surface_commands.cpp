// The ray tracer's tessellated surfaces and texture maps. A surface that the
// direct engine draws as a tessellation is traced as the same tessellation
// (the shared tessellators, the same Divisions), with the vertex normals and
// texture coordinates blended across each quadrilateral; a subdivision
// surface is traced as its refined faces. The full sphere,
// cylinder, cone, disk and tube stay exact unless they are painted with a
// texture: then their tessellation brings the texture coordinates.
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/transform.h"
#include "engines/raytrace/ray_engine.h"
#include "interface/vertex_type.h"
#include "surface/bezier_patch.h"
#include "surface/subdivide.h"
#include "surface/tessellate.h"

namespace kx::raytrace {

namespace {

// Texture coordinates in texel units of the map (null: the surface has none).
struct TexelFrame {
    const TextureMap* map = nullptr;
    float umin = 0, vmin = 0, du = 1, dv = 1;  // MapBound
    float width() const { return static_cast<float>(map->levels[0].width); }
    float height() const { return static_cast<float>(map->levels[0].height); }
};

// Collects the quadrilaterals of a tessellated surface as vertices of
// position, normal (when the surface has one) and texture coordinates (when
// it has them and a map is in use), as the direct engine's pipeline would
// receive them.
class MeshWriter final : public SurfaceQuads {
public:
    explicit MeshWriter(const TexelFrame& frame) : frame_(frame) {}

    void begin(bool withNormal, TextureFractions fractions) override {
        vertices.clear();
        normalOffset = withNormal ? 3 : -1;
        bounded_ = fractions == TextureFractions::Bounded;
        textureOffset = fractions != TextureFractions::None && frame_.map ? (withNormal ? 6 : 3) : -1;
        stride = 3 + (withNormal ? 3 : 0) + (textureOffset >= 0 ? 2 : 0);
    }

    void quad(const SurfacePoint& c0, const SurfacePoint& c1, const SurfacePoint& c2, const SurfacePoint& c3,
              const Vector3&) override {
        for (const SurfacePoint* c : {&c0, &c1, &c2, &c3}) {
            vertices.insert(vertices.end(), {c->x, c->y, c->z});
            if (normalOffset >= 0) vertices.insert(vertices.end(), {c->nx, c->ny, c->nz});
            if (textureOffset >= 0) {
                float u = c->a, v = c->b;
                if (bounded_) {
                    u = c->a * frame_.du + frame_.umin;
                    v = c->b * frame_.dv + frame_.vmin;
                }
                vertices.insert(vertices.end(), {u * frame_.width(), v * frame_.height()});
            }
        }
    }

    std::vector<float> vertices;
    int stride = 3, normalOffset = -1, textureOffset = -1;

private:
    const TexelFrame& frame_;
    bool bounded_ = false;
};

// Collects the quadrilaterals of a Bezier patch: records of position,
// normal and, when present, texture coordinates.
class PatchWriter final : public PatchQuads {
public:
    explicit PatchWriter(int width) : width_(width) {}
    void quad(const float* a, const float* a2, const float* b2, const float* b, const Vector3&) override {
        for (const float* r : {a, a2, b2, b}) vertices.insert(vertices.end(), r, r + width_);
    }
    std::vector<float> vertices;

private:
    int width_;
};

// Whether a sweep angle covers the whole turn.
inline bool FullTurn(float thetamax) { return std::fabs(thetamax) >= 360; }

}  // namespace

}  // namespace kx::raytrace

namespace kx {

using raytrace::FullTurn;
using raytrace::MeshWriter;
using raytrace::PatchWriter;
using raytrace::TexelFrame;

bool RERay::textured() const {
    return state_.attributes.shader == raytrace::PaintedPlasticShader && state_.maps.current() &&
           !state_.maps.current()->levels.empty();
}

template <class Make>
int RERay::addTessellated(Make make) {
    TexelFrame frame;
    if (textured()) {
        frame.map = state_.maps.current();
        frame.umin = state_.maps.umin;
        frame.vmin = state_.maps.vmin;
        frame.du = state_.maps.du;
        frame.dv = state_.maps.dv;
    }
    MeshWriter mesh(frame);
    try {
        make(TessellationDivisions(state_.divisions), mesh);
    } catch (const std::bad_alloc&) {
        return kErrDisplayMemory;
    }
    const TransformState& xf = context_.transforms;
    return add(raytrace::BuildSurfaceMesh(std::move(mesh.vertices), mesh.stride,
                                          state_.interpolate ? mesh.normalOffset : -1, mesh.textureOffset, -1, xf.M,
                                          xf.Minv));
}

int RERay::Cube() {
    const TransformState& xf = context_.transforms;
    return add(raytrace::BuildCube(xf.M, xf.Minv));
}
int RERay::Sphere(float radius, float zmin, float zmax, float thetamax) {
    const TransformState& xf = context_.transforms;
    if (zmin <= -radius && zmax >= radius && FullTurn(thetamax) && !textured())
        return add(raytrace::BuildSphere(radius, zmin, zmax, thetamax, xf.M, xf.Minv));
    return addTessellated([&](int n, SurfaceQuads& out) { TessellateSphere(radius, zmin, zmax, thetamax, n, out); });
}
int RERay::Cone(float height, float radius, float thetamax) {
    const TransformState& xf = context_.transforms;
    if (FullTurn(thetamax) && !textured()) return add(raytrace::BuildCone(height, radius, thetamax, xf.M, xf.Minv));
    return addTessellated([&](int n, SurfaceQuads& out) { TessellateCone(height, radius, thetamax, n, out); });
}
int RERay::Cylinder(float radius, float zmin, float zmax, float thetamax) {
    const TransformState& xf = context_.transforms;
    if (FullTurn(thetamax) && !textured())
        return add(raytrace::BuildCylinder(radius, zmin, zmax, thetamax, xf.M, xf.Minv));
    return addTessellated(
        [&](int n, SurfaceQuads& out) { TessellateCylinder(radius, zmin, zmax, thetamax, n, out); });
}
int RERay::Disk(float height, float radius, float thetamax) {
    const TransformState& xf = context_.transforms;
    if (FullTurn(thetamax) && !textured()) return add(raytrace::BuildDisk(height, radius, thetamax, xf.M, xf.Minv));
    return addTessellated([&](int n, SurfaceQuads& out) { TessellateDisk(height, radius, thetamax, n, out); });
}
int RERay::Tube(const Point3& start, const Point3& end, float radius) {
    TransformState& xf = context_.transforms;
    if (!textured()) return add(raytrace::BuildTube(start, end, radius, xf.M, xf.Minv));
    // The cylinder along the tube's axis, as the direct engine draws it.
    const TubeAxis axis = TubeAxisOf(start, end);
    const Matrix4 M = xf.M, Minv = xf.Minv;
    ApplyTubeFrame(xf, start, axis);
    int status = addTessellated(
        [&](int n, SurfaceQuads& out) { TessellateCylinder(radius, 0, axis.length, 360, n, out); });
    xf.M = M;
    xf.Minv = Minv;
    return status;
}
int RERay::Hyperboloid(const Point3& p1, const Point3& p2, float thetamax) {
    return addTessellated([&](int n, SurfaceQuads& out) { TessellateHyperboloid(p1, p2, thetamax, n, out); });
}
int RERay::Paraboloid(float rmax, float zmin, float zmax, float thetamax) {
    return addTessellated([&](int n, SurfaceQuads& out) { TessellateParaboloid(rmax, zmin, zmax, thetamax, n, out); });
}
int RERay::Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax) {
    return addTessellated(
        [&](int n, SurfaceQuads& out) { TessellateTorus(rmajor, rminor, phimin, phimax, thetamax, n, out); });
}
int RERay::SqSphere(float radius, float north, float east, float zmin, float zmax, float thetamax) {
    return addTessellated([&](int n, SurfaceQuads& out) {
        TessellateSqSphere(radius, north, east, zmin, zmax, thetamax, n, out);
    });
}
int RERay::SqTorus(float rmajor, float rminor, float north, float east, float phimin, float phimax,
                   float thetamax) {
    return addTessellated([&](int n, SurfaceQuads& out) {
        TessellateSqTorus(rmajor, rminor, north, east, phimin, phimax, thetamax, n, out);
    });
}

int RERay::Patch(const std::string& vtype, int udegree, int vdegree, const float* vertices) {
    // The control points' layout: position, colour, normal (N or D) and
    // texture coordinates, as the direct engine reads them.
    const VertexType type = ReadVertexType(vtype);
    if (!type.valid || !type.position.present()) return kErrVertexType;
    const int stride = type.stride, position = type.position.first, texture = type.texture.first,
              color = type.color.first, normal = type.normal.first;
    const int m = udegree, k = vdegree;
    if (m < 0 || k < 0 || !vertices || !PlausibleBezierNet((m + 1.0) * (k + 1.0), stride)) return 0;
    const int n = TessellationDivisions(state_.divisions);
    if (n <= 0) return 0;
    // Records: position, normal, the colour when the points have one, then
    // texture coordinates in texel units when the patch is painted with a
    // map.
    const TextureMap* map = textured() && texture >= 0 ? state_.maps.current() : nullptr;
    const int colorAt = color >= 0 ? 6 : -1;
    const int textureAt = map ? (color >= 0 ? 9 : 6) : -1;
    const int width = 6 + (color >= 0 ? 3 : 0) + (map ? 2 : 0);
    const size_t count = static_cast<size_t>(m + 1) * static_cast<size_t>(k + 1);
    BezierWork& w = state_.bezier;
    PatchWriter writer(width);
    int status;
    try {
        w.surface.points.resize(count * width);
        float* rec = w.surface.points.data();
        for (size_t i = 0; i < count; ++i) {
            const float* p = vertices + i * stride;
            float* r = rec + i * width;
            std::memcpy(r, p + position, 3 * sizeof(float));
            if (normal >= 0)
                std::memcpy(r + 3, p + normal, 3 * sizeof(float));
            else
                r[3] = r[4] = r[5] = 0;
            if (colorAt >= 0) std::memcpy(r + colorAt, p + color, 3 * sizeof(float));
            if (map) {
                r[textureAt] = p[texture] * static_cast<float>(map->levels[0].width);
                r[textureAt + 1] = p[texture + 1] * static_cast<float>(map->levels[0].height);
            }
        }
        status = TessellateBezierPatch(w, m, k, width, 0, normal >= 0 ? -1 : 3, n, writer);
    } catch (const std::bad_alloc&) {
        w.release();
        return kErrDisplayMemory;
    }
    if (status != 0) return status;
    const TransformState& xf = context_.transforms;
    return add(raytrace::BuildSurfaceMesh(std::move(writer.vertices), width, state_.interpolate ? 3 : -1, textureAt,
                                          state_.interpolate ? colorAt : -1, xf.M, xf.Minv));
}

int RERay::Subdivision(const std::string& vtype, const float* vertices, int nvertices, const int* faces,
                       int nfaces, const int* creases, int ncreases, const float* sharpness) {
    SubdividedSurface s;
    int status = SubdivideCage(vtype, vertices, nvertices, faces, nfaces, creases, ncreases, sharpness,
                               state_.subdivisionLevel, s);
    if (status != 0 || s.faceCount == 0) return status;
    // Texture coordinates in texel units when the surface is painted with
    // a map, colours and normals blended when interpolating, as a PolySet.
    const TextureMap* map = textured() && s.textureOffset >= 0 ? state_.maps.current() : nullptr;
    if (map) {
        const float w = static_cast<float>(map->levels[0].width), h = static_cast<float>(map->levels[0].height);
        for (size_t i = static_cast<size_t>(s.textureOffset); i + 1 < s.vertices.size(); i += s.stride) {
            s.vertices[i] *= w;
            s.vertices[i + 1] *= h;
        }
    }
    const TransformState& xf = context_.transforms;
    raytrace::BuiltObject built;
    try {
        built = raytrace::BuildSharedMesh(std::move(s.vertices), s.stride, s.indices, s.faceCount,
                                          state_.interpolate ? 3 : -1, map ? s.textureOffset : -1,
                                          state_.interpolate ? s.colorOffset : -1, xf.M, xf.Minv);
    } catch (const std::bad_alloc&) {
        return kErrDisplayMemory;
    }
    return add(std::move(built));
}

int RERay::MapBorder(const std::string& maptype, const std::string& ubound, const std::string& vbound) {
    return state_.maps.MapBorder(maptype, ubound, vbound);
}
int RERay::MapBound(const std::string& maptype, float umin, float vmin, float umax, float vmax) {
    return state_.maps.MapBound(maptype, umin, vmin, umax, vmax);
}
int RERay::MapLoad(const std::string& filename, const std::string& label) {
    return state_.maps.MapLoad(filename, label, context_.sceneFolder);
}
int RERay::MapLoadReplayed(const std::string& filename, const std::string& label) {
    return state_.maps.holds(filename, label) ? kOk : MapLoad(filename, label);
}
int RERay::MapSample(const std::string& maptype, const std::string& magnify, const std::string& minify) {
    return state_.maps.MapSample(maptype, magnify, minify);
}
int RERay::Map(const std::string& maptype, const std::string& label) { return state_.maps.Map(maptype, label); }

}  // namespace kx
