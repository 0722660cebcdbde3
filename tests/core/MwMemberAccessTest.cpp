// Member access by path: the parser, the description of a path's target, the nod's member
// operations, the path check and setting members from text.
#include "CoreTestSupport.h"
#include "core/math/GmColor.h"
#include "core/math/Iso.h"
#include "core/math/Vec.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParamScalar.h"
#include "core/nod/MwParamStruct.h"
#include "core/nod/MwVirtualMember.h"
#include "platform/Crt.h"

#include <cinttypes>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// The class tree of these tests: CTestBase <- CTestNod, and CTestOther beside them.
class CTestBase : public CMwNod {
    MW_DECLARE_CLASS(CTestBase, CMwNod, 0x01F80000)
public:
    CMwId* GetIdPtr() override { return &m_Id; }

    CMwId m_Id;
    u32 m_Count = 0;
    CMwNod* m_Child = nullptr;
};

#define TEST_BASE_MEMBERS(X)                                                                       \
    X(Natural, 0x01F80000, "Count", MW_FIELD(m_Count), "Count", 0x03, 0x380)                       \
    X(Class, 0x01F80001, "Child", MW_FIELD(m_Child), "Child", 0x03, 0x380,                         \
      &CTestBase::s_ClassInfo, 0)

MW_DEFINE_CLASS(CTestBase, MwFactory<CTestBase>, TEST_BASE_MEMBERS, MW_NO_CHUNKS);

class CTestNod : public CTestBase {
    MW_DECLARE_CLASS(CTestNod, CTestBase, 0x01F81000)
public:
    static constexpr u32 s_VirtualId = 0x01F81013;

    ~CTestNod() override {
        m_Nods.FreeItems();
        m_Values.FreeItems();
        m_Points.FreeItems();
    }
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override {
        return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != s_VirtualId)
                return MwNotOwnMember;
            ++m_VirtualReads;
            out->Value = &m_VirtualValue;
            return MwParam_Ok;
        });
    }
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override {
        return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != s_VirtualId)
                return MwNotOwnMember;
            m_VirtualValue = *static_cast<const u32*>(value);
            return MwParam_Ok;
        });
    }
    void Reset() { ++m_Resets; }
    u32 Call(CMwMemberPath* path) {
        ++m_Calls;
        i32 start = -1;
        const MwPathValue* count = path->GetArgument(0, MwPathItem_ArgumentNatural, &start);
        m_CallCount = count ? static_cast<u32>(*count) : 0xFFFFFFFF;
        return 0;
    }

    u32 m_Enabled = 0;
    i32 m_Offset = 0;
    u32 m_Mode = 0;
    f32 m_Scale = 0;
    CClassicString m_Label;
    CClassicWideString m_Caption;
    Vec3 m_Pos;
    Iso4 m_Loc;
    GmColorRgb m_Color;
    CMwNodRef m_Held;
    CMwNod* m_Link = nullptr;
    CMwNod* m_Parent = nullptr;
    CFastBuffer<CMwNod*> m_Nods;
    CFastBuffer<u32> m_Values;
    u32 m_ReadOnly = 0;
    u32 m_Size = 0;
    u32 m_VirtualValue = 0;
    CFastBuffer<Vec3> m_Points;
    u32 m_Tally = 0;

    u32 m_Resets = 0;
    u32 m_Calls = 0;
    u32 m_CallCount = 0;
    u32 m_VirtualReads = 0;
};

constexpr const char* kModeNames[] = {"ModulateAdd", "Modulate", "Add", "ModulateX2"};
constexpr const char* kXyz[] = {"x", "y", "z"};
constexpr u32 kCallTypes[] = {MwType_Natural, MwType_Vec3, MwType_String, CTestBase::s_ClassId};
constexpr const char* kCallNames[] = {"Count", "Where", "Text", "Target"};
constexpr u32 kCallValues[] = {0, 0, 0, 0};

#define TEST_NOD_MEMBERS(X)                                                                        \
    X(Bool, 0x01F81000, "Enabled", MW_FIELD(m_Enabled), "Enabled", 0x03, 0x380)                    \
    X(Integer, 0x01F81001, "Offset", MW_FIELD(m_Offset), "Offset", 0x0F, 0x380)                    \
    X(Enum, 0x01F81002, "Mode", MW_FIELD(m_Mode), "Mode", 0x03, 0x380, "", kModeNames)             \
    X(Real, 0x01F81003, "Scale", MW_FIELD(m_Scale), "Scale", 0x0F, 0x380)                          \
    X(String, 0x01F81004, "Label", MW_FIELD(m_Label), "Label", 0x0F, 0x380)                        \
    X(StringInt, 0x01F81005, "Caption", MW_FIELD(m_Caption), "Caption", 0x03, 0x380)               \
    X(Vec3, 0x01F81006, "Pos", MW_FIELD(m_Pos), "Position", 0x0F, 0x384, kXyz)                     \
    X(Iso4, 0x01F81007, "Loc", MW_FIELD(m_Loc), "Location", 0x03, 0x380)                           \
    X(Color, 0x01F81008, "Color", MW_FIELD(m_Color), "Color", 0x03, 0x380)                         \
    X(Class, 0x01F81009, "Held", MW_FIELD(m_Held), "Held", 0x03, 0x3FA0, &CTestBase::s_ClassInfo,  \
      1)                                                                                           \
    X(Class, 0x01F8100A, "Link", MW_FIELD(m_Link), "Link", 0x03, 0x380, &CTestNod::s_ClassInfo, 0) \
    X(Class, 0x01F8100B, "Parent", MW_FIELD(m_Parent), "Parent", 0x01, 0x380,                      \
      &CTestBase::s_ClassInfo, 0)                                                                  \
    X(Buffer, 0x01F8100C, "Nods", MW_FIELD(m_Nods), "Nods", 0x0F, 0x3F86, MwType_Class, 0xF,       \
      "Nod", &CTestBase::s_ClassInfo)                                                              \
    X(Buffer, 0x01F8100D, "Values", MW_FIELD(m_Values), "Values", 0x0F, 0x380, MwType_Natural,     \
      0x1, "Value")                                                                                \
    X(Array, 0x01F8100E, "Quads", MW_VIRTUAL("m_Quads"), "Quads", 0x11, 0x380, MwType_Vec4, 0x1,   \
      "Quad")                                                                                      \
    X(Natural, 0x01F8100F, "ReadOnly", MW_FIELD(m_ReadOnly), "ReadOnly", 0x01, 0x380)              \
    X(NaturalRange, 0x01F81010, "Size", MW_FIELD(m_Size), "Size", 0x03, 0x380, 0u, 64000u)         \
    X(Action, 0x01F81011, "Reset", MW_VIRTUAL(""), "Reset", 0x02, 0x380,                           \
      MwThunk<&CTestNod::Reset>::Call)                                                             \
    X(Proc, 0x01F81012, "Call", MW_VIRTUAL(""), "Call", 0x02, 0x380,                               \
      MwThunk<&CTestNod::Call>::Call, kCallTypes, kCallNames, kCallValues)                         \
    X(Natural, 0x01F81013, "Virtual", MW_VIRTUAL("m_VirtualValue"), "Virtual", 0x33, 0x380)        \
    X(Buffer, 0x01F81014, "Points", MW_FIELD(m_Points), "Points", 0x0F, 0x380, MwType_Vec3, 0xF,   \
      "Point")                                                                                     \
    X(Natural, 0x01F81015, "Tally", MW_FIELD(m_Tally), "Tally", 0x05, 0x380)

