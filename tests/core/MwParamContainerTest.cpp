// The container member kinds: arrays, buffers and bucket lists over representative base kinds,
// reached along member paths.
#include "core/nod/MwParamContainer.h"

#include "CoreTestSupport.h"
#include "core/math/Iso.h"
#include "core/math/Quat.h"
#include "core/math/Vec.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParamStruct.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// The nods held in the lists: a name and one member.
class CElementNod : public CMwNod {
    MW_DECLARE_CLASS(CElementNod, CMwNod, 0x01FA1000)
public:
    CMwId* GetIdPtr() override { return &m_Id; }

    CMwId m_Id;
    u32 m_Value = 0;
    u32 m_Fixed = 0;
};

#define CELEMENTNOD_MEMBERS(X)                                                                     \
    X(Natural, 0x01FA1000, "Value", MW_FIELD(m_Value), "Value", 0x03, 0x380)                       \
    X(Natural, 0x01FA1001, "Fixed", MW_FIELD(m_Fixed), "Fixed", 0x01, 0x380)

MW_DEFINE_CLASS(CElementNod, MwFactory<CElementNod>, CELEMENTNOD_MEMBERS, MW_NO_CHUNKS);

// One container member per row of the families, over representative base kinds.
class CListsNod : public CMwNod {
    MW_DECLARE_CLASS(CListsNod, CMwNod, 0x01FA0000)
public:
    ~CListsNod() override {
        m_Reals.FreeItems();
        m_Flags.FreeItems();
        m_Texts.FreeItems();
        m_Points.FreeItems();
        m_Nods.FreeItems();
        m_Locations.FreeItems();
        m_Queue.FreeItems();
        m_Ticks.FreeItems();
        m_Turns.FreeItems();
    }

    CFastArray<i32> m_Integers;
    CFastArray<CClassicString> m_Names;
    CFastArray<CMwNod*> m_NodArray;
    CFastBuffer<f32> m_Reals;
    CFastBuffer<u32> m_Flags;
    CFastBuffer<CClassicString> m_Texts;
    CFastBuffer<Vec3> m_Points;
    CFastBuffer<CMwNod*> m_Nods;
    CFastBuffer<Iso4> m_Locations;
    CMwBucketList<CMwNod*> m_Queue;
    CMwBucketList<u32> m_Ticks;
    CFastArray<Vec2> m_Marks;
    CFastBuffer<Quat> m_Turns;
};

#define CLISTSNOD_MEMBERS(X)                                                                       \
    X(Array, 0x01FA0000, "Integers", MW_FIELD(m_Integers), "Integers", 0x0F, 0x380,                \
      MwType_Integer, 0xF, "Integer")                                                              \
    X(Array, 0x01FA0001, "Names", MW_FIELD(m_Names), "Names", 0x0F, 0x380, MwType_String, 0xF,     \
      "Name")                                                                                      \
    X(Array, 0x01FA0002, "NodArray", MW_FIELD(m_NodArray), "NodArray", 0x0F, 0x3F82, MwType_Class, \
      0xF, "Nod", &CElementNod::s_ClassInfo)                                                       \
    X(Buffer, 0x01FA0003, "Reals", MW_FIELD(m_Reals), "Reals", 0x0F, 0x380, MwType_Real, 0xF,      \
      "Real")                                                                                      \
    X(Buffer, 0x01FA0004, "Flags", MW_FIELD(m_Flags), "Flags", 0x0F, 0x380, MwType_Bool, 0xF,      \
      "Flag")                                                                                      \
    X(Buffer, 0x01FA0005, "Texts", MW_FIELD(m_Texts), "Texts", 0x0F, 0x380, MwType_String, 0xF,    \
      "Text")                                                                                      \
    X(Buffer, 0x01FA0006, "Points", MW_FIELD(m_Points), "Points", 0x0F, 0x380, MwType_Vec3, 0xF,   \
      "Point")                                                                                     \
    X(Buffer, 0x01FA0007, "Nods", MW_FIELD(m_Nods), "Nods", 0x0F, 0x3F82, MwType_Class, 0xF,       \
      "Nod", &CElementNod::s_ClassInfo)                                                            \
    X(Buffer, 0x01FA0008, "Locations", MW_FIELD(m_Locations), "Locations", 0x0F, 0x380,            \
      MwType_Iso4, 0xF, "Location")                                                                \
    X(BucketList, 0x01FA0009, "Queue", MW_FIELD(m_Queue), "Queue", 0x01, 0x380, MwType_Class, 0x1, \
      "Nod", &CElementNod::s_ClassInfo)                                                            \
    X(BucketList, 0x01FA000A, "Ticks", MW_FIELD(m_Ticks), "Ticks", 0x0F, 0x380, MwType_Natural,    \
      0xF, "Tick")                                                                                 \
    X(Array, 0x01FA000B, "Marks", MW_FIELD(m_Marks), "Marks", 0x0F, 0x380, MwType_Vec2, 0xF,       \
      "Mark")                                                                                      \
    X(Buffer, 0x01FA000C, "Turns", MW_FIELD(m_Turns), "Turns", 0x0F, 0x380, MwType_Quat, 0xF,      \
      "Turn")

