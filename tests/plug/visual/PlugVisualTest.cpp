// The visual base through a concrete test visual: defaults and the copy rule, members, pending
// bits and the listener, texture-coordinate sets, skin, streams, the vertex operations, the
// chunks in both encodings and the refusals of damaged bodies.
#include "plug/visual/PlugVisual.h"

#include "core/nod/MwMemberPath.h"
#include "system/archive/SystemArchive.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/visual/VertexStreamSamples.h"
#include "tests/plug/visual/VisualTestNods.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr u32 kPendingBits = CPlugVisual::s_PendingLayoutBit | CPlugVisual::s_PendingIndicesBit |
                             CPlugVisual::s_PendingGeometryBit;

class PlugVisual : public CPlugNodCountFixture {
protected:
    void SetUp() override {
        CMwClassRegistry::AddClassList(g_PlugVisualTestClassList);
        CPlugNodCountFixture::SetUp();
    }
};

// Records every notification while it lives.
class CRecordingListener : public CPlugVisualListener {
public:
    CRecordingListener() { g_PlugVisualListener = this; }
    ~CRecordingListener() { g_PlugVisualListener = nullptr; }
    CRecordingListener(const CRecordingListener&) = delete;
    CRecordingListener& operator=(const CRecordingListener&) = delete;
    void OnVisualChanged(CPlugVisual* visual) override { m_Calls.push_back(visual); }

    std::vector<CPlugVisual*> m_Calls;
};

CPlugVisualTest& MakeVisual(CMwNodRef& held, u32 count) {
    held.Set(new CPlugVisualTest);
    auto& visual = static_cast<CPlugVisualTest&>(*held.Get());
    visual.m_Count = count;
    return visual;
}

// Bone-index count k with a zeroed skin block for the visual's vertices.
void GiveSkin(CPlugVisualTest& visual, u32 k) {
    visual.SetSkinIndexCount(k);
    visual.m_Skin->Allocate(visual.m_Count, kPlugSkinEntryBytes[k]);
}

// A set of `count` elements of the format whose floats count up from `first`.
TexCoordSet MakeSet(u32 format, u32 count, f32 first) {
    TexCoordSet set;
    set.m_Format = format;
    set.Allocate(count);
    auto* floats = reinterpret_cast<f32*>(set.m_Data.get());
    for (u32 i = 0; i < count * set.ElementBytes() / 4; ++i)
        floats[i] = first + f32(i);
    return set;
}

f32 Float(const TexCoordSet& set, u32 element, u32 component) {
    f32 value;
    std::memcpy(&value, set.m_Data.get() + element * set.ElementBytes() + 4 * component, 4);
    return value;
}

u32 GetMember(CMwNod& nod, const char* text, CMwParamValue* value) {
    CMwMemberPath path;
    if (path.ParseFromText(CMwNod::s_NoClassId, &nod, CClassicString(text)) != 0)
        return 99;
    return nod.GetParam(&path, value);
}

u32 GetNatural(CMwNod& nod, const char* text) {
    CMwParamValue value;
    EXPECT_EQ(GetMember(nod, text, &value), 0u) << text;
    return value.Value ? *static_cast<const u32*>(value.Value) : 0xDEAD;
}

u32 SetMember(CMwNod& nod, const char* text, const void* value) {
    CMwMemberPath path;
    if (path.ParseFromText(CMwNod::s_NoClassId, &nod, CClassicString(text)) != 0)
        return 99;
    return nod.SetParam(&path, value);
}

std::string Words(std::initializer_list<u32> words) {
    std::string out;
    for (u32 w : words)
        out.append({char(w), char(w >> 8), char(w >> 16), char(w >> 24)});
    return out;
}

std::string Floats(std::initializer_list<f32> floats) {
    std::string out;
    for (f32 f : floats)
        out.append(reinterpret_cast<const char*>(&f), 4);
    return out;
}

// A full archive round trip: saved in the encoding, loaded as a new nod.
CMwNodRef RoundTrip(CSystemEngine& engine, CMwNod& nod, bool text) {
    CClassicBufferMemory image;
    CSystemArchive saver;
    const u32 flags = kSystemArchiveSaveRelease | (text ? kSystemArchiveSaveText : 0);
    EXPECT_EQ(saver.SaveToMemory(&image, &nod, flags), 1);
    engine.ReleaseMemoryFid(&image);
    CMwNod* out = nullptr;
    EXPECT_EQ(LoadNodFromMemoryBuffer(&image, &out), 1);
    return CMwNodRef(out);
}

