#include "core/math/GmSurf.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/math/GmQuery.h"
#include "platform/Endian.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr Aabb kEmptyBox{{0.0f, 0.0f, 0.0f}, {-1.0f, -1.0f, -1.0f}};
constexpr GmAabbTreeNode kInnerNode{-1, kEmptyBox, -1};

constexpr u32 kMeshVersion = 3;
constexpr u32 kTreeVersion = 3;
constexpr u32 kVertexBytes = 12;
constexpr u32 kTriangleBytes = 32;
constexpr u32 kNodeBytes = 32;
// Blocks are read in pieces of this size, so that a stream that cannot tell what is left never
// makes the reader allocate more than what arrived.
constexpr u32 kReadPiece = 0x10000;

Vec3 Sub(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

f32 Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// R v.
Vec3 Rotate(const Mat3& r, const Vec3& v) {
    return {r.m00 * v.x + r.m01 * v.y + r.m02 * v.z, r.m10 * v.x + r.m11 * v.y + r.m12 * v.z,
            r.m20 * v.x + r.m21 * v.y + r.m22 * v.z};
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Per-axis minimum and maximum of the three vertices as a centre and a half-size.
Aabb TriangleBox(const Vec3& a, const Vec3& b, const Vec3& c) {
    const Vec3 lo{std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}), std::min({a.z, b.z, c.z})};
    const Vec3 hi{std::max({a.x, b.x, c.x}), std::max({a.y, b.y, c.y}), std::max({a.z, b.z, c.z})};
    return {{(hi.x + lo.x) * 0.5f, (hi.y + lo.y) * 0.5f, (hi.z + lo.z) * 0.5f},
            {(hi.x - lo.x) * 0.5f, (hi.y - lo.y) * 0.5f, (hi.z - lo.z) * 0.5f}};
}

void SetPlane(GmSurfMeshTriangle& triangle, const CFastArray<Vec3>& vertices) {
    const Vec3& v0 = vertices[triangle.indices[0]];
    Vec3 n = Cross(Sub(vertices[triangle.indices[1]], v0), Sub(vertices[triangle.indices[2]], v0));
    const f32 lengthSq = Dot(n, n);
    if (lengthSq > GmEpsilonSq) {
        const f32 length = std::sqrt(lengthSq);
        n = {n.x / length, n.y / length, n.z / length};
    }
    triangle.normal = n;
    triangle.distance = -Dot(n, v0);
}

template <typename T>
void SwapArrays(CFastArray<T>& a, CFastArray<T>& b) {
    std::swap(a.m_Count, b.m_Count);
    std::swap(a.m_Items, b.m_Items);
}

void SwapBuffers(CFastBuffer<GmAabbTreeNode>& a, CFastBuffer<GmAabbTreeNode>& b) {
    std::swap(a.m_Count, b.m_Count);
    std::swap(a.m_Items, b.m_Items);
    std::swap(a.m_Capacity, b.m_Capacity);
}

// Builds the pre-order node array over a working copy of the items, which each call reorders
// in place into its left, right and middle groups.
class CTreeBuilder {
public:
    CTreeBuilder(CFastBuffer<GmAabbTreeNode>& nodes, std::span<const GmAabbTreeNode> items,
                 u32 maxDepth, u32 leafCount, f32 minVolume)
        : m_Nodes(nodes), m_Work(items.begin(), items.end()), m_Scratch(items.size()),
          m_MaxDepth(maxDepth), m_LeafCount(leafCount), m_MinVolume(minVolume) {}

    u32 GetItemCount() const { return u32(m_Work.size()); }

