// The collision mesh's box tree: building it over meshes of 10 000 to 200 000 triangles, and
// casting rays at the built tree. Each family reports its fitted complexity: the build is to
// grow as n log n (or better), a ray as log n.
//
// Two meshes: a rolling terrain of two triangles per grid cell, as ground collision
// meshes are, and a soup of small triangles scattered at random in a cube.
#include "core/math/GmSurf.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <random>
#include <vector>

namespace {

// A terrain of about n triangles: a grid of cells one unit wide with a wavy height.
void FillTerrain(GmSurfMesh& mesh, u32 n) {
    const u32 rows = std::max(1u, u32(std::sqrt(f64(n) / 2.0)));
    const u32 columns = std::max(1u, n / 2 / rows);
    mesh.m_Vertices.SetCount((rows + 1) * (columns + 1));
    for (u32 r = 0; r <= rows; ++r) {
        for (u32 c = 0; c <= columns; ++c) {
            const f32 height = 3.0f * std::sin(f32(c) * 0.1f) * std::cos(f32(r) * 0.07f);
            mesh.m_Vertices[r * (columns + 1) + c] = {f32(c), height, f32(r)};
        }
    }
    mesh.m_Triangles.SetCount(2 * rows * columns);
    u32 t = 0;
    for (u32 r = 0; r < rows; ++r) {
        for (u32 c = 0; c < columns; ++c) {
            const u32 v = r * (columns + 1) + c;
            const u32 below = v + columns + 1;
            mesh.m_Triangles[t++] = {{}, 0.0f, {v, below, v + 1}, 0, 0, {0, 0}};
            mesh.m_Triangles[t++] = {{}, 0.0f, {v + 1, below, below + 1}, 0, 0, {0, 0}};
        }
    }
    for (u32 i = 0; i < mesh.m_Triangles.m_Count; ++i) {
        mesh.UpdateTrianglePlane(i);
    }
}

// n triangles of about one unit, at random in a cube whose volume grows with n.
void FillSoup(GmSurfMesh& mesh, u32 n) {
    std::mt19937 random(n);
    const f32 side = std::cbrt(f32(n)) * 2.0f;
    std::uniform_real_distribution<f32> place(0.0f, side);
    std::uniform_real_distribution<f32> offset(-1.0f, 1.0f);
    mesh.m_Vertices.SetCount(3 * n);
    mesh.m_Triangles.SetCount(n);
    for (u32 i = 0; i < n; ++i) {
        const Vec3 at{place(random), place(random), place(random)};
        for (u32 k = 0; k < 3; ++k) {
            mesh.m_Vertices[3 * i + k] = {at.x + offset(random), at.y + offset(random),
                                          at.z + offset(random)};
        }
        mesh.m_Triangles[i] = {{}, 0.0f, {3 * i, 3 * i + 1, 3 * i + 2}, 0, 0, {0, 0}};
        mesh.UpdateTrianglePlane(i);
    }
}

using FillFunction = void (*)(GmSurfMesh&, u32);

void Sizes(benchmark::internal::Benchmark* bench) {
    for (i64 n : {10000, 20000, 50000, 100000, 200000}) {
        bench->Arg(n);
    }
}

void BuildTree(benchmark::State& state, FillFunction fill) {
    GmSurfMesh mesh;
    fill(mesh, u32(state.range(0)));
    for (auto _ : state) {
        mesh.BuildTree();
        benchmark::DoNotOptimize(mesh.m_Tree.m_Nodes.m_Items);
    }
    if (!mesh.m_Tree.IsValid(mesh.m_Triangles.m_Count)) {
        state.SkipWithError("the tree is not sound");
    }
    state.SetComplexityN(mesh.m_Triangles.m_Count);
    state.SetItemsProcessed(i64(state.iterations()) * mesh.m_Triangles.m_Count);
}

using RayFunction = void (*)(const Aabb& box, std::mt19937& random, Vec3& origin, Vec3& direction);

// Straight down from above the terrain, as a ground probe is cast.
void ProbeDown(const Aabb& box, std::mt19937& random, Vec3& origin, Vec3& direction) {
    std::uniform_real_distribution<f32> unit(-1.0f, 1.0f);
    const Vec3& c = box.centre;
    const Vec3& h = box.halfSize;
    origin = {c.x + h.x * unit(random), c.y + h.y + 1.0f, c.z + h.z * unit(random)};
    direction = {0.0f, -1.0f, 0.0f};
}

// From a random point above the box to a random point inside it.
void ShootInto(const Aabb& box, std::mt19937& random, Vec3& origin, Vec3& direction) {
    std::uniform_real_distribution<f32> unit(-1.0f, 1.0f);
    const Vec3& c = box.centre;
    const Vec3& h = box.halfSize;
    origin = {c.x + h.x * unit(random), c.y + h.y * 2.0f + 1.0f, c.z + h.z * unit(random)};
    const Vec3 target{c.x + h.x * unit(random), c.y + h.y * unit(random), c.z + h.z * unit(random)};
    direction = {target.x - origin.x, target.y - origin.y, target.z - origin.z};
}

void CastRays(benchmark::State& state, FillFunction fill, RayFunction ray) {
    GmSurfMesh mesh;
    fill(mesh, u32(state.range(0)));
    mesh.BuildTree();
    Aabb box;
    mesh.GetBox(box);
    constexpr u32 kRays = 1024;
    std::mt19937 random(7);
    std::vector<Vec3> origins(kRays);
    std::vector<Vec3> directions(kRays);
    for (u32 i = 0; i < kRays; ++i) {
        ray(box, random, origins[i], directions[i]);
    }
    u64 hits = 0;
    for (auto _ : state) {
        for (u32 i = 0; i < kRays; ++i) {
            u32 triangle = 0;
            f32 t = 0.0f;
            hits += mesh.IntersectRay(origins[i], directions[i], triangle, t);
        }
    }
    if (hits == 0) {
        state.SkipWithError("no ray hit the mesh");
    }
    state.counters["hit rate"] = f64(hits) / f64(state.iterations() * kRays);
    state.SetComplexityN(mesh.m_Triangles.m_Count);
    state.SetItemsProcessed(i64(state.iterations()) * kRays);
}

BENCHMARK_CAPTURE(BuildTree, terrain, FillTerrain)
    ->Apply(Sizes)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
BENCHMARK_CAPTURE(BuildTree, soup, FillSoup)
    ->Apply(Sizes)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
BENCHMARK_CAPTURE(CastRays, terrain_down, FillTerrain, ProbeDown)
    ->Apply(Sizes)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oLogN);
BENCHMARK_CAPTURE(CastRays, soup_into, FillSoup, ShootInto)
    ->Apply(Sizes)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oLogN);

} // namespace
