#pragma once
// Collision surface geometry: the record of an analytic surface (sphere, ellipsoid, box,
// polygon) and the triangle mesh with its bounding-box tree.
//
// Mesh archive (integers as u32 values of the value archive, blocks as raw little-endian bytes
// in either encoding):
//   u32 mesh version (3), u32 vertex count V, V x 12 bytes (x, y, z),
//   u32 triangle count T, T x 32 bytes (GmSurfMeshTriangle),
//   u32 tree version (3), u32 node count N, N x 32 bytes (GmAabbTreeNode).
// Mesh versions 1 and 2 share the layout and get their tree rebuilt from the triangles; tree
// version 2 reads as version 3, tree version 1 holds a u32 and the node count but no nodes.
// After a version 1 or 2 mesh an unknown tree version ends the read (the tree is rebuilt
// anyway). A version 3 mesh gets a new tree in place of a tree of version 1, of no node over
// its triangles, or of one shaped as the builder's but deeper than its cap (see
// GmAabbTreeShape); a stored tree of any other shape, or of an unknown version, is refused.
#include "core/base/FastBuffer.h"
#include "core/math/Aabb.h"

#include <span>

class CClassicArchive;
class GmSurfMesh;

enum class GmSurfType : u8 {
    Sphere = 0,
    Ellipsoid = 1,
    Plane = 2,
    QuadHeight = 3,
    TriangleHeight = 4,
    Polygon = 5,
    Box = 6,
    Mesh = 7,
    Cylinder = 8,
    None = 255,
};

// Names of the kinds 0 to 8, by value.
inline constexpr const char* g_GmSurfTypeNames[] = {"Sphere",     "Ellipsoid",      "Plane",
                                                    "QuadHeight", "TriangleHeight", "Polygon",
                                                    "Box",        "Mesh",           "Cylinder"};

// The largest counts a mesh archive may hold; a larger stored count is a damaged archive.
inline constexpr u32 kGmSurfMeshMaxVertices = 1u << 24;
inline constexpr u32 kGmSurfMeshMaxTriangles = 1u << 24;
inline constexpr u32 kGmAabbTreeMaxNodes = 1u << 25;
// Items still grouped at this depth become leaves, so no input can make the builder recurse
// deeper (it would otherwise go one level deeper per item on some inputs).
inline constexpr u32 kGmAabbTreeMaxBuildDepth = 256;

// A surface record: material and kind, then the values of the analytic kinds. Each Init clears
// the record and sets the kind; the values keep whatever they held until set.
class GmSurf {
public:
    GmSurf() = default;
    GmSurf(const GmSurf&) = default;
    GmSurf& operator=(const GmSurf&) = default;
    virtual ~GmSurf() = default;

    // Kind None, material id and type 0.
    void Clear();
    void InitSphere();
    void InitEllipsoid();
    void InitBox();
    // Kind Polygon with the vertex count, its word set to 0.
    void InitPolygon(u8 count);
    // Sphere radius 1, ellipsoid radii 1, box centre 0 and half-size 0.5; other kinds unchanged.
    void SetDefaults();
    // The surface's box in its own frame: sphere and ellipsoid around the origin, the box, the
    // mesh's box; other kinds (and a Mesh kind on a record that holds no mesh) leave out as is.
    void GetLocalBox(Aabb& out) const;

    u8 m_MaterialId = 0;
    u8 m_MaterialType = 0;
    GmSurfType m_GmSurfType = GmSurfType::None;
    u8 m_Unused = 0;
    // Sphere.
    f32 m_Radius = 0.0f;
    // Ellipsoid.
    Vec3 m_Radii;
    // Box.
    Aabb m_Box;
    // Polygon: the vertex count and a word cleared at creation.
    u8 m_PolygonVertexCount = 0;
    u32 m_PolygonWord = 0;

private:
    // The box of the mesh this record is part of; none here.
    virtual void GetMeshBox(Aabb& out) const;
};

// A mesh triangle, 32 bytes in memory order and in archives. Plane: normal . p + distance = 0.
struct GmSurfMeshTriangle {
    Vec3 normal;
    f32 distance = 0.0f;
    u32 indices[3] = {0, 0, 0};
    u8 materialId = 0;
    u8 materialType = 0;
    // Never read; written as zero.
    u8 reserved[2] = {0, 0};
};

static_assert(sizeof(GmSurfMeshTriangle) == 32);

// A tree node, 32 bytes in memory and in archives. The tree is a pre-order array: the children
// of node k follow it, each next child at the previous one's position plus its count, and they
// end at k + count. The builder's items have the same form (count 1).
struct GmAabbTreeNode {
    // Nodes of the subtree rooted here, this one included.
    i32 count = 1;
    Aabb box;
    // The triangle of a leaf, -1 for an inner node.
    i32 index = -1;
};

