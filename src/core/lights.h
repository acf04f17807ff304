// Light sources and the process-wide light set: one ambient light plus an
// ordered list of the other lights.
#pragma once

#include <memory>
#include <vector>

#include "core/math.h"

namespace kx {

class Light {
public:
    Light(const ColorRGB& c, bool positional_) : color(c), positional(positional_) {}
    virtual ~Light() = default;
    virtual Vector3 directionTo(const Point3& p) const = 0;
    virtual Vector3 vectorTo(const Point3& p) const = 0;
    virtual float attenuation(const Point3& p) const = 0;

    ColorRGB color;  // already multiplied by the command's intensity
    bool positional;
};

class AmbientLight final : public Light {
public:
    explicit AmbientLight(const ColorRGB& c = {}) : Light(c, false) {}
    Vector3 directionTo(const Point3&) const override { return {}; }
    Vector3 vectorTo(const Point3&) const override { return {}; }
    float attenuation(const Point3&) const override { return 1; }
};

class FarLight final : public Light {
public:
    FarLight(const Vector3& direction, const ColorRGB& c) : Light(c, false), toLight(normalized(-direction)) {}
    Vector3 directionTo(const Point3&) const override { return toLight; }
    Vector3 vectorTo(const Point3&) const override { return toLight; }
    float attenuation(const Point3&) const override { return 1; }

    Vector3 toLight;
};

class PointLight final : public Light {
public:
    PointLight(const Point3& p, const ColorRGB& c) : Light(c, true), position(p) {}
    Vector3 directionTo(const Point3& p) const override { return position - p; }
    Vector3 vectorTo(const Point3& p) const override { return position - p; }
    float attenuation(const Point3& p) const override {
        Vector3 d = position - p;
        return 1.0f / static_cast<float>(lengthSquared(d));
    }

    Point3 position;
};

class ConeLight final : public Light {
public:
    // Angles are full apex angles in degrees.
    ConeLight(const Point3& from, const Point3& to, float innerAngle, float outerAngle, const ColorRGB& c);
    Vector3 directionTo(const Point3& p) const override { return position - p; }
    Vector3 vectorTo(const Point3& p) const override { return position - p; }
    float attenuation(const Point3& p) const override;

    Point3 position;
    Vector3 axis;
    float cosInner;
    float cosOuter;
};

class LightSet {
public:
    AmbientLight ambient;
    std::vector<std::unique_ptr<Light>> lights;

    void setAmbient(const ColorRGB& c) { ambient.color = c; }
    void append(std::unique_ptr<Light> l) { lights.push_back(std::move(l)); }
    // Ambient white, list emptied (world set-up).
    void resetLighting() {
        ambient = AmbientLight(ColorRGB(1, 1, 1));
        lights.clear();
    }
    void deleteAll() { lights.clear(); }
    // Program-start state: ambient black, list empty.
    void reset() {
        ambient = AmbientLight();
        lights.clear();
    }
};

}  // namespace kx
