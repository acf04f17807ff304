// Micro-benchmarks of the hot paths: number reading, polygon clipping and
// filling, span shading per material, sphere tessellation, ray-object tests,
// and the bounding tree's insertion and queries.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/lights.h"
#include "core/transform.h"
#include "engines/direct/direct_engine.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/primitives.h"
#include "surface/texture.h"
#include "engines/raytrace/bounding_tree.h"
#include "engines/raytrace/objects.h"
#include "scene/input.h"
#include "scene/numbers.h"
#include "display/display.h"
#include "fresh_state.h"

namespace kx {
namespace {

// ---------------------------------------------------------------- numbers

// Vertex-list words as a mesh exporter writes them (%g, six digits).
const std::vector<std::string>& NumberWords() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> w;
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> u(-1, 1);
        char buf[64];
        for (int i = 0; i < 4096; ++i) {
            std::snprintf(buf, sizeof buf, "%g", u(rng) * (i % 7 == 0 ? 100 : 1));
            w.push_back(buf);
        }
        return w;
    }();
    return words;
}

template <class Convert>
void ConvertWords(benchmark::State& state, Convert convert) {
    const std::vector<std::string>& words = NumberWords();
    for (auto _ : state)
        for (const std::string& w : words) {
            char* end;
            benchmark::DoNotOptimize(convert(w.c_str(), &end));
        }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(words.size()));
}
void BM_ReadDouble(benchmark::State& state) { ConvertWords(state, ReadDouble); }
void BM_RuntimeStrtod(benchmark::State& state) {
    ConvertWords(state, [](const char* s, char** e) { return std::strtod(s, e); });
}
void BM_ReadLong(benchmark::State& state) {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> w;
        for (int i = 0; i < 4096; ++i) w.push_back(i % 5 == 4 ? "-1" : std::to_string(i * 37 % 180901));
        return w;
    }();
    for (auto _ : state)
        for (const std::string& w : words) {
            char* end;
            benchmark::DoNotOptimize(ReadLong(w.c_str(), &end));
        }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(words.size()));
}
BENCHMARK(BM_ReadDouble);
BENCHMARK(BM_RuntimeStrtod);
BENCHMARK(BM_ReadLong);

// Stream extraction of command arguments ("Translate x y z" and the like).
void BM_ExtractFloats(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "-4.5 3.25 0.35\n";
    for (auto _ : state) {
        SceneInput in;
        in.openText(text);
        float v = 0;
        for (int i = 0; i < 60000; ++i) in.extractFloat(v);
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 60000);
}
BENCHMARK(BM_ExtractFloats)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- direct engine

void FreshDirect(REDirect& e, int w, int h) {
    bench::FreshState(w, h);
    e.Begin();
    e.WorldBegin();
}

// Quadrilaterals that cross the left, top and near planes of the view
// volume: every one is clipped before a small part of it is filled.
void BM_PolygonClipAndFill(benchmark::State& state) {
    REDirect e{kx::process().context, kx::process().direct, kx::process().maps};
    FreshDirect(e, 640, 480);
    const float v[] = {-9, 0.2f, -3, -1, 0.2f, -3, -1, 9, -3, -9, 9, 0.5f};
    const int idx[] = {0, 1, 2, 3, -1};
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) e.PolySet("P", 4, v, 1, idx);
        std::fill(process().direct.depth.begin(), process().direct.depth.end(), 1.0f);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000);
    e.End();
}
BENCHMARK(BM_PolygonClipAndFill)->Unit(benchmark::kMillisecond);

// A grid of 4 x 4 pixel quadrilaterals inside the view: edge set-up and
// short spans dominate.
void BM_SmallPolygonFill(benchmark::State& state) {
    REDirect e{kx::process().context, kx::process().direct, kx::process().maps};
    FreshDirect(e, 640, 480);
    std::vector<float> v;
    std::vector<int> idx;
    const int n = 100;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) v.insert(v.end(), {-1 + 2.0f * i / n, -0.75f + 1.5f * j / n, -2});
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            idx.insert(idx.end(), {j * (n + 1) + i, j * (n + 1) + i + 1, (j + 1) * (n + 1) + i + 1, (j + 1) * (n + 1) + i, -1});
    for (auto _ : state) {
        e.PolySet("P", (n + 1) * (n + 1), v.data(), n * n, idx.data());
        std::fill(process().direct.depth.begin(), process().direct.depth.end(), 1.0f);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n * n);
    e.End();
}
BENCHMARK(BM_SmallPolygonFill)->Unit(benchmark::kMillisecond);

