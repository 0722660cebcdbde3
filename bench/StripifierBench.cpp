// The stripifier's search (faces, adjacency and strip search) against meshoptimizer's stripifier
// on the same index lists: grids, generated spheres and real meshes read through assimp. The
// Scaling series time the engine alone for the complexity fits.
#include "BenchPair.h"
#include "StripMeshes.h"
#include "plug/visual/Stripifier.h"

#include <meshoptimizer.h>

namespace {

using stripmesh::Indices;

void SearchOnce(const Indices& indices) {
    plug::Stripifier run(plug::BuildStripifyInfo(indices));
    run.SearchStrips(10);
    benchmark::DoNotOptimize(run.Strips().data());
}

void Compare(benchmark::State& state, const Indices& indices) {
    if (indices.empty()) {
        state.SkipWithError("no triangles");
        return;
    }
    std::vector<unsigned> wide(indices.begin(), indices.end());
    const size_t vertices = *std::max_element(wide.begin(), wide.end()) + 1;
    std::vector<unsigned> strip(meshopt_stripifyBound(wide.size()));
    bench::Interleave(
        state, [&] { SearchOnce(indices); },
        [&] {
            benchmark::DoNotOptimize(
                meshopt_stripify(strip.data(), wide.data(), wide.size(), vertices, ~0u));
        });
    state.counters["triangles"] = double(indices.size() / 3);
}

void Grid(benchmark::State& state) {
    Compare(state, stripmesh::Grid(unsigned(state.range(0)), unsigned(state.range(0))));
}
void Sphere(benchmark::State& state) {
    Compare(state, stripmesh::Sphere(unsigned(state.range(0))));
}

// All meshes of a model, one after another.
void Model(benchmark::State& state, const char* path) {
    const auto meshes = stripmesh::LoadModel(path);
    Indices all;
    if (meshes.empty()) {
        state.SkipWithError("model not readable");
        return;
    }
    std::vector<std::vector<unsigned>> wide;
    std::vector<size_t> vertices;
    size_t bound = 0, triangles = 0;
    for (const Indices& m : meshes) {
        wide.emplace_back(m.begin(), m.end());
        vertices.push_back(*std::max_element(m.begin(), m.end()) + 1u);
        bound = std::max(bound, meshopt_stripifyBound(m.size()));
        triangles += m.size() / 3;
    }
    std::vector<unsigned> strip(bound);
    bench::Interleave(
        state,
        [&] {
            for (const Indices& m : meshes)
                SearchOnce(m);
        },
        [&] {
            for (size_t i = 0; i < wide.size(); ++i)
                benchmark::DoNotOptimize(meshopt_stripify(strip.data(), wide[i].data(),
                                                          wide[i].size(), vertices[i], ~0u));
        });
    state.counters["triangles"] = double(triangles);
}

// Besides the time, the faces the trials grew per face of the mesh (the search's work, fixed by
// its rules and varying from mesh to mesh) and the grown faces per second of CPU time, which
// shows the cost of one step of growth apart from how many steps the mesh asks for.
void Scaling(benchmark::State& state, bool sphere) {
    const Indices indices =
        sphere ? stripmesh::Sphere(unsigned(state.range(0)))
               : stripmesh::Grid(unsigned(state.range(0)), unsigned(state.range(0)));
    u64 grown = 0;
    for (auto _ : state) {
        plug::Stripifier run(plug::BuildStripifyInfo(indices));
        run.SearchStrips(10);
        benchmark::DoNotOptimize(run.Strips().data());
        grown = run.GrownFaces();
    }
    state.SetComplexityN(i64(indices.size() / 3));
    state.counters["triangles"] = double(indices.size() / 3);
    state.counters["grown_per_face"] = double(grown) / double(indices.size() / 3);
    state.counters["grown_per_s"] =
        benchmark::Counter(double(grown), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(Grid)->Arg(32)->Arg(64)->Arg(128)->Arg(180)->Unit(benchmark::kMillisecond);
BENCHMARK(Sphere)->Arg(8)->Arg(32)->Arg(90)->Arg(181)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Model, yxa_1, "BLEND/yxa_1.blend")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Model, human, "Collada/human.zae")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Model, E_AT_AT, "Q3D/E-AT-AT.q3o")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Model, duck, "Collada/duck.dae")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Model, WusonOBJ, "OBJ/WusonOBJ.obj")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Model, spider, "OBJ/spider.obj")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Model, fels, "3DS/fels.3ds")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Scaling, Grid, false)
    ->DenseRange(32, 180, 37)
    ->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Scaling, Sphere, true)
    ->DenseRange(8, 181, 43)
    ->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);

} // namespace