MW_DEFINE_CLASS(CListsNod, MwFactory<CListsNod>, CLISTSNOD_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_TestClasses[] = {&CElementNod::s_ClassInfo,
                                                 &CListsNod::s_ClassInfo};
constinit const CMwClassList s_TestClassList = {s_TestClasses, 2};

enum EMember : u32 {
    kIntegers = 0x01FA0000,
    kNames,
    kNodArray,
    kReals,
    kFlags,
    kTexts,
    kPoints,
    kNods,
    kLocations,
    kQueue,
    kTicks,
    kMarks,
    kTurns,
};

// The nods and the lists of one test: four named element nods, and every list filled.
struct CWorld {
    CWorld() {
        const char* names[] = {"First", "Second", "Third", "Fourth"};
        for (u32 i = 0; i < 4; ++i) {
            e[i].m_Id.SetFromName(names[i]);
            e[i].m_Value = 10 + i;
        }
        Fill(lists.m_Integers, {5, -2, 7});
        Fill(lists.m_Names, {CClassicString("a"), CClassicString("b"), CClassicString("c")});
        Fill(lists.m_NodArray, {&e[0], nullptr, &e[2]});
        Fill(lists.m_Reals, {1.5f, 2.5f, 3.5f, 4.5f});
        Fill(lists.m_Flags, {0u, 1u});
        Fill(lists.m_Texts, {CClassicString("a"), CClassicString("b"), CClassicString("c")});
        lists.m_Texts.Reserve(4);
        Fill(lists.m_Points, {Vec3{1, 2, 3}, Vec3{3, 4, 0}});
        Fill(lists.m_Nods, {&e[0], &e[1], &e[2]});
        Fill(lists.m_Locations, {GmIso4Identity});
        lists.m_Queue.SetBucketCount(2);
        lists.m_Queue.AddToBucket(&e[0], 0);
        lists.m_Queue.AddToBucket(&e[1], 1);
        lists.m_Ticks.SetBucketCount(1);
        lists.m_Ticks.AddToBucket(10, 0);
        lists.m_Ticks.AddToBucket(0xFFFFFFFF, 0);
        Fill(lists.m_Marks, {Vec2{3, 4}});
        Fill(lists.m_Turns, {Quat{0, 1, 0, 0}});
    }

    template <class T>
    static void Fill(CFastArray<T>& array, std::initializer_list<std::type_identity_t<T>> values) {
        array.SetCount(u32(values.size()));
        u32 i = 0;
        for (const T& value : values)
            array.m_Items[i++] = value;
    }
    template <class T>
    static void Fill(CFastBuffer<T>& buffer,
                     std::initializer_list<std::type_identity_t<T>> values) {
        buffer.Reserve(u32(values.size())); // the capacity is exactly the count
        for (const T& value : values)
            buffer.Add(value);
    }

    std::string RefCounts() const {
        std::string counts;
        for (const CElementNod& nod : e)
            counts += std::to_string(nod.GetRefCount()) + " ";
        return counts;
    }

    CElementNod e[4];
    CListsNod lists;
    // Texts handed to the lists.
    CClassicString words[4] = {CClassicString("d"), CClassicString("z"), CClassicString("x"),
                               CClassicString("zz")};
};

std::string Number(f64 value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string NameOf(CMwNod* nod) {
    if (!nod)
        return "-";
    CClassicString text;
    nod->GetIdPtr()->GetText(text);
    return text.GetText();
}

template <class T, class Show>
std::string Join(const T* items, u32 count, Show show) {
    std::string text;
    for (u32 i = 0; i < count; ++i)
        text += (i ? "," : "") + show(items[i]);
    return text;
}

std::string ShowVec(std::initializer_list<f32> components) {
    std::string text = "(";
    for (f32 c : components)
        text += (text.size() > 1 ? " " : "") + Number(c);
    return text + ")";
}

// The content of one list as text.
std::string Show(const CListsNod& n, u32 member) {
    const auto integer = [](i32 v) { return std::to_string(v); };
    const auto natural = [](u32 v) { return std::to_string(v); };
    const auto real = [](f32 v) { return Number(v); };
    const auto text = [](const CClassicString& s) { return std::string(s.GetText()); };
    const auto vec3 = [](const Vec3& v) { return ShowVec({v.x, v.y, v.z}); };
    const auto vec2 = [](const Vec2& v) { return ShowVec({v.x, v.y}); };
    const auto quat = [](const Quat& q) { return ShowVec({q.w, q.x, q.y, q.z}); };
    const auto iso = [](const Iso4& m) {
        const Mat3& r = m.R;
        return "R" + ShowVec({r.m00, r.m01, r.m02, r.m10, r.m11, r.m12, r.m20, r.m21, r.m22}) +
               "t" + ShowVec({m.t.x, m.t.y, m.t.z});
    };
    switch (member) {
        case kIntegers:
            return Join(n.m_Integers.m_Items, n.m_Integers.m_Count, integer);
        case kNames:
            return Join(n.m_Names.m_Items, n.m_Names.m_Count, text);
        case kNodArray:
            return Join(n.m_NodArray.m_Items, n.m_NodArray.m_Count, NameOf);
        case kReals:
            return Join(n.m_Reals.m_Items, n.m_Reals.m_Count, real);
        case kFlags:
            return Join(n.m_Flags.m_Items, n.m_Flags.m_Count, natural);
        case kTexts:
            return Join(n.m_Texts.m_Items, n.m_Texts.m_Count, text);
        case kPoints:
            return Join(n.m_Points.m_Items, n.m_Points.m_Count, vec3);
        case kNods:
            return Join(n.m_Nods.m_Items, n.m_Nods.m_Count, NameOf);
        case kLocations:
            return Join(n.m_Locations.m_Items, n.m_Locations.m_Count, iso);
        case kQueue:
            return Join(n.m_Queue.m_Items.m_Items, n.m_Queue.GetCount(), NameOf) + "/" +
                   std::to_string(n.m_Queue.GetBucketCount());
        case kTicks:
            return Join(n.m_Ticks.m_Items.m_Items, n.m_Ticks.GetCount(), natural);
        case kMarks:
            return Join(n.m_Marks.m_Items, n.m_Marks.m_Count, vec2);
        case kTurns:
            return Join(n.m_Turns.m_Items, n.m_Turns.m_Count, quat);
        default:
            return "?";
    }
}

// Every list, for "nothing changed".
std::string ShowAll(const CListsNod& n) {
    std::string text;
    for (u32 member = kIntegers; member <= kTurns; ++member)
        text += Show(n, member) + ";";
    return text;
}

// A path built item by item: member ids become member items.
struct CItem {
    u32 Kind;
    MwPathValue Value;
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

void Build(CMwMemberPath& path, const std::vector<CItem>& items) {
    path.Reserve(0);
    path.Reserve(u32(items.size()));
    for (const CItem& item : items) {
        path.PushFront(item.Value);
        path.m_Kinds[0] = item.Kind;
    }
    path.Reset();
}

// A path from text, parsed against the lists.
void Parse(CMwMemberPath& path, CListsNod& lists, const char* text) {
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, &lists, CClassicString(text)), 0u) << text;
}

enum EOp { kGet, kSet, kAdd, kSub };

u32 Apply(CMwNod& nod, EOp op, CMwMemberPath& path, const void* input, CMwParamValue* out) {
    switch (op) {
        case kGet:
            return nod.GetParam(&path, out);
        case kSet:
            return nod.SetParam(&path, input);
        case kAdd:
            return nod.AddParam(&path, input);
        default:
            return nod.SubParam(&path, input);
    }
}

// Inputs of the tables: values that live as long as the test.
template <class T>
const void* Keep(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    static std::vector<std::vector<u8>> kept;
    kept.emplace_back(reinterpret_cast<const u8*>(&value),
                      reinterpret_cast<const u8*>(&value) + sizeof(T));
    return kept.back().data();
}

class MwParamContainer : public CMwCoreFixture {
protected:
    MwParamContainer() : CMwCoreFixture(&s_TestClassList) {}
};

// A table row of one family: an operation with the path used up at a list member.
struct CListCase {
    const char* Name;
    u32 Member;
    EOp Op;
    const void* (*Input)(CWorld&);
    u32 Result;
    const char* After;
    u32 Capacity; // buffers: the capacity afterwards
};

void RunListCases(CWorld& w, const CListCase& test) {
    const std::string before = ShowAll(w.lists);
    const std::string counts = w.RefCounts();
    CMwMemberPath path;
    Build(path, {M(test.Member)});
    EXPECT_EQ(Apply(w.lists, test.Op, path, test.Input(w), nullptr), test.Result) << test.Name;
    EXPECT_EQ(Show(w.lists, test.Member), test.After) << test.Name;
    EXPECT_EQ(w.RefCounts(), counts) << test.Name << ": lists never count references";
    if (test.Result != MwParam_Ok) {
        EXPECT_EQ(ShowAll(w.lists), before) << test.Name;
    }
}

const void* Position(u32 p) {
    return Keep(p);
}

TEST_F(MwParamContainer, ArraysAppendAndRemoveInExactBlocks) {
    const CListCase cases[] = {
        {"append an integer", kIntegers, kAdd, [](CWorld&) { return Keep(i32(9)); }, 0, "5,-2,7,9",
         0},
        {"remove the middle integer", kIntegers, kSub, [](CWorld&) { return Position(1); }, 0,
         "5,7", 0},
        {"remove past the count", kIntegers, kSub, [](CWorld&) { return Position(3); }, 2, "5,-2,7",
         0},
        {"append a string", kNames, kAdd, [](CWorld& w) -> const void* { return &w.words[0]; }, 0,
         "a,b,c,d", 0},
        {"append a string from the array itself", kNames, kAdd,
         [](CWorld& w) -> const void* { return &w.lists.m_Names.m_Items[0]; }, 0, "a,b,c,a", 0},
        {"remove the first string", kNames, kSub, [](CWorld&) { return Position(0); }, 0, "b,c", 0},
        {"append a nod", kNodArray, kAdd, [](CWorld& w) -> const void* { return &w.e[3]; }, 0,
         "First,-,Third,Fourth", 0},
        {"remove a nod", kNodArray, kSub, [](CWorld&) { return Position(0); }, 0, "-,Third", 0},
        {"remove without a position", kNodArray, kSub,
         [](CWorld&) -> const void* { return nullptr; }, 2, "First,-,Third", 0},
        {"append a Vec2", kMarks, kAdd,
         [](CWorld&) {
             return Keep(Vec2{1, 1});
         },
         0, "(3 4),(1 1)", 0},
    };
    for (const CListCase& test : cases) {
        CWorld w;
        RunListCases(w, test);
    }
}

// An array keeps no spare room: the block follows the count, and the last removal frees it.
TEST_F(MwParamContainer, AnArrayBlockFollowsItsCount) {
    CWorld w;
    CFastArray<i32>& integers = w.lists.m_Integers;
    integers.SetCount(0);
    CMwMemberPath path;
    for (i32 value : {4, 8}) {
        Build(path, {M(kIntegers)});
        ASSERT_EQ(w.lists.AddParam(&path, &value), 0u);
    }
    EXPECT_EQ(integers.m_Count, 2u);
    EXPECT_EQ(Show(w.lists, kIntegers), "4,8");
    const u32 second = 1, first = 0;
    for (const u32* position : {&second, &second, &first, &first}) {
        Build(path, {M(kIntegers)});
        const u32 count = integers.m_Count;
        EXPECT_EQ(w.lists.SubParam(&path, position), *position < count ? 0u : 2u);
    }
    EXPECT_EQ(integers.m_Count, 0u);
    EXPECT_EQ(integers.m_Items, nullptr) << "the last removal frees the block";
}

TEST_F(MwParamContainer, BuffersGrowByHalfAndKeepTheirOrderOnRemoval) {
    const CListCase cases[] = {
        {"append a real to a full buffer", kReals, kAdd, [](CWorld&) { return Keep(5.5f); }, 0,
         "1.5,2.5,3.5,4.5,5.5", 6},
        {"remove a real", kReals, kSub, [](CWorld&) { return Position(1); }, 0, "1.5,3.5,4.5", 4},
        {"remove the last real", kReals, kSub, [](CWorld&) { return Position(3); }, 0,
         "1.5,2.5,3.5", 4},
        {"remove past the count", kReals, kSub, [](CWorld&) { return Position(4); }, 2,
         "1.5,2.5,3.5,4.5", 4},
        {"remove a string", kTexts, kSub, [](CWorld&) { return Position(1); }, 0, "a,c", 4},
        {"append a string", kTexts, kAdd, [](CWorld& w) -> const void* { return &w.words[1]; }, 0,
         "a,b,c,z", 4},
        {"append a bool", kFlags, kAdd, [](CWorld&) { return Keep(u32(1)); }, 0, "0,1,1", 3},
        {"append a Vec3", kPoints, kAdd,
         [](CWorld&) {
             return Keep(Vec3{7, 8, 9});
         },
         0, "(1 2 3),(3 4 0),(7 8 9)", 3},
        {"append a nod", kNods, kAdd, [](CWorld& w) -> const void* { return &w.e[3]; }, 0,
         "First,Second,Third,Fourth", 4},
        {"remove the first nod", kNods, kSub, [](CWorld&) { return Position(0); }, 0,
         "Second,Third", 3},
        {"append a null nod", kNods, kAdd, [](CWorld&) -> const void* { return nullptr; }, 0,
         "First,Second,Third,-", 4},
        {"append nothing", kPoints, kAdd, [](CWorld&) -> const void* { return nullptr; }, 2,
         "(1 2 3),(3 4 0)", 2},
    };
    for (const CListCase& test : cases) {
        CWorld w;
        RunListCases(w, test);
        u32 capacity = 0;
        switch (test.Member) {
            case kReals:
                capacity = w.lists.m_Reals.m_Capacity;
                break;
            case kTexts:
                capacity = w.lists.m_Texts.m_Capacity;
                break;
            case kFlags:
                capacity = w.lists.m_Flags.m_Capacity;
                break;
            case kPoints:
                capacity = w.lists.m_Points.m_Capacity;
                break;
            default:
                capacity = w.lists.m_Nods.m_Capacity;
        }
        EXPECT_EQ(capacity, test.Capacity) << test.Name;
    }
}

// Bucket lists are read through their element buffer; appending and removing at the member change
// nothing (their owner places the elements), but single elements are reached.
TEST_F(MwParamContainer, BucketListsAreReadAndTheirElementsReached) {
    const CListCase cases[] = {
        {"append", kTicks, kAdd, [](CWorld&) { return Position(5); }, 0, "10,4294967295", 0},
        {"remove", kTicks, kSub, [](CWorld&) { return Position(0); }, 0, "10,4294967295", 0},
        // Queue's flags allow neither.
        {"append to a read-only list", kQueue, kAdd,
         [](CWorld& w) -> const void* { return &w.e[3]; }, 2, "First,Second/2", 0},
        {"remove from a read-only list", kQueue, kSub, [](CWorld&) { return Position(0); }, 2,
         "First,Second/2", 0},
        {"remove past the count", kTicks, kSub, [](CWorld&) { return Position(7); }, 0,
         "10,4294967295", 0},
        {"set the whole list", kTicks, kSet, [](CWorld&) { return Position(0); }, 0,
         "10,4294967295", 0},
    };
    for (const CListCase& test : cases) {
        CWorld w;
        const std::string before = ShowAll(w.lists);
        RunListCases(w, test);
        EXPECT_EQ(ShowAll(w.lists), before) << test.Name;
    }

    CWorld w;
    CMwMemberPath path;
    CMwParamValue value;
    Build(path, {M(kQueue)});
    ASSERT_EQ(w.lists.GetParam(&path, &value), 0u);
    EXPECT_EQ(value.Value, &w.lists.m_Queue);
    EXPECT_EQ(CMwParam::GetDescriptor(MwType_Class + MwTypeBucketList)->GetCount(value), 2u);
    Parse(path, w.lists, "Queue.##Second");
    ASSERT_EQ(w.lists.GetParam(&path, &value), 0u);
    EXPECT_EQ(value.Value, &w.e[1]);
    // Natural elements wrap.
    Parse(path, w.lists, "Ticks.1");
    const u32 two = 2;
    EXPECT_EQ(w.lists.AddParam(&path, &two), 0u);
    EXPECT_EQ(Show(w.lists, kTicks), "10,1");
}

// The command buffer's Cmds, the one bucket-list member of the engine.
TEST_F(MwParamContainer, TheCommandsOfACommandBufferAreCountedAndReached) {
    auto* buffer = static_cast<CMwCmdBuffer*>(CMwClassRegistry::CreateNodById(0x0101c000));
    ASSERT_NE(buffer, nullptr);
    CMwCmd* cmds[2] = {new CMwCmd, new CMwCmd};
    for (CMwCmd* cmd : cmds) {
        cmd->AttachBuffer(buffer);
        cmd->Install();
    }
    CMwMemberPath path;
    CMwParamValue value;
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, buffer, "Cmds"), 0u);
    ASSERT_EQ(buffer->GetParam(&path, &value), 0u);
    EXPECT_EQ(CMwParam::GetDescriptor(MwType_Class + MwTypeBucketList)->GetCount(value), 2u);
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, buffer, "Cmds.1"), 0u);
    EXPECT_EQ(buffer->CheckParam(&path), 0u);
    path.Reset();
    ASSERT_EQ(buffer->GetParam(&path, &value), 0u);
    EXPECT_TRUE(value.Value == cmds[0] || value.Value == cmds[1]);
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, buffer, "Cmds.2"), 0u);
    EXPECT_EQ(buffer->CheckParam(&path), 2u);
    path.Reset();
    EXPECT_EQ(buffer->GetParam(&path, &value), 2u);
    delete buffer; // releases the commands, which go
}