// Reads a body that must be refused: the damaged-stream exception and one log line naming the
// class, the chunk and the reason.
void ExpectRefused(CPlugVisual& visual, u32 chunkId, const std::string& body, const char* reason,
                   CMwNod* reference = nullptr) {
    CLogWatch log;
    try {
        ReadChunkBody(visual, chunkId, body, false, reference);
        ADD_FAILURE() << "read without failing";
    } catch (const CClassicBufferException& e) {
        EXPECT_EQ(e.m_Code, kClassicBufferErrorBadData);
    }
    const std::string text = log.Since();
    char head[64];
    std::snprintf(head, sizeof head, "CPlugVisual: chunk 0x%08X not read: ", chunkId);
    EXPECT_NE(text.find(head), std::string::npos) << text;
    EXPECT_NE(text.find(reason), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

// ---------------------------------------------------------------------------------------------
// Record, defaults, copies

TEST_F(PlugVisual, NewVisualDefaultsMembersAndChunkList) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 0);
    EXPECT_EQ(visual.m_Flags, 0x000804F0u);
    EXPECT_EQ(visual.m_BBoxHalfDiag.x, -1.0f);
    EXPECT_EQ(visual.m_BBoxHalfDiag.z, -1.0f);
    EXPECT_EQ(visual.m_BBoxCenter.y, 0.0f);
    EXPECT_EQ(visual.m_Id, CMwId(CMwId::Unassigned));
    EXPECT_EQ(visual.m_Reserved2, -1);
    EXPECT_EQ(visual.GetVisualKind(), 11u);
    EXPECT_TRUE(visual.IsKindOf(CPlugVisual::s_ClassId));
    EXPECT_TRUE(visual.IsKindOf(CPlug::s_ClassId));
    EXPECT_EQ(CPlugVisual::s_ClassInfo.m_Factory, nullptr);

    // 24 members: IdName, then the visual's by index.
    ASSERT_EQ(visual.MemberCount(), 24u);
    EXPECT_EQ(visual.MemberIdByIndex(0), 0x01001000u);
    for (u32 i = 1; i < 24; ++i)
        EXPECT_EQ(visual.MemberIdByIndex(i), 0x09006000u | (i - 1));
    const struct {
        const char* Name;
        const char* Label;
    } labels[] = {{"IsGeometryStatic", "StaticGeom"},
                  {"IsGeometryDynaPart", "DynaPartGeom"},
                  {"IsIndexationStatic", "StaticIndex"},
                  {"UseVertexNormal", "Vert.Normal"},
                  {"UseVertexColor", "Vert.Color"},
                  {"TexCoordCount", "NbTexCoord"},
                  {"SkinIndexCount", "NbSkinIndex"},
                  {"SubVisualCount", "NbSubVisual"},
                  {"SplitCount", "NbSplit"},
                  {"FCullFrontTop", "FCullFront Top"},
                  {"FCullBackCos", "FCullBack Cos"},
                  {"NPatchTessLevel", "NPatchTessLevel"},
                  {"VertexStreams", "VertexStreams"},
                  {"OptimizeInVision", "OptimizeInVision"}};
    for (const auto& l : labels) {
        CMwMemberPath path;
        ASSERT_EQ(path.ParseFromText(CMwNod::s_NoClassId, &visual, CClassicString(l.Name)), 0u)
            << l.Name;
        EXPECT_STREQ(reinterpret_cast<CMwMemberInfo*>(path.m_Values[0])->Label, l.Label);
    }
    // New-visual values through the members.
    const struct {
        const char* Name;
        u32 Value;
    } values[] = {{"IsGeometryStatic", 0}, {"IsIndexationStatic", 1}, {"UseVertexNormal", 1},
                  {"UseVertexColor", 0},   {"VertexCount", 0},        {"TexCoordCount", 0},
                  {"SkinIndexCount", 0},   {"SubVisualCount", 0},     {"SplitCount", 0},
                  {"OptimizeInVision", 0}, {"IsGeometryDynaPart", 0}};
    for (const auto& v : values)
        EXPECT_EQ(GetNatural(visual, v.Name), v.Value) << v.Name;

    // 13 chunks: the nod's, then 0x09006000 to 0x0900600B; four are read only.
    ASSERT_EQ(visual.ChunkCount(), 13u);
    EXPECT_EQ(visual.ChunkIdByIndex(0), 0x01001000u);
    for (u32 i = 1; i < 13; ++i) {
        const u32 id = 0x09006000u + i - 1;
        EXPECT_EQ(visual.ChunkIdByIndex(i), id);
        const bool readOnly =
            id == 0x09006000 || id == 0x09006002 || id == 0x09006003 || id == 0x09006008;
        EXPECT_EQ(visual.GetChunkInfo(id), readOnly ? 1u : 3u) << std::hex << id;
    }
}

TEST_F(PlugVisual, CopiesTakeTheFlagWordOnly) {
    CMwNodRef held, copyHeld;
    CPlugVisualTest& visual = MakeVisual(held, 4);
    visual.m_Flags = 0x7FFFFu & ~kPendingBits;
    visual.SetSkinIndexCount(3);
    TexCoordSet set = MakeSet(0, 4, 0);
    visual.AddTexCoordSet(set);
    visual.m_BBoxHalfDiag = {1, 2, 3};
    visual.m_Splits.resize(2);
    visual.m_SubVisuals.resize(1);
    copyHeld.Set(visual.Clone());
    auto& copy = static_cast<CPlugVisualTest&>(*copyHeld.Get());
    // Bits 0-2, 17 and 18 cleared; 4, 6, 10 and 19 set.
    EXPECT_EQ(copy.m_Flags, (visual.m_Flags & ~0x60007u) | 0x80450u);
    EXPECT_EQ(copy.GetTexCoordSetCount(), 0u);
    EXPECT_EQ(copy.m_Skin, nullptr);
    EXPECT_TRUE(copy.m_Splits.empty());
    EXPECT_TRUE(copy.m_SubVisuals.empty());
    EXPECT_EQ(copy.m_BBoxHalfDiag.x, -1.0f);
}

// ---------------------------------------------------------------------------------------------
// Members, pending bits, listener

// Each writable Bool, written with its value and with the other: only a change raises its
// pending bit, and the listener hears of a bit once per change from 0 to 1.
TEST_F(PlugVisual, BoolMemberWritesRaiseOnlyOnChange) {
    const struct {
        const char* Name;
        u32 Bit;
        u32 Raised;
    } members[] = {{"IsGeometryStatic", 3, CPlugVisual::s_PendingGeometryBit},
                   {"IsIndexationStatic", 5, CPlugVisual::s_PendingGeometryBit},
                   {"OptimizeInVision", 17, CPlugVisual::s_PendingGeometryBit},
                   {"UseVertexNormal", 7, CPlugVisual::s_PendingLayoutBit},
                   {"UseVertexColor", 8, CPlugVisual::s_PendingLayoutBit}};
    for (const auto& m : members) {
        SCOPED_TRACE(m.Name);
        CMwNodRef held;
        CPlugVisualTest& visual = MakeVisual(held, 0);
        CRecordingListener listener;
        visual.m_Flags &= ~kPendingBits;
        const u32 current = (visual.m_Flags >> m.Bit) & 1;
        EXPECT_EQ(SetMember(visual, m.Name, &current), 0u);
        EXPECT_EQ(visual.m_Flags & kPendingBits, 0u);
        EXPECT_TRUE(listener.m_Calls.empty());
        const u32 other = current ^ 1;
        EXPECT_EQ(SetMember(visual, m.Name, &other), 0u);
        EXPECT_EQ((visual.m_Flags >> m.Bit) & 1, other);
        EXPECT_EQ(visual.m_Flags & kPendingBits, m.Raised);
        EXPECT_EQ(GetNatural(visual, m.Name), other);
        // Back again: the bit is already pending, no second notification.
        EXPECT_EQ(SetMember(visual, m.Name, &current), 0u);
        ASSERT_EQ(listener.m_Calls.size(), 1u);
        EXPECT_EQ(listener.m_Calls[0], &visual);
    }
    // The read-only flag members refuse writes.
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 0);
    const u32 one = 1;
    EXPECT_NE(SetMember(visual, "IsGeometryDynaPart", &one), 0u);
    EXPECT_NE(SetMember(visual, "SkinIndexCount", &one), 0u);
    EXPECT_EQ(visual.m_Flags, CPlugVisual::s_DefaultFlags);
}

