// Fuzzes the reading of a collision mesh archive.
//
// The first byte chooses the encoding (bit 0: text) and the mesh read into (bit 1: one that
// already holds triangles). Reading must end in a result, never in a fault, a hang or a huge
// allocation. A refused read leaves the mesh as it was; a mesh read writes, reads back and
// writes again to the same bytes, and keeps a sound tree when it is moved by a mirror.
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/math/GmSurf.h"

#include <cstdlib>
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

void Check(bool condition) {
    if (!condition)
        std::abort();
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
        Check(Written(mesh) == before);
        return 0;
    }
    Check(mesh.m_Tree.IsValid(mesh.m_Triangles.m_Count));

    const std::string written = Written(mesh);
    GmSurfMesh copy;
    Check(Read(copy, reinterpret_cast<const u8*>(written.data()), u32(written.size()), false));
    Check(Written(copy) == written);

    Iso4 mirror;
    mirror.SetScale({-1.0f, 2.0f, 0.5f}, {1.0f, 2.0f, 3.0f});
    copy.Transform(mirror);
    Check(copy.m_Tree.IsValid(copy.m_Triangles.m_Count));
    Aabb box;
    copy.GetBox(box);
    return 0;
}
