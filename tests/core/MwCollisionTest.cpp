// Collision surfaces: the analytic records, triangle planes, the box tree builder, moving and
// merging meshes, and the mesh archive against golden bytes from Python's struct module.
#include "CoreTestSupport.h"
#include "ExternalToolSupport.h"
#include "core/base/ClassicArchive.h"
#include "core/math/GmQuery.h"
#include "core/math/GmSurf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct TriangleSpec {
    u32 a, b, c;
    u8 materialId = 0;
    u8 materialType = 0;
};

void Fill(GmSurfMesh& mesh, const std::vector<Vec3>& vertices,
          const std::vector<TriangleSpec>& triangles) {
    mesh.m_Vertices.SetCount(u32(vertices.size()));
    for (u32 i = 0; i < vertices.size(); ++i)
        mesh.m_Vertices[i] = vertices[i];
    mesh.m_Triangles.SetCount(u32(triangles.size()));
    for (u32 i = 0; i < triangles.size(); ++i) {
        const TriangleSpec& t = triangles[i];
        mesh.m_Triangles[i] = {{}, 0.0f, {t.a, t.b, t.c}, t.materialId, t.materialType, {0, 0}};
        mesh.UpdateTrianglePlane(i);
    }
    mesh.BuildTree();
}

// A flat triangle covering the box [lo, hi] (its three vertices span every axis).
void AddBoxTriangle(std::vector<Vec3>& vertices, std::vector<TriangleSpec>& triangles,
                    const Vec3& lo, const Vec3& hi) {
    const u32 base = u32(vertices.size());
    vertices.push_back(lo);
    vertices.push_back(hi);
    vertices.push_back({lo.x, hi.y, hi.z});
    triangles.push_back({base, base + 1, base + 2});
}

// The mesh of the golden archive: triangle 0 right of triangle 1 along x.
void FillGoldenMesh(GmSurfMesh& mesh) {
    Fill(mesh, {{0, 0, 2}, {1, 0, 2}, {0, 1, 2}, {3, 0, -1}, {4, 0, -1}, {3, 1, -1}},
         {{3, 4, 5, 7, 1}, {0, 1, 2, 5, 2}});
    // Never written: the archive stores zeros.
    for (u32 i = 0; i < 2; ++i)
        mesh.m_Triangles[i].reserved[0] = mesh.m_Triangles[i].reserved[1] = 0xAB;
}

Aabb Box(const Vec3& lo, const Vec3& hi) {
    return {{(hi.x + lo.x) * 0.5f, (hi.y + lo.y) * 0.5f, (hi.z + lo.z) * 0.5f},
            {(hi.x - lo.x) * 0.5f, (hi.y - lo.y) * 0.5f, (hi.z - lo.z) * 0.5f}};
}

bool SameBox(const Aabb& a, const Aabb& b) {
    return std::memcmp(&a, &b, sizeof(Aabb)) == 0;
}

std::string Describe(const Aabb& box) {
    char text[160];
    std::snprintf(text, sizeof text, "centre (%g, %g, %g) half (%g, %g, %g)", box.centre.x,
                  box.centre.y, box.centre.z, box.halfSize.x, box.halfSize.y, box.halfSize.z);
    return text;
}

const Aabb kEmpty{{0, 0, 0}, {-1, -1, -1}};

// (count, index) of every node in order.
std::vector<std::pair<i32, i32>> Shape(const GmAabbTree& tree) {
    std::vector<std::pair<i32, i32>> shape;
    for (u32 i = 0; i < tree.m_Nodes.m_Count; ++i)
        shape.emplace_back(tree.m_Nodes[i].count, tree.m_Nodes[i].index);
    return shape;
}

using ShapeList = std::vector<std::pair<i32, i32>>;

// The depth of the deepest node (the root at 0).
u32 Depth(const GmAabbTree& tree, u32 node = 0) {
    u32 deepest = 0;
    const u32 end = node + u32(tree.m_Nodes[node].count);
    for (u32 child = node + 1; child < end; child += u32(tree.m_Nodes[child].count))
        deepest = std::max(deepest, 1 + Depth(tree, child));
    return deepest;
}

// A valid tree whose leaves hold every triangle exactly once.
void ExpectCompleteTree(const GmSurfMesh& mesh) {
    const GmAabbTree& tree = mesh.m_Tree;
    ASSERT_TRUE(tree.IsValid(mesh.m_Triangles.m_Count));
    ASSERT_GT(tree.m_Nodes.m_Count, 0u);
    std::vector<u32> seen(mesh.m_Triangles.m_Count, 0);
    for (u32 i = 0; i < tree.m_Nodes.m_Count; ++i) {
        if (tree.m_Nodes[i].count == 1 && tree.m_Nodes[i].index >= 0)
            ++seen[u32(tree.m_Nodes[i].index)];
    }
    for (u32 i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], 1u) << "triangle " << i;
}

GmAabbTreeNode Item(const Vec3& lo, const Vec3& hi, i32 index) {
    return {1, Box(lo, hi), index};
}

void ExpectNear(const Vec3& actual, const Vec3& expected, f32 tol = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tol);
    EXPECT_NEAR(actual.y, expected.y, tol);
    EXPECT_NEAR(actual.z, expected.z, tol);
}

f32 Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// ---------------------------------------------------------------------------------------------
// Analytic records

TEST(GmSurf, InitClearsTheMaterialAndSetsTheKind) {
    struct Case {
        const char* name;
        void (*init)(GmSurf&);
        GmSurfType kind;
    };
    const Case cases[] = {
        {"clear", [](GmSurf& s) { s.Clear(); }, GmSurfType::None},
        {"sphere", [](GmSurf& s) { s.InitSphere(); }, GmSurfType::Sphere},
        {"ellipsoid", [](GmSurf& s) { s.InitEllipsoid(); }, GmSurfType::Ellipsoid},
        {"box", [](GmSurf& s) { s.InitBox(); }, GmSurfType::Box},
        {"polygon", [](GmSurf& s) { s.InitPolygon(3); }, GmSurfType::Polygon},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GmSurf surf;
        surf.m_MaterialId = 9;
        surf.m_MaterialType = 4;
        surf.m_Radius = 2.5f;
        surf.m_PolygonWord = 0xDEADBEEF;
        c.init(surf);
        EXPECT_EQ(surf.m_GmSurfType, c.kind);
        EXPECT_EQ(surf.m_MaterialId, 0);
        EXPECT_EQ(surf.m_MaterialType, 0);
        // Values are not set by Init.
        EXPECT_EQ(surf.m_Radius, 2.5f);
        EXPECT_EQ(surf.m_PolygonWord, c.kind == GmSurfType::Polygon ? 0u : 0xDEADBEEF);
        EXPECT_EQ(surf.m_PolygonVertexCount, c.kind == GmSurfType::Polygon ? 3 : 0);
    }
}

