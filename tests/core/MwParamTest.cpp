// Parameter descriptors: their classes, the shared descriptor table, the binding of member
// records to descriptors and the child-path frame.
#include "core/nod/MwParam.h"

#include "CoreTestSupport.h"
#include "core/nod/MwParamContainer.h"
#include "core/nod/MwParamRefBuffer.h"
#include "core/nod/MwParamScalar.h"

#include <gtest/gtest.h>
#include <set>
#include <utility>
#include <vector>

namespace {

// A class with one member of each binding case.
class CTestReflected : public CMwNod {
    MW_DECLARE_CLASS(CTestReflected, CMwNod, 0x01F60000)
public:
    CMwNodRef m_Held;
    CMwNod* m_Plain = nullptr;
    CFastBuffer<CMwNod*> m_Nods;
    u32 m_Count = 0;
};

#define TEST_REFLECTED_MEMBERS(X)                                                                  \
    X(Class, 0x01F60000, "Held", MW_FIELD(m_Held), "Held", 0x03, 0x3FA0, &CMwNod::s_ClassInfo, 1)  \
    X(Class, 0x01F60001, "Plain", MW_FIELD(m_Plain), "Plain", 0x03, 0x380, &CMwNod::s_ClassInfo,   \
      0)                                                                                           \
    X(Buffer, 0x01F60002, "Nods", MW_FIELD(m_Nods), "Nods", 0x0F, 0x3F82, MwType_Class, 0xF,       \
      "Nod", &CMwNod::s_ClassInfo)                                                                 \
    X(Natural, 0x01F60003, "Count", MW_FIELD(m_Count), "Count", 0x03, 0x380)

MW_DEFINE_CLASS(CTestReflected, MwFactory<CTestReflected>, TEST_REFLECTED_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_TestClasses[] = {&CTestReflected::s_ClassInfo};
constinit const CMwClassList s_TestClassList = {s_TestClasses, 1};

class MwParam : public CMwCoreFixture {
protected:
    MwParam() : CMwCoreFixture(&s_TestClassList) {}
};

constexpr u32 kNoTypeCode = 0xFFFFFFFF;

struct CDescriptorClass {
    const char* Name;
    u32 Id;
    u32 ParentId;
    u32 TypeCode; // the code whose shared descriptor is of this class
};

constexpr CDescriptorClass kDescriptorClasses[] = {
    {"CMwParam", 0x01006000, 0x01001000, kNoTypeCode},
    {"CMwParamClass", 0x01007000, 0x01006000, 5},
    {"CMwParamStruct", 0x01008000, 0x01006000, kNoTypeCode},
    {"CMwParamAction", 0x01009000, 0x01006000, 0},
    {"CMwParamBool", 0x0100C000, 0x01006000, 1},
    {"CMwParamEnum", 0x0100D000, 0x01006000, 13},
    {"CMwParamInteger", 0x0100E000, 0x01006000, 14},
    {"CMwParamIntegerRange", 0x0100F000, 0x0100E000, 18},
    {"CMwParamNatural", 0x01010000, 0x01006000, 27},
    {"CMwParamNaturalRange", 0x01011000, 0x01010000, 31},
    {"CMwParamReal", 0x01013000, 0x01006000, 32},
    {"CMwParamRealRange", 0x01014000, 0x01013000, 36},
    {"CMwParamString", 0x01015000, 0x01006000, 37},
    {"CMwParamVec3", 0x01016000, 0x01008000, 49},
    {"CMwParamIso3", 0x01017000, 0x01008000, 23},
    {"CMwParamColor", 0x01018000, 0x01008000, 9},
    {"CMwParamVec2", 0x01019000, 0x01008000, 45},
    {"CMwParamIso4", 0x0101A000, 0x01008000, 19},
    {"CMwParamVec4", 0x0101F000, 0x01008000, 53},
    {"CMwParamProc", 0x01024000, 0x01006000, 61},
    {"CMwParamRefBuffer", 0x01027000, 0x01006000, 62},
    {"CMwParamStringInt", 0x01028000, 0x01006000, 41},
    {"CMwParamQuat", 0x010B0000, 0x01008000, 57},
};

// The ids of a class and its ancestors, the root's included.
std::set<u32> LineageOf(u32 id) {
    std::set<u32> lineage;
    while (id != 0x01001000) {
        lineage.insert(id);
        u32 parent = 0x01001000;
        for (const CDescriptorClass& row : kDescriptorClasses)
            if (row.Id == id)
                parent = row.ParentId;
        id = parent;
    }
    lineage.insert(0x01001000);
    return lineage;
}

// The kind answers exactly its lineage among the descriptor classes and the root.
void ExpectKinds(CMwNod* nod, u32 id, const char* name) {
    const std::set<u32> lineage = LineageOf(id);
    EXPECT_TRUE(nod->IsKindOf(0x01001000)) << name;
    for (const CDescriptorClass& other : kDescriptorClasses)
        EXPECT_EQ(nod->IsKindOf(other.Id), lineage.count(other.Id) == 1)
            << name << " as a kind of " << other.Name;
    EXPECT_FALSE(nod->IsKindOf(CTestReflected::s_ClassId)) << name;
}

TEST_F(MwParam, EveryDescriptorClassHasItsIdentityAndFactory) {
    for (const CDescriptorClass& row : kDescriptorClasses) {
        CMwClassInfo* info = CMwClassRegistry::GetClassInfoById(row.Id);
        ASSERT_NE(info, nullptr) << row.Name;
        EXPECT_STREQ(info->m_Name, row.Name);
        ASSERT_NE(info->m_Parent, nullptr) << row.Name;
        EXPECT_EQ(info->m_Parent->m_ClassId, row.ParentId) << row.Name;
        EXPECT_EQ(info->m_Base, info->m_Parent) << row.Name;

        CMwNod* nod = CMwClassRegistry::CreateNodById(row.Id);
        ASSERT_NE(nod, nullptr) << row.Name;
        EXPECT_EQ(nod->GetClassId(), row.Id) << row.Name;
        EXPECT_EQ(nod->GetClassInfo(), info) << row.Name;
        ExpectKinds(nod, row.Id, row.Name);
        // A fresh descriptor is a working one: the base answers until its kind says otherwise
        // (the nod kind answers 2, 2, the RefBuffer kind 1, 2).
        CMwParam* param = dynamic_cast<CMwParam*>(nod);
        ASSERT_NE(param, nullptr) << row.Name;
        u32 first = 0, second = 0;
        param->GetKindPair(&first, &second);
        const auto pair = row.Id == CMwParamClass::s_ClassId       ? std::make_pair(2u, 2u)
                          : row.Id == CMwParamRefBuffer::s_ClassId ? std::make_pair(1u, 2u)
                                                                   : std::make_pair(3u, 4u);
        EXPECT_EQ(std::make_pair(first, second), pair) << row.Name;
        delete nod;

        if (row.TypeCode != kNoTypeCode) {
            CMwParam* shared = CMwParam::GetDescriptor(row.TypeCode);
            ASSERT_NE(shared, nullptr) << row.Name;
            EXPECT_EQ(shared->GetClassId(), row.Id) << row.Name;
        }
    }
}

// The 42 container codes, base + 1, + 2 and + 3 of fourteen base kinds.
TEST_F(MwParam, ContainerDescriptorsAnswerAsTheBaseClass) {
    constexpr u32 kContainerBases[] = {1, 5, 9, 14, 19, 23, 27, 32, 37, 41, 45, 49, 53, 57};
    std::set<CMwParam*> distinct;
    for (u32 base : kContainerBases) {
        for (u32 layout = MwTypeArray; layout <= MwTypeBucketList; ++layout) {
            const u32 code = base + layout;
            CMwParam* param = CMwParam::GetDescriptor(code);
            ASSERT_NE(param, nullptr) << code;
            distinct.insert(param);
            EXPECT_EQ(param->GetClassId(), CMwParam::s_ClassId) << code;
            EXPECT_EQ(param->GetClassInfo(), &CMwParam::s_ClassInfo) << code;
            ExpectKinds(param, CMwParam::s_ClassId, "container");
            auto* container = dynamic_cast<CMwParamContainer*>(param);
            ASSERT_NE(container, nullptr) << code;
            EXPECT_EQ(container->GetElementType(), base);
            EXPECT_EQ(container->GetLayout(), layout);
            EXPECT_EQ(container->GetTypeCode(), code);
        }
    }
    EXPECT_EQ(distinct.size(), 42u);
    // Every code has a descriptor of its own, and nothing answers beyond the last code.
    for (u32 code = 0; code < MwType_Count; ++code)
        distinct.insert(CMwParam::GetDescriptor(code));
    distinct.insert(CMwParam::GetReferenceTakingClassDescriptor());
    EXPECT_EQ(distinct.size(), 64u);
    EXPECT_EQ(distinct.count(nullptr), 0u);
    EXPECT_EQ(CMwParam::GetDescriptor(MwType_Count), nullptr);
    EXPECT_EQ(CMwParam::GetDescriptor(0xFFFFFFFF), nullptr);
}

TEST_F(MwParam, TheBaseDoesNothingAndSucceeds) {
    CMwParam param;
    u32 field[4] = {1, 2, 3, 4};
    const u32 input[4] = {9, 9, 9, 9};
    CMwMemberPath path(2);
    path.PushFront(7);
    path.m_Kinds[0] = MwPathItem_Index;
    path.Reset();
    CMwParamValue value;
    value.Value = &value;

    EXPECT_EQ(param.Get(field, &path, &value), 0u);
    EXPECT_EQ(value.Value, &value);
    EXPECT_EQ(param.Set(field, &path, input), 0u);
    EXPECT_EQ(param.Add(field, &path, input), 0u);
    EXPECT_EQ(param.Sub(field, &path, input), 0u);
    EXPECT_EQ(field[0] + field[1] + field[2] + field[3], 10u);
    EXPECT_EQ(path.m_Current, 0) << "no item consumed";

    CMwNod owner;
    CMwNod* sub = &owner;
    EXPECT_EQ(param.GetSubNod(&owner, &path, &sub), 0u);
    EXPECT_EQ(sub, nullptr);
    EXPECT_EQ(param.GetCount(value) + param.GetComponentCount(value), 0u);
    EXPECT_FALSE(param.IsArray() || param.IsBuffer() || param.IsBucketList() ||
                 param.IsRefBuffer() || param.IsStruct() || param.CanToText() ||
                 param.CanFromText() || param.IsContainerKind());
    u32 first = 0, second = 0;
    param.GetKindPair(&first, &second);
    EXPECT_EQ(first, 3u);
    EXPECT_EQ(second, 4u);

    const CMwParamTextOptions options;
    EXPECT_EQ(options.Flags, 12u);
    EXPECT_TRUE(options.GroupsDigits());
    EXPECT_FALSE(options.PadsWithZeros() || options.IsHexadecimal());
    EXPECT_EQ(options.GetMinWidth(), 0u);
}

// Answers yes to exactly one of the four container questions.
class CTestContainerKind : public CMwParam {
public:
    explicit CTestContainerKind(u32 which) : m_Which(which) {}
    bool IsArray() override { return m_Which == 0; }
    bool IsBuffer() override { return m_Which == 1; }
    bool IsBucketList() override { return m_Which == 2; }
    bool IsRefBuffer() override { return m_Which == 3; }
    bool IsStruct() override { return m_Which == 4; }

    u32 m_Which;
};

TEST_F(MwParam, AnyOfTheFourContainerAnswersMakesAContainerKind) {
    for (u32 which = 0; which < 5; ++which) {
        CTestContainerKind kind(which);
        EXPECT_EQ(kind.IsContainerKind(), which < 4) << which;
    }
}

// ---------------------------------------------------------------------------------------------
// Binding

// The descriptor a record must have after the binding pass.
CMwParam* ExpectedDescriptor(const CMwMemberInfo& member) {
    if (member.TypeCode == MwType_Class &&
        static_cast<const CMwMemberInfoClass&>(member).TakesReference)
        return CMwParam::GetReferenceTakingClassDescriptor();
    return CMwParam::GetDescriptor(member.TypeCode);
}

// Every record of every registered class, with its class's name.
std::vector<std::pair<const CMwMemberInfo*, const char*>> AllRecords() {
    std::vector<std::pair<const CMwMemberInfo*, const char*>> records;
    for (const CMwClassInfo* info = CMwClassRegistry::GetFirstClassInfo(); info;
         info = info->m_Next)
        for (u32 i = 0; i < info->m_MemberCount; ++i)
            records.emplace_back(info->m_MemberInfos[i], info->m_Name);
    return records;
}

TEST_F(MwParam, BindingGivesEveryRecordItsDescriptorAndShutdownTakesThemBack) {
    CMwParam* referenceTaking = CMwParam::GetReferenceTakingClassDescriptor();
    ASSERT_NE(referenceTaking, nullptr);
    EXPECT_NE(referenceTaking, CMwParam::GetDescriptor(MwType_Class));
    EXPECT_NE(dynamic_cast<CMwParamClassRef*>(referenceTaking), nullptr);
    EXPECT_EQ(referenceTaking->GetClassId(), CMwParamClass::s_ClassId);

    const CMwMemberInfo* held = CMwClassRegistry::GetMemberInfo(0x01F60000);
    const CMwMemberInfo* plain = CMwClassRegistry::GetMemberInfo(0x01F60001);
    const CMwMemberInfo* nods = CMwClassRegistry::GetMemberInfo(0x01F60002);
    const CMwMemberInfo* count = CMwClassRegistry::GetMemberInfo(0x01F60003);
    const CMwMemberInfo* idName = CMwClassRegistry::GetMemberInfo(0x01001000);
    ASSERT_TRUE(held && plain && nods && count && idName);
    EXPECT_EQ(held->Param, referenceTaking);
    EXPECT_EQ(plain->Param, CMwParam::GetDescriptor(MwType_Class));
    EXPECT_EQ(nods->TypeCode, 7u);
    EXPECT_EQ(nods->Param, CMwParam::GetDescriptor(7));
    EXPECT_EQ(count->Param, CMwParam::GetDescriptor(MwType_Natural));
    EXPECT_EQ(idName->Param->GetClassId(), CMwParamString::s_ClassId);

    const auto records = AllRecords();
    for (const auto& [member, className] : records) {
        ASSERT_NE(member->Param, nullptr) << className << " " << member->Name;
        EXPECT_EQ(member->Param, ExpectedDescriptor(*member)) << className << " " << member->Name;
    }

    CMwClassRegistry::Shutdown();
    EXPECT_EQ(CMwParam::GetDescriptor(MwType_Bool), nullptr);
    EXPECT_EQ(CMwParam::GetReferenceTakingClassDescriptor(), nullptr);
    for (const auto& [member, className] : records)
        EXPECT_EQ(member->Param, nullptr) << className << " " << member->Name;

    CMwClassRegistry::Init();
    for (const auto& [member, className] : records) {
        ASSERT_NE(member->Param, nullptr) << className << " " << member->Name;
        EXPECT_EQ(member->Param, ExpectedDescriptor(*member)) << className << " " << member->Name;
    }
}

// ---------------------------------------------------------------------------------------------
// The child-path frame

// A kind whose values have `m_Count` children, as index items.
class CTestListKind : public CMwParam {
public:
    explicit CTestListKind(u32 count) : m_Count(count) {}
    void ForEachChildPath(CMwNod*, CMwMemberPath* base, CMwMemberPath* scratch, void* receiver,
                          MwChildPathCallback callback, void* user, u32 first) override {
        VisitIndexChildren(*base, *scratch, receiver, callback, user, first, m_Count);
    }

    u32 m_Count;
};

// A kind whose children are the records of a class, as member items.
class CTestMembersKind : public CMwParam {
public:
    void ForEachChildPath(CMwNod*, CMwMemberPath* base, CMwMemberPath* scratch, void* receiver,
                          MwChildPathCallback callback, void* user, u32 first) override {
        const CMwClassInfo& info = CTestReflected::s_ClassInfo;
        if (first >= info.m_MemberCount)
            return;
        BeginChildPaths(*base, *scratch);
        for (u32 i = first; i < info.m_MemberCount; ++i)
            if (!VisitChildPath(*scratch, reinterpret_cast<MwPathValue>(info.m_MemberInfos[i]),
                                MwPathItem_Member, receiver, callback, user))
                return;
    }
};

using CItems = std::vector<std::pair<MwPathValue, u32>>; // (value, kind) from the first item

CItems ItemsOf(const CMwMemberPath& path) {
    CItems items;
    for (u32 i = path.m_Count; i-- > 0;)
        items.emplace_back(path.m_Values[i], path.m_Kinds[i]);
    return items;
}

// Records every child path it is handed; answers 0 (stop) at call number m_StopAt.
class CChildRecorder {
public:
    i32 OnChild(CMwMemberPath* path, void* user) {
        EXPECT_EQ(user, this);
        EXPECT_EQ(path->m_Current, static_cast<i32>(path->m_Count) - 1) << "set back to its start";
        m_Paths.push_back(ItemsOf(*path));
        return m_Paths.size() == m_StopAt ? 0 : 1;
    }

    size_t m_StopAt = 0;
    std::vector<CItems> m_Paths;
};

// The base path [member "Nods", index 2]: the value whose children are visited.
void MakeBase(CMwMemberPath& base) {
    base.Reserve(2);
    base.PushFront(reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(0x01F60002)));
    base.PushFront(2);
    base.m_Kinds[0] = MwPathItem_Index;
    base.Reset();
}

TEST_F(MwParam, ChildPathsAreTheBasePathWithOneMoreItem) {
    struct Case {
        u32 count, first, stopAt, scratchCapacity;
        std::vector<u32> visited;
    };
    const Case cases[] = {
        {3, 0, 0, 0, {0, 1, 2}}, // the scratch path grows from nothing
        {3, 1, 0, 8, {1, 2}},    // a large enough scratch path is reused
        {3, 3, 0, 0, {}},        // first at the count
        {3, 7, 0, 0, {}},        // first past the count
        {0, 0, 0, 0, {}},        // no children
        {5, 1, 1, 0, {1}},       // the first answer 0 stops the visit
        {5, 0, 3, 0, {0, 1, 2}}, // a later one too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << " first " << c.first);
        CMwMemberPath base, scratch;
        MakeBase(base);
        if (c.scratchCapacity)
            scratch.Reserve(c.scratchCapacity);
        const CItems baseItems = ItemsOf(base);
        CChildRecorder recorder;
        recorder.m_StopAt = c.stopAt;
        CTestListKind kind(c.count);
        kind.ForEachChildPath(nullptr, &base, &scratch, &recorder,
                              MwChildPathThunk<&CChildRecorder::OnChild>::Call, &recorder, c.first);
        ASSERT_EQ(recorder.m_Paths.size(), c.visited.size());
        for (size_t i = 0; i < c.visited.size(); ++i) {
            CItems expected = baseItems;
            expected.emplace_back(c.visited[i], MwPathItem_Index);
            EXPECT_EQ(recorder.m_Paths[i], expected) << "child " << i;
        }
        EXPECT_EQ(ItemsOf(base), baseItems) << "the base path is left as it was";
        EXPECT_EQ(base.m_Current, 1);
    }
}

TEST_F(MwParam, ChildPathsMayCarryMemberItemsAndReuseTheBasePath) {
    CMwMemberPath base;
    MakeBase(base);
    const CItems baseItems = ItemsOf(base);
    CChildRecorder recorder;
    CTestMembersKind kind;
    // The scratch path is the base path itself: it becomes the base plus the child.
    kind.ForEachChildPath(nullptr, &base, &base, &recorder,
                          MwChildPathThunk<&CChildRecorder::OnChild>::Call, &recorder, 2);
    ASSERT_EQ(recorder.m_Paths.size(), 2u);
    for (u32 i = 0; i < 2; ++i) {
        CItems expected = baseItems;
        expected.emplace_back(
            reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(0x01F60002 + i)),
            MwPathItem_Member);
        EXPECT_EQ(recorder.m_Paths[i], expected) << "child " << i;
    }
}

TEST_F(MwParam, TheBaseClassHasNoChildrenAndANullCallbackVisitsNothing) {
    CMwMemberPath base, scratch;
    MakeBase(base);
    CChildRecorder recorder;
    CMwParam param;
    param.ForEachChildPath(nullptr, &base, &scratch, &recorder,
                           MwChildPathThunk<&CChildRecorder::OnChild>::Call, &recorder, 0);
    EXPECT_TRUE(recorder.m_Paths.empty());
    EXPECT_EQ(scratch.m_Count, 0u);
    CTestListKind kind(3);
    kind.ForEachChildPath(nullptr, &base, &scratch, &recorder, nullptr, &recorder, 0);
    EXPECT_EQ(scratch.m_Count, 0u);
}

} // namespace