    // Fills node `self` with the box of items [begin, end) and appends its subtree; returns the
    // subtree's node count (0 without items).
    i32 Build(u32 self, u32 begin, u32 end, u32 depth) {
        const u32 n = end - begin;
        if (n == 0) {
            return 0;
        }
        Aabb box = m_Work[begin].box;
        for (u32 i = begin + 1; i < end; ++i) {
            box.Add(m_Work[i].box);
        }
        m_Nodes.m_Items[self].box = box;
        if (IsLeafGroup(box, n, depth)) {
            return AddLeaves(begin, end) + 1;
        }

        // The longest axis; a later one only when strictly longer.
        const f32 extents[3] = {2.0f * box.halfSize.x, 2.0f * box.halfSize.y,
                                2.0f * box.halfSize.z};
        u32 axis = 0;
        for (u32 a = 1; a < 3; ++a) {
            if (extents[a] > extents[axis]) {
                axis = a;
            }
        }
        const f32 split = *box.centre.GetComponentPtr(axis);
        const auto isLeft = [axis, split](const GmAabbTreeNode& item) {
            return *item.box.centre.GetComponentPtr(axis) +
                       *item.box.halfSize.GetComponentPtr(axis) <=
                   split;
        };
        const auto isRight = [axis, split](const GmAabbTreeNode& item) {
            return *item.box.centre.GetComponentPtr(axis) -
                       *item.box.halfSize.GetComponentPtr(axis) >=
                   split;
        };
        u32 listEnd = end;
        const u32 left = Gather(begin, listEnd, begin, isLeft);
        const u32 right = Gather(begin, listEnd, begin + left, isRight);
        const u32 middle = listEnd - begin;
        std::copy(m_Work.begin() + begin, m_Work.begin() + listEnd,
                  m_Scratch.begin() + begin + left + right);
        std::copy(m_Scratch.begin() + begin, m_Scratch.begin() + end, m_Work.begin() + begin);

        // A group holding every item would be split the same way again (a box too thin for its
        // centre to fall between its ends, or one too large for its centre to be finite).
        if (left == n || right == n || middle == n) {
            return AddLeaves(begin, end) + 1;
        }
        const u32 rightBegin = begin + left;
        const u32 middleBegin = rightBegin + right;
        return 1 + AddGroup(begin, rightBegin, depth) + AddGroup(rightBegin, middleBegin, depth) +
               AddGroup(middleBegin, end, depth);
    }

private:
    bool IsLeafGroup(const Aabb& box, u32 n, u32 depth) const {
        const Vec3& h = box.halfSize;
        return depth >= kGmAabbTreeMaxBuildDepth || (m_MaxDepth != 0 && depth >= m_MaxDepth) ||
               (m_LeafCount != 0 && n <= m_LeafCount) ||
               (m_MinVolume > GmEpsilon && 8.0f * h.x * h.y * h.z < m_MinVolume) ||
               (h.x == 0.0f && h.y == 0.0f && h.z == 0.0f);
    }

    // Moves the items of [begin, listEnd) that pass the test to the scratch array from `out`:
    // each one found is replaced by the list's last item, which is examined next.
    template <typename Test>
    u32 Gather(u32 begin, u32& listEnd, u32 out, const Test& test) {
        u32 found = 0;
        for (u32 j = begin; j < listEnd;) {
            if (test(m_Work[j])) {
                m_Scratch[out + found++] = m_Work[j];
                m_Work[j] = m_Work[--listEnd];
            } else {
                ++j;
            }
        }
        return found;
    }

    i32 AddLeaves(u32 begin, u32 end) {
        for (u32 i = begin; i < end; ++i) {
            GmAabbTreeNode leaf = m_Work[i];
            leaf.count = 1;
            m_Nodes.Add(leaf);
        }
        return i32(end - begin);
    }

    // One item becomes a leaf, several an inner node over them.
    i32 AddGroup(u32 begin, u32 end, u32 depth) {
        if (end - begin <= 1) {
            return AddLeaves(begin, end);
        }
        m_Nodes.Add(kInnerNode);
        const u32 inner = m_Nodes.m_Count - 1;
        const i32 count = Build(inner, begin, end, depth + 1);
        m_Nodes.m_Items[inner].count = count;
        return count;
    }

    CFastBuffer<GmAabbTreeNode>& m_Nodes;
    std::vector<GmAabbTreeNode> m_Work;
    std::vector<GmAabbTreeNode> m_Scratch;
    u32 m_MaxDepth;
    u32 m_LeafCount;
    f32 m_MinVolume;
};

