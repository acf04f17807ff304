#include "core/transform.h"

#include <new>
#include <stdexcept>

#include "core/errors.h"

namespace kx {

void TransformState::translate(const Vector3& t) {
    float v[4];
    for (int i = 0; i < 4; ++i) v[i] = M(i, 0) * t.x + M(i, 1) * t.y + M(i, 2) * t.z + M(i, 3);
    for (int i = 0; i < 4; ++i) M(i, 3) = v[i];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) Minv(i, j) = Minv(i, j) - t[i] * Minv(3, j);
}

void TransformState::scale(const Vector3& s) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) M(i, j) = M(i, j) * s[j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) Minv(i, j) = Minv(i, j) / s[i];
}

// Rotation in the plane of axes a and b: +a turns toward +b.
void TransformState::rotate(int a, int b, float degrees) {
    float theta = static_cast<float>(degrees * 0.017453292519943295);
    float c = static_cast<float>(std::cos(theta));
    float s = static_cast<float>(std::sin(theta));
    Matrix4 R = Matrix4::identity();
    R(a, a) = c;
    R(b, b) = c;
    R(a, b) = -s;
    R(b, a) = s;
    M = M * R;
    R(a, b) = s;
    R(b, a) = -s;
    Minv = R * Minv;
}

void TransformState::rotateXY(float degrees) { rotate(0, 1, degrees); }
void TransformState::rotateYZ(float degrees) { rotate(1, 2, degrees); }
void TransformState::rotateZX(float degrees) { rotate(2, 0, degrees); }

int TransformState::push() {
    // Room for both matrices first, so that a refusal leaves the stack whole.
    if (stack_.capacity() - stack_.size() < 2) {
        try {
            stack_.reserve(stack_.capacity() < 16 ? 16 : 2 * stack_.capacity());
        } catch (const std::bad_alloc&) {
            return kErrDisplayMemory;
        } catch (const std::length_error&) {
            return kErrDisplayMemory;
        }
    }
    stack_.push_back(M);
    stack_.push_back(Minv);
    return 0;
}

int TransformState::pop() {
    if (stack_.empty()) return kErrTransformUnderflow;
    Minv = stack_.back();
    stack_.pop_back();
    M = stack_.back();
    stack_.pop_back();
    return 0;
}

void TransformState::reset() {
    M = Matrix4::zero();
    Minv = Matrix4::zero();
    stack_.clear();
    stack_.shrink_to_fit();
    camera = Camera{};
}

Matrix4 WorldToScreenMatrix(const Camera& camera, int width, int height, float hither, float yon) {
    Vector3 n = camera.at - camera.eye;
    normalize(n);
    Vector3 u = cross(n, camera.up);
    normalize(u);
    const Vector3 v = cross(u, n);
    const Vector3 minusEye = -toVector(camera.eye);
    Matrix4 V = Matrix4::identity();
    const Vector3* rows[3] = {&u, &v, &n};
    for (int i = 0; i < 3; ++i) {
        V(i, 0) = rows[i]->x;
        V(i, 1) = rows[i]->y;
        V(i, 2) = rows[i]->z;
        V(i, 3) = static_cast<float>(dot(minusEye, *rows[i]));
    }

    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    const float t = static_cast<float>(std::tan((kPi * (camera.fov / 2)) / 180));
    Matrix4 P = Matrix4::identity();
    P(0, 0) = 1 / (t * aspect);
    P(1, 1) = 1 / t;
    P(2, 2) = yon / (yon - hither);
    P(2, 3) = -P(2, 2) * hither;
    P(3, 2) = 1;
    P(3, 3) = 0;

    Matrix4 S = Matrix4::identity();
    S(0, 0) = S(1, 1) = 0.5f;
    S(0, 3) = S(1, 3) = 0.5f;
    return S * P * V;
}

Matrix4 ScreenToDeviceMatrix(int width, int height) {
    Matrix4 D = Matrix4::identity();
    D(0, 0) = static_cast<float>(width);
    D(0, 3) = -0.5f;
    D(1, 1) = -static_cast<float>(height);
    D(1, 3) = static_cast<float>(height) - 0.5f;
    return D;
}

}  // namespace kx