// What one element receives is what the base kind does to a single member.
TEST_F(MwParamContainer, ElementOperationsAreThoseOfTheBaseKind) {
    struct CCase {
        const char* Path;
        EOp Op;
        const void* (*Input)(CWorld&);
        u32 Member;
        const char* After;
    };
    const CCase cases[] = {
        {"Flags.0", kAdd, [](CWorld&) { return Keep(u32(1)); }, kFlags, "1,1"},
        {"Flags.1", kSub, [](CWorld&) { return Keep(u32(0)); }, kFlags, "0,0"},
        {"Integers.0", kAdd, [](CWorld&) { return Keep(i32(3)); }, kIntegers, "8,-2,7"},
        {"Integers.1", kSub, [](CWorld&) { return Keep(i32(0x7FFFFFFF)); }, kIntegers,
         "5,2147483647,7"},
        {"Integers.2", kSet, [](CWorld&) { return Keep(i32(-1)); }, kIntegers, "5,-2,-1"},
        {"Reals.3", kSub, [](CWorld&) { return Keep(0.5f); }, kReals, "1.5,2.5,3.5,4"},
        {"Names.1", kAdd, [](CWorld& w) -> const void* { return &w.words[2]; }, kNames, "a,bx,c"},
        {"Names.1", kSub, [](CWorld& w) -> const void* { return &w.words[0]; }, kNames, "a,b,c"},
        {"Texts.2", kSet, [](CWorld& w) -> const void* { return &w.words[3]; }, kTexts, "a,b,zz"},
        {"Points.0.z", kAdd, [](CWorld&) { return Keep(1.5f); }, kPoints, "(1 2 4.5),(3 4 0)"},
        {"Points.0.z", kSub, [](CWorld&) { return Keep(1.5f); }, kPoints, "(1 2 1.5),(3 4 0)"},
        {"Points.1", kAdd,
         [](CWorld&) {
             return Keep(Vec3{1, 1, 1});
         },
         kPoints, "(1 2 3),(4 5 1)"},
        {"Points.1", kSet,
         [](CWorld&) {
             return Keep(Vec3{0, 0, 9});
         },
         kPoints, "(1 2 3),(0 0 9)"},
        {"Locations.0", kAdd,
         [](CWorld&) {
             Iso4 shift = GmIso4Identity;
             shift.t = Vec3{1, 0, 0};
             return Keep(shift);
         },
         kLocations, "R(1 0 0 0 1 0 0 0 1)t(1 0 0)"},
        {"Locations.0.tz", kSet, [](CWorld&) { return Keep(2.0f); }, kLocations,
         "R(1 0 0 0 1 0 0 0 1)t(0 0 2)"},
        {"Turns.0", kAdd,
         [](CWorld&) {
             return Keep(Quat{0, 1, 0, 0});
         },
         kTurns, "(-1 0 0 0)"},
        {"Nods.##Third", kSet, [](CWorld& w) -> const void* { return &w.e[3]; }, kNods,
         "First,Second,Fourth"},
        {"Nods.1", kAdd, [](CWorld& w) -> const void* { return &w.e[3]; }, kNods,
         "First,Second,Third"},
    };
    for (const CCase& test : cases) {
        CWorld w;
        const std::string counts = w.RefCounts();
        CMwMemberPath path;
        Parse(path, w.lists, test.Path);
        EXPECT_EQ(w.lists.CheckParam(&path), 0u) << test.Path;
        path.Reset();
        EXPECT_EQ(Apply(w.lists, test.Op, path, test.Input(w), nullptr), 0u) << test.Path;
        EXPECT_EQ(Show(w.lists, test.Member), test.After) << test.Path << " op " << test.Op;
        EXPECT_EQ(w.RefCounts(), counts) << test.Path;
    }
}