// Whether the ray origin + t direction meets the box at some t in [0, limit]; enter is then
// the first such t. The box is widened by GmEpsilon of its size and distance from the origin,
// since its centre and half-size may round a triangle's corner a little outside it. The empty
// box and NaN meet nothing.
bool RayMeetsBox(const Vec3& origin, const Vec3& direction, const Aabb& box, f32 limit,
                 f32& enter) {
    enter = 0.0f;
    f32 leave = limit;
    for (u32 axis = 0; axis < 3; ++axis) {
        const f32 o = *origin.GetComponentPtr(axis);
        const f32 d = *direction.GetComponentPtr(axis);
        const f32 c = *box.centre.GetComponentPtr(axis);
        const f32 h = *box.halfSize.GetComponentPtr(axis);
        if (!(h >= 0.0f)) {
            return false;
        }
        const f32 reach = h + GmEpsilon * (std::fabs(c) + h);
        const f32 lo = c - reach - o;
        const f32 hi = c + reach - o;
        if (d == 0.0f) {
            if (!(lo <= 0.0f && 0.0f <= hi)) {
                return false;
            }
            continue;
        }
        const f32 t0 = lo / d;
        const f32 t1 = hi / d;
        enter = std::max(enter, std::min(t0, t1));
        leave = std::min(leave, std::max(t0, t1));
        if (!(enter <= leave) || std::isnan(t0) || std::isnan(t1)) {
            return false;
        }
    }
    return true;
}

u32 ReadU32(CClassicArchive& archive) {
    u32 count = 0;
    archive.ReadUInts(&count, 1);
    return count;
}

// Reads `count` records of `size` bytes after checking the count against the limit and the
// bytes left.
std::vector<u8> ReadBlock(CClassicArchive& archive, u32 count, u32 size, u32 limit) {
    archive.CheckReadSize(count, limit);
    const u32 bytes = count * size;
    archive.CheckReadSize(bytes, limit * size);
    std::vector<u8> block;
    for (u32 done = 0; done < bytes;) {
        const u32 piece = std::min(bytes - done, kReadPiece);
        block.resize(done + piece);
        archive.ReadRaw(block.data() + done, piece);
        done += piece;
    }
    return block;
}

void StoreVec3(u8* p, const Vec3& v) {
    platform::StoreF32Le(p, v.x);
    platform::StoreF32Le(p + 4, v.y);
    platform::StoreF32Le(p + 8, v.z);
}

Vec3 LoadVec3(const u8* p) {
    return {platform::LoadF32Le(p), platform::LoadF32Le(p + 4), platform::LoadF32Le(p + 8)};
}

void WriteU32(CClassicArchive& archive, u32 count) {
    archive.WriteUInts(&count, 1);
}

void WriteBlock(CClassicArchive& archive, const std::vector<u8>& block) {
    if (!block.empty()) {
        archive.WriteRaw(block.data(), u32(block.size()));
    }
}

} // namespace

// The archived records are the in-memory ones, written field by field.
static_assert(sizeof(Vec3) == kVertexBytes && sizeof(GmSurfMeshTriangle) == kTriangleBytes &&
              sizeof(GmAabbTreeNode) == kNodeBytes);
static_assert(u64(kGmAabbTreeMaxNodes) * kNodeBytes <= 0xFFFFFFFFu);
static_assert(u64(kGmSurfMeshMaxTriangles) * kTriangleBytes <= 0xFFFFFFFFu);
static_assert(u64(kGmSurfMeshMaxVertices) * kVertexBytes <= 0xFFFFFFFFu);

// ---------------------------------------------------------------------------------------------
// GmSurf

void GmSurf::Clear() {
    m_GmSurfType = GmSurfType::None;
    m_MaterialId = 0;
    m_MaterialType = 0;
}

void GmSurf::InitSphere() {
    Clear();
    m_GmSurfType = GmSurfType::Sphere;
}

void GmSurf::InitEllipsoid() {
    Clear();
    m_GmSurfType = GmSurfType::Ellipsoid;
}

void GmSurf::InitBox() {
    Clear();
    m_GmSurfType = GmSurfType::Box;
}

void GmSurf::InitPolygon(u8 count) {
    Clear();
    m_PolygonVertexCount = count;
    m_PolygonWord = 0;
    m_GmSurfType = GmSurfType::Polygon;
}