TEST_F(PlugVisual, PendingBitsNotifyOncePerRiseAndNeverForANewVisual) {
    CMwNodRef held;
    CRecordingListener listener;
    CPlugVisualTest& visual = MakeVisual(held, 3);
    // A new visual's bits are all set: nothing it does notifies.
    visual.SetGeometryDirty(true);
    visual.SetUseVertexColor(true);
    TexCoordSet set = MakeSet(0, 3, 0);
    visual.AddTexCoordSet(set);
    EXPECT_TRUE(listener.m_Calls.empty());
    for (u32 bit : {CPlugVisual::s_PendingLayoutBit, CPlugVisual::s_PendingIndicesBit,
                    CPlugVisual::s_PendingGeometryBit}) {
        visual.m_Flags &= ~bit;
        visual.RaisePending(bit);
        visual.RaisePending(bit);
        EXPECT_NE(visual.m_Flags & bit, 0u);
    }
    EXPECT_EQ(listener.m_Calls.size(), 3u);
    // The geometry-dirty setter clears without notifying and notifies on the way up.
    visual.SetGeometryDirty(false);
    EXPECT_EQ(visual.m_Flags & CPlugVisual::s_PendingGeometryBit, 0u);
    EXPECT_EQ(listener.m_Calls.size(), 3u);
    visual.SetGeometryDirty(true);
    EXPECT_EQ(listener.m_Calls.size(), 4u);
    // The destructor clears the sets, which notifies while the visual is still whole.
    visual.m_Flags &= ~kPendingBits;
    CPlugVisual* address = &visual;
    held.Set(nullptr);
    ASSERT_EQ(listener.m_Calls.size(), 5u);
    EXPECT_EQ(listener.m_Calls.back(), address);
}

TEST_F(PlugVisual, NPatchTessLevelChangesFromOneHundredThousandth) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 0);
    CRecordingListener listener;
    visual.m_Flags &= ~kPendingBits;
    const f32 tiny = 0.000005f, half = 0.5f;
    EXPECT_EQ(SetMember(visual, "NPatchTessLevel", &tiny), 0u);
    EXPECT_EQ(visual.m_NPatchTessLevel, 0.0f);
    EXPECT_EQ(visual.m_Flags & kPendingBits, 0u);
    EXPECT_EQ(SetMember(visual, "NPatchTessLevel", &half), 0u);
    EXPECT_EQ(visual.m_NPatchTessLevel, 0.5f);
    EXPECT_EQ(visual.m_Flags & kPendingBits, CPlugVisual::s_PendingGeometryBit);
    CMwParamValue value;
    ASSERT_EQ(GetMember(visual, "NPatchTessLevel", &value), 0u);
    EXPECT_EQ(*static_cast<const f32*>(value.Value), 0.5f);
    EXPECT_EQ(listener.m_Calls.size(), 1u);
}

// Face-cull members answer 2 without a record; a Vec3 component by index, -1 its length. The
// function member sets through SetFuncVisual, and longer paths go into the function nod.
TEST_F(PlugVisual, FaceCullAndFunctionMembers) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 0);
    CMwParamValue value;
    for (const char* name : {"FCullFrontTop", "FCullFrontDir", "FCullFrontCos", "FCullBackTop",
                             "FCullBackDir", "FCullBackCos"})
        EXPECT_EQ(GetMember(visual, name, &value), 2u) << name;
    visual.m_FaceCull = std::make_unique<PlugFaceCull>();
    visual.m_FaceCull->m_FrontTop = {3, 4, 12};
    visual.m_FaceCull->m_BackDir = {0, 1, 0};
    visual.m_FaceCull->m_BackCos = 0.25f;
    const struct {
        const char* Path;
        f32 Value;
    } reads[] = {{"FCullFrontTop.x", 3},
                 {"FCullFrontTop.z", 12},
                 {"FCullFrontTop.length", 13},
                 {"FCullBackDir.y", 1},
                 {"FCullBackCos", 0.25f}};
    for (const auto& r : reads) {
        ASSERT_EQ(GetMember(visual, r.Path, &value), 0u) << r.Path;
        EXPECT_EQ(*static_cast<const f32*>(value.Value), r.Value) << r.Path;
    }
    ASSERT_EQ(GetMember(visual, "BBoxHalfDiag.y", &value), 0u);
    EXPECT_EQ(*static_cast<const f32*>(value.Value), -1.0f);

    // Without a function, a longer path answers 2.
    const u32 one = 1;
    const CClassicString name("Fn");
    EXPECT_EQ(SetMember(visual, "FuncVisual.IdName", &name), 2u);
    EXPECT_EQ(GetMember(visual, "FuncVisual.IdName", &value), 2u);
    ASSERT_EQ(GetMember(visual, "FuncVisual", &value), 0u);
    EXPECT_EQ(value.Value, nullptr);
    // A function nod (any nod stands for one here) gets the longer paths.
    CMwNodRef funcHeld;
    CPlugVisualTest& func = MakeVisual(funcHeld, 0);
    EXPECT_EQ(SetMember(visual, "FuncVisual", &func), 0u);
    EXPECT_EQ(visual.GetFuncVisual(), &func);
    EXPECT_EQ(func.GetRefCount(), 2);
    EXPECT_EQ(SetMember(visual, "FuncVisual.IsGeometryStatic", &one), 0u);
    EXPECT_TRUE(func.IsGeometryStatic());
    EXPECT_FALSE(visual.IsGeometryStatic());
    EXPECT_EQ(SetMember(visual, "FuncVisual", nullptr), 0u);
    EXPECT_EQ(visual.m_FuncVisual, nullptr);
    EXPECT_EQ(func.GetRefCount(), 1);
    // Inverse does nothing.
    const u32 flags = visual.m_Flags;
    EXPECT_EQ(SetMember(visual, "Inverse", &one), 0u);
    EXPECT_EQ(visual.m_Flags, flags);
}

// ---------------------------------------------------------------------------------------------
// Sets, skin, streams

TEST_F(PlugVisual, SkinIndexCounts) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 3);
    CRecordingListener listener;
    visual.m_Flags &= ~kPendingBits;
    const struct {
        u32 Count;
        u32 Stored;
        bool Record;
        u32 EntryBytes;
    } cases[] = {{1, 1, true, 1}, {2, 2, true, 8},  {3, 3, true, 12}, {4, 4, true, 16},
                 {5, 5, true, 4}, {6, 5, true, 4},  {7, 5, true, 4},  {0, 0, false, 0},
                 {9, 1, true, 1}, {8, 0, false, 0}, {6, 0, false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Count);
        visual.SetSkinIndexCount(c.Count);
        EXPECT_EQ(visual.GetSkinIndexCount(), c.Stored);
        EXPECT_EQ(GetNatural(visual, "SkinIndexCount"), c.Stored);
        ASSERT_EQ(visual.m_Skin != nullptr, c.Record);
        if (c.Record) {
            EXPECT_EQ(visual.m_Skin->m_EntryBytes, c.EntryBytes);
            EXPECT_EQ(visual.m_Skin->m_Count, 0u);
            EXPECT_TRUE(visual.m_Skin->m_Bones.empty());
        }
    }
    EXPECT_EQ(visual.m_Flags & kPendingBits, 0u);
    EXPECT_TRUE(listener.m_Calls.empty());
}