TEST(GmSurf, TypeNamesByValue) {
    const std::pair<GmSurfType, const char*> names[] = {
        {GmSurfType::Sphere, "Sphere"},
        {GmSurfType::Ellipsoid, "Ellipsoid"},
        {GmSurfType::Plane, "Plane"},
        {GmSurfType::QuadHeight, "QuadHeight"},
        {GmSurfType::TriangleHeight, "TriangleHeight"},
        {GmSurfType::Polygon, "Polygon"},
        {GmSurfType::Box, "Box"},
        {GmSurfType::Mesh, "Mesh"},
        {GmSurfType::Cylinder, "Cylinder"}};
    ASSERT_EQ(std::size(g_GmSurfTypeNames), std::size(names));
    for (const auto& [kind, name] : names)
        EXPECT_STREQ(g_GmSurfTypeNames[u8(kind)], name);
}

TEST(GmSurf, DefaultsAndLocalBoxes) {
    const Aabb marker{{7, 7, 7}, {7, 7, 7}};
    struct Case {
        const char* name;
        void (*set)(GmSurf&);
        Aabb expected;
    };
    const Case cases[] = {
        {"sphere default",
         [](GmSurf& s) {
             s.InitSphere();
             s.SetDefaults();
         },
         {{0, 0, 0}, {1, 1, 1}}},
        {"sphere 2.5",
         [](GmSurf& s) {
             s.InitSphere();
             s.m_Radius = 2.5f;
         },
         {{0, 0, 0}, {2.5f, 2.5f, 2.5f}}},
        {"ellipsoid default",
         [](GmSurf& s) {
             s.InitEllipsoid();
             s.SetDefaults();
         },
         {{0, 0, 0}, {1, 1, 1}}},
        {"ellipsoid 1 2 3",
         [](GmSurf& s) {
             s.InitEllipsoid();
             s.m_Radii = {1, 2, 3};
         },
         {{0, 0, 0}, {1, 2, 3}}},
        {"box default",
         [](GmSurf& s) {
             s.InitBox();
             s.SetDefaults();
         },
         {{0, 0, 0}, {0.5f, 0.5f, 0.5f}}},
        {"box set",
         [](GmSurf& s) {
             s.InitBox();
             s.m_Box = {{1, 2, 3}, {4, 5, 6}};
         },
         {{1, 2, 3}, {4, 5, 6}}},
        // Kinds without a box, and a record that says Mesh but holds none, leave out as it was.
        {"polygon",
         [](GmSurf& s) {
             s.InitPolygon(3);
             s.SetDefaults();
         },
         marker},
        {"cleared",
         [](GmSurf& s) {
             s.Clear();
             s.SetDefaults();
         },
         marker},
        {"mesh kind without a mesh", [](GmSurf& s) { s = GmSurfMesh(); }, marker},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GmSurf surf;
        c.set(surf);
        Aabb out = marker;
        surf.GetLocalBox(out);
        EXPECT_TRUE(SameBox(out, c.expected)) << Describe(out);
    }
    // SetDefaults leaves the values of other kinds alone.
    GmSurf surf;
    surf.InitPolygon(3);
    surf.m_Radius = 4;
    surf.SetDefaults();
    EXPECT_EQ(surf.m_Radius, 4.0f);
}

TEST(GmSurf, MeshLocalBoxIsTheTreeRoot) {
    GmSurfMesh mesh;
    const GmSurf& surf = mesh;
    Aabb out{{7, 7, 7}, {7, 7, 7}};
    surf.GetLocalBox(out);
    EXPECT_TRUE(SameBox(out, kEmpty)) << Describe(out);

    FillGoldenMesh(mesh);
    surf.GetLocalBox(out);
    EXPECT_TRUE(SameBox(out, Box({0, 0, -1}, {4, 1, 2}))) << Describe(out);
    EXPECT_EQ(mesh.m_GmSurfType, GmSurfType::Mesh);
}

// ---------------------------------------------------------------------------------------------
// Planes