MW_DEFINE_CLASS(CTestNod, MwFactory<CTestNod>, TEST_NOD_MEMBERS, MW_NO_CHUNKS);

class CTestOther : public CMwNod {
    MW_DECLARE_CLASS(CTestOther, CMwNod, 0x01F82000)
public:
    u32 m_Other = 0;
};

#define TEST_OTHER_MEMBERS(X)                                                                      \
    X(Natural, 0x01F82000, "Other", MW_FIELD(m_Other), "Other", 0x03, 0x380)

MW_DEFINE_CLASS(CTestOther, MwFactory<CTestOther>, TEST_OTHER_MEMBERS, MW_NO_CHUNKS);

// Filed under CTestOther in the class tree, though its C++ base is CTestBase.
class CTestFiled : public CTestBase {
    MW_DECLARE_CLASS(CTestFiled, CTestBase, 0x01F83000)
public:
    u32 m_Own = 0;
};

#define TEST_FILED_MEMBERS(X) X(Natural, 0x01F83000, "Own", MW_FIELD(m_Own), "Own", 0x0F, 0x380)

MW_DEFINE_CLASS_WITH_PARENT(CTestFiled, CTestOther, MwFactory<CTestFiled>, TEST_FILED_MEMBERS,
                            MW_NO_CHUNKS);

// Names that share their first eight bytes, or are a prefix of each other.
class CTestKeys : public CTestBase {
    MW_DECLARE_CLASS(CTestKeys, CTestBase, 0x01F8E000)
public:
    u32 m_A = 0, m_B = 0, m_C = 0, m_D = 0, m_E = 0;
};

#define TEST_KEYS_MEMBERS(X)                                                                       \
    X(Natural, 0x01F8E000, "NetworkProxyPassword", MW_FIELD(m_A), "", 0x03, 0x380)                 \
    X(Natural, 0x01F8E001, "NetworkProxyLogin", MW_FIELD(m_B), "", 0x03, 0x380)                    \
    X(Natural, 0x01F8E002, "NetworkP", MW_FIELD(m_C), "", 0x03, 0x380)                             \
    X(Natural, 0x01F8E003, "Network", MW_FIELD(m_D), "", 0x03, 0x380)                              \
    X(Natural, 0x01F8E004, "NetworkProxyLogins", MW_FIELD(m_E), "", 0x03, 0x380)

MW_DEFINE_CLASS(CTestKeys, MwFactory<CTestKeys>, TEST_KEYS_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_AccessClasses[] = {
    &CTestBase::s_ClassInfo, &CTestNod::s_ClassInfo, &CTestOther::s_ClassInfo,
    &CTestFiled::s_ClassInfo, &CTestKeys::s_ClassInfo};
constinit const CMwClassList s_AccessClassList = {s_AccessClasses, 5};

// A path item as the tests write it: (kind, value) with members named by their ids.
struct CItem {
    u32 Kind;
    MwPathValue Value;
    bool operator==(const CItem&) const = default;
};

CItem M(u32 memberId) {
    return {MwPathItem_Member,
            reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(memberId))};
}
CItem I(u32 index) {
    return {MwPathItem_Index, index};
}
CItem N(const char* name) {
    return {MwPathItem_Name, CMwId::FromName(name).m_Value};
}

std::vector<CItem> ItemsOf(const CMwMemberPath& path) {
    std::vector<CItem> items;
    for (u32 i = path.m_Count; i-- > 0;)
        items.push_back({path.m_Kinds[i], path.m_Values[i]});
    return items;
}

void MakePath(CMwMemberPath& path, const std::vector<CItem>& items) {
    path.Reserve(0);
    path.Reserve(u32(items.size()) + 1);
    for (const CItem& item : items) {
        path.PushFront(item.Value);
        path.m_Kinds[0] = item.Kind;
    }
    path.Reset();
}

std::string AddressText(const void* nod) {
    const platform::FormattedText text =
        platform::Format("%" PRIXPTR, reinterpret_cast<uintptr_t>(nod));
    return std::string(text.text, text.length);
}

CClassicWideString Wide(const std::string& text) {
    CClassicWideString wide;
    wide.AssignFromNarrow(CClassicStringRef(text.c_str(), u32(text.size())));
    return wide;
}

// The nod under test with a linked nod, a child and a parent, all of them CTestNod.
class MwMemberAccess : public CMwCoreFixture {
protected:
    MwMemberAccess() : CMwCoreFixture(&s_AccessClassList) {}

    void SetUp() override {
        CMwCoreFixture::SetUp();
        m_Nod = new CTestNod;
        m_Linked = new CTestNod;
        m_Child = new CTestNod;
        m_Nod->m_Link = m_Linked;
        m_Nod->m_Child = m_Child;
        m_Nod->m_Parent = m_Linked;
    }
    void TearDown() override {
        delete m_Nod;
        delete m_Linked;
        delete m_Child;
        CMwCoreFixture::TearDown();
    }

