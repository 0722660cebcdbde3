// The stripifier against meshoptimizer on the same index lists: grids, generated spheres and
// real meshes read through assimp. First the search alone (faces, adjacency and strip search),
// then the whole output (cutting, cache ordering, the stitched strip or the list): its strip
// length and cache figures once per mesh, its time in pairs with meshoptimizer's stripifier and
// cache optimiser. The Scaling series time the engine alone for the complexity fits.
#include "BenchPair.h"
#include "StripMeshes.h"
#include "plug/visual/Stripifier.h"

#include <map>
#include <meshoptimizer.h>
#include <string>

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

// ---- The whole output ----

// A mesh as one or more index lists (a model's meshes), triangles that repeat a vertex removed
// before either side sees them.
struct Mesh {
    std::vector<Indices> Parts;
    std::vector<std::vector<unsigned>> Wide; // the same as 32-bit indices
    std::vector<size_t> Vertices;            // per part, one more than its largest index
    size_t Triangles = 0;
};

Mesh MakeMesh(const std::vector<Indices>& parts) {
    Mesh mesh;
    for (const Indices& part : parts) {
        Indices kept;
        for (size_t t = 0; t + 2 < part.size(); t += 3) {
            const std::uint16_t a = part[t], b = part[t + 1], c = part[t + 2];
            if (a != b && b != c && c != a)
                kept.insert(kept.end(), {a, b, c});
        }
        if (kept.empty())
            continue;
        mesh.Wide.emplace_back(kept.begin(), kept.end());
        mesh.Vertices.push_back(*std::max_element(kept.begin(), kept.end()) + 1u);
        mesh.Triangles += kept.size() / 3;
        mesh.Parts.push_back(std::move(kept));
    }
    return mesh;
}

// Meshes by name: "grid/n", "sphere/n" or a model path; each made once.
const Mesh& MeshNamed(const std::string& name) {
    static std::map<std::string, Mesh> meshes;
    auto found = meshes.find(name);
    if (found != meshes.end())
        return found->second;
    std::vector<Indices> parts;
    if (name.rfind("grid/", 0) == 0) {
        const unsigned n = unsigned(std::stoul(name.substr(5)));
        parts.push_back(stripmesh::Grid(n, n));
    } else if (name.rfind("sphere/", 0) == 0) {
        parts.push_back(stripmesh::Sphere(unsigned(std::stoul(name.substr(7)))));
    } else {
        parts = stripmesh::LoadModel(name);
    }
    return meshes.emplace(name, MakeMesh(parts)).first->second;
}

std::vector<plug::StripGroup> Groups(const Indices& indices, bool lists) {
    plug::Stripifier::SetListOutputOnly(lists ? 1 : 0);
    std::vector<plug::StripGroup> groups = plug::Stripifier::BuildStripGroups(indices);
    plug::Stripifier::SetListOutputOnly(0);
    return groups;
}

// Strip lengths and cache figures, computed once per mesh. Strip indices per triangle: ours
// (group 0), meshopt_stripify with degenerate joins on the same list, and meshoptimizer's best
// road (its strip cache order first). ACMR (vertices transformed per triangle) of a FIFO cache
// of 10, 16 and 24 entries for the input order, our list, our strip expanded, and
// meshoptimizer's two cache orders.
void Counts(benchmark::State& state, const char* name) {
    const Mesh& mesh = MeshNamed(name);
    if (mesh.Triangles == 0) {
        state.SkipWithError("no triangles");
        return;
    }
    for (auto _ : state) {
    }
    double ours = 0, peer = 0, best = 0;
    const char* orders[] = {"input", "lists", "strip", "meshopt", "fifo"};
    const unsigned caches[] = {10, 16, 24};
    double transformed[5][3] = {};
    for (size_t p = 0; p < mesh.Parts.size(); ++p) {
        const std::vector<unsigned>& in = mesh.Wide[p];
        const size_t vertices = mesh.Vertices[p];
        const std::vector<plug::StripGroup> strip = Groups(mesh.Parts[p], false);
        const std::vector<plug::StripGroup> lists = Groups(mesh.Parts[p], true);
        ours += double(strip[0].IndexCount());
        std::vector<unsigned> out(meshopt_stripifyBound(in.size()));
        peer += double(meshopt_stripify(out.data(), in.data(), in.size(), vertices, 0));
        std::vector<unsigned> ordered(in.size());
        meshopt_optimizeVertexCacheStrip(ordered.data(), in.data(), in.size(), vertices);
        best += double(meshopt_stripify(out.data(), ordered.data(), in.size(), vertices, 0));

        std::vector<std::vector<unsigned>> lists5(5);
        lists5[0] = in;
        lists5[1].assign(lists[0].Indices.begin(), lists[0].Indices.end());
        const std::vector<unsigned> ourStrip(strip[0].Indices.begin(), strip[0].Indices.end());
        lists5[2].resize(meshopt_unstripifyBound(std::max<size_t>(ourStrip.size(), 3)));
        lists5[2].resize(meshopt_unstripify(lists5[2].data(), ourStrip.data(), ourStrip.size(), 0));
        lists5[3].resize(in.size());
        meshopt_optimizeVertexCache(lists5[3].data(), in.data(), in.size(), vertices);
        lists5[4].resize(in.size());
        meshopt_optimizeVertexCacheFifo(lists5[4].data(), in.data(), in.size(), vertices, 16);
        for (size_t o = 0; o < 5; ++o)
            for (size_t c = 0; c < 3; ++c)
                transformed[o][c] += meshopt_analyzeVertexCache(lists5[o].data(), lists5[o].size(),
                                                                vertices, caches[c], 0, 0)
                                         .vertices_transformed;
    }
    const double triangles = double(mesh.Triangles);
    state.counters["triangles"] = triangles;
    state.counters["ipt_ours"] = ours / triangles;
    state.counters["ipt_meshopt"] = peer / triangles;
    state.counters["ipt_meshopt_best"] = best / triangles;
    for (size_t o = 0; o < 5; ++o)
        for (size_t c = 0; c < 3; ++c)
            state.counters["acmr" + std::to_string(caches[c]) + "_" + orders[o]] =
                transformed[o][c] / triangles;
}