TEST_F(MwParamContainer, GetPointsAtTheElementItsComponentOrItsLength) {
    struct CCase {
        const char* Path;
        std::string (*Read)(CWorld&, const CMwParamValue&);
        const char* Expected;
    };
    const auto real = [](CWorld&, const CMwParamValue& v) {
        return Number(*static_cast<f32*>(v.Value));
    };
    const CCase cases[] = {
        {"Integers.2",
         [](CWorld& w, const CMwParamValue& v) {
             return std::string(v.Value == &w.lists.m_Integers.m_Items[2] ? "element 2" : "?");
         },
         "element 2"},
        {"Names.1",
         [](CWorld&, const CMwParamValue& v) {
             return std::string(static_cast<CClassicString*>(v.Value)->GetText());
         },
         "b"},
        {"Points.1.y", real, "4"},
        {"Points.1.length", real, "5"},
        {"Marks.0.length", real, "5"},
        {"Turns.0.x", real, "1"},
        {"Nods.1",
         [](CWorld&, const CMwParamValue& v) { return NameOf(static_cast<CMwNod*>(v.Value)); },
         "Second"},
        {"Nods.##Third",
         [](CWorld&, const CMwParamValue& v) { return NameOf(static_cast<CMwNod*>(v.Value)); },
         "Third"},
        {"Nods.2.Value",
         [](CWorld&, const CMwParamValue& v) {
             return std::to_string(*static_cast<u32*>(v.Value));
         },
         "12"},
        {"Queue.1",
         [](CWorld&, const CMwParamValue& v) { return NameOf(static_cast<CMwNod*>(v.Value)); },
         "Second"},
    };
    for (const CCase& test : cases) {
        CWorld w;
        CMwMemberPath path;
        Parse(path, w.lists, test.Path);
        CMwParamValue value;
        ASSERT_EQ(w.lists.GetParam(&path, &value), 0u) << test.Path;
        EXPECT_EQ(test.Read(w, value), test.Expected) << test.Path;
    }
}