TEST_F(PlugVisual, TexCoordSetAdders) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 4);
    TexCoordSet empty;
    EXPECT_EQ(visual.AddTexCoordSet(empty), -1);
    TexCoordSet first = MakeSet(1, 4, 0);
    u8* block = first.m_Data.get();
    EXPECT_EQ(visual.AddTexCoordSet(first), 0);
    EXPECT_EQ(first.m_Data, nullptr);
    EXPECT_EQ(visual.m_TexCoordSets[0].m_Data.get(), block);
    EXPECT_EQ(visual.m_TexCoordSets[0].m_Format, 1u);
    // A record holding the visual's own block gives it up and adds nothing.
    TexCoordSet again;
    again.m_Data.reset(block);
    EXPECT_EQ(visual.AddTexCoordSet(again), 0);
    EXPECT_EQ(again.m_Data, nullptr);
    EXPECT_EQ(visual.GetTexCoordSetCount(), 1u);
    for (i32 i = 1; i < 8; ++i) {
        TexCoordSet set = MakeSet(u32(i) % 3, 4, 0);
        EXPECT_EQ(visual.AddTexCoordSet(set), i);
    }
    // The ninth set is refused by both adders; the caller keeps its block.
    TexCoordSet ninth = MakeSet(0, 4, 0);
    EXPECT_EQ(visual.AddTexCoordSet(ninth), -1);
    EXPECT_NE(ninth.m_Data, nullptr);
    EXPECT_EQ(visual.AddDefaultTexCoordSet(1, 1, 0, 0, 0), -1);
    EXPECT_EQ(GetNatural(visual, "TexCoordCount"), 8u);
    visual.ClearTexCoordSets();
    EXPECT_EQ(visual.GetTexCoordSetCount(), 0u);
}

TEST_F(PlugVisual, DefaultTexCoords) {
    const struct {
        u32 Count;
        f32 ScaleU, ScaleV, OffsetU, OffsetV;
        u32 Element;
        f32 U, V;
    } cases[] = {
        {9, 1, 1, 0.5f, 0.5f, 8, 4, 1},         // offsets alone change nothing; d = 2
        {9, 1, 1, 0, 0, 3, 1.5f, 0.375f},       // element 3 = (3 / 2, 3 / 8)
        {9, 2, 1, 0.5f, 0.25f, 8, 8.5f, 1.25f}, // a scale applies both offsets
        {9, 1.000001f, 1, 0.5f, 0.5f, 8, 4, 1}, // below 0.00001 from 1: unchanged
        {1, 1, 1, 0, 0, 0, 0, 0},               // one vertex: (0, 0)
        {16, 1, 1, 0, 0, 15, 5, 1},             // d = 3
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Count);
        CMwNodRef held;
        CPlugVisualTest& visual = MakeVisual(held, c.Count);
        ASSERT_EQ(visual.AddDefaultTexCoordSet(c.ScaleU, c.ScaleV, 7, c.OffsetU, c.OffsetV), 0);
        const TexCoordSet& set = visual.m_TexCoordSets[0];
        EXPECT_EQ(set.m_Format, 0u);
        ASSERT_EQ(set.m_Count, c.Count);
        EXPECT_FLOAT_EQ(Float(set, c.Element, 0), c.U);
        EXPECT_FLOAT_EQ(Float(set, c.Element, 1), c.V);
    }
    // With a first set of the same format, the new set is its copy; of another format, pairs
    // 8 bytes apart from the start of the block, the rest zero.
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 4);
    TexCoordSet first = MakeSet(0, 4, 10);
    visual.AddTexCoordSet(first);
    ASSERT_EQ(visual.AddDefaultTexCoordSet(1, 1, 0, 0, 0), 1);
    EXPECT_EQ(std::memcmp(visual.m_TexCoordSets[0].m_Data.get(),
                          visual.m_TexCoordSets[1].m_Data.get(), 32),
              0);
    TexCoordSet wide;
    wide.m_Format = 2;
    visual.MakeDefaultTexCoords(wide, 0);
    ASSERT_EQ(wide.m_Count, 4u);
    const auto* floats = reinterpret_cast<const f32*>(wide.m_Data.get());
    const f32 expected[16] = {0, 0, 1, 1.0f / 3, 2, 2.0f / 3, 3, 1};
    for (u32 i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(floats[i], expected[i]) << i;
}

TEST_F(PlugVisual, StreamsOrderSkipVisionLast) {
    CMwNodRef held, a(new CPlugVertexStream), b(new CPlugVertexStream), skip(new CPlugVertexStream),
        empty(new CPlugVertexStream);
    CPlugVisualTest& visual = MakeVisual(held, 3);
    auto* sa = static_cast<CPlugVertexStream*>(a.Get());
    auto* sb = static_cast<CPlugVertexStream*>(b.Get());
    auto* ss = static_cast<CPlugVertexStream*>(skip.Get());
    ss->m_Flags |= 0x8;
    MakeInterleavedStream(*sb, 3);
    EXPECT_FALSE(visual.HasGeometry());
    visual.AddVertexStream(nullptr);
    visual.AddVertexStream(ss);
    visual.AddVertexStream(sa);
    visual.AddVertexStream(sb);
    ASSERT_EQ(visual.m_VertexStreams.m_Count, 3u);
    EXPECT_EQ(visual.m_VertexStreams[0], sa);
    EXPECT_EQ(visual.m_VertexStreams[1], sb);
    EXPECT_EQ(visual.m_VertexStreams[2], ss);
    EXPECT_EQ(sa->GetRefCount(), 2);
    // The first stream has no vertex; the interleaved records come from the second.
    EXPECT_FALSE(visual.HasGeometry());
    EXPECT_EQ(visual.GetInterleavedVertices(true, true, false), &sb->m_VertexBuffer);
    CMwParamValue value;
    ASSERT_EQ(GetMember(visual, "VertexStreams.2", &value), 0u);
    EXPECT_EQ(value.Value, ss);
    MakeInterleavedStream(*sa, 2);
    EXPECT_TRUE(visual.HasGeometry());
}

// ---------------------------------------------------------------------------------------------
// Vertex operations

