// What the member rows store for their fields, and the frame of the virtual member operations.
#include "CoreTestSupport.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwVirtualMember.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Two levels of virtual members over the root's IdName: each level answers its own member and
// notes which level answered which operation.
class CVirtualBase : public CMwNod {
    MW_DECLARE_CLASS(CVirtualBase, CMwNod, 0x01F30000)
public:
    static constexpr u32 s_BaseId = 0x01F30000;

    CMwId* GetIdPtr() override { return &m_Id; }
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override {
        return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != s_BaseId)
                return MwNotOwnMember;
            m_Answers.push_back("base get");
            return MwAnswerValue(out, m_BaseValue);
        });
    }
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override {
        return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != s_BaseId)
                return MwNotOwnMember;
            m_Answers.push_back("base set");
            m_BaseValue = *static_cast<const u32*>(value);
            return MwParam_Ok;
        });
    }
    u32 AddParamVirtual(CMwMemberPath* path, const void* value) override {
        return MwAddParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != s_BaseId)
                return MwNotOwnMember;
            m_Answers.push_back("base add");
            m_BaseValue += *static_cast<const u32*>(value);
            return MwParam_Ok;
        });
    }
    u32 SubParamVirtual(CMwMemberPath* path, const void* value) override {
        return MwSubParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != s_BaseId)
                return MwNotOwnMember;
            m_Answers.push_back("base sub");
            m_BaseValue -= *static_cast<const u32*>(value);
            return MwParam_Ok;
        });
    }

    CMwId m_Id;
    u32 m_BaseValue = 0;
    std::vector<std::string> m_Answers;
};

class CVirtualDerived : public CVirtualBase {
    MW_DECLARE_CLASS(CVirtualDerived, CVirtualBase, 0x01F31000)
public:
    static constexpr u32 s_DerivedId = 0x01F31000;
    // Answered by this class only when the path holds nothing after the member.
    static constexpr u32 s_PickyId = 0x01F31001;

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override {
        return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId == s_PickyId)
                return path->HasCurrent() ? MwParam_NotFound : MwAnswerValue(out, 7u);
            if (member.MemberId != s_DerivedId)
                return MwNotOwnMember;
            m_Answers.push_back("derived get");
            return MwAnswerValue(out, m_DerivedValue);
        });
    }
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override {
        return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != s_DerivedId)
                return MwNotOwnMember;
            m_Answers.push_back("derived set");
            m_DerivedValue = *static_cast<const u32*>(value);
            return MwParam_Ok;
        });
    }
    u32 AddParamVirtual(CMwMemberPath* path, const void* value) override {
        return MwAddParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != s_DerivedId)
                return MwNotOwnMember;
            m_Answers.push_back("derived add");
            m_DerivedValue += *static_cast<const u32*>(value);
            return MwParam_Ok;
        });
    }
    u32 SubParamVirtual(CMwMemberPath* path, const void* value) override {
        return MwSubParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != s_DerivedId)
                return MwNotOwnMember;
            m_Answers.push_back("derived sub");
            m_DerivedValue -= *static_cast<const u32*>(value);
            return MwParam_Ok;
        });
    }

    u32 m_DerivedValue = 0;
    u32 m_Stored = 0;
    u32 m_Renamed = 0;
};

#define CVIRTUALBASE_MEMBERS(X)                                                                    \
    X(Natural, 0x01F30000, "Base", MW_VIRTUAL("m_Base"), "Base", 0xFF, 0x380)
#define CVIRTUALDERIVED_MEMBERS(X)                                                                 \
    X(Natural, 0x01F31000, "Derived", MW_VIRTUAL("m_Derived"), "Derived", 0xFF, 0x380)             \
    X(Natural, 0x01F31001, "Picky", MW_VIRTUAL(""), "Picky", 0x11, 0x380)                          \
    X(Natural, 0x01F31002, "Stored", MW_FIELD(m_Stored), "Stored", 0x03, 0x380)                    \
    X(Natural, 0x01F31003, "Renamed", MW_FIELD_NAMED(m_Renamed, "m_Other"), "Renamed", 0x03, 0x380)

MW_DEFINE_CLASS(CVirtualBase, MwFactory<CVirtualBase>, CVIRTUALBASE_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CVirtualDerived, MwFactory<CVirtualDerived>, CVIRTUALDERIVED_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_TestClasses[] = {&CVirtualBase::s_ClassInfo,
                                                 &CVirtualDerived::s_ClassInfo};
constinit const CMwClassList s_TestClassList = {s_TestClasses, 2};

class MwMemberRows : public CMwCoreFixture {
protected:
    MwMemberRows() : CMwCoreFixture(&s_TestClassList) {}
};

// A path of member items (and index items, given as numbers below 0x1000).
void MakePath(CMwMemberPath& path, std::initializer_list<u32> items) {
    path.Reserve(0);
    path.Reserve(u32(items.size()) + 1);
    for (u32 item : items) {
        const bool member = item >= 0x1000;
        path.PushFront(member ? reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(item))
                              : MwPathValue(item));
        path.m_Kinds[0] = member ? MwPathItem_Member : MwPathItem_Index;
    }
    path.Reset();
}