// The reflection bounds rule: whatever the path asks for that is not there answers 2, and no
// list, element or reference count changes.
TEST_F(MwParamContainer, WhatIsNotThereAnswersTwoAndChangesNothing) {
    struct CCase {
        const char* Name;
        std::vector<CItem> (*Items)();
        EOp Op;
        bool Checked = true; // CheckParam finds the fault too (it looks at one index per list)
    };
    const CCase cases[] = {
        {"index at the count",
         [] {
             return std::vector{M(kIntegers), I(3)};
         },
         kGet},
        {"index past the count, written",
         [] {
             return std::vector{M(kIntegers), I(3)};
         },
         kSet},
        {"index past the count, added to",
         [] {
             return std::vector{M(kReals), I(4)};
         },
         kAdd},
        {"index past the count, subtracted from",
         [] {
             return std::vector{M(kNames), I(9)};
         },
         kSub},
        {"the length item on integers",
         [] {
             return std::vector{M(kIntegers), I(0xFFFFFFFF)};
         },
         kGet},
        {"a bucket-list element past the count",
         [] {
             return std::vector{M(kTicks), I(2)};
         },
         kSet},
        {"a name on integers",
         [] {
             return std::vector{M(kIntegers), N("First")};
         },
         kGet},
        {"a name on strings",
         [] {
             return std::vector{M(kTexts), N("a")};
         },
         kSet},
        {"a name no nod has",
         [] {
             return std::vector{M(kNods), N("Nobody")};
         },
         kSet},
        {"a component past a Vec3",
         [] {
             return std::vector{M(kPoints), I(0), I(3)};
         },
         kSet, false},
        {"a null nod with items left",
         [] {
             return std::vector{M(kNodArray), I(1), M(0x01FA1000)};
         },
         kSet},
        {"a member item for an element",
         [] {
             return std::vector{M(kNods), M(kNods)};
         },
         kAdd},
    };
    for (const CCase& test : cases) {
        CWorld w;
        const std::string before = ShowAll(w.lists);
        const u32 values[3] = {w.e[0].m_Value, w.e[1].m_Value, w.e[2].m_Value};
        const std::string counts = w.RefCounts();
        const std::vector<CItem> items = test.Items();
        CMwMemberPath path;
        path.Reserve(u32(items.size()));
        for (const CItem& item : items) {
            path.PushFront(item.Value);
            path.m_Kinds[0] = item.Kind;
        }
        path.Reset();
        EXPECT_EQ(w.lists.CheckParam(&path), test.Checked ? 2u : 0u) << test.Name;
        path.Reset();
        // Inputs big enough for any element kind.
        const Iso4 input = GmIso4Identity;
        CMwParamValue value;
        EXPECT_EQ(Apply(w.lists, test.Op, path, test.Op == kGet ? nullptr : &input, &value), 2u)
            << test.Name;
        EXPECT_EQ(ShowAll(w.lists), before) << test.Name;
        EXPECT_EQ(w.RefCounts(), counts) << test.Name;
        EXPECT_TRUE(w.e[0].m_Value == values[0] && w.e[1].m_Value == values[1] &&
                    w.e[2].m_Value == values[2])
            << test.Name;
    }
}

