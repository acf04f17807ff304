// Quadric, superquadric and other parametric surfaces of the direct engine.
#include "direct/direct_engine.h"
#include "direct/direct_state.h"
#include "direct/pipeline.h"

namespace kx {

int REDirect::Cone(float height, float radius, float thetamax) {
    return RenderEngine::Cone(height, radius, thetamax);
}
int REDirect::Cube() { return RenderEngine::Cube(); }
int REDirect::Cylinder(float radius, float zmin, float zmax, float thetamax) {
    return RenderEngine::Cylinder(radius, zmin, zmax, thetamax);
}
int REDirect::Disk(float height, float radius, float thetamax) {
    return RenderEngine::Disk(height, radius, thetamax);
}
int REDirect::Hyperboloid(const Point3& p1, const Point3& p2, float thetamax) {
    return RenderEngine::Hyperboloid(p1, p2, thetamax);
}
int REDirect::Paraboloid(float rmax, float zmin, float zmax, float thetamax) {
    return RenderEngine::Paraboloid(rmax, zmin, zmax, thetamax);
}
int REDirect::Sphere(float radius, float zmin, float zmax, float thetamax) {
    return RenderEngine::Sphere(radius, zmin, zmax, thetamax);
}
int REDirect::SqSphere(float radius, float north, float east, float zmin, float zmax, float thetamax) {
    return RenderEngine::SqSphere(radius, north, east, zmin, zmax, thetamax);
}
int REDirect::SqTorus(float rmajor, float rminor, float north, float east, float phimin, float phimax,
                      float thetamax) {
    return RenderEngine::SqTorus(rmajor, rminor, north, east, phimin, phimax, thetamax);
}
int REDirect::Torus(float rmajor, float rminor, float phimin, float phimax, float thetamax) {
    return RenderEngine::Torus(rmajor, rminor, phimin, phimax, thetamax);
}
int REDirect::Tube(const Point3& start, const Point3& end, float radius) {
    return RenderEngine::Tube(start, end, radius);
}

}  // namespace kx