TEST_F(PlugVisual, SetVertexCountKeepsZeroesAndRaises) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 3);
    TexCoordSet set = MakeSet(1, 3, 1);
    visual.AddTexCoordSet(set);
    visual.SetSkinIndexCount(2);
    visual.SetVertexCount(3);
    EXPECT_EQ(visual.m_Skin->m_Count, 0u) << "the same count does nothing";
    CRecordingListener listener;
    visual.m_Flags = (visual.m_Flags & ~kPendingBits) | CPlugVisual::s_GeometryStaticBit;
    visual.SetVertexCount(3);
    EXPECT_EQ(visual.m_Flags & kPendingBits, 0u);
    visual.SetVertexCount(5);
    EXPECT_EQ(visual.m_Flags & kPendingBits, CPlugVisual::s_PendingLayoutBit);
    const TexCoordSet& grown = visual.m_TexCoordSets[0];
    ASSERT_EQ(grown.m_Count, 5u);
    EXPECT_EQ(Float(grown, 2, 2), 9.0f);
    EXPECT_EQ(Float(grown, 3, 0), 0.0f);
    EXPECT_EQ(Float(grown, 4, 2), 0.0f);
    ASSERT_EQ(visual.m_Skin->m_Count, 5u);
    for (u32 i = 0; i < 5 * 8; ++i)
        EXPECT_EQ(visual.m_Skin->m_Data[i], 0);
    visual.m_Skin->m_Data[8] = 7;
    visual.SetVertexCount(2);
    EXPECT_EQ(visual.m_TexCoordSets[0].m_Count, 2u);
    EXPECT_EQ(Float(visual.m_TexCoordSets[0], 1, 2), 6.0f);
    EXPECT_EQ(visual.m_Skin->m_Data[8], 7);
    EXPECT_EQ(listener.m_Calls.size(), 1u);
}

// Remap targets 0xFFFF and past the count are skipped; records nobody names are zero. The flag
// word, the skin entries, the bones and the box come from the source.
TEST_F(PlugVisual, CopyVertexAttributesWithRemap) {
    CMwNodRef sourceHeld, targetHeld;
    CPlugVisualTest& source = MakeVisual(sourceHeld, 4);
    CPlugVisualTest& target = MakeVisual(targetHeld, 4);
    TexCoordSet a = MakeSet(0, 4, 1), b = MakeSet(2, 4, 100);
    source.AddTexCoordSet(a);
    source.AddTexCoordSet(b);
    GiveSkin(source, 1);
    for (u32 i = 0; i < 4; ++i)
        source.m_Skin->m_Data[i] = u8(10 + i);
    source.m_Skin->m_Bones.resize(2);
    source.m_Skin->m_Bones[1].t = {1, 2, 3};
    source.m_BBoxCenter = {5, 6, 7};
    source.m_Flags |= CPlugVisual::s_VertexColorBit;
    TexCoordSet old = MakeSet(1, 4, 0);
    target.AddTexCoordSet(old);

    const u16 remap[4] = {2, 0xFFFF, 0, 9};
    target.CopyVertexAttributesFrom(&source, remap);
    EXPECT_EQ(target.m_Flags, source.m_Flags);
    ASSERT_EQ(target.GetTexCoordSetCount(), 2u);
    const TexCoordSet& first = target.m_TexCoordSets[0];
    EXPECT_EQ(first.m_Format, 0u);
    EXPECT_EQ(Float(first, 2, 0), 1.0f); // source 0
    EXPECT_EQ(Float(first, 0, 1), 6.0f); // source 2
    EXPECT_EQ(Float(first, 1, 0), 0.0f); // nobody's
    EXPECT_EQ(Float(first, 3, 1), 0.0f); // source 3's target is past the count
    EXPECT_EQ(Float(target.m_TexCoordSets[1], 2, 3), 103.0f);
    ASSERT_NE(target.m_Skin, nullptr);
    const u8 skin[4] = {12, 0, 10, 0};
    EXPECT_EQ(std::memcmp(target.m_Skin->m_Data.get(), skin, 4), 0);
    ASSERT_EQ(target.m_Skin->m_Bones.size(), 2u);
    EXPECT_EQ(target.m_Skin->m_Bones[1].t.z, 3.0f);
    EXPECT_EQ(target.m_BBoxCenter.y, 6.0f);

    // Without remap: straight copies.
    CMwNodRef plainHeld;
    CPlugVisualTest& plain = MakeVisual(plainHeld, 4);
    plain.CopyVertexAttributesFrom(&source, nullptr);
    EXPECT_EQ(Float(plain.m_TexCoordSets[0], 3, 1), 8.0f);
    EXPECT_EQ(plain.m_Skin->m_Data[3], 13);
}

// A table that drops and repeats vertices; a source past the old count gives zeros.
TEST_F(PlugVisual, ReorderVerticesDropsRepeatsAndZeroes) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 3);
    TexCoordSet set = MakeSet(0, 3, 0);
    visual.AddTexCoordSet(set);
    GiveSkin(visual, 5);
    visual.m_Skin->m_Data[4] = 44;
    CRecordingListener listener;
    visual.m_Flags &= ~kPendingBits;
    const PlugVertexReorder table[4] = {{1, 0}, {1, 0}, {0, 0}, {70000, 0}};
    visual.ReorderVertices(4, table);
    const TexCoordSet& out = visual.m_TexCoordSets[0];
    ASSERT_EQ(out.m_Count, 4u);
    const f32 expected[8] = {2, 3, 2, 3, 0, 1, 0, 0};
    for (u32 i = 0; i < 8; ++i)
        EXPECT_EQ(Float(out, i / 2, i % 2), expected[i]) << i;
    ASSERT_EQ(visual.m_Skin->m_Count, 4u);
    EXPECT_EQ(visual.m_Skin->m_Data[0], 44);
    EXPECT_EQ(visual.m_Skin->m_Data[4], 44);
    EXPECT_EQ(visual.m_Skin->m_Data[8], 0);
    // Layout and, indexation being static, indices.
    EXPECT_EQ(visual.m_Flags & kPendingBits,
              CPlugVisual::s_PendingLayoutBit | CPlugVisual::s_PendingIndicesBit);
    EXPECT_EQ(listener.m_Calls.size(), 2u);
}