void GmSurf::SetDefaults() {
    switch (m_GmSurfType) {
        case GmSurfType::Sphere:
            m_Radius = 1.0f;
            break;
        case GmSurfType::Ellipsoid:
            m_Radii = {1.0f, 1.0f, 1.0f};
            break;
        case GmSurfType::Box:
            m_Box = {{0.0f, 0.0f, 0.0f}, {0.5f, 0.5f, 0.5f}};
            break;
        default:
            break;
    }
}

void GmSurf::GetLocalBox(Aabb& out) const {
    switch (m_GmSurfType) {
        case GmSurfType::Sphere:
            out = {{0.0f, 0.0f, 0.0f}, {m_Radius, m_Radius, m_Radius}};
            break;
        case GmSurfType::Ellipsoid:
            out = {{0.0f, 0.0f, 0.0f}, m_Radii};
            break;
        case GmSurfType::Box:
            out = m_Box;
            break;
        case GmSurfType::Mesh:
            GetMeshBox(out);
            break;
        default:
            break;
    }
}

void GmSurf::GetMeshBox(Aabb&) const {}

// ---------------------------------------------------------------------------------------------
// GmAabbTree

void GmAabbTree::BuildFromItems(std::span<const GmAabbTreeNode> items, u32 maxDepth, u32 leafCount,
                                f32 minVolume) {
    // The builder copies the items first: they may be this tree's own nodes.
    CTreeBuilder builder(m_Nodes, items, maxDepth, leafCount, minVolume);
    m_Nodes.m_Count = 0;
    m_Nodes.Add(kInnerNode);
    builder.Build(0, 0, builder.GetItemCount(), 0);
    m_Nodes.m_Items[0].count = i32(m_Nodes.m_Count);
}

GmAabbTreeShape GmAabbTree::CheckShape(u32 triangleCount) const {
    const u32 n = m_Nodes.m_Count;
    if (n == 0) {
        return GmAabbTreeShape::Built;
    }
    if (m_Nodes.m_Items[0].count != i64(n)) {
        return GmAabbTreeShape::Damaged;
    }
    std::vector<bool> reached(triangleCount, false);
    u32 leaves = 0;
    bool tooDeep = false;
    // Ends of the subtrees that enclose the node being checked, innermost last; the first entry
    // stands for the whole array, so a node's depth is the size less one.
    std::vector<u32> ends{n};
    for (u32 k = 0; k < n; ++k) {
        while (ends.back() == k) {
            ends.pop_back();
        }
        const GmAabbTreeNode& node = m_Nodes.m_Items[k];
        if (node.count < 1 || u32(node.count) > ends.back() - k) {
            return GmAabbTreeShape::Damaged;
        }
        tooDeep = tooDeep || ends.size() - 1 > kGmAabbTreeMaxBuildDepth + 1;
        if (node.count > 1) {
            // The first child spans all the others' room when it is the only one.
            const bool oneChild = m_Nodes.m_Items[k + 1].count == node.count - 1;
            if (node.index != -1 || (oneChild && (k != 0 || triangleCount != 1))) {
                return GmAabbTreeShape::Damaged;
            }
            ends.push_back(k + u32(node.count));
        } else if (k == 0) {
            // The root alone: the tree of no triangle.
            if (node.index != -1 || triangleCount != 0) {
                return GmAabbTreeShape::Damaged;
            }
        } else {
            if (node.index < 0 || u32(node.index) >= triangleCount || reached[u32(node.index)]) {
                return GmAabbTreeShape::Damaged;
            }
            reached[u32(node.index)] = true;
            ++leaves;
        }
    }
    if (leaves != triangleCount) {
        return GmAabbTreeShape::Damaged;
    }
    return tooDeep ? GmAabbTreeShape::TooDeep : GmAabbTreeShape::Built;
}

// ---------------------------------------------------------------------------------------------
// GmSurfMesh

GmSurfMesh::GmSurfMesh() {
    m_GmSurfType = GmSurfType::Mesh;
}

void GmSurfMesh::GetBox(Aabb& out) const {
    out =
        m_Triangles.m_Count != 0 && m_Tree.m_Nodes.m_Count != 0 ? m_Tree.m_Nodes[0].box : kEmptyBox;
}

void GmSurfMesh::GetMeshBox(Aabb& out) const {
    GetBox(out);
}