// An item after a value element belongs to nothing and is ignored: the element is changed as with
// the path used up after it. CMwNod::CheckParam looks at the index right after each list only, so
// it refuses such a path only where the value is a member of an element nod.
TEST_F(MwParamContainer, ItemsLeftAfterAValueElementAreIgnored) {
    struct CCase {
        const char* Name;
        std::vector<CItem> (*Items)();
        EOp Op;
        const void* (*Input)(CWorld&);
        u32 Check;
        const char* After; // Integers, Names and the element nods' values
    };
    const CCase cases[] = {
        {"an index after an integer",
         [] {
             return std::vector{M(kIntegers), I(0), I(0)};
         },
         kAdd, [](CWorld&) { return Keep(i32(3)); }, 0, "8,-2,7;a,b,c;10,11,12"},
        {"a name after a string",
         [] {
             return std::vector{M(kNames), I(1), N("First")};
         },
         kSet, [](CWorld& w) -> const void* { return &w.words[1]; }, 0, "5,-2,7;a,z,c;10,11,12"},
        {"an index after a nod's natural",
         [] {
             return std::vector{M(kNods), I(1), M(0x01FA1000), I(0)};
         },
         kSet, [](CWorld&) { return Keep(u32(99)); }, 2, "5,-2,7;a,b,c;10,99,12"},
    };
    for (const CCase& test : cases) {
        CWorld w;
        CMwMemberPath path;
        Build(path, test.Items());
        EXPECT_EQ(w.lists.CheckParam(&path), test.Check) << test.Name;
        path.Reset();
        EXPECT_EQ(Apply(w.lists, test.Op, path, test.Input(w), nullptr), 0u) << test.Name;
        const std::string after = Show(w.lists, kIntegers) + ";" + Show(w.lists, kNames) + ";" +
                                  std::to_string(w.e[0].m_Value) + "," +
                                  std::to_string(w.e[1].m_Value) + "," +
                                  std::to_string(w.e[2].m_Value);
        EXPECT_EQ(after, test.After) << test.Name;
    }
}

