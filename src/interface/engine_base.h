// What the drawing engines do alike: the camera, the modelling transform and
// its stack, and (for the engines that shade) the lights, all kept in the
// shared EngineContext.
#pragma once

#include "interface/engine_context.h"
#include "interface/render_engine.h"

namespace kx {

// Camera and transform commands on the shared transform state, and the
// background colour set on the display's device.
class EngineBase : public RenderEngine {
public:
    explicit EngineBase(EngineContext& context) : context_(context) {}

    int CameraEye(const Point3& eye) override;
    int CameraAt(const Point3& at) override;
    int CameraUp(const Vector3& up) override;
    int CameraFOV(float fov) override;
    int Translate(const Vector3& t) override;
    int Scale(const Vector3& s) override;
    int RotateXY(float angle) override;
    int RotateYZ(float angle) override;
    int RotateZX(float angle) override;
    int XformPush() override;
    int XformPop() override;
    int Background(const ColorRGB& c) override;

protected:
    EngineContext& context_;
};

// An engine that shades: the light commands fill the shared light set.
class LitEngineBase : public EngineBase {
public:
    using EngineBase::EngineBase;

    int ConeLight(const Point3& at, const Point3& to, float coneangle, float conedelta, const ColorRGB& c,
                  float intensity) override;
    int PointLight(const Point3& at, const ColorRGB& c, float intensity) override;
    int FarLight(const Vector3& dir, const ColorRGB& c, float intensity) override;
    int AmbientLight(const ColorRGB& c, float intensity) override;
};

}  // namespace kx
