// Fuzzes the reading of a collision mesh archive.
//
// The first byte chooses the encoding (bit 0: text) and the mesh read into (bit 1: one that
// already holds triangles). Reading must end in a result, never in a fault, a hang or a huge
// allocation. A refused read leaves the mesh as it was; a mesh read holds a tree shaped as the
// builder makes it (so no walk over it can go deep), answers ray queries, writes, reads back
// and writes again to the same bytes, and keeps a sound tree when it is moved by a mirror. On
// the rebuilt tree, rays find what testing every triangle finds.
#include "FuzzCheck.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/math/GmQuery.h"
#include "core/math/GmSurf.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

std::string Written(GmSurfMesh& mesh) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    mesh.Archive(archive);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

bool Read(GmSurfMesh& mesh, const u8* data, u32 size, bool text) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    memory->Write(data, size);
    memory->Rewind();
    archive.SetBuffer(memory);
    archive.m_Text = text;
    return mesh.Archive(archive);
}

void FillSample(GmSurfMesh& mesh) {
    mesh.m_Vertices.SetCount(4);
    mesh.m_Vertices[0] = {0, 0, 0};
    mesh.m_Vertices[1] = {1, 0, 0};
    mesh.m_Vertices[2] = {0, 1, 0};
    mesh.m_Vertices[3] = {0, 0, 1};
    mesh.m_Triangles.SetCount(2);
    mesh.m_Triangles[0] = {{}, 0.0f, {0, 2, 1}, 1, 2, {0, 0}};
    mesh.m_Triangles[1] = {{}, 0.0f, {0, 1, 3}, 3, 4, {0, 0}};
    mesh.UpdateTrianglePlane(0);
    mesh.UpdateTrianglePlane(1);
    mesh.BuildTree();
}

// Rays from the box's corners through its centre and along the axes through it.
template <typename Visit>
void ForEachRay(const GmSurfMesh& mesh, const Visit& visit) {
    Aabb box;
    mesh.GetBox(box);
    const Vec3& c = box.centre;
    const Vec3 h{box.halfSize.x + 1.0f, box.halfSize.y + 1.0f, box.halfSize.z + 1.0f};
    for (u32 corner = 0; corner < 8; ++corner) {
        const Vec3 d{corner & 1 ? h.x : -h.x, corner & 2 ? h.y : -h.y, corner & 4 ? h.z : -h.z};
        visit(Vec3{c.x - d.x, c.y - d.y, c.z - d.z}, d);
    }
    visit(Vec3{c.x, c.y, c.z + h.z}, Vec3{0.0f, 0.0f, -1.0f});
    visit(Vec3{c.x - h.x, c.y, c.z}, Vec3{1.0f, 0.0f, 0.0f});
}

// Coordinates small enough that boxes and ray tests round alike.
bool IsModest(const GmSurfMesh& mesh) {
    for (u32 i = 0; i < mesh.m_Vertices.m_Count; ++i) {
        const Vec3& v = mesh.m_Vertices[i];
        if (!(std::fabs(v.x) <= 1e6f && std::fabs(v.y) <= 1e6f && std::fabs(v.z) <= 1e6f))
            return false;
    }
    return true;
}

// The nearest t over every triangle, infinity without a hit.
f32 NearestByHand(const GmSurfMesh& mesh, const Vec3& origin, const Vec3& direction) {
    f32 nearest = std::numeric_limits<f32>::infinity();
    for (u32 i = 0; i < mesh.m_Triangles.m_Count; ++i) {
        const u32* v = mesh.m_Triangles[i].indices;
        f32 u, w, t;
        if (GmIntersectRayTriangle(origin, direction, mesh.m_Vertices[v[0]], mesh.m_Vertices[v[1]],
                                   mesh.m_Vertices[v[2]], u, w, t) &&
            t >= 0.0f && t < nearest)
            nearest = t;
    }
    return nearest;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 1 || size > (1u << 20))
        return 0;
    const u8 mode = data[0];
    GmSurfMesh mesh;
    if (mode & 2)
        FillSample(mesh);
    const std::string before = Written(mesh);
    if (!Read(mesh, data + 1, u32(size - 1), mode & 1)) {
        FUZZ_CHECK(Written(mesh) == before);
        return 0;
    }
    FUZZ_CHECK(mesh.m_Tree.IsValid(mesh.m_Triangles.m_Count));
    FUZZ_CHECK(mesh.m_Triangles.m_Count == 0 || mesh.m_Tree.m_Nodes.m_Count != 0);
    // The stored boxes are the file's: any answer will do, as long as the walk ends.
    ForEachRay(mesh, [&](const Vec3& origin, const Vec3& direction) {
        u32 triangle = 0;
        f32 t = 0.0f;
        if (mesh.IntersectRay(origin, direction, triangle, t))
            FUZZ_CHECK(triangle < mesh.m_Triangles.m_Count && t >= 0.0f);
    });

    const std::string written = Written(mesh);
    GmSurfMesh copy;
    FUZZ_CHECK(Read(copy, reinterpret_cast<const u8*>(written.data()), u32(written.size()), false));
    FUZZ_CHECK(Written(copy) == written);

    Iso4 mirror;
    mirror.SetScale({-1.0f, 2.0f, 0.5f}, {1.0f, 2.0f, 3.0f});
    copy.Transform(mirror);
    FUZZ_CHECK(copy.m_Tree.IsValid(copy.m_Triangles.m_Count));
    if (copy.m_Triangles.m_Count <= 4096 && IsModest(copy)) {
        ForEachRay(copy, [&](const Vec3& origin, const Vec3& direction) {
            u32 triangle = 0;
            f32 t = std::numeric_limits<f32>::infinity();
            copy.IntersectRay(origin, direction, triangle, t);
            FUZZ_CHECK(t == NearestByHand(copy, origin, direction));
        });
    }
    return 0;
}
