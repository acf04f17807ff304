// Direct engine speed: a sphere of 180,000 quadrilaterals filling most of a
// 1280 x 960 frame, flat and unlit, then as smooth plastic under a point, a
// far and the ambient light.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/lights.h"
#include "core/transform.h"
#include "engines/direct/direct_engine.h"
#include "engines/direct/direct_state.h"
#include "surface/texture.h"
#include "display/display.h"
#include "fresh_state.h"

namespace kx {
namespace {

struct Mesh {
    std::vector<float> vertices;   // x y z nx ny nz
    std::vector<float> positions;  // x y z
    std::vector<int> indices;
    int count = 0, faces = 0;
};

// A UV sphere of radius 2 at the origin, rows x columns quadrilaterals;
// drawn 2.5 in front of the eye it overflows the frame at top and bottom.
const Mesh& SphereMesh() {
    static const Mesh mesh = [] {
        const int rows = 300, columns = 600;
        Mesh m;
        for (int r = 0; r <= rows; ++r)
            for (int c = 0; c <= columns; ++c) {
                double theta = 3.141592653589793 * r / rows, phi = 2 * 3.141592653589793 * c / columns;
                double n[3] = {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)};
                for (double x : n) m.vertices.push_back(static_cast<float>(2 * x));
                for (double x : n) m.vertices.push_back(static_cast<float>(x));
                for (double x : n) m.positions.push_back(static_cast<float>(2 * x));
            }
        auto at = [](int r, int c) { return r * (columns + 1) + c; };
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                m.indices.insert(m.indices.end(), {at(r, c), at(r + 1, c), at(r + 1, c + 1), at(r, c + 1), -1});
        m.count = (rows + 1) * (columns + 1);
        m.faces = rows * columns;
        return m;
    }();
    return mesh;
}

void Fresh(REDirect& e) {
    bench::FreshState(1280, 960);
    e.Begin();
}

uint64_t gFragments = 0;
ShaderFunction gShader = nullptr;
void CountingShader(const DirectState& s, ColorRGB& out) {
    ++gFragments;
    gShader(s, out);
}

// One frame; with count, the shaded fragments are counted into gFragments.
void DrawSphere(REDirect& e, bool lit, bool count = false) {
    const Mesh& m = SphereMesh();
    e.WorldBegin();
    if (lit) {
        e.Surface("plastic");
        e.Ka(0.2f);
        e.Kd(0.6f);
        e.Ks(0.4f);
        e.PointLight({4, 4, 2}, {1, 0.9f, 0.8f}, 30);
        e.FarLight({-1, -1, -1}, {0.4f, 0.4f, 0.5f}, 1);
        e.AmbientLight({1, 1, 1}, 0.3f);
    }
    if (count) {
        gFragments = 0;
        gShader = process().direct.shader;
        process().direct.shader = CountingShader;
    }
    e.Color({0.8f, 0.3f, 0.2f});
    e.Translate({0, 0, -2.5f});
    e.RotateYZ(70);
    if (lit)
        e.PolySet("PN", m.count, m.vertices.data(), m.faces, m.indices.data());
    else
        e.PolySet("P", m.count, m.positions.data(), m.faces, m.indices.data());
    if (count) process().direct.shader = gShader;
}

void Run(benchmark::State& state, bool lit) {
    REDirect e{kx::process().context, kx::process().direct, kx::process().maps};
    Fresh(e);
    SphereMesh();
    DrawSphere(e, lit, true);
    double fragments = static_cast<double>(gFragments);
    for (auto _ : state) DrawSphere(e, lit);
    state.counters["quads"] = SphereMesh().faces;
    state.counters["fragments"] = fragments;
    state.counters["fragments/s"] = benchmark::Counter(fragments, benchmark::Counter::kIsIterationInvariantRate);
    e.End();
}

void BM_DirectSphereFlat(benchmark::State& state) { Run(state, false); }
void BM_DirectSpherePlastic(benchmark::State& state) { Run(state, true); }

BENCHMARK(BM_DirectSphereFlat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectSpherePlastic)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kx
