// What every ray-traced object shares: the hit of an object seen through its
// world-to-object matrix, and the world box of an object-space box.
#include "engines/raytrace/objects.h"

namespace kx::raytrace {

void GrAttrObject::finishHit(const Ray& world, double t, const Vector3& canonicalNormal, HitRecord& hit) const {
    float tf = static_cast<float>(t);
    hit.t = t;
    hit.point = world.origin + tf * world.direction;
    HPoint n = HPoint(canonicalNormal.x, canonicalNormal.y, canonicalNormal.z, 1) * worldToObject;
    hit.normal = Vector3(n.x, n.y, n.z);
    hit.textured = false;
    hit.colored = false;
}

void WorldBox(const Matrix4& M, const Point3& lower, const Point3& upper, Point3& worldLower, Point3& worldUpper) {
    for (int corner = 0; corner < 8; ++corner) {
        HPoint p((corner & 1) ? upper.x : lower.x, (corner & 2) ? upper.y : lower.y, (corner & 4) ? upper.z : lower.z,
                 1);
        HPoint w = M * p;
        for (int k = 0; k < 3; ++k) {
            if (corner == 0 || w[k] < worldLower[k]) worldLower[k] = w[k];
            if (corner == 0 || w[k] > worldUpper[k]) worldUpper[k] = w[k];
        }
    }
}

}  // namespace kx::raytrace