void GmSurfMesh::UpdateTrianglePlane(u32 i) {
    if (i < m_Triangles.m_Count) {
        SetPlane(m_Triangles[i], m_Vertices);
    }
}

void GmSurfMesh::BuildTree() {
    std::vector<GmAabbTreeNode> items(m_Triangles.m_Count);
    for (u32 i = 0; i < m_Triangles.m_Count; ++i) {
        const u32* v = m_Triangles[i].indices;
        assert(v[0] < m_Vertices.m_Count && v[1] < m_Vertices.m_Count && v[2] < m_Vertices.m_Count);
        items[i] = {1, TriangleBox(m_Vertices[v[0]], m_Vertices[v[1]], m_Vertices[v[2]]), i32(i)};
    }
    m_Tree.BuildFromItems(items, 0, 0, 0.0f);
}

bool GmSurfMesh::IntersectRay(const Vec3& origin, const Vec3& direction, u32& triangle,
                              f32& t) const {
    const CFastBuffer<GmAabbTreeNode>& nodes = m_Tree.m_Nodes;
    f32 nearest = std::numeric_limits<f32>::infinity();
    i32 found = -1;
    const auto testLeaf = [&](const GmAabbTreeNode& leaf) {
        if (leaf.index < 0 || u32(leaf.index) >= m_Triangles.m_Count) {
            return;
        }
        const u32* v = m_Triangles[u32(leaf.index)].indices;
        f32 u = 0.0f;
        f32 w = 0.0f;
        f32 hit = 0.0f;
        if (GmIntersectRayTriangle(origin, direction, m_Vertices[v[0]], m_Vertices[v[1]],
                                   m_Vertices[v[2]], u, w, hit) &&
            hit >= 0.0f && hit < nearest) {
            nearest = hit;
            found = leaf.index;
        }
    };
    // Inner nodes the ray enters, nearest entry first: once the nearest of them starts beyond
    // the nearest hit, nothing nearer is left. Each keeps the end of its subtree, cut to its
    // parent's, so subtrees nest and every node is met at most once whatever the counts say.
    struct Pending {
        f32 enter;
        u32 node;
        u32 end;
        bool operator<(const Pending& other) const { return enter > other.enter; }
    };
    std::vector<Pending> pending;
    f32 enter = 0.0f;
    if (nodes.m_Count != 0 && RayMeetsBox(origin, direction, nodes[0].box, nearest, enter)) {
        pending.push_back({enter, 0, nodes.m_Count});
    }
    // The end of the subtree at `node`, within `limit`.
    const auto subtreeEnd = [&nodes](u32 node, u32 limit) {
        return node + std::clamp<u32>(u32(nodes[node].count), 1, limit - node);
    };
    while (!pending.empty() && pending.front().enter <= nearest) {
        std::pop_heap(pending.begin(), pending.end());
        const Pending inner = pending.back();
        pending.pop_back();
        const u32 end = subtreeEnd(inner.node, inner.end);
        if (end == inner.node + 1) {
            testLeaf(nodes[inner.node]);
        }
        for (u32 child = inner.node + 1; child < end;) {
            const GmAabbTreeNode& node = nodes[child];
            const u32 childEnd = subtreeEnd(child, end);
            if (RayMeetsBox(origin, direction, node.box, nearest, enter)) {
                if (childEnd == child + 1) {
                    testLeaf(node);
                } else {
                    pending.push_back({enter, child, childEnd});
                    std::push_heap(pending.begin(), pending.end());
                }
            }
            child = childEnd;
        }
    }
    if (found < 0) {
        return false;
    }
    triangle = u32(found);
    t = nearest;
    return true;
}

void GmSurfMesh::Transform(const Iso4& iso) {
    for (u32 i = 0; i < m_Vertices.m_Count; ++i) {
        const Vec3 v = m_Vertices[i];
        m_Vertices[i].SetTransformByIso4(v, iso);
    }
    const bool mirror = iso.R.IsMirror();
    for (u32 i = 0; i < m_Triangles.m_Count; ++i) {
        GmSurfMeshTriangle& triangle = m_Triangles[i];
        if (mirror) {
            std::swap(triangle.indices[1], triangle.indices[2]);
        }
        SetPlane(triangle, m_Vertices);
    }
    if (m_Tree.m_Nodes.m_Count != 0) {
        BuildTree();
    }
}