TEST_F(MwMemberRows, FieldsKeepTheirOffsetAndStoredName) {
    struct Case {
        u32 Id;
        i32 Offset;
        const char* FieldName;
    };
    const Case cases[] = {
        {0x01F31000, -1, "m_Derived"},
        {0x01F31001, -1, ""},
        {0x01F31002, i32(offsetof(CVirtualDerived, m_Stored)), "m_Stored"},
        {0x01F31003, i32(offsetof(CVirtualDerived, m_Renamed)), "m_Other"},
    };
    for (const Case& c : cases) {
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(c.Id);
        ASSERT_NE(member, nullptr) << std::hex << c.Id;
        EXPECT_EQ(member->FieldOffset, c.Offset) << std::hex << c.Id;
        EXPECT_STREQ(member->FieldName, c.FieldName) << std::hex << c.Id;
    }
    CVirtualDerived nod;
    CMwMemberPath path;
    const u32 five = 5;
    MakePath(path, {0x01F31003});
    EXPECT_EQ(nod.SetParam(&path, &five), 0u);
    EXPECT_EQ(nod.m_Renamed, 5u);
}

// Every operation reaches the level that owns the member, whichever level the nod is of: the
// derived class answers its own, puts the member back for its base, and the base does the same
// for the root.
TEST_F(MwMemberRows, VirtualOperationsHandOtherMembersToTheBase) {
    CVirtualDerived nod;
    CMwMemberPath path;
    CMwParamValue value;
    const u32 two = 2, nine = 9;

    struct Step {
        u32 Member;
        char Op; // g(et), s(et), a(dd), (s)u(b)
        const u32* Input;
        const char* Answer;
    };
    const Step steps[] = {
        {0x01F30000, 's', &nine, "base set"},   {0x01F31000, 's', &nine, "derived set"},
        {0x01F30000, 'a', &two, "base add"},    {0x01F31000, 'a', &two, "derived add"},
        {0x01F30000, 'u', &nine, "base sub"},   {0x01F31000, 'u', &two, "derived sub"},
        {0x01F30000, 'g', nullptr, "base get"}, {0x01F31000, 'g', nullptr, "derived get"},
    };
    for (const Step& step : steps) {
        MakePath(path, {step.Member});
        nod.m_Answers.clear();
        const u32 result = step.Op == 'g'   ? nod.GetParam(&path, &value)
                           : step.Op == 's' ? nod.SetParam(&path, step.Input)
                           : step.Op == 'a' ? nod.AddParam(&path, step.Input)
                                            : nod.SubParam(&path, step.Input);
        EXPECT_EQ(result, 0u) << step.Answer;
        EXPECT_EQ(nod.m_Answers, std::vector<std::string>{step.Answer});
        EXPECT_FALSE(path.HasCurrent()) << step.Answer;
    }
    EXPECT_EQ(nod.m_BaseValue, 2u);
    EXPECT_EQ(nod.m_DerivedValue, 9u);
    MakePath(path, {0x01F30000});
    ASSERT_EQ(nod.GetParam(&path, &value), 0u);
    EXPECT_EQ(*static_cast<const u32*>(value.Value), 2u);

    // The root's own member passes both levels.
    const CClassicString name("Wheel");
    MakePath(path, {CMwNod::s_IdNameMemberId});
    nod.m_Answers.clear();
    EXPECT_EQ(nod.SetParam(&path, &name), 0u);
    MakePath(path, {CMwNod::s_IdNameMemberId});
    ASSERT_EQ(nod.GetParam(&path, &value), 0u);
    EXPECT_STREQ(static_cast<const CClassicString*>(value.Value)->GetText(), "Wheel");
    EXPECT_TRUE(nod.m_Answers.empty());

    // The class's own answer stands, failures included, and nothing reaches the base.
    MakePath(path, {0x01F31001, 0});
    EXPECT_EQ(nod.GetParam(&path, &value), 2u);
    MakePath(path, {0x01F31001});
    ASSERT_EQ(nod.GetParam(&path, &value), 0u);
    EXPECT_EQ(*static_cast<const u32*>(value.Value), 7u);
}

// A nod of the base class answers only the base's and the root's members.
TEST_F(MwMemberRows, TheBaseAloneKnowsNothingOfTheDerivedMembers) {
    CVirtualBase nod;
    CMwMemberPath path;
    CMwParamValue value;
    MakePath(path, {0x01F30000});
    EXPECT_EQ(nod.GetParam(&path, &value), 0u);
    EXPECT_EQ(nod.m_Answers, std::vector<std::string>{"base get"});
    nod.m_Answers.clear();
    MakePath(path, {0x01F31000});
    EXPECT_EQ(nod.GetParamVirtual(&path, &value), u32(MwParam_WrongClass));
    EXPECT_TRUE(nod.m_Answers.empty());
}

} // namespace