// Paths lead into the nods that lists hold, by index or by name.
TEST_F(MwParamContainer, PathsLeadIntoElementNods) {
    struct CCase {
        const char* Path;
        u32 Check;
        u32 Value; // the element's Value after setting it to 99, 0 when the set is refused
    };
    const CCase cases[] = {
        {"Nods.1.Value", 0, 99},           {"Nods.##Third.Value", 0, 99},
        {"NodArray.0.Value", 0, 99},       {"NodArray.1.Value", 2, 0}, // a null element
        {"NodArray.##Second.Value", 2, 0}, // held by the other list only
        {"Queue.0.Value", 0, 99},
    };
    for (const CCase& test : cases) {
        CWorld w;
        CMwMemberPath path;
        Parse(path, w.lists, test.Path);
        EXPECT_EQ(w.lists.CheckParam(&path), test.Check) << test.Path;
        path.Reset();
        const u32 value = 99;
        // Queue's flags allow no Set, but the path only passes through it into a nod.
        EXPECT_EQ(w.lists.SetParam(&path, &value), test.Check) << test.Path;
        u32 found = 0;
        for (const CElementNod& e : w.e)
            if (e.m_Value == 99)
                found = 99;
        EXPECT_EQ(found, test.Value) << test.Path;
    }
}

// A write that goes on inside an element nod is the nod's business: the list passes it on and
// answers 0 whatever the nod's member answers (here a refusal by its flags, or by its class). The
// one exception is a null element, which has no member to pass the write to: 2, as every null
// nod with items left answers, where passing the write on would dereference null.
TEST_F(MwParamContainer, AWriteIntoAnElementNodAnswersZeroWhateverTheNodAnswers) {
    struct CCase {
        const char* Name;
        std::vector<CItem> (*Items)();
        EOp Op;
        u32 Result;
        u32 Inner; // what the element nod itself answers to the rest of the path (when there is
                   // one)
        const char* Values;
    };
    const CCase cases[] = {
        {"set a settable member",
         [] {
             return std::vector{M(kNods), I(1), M(0x01FA1000)};
         },
         kSet, 0, 0, "10/0,7/0,12/0"},
        {"set a read-only member",
         [] {
             return std::vector{M(kNods), I(1), M(0x01FA1001)};
         },
         kSet, 0, 2, "10/0,11/0,12/0"},
        {"add to a member without Add",
         [] {
             return std::vector{M(kNodArray), I(0), M(0x01FA1000)};
         },
         kAdd, 0, 2, "10/0,11/0,12/0"},
        {"subtract from a member of a bucket list's nod",
         [] {
             return std::vector{M(kQueue), N("Second"), M(0x01FA1001)};
         },
         kSub, 0, 2, "10/0,11/0,12/0"},
        {"a member of another class",
         [] {
             return std::vector{M(kNods), I(2), M(kIntegers)};
         },
         kSet, 0, 1, "10/0,11/0,12/0"},
        {"a null element",
         [] {
             return std::vector{M(kNodArray), I(1), M(0x01FA1000)};
         },
         kSet, 2, 0, "10/0,11/0,12/0"},
    };
    for (const CCase& test : cases) {
        CWorld w;
        const std::string lists = ShowAll(w.lists);
        const std::vector<CItem> items = test.Items();
        const u32 input = 7;
        // What the element nod itself answers to the rest of the path, asked in a world of its
        // own.
        if (test.Result == 0) {
            CWorld own;
            CMwMemberPath head, rest;
            Build(head, {items[0], items[1]});
            CMwParamValue value;
            ASSERT_EQ(own.lists.GetParam(&head, &value), 0u) << test.Name;
            ASSERT_NE(value.Value, nullptr) << test.Name;
            Build(rest, {items[2]});
            EXPECT_EQ(Apply(*static_cast<CMwNod*>(value.Value), test.Op, rest, &input, nullptr),
                      test.Inner)
                << test.Name;
        }
        CMwMemberPath path;
        Build(path, items);
        EXPECT_EQ(Apply(w.lists, test.Op, path, &input, nullptr), test.Result) << test.Name;
        std::string values;
        for (u32 i = 0; i < 3; ++i)
            values += (i ? "," : "") + std::to_string(w.e[i].m_Value) + "/" +
                      std::to_string(w.e[i].m_Fixed);
        EXPECT_EQ(values, test.Values) << test.Name;
        EXPECT_EQ(ShowAll(w.lists), lists) << test.Name;
    }
}