void GmSurfMesh::SetFromGeometry(std::span<const GmSurfMeshPlacement> sources) {
    u64 vertexCount = 0;
    u64 triangleCount = 0;
    for (const GmSurfMeshPlacement& source : sources) {
        vertexCount += source.source->m_Vertices.m_Count;
        triangleCount += source.source->m_Triangles.m_Count;
    }
    if (vertexCount > 0xFFFFFFFFu || triangleCount > 0xFFFFFFFFu) {
        throw std::bad_alloc();
    }
    // Built apart, since a source may be this mesh.
    CFastArray<Vec3> vertices;
    CFastArray<GmSurfMeshTriangle> triangles;
    vertices.SetCount(u32(vertexCount));
    triangles.SetCount(u32(triangleCount));
    u32 base = 0;
    u32 t = 0;
    for (const GmSurfMeshPlacement& source : sources) {
        const GmSurfMesh& mesh = *source.source;
        const Iso4& iso = source.placement;
        for (u32 i = 0; i < mesh.m_Triangles.m_Count; ++i) {
            const GmSurfMeshTriangle& from = mesh.m_Triangles[i];
            GmSurfMeshTriangle& to = triangles[t++];
            to = from;
            for (u32& index : to.indices) {
                index += base;
            }
            to.normal = Rotate(iso.R, from.normal);
            to.distance = from.distance - Dot(iso.t, to.normal);
        }
        for (u32 i = 0; i < mesh.m_Vertices.m_Count; ++i) {
            vertices[base + i].SetTransformByIso4(mesh.m_Vertices[i], iso);
        }
        base += mesh.m_Vertices.m_Count;
    }
    SwapArrays(m_Vertices, vertices);
    SwapArrays(m_Triangles, triangles);
    BuildTree();
}

bool GmSurfMesh::Archive(CClassicArchive& archive) {
    if (archive.m_Writing) {
        Write(archive);
        return true;
    }
    try {
        return Read(archive);
    } catch (const CClassicBufferException&) {
        ClassicLogFormatLine(
            "[GmSurfMesh] Mesh not read: the stream ended or held a size that does not fit");
        return false;
    }
}

void GmSurfMesh::Write(CClassicArchive& archive) const {
    WriteU32(archive, kMeshVersion);

    std::vector<u8> block(size_t(m_Vertices.m_Count) * kVertexBytes);
    for (u32 i = 0; i < m_Vertices.m_Count; ++i) {
        StoreVec3(&block[size_t(i) * kVertexBytes], m_Vertices[i]);
    }
    WriteU32(archive, m_Vertices.m_Count);
    WriteBlock(archive, block);

    block.assign(size_t(m_Triangles.m_Count) * kTriangleBytes, 0);
    for (u32 i = 0; i < m_Triangles.m_Count; ++i) {
        const GmSurfMeshTriangle& triangle = m_Triangles[i];
        u8* p = &block[size_t(i) * kTriangleBytes];
        StoreVec3(p, triangle.normal);
        platform::StoreF32Le(p + 12, triangle.distance);
        for (u32 k = 0; k < 3; ++k) {
            platform::StoreU32Le(p + 16 + 4 * k, triangle.indices[k]);
        }
        p[28] = triangle.materialId;
        p[29] = triangle.materialType;
    }
    WriteU32(archive, m_Triangles.m_Count);
    WriteBlock(archive, block);

    const CFastBuffer<GmAabbTreeNode>& nodes = m_Tree.m_Nodes;
    block.assign(size_t(nodes.m_Count) * kNodeBytes, 0);
    for (u32 i = 0; i < nodes.m_Count; ++i) {
        const GmAabbTreeNode& node = nodes[i];
        u8* p = &block[size_t(i) * kNodeBytes];
        platform::StoreU32Le(p, u32(node.count));
        StoreVec3(p + 4, node.box.centre);
        StoreVec3(p + 16, node.box.halfSize);
        platform::StoreU32Le(p + 28, u32(node.index));
    }
    WriteU32(archive, kTreeVersion);
    WriteU32(archive, nodes.m_Count);
    WriteBlock(archive, block);
}

