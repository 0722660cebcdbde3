#include "StripMeshes.h"
#include "StripifierRun.h"
#include "tests/core/ExternalToolSupport.h"

#include <gtest/gtest.h>
#include <random>

using stripref::Result;
using stripref::Strip;
using Indices = std::vector<std::uint16_t>;

namespace {

const std::string kThird =
    "BuildStripifyInfo: > 2 triangles on an edge... uncertain consequences\n";

struct SmallCase {
    const char* name;
    Indices indices;
    std::vector<Strip> strips;
    std::string lines;
    std::uint32_t setAside;
};

// Hand-derived results of small inputs.
TEST(PlugStripifier, SmallInputsGiveTheDerivedStrips) {
    const SmallCase cases[] = {
        {"empty", {}, {}, "", 0},
        {"no whole triangle", {0, 1}, {}, "", 0},
        // Nine repeats of the seed are skipped; six one-face trials tie and the first wins.
        {"one triangle", {0, 1, 2}, {{0, -1, {0}}}, "", 0},
        {"trailing indices ignored", {0, 1, 2, 7, 8}, {{0, -1, {0}}}, "", 0},
        {"two with matching winding", {0, 1, 2, 2, 1, 3}, {{0, -1, {0, 1}}}, "", 0},
        {"repeat in the same order", {0, 1, 2, 0, 1, 2}, {{0, -1, {0}}}, "", 0},
        // A rotation is a second face on all three edges; the vertex test keeps it out of the
        // first strip, so the first trial chains it as its second strip (id 6, after the six
        // start strips).
        {"repeat in another rotation", {0, 1, 2, 1, 2, 0}, {{0, -1, {0}}, {6, -1, {1}}}, "", 0},
        {"repeated vertices set aside", {0, 0, 1, 0, 1, 2, 3, 3, 3}, {{0, -1, {0}}}, "", 2},
        {"only repeated vertices", {5, 5, 5}, {}, "", 1},
    };
    for (const SmallCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Result got = stripref::RunEngine(c.indices);
        EXPECT_EQ(got.Strips, c.strips);
        EXPECT_EQ(got.Lines, c.lines);
        EXPECT_EQ(got.SetAside, c.setAside);
    }
}

TEST(PlugStripifier, ThirdFaceOnAnEdgeWarnsOncePerRegistrationAndGoesOn) {
    // Faces 2 and 3 each meet the full edge {0, 1}.
    const Indices indices{0, 1, 2, 1, 0, 3, 0, 1, 4, 1, 0, 5};
    stripref::LineCapture capture;
    plug::Stripifier run(plug::BuildStripifyInfo(indices));
    EXPECT_EQ(stripref::CapturedLines(), kThird + kThird);
    const plug::StripEdge* edge = run.FindEdge(1, 0);
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(edge->V0, 0);
    EXPECT_EQ(edge->V1, 1);
    EXPECT_EQ(run.FacePosition(edge->Face0), 0);
    EXPECT_EQ(run.FacePosition(edge->Face1), 1);
    // Across the edge from an unrecorded face is the first face.
    EXPECT_EQ(run.FaceAcross(0, 1, &run.Info().Faces[2]), edge->Face0);
    run.SearchStrips();
    EXPECT_EQ(stripref::CheckStrips(indices, run), "");
}

TEST(PlugStripifier, NextIndexWarnsWhenTheFaceLeavesTheList) {
    struct Case {
        Indices list;
        plug::StripFace face;
        std::int32_t next;
        std::string lines;
    };
    const std::string derailed = "GetNextIndex: Triangle doesn't have all of its vertices\n"
                                 "GetNextIndex: Duplicate triangle probably got us derailed\n";
    const Case cases[] = {
        {{0, 1}, {1, 0, 2}, 2, ""},
        {{9, 0, 1}, {2, 1, 0}, 2, ""},
        {{0, 1}, {0, 3, 4}, 3, derailed},
        {{0, 1}, {0, 1, 0}, -1, "GetNextIndex: Duplicate triangle sent\n"},
    };
    for (const Case& c : cases) {
        stripref::LineCapture capture;
        EXPECT_EQ(plug::GetNextIndex(c.list, c.face), c.next);
        EXPECT_EQ(stripref::CapturedLines(), c.lines);
    }
}

// The jump values after each seed call, and the start positions with 21 faces, worked out by
// python's float32 round trip independently of the engine.
TEST(PlugStripifier, SeedJumpFollowsSinglePrecision) {
    const float listed[19] = {0.100000001f, 0.200000003f, 0.300000012f, 0.400000006f, 0.5f,
                              0.600000024f, 0.700000048f, 0.800000072f, 0.900000095f, 0.050000001f,
                              0.150000006f, 0.25f,        0.349999994f, 0.449999988f, 0.550000012f,
                              0.650000036f, 0.750000060f, 0.850000083f, 0.950000107f};
    // 21 separate triangles: every face has open edges, so the first call starts at face 0.
    Indices indices;
    for (std::uint16_t t = 0; t < 21; ++t)
        indices.insert(indices.end(),
                       {std::uint16_t(3 * t), std::uint16_t(3 * t + 1), std::uint16_t(3 * t + 2)});
    plug::Stripifier run(plug::BuildStripifyInfo(indices));
    std::vector<int> starts;
    std::string ours;
    for (int call = 0; call < 21; ++call) {
        starts.push_back(run.FacePosition(run.NextSeedFace()));
        if (call < 19) {
            EXPECT_EQ(run.SeedJump(), listed[call]) << call;
        }
        ours += platform::Format("%.9g %d\n", double(run.SeedJump()), starts.back()).text;
    }
    EXPECT_EQ(starts[1], 2);
    EXPECT_EQ(starts[13], 6);
    EXPECT_EQ(starts[14], 8);

    const std::string script = "import struct\n"
                               "f = lambda x: struct.unpack('<f', struct.pack('<f', x))[0]\n"
                               "j = 0.0\n"
                               "for call in range(21):\n"
                               "    start = 0 if call == 0 else int(20 * j)\n"
                               "    s = f(j + f(0.1))\n"
                               "    j = f(0.05) if s > 1.0 else s\n"
                               "    print('%.9g %d' % (j, start))\n";
    CTempFolder folder;
    WriteWholeFile(folder.File("jump.py"), script);
    EXPECT_EQ(RunCommand(std::string(ENGINE_TEST_PYTHON) + " " + folder.File("jump.py")), ours);
}

TEST(PlugStripifier, ClosedMeshSeedsAtFaceZeroAndOpenMeshAtFirstOpenFace) {
    // A tetrahedron: no face has an open edge.
    plug::Stripifier closed(plug::BuildStripifyInfo(Indices{0, 1, 2, 0, 2, 3, 0, 3, 1, 1, 3, 2}));
    EXPECT_EQ(closed.FindOpenEdgeFace(), -1);
    EXPECT_EQ(closed.FacePosition(closed.NextSeedFace()), 0);
    // A row of three: the middle face has one open edge, the last two.
    plug::Stripifier row(plug::BuildStripifyInfo(Indices{0, 1, 2, 2, 1, 3, 2, 3, 4}));
    EXPECT_EQ(row.FindOpenEdgeFace(), 0);
    plug::Stripifier row2(plug::BuildStripifyInfo(Indices{2, 1, 3, 0, 1, 2, 2, 3, 4}));
    EXPECT_EQ(row2.FindOpenEdgeFace(), 1);
}

// Random lists over few vertices: repeats, rotations, non-manifold edges.
Indices RandomList(unsigned seed, unsigned triangles, unsigned vertices) {
    std::mt19937 random(seed);
    Indices out;
    for (unsigned t = 0; t < triangles; ++t) {
        if (t > 0 && random() % 5 == 0) {
            const size_t from = 3 * (random() % t);
            const unsigned rot = random() % 3;
            for (unsigned k = 0; k < 3; ++k)
                out.push_back(out[from + (k + rot) % 3]);
            continue;
        }
        for (unsigned k = 0; k < 3; ++k)
            out.push_back(std::uint16_t(random() % vertices));
    }
    return out;
}

TEST(PlugStripifier, MatchesThePlainSearchOnVariedMeshes) {
    struct Mesh {
        std::string name;
        Indices indices;
    };
    std::vector<Mesh> meshes = {
        {"random few vertices", RandomList(1, 60, 8)},
        {"random many vertices", RandomList(2, 300, 90)},
        {"random dense", RandomList(3, 200, 20)},
        {"fan", stripmesh::Fan(40)},
        {"grid", stripmesh::Grid(12, 9)},
        {"sphere", stripmesh::Sphere(16)},
        {"grid twice rotated",
         [] {
             Indices g = stripmesh::Grid(5, 5), out = g;
             for (size_t i = 0; i < g.size(); i += 3)
                 out.insert(out.end(), {g[i + 1], g[i + 2], g[i]});
             return out;
         }()},
    };
    // The generated sphere of 8 segments has 168 triangles.
    ASSERT_EQ(stripmesh::Sphere(8).size(), 3u * 168);
    meshes.push_back({"sphere 8", stripmesh::Sphere(8)});
    const auto real = stripmesh::LoadModel("3DS/fels.3ds");
    ASSERT_FALSE(real.empty());
    meshes.push_back({"fels", real.front()});
    for (const Mesh& mesh : meshes) {
        SCOPED_TRACE(mesh.name);
        const Result plain = stripref::Search(mesh.indices);
        stripref::LineCapture capture;
        plug::Stripifier run(plug::BuildStripifyInfo(mesh.indices));
        run.SearchStrips();
        Result ours = stripref::FromEngine(run);
        ours.Lines = stripref::CapturedLines();
        EXPECT_EQ(ours.Strips, plain.Strips);
        EXPECT_EQ(ours.Lines, plain.Lines);
        EXPECT_EQ(ours.SetAside, plain.SetAside);
        EXPECT_EQ(stripref::CheckStrips(mesh.indices, run), "");
    }
}

TEST(PlugStripifier, RealMeshWithRepeatedVerticesIsSetAsideAndCovered) {
    const auto meshes = stripmesh::LoadModel("OBJ/spider.obj");
    ASSERT_FALSE(meshes.empty());
    std::uint32_t setAside = 0;
    for (const Indices& indices : meshes) {
        stripref::LineCapture capture;
        plug::Stripifier run(plug::BuildStripifyInfo(indices));
        run.SearchStrips();
        setAside += run.Info().SetAside;
        EXPECT_EQ(stripref::CheckStrips(indices, run), "");
        EXPECT_EQ(stripref::CapturedLines().find("GetNextIndex"), std::string::npos);
    }
    EXPECT_EQ(setAside, 28u);
}

} // namespace
