#pragma once
// Index lists for the stripifier's tests, fuzz seeds and benchmark: grids, spheres, fans and
// real meshes read through assimp.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace stripmesh {

using Indices = std::vector<std::uint16_t>;

// w x h quads, two triangles each, rows of vertices (w + 1) wide.
inline Indices Grid(unsigned w, unsigned h) {
    Indices out;
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            const unsigned a = y * (w + 1) + x, b = a + 1, c = a + w + 1, d = c + 1;
            out.insert(out.end(), {std::uint16_t(a), std::uint16_t(c), std::uint16_t(b),
                                   std::uint16_t(b), std::uint16_t(c), std::uint16_t(d)});
        }
    return out;
}

// The index list of the engine's generated sphere of n segments: R = 2m - 1 vertices per ring,
// m - 2 rings between poles of R - 1 copies each.
inline Indices Sphere(unsigned n) {
    const unsigned m = n < 3 ? 3 : n, R = 2 * m - 1, V = m * R - 2;
    Indices out;
    auto add = [&](unsigned a, unsigned b, unsigned c) {
        out.insert(out.end(), {std::uint16_t(a), std::uint16_t(b), std::uint16_t(c)});
    };
    for (unsigned t = 0; t + 1 < R; ++t)
        add(t, R - 1 + t, R + t);
    for (unsigned j = 1; j + 3 <= m; ++j)
        for (unsigned g = j * R; g + 1 < j * R + R; ++g) {
            add(g - 1, R + g - 1, g);
            add(g, R + g - 1, R + g);
        }
    for (unsigned t = 0; t + 1 < R; ++t)
        add(V - R + 1 + t, V - 2 * R + 2 + t, V - 2 * R + 1 + t);
    return out;
}

// `n` triangles around vertex 0.
inline Indices Fan(unsigned n) {
    Indices out;
    for (unsigned i = 1; i <= n; ++i)
        out.insert(out.end(), {0, std::uint16_t(i), std::uint16_t(i % n + 1)});
    return out;
}

inline const char* kModelFolder = "/usr/share/assimp/models/";

// Each triangle mesh of a model as one index list (triangulated, identical vertices joined).
inline std::vector<Indices> LoadModel(const std::string& relative) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(
        kModelFolder + relative, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices);
    std::vector<Indices> meshes;
    if (!scene)
        return meshes;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        Indices out;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f)
            if (mesh->mFaces[f].mNumIndices == 3)
                for (unsigned k = 0; k < 3; ++k)
                    out.push_back(std::uint16_t(mesh->mFaces[f].mIndices[k]));
        if (!out.empty())
            meshes.push_back(std::move(out));
    }
    return meshes;
}

} // namespace stripmesh
