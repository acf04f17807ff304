// Scene reading: the lexer and the vertex-list commands on large meshes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "interface/current_engine.h"
#include "scene/input.h"
#include "scene/objects.h"
#include "scene/parser.h"
#include "display/display.h"
#include "shell/process.h"

namespace {

// Takes the mesh and does nothing with it: only the reading is measured.
class NullEngine : public kx::RenderEngine {
public:
    int WorldBegin() override { return 0; }
    int WorldEnd() override { return 0; }
    int PolySet(const std::string&, int, const float*, int, const int*) override { return 0; }
};

// A grid of vertices as one PolySet "P" with quads, about 30 bytes a vertex.
std::string MeshText(int columns, int rows) {
    std::string text = "WorldBegin\nPolySet \"P\" " + std::to_string(columns * rows) + " " +
                       std::to_string((columns - 1) * (rows - 1)) + "\n";
    char buf[128];
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            std::snprintf(buf, sizeof buf, "%.5g %.5g %.5g\n", i * 0.0123456, j * 0.0654321, -1.0 - i * j * 1e-7);
            text += buf;
        }
    for (int j = 0; j + 1 < rows; ++j)
        for (int i = 0; i + 1 < columns; ++i) {
            int a = j * columns + i;
            std::snprintf(buf, sizeof buf, "%d %d %d %d -1\n", a, a + 1, a + columns + 1, a + columns);
            text += buf;
        }
    text += "WorldEnd\n";
    return text;
}

int ParseAll() {
    kx::process().parser.reset();
    kx::process().objects.reset();
    int s;
    while ((s = kx::process().parser.ParseStep()) == 0 || s == 2) {
    }
    return s;
}

void BM_ParseMillionVertexPolySetFromFile(benchmark::State& state) {
    static const std::string text = MeshText(1000, 1000);
    const char* path = "/tmp/kx_bench_mesh.kx";
    if (FILE* f = std::fopen(path, "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    kx::process().engine.set(std::make_unique<NullEngine>());
    for (auto _ : state) {
        kx::process().input.open(path);
        int s = ParseAll();
        if (s != 1) state.SkipWithError("parse failed");
        kx::process().input.close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["MB"] = text.size() / 1e6;
    std::remove(path);
}
BENCHMARK(BM_ParseMillionVertexPolySetFromFile)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SkipBlankAndTokens(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "Color 0.25 0.5 0.75 # a comment\n";
    std::string word;
    for (auto _ : state) {
        kx::SceneInput in;
        in.openText(text);
        long n = 0;
        for (;;) {
            in.skipBlank();
            if (in.atEnd()) break;
            in.readToken(word);
            ++n;
        }
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SkipBlankAndTokens)->Unit(benchmark::kMillisecond);

}  // namespace
