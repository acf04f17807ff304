#include "core/transform.h"

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

void TransformState::push() {
    stack_.push_back(M);
    stack_.push_back(Minv);
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

TransformState& transforms() {
    static TransformState state;
    return state;
}

}  // namespace kx
