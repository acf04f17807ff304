#include "engines/raytrace/camera.h"

#include <cmath>

namespace kx::raytrace {

Matrix4 BuildRasterToWorld(const Camera& camera, int width, int height) {
    float halfW = static_cast<float>(width) / 2;
    float halfH = static_cast<float>(height) / 2;
    Matrix4 P;
    P(0, 0) = 1;
    P(0, 3) = -halfW;
    P(1, 1) = -1;
    P(1, 3) = halfH;
    P(2, 2) = halfH / static_cast<float>(std::tan(camera.fov * kPi / 360.0));
    P(3, 3) = 1;

    Vector3 w = camera.at - camera.eye;
    Vector3 right = cross(w, camera.up);
    normalize(right);
    normalize(w);
    Vector3 up = cross(right, w);
    normalize(up);
    Matrix4 C;
    for (int i = 0; i < 3; ++i) {
        C(i, 0) = right[i];
        C(i, 1) = up[i];
        C(i, 2) = w[i];
        C(i, 3) = camera.eye[i];
    }
    C(3, 3) = 1;
    return C * P;
}

}  // namespace kx::raytrace
