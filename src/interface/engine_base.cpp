#include "interface/engine_base.h"

#include <memory>

namespace kx {

int EngineBase::CameraEye(const Point3& eye) {
    context_.transforms.camera.eye = eye;
    return 0;
}
int EngineBase::CameraAt(const Point3& at) {
    context_.transforms.camera.at = at;
    return 0;
}
int EngineBase::CameraUp(const Vector3& up) {
    context_.transforms.camera.up = up;
    return 0;
}
int EngineBase::CameraFOV(float fov) {
    context_.transforms.camera.fov = fov;
    return 0;
}

int EngineBase::Translate(const Vector3& t) {
    context_.transforms.translate(t);
    return 0;
}
int EngineBase::Scale(const Vector3& s) {
    context_.transforms.scale(s);
    return 0;
}
int EngineBase::RotateXY(float angle) {
    context_.transforms.rotateXY(angle);
    return 0;
}
int EngineBase::RotateYZ(float angle) {
    context_.transforms.rotateYZ(angle);
    return 0;
}
int EngineBase::RotateZX(float angle) {
    context_.transforms.rotateZX(angle);
    return 0;
}
int EngineBase::XformPush() { return context_.transforms.push(); }
int EngineBase::XformPop() { return context_.transforms.pop(); }

int EngineBase::Background(const ColorRGB& c) {
    context_.display.dev().SetBackground(c);
    return 0;
}

int LitEngineBase::ConeLight(const Point3& at, const Point3& to, float coneangle, float conedelta,
                             const ColorRGB& c, float intensity) {
    context_.lights.append(std::make_unique<kx::ConeLight>(at, to, coneangle, conedelta, c * intensity));
    return 0;
}
int LitEngineBase::PointLight(const Point3& at, const ColorRGB& c, float intensity) {
    context_.lights.append(std::make_unique<kx::PointLight>(at, c * intensity));
    return 0;
}
int LitEngineBase::FarLight(const Vector3& dir, const ColorRGB& c, float intensity) {
    context_.lights.append(std::make_unique<kx::FarLight>(dir, c * intensity));
    return 0;
}
int LitEngineBase::AmbientLight(const ColorRGB& c, float intensity) {
    context_.lights.setAmbient(c * intensity);
    return 0;
}

}  // namespace kx