TEST_F(PlugVisual, TransformAffineMovesBoneTranslations) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 0);
    visual.TransformAffine(Iso4()); // no skin: nothing
    visual.SetSkinIndexCount(1);
    visual.m_Skin->m_Bones.resize(1);
    visual.m_Skin->m_Bones[0].t = {1, 2, 3};
    Iso4 m;
    m.SetScale({2, 3, 4}, {100, 100, 100});
    visual.TransformAffine(m);
    EXPECT_EQ(visual.m_Skin->m_Bones[0].t.x, 2.0f);
    EXPECT_EQ(visual.m_Skin->m_Bones[0].t.y, 6.0f);
    EXPECT_EQ(visual.m_Skin->m_Bones[0].t.z, 12.0f);
}

// The copy shares the first two streams and the box; the source keeps all three.
TEST_F(PlugVisual, DuplicateSharesTheFirstStreams) {
    CMwNodRef held, s0(new CPlugVertexStream), s1(new CPlugVertexStream), s2(new CPlugVertexStream);
    CPlugVisualTest& visual = MakeVisual(held, 3);
    for (CMwNodRef* s : {&s0, &s1, &s2}) {
        MakeInterleavedStream(static_cast<CPlugVertexStream&>(*s->Get()), 3);
        visual.AddVertexStream(static_cast<CPlugVertexStream*>(s->Get()));
    }
    TexCoordSet set = MakeSet(0, 3, 5);
    visual.AddTexCoordSet(set);
    visual.m_BBoxCenter = {1, 2, 3};
    visual.m_BBoxHalfDiag = {4, 5, 6};
    const CMwNodRef copyHeld(visual.Duplicate(2));
    ASSERT_NE(copyHeld.Get(), nullptr);
    auto& copy = static_cast<CPlugVisualTest&>(*copyHeld.Get());
    ASSERT_NE(&copy, &visual);
    EXPECT_EQ(copy.m_Count, 3u);
    ASSERT_EQ(copy.m_VertexStreams.m_Count, 2u);
    EXPECT_EQ(copy.m_VertexStreams[0], s0.Get());
    EXPECT_EQ(copy.m_VertexStreams[1], s1.Get());
    EXPECT_EQ(visual.m_VertexStreams.m_Count, 3u);
    EXPECT_EQ(s2->GetRefCount(), 2);
    EXPECT_EQ(copy.m_BBoxHalfDiag.z, 6.0f);
    ASSERT_EQ(copy.GetTexCoordSetCount(), 1u);
    EXPECT_EQ(Float(copy.m_TexCoordSets[0], 2, 1), 10.0f);
    // A visual that does not save (its function nod has no archive form) gives null and keeps
    // its streams.
    CMwNodRef func(new CPlugVertexStream);
    visual.SetFuncVisual(func.Get());
    CLogWatch log;
    EXPECT_EQ(visual.Duplicate(3), nullptr);
    EXPECT_EQ(visual.m_VertexStreams.m_Count, 3u);
    EXPECT_EQ(visual.m_VertexStreams[2], s2.Get());
}

// ---------------------------------------------------------------------------------------------
// Chunks

// The geometry chunk of 3 vertices, one format-0 set, K = 2, no stream and one bone: 132 bytes.
TEST_F(PlugVisual, GeometryChunkBytes) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 3);
    TexCoordSet set = MakeSet(0, 3, 0.5f);
    visual.AddTexCoordSet(set);
    GiveSkin(visual, 2);
    for (u32 i = 0; i < 24; ++i)
        visual.m_Skin->m_Data[i] = u8(i);
    visual.m_Skin->m_Bones.resize(1);
    visual.m_Skin->m_Bones[0].SetIdentity();
    visual.m_Skin->m_Bones[0].t = {7, 8, 9};
    visual.SetUseVertexColor(true);
    std::string skin;
    for (u32 i = 0; i < 24; ++i)
        skin += char(i);
    const std::string expected = Words({0, 1, 1, 2, 3, 0, 0}) +
                                 Floats({0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f}) + skin +
                                 Words({1, 1}) + Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 7, 8, 9});
    const std::string body = WriteChunkBody(visual, CPlugVisual::s_GeometryChunk);
    ASSERT_EQ(body.size(), 132u);
    EXPECT_EQ(body, expected);

    // Read into a fresh visual, it writes the same bytes.
    CMwNodRef backHeld;
    CPlugVisualTest& back = MakeVisual(backHeld, 0);
    ReadChunkBody(back, CPlugVisual::s_GeometryChunk, body);
    EXPECT_EQ(back.m_Count, 3u);
    EXPECT_TRUE(back.UseVertexColor());
    EXPECT_EQ(back.GetSkinIndexCount(), 2u);
    EXPECT_EQ(WriteChunkBody(back, CPlugVisual::s_GeometryChunk), expected);

    // Text: values on lines, blocks as raw bytes.
    const std::string text = WriteChunkBody(visual, CPlugVisual::s_GeometryChunk, true);
    EXPECT_EQ(text.substr(0, 19), "False\r\nTrue\r\n1\r\n2\r\n");
    EXPECT_NE(text.find(skin), std::string::npos);
    CMwNodRef textHeld;
    CPlugVisualTest& fromText = MakeVisual(textHeld, 0);
    ReadChunkBody(fromText, CPlugVisual::s_GeometryChunk, text, true);
    EXPECT_EQ(WriteChunkBody(fromText, CPlugVisual::s_GeometryChunk), expected);
}

// The older geometry chunks: 0x09006003 without streams and format words, 0x09006008 without
// streams. A change of the two static bools raises pending geometry.
TEST_F(PlugVisual, OlderGeometryChunks) {
    const std::string old = Words({1, 0, 1, 0, 2}) + Floats({1, 2, 3, 4}) + Words({0, 0});
    const std::string older =
        Words({1, 0, 1, 0, 2, 1}) + Floats({1, 2, 3, 4, 5, 6}) + Words({1, 0});
    for (u32 chunk : {CPlugVisual::s_OldGeometryChunk, CPlugVisual::s_OlderGeometryChunk}) {
        SCOPED_TRACE(chunk);
        CMwNodRef held;
        CPlugVisualTest& visual = MakeVisual(held, 0);
        CRecordingListener listener;
        visual.m_Flags &= ~kPendingBits;
        ReadChunkBody(visual, chunk, chunk == CPlugVisual::s_OldGeometryChunk ? old : older);
        EXPECT_EQ(visual.m_Count, 2u);
        EXPECT_TRUE(visual.IsGeometryStatic());
        EXPECT_FALSE(visual.IsIndexationStatic());
        ASSERT_EQ(visual.GetTexCoordSetCount(), 1u);
        const TexCoordSet& set = visual.m_TexCoordSets[0];
        EXPECT_EQ(set.m_Format, chunk == CPlugVisual::s_OldGeometryChunk ? 0u : 1u);
        EXPECT_EQ(Float(set, 1, 1), chunk == CPlugVisual::s_OldGeometryChunk ? 4.0f : 5.0f);
        EXPECT_NE(visual.m_Flags & CPlugVisual::s_PendingGeometryBit, 0u);
        EXPECT_EQ(listener.m_Calls.size(), 2u); // geometry, then the layout of a static resize
    }
}

