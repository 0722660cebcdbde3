// The census and the class-list check of the script library, its classes' place in the class
// tree, their member and chunk enumerations, and their creation by class id.
#include "core/nod/MwEngine.h"
#include "script/base/MwCmdScript.h"
#include "script/block/BlockVariable.h"
#include "script/block/MwCmdBlock.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/support/MwClassListCheck.h"

#include <set>
#include <vector>

namespace {

class ScriptClassList : public CScriptFixture {};

// Every record of the library is filed once under engine 1, with member ids that fit its class
// and a registered parent; the three abstract bases have no factory.
TEST_F(ScriptClassList, Census) {
    std::set<u32> ids;
    u32 perEngine[256] = {};
    u32 withoutFactory = 0;
    for (u32 i = 0; i < g_ScriptClassList.m_Count; ++i) {
        const CMwClassInfo* info = g_ScriptClassList.m_Classes[i];
        EXPECT_TRUE(ids.insert(info->m_ClassId).second) << info->m_Name;
        EXPECT_EQ(CMwClassRegistry::GetClassInfoById(info->m_ClassId), info) << info->m_Name;
        ++perEngine[info->m_ClassId >> 24];
        withoutFactory += info->m_Factory ? 0 : 1;
        for (u32 m = 0; m < info->m_MemberCount; ++m)
            EXPECT_EQ(info->m_MemberInfos[m]->MemberId, info->m_ClassId | m) << info->m_Name;
        ASSERT_NE(info->m_Parent, nullptr) << info->m_Name;
        EXPECT_NE(CMwClassRegistry::GetClassInfoById(info->m_Parent->m_ClassId), nullptr)
            << info->m_Name;
    }
    EXPECT_EQ(g_ScriptClassList.m_Count, 5u);
    EXPECT_EQ(perEngine[0x01], 5u);
    EXPECT_EQ(withoutFactory, 3u);
}

TEST_F(ScriptClassList, ClassesRoundTrip) {
    CMwClassListCheck check;
    // A block's body is written only into release archives; the check writes without the flag.
    check.EmptyChunks = {CMwCmdBlock::s_BodyChunk};
    const CMwClassListCheckCounts counts = MwCheckClassList(g_ScriptClassList, check);
    EXPECT_EQ(counts.Created, 2u);
    EXPECT_EQ(counts.ChunksWritten, 2u);
}

// Parents in the class tree, and what each class enumerates: IdName and Run come first for every
// script node; the abstract classes add no chunk (and only CMwCmdScript a member, Run).
TEST_F(ScriptClassList, TreeMembersAndChunks) {
    struct SRow {
        u32 ClassId;
        u32 ParentId;
        // Of a nod of the class (the abstract classes: their own records' counts).
        std::vector<u32> Members;
        std::vector<u32> Chunks;
    };
    const SRow rows[] = {
        {0x01052000, 0x01005000, {0x01052000}, {}},
        {0x01031000, 0x01052000, {}, {}},
        {0x01038000, 0x01052000, {}, {}},
        {0x01080000, 0x01001000, {0x01001000}, {0x01001000, 0x01080000}},
        {0x01030000,
         0x01052000,
         {0x01001000, 0x01052000, 0x01030000, 0x01030001},
         {0x01001000, 0x01030000, 0x01030001, 0x01030002, 0x01030003, 0x01030004}},
    };
    for (const SRow& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.ClassId);
        CMwClassInfo* info = CMwClassRegistry::GetClassInfoById(row.ClassId);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->m_Parent->m_ClassId, row.ParentId);
        std::vector<u32> members, chunks;
        if (!info->m_Factory) {
            for (u32 i = 0; i < info->m_MemberCount; ++i)
                members.push_back(info->m_MemberInfos[i]->MemberId);
            EXPECT_EQ(info->m_ChunkCount, 0u);
        } else {
            const TNodRef<CMwNod> nod(info->m_Factory());
            for (u32 i = 0; i < nod->MemberCount(); ++i)
                members.push_back(nod->MemberIdByIndex(i));
            for (u32 i = 0; i < nod->ChunkCount(); ++i)
                chunks.push_back(nod->ChunkIdByIndex(i));
        }
        EXPECT_EQ(members, row.Members);
        EXPECT_EQ(chunks, row.Chunks);
    }
    // A statement enumerates IdName, Run, then its own members.
    const TNodRef<CScriptTestCmd> cmd(NewTestCmd(1));
    EXPECT_EQ(cmd->MemberCount(), 5u);
    EXPECT_EQ(cmd->MemberIdByIndex(1), CMwCmdScript::s_RunMemberId);
    EXPECT_EQ(cmd->MemberIdByIndex(2), 0x01FC0000u);
    // Run: an Action member without field, settable only.
    const CMwMemberInfo* run = CMwClassRegistry::GetMemberInfo(CMwCmdScript::s_RunMemberId);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->TypeCode, u32(MwType_Action));
    EXPECT_STREQ(run->Name, "Run");
    EXPECT_STREQ(run->FieldName, "Run");
    EXPECT_STREQ(run->Label, "Run");
    EXPECT_EQ(run->FieldOffset, -1);
    EXPECT_EQ(run->Flags, 0x02u);
    const auto* cmds =
        static_cast<const CMwMemberInfoContainer*>(CMwClassRegistry::GetMemberInfo(0x01030000));
    EXPECT_EQ(cmds->TypeCode, u32(MwType_Class + MwTypeArray));
    EXPECT_STREQ(cmds->Label, "Cmds");
    EXPECT_STREQ(cmds->ElementName, "Cmd");
    EXPECT_EQ(cmds->ElementClassInfo, &CMwCmdScript::s_ClassInfo);
    EXPECT_EQ(cmds->Flags, 0x01u);
    const CMwMemberInfo* sleeping = CMwClassRegistry::GetMemberInfo(0x01030001);
    EXPECT_EQ(sleeping->TypeCode, u32(MwType_Bool));
    EXPECT_STREQ(sleeping->Label, "Is Sleeping");
    EXPECT_EQ(sleeping->FieldOffset, -1);
}

// The core's factory and the registry create the two creatable classes by class id, with count 0;
// the abstract ids create nothing.
TEST_F(ScriptClassList, CreatedByClassId) {
    CMwFoundationsEngine engine;
    for (u32 id : {0x01080000u, 0x01030000u}) {
        SCOPED_TRACE(testing::Message() << std::hex << id);
        for (CMwNod* nod :
             {engine.CreateByClassId(id, nullptr, 0), CMwClassRegistry::CreateNodById(id)}) {
            ASSERT_NE(nod, nullptr);
            EXPECT_EQ(nod->GetClassId(), id);
            EXPECT_EQ(nod->GetRefCount(), 0);
            delete nod;
        }
    }
    for (u32 id : {0x01052000u, 0x01031000u, 0x01038000u}) {
        CMwNod* out = reinterpret_cast<CMwNod*>(1);
        EXPECT_EQ(engine.CreateByClassId(id, &out, 0), nullptr);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(CMwClassRegistry::CreateNodById(id), nullptr);
    }
}

} // namespace
