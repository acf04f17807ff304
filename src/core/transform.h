// The current modelling transform, its inverse (kept incrementally), the
// save stack and the camera parameters shared by the engines.
#pragma once

#include <vector>

#include "core/math.h"

namespace kx {

struct Camera {
    Point3 eye{0, 0, 0};
    Point3 at{0, 0, -1};
    Vector3 up{0, 1, 0};
    float fov = 90;  // degrees, full vertical angle
};

class TransformState {
public:
    Matrix4 M;     // object to world
    Matrix4 Minv;  // world to object
    Camera camera;

    void setIdentity() {
        M = Matrix4::identity();
        Minv = Matrix4::identity();
    }
    void translate(const Vector3& t);
    void scale(const Vector3& s);
    void rotateXY(float degrees);
    void rotateYZ(float degrees);
    void rotateZX(float degrees);
    // 0, or -15 when the stack cannot grow (nothing changes then).
    int push();
    int pop();  // 0, or -26 on an empty stack
    void clearStack() { stack_.clear(); }
    size_t stackDepth() const { return stack_.size() / 2; }

    // Back to program start: zero matrices, empty stack, initial camera.
    void reset();

private:
    void rotate(int a, int b, float degrees);
    std::vector<Matrix4> stack_;
};

// The viewing matrices an engine builds at WorldBegin. World to screen is
// S * P * V: V turns the world into camera space (x right, y up, z along the
// view), P is the perspective of the camera's field of view with depth 0 at
// the near and 1 at the far distance, S maps x and y from -1..1 to 0..1.
Matrix4 WorldToScreenMatrix(const Camera& camera, int width, int height, float hither, float yon);
// Screen to device: x to pixel columns shifted by half a pixel, y flipped so
// that device row 0 is the top of the image.
Matrix4 ScreenToDeviceMatrix(int width, int height);

}  // namespace kx