// With K = 0 the stored bones are read and dropped; a K that changes while N stays gets a block
// of the new entry size before its bytes are read.
TEST_F(PlugVisual, SkinChangesAndDroppedBones) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 0);
    std::string bone(48, '\x01');
    ReadChunkBody(visual, CPlugVisual::s_GeometryChunk,
                  Words({0, 1, 0, 0, 2, 0, 0, 2}) + bone + bone);
    EXPECT_EQ(visual.m_Count, 2u);
    EXPECT_EQ(visual.m_Skin, nullptr);
    EXPECT_EQ(WriteChunkBody(visual, CPlugVisual::s_GeometryChunk),
              Words({0, 1, 0, 0, 2, 0, 0, 0}));

    ReadChunkBody(visual, CPlugVisual::s_GeometryChunk,
                  Words({0, 1, 0, 1, 2, 0}) + "\x05\x06" + Words({0, 0}));
    ASSERT_NE(visual.m_Skin, nullptr);
    EXPECT_EQ(visual.m_Skin->m_EntryBytes, 1u);
    std::string wide(2 * 16, '\0');
    for (u32 i = 0; i < wide.size(); ++i)
        wide[i] = char(i + 1);
    ReadChunkBody(visual, CPlugVisual::s_GeometryChunk,
                  Words({0, 1, 0, 4, 2, 0}) + wide + Words({0, 1}) + bone);
    ASSERT_EQ(visual.m_Skin->m_EntryBytes, 16u);
    ASSERT_EQ(visual.m_Skin->m_Count, 2u);
    EXPECT_EQ(visual.m_Skin->m_Data[31], 32);
    EXPECT_EQ(visual.m_Skin->m_Bones.size(), 1u);
}

// A function source of the visual's own class gives its attributes before the geometry is
// written; a source of another class gives nothing.
TEST_F(PlugVisual, FunctionSourceGivesItsAttributesBeforeWriting) {
    CMwNodRef held, sourceHeld, func(new CPlugVertexStream);
    CPlugVisualTest& visual = MakeVisual(held, 2);
    CPlugVisualTest& source = MakeVisual(sourceHeld, 2);
    FillSampleVisual(source, 2, 1, 0, 0, 0);
    visual.SetFuncVisual(func.Get());
    source.AddRef();
    visual.m_FuncVisual->m_Source = &source;
    const std::string body = WriteChunkBody(visual, CPlugVisual::s_GeometryChunk);
    ASSERT_EQ(visual.GetTexCoordSetCount(), 1u);
    EXPECT_EQ(body, WriteChunkBody(source, CPlugVisual::s_GeometryChunk));
    visual.SetFuncVisual(nullptr);
    EXPECT_EQ(source.GetRefCount(), 1);
}

// A body without sets may name any vertex count: the sets of an earlier body are dropped
// before the count changes, never grown to it.
TEST_F(PlugVisual, VertexCountWithoutSetsGrowsNoOldSet) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 0);
    FillSampleVisual(visual, 2, 8, 2, 0, 0);
    ReadChunkBody(visual, CPlugVisual::s_GeometryChunk, Words({0, 1, 0, 0, 0x40000000, 0, 0, 0}));
    EXPECT_EQ(visual.m_Count, 0x40000000u);
    EXPECT_EQ(visual.GetTexCoordSetCount(), 0u);
}

// Sets shorter than the vertex count (a sprite's sets hold 4 elements) are written with zeros
// after their elements; the chunk keeps N elements per set.
TEST_F(PlugVisual, ShortSetsWriteZeros) {
    CMwNodRef held;
    CPlugVisualTest& visual = MakeVisual(held, 6);
    TexCoordSet set = MakeSet(0, 4, 1);
    visual.AddTexCoordSet(set);
    const std::string body = WriteChunkBody(visual, CPlugVisual::s_GeometryChunk);
    EXPECT_EQ(body, Words({0, 1, 1, 0, 6, 0, 0}) + Floats({1, 2, 3, 4, 5, 6, 7, 8}) +
                        std::string(16, '\0') + Words({0, 0}));
}

// Sub-visuals, splits, the skin flag, normals, the tessellation level and the identifier, saved
// and loaded whole in both encodings, with streams and sets of every format.
TEST_F(PlugVisual, ArchiveRoundTrips) {
    CMwNodRef held, s0(new CPlugVertexStream), s1(new CPlugVertexStream);
    CPlugVisualTest& visual = MakeVisual(held, 5);
    for (u32 format = 0; format < 3; ++format) {
        TexCoordSet set = MakeSet(format, 5, f32(format * 100));
        visual.AddTexCoordSet(set);
    }
    GiveSkin(visual, 3);
    for (u32 i = 0; i < 5 * 12; ++i)
        visual.m_Skin->m_Data[i] = u8(3 * i);
    visual.m_Skin->m_Flag = 1;
    visual.m_Skin->m_Bones.resize(2);
    visual.m_Skin->m_Bones[1].t = {4, 5, 6};
    visual.m_SubVisuals = {{0, 0, 3}, {2, 3, 6}};
    PlugVisualSplit split;
    split.m_First = 7;
    split.m_Count = 8;
    split.m_RuntimeA = 99;
    split.m_Box[5] = 2.5f;
    visual.m_Splits = {split, PlugVisualSplit()};
    visual.SetUseVertexNormal(false);
    visual.m_NPatchTessLevel = 1.5f;
    visual.m_Id.SetFromName("Body");
    MakeInterleavedStream(static_cast<CPlugVertexStream&>(*s0.Get()), 5);
    static_cast<CPlugVertexStream&>(*s1.Get()).m_Flags |= 0x8;
    visual.AddVertexStream(static_cast<CPlugVertexStream*>(s1.Get()));
    visual.AddVertexStream(static_cast<CPlugVertexStream*>(s0.Get()));
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const CMwNodRef loaded = RoundTrip(Engine(), visual, text);
        ASSERT_NE(loaded.Get(), nullptr);
        auto& back = static_cast<CPlugVisualTest&>(*loaded.Get());
        EXPECT_EQ(back.m_Count, 5u);
        ASSERT_EQ(back.GetTexCoordSetCount(), 3u);
        for (u32 format = 0; format < 3; ++format) {
            const TexCoordSet& set = back.m_TexCoordSets[format];
            EXPECT_EQ(set.m_Format, format);
            EXPECT_EQ(std::memcmp(set.m_Data.get(), visual.m_TexCoordSets[format].m_Data.get(),
                                  5 * set.ElementBytes()),
                      0);
        }
        ASSERT_NE(back.m_Skin, nullptr);
        EXPECT_EQ(std::memcmp(back.m_Skin->m_Data.get(), visual.m_Skin->m_Data.get(), 60), 0);
        EXPECT_EQ(back.m_Skin->m_Flag, 1u);
        ASSERT_EQ(back.m_Skin->m_Bones.size(), 2u);
        EXPECT_EQ(back.m_Skin->m_Bones[1].t.y, 5.0f);
        ASSERT_EQ(back.m_SubVisuals.size(), 2u);
        EXPECT_EQ(back.m_SubVisuals[1].m_IndexCount, 6u);
        ASSERT_EQ(back.m_Splits.size(), 2u);
        EXPECT_EQ(back.m_Splits[0].m_First, 7u);
        EXPECT_EQ(back.m_Splits[0].m_Count, 8u);
        EXPECT_EQ(back.m_Splits[0].m_RuntimeA, 0u);
        EXPECT_EQ(back.m_Splits[0].m_Box[5], 2.5f);
        EXPECT_FALSE(back.UseVertexNormal());
        EXPECT_EQ(back.m_NPatchTessLevel, 1.5f);
        EXPECT_STREQ(back.m_Id.GetChars(), "Body");
        ASSERT_EQ(back.m_VertexStreams.m_Count, 2u);
        EXPECT_EQ(back.GetVertexStream(0)->GetVertexCount(), 5u);
        EXPECT_TRUE(back.GetVertexStream(1)->SkipVision());
        EXPECT_EQ(back.m_FuncVisual, nullptr);
        // Saved again, the copy writes what the original wrote.
        u32 equal = 0;
        CompareNods(&visual, &back, &equal);
        EXPECT_EQ(equal, 1u);
    }
}

