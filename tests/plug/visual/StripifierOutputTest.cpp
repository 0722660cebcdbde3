#include "StripCheck.h"
#include "StripMeshes.h"
#include "StripifierRun.h"
#include "tests/core/CoreTestSupport.h"

#include <climits>
#include <gtest/gtest.h>
#include <random>

using Indices = std::vector<std::uint16_t>;
using plug::StripFace;
using plug::StripGroup;
using plug::Stripifier;
using plug::StripRecord;
using stripref::Triple;

namespace {

// The options are process-wide: every test leaves them at 16 and off.
class PlugStripOutput : public ::testing::Test {
protected:
    void TearDown() override {
        Stripifier::SetVertexCacheSize(16);
        Stripifier::SetListOutputOnly(0);
    }
};

// Builds groups at a cache size option and output mode.
std::vector<StripGroup> Groups(const Indices& indices, std::int32_t option, bool lists) {
    Stripifier::SetVertexCacheSize(option);
    Stripifier::SetListOutputOnly(lists ? 1 : 0);
    return Stripifier::BuildStripGroups(indices);
}

// A piece holding the given faces of an info.
StripRecord Piece(const plug::StripifyInfo& info, std::initializer_list<int> faces) {
    StripRecord piece;
    piece.StripId = 0;
    for (const int f : faces)
        piece.Faces.push_back(const_cast<StripFace*>(&info.Faces[size_t(f)]));
    return piece;
}

TEST_F(PlugStripOutput, SmallInputsGiveTheDerivedGroups) {
    struct Case {
        const char* name;
        Indices indices;
        bool lists;
        std::vector<StripGroup> groups;
    };
    const Case cases[] = {
        {"one triangle", {4, 7, 9}, false, {{1, {4, 7, 9}}}},
        {"one triangle, lists", {4, 7, 9}, true, {{0, {4, 7, 9}}}},
        {"two sharing b-c", {0, 1, 2, 2, 1, 3}, false, {{1, {0, 1, 2, 3}}}},
        {"two sharing b-c, lists", {0, 1, 2, 2, 1, 3}, true, {{0, {0, 1, 2, 2, 1, 3}}}},
        {"nothing", {}, false, {{1, {}}}},
        {"nothing, lists", {0, 1}, true, {{0, {}}}},
        // The second face leaves vertex 1 out, so the first triangle starts 1, 0, 2 against its
        // face's order, and the strip begins with 1 twice.
        {"first triangle turned", {0, 1, 2, 0, 2, 3}, false, {{1, {1, 1, 0, 2, 3}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Groups(c.indices, 16, c.lists), c.groups);
    }
}

TEST_F(PlugStripOutput, FirstPieceRunningAgainstItsFaceStartsWithItsFirstVertexTwice) {
    // Each piece's second face decides which vertex leaves first; W false doubles it.
    const plug::StripifyInfo info =
        plug::BuildStripifyInfo(Indices{0, 1, 2, 0, 2, 3, 5, 6, 7, 7, 6, 8});
    struct Case {
        const char* name;
        std::vector<StripRecord> pieces;
        Indices strip;
    };
    const Case cases[] = {
        {"kept", {Piece(info, {2, 3})}, {5, 6, 7, 8}},
        {"turned", {Piece(info, {0, 1})}, {1, 1, 0, 2, 3}},
        {"turned, reversed order", {Piece(info, {1, 0})}, {3, 3, 2, 0, 1}},
        // The join repeats the last index, then the next first index enough times to start its
        // triangle at an odd place when turned and at an even one otherwise.
        {"two pieces",
         {Piece(info, {2, 3}), Piece(info, {0, 1})},
         {5, 6, 7, 8, 8, 1, 1, 1, 0, 2, 3}},
        {"two pieces, the other way",
         {Piece(info, {0, 1}), Piece(info, {2, 3})},
         {1, 1, 0, 2, 3, 3, 5, 5, 5, 6, 7, 8}},
        {"two pieces, two joins",
         {Piece(info, {2}), Piece(info, {3})},
         {5, 6, 7, 7, 7, 7, 7, 6, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Indices strip = Stripifier::EmitStripIndices(c.pieces);
        EXPECT_EQ(strip, c.strip);
        std::vector<std::vector<Triple>> faces;
        for (const StripRecord& piece : c.pieces) {
            faces.emplace_back();
            for (const StripFace* f : piece.Faces)
                faces.back().push_back(stripref::FaceOf(*f));
        }
        EXPECT_EQ(stripref::CheckStrip(strip, faces), "");
    }
}

TEST_F(PlugStripOutput, CacheSizeOptionGivesTheModelSizeWithoutOverflow) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {16, 10}, {7, 1},         {1, 1}, {0, 1},
        {-5, 1},  {INT32_MIN, 1}, {8, 2}, {INT32_MAX, INT32_MAX - 6}};
    for (const auto& [option, size] : cases) {
        EXPECT_EQ(Stripifier::CacheSizeFor(option), size) << option;
        EXPECT_EQ(Stripifier::Run(Indices{0, 1, 2}, option, 0).CacheSize, size) << option;
    }
    // A huge model holds every vertex it meets and allocates no more than one per vertex.
    EXPECT_EQ(Groups(stripmesh::Grid(3, 3), INT32_MAX, false).size(), 1u);
}

TEST_F(PlugStripOutput, LongStripIsCutToTheCacheSize) {
    // A row of 25 triangles, each sharing an edge with the next and wound alike.
    Indices row;
    for (std::uint16_t k = 0; k < 25; ++k) {
        if (k % 2 == 0)
            row.insert(row.end(), {k, std::uint16_t(k + 1), std::uint16_t(k + 2)});
        else
            row.insert(row.end(), {std::uint16_t(k + 1), k, std::uint16_t(k + 2)});
    }
    const Stripifier::RunResult run = Stripifier::Run(row, 16, 0);
    ASSERT_EQ(run.Search->Strips().size(), 1u);
    const std::vector<StripFace*>& strip = run.Search->Strips()[0].Faces;
    ASSERT_EQ(strip.size(), 25u);
    // Cut from the start of the strip into 10, 10 and 5 faces, then ordered apart.
    std::vector<std::vector<StripFace*>> cut = {{strip.begin(), strip.begin() + 10},
                                                {strip.begin() + 10, strip.begin() + 20},
                                                {strip.begin() + 20, strip.end()}};
    std::vector<std::vector<StripFace*>> got;
    for (const StripRecord& piece : run.Pieces) {
        EXPECT_TRUE(piece.Visited);
        got.push_back(piece.Faces);
    }
    std::sort(got.begin(), got.end());
    std::sort(cut.begin(), cut.end());
    EXPECT_EQ(got, cut);
    EXPECT_EQ(stripref::CheckGroups(row, 16, true, true, true), "");
}

// Scores held as floats: a later piece of the same score wins when the held value was rounded
// toward it. Three separate triangles (cost 0, first) fill the cache with 0 to 8; B and C have
// ten faces each, `cached` of them holding one cached vertex.
TEST_F(PlugStripOutput, HeldBestValuesAreRoundedTo32Bits) {
    struct Case {
        const char* name;
        int cached;             // slots of B and of C in the cache after A
        std::vector<int> order; // 0 = A, 1 = B, 2 = C
    };
    const Case cases[] = {
        // 0.7 rounds down to 0.699999988: C's 0.7 is strictly greater and wins.
        {"hits 0.7", 7, {0, 2, 1}},
        // 0.5 is exact: C only equals it, B stays.
        {"hits 0.5", 5, {0, 1, 2}},
        // 0.3 rounds up to 0.300000012: C does not beat it.
        {"hits 0.3", 3, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Indices indices{0, 1, 2, 3, 4, 5, 6, 7, 8};
        std::uint16_t fresh = 100;
        for (int piece = 0; piece < 2; ++piece)
            for (int f = 0; f < 10; ++f) {
                const std::uint16_t first = f < c.cached ? std::uint16_t(f) : fresh++;
                indices.insert(indices.end(), {first, fresh, std::uint16_t(fresh + 1)});
                fresh = std::uint16_t(fresh + 2);
            }
        const plug::StripifyInfo info = plug::BuildStripifyInfo(indices);
        std::vector<StripRecord> strips{Piece(info, {0, 1, 2}),
                                        Piece(info, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
                                        Piece(info, {13, 14, 15, 16, 17, 18, 19, 20, 21, 22})};
        std::vector<StripRecord> ordered;
        std::vector<StripFace*> leftovers;
        Stripifier::SplitAndOrder(info, strips, 10, 0, ordered, leftovers);
        std::vector<int> order;
        for (const StripRecord& piece : ordered)
            order.push_back(piece.Faces[0] == strips[0].Faces[0]   ? 0
                            : piece.Faces[0] == strips[1].Faces[0] ? 1
                                                                   : 2);
        EXPECT_EQ(order, c.order);
        EXPECT_TRUE(leftovers.empty());
    }
}

TEST_F(PlugStripOutput, LowestCostIsHeldAsAFloat) {
    // X and Y (ten faces each) touch across one edge: cost 0.1 each, held as 0.100000001, which
    // Y's 0.1 is below, so Y comes first. Z (two faces sharing an edge, cost 1) comes before
    // them in order and loses to both.
    Indices indices{50, 51, 52, 52, 51, 53};
    std::uint16_t fresh = 100;
    for (int f = 0; f < 20; ++f) {
        if (f == 9)
            indices.insert(indices.end(), {0, 1, 2});
        else if (f == 10)
            indices.insert(indices.end(), {1, 0, 3});
        else
            indices.insert(indices.end(),
                           {fresh, std::uint16_t(fresh + 1), std::uint16_t(fresh + 2)});
        fresh = std::uint16_t(fresh + 3);
    }
    const plug::StripifyInfo info = plug::BuildStripifyInfo(indices);
    ASSERT_EQ(Stripifier::NeighbourCount(info, info.Faces[11]), 1);
    ASSERT_EQ(Stripifier::NeighbourCount(info, info.Faces[0]), 1);
    ASSERT_EQ(Stripifier::NeighbourCount(info, info.Faces[2]), 0);
    std::vector<StripRecord> strips{Piece(info, {0, 1}),
                                    Piece(info, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}),
                                    Piece(info, {12, 13, 14, 15, 16, 17, 18, 19, 20, 21})};
    std::vector<StripRecord> ordered;
    std::vector<StripFace*> leftovers;
    Stripifier::SplitAndOrder(info, strips, 10, 0, ordered, leftovers);
    ASSERT_EQ(ordered.size(), 3u);
    EXPECT_EQ(ordered[0].Faces, strips[2].Faces);
}

TEST_F(PlugStripOutput, ShortPiecesGoToTheLeftoversInCacheOrder) {
    // With a minimum length of 3 the two single faces are pooled: after face 0 (nothing cached)
    // the face sharing two of its vertices is taken before the one sharing none.
    const plug::StripifyInfo info = plug::BuildStripifyInfo(
        Indices{0, 1, 2, 7, 8, 9, 1, 2, 5, 20, 21, 22, 21, 20, 23, 20, 23, 24});
    std::vector<StripRecord> pieces{Piece(info, {0}), Piece(info, {1}), Piece(info, {2}),
                                    Piece(info, {3, 4, 5})};
    const std::vector<StripFace*> leftovers = Stripifier::ExtractShortStrips(pieces, 10, 3);
    ASSERT_EQ(leftovers.size(), 3u);
    EXPECT_EQ(leftovers[0], &info.Faces[0]);
    EXPECT_EQ(leftovers[1], &info.Faces[2]);
    EXPECT_EQ(leftovers[2], &info.Faces[1]);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].Faces.size(), 3u);
}

TEST_F(PlugStripOutput, CacheModelCountsTheMissesMeshoptimizerCounts) {
    // meshopt_analyzeVertexCache with warp and group sizes 0 is the same push-on-miss FIFO.
    std::vector<std::pair<std::string, Indices>> meshes = {{"grid", stripmesh::Grid(20, 14)},
                                                           {"sphere", stripmesh::Sphere(32)}};
    for (const Indices& m : stripmesh::LoadModel("3DS/fels.3ds"))
        meshes.emplace_back("fels", m);
    for (const auto& [name, indices] : meshes) {
        const size_t vertices = *std::max_element(indices.begin(), indices.end()) + 1u;
        for (const std::int32_t size : {3, 10, 16, 32}) {
            SCOPED_TRACE(name + " " + std::to_string(size));
            plug::VertexCacheModel model(size);
            unsigned misses = 0;
            for (size_t t = 0; t + 2 < indices.size(); t += 3)
                for (size_t k = 0; k < 3; ++k)
                    if (!model.Contains(indices[t + k])) {
                        model.Push(indices[t + k]);
                        ++misses;
                    }
            const meshopt_VertexCacheStatistics stats = meshopt_analyzeVertexCache(
                indices.data(), indices.size(), vertices, unsigned(size), 0, 0);
            EXPECT_EQ(misses, stats.vertices_transformed);
        }
    }
    // Entry 0 is the newest; empty entries are -1 and never a vertex.
    plug::VertexCacheModel model(3);
    EXPECT_FALSE(model.Contains(-1));
    model.FeedFace(StripFace{4, 5, 4});
    EXPECT_EQ(model.Entry(0), 5);
    EXPECT_EQ(model.Entry(1), 4);
    EXPECT_EQ(model.Entry(2), -1);
    EXPECT_EQ(model.Push(6), -1);
    EXPECT_EQ(model.Push(7), 4);
    EXPECT_FALSE(model.Contains(4));
}

Indices RandomList(unsigned seed, unsigned triangles, unsigned vertices) {
    std::mt19937 random(seed);
    Indices out;
    for (unsigned i = 0; i < 3 * triangles; ++i)
        out.push_back(std::uint16_t(random() % vertices));
    return out;
}

// The ordering of the engine against the plain scan, and the groups against meshoptimizer's
// expansion, over varied meshes and cache sizes.
TEST_F(PlugStripOutput, OrderAndGroupsMatchThePlainScanAndKeepTheFaces) {
    std::vector<std::pair<std::string, Indices>> meshes = {
        {"random few vertices", RandomList(1, 200, 12)},
        {"random many vertices", RandomList(2, 600, 400)},
        {"grid", stripmesh::Grid(30, 20)},
        {"sphere 8", stripmesh::Sphere(8)},
        {"sphere 16", stripmesh::Sphere(16)},
        {"fan", stripmesh::Fan(50)},
    };
    for (const char* model : {"3DS/fels.3ds", "OBJ/spider.obj"})
        for (const Indices& m : stripmesh::LoadModel(model))
            meshes.emplace_back(model, m);
    for (const auto& [name, indices] : meshes)
        for (const std::int32_t option : {7, 16, 24, 64}) {
            SCOPED_TRACE(name + " at " + std::to_string(option));
            stripref::LineCapture quiet;
            std::vector<StripGroup> groups;
            EXPECT_EQ(stripref::CheckGroups(indices, option, true, true, true), "");
            EXPECT_EQ(stripref::CheckGroups(indices, option, false, true, false, &groups), "");
            EXPECT_EQ(stripref::CheckRenumbering(groups), "");
        }
}

TEST_F(PlugStripOutput, ConsistentlyWoundMeshesKeepEveryFaceWinding) {
    std::vector<std::pair<std::string, Indices>> meshes = {{"grid", stripmesh::Grid(12, 12)},
                                                           {"sphere", stripmesh::Sphere(16)}};
    for (const auto& [name, indices] : meshes) {
        SCOPED_TRACE(name);
        const Stripifier::RunResult run = Stripifier::Run(indices, 16, 0);
        std::vector<std::vector<Triple>> pieces;
        for (const StripRecord& piece : run.Pieces) {
            pieces.emplace_back();
            for (const StripFace* f : piece.Faces)
                pieces.back().push_back(stripref::FaceOf(*f));
        }
        EXPECT_TRUE(stripref::KeepsEveryWinding(pieces));
    }
}

TEST_F(PlugStripOutput, RenumbersInFirstUseOrder) {
    std::vector<StripGroup> renumbered;
    std::vector<std::uint16_t> table;
    ASSERT_TRUE(Stripifier::RenumberVertices(std::vector<StripGroup>{{1, {5, 3, 5, 9}}}, 10,
                                             renumbered, table));
    EXPECT_EQ(renumbered, (std::vector<StripGroup>{{1, {0, 1, 0, 2}}}));
    std::vector<std::uint16_t> expected(10, 0xFFFF);
    expected[5] = 0;
    expected[3] = 1;
    expected[9] = 2;
    EXPECT_EQ(table, expected);

    // Groups share one numbering and keep their types.
    ASSERT_TRUE(Stripifier::RenumberVertices(std::vector<StripGroup>{{1, {7, 2}}, {0, {2, 4, 7}}},
                                             8, renumbered, table));
    EXPECT_EQ(renumbered, (std::vector<StripGroup>{{1, {0, 1}}, {0, {1, 2, 0}}}));
}

TEST_F(PlugStripOutput, RenumbersAllSixteenBitVertices) {
    // 65 536 vertices, all used, from the last down: the table has every entry, and the vertex
    // given 0xFFFF keeps it when it comes again.
    StripGroup group{0, {}};
    for (std::uint32_t v = 0; v < 0x10000; ++v)
        group.Indices.push_back(std::uint16_t(0xFFFF - v));
    group.Indices.push_back(0);
    group.Indices.push_back(0xFFFF);
    std::vector<StripGroup> renumbered;
    std::vector<std::uint16_t> table;
    ASSERT_TRUE(
        Stripifier::RenumberVertices(std::vector<StripGroup>{group}, 0x10000, renumbered, table));
    ASSERT_EQ(table.size(), 0x10000u);
    EXPECT_EQ(table[0xFFFF], 0);
    EXPECT_EQ(table[0], 0xFFFF);
    EXPECT_EQ(table[1], 0xFFFE);
    ASSERT_EQ(renumbered[0].Indices.size(), group.Indices.size());
    EXPECT_EQ(renumbered[0].Indices[0xFFFF], 0xFFFF);
    EXPECT_EQ(renumbered[0].Indices[0x10000], 0xFFFF);
    EXPECT_EQ(renumbered[0].Indices[0x10001], 0);
}

TEST_F(PlugStripOutput, RenumberRefusesAnIndexPastTheVertices) {
    const std::vector<StripGroup> groups{{1, {0, 1, 2}}, {0, {2, 3, 10}}};
    std::vector<StripGroup> renumbered{{1, {42}}};
    std::vector<std::uint16_t> table{7};
    CLogWatch log;
    EXPECT_FALSE(Stripifier::RenumberVertices(groups, 10, renumbered, table));
    EXPECT_EQ(log.Since(), "Stripifier: vertex 10 of group 1 is past the 10 vertices\r\n");
    EXPECT_EQ(renumbered, (std::vector<StripGroup>{{1, {42}}}));
    EXPECT_EQ(table, std::vector<std::uint16_t>{7});
    EXPECT_FALSE(Stripifier::RenumberVertices(groups, 0, renumbered, table));
    EXPECT_TRUE(Stripifier::RenumberVertices(groups, 11, renumbered, table));
}

TEST_F(PlugStripOutput, OptionsStayUntilChanged) {
    EXPECT_EQ(Stripifier::VertexCacheSize(), 16);
    EXPECT_FALSE(Stripifier::ListOutputOnly());
    Stripifier::SetListOutputOnly(-3);
    EXPECT_TRUE(Stripifier::ListOutputOnly());
    EXPECT_EQ(Stripifier::BuildStripGroups(Indices{0, 1, 2})[0].Type, 0);
    EXPECT_EQ(Stripifier::BuildStripGroups(Indices{0, 1, 2})[0].Type, 0);
    Stripifier::SetListOutputOnly(0);
    EXPECT_EQ(Stripifier::BuildStripGroups(Indices{0, 1, 2})[0].Type, 1);
}

} // namespace