bool GmSurfMesh::Read(CClassicArchive& archive) {
    const u32 version = ReadU32(archive);
    if (version < 1 || version > kMeshVersion) {
        ClassicLogFormatLine("[GmSurfMesh] Mesh not read: unknown version %u", version);
        return false;
    }

    CFastArray<Vec3> vertices;
    const u32 vertexCount = ReadU32(archive);
    std::vector<u8> block = ReadBlock(archive, vertexCount, kVertexBytes, kGmSurfMeshMaxVertices);
    vertices.SetCount(vertexCount);
    for (u32 i = 0; i < vertexCount; ++i) {
        vertices[i] = LoadVec3(&block[size_t(i) * kVertexBytes]);
    }

    CFastArray<GmSurfMeshTriangle> triangles;
    const u32 triangleCount = ReadU32(archive);
    block = ReadBlock(archive, triangleCount, kTriangleBytes, kGmSurfMeshMaxTriangles);
    triangles.SetCount(triangleCount);
    for (u32 i = 0; i < triangleCount; ++i) {
        const u8* p = &block[size_t(i) * kTriangleBytes];
        GmSurfMeshTriangle& triangle = triangles[i];
        triangle = {LoadVec3(p), platform::LoadF32Le(p + 12), {}, p[28], p[29], {0, 0}};
        for (u32 k = 0; k < 3; ++k) {
            triangle.indices[k] = platform::LoadU32Le(p + 16 + 4 * k);
            if (triangle.indices[k] >= vertexCount) {
                ClassicLogFormatLine("[GmSurfMesh] Mesh not read: triangle %u uses vertex %u of %u",
                                     i, triangle.indices[k], vertexCount);
                return false;
            }
        }
    }

    // Meshes before version 3 always get a new tree, whatever the stored one; so does a tree of
    // version 1, which holds no nodes.
    bool rebuild = version < 3;
    GmAabbTree tree;
    const u32 treeVersion = ReadU32(archive);
    if (treeVersion == 1) {
        ReadU32(archive);
        ReadU32(archive);
        rebuild = true;
    } else if (treeVersion == 2 || treeVersion == 3) {
        const u32 nodeCount = ReadU32(archive);
        block = ReadBlock(archive, nodeCount, kNodeBytes, kGmAabbTreeMaxNodes);
        // A mesh saved before its tree was built stores no node.
        rebuild = rebuild || (nodeCount == 0 && triangleCount != 0);
        if (!rebuild) {
            tree.m_Nodes.Reserve(nodeCount);
            for (u32 i = 0; i < nodeCount; ++i) {
                const u8* p = &block[size_t(i) * kNodeBytes];
                tree.m_Nodes.Add({i32(platform::LoadU32Le(p)),
                                  {LoadVec3(p + 4), LoadVec3(p + 16)},
                                  i32(platform::LoadU32Le(p + 28))});
            }
            switch (tree.CheckShape(triangleCount)) {
                case GmAabbTreeShape::Built:
                    break;
                case GmAabbTreeShape::TooDeep:
                    ClassicLogFormatLine("[GmSurfMesh] Tree of %u nodes deeper than %u levels: "
                                         "rebuilt from the triangles",
                                         nodeCount, kGmAabbTreeMaxBuildDepth + 1);
                    rebuild = true;
                    break;
                case GmAabbTreeShape::Damaged:
                    ClassicLogFormatLine(
                        "[GmSurfMesh] Mesh not read: its tree of %u nodes is damaged", nodeCount);
                    return false;
            }
        }
    } else if (!rebuild) {
        ClassicLogFormatLine("[GmSurfMesh] Mesh not read: unknown tree version %u", treeVersion);
        return false;
    }
    // After an older mesh an unknown tree version ends the read: the tree is rebuilt anyway, and
    // nothing tells the size of what follows.

    SwapArrays(m_Vertices, vertices);
    SwapArrays(m_Triangles, triangles);
    SwapBuffers(m_Tree.m_Nodes, tree.m_Nodes);
    if (rebuild) {
        BuildTree();
    }
    return true;
}