// Damaged bodies are refused before anything is allocated by their counts.
TEST_F(PlugVisual, DamagedBodiesAreRefused) {
    const u32 g = CPlugVisual::s_GeometryChunk;
    const std::string bone(48, '\0');
    const struct {
        u32 Chunk;
        std::string Body;
        const char* Reason;
        bool Reference;
    } cases[] = {
        {g, Words({0, 0, 9, 0, 0, 0}), "more texture-coordinate sets", false},
        {g, Words({0, 0, 0, 6, 0, 0}), "bone-index count without an entry size", false},
        {g, Words({0, 0, 1, 0, 1, 0, 3}) + std::string(16, '\0'), "unknown format", false},
        {g, Words({0, 0, 1, 0, 1000, 0, 0}) + std::string(64, '\0'), "more vertices", false},
        {g, Words({0, 0, 0, 5, 1000, 0}) + std::string(64, '\0'), "more vertices", false},
        {g, Words({0, 0, 1, 0, 4, 0, 2}) + std::string(40, '\0'), "set past the bytes left", false},
        {g, Words({0, 0, 0, 0, 0, 0x10000000}), "more streams", false},
        {g, Words({0, 0, 0, 0, 0, 1, 0}), "not a vertex stream", true},
        {g, Words({0, 0, 0, 1, 0, 0, 0, 2}) + bone, "more bones", false},
        {g, Words({0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFF}), "more bones", false},
        {CPlugVisual::s_OldGeometryChunk, Words({0, 0, 9, 0, 0}), "more texture-coordinate", false},
        {CPlugVisual::s_OlderGeometryChunk, Words({0, 0, 0, 7, 0}), "bone-index count", false},
        {CPlugVisual::s_SubVisualChunk, Words({2}) + std::string(20, '\0'), "more sub-visuals",
         false},
        {CPlugVisual::s_SplitChunk, Words({0x40000000}), "more splits", false},
        {CPlugVisual::s_FuncVisualChunk, Words({0}), "function", true},
    };
    CMwNodRef otherHeld;
    CPlugVisualTest& other = MakeVisual(otherHeld, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Reason);
        CMwNodRef held;
        CPlugVisualTest& visual = MakeVisual(held, 0);
        ExpectRefused(visual, c.Chunk, c.Body, c.Reason, c.Reference ? &other : nullptr);
    }
}

// Bodies decoded by a reader that shares no code with the engine.
TEST_F(PlugVisual, GeometryDecodedByAnIndependentReader) {
    CTempFolder temp;
    const std::string reader = std::string(ENGINE_TEST_PYTHON) + " " + ENGINE_TEST_SOURCE_DIR +
                               "/tests/plug/visual/visual_reader.py ";
    CMwNodRef smallHeld, largeHeld;
    CPlugVisualTest& small = MakeVisual(smallHeld, 3);
    TexCoordSet set = MakeSet(0, 3, 0);
    small.AddTexCoordSet(set);
    small.SetSkinIndexCount(2);
    small.SetVertexCount(3);
    small.m_Skin->m_Bones.resize(1);
    small.SetUseVertexColor(true);
    WriteWholeFile(temp.File("small.dat"), WriteChunkBody(small, CPlugVisual::s_GeometryChunk));
    EXPECT_EQ(RunCommand(reader + temp.File("small.dat")),
              "static 0 1 sets 1 skin 2 vertices 3 streams 0\n"
              "set 0 format 0 bytes 24 first 0 last 5\n"
              "skin bytes 24 color 1 bones 1\n");

    CPlugVisualTest& large = MakeVisual(largeHeld, 1000);
    std::string expected = "static 1 1 sets 8 skin 4 vertices 1000 streams 0\n";
    for (u32 i = 0; i < 8; ++i) {
        TexCoordSet s = MakeSet(i % 3, 1000, f32(i));
        const u32 floats = 1000 * s.ElementBytes() / 4;
        expected += "set " + std::to_string(i) + " format " + std::to_string(i % 3) + " bytes " +
                    std::to_string(4 * floats) + " first " + std::to_string(i) + " last " +
                    std::to_string(i + floats - 1) + "\n";
        large.AddTexCoordSet(s);
    }
    large.SetSkinIndexCount(4);
    large.SetVertexCount(1000);
    large.m_Skin->m_Bones.resize(3);
    large.m_Flags |= CPlugVisual::s_GeometryStaticBit;
    expected += "skin bytes 16000 color 0 bones 3\n";
    WriteWholeFile(temp.File("large.dat"), WriteChunkBody(large, CPlugVisual::s_GeometryChunk));
    EXPECT_EQ(RunCommand(reader + temp.File("large.dat")), expected);
}

} // namespace