i32 g_StopAt = -1;

struct CVisitor {
    i32 Visit(CMwMemberPath* path, void*) {
        visited.push_back(u32(path->m_Values[0]));
        EXPECT_EQ(path->m_Kinds[0], u32(MwPathItem_Index));
        EXPECT_EQ(path->m_Current, i32(path->m_Count) - 1);
        return i32(visited.size()) == g_StopAt ? 0 : 1;
    }
    std::vector<u32> visited;
};

TEST_F(MwParamContainer, ChildPathsAreTheElementIndices) {
    struct CCase {
        u32 Member;
        u32 First;
        i32 StopAt;
        std::vector<u32> Visited;
    };
    const CCase cases[] = {
        {kNames, 1, -1, {1, 2}},   {kNames, 0, 1, {0}},  {kNames, 3, -1, {}},
        {kNods, 0, -1, {0, 1, 2}}, {kTicks, 1, -1, {1}},
    };
    for (const CCase& test : cases) {
        CWorld w;
        CMwMemberPath base, scratch;
        Build(base, {M(test.Member)});
        const CMwMemberInfo* info = CMwClassRegistry::GetMemberInfo(test.Member);
        CVisitor visitor;
        g_StopAt = test.StopAt;
        info->Param->ForEachChildPath(&w.lists, &base, &scratch, &visitor,
                                      MwChildPathThunk<&CVisitor::Visit>::Call, nullptr,
                                      test.First);
        EXPECT_EQ(visitor.visited, test.Visited) << test.Member << " from " << test.First;
    }
    // A base path that does not end at the list visits nothing.
    CWorld w;
    CMwMemberPath base, scratch;
    Build(base, {M(kNames), I(0)});
    CVisitor visitor;
    CMwClassRegistry::GetMemberInfo(kNames)->Param->ForEachChildPath(
        &w.lists, &base, &scratch, &visitor, MwChildPathThunk<&CVisitor::Visit>::Call, nullptr, 0);
    EXPECT_TRUE(visitor.visited.empty());
}

// Elements are laid out at their real size, whatever the width of a pointer or a string.
TEST_F(MwParamContainer, ElementsHaveTheSizeOfTheirType) {
    struct CCase {
        u32 Base;
        u32 Size;
    };
    const CCase cases[] = {
        {MwType_Bool, sizeof(u32)},
        {MwType_Class, sizeof(CMwNod*)},
        {MwType_Color, sizeof(CMwParamColor::CValue)},
        {MwType_Integer, sizeof(i32)},
        {MwType_Iso4, sizeof(Iso4)},
        {MwType_Iso3, sizeof(Iso3)},
        {MwType_Natural, sizeof(u32)},
        {MwType_Real, sizeof(f32)},
        {MwType_String, sizeof(CClassicString)},
        {MwType_StringInt, sizeof(CClassicWideString)},
        {MwType_Vec2, sizeof(Vec2)},
        {MwType_Vec3, sizeof(Vec3)},
        {MwType_Vec4, sizeof(Vec4)},
        {MwType_Quat, sizeof(Quat)},
    };
    for (const CCase& test : cases) {
        for (u32 layout = MwTypeArray; layout <= MwTypeBucketList; ++layout) {
            auto* param =
                dynamic_cast<CMwParamContainer*>(CMwParam::GetDescriptor(test.Base + layout));
            ASSERT_NE(param, nullptr) << test.Base + layout;
            EXPECT_EQ(param->GetElementSize(), test.Size) << test.Base + layout;
            EXPECT_EQ(param->IsArray(), layout == MwTypeArray);
            EXPECT_EQ(param->IsBuffer(), layout == MwTypeBuffer);
            EXPECT_EQ(param->IsBucketList(), layout == MwTypeBucketList);
            EXPECT_TRUE(param->IsContainerKind());
            EXPECT_FALSE(param->IsRefBuffer() || param->IsStruct() || param->CanToText() ||
                         param->CanFromText());
            u32 first = 0, second = 0;
            param->GetKindPair(&first, &second);
            EXPECT_EQ(first * 10 + second, 12u);
        }
    }
    EXPECT_EQ(sizeof(CMwNod*), 8u) << "these tests run on a 64-bit build";
}

} // namespace