TEST(GmSurfMesh, TrianglePlanes) {
    struct Case {
        const char* name;
        Vec3 v0, v1, v2;
        Vec3 normal;
        f32 distance;
    };
    const Case cases[] = {
        {"unit", {0, 0, 3}, {2, 0, 3}, {0, 2, 3}, {0, 0, 1}, -3},
        {"reversed winding", {0, 0, 3}, {0, 2, 3}, {2, 0, 3}, {0, 0, -1}, 3},
        {"slanted",
         {1, 0, 0},
         {0, 1, 0},
         {0, 0, 1},
         {0.57735026f, 0.57735026f, 0.57735026f},
         -0.57735026f},
        // Too small to give a direction: the cross product stays as it is.
        {"tiny", {0, 0, 1}, {1e-6f, 0, 1}, {0, 1e-6f, 1}, {0, 0, 1e-12f}, -1e-12f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GmSurfMesh mesh;
        Fill(mesh, {c.v0, c.v1, c.v2}, {{0, 1, 2}});
        const GmSurfMeshTriangle& t = mesh.m_Triangles[0];
        ExpectNear(t.normal, c.normal, 1e-6f);
        EXPECT_NEAR(t.distance, c.distance, 1e-6f);
    }
    GmSurfMesh mesh;
    Fill(mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    mesh.m_Triangles[0].normal = {5, 5, 5};
    mesh.UpdateTrianglePlane(1);
    EXPECT_EQ(mesh.m_Triangles[0].normal.x, 5.0f);
}

// ---------------------------------------------------------------------------------------------
// Tree building

TEST(GmAabbTree, EmptyMeshHasARootOnly) {
    GmSurfMesh mesh;
    mesh.BuildTree();
    EXPECT_EQ(Shape(mesh.m_Tree), (ShapeList{{1, -1}}));
    EXPECT_TRUE(SameBox(mesh.m_Tree.m_Nodes[0].box, kEmpty));
    Aabb out;
    mesh.GetBox(out);
    EXPECT_TRUE(SameBox(out, kEmpty));
}

TEST(GmAabbTree, OneTriangleGivesRootAndLeaf) {
    GmSurfMesh mesh;
    Fill(mesh, {{1, 2, 3}, {4, 2, 3}, {1, 6, 5}}, {{0, 1, 2}});
    EXPECT_EQ(Shape(mesh.m_Tree), (ShapeList{{2, -1}, {1, 0}}));
    const Aabb box = Box({1, 2, 3}, {4, 6, 5});
    EXPECT_TRUE(SameBox(mesh.m_Tree.m_Nodes[0].box, box));
    EXPECT_TRUE(SameBox(mesh.m_Tree.m_Nodes[1].box, box));
}

TEST(GmAabbTree, SplitsOfTwoItems) {
    // Items: 0 then 1; the leaves come left group first, then right, then middle.
    struct Case {
        const char* name;
        GmAabbTreeNode a, b;
        ShapeList shape;
    };
    const Case cases[] = {
        {"either side along x, left first",
         Item({3, 0, 0}, {4, 1, 1}, 0),
         Item({0, 0, 0}, {1, 1, 1}, 1),
         {{3, -1}, {1, 1}, {1, 0}}},
        // x and y equally long: split along x (along y both items would straddle).
        {"x before y",
         Item({3, 0, 0}, {4, 4, 0}, 0),
         Item({0, 0, 0}, {1, 4, 0}, 1),
         {{3, -1}, {1, 1}, {1, 0}}},
        // y and z equally long, x shorter: split along y (along z both would straddle).
        {"y before z",
         Item({0, 3, 0}, {1, 4, 4}, 0),
         Item({0, 0, 0}, {1, 1, 4}, 1),
         {{3, -1}, {1, 1}, {1, 0}}},
        {"longest axis z",
         Item({0, 0, 3}, {2, 2, 4}, 0),
         Item({0, 0, 0}, {2, 2, 1}, 1),
         {{3, -1}, {1, 1}, {1, 0}}},
        {"both straddle",
         Item({0, 0, 0}, {4, 1, 1}, 0),
         Item({1, 0, 0}, {3, 1, 1}, 1),
         {{3, -1}, {1, 0}, {1, 1}}},
        {"touching the centre from either side",
         Item({2, 0, 0}, {4, 0, 0}, 0),
         Item({0, 0, 0}, {2, 0, 0}, 1),
         {{3, -1}, {1, 1}, {1, 0}}},
        {"same point",
         Item({1, 1, 1}, {1, 1, 1}, 0),
         Item({1, 1, 1}, {1, 1, 1}, 1),
         {{3, -1}, {1, 0}, {1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GmAabbTree tree;
        const GmAabbTreeNode items[] = {c.a, c.b};
        tree.BuildFromItems(items, 0, 0, 0.0f);
        EXPECT_EQ(Shape(tree), c.shape);
        Aabb both = c.a.box;
        both.Add(c.b.box);
        EXPECT_TRUE(SameBox(tree.m_Nodes[0].box, both));
        for (u32 i = 1; i < 3; ++i)
            EXPECT_TRUE(SameBox(tree.m_Nodes[i].box, tree.m_Nodes[i].index ? c.b.box : c.a.box));
    }
}

TEST(GmAabbTree, StraddlingTrianglesAreLeavesOfOneNode) {
    std::vector<Vec3> vertices;
    std::vector<TriangleSpec> triangles;
    AddBoxTriangle(vertices, triangles, {0, 0, 0}, {10, 1, 1});
    AddBoxTriangle(vertices, triangles, {4, 0, 0}, {6, 1, 1});
    AddBoxTriangle(vertices, triangles, {1, 0, 0}, {9, 1, 1});
    GmSurfMesh mesh;
    Fill(mesh, vertices, triangles);
    EXPECT_EQ(Shape(mesh.m_Tree), (ShapeList{{4, -1}, {1, 0}, {1, 1}, {1, 2}}));
}

TEST(GmAabbTree, GroupsAreGatheredByMovingTheLastItem) {
    // Union [0, 6.5] along x, split 3.25: items 0 and 3 left, 1 and 2 straddle. Gathering the
    // left group moves item 3 into slot 0, then item 2 into slot 0, so the middle is 2, 1.
    // Left [0, 2] splits at 1 into 0 | 3; the middle [2.5, 6.5] cannot be split.
    GmAabbTree tree;
    const GmAabbTreeNode items[] = {Item({0, 0, 0}, {1, 0, 0}, 0), Item({3, 0, 0}, {5, 0, 0}, 1),
                                    Item({2.5f, 0, 0}, {6.5f, 0, 0}, 2),
                                    Item({1, 0, 0}, {2, 0, 0}, 3)};
    tree.BuildFromItems(items, 0, 0, 0.0f);
    EXPECT_EQ(Shape(tree), (ShapeList{{7, -1}, {3, -1}, {1, 0}, {1, 3}, {3, -1}, {1, 2}, {1, 1}}));
    EXPECT_TRUE(SameBox(tree.m_Nodes[1].box, Box({0, 0, 0}, {2, 0, 0})));
    EXPECT_TRUE(SameBox(tree.m_Nodes[4].box, Box({2.5f, 0, 0}, {6.5f, 0, 0})));
    for (u32 i = 0; i < tree.m_Nodes.m_Count; ++i) {
        if (tree.m_Nodes[i].count == 1) {
            EXPECT_TRUE(SameBox(tree.m_Nodes[i].box, items[tree.m_Nodes[i].index].box));
        }
    }
}

TEST(GmAabbTree, LeafTestsOfTheBuilder) {
    // Four items at x = 0, 1, 10, 11, unit in y and z: split at 5.5, then each pair at its
    // centre.
    const GmAabbTreeNode items[] = {Item({0, 0, 0}, {0, 1, 1}, 0), Item({1, 0, 0}, {1, 1, 1}, 1),
                                    Item({10, 0, 0}, {10, 1, 1}, 2),
                                    Item({11, 0, 0}, {11, 1, 1}, 3)};
    // Gathering the left pair moves item 3, then item 2, into the slots it empties, so the right
    // pair is gathered as 3, 2: pairs that become leaves keep that order.
    const ShapeList full{{7, -1}, {3, -1}, {1, 0}, {1, 1}, {3, -1}, {1, 2}, {1, 3}};
    const ShapeList pairs{{7, -1}, {3, -1}, {1, 0}, {1, 1}, {3, -1}, {1, 3}, {1, 2}};
    // Leaves at the root come in item order: nothing was gathered.
    const ShapeList flat{{5, -1}, {1, 0}, {1, 1}, {1, 2}, {1, 3}};
    struct Case {
        const char* name;
        u32 maxDepth, leafCount;
        f32 minVolume;
        ShapeList shape;
    };
    const Case cases[] = {
        {"all off", 0, 0, 0.0f, full},
        {"leaf count 2", 0, 2, 0.0f, pairs},
        {"leaf count 4", 0, 4, 0.0f, flat},
        // Volume of the whole box: 11 x 1 x 1; of each pair's box: 1 x 1 x 1.
        {"volume below", 0, 0, 12.0f, flat},
        {"volume not below", 0, 0, 11.0f, pairs},
        {"volume of the pairs not below", 0, 0, 1.0f, full},
        // A minimum volume not above GmEpsilon is off.
        {"volume off", 0, 0, GmEpsilon, full},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GmAabbTree tree;
        tree.BuildFromItems(items, c.maxDepth, c.leafCount, c.minVolume);
        EXPECT_EQ(Shape(tree), c.shape);
    }
    // Depth 1: the groups of three under the root become leaves instead of being split again.
    GmAabbTree tree;
    const GmAabbTreeNode six[] = {items[0], items[1], Item({2, 0, 0}, {2, 1, 1}, 4),
                                  items[2], items[3], Item({12, 0, 0}, {12, 1, 1}, 5)};
    tree.BuildFromItems(six, 1, 0, 0.0f);
    EXPECT_EQ(
        Shape(tree),
        (ShapeList{{9, -1}, {4, -1}, {1, 0}, {1, 1}, {1, 4}, {4, -1}, {1, 5}, {1, 2}, {1, 3}}));
    tree.BuildFromItems(six, 0, 0, 0.0f);
    EXPECT_GT(tree.m_Nodes.m_Count, 9u);
}

TEST(GmAabbTree, GroupsThatCannotShrinkEndAsLeaves) {
    // Two points one float step apart whose centre rounds up to the upper one: both are at
    // most the split value, so the left group would hold both again at every depth.
    const f32 lo = std::nextafter(1.0f, 2.0f);
    const f32 hi = std::nextafter(lo, 2.0f);
    ASSERT_EQ((lo + hi) * 0.5f, hi);
    // Coordinates so large that the centre of their box is infinite.
    const f32 big = std::numeric_limits<f32>::max();
    const f32 nan = std::numeric_limits<f32>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<Vec3> points;
    };
    const Case cases[] = {
        {"rounded centre", {{lo, 0, 0}, {hi, 0, 0}}},
        {"infinite centre", {{big, 0, 0}, {big * 0.75f, 0, 0}, {big * 0.5f, 0, 0}}},
        {"not a number", {{nan, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, nan, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Vec3> vertices;
        std::vector<TriangleSpec> triangles;
        for (const Vec3& p : c.points)
            AddBoxTriangle(vertices, triangles, p, p);
        GmSurfMesh mesh;
        Fill(mesh, vertices, triangles);
        ExpectCompleteTree(mesh);
        EXPECT_LE(mesh.m_Tree.m_Nodes.m_Count, 2 * triangles.size() + 1);
    }
    GmSurfMesh mesh;
    Fill(mesh, {{lo, 0, 0}, {hi, 0, 0}}, {{0, 0, 0}, {1, 1, 1}});
    EXPECT_EQ(Shape(mesh.m_Tree), (ShapeList{{3, -1}, {1, 0}, {1, 1}}));
}

// Triangle k spans [h/2, h] in x with h = 1000 - k, and one more spans [0, 501]: at each depth
// the next triangle lies right of the centre and all others straddle it, so every triangle
// would add one level: the builder stops at its depth cap.
void FillDeepestMesh(GmSurfMesh& mesh) {
    std::vector<Vec3> vertices;
    std::vector<TriangleSpec> triangles;
    for (u32 k = 0; k < 400; ++k) {
        const f32 h = 1000.0f - f32(k);
        AddBoxTriangle(vertices, triangles, {h * 0.5f, 0, 0}, {h, 1, 1});
    }
    AddBoxTriangle(vertices, triangles, {0, 0, 0}, {501, 1, 1});
    Fill(mesh, vertices, triangles);
}

TEST(GmAabbTree, DepthIsBounded) {
    GmSurfMesh mesh;
    FillDeepestMesh(mesh);
    ExpectCompleteTree(mesh);
    EXPECT_EQ(Depth(mesh.m_Tree), kGmAabbTreeMaxBuildDepth + 1);
    // The first levels each hold one peeled item, as the construction says.
    EXPECT_EQ(Shape(mesh.m_Tree)[1], (std::pair<i32, i32>{1, 0}));
    EXPECT_EQ(mesh.m_Tree.m_Nodes[2].count, i32(mesh.m_Tree.m_Nodes.m_Count) - 2);
}

// ---------------------------------------------------------------------------------------------
// Moving and merging

TEST(GmSurfMesh, TransformMovesVerticesPlanesAndTree) {
    GmSurfMesh mesh;
    FillGoldenMesh(mesh);
    // A quarter turn about z, then 10 along x.
    const Iso4 iso{Mat3{0, -1, 0, 1, 0, 0, 0, 0, 1}, Vec3{10, 0, 0}};
    mesh.Transform(iso);
    ExpectNear(mesh.m_Vertices[4], {10, 4, -1});
    ExpectNear(mesh.m_Vertices[2], {9, 0, 2});
    EXPECT_EQ(mesh.m_Triangles[0].indices[1], 4u);
    ExpectNear(mesh.m_Triangles[1].normal, {0, 0, 1});
    EXPECT_NEAR(mesh.m_Triangles[1].distance, -2, 1e-6f);
    // Rebuilt: now the triangles are apart along y, triangle 1 below.
    EXPECT_EQ(Shape(mesh.m_Tree), (ShapeList{{3, -1}, {1, 1}, {1, 0}}));
    Aabb box;
    mesh.GetBox(box);
    ExpectNear(box.centre, {9.5f, 2, 0.5f});
    ExpectNear(box.halfSize, {0.5f, 2, 1.5f});

    // A mesh without tree nodes keeps none.
    GmSurfMesh bare;
    Fill(bare, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    bare.m_Tree.m_Nodes.m_Count = 0;
    bare.Transform(iso);
    EXPECT_EQ(bare.m_Tree.m_Nodes.m_Count, 0u);
    ExpectNear(bare.m_Vertices[1], {10, 1, 0});
}

TEST(GmSurfMesh, MirrorKeepsTheWinding) {
    // A tetrahedron with outward normals.
    const std::vector<Vec3> vertices{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    GmSurfMesh mesh;
    Fill(mesh, vertices, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}});
    const auto expectOutward = [&](const Vec3& inside) {
        for (u32 i = 0; i < 4; ++i) {
            const GmSurfMeshTriangle& t = mesh.m_Triangles[i];
            const Vec3& v0 = mesh.m_Vertices[t.indices[0]];
            EXPECT_GT(Dot(t.normal, v0) - Dot(t.normal, inside), 0.0f) << "face " << i;
            EXPECT_NEAR(Dot(t.normal, v0) + t.distance, 0.0f, 1e-6f);
        }
    };
    expectOutward({0.25f, 0.25f, 0.25f});
    Iso4 mirror;
    mirror.SetScale({-1, 1, 1}, {2, 0, 0});
    mesh.Transform(mirror);
    const u32 swapped[4][3] = {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}};
    for (u32 i = 0; i < 4; ++i)
        for (u32 k = 0; k < 3; ++k)
            EXPECT_EQ(mesh.m_Triangles[i].indices[k], swapped[i][k]);
    expectOutward({1.75f, 0.25f, 0.25f});
    ExpectCompleteTree(mesh);
}

TEST(GmSurfMesh, SetFromGeometryPlacesTheSources) {
    GmSurfMesh a;
    FillGoldenMesh(a);
    GmSurfMesh b;
    Fill(b, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 9, 3}});
    // A plane that does not match the vertices shows that planes are moved, not recomputed.
    b.m_Triangles[0].normal = {1, 0, 0};
    b.m_Triangles[0].distance = 5;
    Iso4 mirror;
    mirror.SetScale({1, -1, 1}, {0, 0, 0});
    const Iso4 turn{Mat3{0, -1, 0, 1, 0, 0, 0, 0, 1}, Vec3{0, 0, 7}};

    GmSurfMesh merged;
    FillGoldenMesh(merged);
    const GmSurfMeshPlacement sources[] = {{&b, turn}, {&a, GmIso4Identity}, {&b, mirror}};
    merged.SetFromGeometry(sources);
    ASSERT_EQ(merged.m_Vertices.m_Count, 12u);
    ASSERT_EQ(merged.m_Triangles.m_Count, 4u);
    ExpectNear(merged.m_Vertices[1], {0, 1, 7});
    ExpectNear(merged.m_Vertices[3 + 4], {4, 0, -1});
    ExpectNear(merged.m_Vertices[9 + 2], {0, -1, 0});
    const u32 indices[4][3] = {{0, 1, 2}, {6, 7, 8}, {3, 4, 5}, {9, 10, 11}};
    for (u32 i = 0; i < 4; ++i)
        for (u32 k = 0; k < 3; ++k)
            EXPECT_EQ(merged.m_Triangles[i].indices[k], indices[i][k]) << i;
    // Turned: R n = (0, 1, 0), d - t . R n = 5 - 0.
    ExpectNear(merged.m_Triangles[0].normal, {0, 1, 0});
    EXPECT_EQ(merged.m_Triangles[0].distance, 5.0f);
    EXPECT_EQ(merged.m_Triangles[0].materialId, 9);
    EXPECT_EQ(merged.m_Triangles[0].materialType, 3);
    EXPECT_EQ(merged.m_Triangles[1].materialId, 7);
    EXPECT_EQ(merged.m_Triangles[2].distance, -2.0f);
    ExpectNear(merged.m_Triangles[3].normal, {1, 0, 0});
    ExpectCompleteTree(merged);

    // The mesh itself as a source, twice.
    const Iso4 up{Mat3{}, Vec3{0, 0, 100}};
    const GmSurfMeshPlacement twice[] = {{&a, GmIso4Identity}, {&a, up}};
    a.SetFromGeometry(twice);
    ASSERT_EQ(a.m_Vertices.m_Count, 12u);
    ASSERT_EQ(a.m_Triangles.m_Count, 4u);
    ExpectNear(a.m_Vertices[6 + 5], {3, 1, 99});
    EXPECT_EQ(a.m_Triangles[3].indices[0], 6u);
    EXPECT_EQ(a.m_Triangles[3].distance, -102.0f);
    ExpectCompleteTree(a);
}

// ---------------------------------------------------------------------------------------------
// Ray queries

// The nearest hit over every triangle, without the tree: (triangle, t), or (-1, 0).
std::pair<i32, f32> NearestByHand(const GmSurfMesh& mesh, const Vec3& origin, const Vec3& dir) {
    std::pair<i32, f32> nearest{-1, 0.0f};
    for (u32 i = 0; i < mesh.m_Triangles.m_Count; ++i) {
        const u32* v = mesh.m_Triangles[i].indices;
        f32 u, w, t;
        if (GmIntersectRayTriangle(origin, dir, mesh.m_Vertices[v[0]], mesh.m_Vertices[v[1]],
                                   mesh.m_Vertices[v[2]], u, w, t) &&
            t >= 0.0f && (nearest.first < 0 || t < nearest.second))
            nearest = {i32(i), t};
    }
    return nearest;
}

TEST(GmSurfMesh, RayFindsTheNearestTriangle) {
    // Five unit squares, two triangles each, stacked at z = 0 to 4; triangle 2k + 1 is the upper
    // right half of square k.
    std::vector<Vec3> vertices;
    std::vector<TriangleSpec> triangles;
    for (u32 k = 0; k < 5; ++k) {
        const f32 z = f32(k);
        const u32 base = u32(vertices.size());
        for (const Vec3& v : {Vec3{0, 0, z}, Vec3{1, 0, z}, Vec3{1, 1, z}, Vec3{0, 1, z}})
            vertices.push_back(v);
        triangles.push_back({base, base + 1, base + 3});
        triangles.push_back({base + 1, base + 2, base + 3});
    }
    GmSurfMesh mesh;
    Fill(mesh, vertices, triangles);
    struct Case {
        const char* name;
        Vec3 origin, direction;
        i32 triangle;
        f32 t;
    };
    const Case cases[] = {
        {"down from above", {0.7f, 0.6f, 10}, {0, 0, -2}, 9, 3},
        {"up from below, lower left half", {0.2f, 0.3f, -5}, {0, 0, 1}, 0, 5},
        {"down from between the squares", {0.7f, 0.6f, 2.5f}, {0, 0, -1}, 5, 0.5f},
        {"slanted", {0.1f, 0.6f, 6}, {0.25f, 0, -1}, 9, 2},
        {"away from the squares", {0.7f, 0.6f, 10}, {0, 0, 1}, -1, 0},
        {"beside the squares", {5, 5, 10}, {0, 0, -1}, -1, 0},
        {"along the squares' plane", {-1, 0.5f, 3}, {1, 0, 0}, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        u32 triangle = 77;
        f32 t = -7;
        const bool hit = mesh.IntersectRay(c.origin, c.direction, triangle, t);
        EXPECT_EQ(hit, c.triangle >= 0);
        EXPECT_EQ(triangle, c.triangle >= 0 ? u32(c.triangle) : 77u);
        EXPECT_FLOAT_EQ(t, c.triangle >= 0 ? c.t : -7);
    }
    // Without tree nodes nothing is hit, like the mesh's box.
    mesh.m_Tree.m_Nodes.m_Count = 0;
    u32 triangle = 0;
    f32 t = 0;
    EXPECT_FALSE(mesh.IntersectRay({0.5f, 0.5f, 10}, {0, 0, -1}, triangle, t));
}

TEST(GmSurfMesh, RayAgreesWithEveryTriangleTested) {
    // A soup of small triangles, and the mesh whose tree stops at the builder's depth cap.
    std::mt19937 random(5);
    std::uniform_real_distribution<f32> place(0.0f, 20.0f);
    std::uniform_real_distribution<f32> unit(-1.0f, 1.0f);
    GmSurfMesh soup;
    std::vector<Vec3> vertices;
    std::vector<TriangleSpec> triangles;
    for (u32 i = 0; i < 600; ++i) {
        const Vec3 at{place(random), place(random), place(random)};
        for (u32 k = 0; k < 3; ++k)
            vertices.push_back({at.x + unit(random), at.y + unit(random), at.z + unit(random)});
        triangles.push_back({3 * i, 3 * i + 1, 3 * i + 2});
    }
    Fill(soup, vertices, triangles);
    GmSurfMesh deepest;
    FillDeepestMesh(deepest);
    for (const GmSurfMesh* mesh : {&soup, &deepest}) {
        Aabb box;
        mesh->GetBox(box);
        u32 hits = 0;
        for (u32 i = 0; i < 500; ++i) {
            const Vec3& c = box.centre;
            const Vec3& h = box.halfSize;
            const Vec3 origin{c.x + 2 * h.x * unit(random), c.y + 2 * h.y * unit(random),
                              c.z + 2 * h.z * unit(random)};
            const Vec3 direction{c.x + h.x * unit(random) - origin.x,
                                 c.y + h.y * unit(random) - origin.y,
                                 c.z + h.z * unit(random) - origin.z};
            const auto [expected, expectedT] = NearestByHand(*mesh, origin, direction);
            u32 triangle = 0;
            f32 t = 0;
            ASSERT_EQ(mesh->IntersectRay(origin, direction, triangle, t), expected >= 0) << i;
            if (expected < 0)
                continue;
            ++hits;
            // A tie may go to another triangle at the same distance.
            EXPECT_EQ(t, expectedT) << i;
            const u32* v = mesh->m_Triangles[triangle].indices;
            f32 u, w, own;
            ASSERT_TRUE(GmIntersectRayTriangle(origin, direction, mesh->m_Vertices[v[0]],
                                               mesh->m_Vertices[v[1]], mesh->m_Vertices[v[2]], u, w,
                                               own));
            EXPECT_EQ(own, t) << i;
        }
        EXPECT_GT(hits, 50u);
    }
}

// ---------------------------------------------------------------------------------------------
// Archive

const char kPythonGolden[] = R"(
import struct

def u32(*v): return struct.pack("<%dI" % len(v), *v)
def vertices(vs): return u32(len(vs)) + b"".join(struct.pack("<3f", *v) for v in vs)
def triangle(n, d, idx, mat, typ): return struct.pack("<4f3I2B2x", *n, d, *idx, mat, typ)
def node(count, centre, half, index): return struct.pack("<i6fi", count, *centre, *half, index)
def tree(version, nodes): return u32(version, len(nodes)) + b"".join(nodes)

V = vertices([(0, 0, 2), (1, 0, 2), (0, 1, 2), (3, 0, -1), (4, 0, -1), (3, 1, -1)])
T = u32(2) + triangle((0, 0, 1), 1, (3, 4, 5), 7, 1) + triangle((0, 0, 1), -2, (0, 1, 2), 5, 2)
root = node(3, (2, 0.5, 0.5), (2, 0.5, 1.5), -1)
leaf1 = node(1, (0.5, 0.5, 2), (0.5, 0.5, 0), 1)
leaf0 = node(1, (3.5, 0.5, -1), (0.5, 0.5, 0), 0)
N = [root, leaf1, leaf0]
golden = u32(3) + V + T + tree(3, N)
text = b"3\r\n6\r\n" + V[4:] + b"2\r\n" + T[4:] + b"3\r\n3\r\n" + b"".join(N)

# Inner nodes and leaves that are not a tree, to show they are not read.
junk = [node(7, (0, 0, 0), (1, 1, 1), 5)] * 2
cases = {
    "golden": golden,
    "text": text,
    "mesh 2 rebuilds": u32(2) + V + T + tree(3, junk),
    "mesh 1 rebuilds": u32(1) + V + T + u32(1, 10, 5),
    "tree 1 rebuilds": u32(3) + V + T + u32(1, 10, 3),
    "tree 2": u32(3) + V + T + tree(2, N),
    # Saved before the tree was built.
    "tree 3 without nodes rebuilds": u32(3) + V + T + tree(3, []),
    "tree 2 without nodes rebuilds": u32(3) + V + T + tree(2, []),
    # The read ends after an unknown tree version; what follows stays unread.
    "mesh 2 unknown tree rebuilds": u32(2) + V + T + u32(4) + b"\xAA" * 8,
    "mesh 1 unknown tree rebuilds": u32(1) + V + T + u32(0) + b"\xAA" * 8,
    "bad mesh version 0": u32(0) + V + T + tree(3, N),
    "bad mesh version 4": u32(4) + V + T + tree(3, N),
    "bad tree version 0": u32(3) + V + T + tree(0, N),
    "bad tree version 4": u32(3) + V + T + tree(4, N),
    "bad vertex count past the end": u32(3, 1000) + V[4:] + T + tree(3, N),
    "bad vertex count above the limit": u32(3, 0xFFFFFFFF) + V[4:] + T + tree(3, N),
    "bad triangle count past the end": u32(3) + V + u32(20) + T[4:] + tree(3, N),
    "bad triangle count above the limit": u32(3) + V + u32(0x08000001) + T[4:] + tree(3, N),
    "bad vertex index": u32(3) + V + u32(2) + T[4:36] + triangle((0, 0, 1), -2, (0, 6, 2), 5, 2) + tree(3, N),
    "bad node count past the end": u32(3) + V + T + u32(3, 4) + b"".join(N),
    "bad node count above the limit": u32(3) + V + T + u32(3, 0x80000001) + b"".join(N),
    "bad root count": u32(3) + V + T + tree(3, [node(2, (2, 0.5, 0.5), (2, 0.5, 1.5), -1), leaf1, leaf0]),
    "bad child past its parent": u32(3) + V + T + tree(3, [root, node(3, (0, 0, 0), (0, 0, 0), -1), leaf0]),
    "bad grandchild past its parent": u32(3) + V + T + tree(3, [node(4, (0, 0, 0), (0, 0, 0), -1), node(2, (0, 0, 0), (0, 0, 0), -1), node(2, (0, 0, 0), (0, 0, 0), -1), leaf0]),
    "bad zero count": u32(3) + V + T + tree(3, [root, node(0, (0, 0, 0), (0, 0, 0), 1), leaf0]),
    "bad negative count": u32(3) + V + T + tree(3, [root, node(-2, (0, 0, 0), (0, 0, 0), 1), leaf0]),
    "bad leaf index": u32(3) + V + T + tree(3, [root, node(1, (0, 0, 0), (0, 0, 0), 2), leaf0]),
    "bad leaf without triangle": u32(3) + V + T + tree(3, [root, node(1, (0, 0, 0), (0, 0, 0), -1), leaf0]),
    "bad negative leaf index": u32(3) + V + T + tree(3, [root, node(1, (0, 0, 0), (0, 0, 0), -5), leaf0]),
    "bad inner node with a triangle": u32(3) + V + T + tree(3, [node(3, (2, 0.5, 0.5), (2, 0.5, 1.5), 0), leaf1, leaf0]),
    "bad lone root index": u32(3) + V + T + tree(3, [node(1, (0, 0, 0), (0, 0, 0), 2)]),
    # Trees that tile but that the builder never makes.
    "bad lone root over triangles": u32(3) + V + T + tree(3, [node(1, (2, 0.5, 0.5), (2, 0.5, 1.5), -1)]),
    "bad lone root holding the one triangle": u32(3) + V + u32(1) + T[36:] + tree(3, [node(1, (0.5, 0.5, 2), (0.5, 0.5, 0), 0)]),
    "bad root with one child over two triangles": u32(3) + V + T + tree(3, [node(4, (2, 0.5, 0.5), (2, 0.5, 1.5), -1), root, leaf1, leaf0]),
    "bad inner node with one child": u32(3) + V + T + tree(3, [node(4, (2, 0.5, 0.5), (2, 0.5, 1.5), -1), node(2, (0.5, 0.5, 2), (0.5, 0.5, 0), -1), leaf1, leaf0]),
    "bad triangle in two leaves": u32(3) + V + T + tree(3, [root, leaf1, leaf1]),
}
for name, data in cases.items():
    print(name.replace(" ", "_"), data.hex())
)";

// name -> bytes, from the script above run by Debian's python3.
std::map<std::string, std::string> Golden() {
    const CTempFolder folder;
    const std::string output = RunPython(folder, kPythonGolden, "");
    std::map<std::string, std::string> cases;
    for (size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = output.substr(at, end - at);
        const size_t space = line.find(' ');
        std::string bytes;
        for (size_t i = space + 1; i + 1 < line.size(); i += 2)
            bytes += char(std::stoi(line.substr(i, 2), nullptr, 16));
        std::string name = line.substr(0, space);
        for (char& c : name)
            if (c == '_')
                c = ' ';
        cases[name] = bytes;
    }
    return cases;
}

std::string Written(GmSurfMesh& mesh, bool text = false) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    archive.m_Text = text;
    EXPECT_TRUE(mesh.Archive(archive));
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

// Reads the bytes into the mesh; the result and the count of bytes read.
std::pair<bool, u32> Read(GmSurfMesh& mesh, const std::string& bytes, bool text = false) {
    CClassicArchive archive;
    auto* memory = new CClassicBufferMemory;
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    archive.SetBuffer(memory);
    archive.m_Text = text;
    const bool ok = mesh.Archive(archive);
    return {ok, memory->GetPosition()};
}

// A stream that cannot tell its size, over fixed bytes.
class CForwardStream : public CClassicBuffer {
public:
    explicit CForwardStream(std::string bytes) : m_Bytes(std::move(bytes)) {}
    u32 Read(void* data, u32 n) override {
        if (n > m_Bytes.size() - m_Position)
            throw CClassicBufferException(kClassicBufferErrorPastEnd);
        std::memcpy(data, m_Bytes.data() + m_Position, n);
        m_Position += n;
        return n;
    }
    u32 Write(const void*, u32) override { return 0; }
    bool Close() override { return true; }
    u32 GetPosition() const override { return u32(m_Position); }
    u32 GetSize() const override { return 0; }

private:
    std::string m_Bytes;
    size_t m_Position = 0;
};

class GmSurfMeshArchive : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_Golden = new std::map<std::string, std::string>(Golden()); }
    static void TearDownTestSuite() {
        delete s_Golden;
        s_Golden = nullptr;
    }
    static const std::string& Case(const std::string& name) {
        static const std::string missing;
        const auto found = s_Golden->find(name);
        if (found == s_Golden->end()) {
            ADD_FAILURE() << "no golden case " << name;
            return missing;
        }
        return found->second;
    }
    static std::map<std::string, std::string>* s_Golden;
};

std::map<std::string, std::string>* GmSurfMeshArchive::s_Golden = nullptr;

TEST_F(GmSurfMeshArchive, WritesTheGoldenBytesInBothEncodings) {
    GmSurfMesh mesh;
    FillGoldenMesh(mesh);
    EXPECT_EQ(Written(mesh), Case("golden"));
    EXPECT_EQ(Written(mesh, true), Case("text"));
    // Deterministic: the same mesh, the same bytes.
    EXPECT_EQ(Written(mesh), Written(mesh));
}

TEST_F(GmSurfMeshArchive, ReadsEveryVersion) {
    struct Entry {
        const char* name;
        bool text = false;
        // Bytes left after the mesh.
        u32 unread = 0;
    };
    const Entry entries[] = {{"golden"},
                             {"text", true},
                             {"mesh 2 rebuilds"},
                             {"mesh 1 rebuilds"},
                             {"tree 1 rebuilds"},
                             {"tree 2"},
                             {"tree 3 without nodes rebuilds"},
                             {"tree 2 without nodes rebuilds"},
                             {"mesh 2 unknown tree rebuilds", false, 8},
                             {"mesh 1 unknown tree rebuilds", false, 8}};
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        GmSurfMesh mesh;
        Fill(mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
        const std::string& bytes = Case(e.name);
        CLogWatch log;
        const auto [ok, used] = Read(mesh, bytes, e.text);
        EXPECT_TRUE(ok);
        EXPECT_EQ(log.Since(), "");
        EXPECT_EQ(used, bytes.size() - e.unread);
        EXPECT_EQ(mesh.m_GmSurfType, GmSurfType::Mesh);
        // Whatever the stored form, the mesh is the golden one, tree included.
        EXPECT_EQ(Written(mesh), Case("golden"));
    }
}

TEST_F(GmSurfMeshArchive, DamagedArchivesAreRefusedAndChangeNothing) {
    for (const auto& [name, bytes] : *s_Golden) {
        if (name.rfind("bad ", 0) != 0)
            continue;
        SCOPED_TRACE(name);
        GmSurfMesh mesh;
        Fill(mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 4, 4}});
        const std::string before = Written(mesh);
        CLogWatch log;
        EXPECT_FALSE(Read(mesh, bytes).first);
        EXPECT_NE(log.Since().find("[GmSurfMesh] Mesh not read: "), std::string::npos)
            << log.Since();
        EXPECT_EQ(Written(mesh), before);
    }
}