    CTestNod* m_Nod = nullptr;
    CTestNod* m_Linked = nullptr;
    CTestNod* m_Child = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Path storage

// A short path keeps its items inside the path and a longer one in a block of its own: growing,
// shrinking, copying and appending across that limit keep every item, kind and count.
TEST_F(MwMemberAccess, PathsKeepTheirItemsAcrossEveryChangeOfRoom) {
    const auto indices = [](u32 first, u32 count) {
        std::vector<CItem> items;
        for (u32 i = 0; i < count; ++i)
            items.push_back(I(first + i));
        return items;
    };
    const auto concat = [](std::vector<CItem> a, const std::vector<CItem>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    for (u32 n : {1u, 2u, 3u, 4u, 5u, 9u}) {
        SCOPED_TRACE(testing::Message() << n << " items");
        CMwMemberPath path(n);
        EXPECT_FALSE(path.HasCurrent());
        EXPECT_EQ(path.SetFront(1), u32(MwParam_PathEmpty));
        MakePath(path, indices(100, n));
        path.Reserve(n);
        const std::vector<CItem> items = indices(100, n);
        ASSERT_EQ(ItemsOf(path), items);
        EXPECT_EQ(path.PushFront(7), u32(MwParam_PathFull));
        EXPECT_EQ(ItemsOf(path), items);
        MwPathValue first = 0;
        ASSERT_TRUE(path.GetCurrent(&first));
        EXPECT_EQ(first, 100u);

        for (u32 room : {n + 3, n + 1, n}) { // grows past the limit, then shrinks back
            path.Reserve(room);
            EXPECT_EQ(path.m_Capacity, room);
            EXPECT_EQ(path.m_Current, i32(n) - 1);
            EXPECT_EQ(ItemsOf(path), items);
        }
        path.Reserve(1); // never below the count
        EXPECT_EQ(path.m_Capacity, n);
        EXPECT_EQ(ItemsOf(path), items);

        CMwMemberPath copy;
        copy.CopyFrom(path, 3);
        EXPECT_EQ(copy.m_Capacity, n + 3);
        EXPECT_EQ(ItemsOf(copy), items);
        EXPECT_EQ(copy.PushFront(200), 0u);
        copy.m_Kinds[0] = MwPathItem_Index;
        EXPECT_EQ(ItemsOf(copy), concat(items, {I(200)}));
        copy.CopyFrom(copy, 1);
        EXPECT_EQ(copy.m_Capacity, n + 4);
        EXPECT_EQ(ItemsOf(copy), concat(items, {I(200)}));
        EXPECT_EQ(ItemsOf(path), items) << "the copy is a copy";

        for (u32 m : {0u, 1u, 3u, 6u}) {
            CMwMemberPath appended;
            MakePath(appended, indices(100, n));
            CMwMemberPath rest;
            MakePath(rest, indices(300, m));
            appended.AppendPath(rest);
            EXPECT_EQ(appended.m_Count, n + m);
            EXPECT_EQ(appended.m_Capacity, n + m);
            EXPECT_EQ(appended.m_Current, i32(n + m) - 1);
            EXPECT_EQ(ItemsOf(appended), concat(items, indices(300, m))) << m;
        }
        CMwMemberPath twice;
        MakePath(twice, items);
        twice.AppendPath(twice);
        EXPECT_EQ(ItemsOf(twice), concat(items, items));

        path.Reserve(0);
        EXPECT_EQ(path.m_Count, 0u);
        EXPECT_EQ(path.m_Values, nullptr);
        EXPECT_FALSE(path.HasCurrent());
        path.Reserve(2);
        EXPECT_EQ(path.m_Count, 0u);
        EXPECT_EQ(path.PushFront(5), 0u);
        EXPECT_EQ(ItemsOf(path), (std::vector<CItem>{{MwPathItem_Member, 5}}));
    }
}

// ---------------------------------------------------------------------------------------------
// Parsing

TEST_F(MwMemberAccess, ParsingTurnsTextIntoItems) {
    struct Case {
        const char* Text;
        u32 Result;
        std::vector<CItem> Items;
    };
    const Case cases[] = {
        {"IdName", 0, {M(0x01001000)}}, // climbs from CTestNod to the root
        {"IdName.x", 1, {}},
        {"idname", 1, {}},
        {"Count", 0, {M(0x01F80000)}},
        {"Label", 0, {M(0x01F81004)}},
        {"Label.x", 1, {}},
        {"Offset.3", 1, {}},
        {"Reset", 0, {M(0x01F81011)}},
        {"Call", 0, {M(0x01F81012)}},
        {"Call.1", 1, {}},
        {"Nods", 0, {M(0x01F8100C)}},
        {"Nods.count", 0, {M(0x01F8100C)}},
        {"Nods.add", 0, {M(0x01F8100C)}},
        {"Nods.remove", 0, {M(0x01F8100C)}},
        {"Nods.Count", 2, {}},
        {"Nods.count.x", 2, {}},
        {"Nods.##Second", 0, {M(0x01F8100C), N("Second")}},
        {"Nods.##", 2, {}},
        {"Nods.#3", 2, {}},
        {"Nods.3", 0, {M(0x01F8100C), I(3)}},
        {"Nods[3]", 0, {M(0x01F8100C), I(3)}},
        // Any run of ".", "[" and "]" separates, whatever their order.
        {"Nods]3[", 0, {M(0x01F8100C), I(3)}},
        {"Nods.[3]", 0, {M(0x01F8100C), I(3)}},
        {"Nods[3][Count]", 0, {M(0x01F8100C), I(3), M(0x01F80000)}},
        {"Nods[##Second]", 0, {M(0x01F8100C), N("Second")}},
        {"Nods[count]", 0, {M(0x01F8100C)}},
        {"[Nods]", 1, {}}, // an empty first token
        // The index is read as an integer is: blanks left out, digits up to another character.
        {"Nods.3x", 0, {M(0x01F8100C), I(3)}},
        {"Nods. 1 2", 0, {M(0x01F8100C), I(12)}},
        {"Nods.-1", 0, {M(0x01F8100C), I(0xFFFFFFFF)}},
        {"Nods.x3", 2, {}},
        {"Nods.x", 2, {}},
        {"Nods.3.Count", 0, {M(0x01F8100C), I(3), M(0x01F80000)}},
        {"Nods.3.Scale", 1, {}}, // the declared element class has no Scale
        {"Values.1", 0, {M(0x01F8100D), I(1)}},
        {"Values.1.x", 2, {}},
        {"Points.1.y", 0, {M(0x01F81014), I(1), I(1)}},
        {"Points.1.length", 0, {M(0x01F81014), I(1), I(0xFFFFFFFF)}},
        {"Points.1.w", 2, {}},
        {"Quads", 1, {}},
        {"Quads.0", 1, {}},
        {"Pos", 0, {M(0x01F81006)}},
        {"Pos.x", 0, {M(0x01F81006), I(0)}},
        {"Pos[z]", 0, {M(0x01F81006), I(2)}},
        {"Pos.length", 0, {M(0x01F81006), I(0xFFFFFFFF)}},
        {"Pos.w", 1, {}},
        {"Pos.X", 1, {}},
        {"Pos.x.y", 1, {}},
        {"Loc.AxeYz", 0, {M(0x01F81007), I(5)}},
        {"Loc.axeyz", 1, {}},
        {"Loc.tz", 0, {M(0x01F81007), I(11)}},
        {"Loc.length", 1, {}},
        {"Color.g", 0, {M(0x01F81008), I(1)}},
        {"Color.length", 1, {}},
        {"Link.Scale", 0, {M(0x01F8100A), M(0x01F81003)}},
        // A member of the parent class after a member of the child class.
        {"Link.Count", 0, {M(0x01F8100A), M(0x01F80000)}},
        {"Link.Link.IdName", 0, {M(0x01F8100A), M(0x01F8100A), M(0x01001000)}},
        {"Link.Nope", 1, {}}, // counted from the sub-parse's first token
        {"Link.Scale.x", 2, {}},
        // The child member accepts CTestBase; the nod it holds is a CTestNod.
        {"Child.Scale", 0, {M(0x01F80001), M(0x01F81003)}},
        {"", 0, {}},
        {"...", 1, {}}, // one empty token
        {".Count", 1, {}},
        {"Count..", 0, {M(0x01F80000)}},
        {"Count.Count", 1, {}},
    };
    for (const Case& c : cases) {
        CMwMemberPath path;
        EXPECT_EQ(path.ParseFromText(0xFFFFFFFF, m_Nod, CClassicString(c.Text)), c.Result)
            << '"' << c.Text << '"';
        EXPECT_EQ(ItemsOf(path), c.Items) << '"' << c.Text << '"';
        EXPECT_EQ(path.m_Current, static_cast<i32>(path.m_Count) - 1) << "the path is reset";
    }
}

// The parser compares the name keys the registry made: names of eight bytes and less by their
// keys alone, longer names with equal keys by their further bytes; before the registry's pass,
// by text, with the same answers.
TEST_F(MwMemberAccess, MembersAreFoundByTheirNameKeys) {
    const auto parse = [&](const char* text) {
        CTestKeys nod;
        CMwMemberPath path;
        const u32 result = path.ParseFromText(0xFFFFFFFF, &nod, CClassicString(text));
        return result == MwParam_Ok ? reinterpret_cast<const CMwMemberInfo*>(path.m_Values[0])->Name
                                    : "";
    };
    const auto parsesAlike = [&] {
        EXPECT_STREQ(parse("Network"), "Network");
        EXPECT_STREQ(parse("NetworkP"), "NetworkP");
        EXPECT_STREQ(parse("NetworkProxyLogin"), "NetworkProxyLogin");
        EXPECT_STREQ(parse("NetworkProxyLogon"), "");
        EXPECT_STREQ(parse("NetworkProxyPassword"), "NetworkProxyPassword");
        EXPECT_STREQ(parse("NetworkProxyPasswords"), "");
        EXPECT_STREQ(parse("NetworkPr"), "");
        EXPECT_STREQ(parse("Networ"), "");
        EXPECT_STREQ(parse("NetworkQ"), "");
        EXPECT_STREQ(parse("Count"), "Count"); // the parent's
    };
    ASSERT_NE(CTestKeys::s_ClassInfo.m_MemberNameKeys, nullptr);
    parsesAlike();
    CMwMemberNameKey* keys = CTestKeys::s_ClassInfo.m_MemberNameKeys;
    CTestKeys::s_ClassInfo.m_MemberNameKeys = nullptr;
    parsesAlike();
    CTestKeys::s_ClassInfo.m_MemberNameKeys = keys;
}

TEST_F(MwMemberAccess, ParsingFollowsTheNodsThatMembersHold) {
    // Without a nod in the child member, its declared class has no Scale.
    m_Nod->m_Child = nullptr;
    CMwMemberPath path;
    EXPECT_EQ(path.ParseFromText(0xFFFFFFFF, m_Nod, CClassicString("Child.Scale")), 1u);
    EXPECT_EQ(path.m_Count, 0u);
    EXPECT_EQ(path.ParseFromText(0xFFFFFFFF, m_Nod, CClassicString("Child.Count")), 0u);
    // A child that is only a CTestBase.
    CTestBase base;
    m_Nod->m_Child = &base;
    EXPECT_EQ(path.ParseFromText(0xFFFFFFFF, m_Nod, CClassicString("Child.Scale")), 1u);
    // By class alone, the declared classes are followed.
    EXPECT_EQ(path.ParseFromText(CTestNod::s_ClassId, nullptr, CClassicString("Link.Link.Label")),
              0u);
    EXPECT_EQ(path.ParseFromText(CTestNod::s_ClassId, nullptr, CClassicString("Child.Label")), 1u);
}

TEST_F(MwMemberAccess, ParsingStartsFromTheClassAsked) {
    struct Case {
        u32 ClassId;
        bool WithNod;
        const char* Text;
        u32 Result;
    };
    const Case cases[] = {
        {CTestNod::s_ClassId, false, "Label", 0},
        {CTestBase::s_ClassId, false, "Count", 0},
        {CTestBase::s_ClassId, false, "Label", 1},
        {CTestBase::s_ClassId, true, "Label", 1}, // the class asked, not the nod's
        {CTestBase::s_ClassId, true, "Count", 0},
        {CTestOther::s_ClassId, true, "Other", 1}, // the nod is not of that class
        {CTestOther::s_ClassId, false, "Other", 0},
        {0xFFFFFFFF, false, "Label", 1},
        {0xFFFFFFFF, false, "", 1},
        {0x01F8F000, false, "Label", 1}, // no such class
    };
    for (const Case& c : cases) {
        CMwMemberPath path;
        EXPECT_EQ(
            path.ParseFromText(c.ClassId, c.WithNod ? m_Nod : nullptr, CClassicString(c.Text)),
            c.Result)
            << std::hex << c.ClassId << " " << c.Text;
    }
}

// The parser climbs the class tree; the member operations keep to what the nod is a kind of in
// C++, since a member's field offset is only meaningful there. A member found through a tree
// parent the nod does not derive from is named by the path but answers 1 (2 in the check) and is
// never read or written.
TEST_F(MwMemberAccess, ParsingClimbsTheClassTreeAndAccessKeepsToTheNodsKinds) {
    CTestFiled filed;
    filed.m_Count = 3;
    filed.m_Own = 4;
    struct Case {
        bool WithNod;
        const char* Text;
        u32 Result;
        std::vector<CItem> Items;
    };
    const Case cases[] = {
        {true, "Own", 0, {M(0x01F83000)}},
        {true, "Other", 0, {M(0x01F82000)}}, // the tree parent's member
        {false, "Other", 0, {M(0x01F82000)}},
        {true, "IdName", 0, {M(0x01001000)}},
        {true, "Count", 1, {}}, // the C++ base is not on the way up the tree
        {false, "Count", 1, {}},
    };
    for (const Case& c : cases) {
        CMwMemberPath path;
        EXPECT_EQ(path.ParseFromText(c.WithNod ? 0xFFFFFFFF : CTestFiled::s_ClassId,
                                     c.WithNod ? &filed : nullptr, CClassicString(c.Text)),
                  c.Result)
            << c.Text;
        EXPECT_EQ(ItemsOf(path), c.Items) << c.Text;
    }

    CMwMemberPath path;
    const u32 five = 5;
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, &filed, CClassicString("Other")), 0u);
    EXPECT_EQ(filed.CheckParam(&path), 2u);
    CMwParamValue value;
    MakePath(path, {M(0x01F82000)});
    EXPECT_EQ(filed.GetParam(&path, &value), 1u);
    EXPECT_EQ(value.Value, nullptr);
    MakePath(path, {M(0x01F82000)});
    EXPECT_EQ(filed.SetParam(&path, &five), 1u);
    MakePath(path, {M(0x01F82000)});
    EXPECT_EQ(filed.AddParam(&path, &five), 1u);
    MakePath(path, {M(0x01F82000)});
    EXPECT_EQ(filed.SubParam(&path, &five), 1u);
    {
        const CLogWatch log;
        EXPECT_EQ(filed.SetParamFromText(CClassicString("Other"), Wide("5")), 2u);
        EXPECT_EQ(log.Since(), "[MwNod] CTestFiled member \"Other\" not set from text: the path "
                               "does not check (result 2)\r\n");
    }
    EXPECT_EQ(filed.m_Count, 3u);
    EXPECT_EQ(filed.m_Own, 4u);
    EXPECT_EQ(filed.m_Child, nullptr);
    EXPECT_EQ(filed.m_Id.m_Value, CMwId::Unassigned);