static_assert(sizeof(GmAabbTreeNode) == 32);

// A tree as the builder makes it over triangles 0 to T - 1: the root counts every node; the
// children of each node tile it exactly; the root and the other inner nodes hold -1, leaves
// (count 1) a triangle, every triangle in exactly one leaf; every inner node has two children
// or more, except a root over one triangle, which has one leaf; no inner node lies deeper than
// kGmAabbTreeMaxBuildDepth. Without a triangle the tree is the root alone, holding -1.
enum class GmAabbTreeShape : u8 {
    // Empty, or shaped as above.
    Built,
    // Shaped as above but deeper: as made by a builder without the depth cap.
    TooDeep,
    // Anything else.
    Damaged,
};

class GmAabbTree {
public:
    GmAabbTree() = default;
    GmAabbTree(const GmAabbTree&) = delete;
    GmAabbTree& operator=(const GmAabbTree&) = delete;
    ~GmAabbTree() { m_Nodes.FreeItems(); }

    // Replaces the tree by a root over the items (each becoming a leaf, in a copy of its own
    // form). Items become leaves together at maxDepth, when they are at most leafCount, or when
    // their box's volume is below minVolume; 0 turns each of these tests off.
    void BuildFromItems(std::span<const GmAabbTreeNode> items, u32 maxDepth, u32 leafCount,
                        f32 minVolume);
    // How the nodes compare with the trees the builder makes over the triangles 0 to
    // triangleCount - 1 (see GmAabbTreeShape). The check keeps its own stack of open subtrees,
    // so a tree of any depth is checked safely.
    GmAabbTreeShape CheckShape(u32 triangleCount) const;
    // True when the nodes are empty or shaped as the builder makes them (CheckShape gives
    // Built): such a tree is at most kGmAabbTreeMaxBuildDepth + 1 levels deep below its root.
    bool IsValid(u32 triangleCount) const {
        return CheckShape(triangleCount) == GmAabbTreeShape::Built;
    }

    CFastBuffer<GmAabbTreeNode> m_Nodes;
};

// A mesh to place and where, for GmSurfMesh::SetFromGeometry.
struct GmSurfMeshPlacement {
    const GmSurfMesh* source = nullptr;
    Iso4 placement;
};

// A triangle mesh. Every vertex index of a triangle is below the vertex count (the archive
// reader refuses anything else; callers filling the arrays keep it so).
class GmSurfMesh : public GmSurf {
public:
    // Kind Mesh, no vertex, no triangle, no tree node.
    GmSurfMesh();

    // The root's box; the empty box without a triangle or a tree.
    void GetBox(Aabb& out) const;
    // Plane of triangle i from its vertices: the normal (v1 - v0) x (v2 - v0), normalised unless
    // its squared length is at most GmEpsilonSq. An index past the triangles is ignored.
    void UpdateTrianglePlane(u32 i);
    // Rebuilds the tree from the triangles' boxes.
    void BuildTree();
    // The nearest triangle that the ray origin + t direction meets at t >= 0, either face
    // (GmIntersectRayTriangle): true with its index and t (of triangles at the same distance,
    // the one the walk meets first). Subtrees are visited nearest box first and skipped when
    // their box is missed or starts beyond the nearest hit so far; the walk keeps its queue on
    // the heap, never recursing, and keeps each subtree inside its parent's count, so any tree
    // is walked safely. A mesh without tree nodes is never hit, as its box is empty. The
    // outputs are written on a hit only.
    bool IntersectRay(const Vec3& origin, const Vec3& direction, u32& triangle, f32& t) const;
    // Moves the vertices, keeps the winding under a mirror (vertices 1 and 2 swap), recomputes
    // the planes and rebuilds a tree that has nodes.
    void Transform(const Iso4& iso);
    // Replaces the contents by the placed sources, in order (a source may be this mesh): their
    // planes are transformed, not recomputed. Then builds the tree.
    void SetFromGeometry(std::span<const GmSurfMeshPlacement> sources);
    // Writes, or reads in place of the contents. A read that fails (unknown version, a count or
    // index that does not fit, a damaged tree, the end of the stream) logs a line, keeps the
    // previous contents and answers false; the stream is then left inside the mesh's data.
    bool Archive(CClassicArchive& archive);

    CFastArray<Vec3> m_Vertices;
    CFastArray<GmSurfMeshTriangle> m_Triangles;
    GmAabbTree m_Tree;

private:
    void GetMeshBox(Aabb& out) const override;
    void Write(CClassicArchive& archive) const;
    bool Read(CClassicArchive& archive);
};