TEST_F(GmSurfMeshArchive, EveryTruncationIsRefused) {
    for (bool text : {false, true}) {
        const std::string& whole = Case(text ? "text" : "golden");
        for (size_t size = 0; size < whole.size(); ++size) {
            GmSurfMesh mesh;
            EXPECT_FALSE(Read(mesh, whole.substr(0, size), text).first) << size;
            EXPECT_EQ(mesh.m_Vertices.m_Count, 0u);
            EXPECT_EQ(mesh.m_Tree.m_Nodes.m_Count, 0u);
        }
    }
}

TEST_F(GmSurfMeshArchive, CountsAboveTheLimitOnAStreamOfUnknownSize) {
    struct Case {
        const char* name;
        u32 vertexCount;
        const char* logged;
    };
    const Case cases[] = {
        {"above the limit", kGmSurfMeshMaxVertices + 1, "above the limit"},
        // At the limit the count is accepted, and the stream ends long before 192 MB arrive.
        {"at the limit", kGmSurfMeshMaxVertices, "the stream ended"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes(8 + 12 * 1000, '\0');
        bytes[0] = 3;
        std::memcpy(&bytes[4], &c.vertexCount, 4);
        CClassicArchive archive;
        archive.SetBuffer(new CForwardStream(bytes));
        GmSurfMesh mesh;
        CLogWatch log;
        EXPECT_FALSE(mesh.Archive(archive));
        EXPECT_NE(log.Since().find(c.logged), std::string::npos) << log.Since();
        EXPECT_EQ(mesh.m_Vertices.m_Count, 0u);
    }
}

// The archive of the mesh with the nodes given in place of its tree.
std::string WrittenWithNodes(const GmSurfMesh& mesh, const std::vector<GmAabbTreeNode>& nodes) {
    GmSurfMesh copy;
    const GmSurfMeshPlacement same[] = {{&mesh, GmIso4Identity}};
    copy.SetFromGeometry(same);
    copy.m_Tree.m_Nodes.m_Count = 0;
    for (const GmAabbTreeNode& node : nodes)
        copy.m_Tree.m_Nodes.Add(node);
    return Written(copy);
}

// n triangles in a row along x, apart.
void FillRow(GmSurfMesh& mesh, u32 n) {
    std::vector<Vec3> vertices;
    std::vector<TriangleSpec> triangles;
    for (u32 i = 0; i < n; ++i)
        AddBoxTriangle(vertices, triangles, {2.0f * f32(i), 0, 0}, {2.0f * f32(i) + 1, 1, 1});
    Fill(mesh, vertices, triangles);
}

TEST_F(GmSurfMeshArchive, ChainOfSingleChildrenIsRefused) {
    // 200 000 nodes over one triangle, each the only child of the one before: the counts tile,
    // but no builder makes such a tree, and a recursive walk would run out of stack.
    GmSurfMesh one;
    FillRow(one, 1);
    const u32 n = 200000;
    std::vector<GmAabbTreeNode> chain(n, {0, one.m_Tree.m_Nodes[1].box, -1});
    for (u32 k = 0; k < n; ++k)
        chain[k].count = i32(n - k);
    chain[n - 1].index = 0;
    const std::string bytes = WrittenWithNodes(one, chain);

    GmSurfMesh mesh;
    FillGoldenMesh(mesh);
    const std::string before = Written(mesh);
    CLogWatch log;
    EXPECT_FALSE(Read(mesh, bytes).first);
    EXPECT_NE(log.Since().find("[GmSurfMesh] Mesh not read: its tree of 200000 nodes is damaged"),
              std::string::npos)
        << log.Since();
    EXPECT_EQ(Written(mesh), before);
}

TEST_F(GmSurfMeshArchive, TreesDeeperThanTheBuilderMakesAreRebuilt) {
    // Over triangles in a row, a tree in which every inner node has the next triangle's leaf
    // and the next inner node as children: well formed, one level per triangle. Down to the
    // builder's depth the stored tree is kept; one level more and it is rebuilt.
    struct Case {
        u32 triangles;
        bool kept;
    };
    for (const Case c :
         {Case{kGmAabbTreeMaxBuildDepth + 2, true}, Case{kGmAabbTreeMaxBuildDepth + 3, false}}) {
        SCOPED_TRACE(c.triangles);
        GmSurfMesh row;
        FillRow(row, c.triangles);
        const std::string built = Written(row);
        // Pre-order: inner 0, leaf 0, inner 1, leaf 1, ..., inner n - 2, leaf n - 2, leaf n - 1.
        const u32 n = c.triangles;
        std::vector<GmAabbTreeNode> nodes(2 * n - 1);
        Aabb box;
        for (u32 i = n; i-- > 0;) {
            const Aabb leaf = Box({2.0f * f32(i), 0, 0}, {2.0f * f32(i) + 1, 1, 1});
            if (i == n - 1) {
                nodes[2 * i] = {1, leaf, i32(i)};
                box = leaf;
                continue;
            }
            box.Add(leaf);
            nodes[2 * i] = {i32(2 * (n - i) - 1), box, -1};
            nodes[2 * i + 1] = {1, leaf, i32(i)};
        }
        const std::string stored = WrittenWithNodes(row, nodes);
        ASSERT_NE(stored, built);

        GmSurfMesh mesh;
        CLogWatch log;
        ASSERT_TRUE(Read(mesh, stored).first);
        ExpectCompleteTree(mesh);
        if (c.kept) {
            EXPECT_EQ(log.Since(), "");
            EXPECT_EQ(Written(mesh), stored);
            EXPECT_EQ(Depth(mesh.m_Tree), kGmAabbTreeMaxBuildDepth + 1);
        } else {
            EXPECT_NE(log.Since().find("[GmSurfMesh] Tree of " + std::to_string(2 * n - 1) +
                                       " nodes deeper than 257 levels: rebuilt from the "
                                       "triangles"),
                      std::string::npos)
                << log.Since();
            EXPECT_EQ(Written(mesh), built);
        }
        // The deepest kept tree walks like any other.
        u32 triangle = 0;
        f32 t = 0;
        ASSERT_TRUE(
            mesh.IntersectRay({2.0f * f32(n - 1) + 0.5f, 5, 0.5f}, {0, -1, 0}, triangle, t));
        EXPECT_EQ(triangle, n - 1);
    }
    // The builder's own deepest tree reads back as stored.
    GmSurfMesh deepest;
    FillDeepestMesh(deepest);
    const std::string bytes = Written(deepest);
    GmSurfMesh mesh;
    ASSERT_TRUE(Read(mesh, bytes).first);
    EXPECT_EQ(Written(mesh), bytes);
}

TEST_F(GmSurfMeshArchive, MeshWithoutTriangleKeepsItsEmptyTree) {
    GmSurfMesh fresh;
    const std::string bytes = Written(fresh);
    GmSurfMesh mesh;
    FillGoldenMesh(mesh);
    ASSERT_TRUE(Read(mesh, bytes).first);
    EXPECT_EQ(mesh.m_Tree.m_Nodes.m_Count, 0u);
    EXPECT_EQ(Written(mesh), bytes);
}

} // namespace