// One quadrilateral covering a 640 x 480 image, shaded per pixel by each
// material under a point, a far and the ambient light.
void BM_SpanShading(benchmark::State& state) {
    static const char* const kSurfaces[] = {"matte", "metal", "plastic", "painted plastic"};
    const char* surface = kSurfaces[state.range(0)];
    REDirect e{kx::process().context, kx::process().direct, kx::process().maps};
    FreshDirect(e, 640, 480);
    e.Surface(surface);
    e.Ka(0.2f);
    e.Kd(0.6f);
    e.Ks(0.4f);
    e.PointLight({1, 1, 1}, {1, 0.9f, 0.8f}, 3);
    e.FarLight({-1, -1, -1}, {0.4f, 0.4f, 0.5f}, 1);
    const float v[] = {-2, -2, -1.5f, 0, 0, 1, 2, -2, -1.5f, 0.3f, 0, 1, 2, 2, -1.5f, 0.3f, 0.3f, 1, -2, 2, -1.5f, 0, 0.3f, 1};
    const int idx[] = {0, 1, 2, 3, -1};
    for (auto _ : state) {
        e.PolySet("PN", 4, v, 1, idx);
        std::fill(process().direct.depth.begin(), process().direct.depth.end(), 1.0f);
    }
    state.SetLabel(surface);
    state.counters["fragments/s"] = benchmark::Counter(640.0 * 480, benchmark::Counter::kIsIterationInvariantRate);
    e.End();
}
BENCHMARK(BM_SpanShading)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

int CountVertex(DirectPipeline&, const AttributeVertex& v, bool, const FaceNormal&) {
    benchmark::DoNotOptimize(v.v[0]);
    return 0;
}

// The sphere's corners and face normals alone (the vertices go nowhere).
void BM_SphereTessellation(benchmark::State& state) {
    Process& p = process();
    p.direct.reset();
    DirectPipeline pipeline{p.context, p.direct, p.maps};
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) TessellateSphere(pipeline, 1, -1, 1, 360, n, CountVertex);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * (n / 2) * n);
}
BENCHMARK(BM_SphereTessellation)->Arg(200)->Arg(600)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- ray tracer

using raytrace::BoundingTree;
using raytrace::BuiltObject;
using raytrace::GrObject;
using raytrace::HitRecord;

std::vector<Ray> RandomRays(int n, float spread) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<Ray> rays;
    for (int i = 0; i < n; ++i) {
        Ray r{{u(rng) * spread, u(rng) * spread, 10}, {u(rng) * 0.2f, u(rng) * 0.2f, -1}};
        rays.push_back(r);
    }
    return rays;
}

// One object's intersect over rays aimed near it (about half hit).
void RayObject(benchmark::State& state, BuiltObject built) {
    const std::vector<Ray> rays = RandomRays(4096, 1.5f);
    int hits = 0;
    for (auto _ : state)
        for (const Ray& r : rays) {
            double t;
            HitRecord hit;
            hits += built.object->intersect(1e-7, 1e30, t, r, hit);
        }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rays.size()));
}
Matrix4 Identity() { return Matrix4::identity(); }
void BM_RaySphere(benchmark::State& state) { RayObject(state, raytrace::BuildSphere(1, -1, 1, 360, Identity(), Identity())); }
void BM_RayCube(benchmark::State& state) { RayObject(state, raytrace::BuildCube(Identity(), Identity())); }
void BM_RayCylinder(benchmark::State& state) {
    RayObject(state, raytrace::BuildCylinder(1, -1, 1, 360, Identity(), Identity()));
}
void BM_RayPolySetQuad(benchmark::State& state) {
    const float v[] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    const int idx[] = {0, 1, 2, 3, -1};
    BuiltObject b;
    raytrace::BuildPolySet("P", 4, v, 1, idx, Identity(), Identity(), b);
    RayObject(state, std::move(b));
}
BENCHMARK(BM_RaySphere);
BENCHMARK(BM_RayCube);
BENCHMARK(BM_RayCylinder);
BENCHMARK(BM_RayPolySetQuad);

// A grid of n x n x n spheres, inserted in grid order.
void FillGrid(BoundingTree& tree, int n) {
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k) {
                TransformState xf;
                xf.setIdentity();
                xf.translate({i - n / 2.0f, j - n / 2.0f, k - n / 2.0f});
                BuiltObject b = raytrace::BuildSphere(0.35f, -0.35f, 0.35f, 360, xf.M, xf.Minv);
                tree.Insert(b.object.release(), b.lower, b.upper);
            }
}

void BM_TreeInsert(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        BoundingTree tree;
        FillGrid(tree, n);
        benchmark::DoNotOptimize(tree.root());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n * n * n);
}
BENCHMARK(BM_TreeInsert)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// Nearest-hit and any-hit queries into the 1000-sphere grid, over the
// prepared layout (1) or the node links (0).
void TreeQuery(benchmark::State& state, bool nearest) {
    BoundingTree tree;
    FillGrid(tree, 10);
    if (state.range(0)) tree.Prepare();
    const std::vector<Ray> rays = RandomRays(4096, 6);
    int hits = 0;
    for (auto _ : state)
        for (const Ray& r : rays) {
            if (nearest) {
                double t;
                HitRecord hit;
                GrObject* obj;
                hits += tree.NearestHit(1e-7, 1e30, r, t, hit, obj);
            } else {
                hits += tree.AnyHit(1e-7, 1e30, r);
            }
        }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rays.size()));
}
void BM_TreeNearestHit(benchmark::State& state) { TreeQuery(state, true); }
void BM_TreeAnyHit(benchmark::State& state) { TreeQuery(state, false); }
BENCHMARK(BM_TreeNearestHit)->Arg(0)->Arg(1);
BENCHMARK(BM_TreeAnyHit)->Arg(0)->Arg(1);

}  // namespace
}  // namespace kx
