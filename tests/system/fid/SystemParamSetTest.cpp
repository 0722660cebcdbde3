// Parameter sets: records and their keys, the set operations, compatibility, substitution of
// files, and the loading stack.
#include "system/fid/SystemParamSet.h"

#include "FidTestSupport.h"
#include "core/base/ClassicBuffer.h"

#include <string>
#include <vector>

namespace {

class SystemParamSet : public CSystemFixture {
protected:
    void TearDown() override {
        EXPECT_EQ(GetParamSetDepth(), 0u) << "a test left sets on the loading stack";
        ClearParamSetStack();
        CSystemFixture::TearDown();
    }
};

const CMwId kNight(7);
const CMwId kSnow(8);

// Class filters: the file ids (a kind of nod), the reference buffers, the engines.
const u32 kFids[] = {CSystemFid::s_ClassId, 0xFFFFFFFF};
const u32 kRefBuffers[] = {0x01026000, 0xFFFFFFFF};
const u32 kNods[] = {CMwNod::s_ClassId, 0xFFFFFFFF};

CSystemParamId Id(CMwId id, u32 value, const u32* filter = nullptr, u32 required = 0) {
    CSystemParamId record(id, value);
    record.m_ClassFilter = filter;
    record.m_Required = required;
    return record;
}

// The "Id" values of a set, in order, as "id=value".
std::string Values(const CSystemParamSet& set) {
    std::string text;
    for (u32 i = 0; i < set.GetCount(); ++i) {
        const auto& record = static_cast<const CSystemParamId&>(*set.GetParamAt(i));
        text += (text.empty() ? "" : " ") + std::to_string(record.m_Id.m_Value) + "=" +
                std::to_string(record.m_Value);
    }
    return text;
}

TEST_F(SystemParamSet, SettingARecordReportsChanges) {
    CSystemParamSet set;
    EXPECT_EQ(set.SetParam(Id(kNight, 1)), 1u);
    EXPECT_EQ(set.SetParam(Id(kNight, 1)), 0u);
    EXPECT_EQ(set.SetParam(Id(kNight, 2)), 1u);
    EXPECT_EQ(set.SetParam(Id(kSnow, 0)), 1u);
    EXPECT_EQ(Values(set), "7=2 8=0");
    EXPECT_EQ(set.GetNonEmptyCount(), 1u);
    // An empty value makes the record empty; the count follows.
    EXPECT_EQ(set.SetParam(Id(kNight, 0)), 1u);
    EXPECT_EQ(set.GetNonEmptyCount(), 0u);

    CSystemParamId query(kSnow, 99);
    EXPECT_EQ(set.GetParam(query), 1u);
    EXPECT_EQ(query.m_Value, 0u);
    CSystemParamId missing(CMwId(9), 5);
    EXPECT_EQ(set.GetParam(missing), 0u);
    EXPECT_EQ(missing.m_Value, 5u);

    // Assigning copies records and the inherit flag, and a set assigned to itself keeps them.
    CSystemParamSet copy(0);
    copy.SetParam(Id(CMwId(9), 1));
    copy.Assign(set);
    EXPECT_EQ(Values(copy), "7=0 8=0");
    EXPECT_EQ(copy.m_Inherit, 1u);
    copy.Assign(copy);
    EXPECT_EQ(Values(copy), "7=0 8=0");
}

// A record kind is its object: a record whose kind is another object named "Id" never shares a
// key with an "Id" record.
class CLookAlikeParam : public CSystemParam {
public:
    static const CSystemParamKind s_Kind;
    CLookAlikeParam() : CSystemParam(&s_Kind) {}
    bool IsEmpty() const override { return false; }
    CSystemParam* Clone() const override { return new CLookAlikeParam(*this); }
    void Compare(const CSystemParam& other, bool* equal, bool* differentKey) const override {
        *differentKey = other.m_Kind != m_Kind;
        *equal = !*differentKey;
    }
};
const CSystemParamKind CLookAlikeParam::s_Kind = {"Id"};

TEST_F(SystemParamSet, KindsAreTheirObjects) {
    EXPECT_STREQ(g_SystemParamKindFid.m_Name, "Fid");
    EXPECT_STREQ(g_SystemParamKindId.m_Name, "Id");
    EXPECT_STREQ(g_SystemParamKindParamSet.m_Name, "ParamSet");
    EXPECT_EQ(CSystemParamId().m_Kind, &g_SystemParamKindId);
    EXPECT_EQ(CSystemParamFid().m_Kind, &g_SystemParamKindFid);

    CSystemParamSet set;
    set.SetParam(Id(CMwId(), 4));
    set.SetParam(CLookAlikeParam());
    set.SetParam(CSystemParamFid());
    EXPECT_EQ(set.GetCount(), 3u);
    CSystemParamId query;
    EXPECT_EQ(set.GetParam(query), 1u);
    EXPECT_EQ(query.m_Value, 4u);
}

TEST_F(SystemParamSet, Compatibility) {
    struct Case {
        const char* What;
        std::vector<CSystemParamId> Asked;
        std::vector<CSystemParamId> Held;
        u32 HeldInherits;
        bool Compatible;
    };
    const Case cases[] = {
        {"empty and empty", {}, {}, 0, true},
        {"only empty records", {Id(kNight, 0)}, {Id(kSnow, 0)}, 0, true},
        {"equal values", {Id(kNight, 1)}, {Id(kNight, 1)}, 0, true},
        {"other values", {Id(kNight, 2)}, {Id(kNight, 1)}, 1, false},
        {"other values for another class", {Id(kNight, 2, kRefBuffers)}, {Id(kNight, 1)}, 0, true},
        {"missing, held set inherits", {Id(kNight, 1)}, {}, 1, true},
        {"missing, held set does not inherit", {Id(kNight, 1)}, {}, 0, false},
        {"missing and required", {Id(kNight, 1, nullptr, 1)}, {}, 1, false},
        {"missing and required, another class", {Id(kNight, 1, kRefBuffers, 1)}, {}, 0, true},
        {"missing but empty", {Id(kNight, 0, nullptr, 1)}, {Id(kSnow, 1)}, 0, false},
        {"held value not asked", {}, {Id(kNight, 1)}, 1, false},
        {"held empty record not asked", {Id(kSnow, 1)}, {Id(kNight, 0), Id(kSnow, 1)}, 0, true},
        {"filter of a kind", {Id(kNight, 2, kNods)}, {Id(kNight, 1)}, 0, false},
    };
    for (const Case& c : cases) {
        CSystemParamSet asked, held(c.HeldInherits);
        for (const CSystemParamId& record : c.Asked)
            asked.SetParam(record);
        for (const CSystemParamId& record : c.Held)
            held.SetParam(record);
        EXPECT_EQ(asked.IsCompatible(held, CSystemFid::s_ClassId), c.Compatible) << c.What;
    }
}

TEST_F(SystemParamSet, CompactKeepsWhatAppliesToTheClass) {
    CSystemParamSet set(0);
    set.SetParam(Id(kNight, 1, kRefBuffers)); // another class
    set.SetParam(Id(kSnow, 0));               // empty
    set.SetParam(Id(CMwId(9), 3, kFids));
    set.SetParam(Id(CMwId(10), 4, kNods));
    CSystemParamSet kept(set);
    kept.Compact(CSystemFid::s_ClassId);
    EXPECT_EQ(Values(kept), "9=3 10=4");
    EXPECT_EQ(kept.GetNonEmptyCount(), 2u);

    // Inheriting keeps empty records; every class keeps every filter.
    kept.Assign(set);
    kept.m_Inherit = 1;
    kept.Compact(CSystemFid::s_ClassId);
    EXPECT_EQ(Values(kept), "8=0 9=3 10=4");
    kept.Assign(set);
    kept.Compact(0xFFFFFFFF);
    EXPECT_EQ(Values(kept), "7=1 9=3 10=4");
}

// SetParam never stores two records of one key, but a record's key may be a matter of how it
// compares: these records share a key per group of ten ids once the groups are switched on.
bool s_Grouped = false;
class CGroupParam : public CSystemParamId {
public:
    using CSystemParamId::CSystemParamId;
    CSystemParam* Clone() const override { return new CGroupParam(*this); }
    void Compare(const CSystemParam& other, bool* equal, bool* differentKey) const override {
        const u32 mine = m_Id.m_Value;
        const u32 theirs = static_cast<const CSystemParamId&>(other).m_Id.m_Value;
        *differentKey =
            other.m_Kind != m_Kind || (s_Grouped ? mine / 10 != theirs / 10 : mine != theirs);
        *equal = false;
    }
};

TEST_F(SystemParamSet, CompactDropsLaterRecordsOfAKey) {
    CSystemParamSet set;
    set.SetParam(CGroupParam(CMwId(21), 1));
    set.SetParam(CGroupParam(CMwId(31), 2));
    set.SetParam(CGroupParam(CMwId(22), 3));
    set.SetParam(CGroupParam(CMwId(23), 4));
    EXPECT_EQ(Values(set), "21=1 31=2 22=3 23=4");
    s_Grouped = true;
    set.Compact(0xFFFFFFFF);
    s_Grouped = false;
    EXPECT_EQ(Values(set), "21=1 31=2");
}

TEST_F(SystemParamSet, Merging) {
    CSystemParamSet from(0);
    from.SetParam(Id(kNight, 1, kRefBuffers));
    from.SetParam(Id(kSnow, 2, kFids));
    from.SetParam(Id(CMwId(9), 3));

    CSystemParamSet into;
    EXPECT_EQ(into.MergeForClass(from, CSystemFid::s_ClassId), 1u);
    EXPECT_EQ(Values(into), "8=2 9=3");
    EXPECT_EQ(into.m_Inherit, 0u);
    EXPECT_EQ(into.MergeForClass(from, CSystemFid::s_ClassId), 0u);

    CSystemParamSet all;
    all.MergeForClass(from, 0xFFFFFFFF);
    EXPECT_EQ(Values(all), "7=1 8=2 9=3");
    const u32 both[] = {0x01026000, CSystemFid::s_ClassId};
    CSystemParamSet listed;
    listed.MergeAdmitting(from, both, 2);
    EXPECT_EQ(Values(listed), "7=1 8=2 9=3");
    CSystemParamSet none;
    const u32 engines[] = {0x01003000};
    none.MergeAdmitting(from, engines, 1);
    EXPECT_EQ(Values(none), "9=3");
}

TEST_F(SystemParamSet, FidSubstitution) {
    // A\C\D.Solid.Zun and A\C\E\F.Tree.Zun, and a folder X outside A.
    CNamedFolder folderA(u"A"), folderX(u"X");
    CNamedFolder folderC(u"C", &folderA);
    CNamedFolder folderE(u"E", &folderC);
    CNamedFile solid(u"D.Solid.Zun", &folderC), tree(u"F\u00e9.Tree.Zun", &folderE),
        other(u"G.Zun", &folderX);
    // Packs are only passed along.
    CSystemPackDesc* pack = reinterpret_cast<CSystemPackDesc*>(&folderX);

    CSystemParamSet set;
    CSystemParamFid byFolder(&folderA);
    byFolder.m_Name = "B\\";
    byFolder.m_Number = 5;
    set.SetParam(byFolder);
    CSystemParamFid byFile(&tree);
    byFile.m_Name = "Night\\Tree";
    byFile.m_Pack = pack;
    set.SetParam(byFile);

    struct Case {
        CSystemFid* Fid;
        const char* Name;
        CSystemPackDesc* Pack;
        u32 Number;
    };
    const Case cases[] = {
        {&solid, "B\\C\\D", nullptr, 5},          // below the folder
        {&tree, "Night\\Tree", pack, 0xFFFFFFFF}, // the file's own record comes first
        {&other, "", nullptr, 0xFFFFFFFF},        // nothing for it
    };
    for (const Case& c : cases) {
        CSystemParamSet target;
        CSystemPackDesc* outPack = reinterpret_cast<CSystemPackDesc*>(&folderA);
        CClassicString name("old");
        u32 number = 0;
        set.FindFidSubstitution(c.Fid, &outPack, &name, &number, &target);
        EXPECT_STREQ(name.GetText(), c.Name);
        EXPECT_EQ(outPack, c.Pack);
        EXPECT_EQ(number, c.Number);
        // The deciding record, or an empty one for the file id, is set into the target.
        ASSERT_EQ(target.GetCount(), 1u);
        const auto& record = static_cast<const CSystemParamFid&>(*target.GetParamAt(0));
        EXPECT_EQ(record.m_Kind, &g_SystemParamKindFid);
        EXPECT_EQ(record.IsEmpty(), c.Fid == &other);
        EXPECT_EQ(record.m_Target, c.Fid == &solid ? static_cast<CMwNod*>(&folderA) : c.Fid);
    }

    // A name below the folder with characters of 128 and above gives '_' for each.
    set.Assign(CSystemParamSet());
    set.SetParam(byFolder);
    CClassicString name;
    set.FindFidSubstitution(&tree, nullptr, &name, nullptr, nullptr);
    EXPECT_STREQ(name.GetText(), "B\\C\\E\\F_");

    // A folder that is gone holds nothing.
    auto* gone = new CNamedFolder(u"A");
    CSystemParamFid byGone(gone);
    byGone.m_Name = "Z\\";
    delete gone;
    set.Assign(CSystemParamSet());
    set.SetParam(byGone);
    set.FindFidSubstitution(&solid, nullptr, &name, nullptr, nullptr);
    EXPECT_STREQ(name.GetText(), "");
}

TEST_F(SystemParamSet, LoadingStack) {
    EXPECT_EQ(CurrentParamSet(), &CSystemParamSet::s_Base);
    CSystemParamSet outer, inner;
    outer.SetParam(Id(kNight, 1));
    outer.SetParam(Id(kSnow, 0));
    inner.SetParam(Id(kNight, 2));
    inner.SetParam(Id(CMwId(9), 3, kRefBuffers));

    PushParamSet(&outer, false);
    EXPECT_EQ(Values(*CurrentParamSet()), "7=1"); // the empty record is dropped
    EXPECT_EQ(CurrentParamSet()->m_Inherit, 0u);
    PushParamSet(&inner, false); // the outer records win
    EXPECT_EQ(Values(*CurrentParamSet()), "7=1 9=3");
    PopParamSet();
    PushParamSet(&inner, true); // the pushed records win
    EXPECT_EQ(Values(*CurrentParamSet()), "7=2 9=3");
    PushParamSetForClass(CSystemFid::s_ClassId);
    EXPECT_EQ(Values(*CurrentParamSet()), "7=2");
    EXPECT_EQ(GetParamSetDepth(), 3u);
    PopParamSetIfAny();
    PopParamSet();
    PopParamSet();
    EXPECT_EQ(CurrentParamSet(), &CSystemParamSet::s_Base);

    // Nothing to pop and nothing for a class push: the stack stays empty.
    PopParamSet();
    PopParamSetIfAny();
    PushParamSetForClass(CSystemFid::s_ClassId);
    EXPECT_EQ(GetParamSetDepth(), 0u);
    PushParamSet(nullptr, true);
    EXPECT_EQ(CurrentParamSet()->GetCount(), 0u);
    PopParamSet();
}

// A load in the style of the archive: the caller's set, then a referenced file's set and the set
// for its class, then a nested load that fails or returns early.
enum class ENested { Succeeds, Throws, ReturnsEarly };
bool LoadWithSets(const CSystemParamSet& callers, const CSystemParamSet& referenced,
                  ENested nested) {
    CSystemParamStackScope scope;
    PushParamSet(&callers, true);
    for (u32 record = 0; record < 2; ++record) {
        CSystemParamStackScope perRecord;
        PushParamSet(&referenced, false);
        PushParamSetForClass(CSystemFid::s_ClassId);
        if (record == 1 && nested == ENested::Throws)
            throw CClassicBufferException(kClassicBufferErrorPastEnd);
        if (record == 1 && nested == ENested::ReturnsEarly)
            return false;
    }
    return true;
}

TEST_F(SystemParamSet, LoadingStackIsBalancedOnEveryRoad) {
    CSystemParamSet callers, referenced;
    callers.SetParam(Id(kNight, 1));
    referenced.SetParam(Id(kSnow, 1));
    PushParamSet(&callers, false);
    for (const ENested nested : {ENested::Succeeds, ENested::Throws, ENested::ReturnsEarly}) {
        try {
            EXPECT_EQ(LoadWithSets(callers, referenced, nested), nested == ENested::Succeeds);
        } catch (const CClassicBufferException&) {
            EXPECT_EQ(nested, ENested::Throws);
        }
        EXPECT_EQ(GetParamSetDepth(), 1u);
        EXPECT_EQ(Values(*CurrentParamSet()), "7=1");
    }
    PopParamSet();
}

} // namespace
