// Ray tracer speed: a grid of 1000 spheres under one shadowing point light
// (on one, two and all cores), and a 100,000-triangle mesh, both at
// 640 x 480 with one sample per pixel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/lights.h"
#include "core/transform.h"
#include "engines/raytrace/ray_engine.h"
#include "display/display.h"
#include "shell/process.h"
#include "fresh_state.h"

namespace kx {
namespace {

void FreshDisplay(int w, int h) { bench::FreshState(w, h); }

void SphereGrid(RERay& e) {
    e.CameraEye({14, 11, 30});
    e.CameraAt({0, 0, 0});
    e.CameraFOV(50);
    e.WorldBegin();
    e.PointLight({30, 40, 35}, {1, 1, 1}, 3000);
    e.Ka(0.2f);
    e.Kd(0.8f);
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            for (int k = 0; k < 10; ++k) {
                e.XformPush();
                e.Translate({2.0f * i - 9, 2.0f * j - 9, 2.0f * k - 9});
                e.Color({0.3f + 0.07f * i, 0.3f + 0.07f * j, 0.3f + 0.07f * k});
                e.Sphere(0.7f, -0.7f, 0.7f, 360);
                e.XformPop();
            }
}

// A UV sphere of radius 5 made of rows x columns x 2 triangles.
void TriangleMesh(RERay& e, int rows, int columns) {
    std::vector<float> v;
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c) {
            double theta = 3.141592653589793 * r / rows, phi = 2 * 3.141592653589793 * c / columns;
            v.push_back(static_cast<float>(5 * std::sin(theta) * std::cos(phi)));
            v.push_back(static_cast<float>(5 * std::sin(theta) * std::sin(phi)));
            v.push_back(static_cast<float>(5 * std::cos(theta)));
        }
    std::vector<int> idx;
    auto at = [columns](int r, int c) { return r * (columns + 1) + c; };
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            idx.insert(idx.end(), {at(r, c), at(r + 1, c), at(r + 1, c + 1), -1});
            idx.insert(idx.end(), {at(r, c), at(r + 1, c + 1), at(r, c + 1), -1});
        }
    e.CameraEye({0, -4, 15});
    e.CameraAt({0, 0, 0});
    e.CameraFOV(45);
    e.WorldBegin();
    e.PointLight({10, 10, 20}, {1, 1, 1}, 600);
    e.Ka(0.1f);
    e.Kd(0.9f);
    e.RotateYZ(70);
    e.PolySet("P", (rows + 1) * (columns + 1), v.data(), 2 * rows * columns, idx.data());
}

// Primary and shadow rays of one frame, counted by replaying the tracer's
// queries.
double RaysPerFrame() {
    const RayState& st = kx::process().ray;
    const int W = process().display.width, H = process().display.height;
    double rays = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            Point3 q = st.rasterToWorld * Point3(x + 0.5f, y + 0.5f, 1);
            Ray r{st.eye, normalized(q - st.eye)};
            ++rays;
            double t;
            raytrace::HitRecord hit;
            raytrace::GrObject* obj = nullptr;
            if (!st.scene.NearestHit(1e-7, 1e30, r, t, hit, obj)) continue;
            normalize(hit.normal);
            hit.point += 0.001f * hit.normal;
            for (const auto& light : process().lights.lights)
                if (dot(hit.normal, normalized(light->directionTo(hit.point))) >= 0) ++rays;
        }
    return rays;
}

// The argument is the number of threads (0: one per core).
void BM_SphereGridShadows(benchmark::State& state) {
    FreshDisplay(640, 480);
    RERay e{kx::process().context, kx::process().ray};
    e.OptionReal("Threads", static_cast<float>(state.range(0)));
    SphereGrid(e);
    for (auto _ : state) e.Render();
    double rays = RaysPerFrame();
    state.counters["rays"] = rays;
    state.counters["rays/s"] = benchmark::Counter(rays, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SphereGridShadows)->Arg(1)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Building the mesh's face tree and rendering it.
void BM_TriangleMeshBuildAndRender(benchmark::State& state) {
    FreshDisplay(640, 480);
    RERay e{kx::process().context, kx::process().ray};
    for (auto _ : state) {
        TriangleMesh(e, 250, 200);
        e.Render();
    }
    double rays = RaysPerFrame();
    state.counters["triangles"] = 2 * 250 * 200;
    state.counters["rays/s"] = benchmark::Counter(rays, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TriangleMeshBuildAndRender)->Unit(benchmark::kMillisecond);

void BM_TriangleMeshBuild(benchmark::State& state) {
    FreshDisplay(640, 480);
    RERay e{kx::process().context, kx::process().ray};
    for (auto _ : state) TriangleMesh(e, 250, 200);
}
BENCHMARK(BM_TriangleMeshBuild)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kx
