#include "core/lights.h"

#include <cmath>

namespace kx {

ConeLight::ConeLight(const Point3& from, const Point3& to, float innerAngle, float outerAngle, const ColorRGB& c)
    : Light(c, true), position(from), axis(normalized(to - from)) {
    const double halfDegree = kPi / 360.0;
    cosInner = static_cast<float>(std::cos(innerAngle * halfDegree));
    cosOuter = static_cast<float>(std::cos(outerAngle * halfDegree));
}

float ConeLight::attenuation(const Point3& p) const {
    Vector3 d = p - position;
    float dist2 = static_cast<float>(lengthSquared(d));
    normalize(d);
    float c = static_cast<float>(dot(d, axis));
    if (cosOuter > c) return 0;
    float a = 1.0f / dist2;
    if (cosInner > c) a = a * (c - cosOuter) / (cosInner - cosOuter);
    return a;
}

}  // namespace kx