// Our groups in one mode against meshopt_stripify and meshopt_optimizeVertexCache on the same
// lists (ratio: against the stripifier; ratio_optimize: against the cache optimiser).
void Output(benchmark::State& state, const char* name, bool lists) {
    const Mesh& mesh = MeshNamed(name);
    if (mesh.Triangles == 0) {
        state.SkipWithError("no triangles");
        return;
    }
    size_t bound = 0;
    for (const std::vector<unsigned>& in : mesh.Wide)
        bound = std::max(bound, meshopt_stripifyBound(in.size()));
    std::vector<unsigned> out(bound);
    plug::Stripifier::SetListOutputOnly(lists ? 1 : 0);
    bench::InterleaveWithSecondPeer(
        state, "optimize", bench::NoSetup{},
        [&] {
            for (const Indices& part : mesh.Parts)
                benchmark::DoNotOptimize(plug::Stripifier::BuildStripGroups(part).data());
        },
        bench::NoSetup{},
        [&] {
            for (size_t p = 0; p < mesh.Wide.size(); ++p)
                benchmark::DoNotOptimize(meshopt_stripify(
                    out.data(), mesh.Wide[p].data(), mesh.Wide[p].size(), mesh.Vertices[p], 0));
        },
        bench::NoSetup{},
        [&] {
            for (size_t p = 0; p < mesh.Wide.size(); ++p) {
                meshopt_optimizeVertexCache(out.data(), mesh.Wide[p].data(), mesh.Wide[p].size(),
                                            mesh.Vertices[p]);
                benchmark::DoNotOptimize(out.data());
            }
        });
    plug::Stripifier::SetListOutputOnly(0);
    state.counters["triangles"] = double(mesh.Triangles);
}

void OutputStrip(benchmark::State& state, const char* name) {
    Output(state, name, false);
}
void OutputLists(benchmark::State& state, const char* name) {
    Output(state, name, true);
}

// The whole output alone over the grid and sphere series, for the complexity fits.
void OutputScaling(benchmark::State& state, bool sphere) {
    const Mesh& mesh = MeshNamed((sphere ? "sphere/" : "grid/") + std::to_string(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(plug::Stripifier::BuildStripGroups(mesh.Parts[0]).data());
    state.SetComplexityN(i64(mesh.Triangles));
    state.counters["triangles"] = double(mesh.Triangles);
}

// Each benchmark over every mesh, with the settings that follow the name.
#define STRIP_MESHES(fn, settings)                                                                 \
    BENCHMARK_CAPTURE(fn, grid_32, "grid/32") settings;                                            \
    BENCHMARK_CAPTURE(fn, grid_64, "grid/64") settings;                                            \
    BENCHMARK_CAPTURE(fn, grid_128, "grid/128") settings;                                          \
    BENCHMARK_CAPTURE(fn, grid_180, "grid/180") settings;                                          \
    BENCHMARK_CAPTURE(fn, sphere_8, "sphere/8") settings;                                          \
    BENCHMARK_CAPTURE(fn, sphere_32, "sphere/32") settings;                                        \
    BENCHMARK_CAPTURE(fn, sphere_64, "sphere/64") settings;                                        \
    BENCHMARK_CAPTURE(fn, sphere_128, "sphere/128") settings;                                      \
    BENCHMARK_CAPTURE(fn, yxa_1, "BLEND/yxa_1.blend") settings;                                    \
    BENCHMARK_CAPTURE(fn, human, "Collada/human.zae") settings;                                    \
    BENCHMARK_CAPTURE(fn, E_AT_AT, "Q3D/E-AT-AT.q3o") settings;                                    \
    BENCHMARK_CAPTURE(fn, duck, "Collada/duck.dae") settings;                                      \
    BENCHMARK_CAPTURE(fn, WusonOBJ, "OBJ/WusonOBJ.obj") settings;                                  \
    BENCHMARK_CAPTURE(fn, spider, "OBJ/spider.obj") settings;                                      \
    BENCHMARK_CAPTURE(fn, fels, "3DS/fels.3ds") settings;

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

// The counts take one iteration: they are figures of the output, not times.
STRIP_MESHES(Counts, ->Iterations(1));
STRIP_MESHES(OutputStrip, ->Unit(benchmark::kMillisecond));
STRIP_MESHES(OutputLists, ->Unit(benchmark::kMillisecond));
BENCHMARK_CAPTURE(OutputScaling, Grid, false)
    ->Arg(32)
    ->Arg(64)
    ->Arg(128)
    ->Arg(180)
    ->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OutputScaling, Sphere, true)
    ->Arg(8)
    ->Arg(32)
    ->Arg(64)
    ->Arg(128)
    ->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);

} // namespace