    // Its own members, and those of its C++ bases along paths built in code, are reached.
    EXPECT_EQ(filed.SetParamFromText(CClassicString("Own"), Wide("6")), 0u);
    EXPECT_EQ(filed.m_Own, 6u);
    MakePath(path, {M(0x01F80000)});
    EXPECT_EQ(filed.SetParam(&path, &five), 0u);
    EXPECT_EQ(filed.m_Count, 5u);
}

TEST_F(MwMemberAccess, APathTextHasAtMostSoManyTokens) {
    std::string text = "Link";
    for (u32 i = 1; i < CMwMemberPath::s_MaxTextTokens; ++i)
        text += ".Link";
    CMwMemberPath path;
    EXPECT_EQ(path.ParseFromText(0xFFFFFFFF, m_Nod, CClassicString(text.c_str())), 0u);
    EXPECT_EQ(path.m_Count, CMwMemberPath::s_MaxTextTokens);
    text += ".Link";
    EXPECT_EQ(path.ParseFromText(0xFFFFFFFF, m_Nod, CClassicString(text.c_str())),
              CMwMemberPath::s_MaxTextTokens + 1);
    EXPECT_EQ(path.m_Count, 0u);

    // The limit counts tokens, however they are written: 254 members, a list and an index make
    // 256; an empty first token is a token too. The count is checked before the class.
    std::string links = "Link";
    for (u32 i = 1; i < CMwMemberPath::s_MaxTextTokens - 2; ++i)
        links += "[Link]";
    struct Case {
        u32 ClassId;
        std::string Text;
        u32 Result;
        u32 Count;
    };
    const Case cases[] = {
        {0xFFFFFFFF, links + ".Nods[3]", 0, CMwMemberPath::s_MaxTextTokens},
        {0xFFFFFFFF, links + "[Nods][3].", 0, CMwMemberPath::s_MaxTextTokens},
        {0xFFFFFFFF, links + ".Nods[3].Count", CMwMemberPath::s_MaxTextTokens + 1, 0},
        {0xFFFFFFFF, "." + links + ".Nods", 1, 0},
        {0xFFFFFFFF, "." + links + ".Nods[3]", CMwMemberPath::s_MaxTextTokens + 1, 0},
        {CTestOther::s_ClassId, links + ".Nods[3]", 1, 0},
        {CTestOther::s_ClassId, links + ".Nods[3].x", CMwMemberPath::s_MaxTextTokens + 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(path.ParseFromText(c.ClassId, m_Nod, CClassicString(c.Text.c_str())), c.Result)
            << c.Text.substr(0, 12) << "... of " << c.Text.size();
        EXPECT_EQ(path.m_Count, c.Count);
    }
}

// A path text ends at its length or at its first NUL, as the engine's texts compare.
TEST_F(MwMemberAccess, APathTextEndsAtItsFirstNul) {
    struct Case {
        std::string Text;
        u32 Result;
        std::vector<CItem> Items;
    };
    const Case cases[] = {
        {std::string("Count\0.x", 8), 0, {M(0x01F80000)}},
        {std::string("Nods[3\0]x", 9), 0, {M(0x01F8100C), I(3)}},
        {std::string("Link.\0Scale", 11), 0, {M(0x01F8100A)}},
        {std::string("\0Count", 6), 0, {}},
        {std::string("Cou\0nt", 6), 1, {}},
    };
    for (const Case& c : cases) {
        CMwMemberPath path;
        const CClassicString text(CClassicStringRef(c.Text.data(), u32(c.Text.size())));
        EXPECT_EQ(path.ParseFromText(0xFFFFFFFF, m_Nod, text), c.Result) << c.Text.c_str();
        EXPECT_EQ(ItemsOf(path), c.Items) << c.Text.c_str();
    }
}

// Parse takes tokens already cut; each is compared up to its first NUL, as the texts of the
// engine compare. Here the class is checked before the number of tokens.
TEST_F(MwMemberAccess, ParseTakesTokensThatAreAlreadyCut) {
    struct Case {
        u32 ClassId;
        std::vector<std::string> Tokens;
        u32 Result;
        std::vector<CItem> Items;
    };
    const Case cases[] = {
        {0xFFFFFFFF, {"Nods", "3", "Count"}, 0, {M(0x01F8100C), I(3), M(0x01F80000)}},
        {0xFFFFFFFF, {"Nods", "##Second"}, 0, {M(0x01F8100C), N("Second")}},
        {0xFFFFFFFF, {"Pos", "length"}, 0, {M(0x01F81006), I(0xFFFFFFFF)}},
        {0xFFFFFFFF, {"Nods.3"}, 1, {}}, // no cutting here
        {0xFFFFFFFF, {std::string("Count\0x", 7)}, 0, {M(0x01F80000)}},
        {0xFFFFFFFF, {"Nods", std::string("##Second\0x", 10)}, 0, {M(0x01F8100C), N("Second")}},
        {0xFFFFFFFF,
         {"Nods", std::string("4\0"
                              "01",
                              4)},
         0,
         {M(0x01F8100C), I(4)}},
        {0xFFFFFFFF, {"Pos", std::string("y\0z", 3)}, 0, {M(0x01F81006), I(1)}},
        {0xFFFFFFFF, {""}, 1, {}},
        {0xFFFFFFFF, {}, 0, {}},
        {0xFFFFFFFF,
         std::vector<std::string>(CMwMemberPath::s_MaxTextTokens + 1, "Link"),
         CMwMemberPath::s_MaxTextTokens + 1,
         {}},
        {CTestOther::s_ClassId,
         std::vector<std::string>(CMwMemberPath::s_MaxTextTokens + 1, "Link"),
         1,
         {}},
    };
    for (const Case& c : cases) {
        std::vector<CClassicString> tokens;
        for (const std::string& token : c.Tokens)
            tokens.emplace_back(CClassicStringRef(token.data(), u32(token.size())));
        CMwMemberPath path;
        EXPECT_EQ(path.Parse(c.ClassId, m_Nod, u32(tokens.size()), tokens.data()), c.Result)
            << c.Tokens.size() << " tokens";
        EXPECT_EQ(ItemsOf(path), c.Items) << c.Tokens.size() << " tokens";
    }

    CMwMemberPath path;
    path.Reserve(4);
    EXPECT_EQ(path.ParseComponent(MwType_Vec3, CClassicString("z")), 0u);
    EXPECT_EQ(path.ParseComponent(MwType_Color, CClassicString("length")), 1u);
    EXPECT_EQ(path.ParseComponent(MwType_Vec2, CClassicString(CClassicStringRef("length\0x", 8))),
              0u);
    EXPECT_EQ(path.ParseComponent(MwType_Real, CClassicString("x")), 1u);
    EXPECT_EQ(ItemsOf(path), (std::vector<CItem>{I(2), I(0xFFFFFFFF)}));
}

// ---------------------------------------------------------------------------------------------
// Target descriptions

TEST_F(MwMemberAccess, TheTargetIsTheMemberOrOneElementComponentOrArgument) {
    struct Case {
        std::vector<CItem> Items;
        u32 Result;
        u32 TypeCode;
        const char* Name;
        const char* Label;
        u32 Flags;
        u32 Mask;
        bool Whole; // the record itself, copied
    };
    const Case cases[] = {
        {{M(0x01F81004)}, 0, MwType_String, "Label", "Label", 0x0F, 0x380, true},
        {{M(0x01F8100A), M(0x01F81003)}, 0, MwType_Real, "Scale", "Scale", 0x0F, 0x380, true},
        {{M(0x01F8100C), I(2)}, 0, MwType_Class, "Nods", "Nod", 0xF, 0x3F82, false},
        {{M(0x01F8100C), N("Second")}, 0, MwType_Class, "Nods", "Nod", 0xF, 0x3F82, false},
        {{M(0x01F8100D), I(0)}, 0, MwType_Natural, "Values", "Value", 0x1, 0x380, false},
        {{M(0x01F81014), I(0), I(2)}, 0, MwType_Real, "Points", "z", 0xF, 0x380, false},
        {{M(0x01F81006), I(1)}, 0, MwType_Real, "Pos", "y", 0x0F, 0x384, false},
        {{M(0x01F81006), I(0xFFFFFFFF)}, 0, MwType_Real, "Pos", "", 0x0F, 0x384, false},
        {{M(0x01F81007), I(5)}, 0, MwType_Real, "Loc", "AxeYz", 0x03, 0x380, false},
        {{M(0x01F81012), I(1)}, 0, MwType_Vec3, "Where", "Where", 0, 0, false},
        {{M(0x01F81012), I(3)}, 0, MwType_Class, "Target", "Target", 0, 0, false},
        {{M(0x01F81012), I(4)}, 1, 0, "", "", 0, 0, false}, // past the arguments
        {{M(0x01F81012), {MwPathItem_ArgumentNatural, 3}}, 1, 0, "", "", 0, 0, false},
        {{M(0x01F81004), I(0)}, 1, 0, "", "", 0, 0, false},
        {{M(0x01F8100D), I(0), I(1)}, 1, 0, "", "", 0, 0, false}, // naturals have no components
        {{M(0x01F81006), I(0), I(1)}, 1, 0, "", "", 0, 0, false},
        {{M(0x01F8100C)}, 0, MwType_Class + MwTypeBuffer, "Nods", "Nods", 0x0F, 0x3F86, true},
        {{}, 1, 0, "", "", 0, 0, false},
        {{I(3)}, 1, 0, "", "", 0, 0, false},
        {{{MwPathItem_Member, 0}}, 1, 0, "", "", 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Name << " " << c.Label << " " << c.Items.size());
        CMwMemberPath path;
        MakePath(path, c.Items);
        CMwTargetInfo target;
        ASSERT_EQ(path.GetTargetInfo(&target), c.Result);
        if (c.Result != 0)
            continue;
        const CMwMemberInfo& info = target.Get();
        EXPECT_EQ(info.TypeCode, c.TypeCode);
        EXPECT_STREQ(info.Name, c.Name);
        EXPECT_STREQ(info.Label, c.Label);
        EXPECT_EQ(info.Flags, c.Flags);
        EXPECT_EQ(info.Mask, c.Mask);
        const u32 code = c.TypeCode == MwType_Class && !c.Whole ? MwType_Class : c.TypeCode;
        EXPECT_EQ(info.Param, CMwParam::GetDescriptor(code));
        if (c.Whole) {
            const auto* record = reinterpret_cast<const CMwMemberInfo*>(path.m_Values[0]);
            EXPECT_EQ(info.MemberId, record->MemberId);
            EXPECT_EQ(info.FieldOffset, record->FieldOffset);
        } else {
            EXPECT_EQ(info.MemberId, 0xFFFFFFFFu);
            EXPECT_EQ(info.FieldOffset, -1);
        }
    }
}

TEST_F(MwMemberAccess, TargetRecordsKeepTheirExtras) {
    CMwMemberPath path;
    CMwTargetInfo target;
    MakePath(path, {M(0x01F81002)});
    ASSERT_EQ(path.GetTargetInfo(&target), 0u);
    const auto& mode = static_cast<const CMwMemberInfoEnum&>(target.Get());
    EXPECT_EQ(mode.EnumCount, 4u);
    EXPECT_EQ(mode.EnumNames, kModeNames);

    MakePath(path, {M(0x01F81009)});
    ASSERT_EQ(path.GetTargetInfo(&target), 0u);
    EXPECT_EQ(static_cast<const CMwMemberInfoClass&>(target.Get()).TakesReference, 1u);
    EXPECT_EQ(target.Get().Param, CMwParam::GetReferenceTakingClassDescriptor());

    MakePath(path, {M(0x01F8100C), I(0)});
    ASSERT_EQ(path.GetTargetInfo(&target), 0u);
    EXPECT_EQ(static_cast<const CMwMemberInfoClass&>(target.Get()).ClassInfo,
              &CTestBase::s_ClassInfo);

    MakePath(path, {M(0x01F81012), I(3)});
    ASSERT_EQ(path.GetTargetInfo(&target), 0u);
    EXPECT_EQ(static_cast<const CMwMemberInfoClass&>(target.Get()).ClassInfo,
              &CTestBase::s_ClassInfo);
}

// ---------------------------------------------------------------------------------------------
// The nod's member operations

TEST_F(MwMemberAccess, CheckParamAcceptsOnlyWhatIsThere) {
    struct Case {
        std::vector<CItem> Items;
        u32 Result;
    };
    const Case cases[] = {
        {{}, 0},
        {{M(0x01F81004)}, 0},
        {{M(0x01F80000)}, 0},
        {{M(0x01F82000)}, 2}, // a member of another class
        {{M(0x01F81006), I(2)}, 0},
        {{M(0x01F81006), I(3)}, 2},
        {{M(0x01F81006), I(0xFFFFFFFF)}, 2}, // the length is read, never checked as an index
        {{M(0x01F81007), I(11)}, 0},
        {{M(0x01F81007), I(12)}, 2},
        {{M(0x01F81003), I(0)}, 2}, // a real has no components
        // A name selects only among nods. (Looking at index items alone, the check would pass
        // this path, and a list of other values would then read its elements as nods.)
        {{M(0x01F81003), N("x")}, 2},
        // An index after a procedure is bounded like a component: a procedure has none, so even
        // the index of an existing argument fails; arguments travel as argument items.
        {{M(0x01F81012), I(0)}, 2},
        {{M(0x01F81012), I(3)}, 2},
        {{M(0x01F81012), I(4)}, 2},
        {{M(0x01F81012), {MwPathItem_ArgumentNatural, 9}}, 0},
        {{M(0x01F81011), I(0)}, 2}, // an action neither
        {{M(0x01F8100A), M(0x01F81003)}, 0},
        {{M(0x01F8100A), M(0x01F8100A), M(0x01F81003)}, 2}, // the linked nod links nothing
        {{M(0x01F8100A), M(0x01F81006), I(1)}, 0},
        {{M(0x01F8100A), M(0x01F81006), I(7)}, 2},
        {{M(0x01F8100A), M(0x01F82000)}, 2},
        {{M(0x01F81013)}, 0},
        {{I(0)}, 2},
        {{N("x")}, 2},
        {{{MwPathItem_Member, 0}}, 2},
    };
    for (const Case& c : cases) {
        CMwMemberPath path;
        MakePath(path, c.Items);
        EXPECT_EQ(m_Nod->CheckParam(&path), c.Result) << c.Items.size() << " items";
    }
    CTestOther other;
    CMwMemberPath path;
    MakePath(path, {M(0x01F81004)});
    EXPECT_EQ(other.CheckParam(&path), 2u);
}

TEST_F(MwMemberAccess, GetParamReadsThroughTheDescriptorOrTheClass) {
    CMwMemberPath path;
    CMwParamValue value;
    MakePath(path, {M(0x01F81003)});
    EXPECT_EQ(m_Nod->GetParam(&path, &value), 0u);
    EXPECT_EQ(value.Value, &m_Nod->m_Scale);

    m_Nod->m_VirtualValue = 77;
    MakePath(path, {M(CTestNod::s_VirtualId)});
    EXPECT_EQ(m_Nod->GetParam(&path, &value), 0u);
    EXPECT_EQ(value.Value, &m_Nod->m_VirtualValue);
    EXPECT_EQ(m_Nod->m_VirtualReads, 1u);

    m_Linked->m_Scale = 2.5f;
    MakePath(path, {M(0x01F8100A), M(0x01F81003)});
    EXPECT_EQ(m_Nod->GetParam(&path, &value), 0u);
    EXPECT_EQ(value.Value, &m_Linked->m_Scale);

    // A member of another class; a member of the root's IdName on a nod without a name.
    CTestOther other;
    MakePath(path, {M(0x01F81003)});
    value.Value = &value;
    EXPECT_EQ(other.GetParam(&path, &value), 1u);
    EXPECT_EQ(value.Value, &value);
    MakePath(path, {M(0x01001000)});
    EXPECT_EQ(other.GetParam(&path, &value), 0u);
    EXPECT_STREQ(static_cast<CClassicString*>(value.Value)->GetText(), "");
    // Items that are not a member item are refused.
    for (const std::vector<CItem>& items :
         {std::vector<CItem>{I(0)}, {N("x")}, {{MwPathItem_Member, 0}}}) {
        MakePath(path, items);
        EXPECT_EQ(m_Nod->GetParam(&path, &value), 2u);
        MakePath(path, items);
        EXPECT_EQ(m_Nod->SetParam(&path, &value), 2u);
        MakePath(path, items);
        EXPECT_EQ(m_Nod->AddParam(&path, &value), 2u);
        MakePath(path, items);
        EXPECT_EQ(m_Nod->SubParam(&path, &value), 2u);
    }
}

TEST_F(MwMemberAccess, WritesGoToTheMemberAndObeyItsFlags) {
    struct Case {
        std::vector<CItem> Items;
        u32 Op; // 0 set, 1 add, 2 sub
        u32 Input;
        u32 Result;
        u32 CTestNod::*Field;
        u32 Expected;
    };
    const Case cases[] = {
        {{M(0x01F80000)}, 0, 5, 0, nullptr, 0},
        // Each write needs its own flag (or its virtual route): Set, Add, Sub.
        {{M(0x01F8100F)}, 0, 5, 2, &CTestNod::m_ReadOnly, 0},
        {{M(0x01F8100F)}, 1, 5, 2, &CTestNod::m_ReadOnly, 0},
        {{M(0x01F8100F)}, 2, 5, 2, &CTestNod::m_ReadOnly, 0},
        {{M(0x01F81015)}, 0, 5, 2, &CTestNod::m_Tally, 0},
        {{M(0x01F81015)}, 1, 5, 0, &CTestNod::m_Tally, 5},
        {{M(0x01F81015)}, 2, 5, 2, &CTestNod::m_Tally, 0},
        {{M(CTestNod::s_VirtualId)}, 1, 5, 2, &CTestNod::m_VirtualValue, 0},
        {{M(CTestNod::s_VirtualId)}, 2, 5, 2, &CTestNod::m_VirtualValue, 0},
        {{M(0x01F81010)}, 0, 70000, 0, &CTestNod::m_Size, 70000},
        {{M(0x01F81010)}, 2, 1, 2, &CTestNod::m_Size, 0},
        {{M(0x01F81000)}, 1, 1, 2, &CTestNod::m_Enabled, 0},
        {{M(0x01F81001)}, 2, 1, 0, nullptr, 0},
        {{M(CTestNod::s_VirtualId)}, 0, 9, 0, &CTestNod::m_VirtualValue, 9},
        {{M(0x01F82000)}, 0, 5, 1, nullptr, 0}, // a member of another class
        {{M(0x01F82000)}, 1, 5, 1, nullptr, 0},
        {{M(0x01F82000)}, 2, 5, 1, nullptr, 0},
    };
    for (const Case& c : cases) {
        CTestNod nod;
        CMwMemberPath path;
        MakePath(path, c.Items);
        const u32 result = c.Op == 0   ? nod.SetParam(&path, &c.Input)
                           : c.Op == 1 ? nod.AddParam(&path, &c.Input)
                                       : nod.SubParam(&path, &c.Input);
        EXPECT_EQ(result, c.Result) << c.Items.size() << " op " << c.Op;
        if (c.Field) {
            EXPECT_EQ(nod.*c.Field, c.Expected);
        }
    }
    CTestNod nod;
    CMwMemberPath path;
    const u32 five = 5;
    MakePath(path, {M(0x01F80000)});
    EXPECT_EQ(nod.SetParam(&path, &five), 0u);
    EXPECT_EQ(nod.m_Count, 5u);
}

TEST_F(MwMemberAccess, AReadOnlyNodMemberStillLeadsToSettableMembers) {
    CMwMemberPath path;
    const f32 scale = 4.0f;
    MakePath(path, {M(0x01F8100B), M(0x01F81003)});
    EXPECT_EQ(m_Nod->SetParam(&path, &scale), 0u);
    EXPECT_EQ(m_Linked->m_Scale, 4.0f);
    // ... but the member itself is not replaced, and the nod reached decides by its own flags.
    MakePath(path, {M(0x01F8100B)});
    EXPECT_EQ(m_Nod->SetParam(&path, m_Child), 2u);
    EXPECT_EQ(m_Nod->m_Parent, m_Linked);
    const u32 one = 1;
    MakePath(path, {M(0x01F8100B), M(0x01F8100F)});
    EXPECT_EQ(m_Nod->SetParam(&path, &one), 2u);
    EXPECT_EQ(m_Linked->m_ReadOnly, 0u);
    // Adding and removing pass through it the same way.
    const i32 three = 3;
    MakePath(path, {M(0x01F8100B), M(0x01F81001)});
    EXPECT_EQ(m_Nod->AddParam(&path, &three), 0u);
    MakePath(path, {M(0x01F8100B), M(0x01F81001)});
    EXPECT_EQ(m_Nod->AddParam(&path, &three), 0u);
    MakePath(path, {M(0x01F8100B), M(0x01F81001)});
    EXPECT_EQ(m_Nod->SubParam(&path, &one), 0u);
    EXPECT_EQ(m_Linked->m_Offset, 5);
    MakePath(path, {M(0x01F8100B), M(0x01F8100F)});
    EXPECT_EQ(m_Nod->AddParam(&path, &one), 2u);
    MakePath(path, {M(0x01F8100B), M(0x01F8100F)});
    EXPECT_EQ(m_Nod->SubParam(&path, &one), 2u);
    EXPECT_EQ(m_Linked->m_ReadOnly, 0u);
}

TEST_F(MwMemberAccess, ActionsAndProceduresCallTheirMethod) {
    CMwMemberPath path;
    MakePath(path, {M(0x01F81011)});
    EXPECT_EQ(m_Nod->SetParam(&path, nullptr), 0u);
    EXPECT_EQ(m_Nod->m_Resets, 1u);
    MakePath(path, {M(0x01F81012), {MwPathItem_ArgumentNatural, 42}});
    EXPECT_EQ(m_Nod->SetParam(&path, nullptr), 0u);
    EXPECT_EQ(m_Nod->m_Calls, 1u);
    EXPECT_EQ(m_Nod->m_CallCount, 42u);
    // Reading an argument's default goes through the procedure's descriptor.
    CMwParamValue value;
    MakePath(path, {M(0x01F81012), I(2)});
    EXPECT_EQ(m_Nod->GetParam(&path, &value), 0u);
    EXPECT_EQ(value.Value, &CMwParam::s_EmptyString);
    MakePath(path, {M(0x01F81012), I(4)});
    EXPECT_EQ(m_Nod->GetParam(&path, &value), 2u);
}

// ---------------------------------------------------------------------------------------------
// Setting members from text

TEST_F(MwMemberAccess, SetParamFromTextParsesChecksAndSets) {
    struct Case {
        const char* Path;
        const char* Value;
        u32 Result;
        const char* Why; // in the log line of a failure
    };
    const Case cases[] = {
        {"", "1", 5, "empty path"},
        {"...", "1", 1, "the path names no member"},
        {"ReadOnly", "5", 2, "the member may not be set"},
        {"Nods", "x", 7, "the member has no text form"},
        {"Values", "1", 7, "the member has no text form"},
        {"Color", "1 1 1", 7, "the member has no text form"},
        {"Call", "1", 7, "the member has no text form"},
        {"Call.1", "1", 1, "the path names no member"},
        {"Nope", "1", 1, "the path names no member"},
        {"Pos.length", "3", 2, "the path does not check"},
        {"Link.Link.Scale", "3", 2, "the path does not check"},
        {"Offset", "-42", 0, nullptr},
        {"Scale", "2.5", 0, nullptr},
        {"Label", "hello", 0, nullptr},
        {"Mode", "modulatex2", 0, nullptr},
        {"Enabled", "oui", 0, nullptr},
        {"Size", "70000", 0, nullptr},
        {"Count", "12", 0, nullptr},
        {"Virtual", "31", 0, nullptr},
        {"IdName", "Bob", 0, nullptr},
        {"Link.Scale", "6.5", 0, nullptr},
        {"Parent.Offset", "8", 0, nullptr},
        {"Reset", "ignored", 0, nullptr},
        {"Pos.y", "1.5", 0, nullptr},
    };
    for (const Case& c : cases) {
        const CLogWatch log;
        EXPECT_EQ(m_Nod->SetParamFromText(CClassicString(c.Path), Wide(c.Value)), c.Result)
            << c.Path;
        if (c.Why) {
            EXPECT_EQ(log.Since(), std::string("[MwNod] CTestNod member \"") + c.Path +
                                       "\" not set from text: " + c.Why + " (result " +
                                       std::to_string(c.Result) + ")\r\n");
        } else {
            EXPECT_EQ(log.Since(), "") << c.Path;
        }
    }
    EXPECT_EQ(m_Nod->m_Offset, -42);
    EXPECT_EQ(m_Nod->m_Scale, 2.5f);
    EXPECT_STREQ(m_Nod->m_Label.GetText(), "hello");
    EXPECT_EQ(m_Nod->m_Mode, 3u);
    EXPECT_EQ(m_Nod->m_Enabled, 1u);
    EXPECT_EQ(m_Nod->m_Size, 70000u);
    EXPECT_EQ(m_Nod->m_Count, 12u);
    EXPECT_EQ(m_Nod->m_VirtualValue, 31u);
    EXPECT_STREQ(m_Nod->m_Id.ToString().GetText(), "Bob");
    EXPECT_EQ(m_Linked->m_Scale, 6.5f);
    EXPECT_EQ(m_Linked->m_Offset, 8);
    EXPECT_EQ(m_Nod->m_Resets, 1u);
    EXPECT_EQ(m_Nod->m_Pos.y, 1.5f);
    EXPECT_EQ(m_Nod->m_ReadOnly, 0u);

    CClassicWideString caption(u"\u00e9t\u00e9");
    EXPECT_EQ(m_Nod->SetParamFromText(CClassicString("Caption"), caption), 0u);
    EXPECT_EQ(m_Nod->m_Caption.Compare(caption), 0) << "wide text is kept as it is";
}

TEST_F(MwMemberAccess, ALoggedPathCannotForgeLogLines) {
    std::string path = "Nope\r\n[MwNod] forged";
    path += std::string(100, 'x');
    const CLogWatch log;
    EXPECT_EQ(m_Nod->SetParamFromText(CClassicString(path.c_str()), Wide("1")), 1u);
    const std::string line = log.Since();
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    EXPECT_NE(line.find("Nope??[MwNod] forged"), std::string::npos) << line;
    EXPECT_NE(line.find("xxx...\""), std::string::npos) << line;
}

// A nod member is set from the hexadecimal address of a live nod of the class it accepts.
TEST_F(MwMemberAccess, ANodMemberIsSetOnlyFromTheAddressOfALiveNodOfItsClass) {
    CTestNod candidate;
    CTestBase base;
    CTestOther other;
    CTestNod* gone = new CTestNod;
    const std::string goneAddress = AddressText(gone);
    delete gone;
    const std::string live = AddressText(&candidate);
    struct Case {
        std::string Value;
        u32 Result;
        CMwNod* Link; // the member afterwards
        const char* Why;
    };
    const Case cases[] = {
        {live, 0, &candidate, nullptr},
        {"", 0, nullptr, nullptr},
        {"0x" + live, 0, &candidate, nullptr},
        {" " + live + " ", 0, &candidate, nullptr},
        {AddressText(&base), 2, &candidate, "the value is not a live nod of the member's class"},
        {AddressText(&other), 2, &candidate, "the value is not a live nod of the member's class"},
        {goneAddress, 2, &candidate, "the value is not a live nod of the member's class"},
        {"0", 2, &candidate, "the value is not a live nod of the member's class"},
        {"0xdeadbeef", 2, &candidate, "the value is not a live nod of the member's class"},
        {"FFFFFFFFFFFFFFFF", 2, &candidate, "the value is not a live nod of the member's class"},
        {"1FFFFFFFFFFFFFFFF", 7, &candidate, "the value is not a nod address"},
        {"zzz", 7, &candidate, "the value is not a nod address"},
        {"0x", 7, &candidate, "the value is not a nod address"},
        {live + "g", 7, &candidate, "the value is not a nod address"},
        {"-" + live, 7, &candidate, "the value is not a nod address"},
    };
    for (const Case& c : cases) {
        const CLogWatch log;
        EXPECT_EQ(m_Nod->SetParamFromText(CClassicString("Link"), Wide(c.Value)), c.Result)
            << c.Value;
        EXPECT_EQ(m_Nod->m_Link, c.Link) << c.Value;
        if (c.Why) {
            EXPECT_EQ(log.Since(), std::string("[MwNod] CTestNod member \"Link\" not set from "
                                               "text: ") +
                                       c.Why + " (result " + std::to_string(c.Result) + ")\r\n");
        }
    }
    // The base class is enough for a member that accepts it; the reference-taking member counts.
    EXPECT_EQ(m_Nod->SetParamFromText(CClassicString("Held"), Wide(AddressText(&base))), 0u);
    EXPECT_EQ(m_Nod->m_Held.Get(), &base);
    EXPECT_EQ(base.GetRefCount(), 1);
    EXPECT_EQ(m_Nod->SetParamFromText(CClassicString("Held"), Wide(AddressText(&base))), 0u);
    EXPECT_EQ(base.GetRefCount(), 1);
    base.AddRef(); // keeps the stack nod alive when the member lets it go
    EXPECT_EQ(m_Nod->SetParamFromText(CClassicString("Held"), Wide("")), 0u);
    EXPECT_EQ(m_Nod->m_Held.Get(), nullptr);
    EXPECT_EQ(base.GetRefCount(), 1);
    m_Nod->m_Link = nullptr;
}

} // namespace
