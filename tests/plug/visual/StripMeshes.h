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

// A closed sphere of `segments` around and segments / 2 rings: a vertex per pole, fans at the
// poles and quads between the rings.
inline Indices Sphere(unsigned segments) {
    const unsigned rings = segments / 2 < 2 ? 2 : segments / 2;
    Indices out;
    auto ring = [&](unsigned r, unsigned s) {
        return std::uint16_t(1 + (r - 1) * segments + s % segments);
    };
    const std::uint16_t south = std::uint16_t(1 + (rings - 1) * segments);
    for (unsigned s = 0; s < segments; ++s) {
        out.insert(out.end(), {0, ring(1, s + 1), ring(1, s)});
        for (unsigned r = 1; r + 1 < rings; ++r)
            out.insert(out.end(), {ring(r, s), ring(r, s + 1), ring(r + 1, s), ring(r + 1, s),
                                   ring(r, s + 1), ring(r + 1, s + 1)});
        out.insert(out.end(), {ring(rings - 1, s), ring(rings - 1, s + 1), south});
    }
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
