// The census and the class-list check of the script library, its classes' place in the class
// tree, their member and chunk enumerations, and their creation by class id.
#include "core/nod/MwEngine.h"
#include "script/base/MwCmdScript.h"
#include "script/block/BlockVariable.h"
#include "script/block/MwCmdBlock.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/support/ScriptExpressions.h"
#include "tests/script/support/ScriptStatements.h"
#include "tests/support/MwClassListCheck.h"

#include <set>
#include <vector>

namespace {

class ScriptClassList : public CScriptFixture {};

// Every record of the library is filed once under engine 1, with member ids that fit its class
// and a registered parent; the three abstract bases have no factory.
TEST_F(ScriptClassList, Census) {
    const CMwClassCensus census = MwTakeClassCensus(g_ScriptClassList);
    EXPECT_EQ(g_ScriptClassList.m_Count, 101u);
    EXPECT_EQ(census.PerEngine[0x01], 100u);
    EXPECT_EQ(census.PerEngine[0x00], 1u);
    EXPECT_EQ(census.WithoutFactory, 3u);
}

// Every class with a factory, filled with the data of its sample (operands included: the bodies
// go through an archive that keeps referred nods inline), reads its body back and writes it again
// to the same bytes.
TEST_F(ScriptClassList, ClassesRoundTrip) {
    CMwClassListCheck check;
    check.MakeArchive = [] { return std::make_unique<CScriptInlineArchive>(); };
    check.Fill = [](CMwNod& nod) {
        MwFillMembers(nod);
        TNodRef<CMwNod> sample(NewSampleExpression(nod.GetClassId()));
        if (!sample)
            sample.Reset(NewSampleStatement(nod.GetClassId()));
        if (!sample)
            return;
        CScriptInlineArchive writer;
        writer.SetBuffer(new CClassicBufferMemory);
        writer.m_Writing = 1;
        sample->Archive(writer);
        CScriptInlineArchive reader;
        auto* bytes = static_cast<CClassicBufferMemory*>(writer.GetBuffer());
        bytes->Rewind();
        reader.SetBuffer(writer.DetachBuffer(false));
        nod.Archive(reader);
    };
    // Chunks stored empty: a block's body outside release archives, the value chunk of the
    // comparisons, of the computed strings and of the identifier and member forms, and the plain
    // chunk of the vector and matrix operators.
    check.EmptyChunks = {CMwCmdBlock::s_BodyChunk, CMwCmdExpBool::s_Chunk,
                         CMwCmdExpVec2::s_Chunk,   CMwCmdExpVec3::s_Chunk,
                         CMwCmdExpIso4::s_Chunk,   CMwCmdExpString::s_Chunk};
    const CMwClassListCheckCounts counts = MwCheckClassList(g_ScriptClassList, check);
    EXPECT_EQ(counts.Created, 98u);
    EXPECT_EQ(counts.ChunksWritten, 145u);
}

// Parents in the class tree, and what each class enumerates: IdName and Run come first for every
// script node, then the members of its ancestors from the plain class of its kind down, then its
// own; the abstract classes add no chunk (and only CMwCmdScript a member, Run). Two operator
// classes store their operands under the id of another class (0x01063000, 0x01055000).
TEST_F(ScriptClassList, TreeMembersAndChunks) {
    struct SRow {
        u32 ClassId;
        u32 ParentId;
        // Of a nod of the class (the abstract classes: their own records' counts).
        std::vector<u32> Members;
        std::vector<u32> Chunks;
    };
    using Ids = std::vector<u32>;
    const auto with = [](Ids ids, std::initializer_list<u32> more) {
        ids.insert(ids.end(), more);
        return ids;
    };
    constexpr u32 kNod = 0x01001000, kRun = 0x01052000, kExp = 0x01038000;
    const Ids script = {kNod, kRun};
    const Ids num = with(script, {0x01046000}), numBin = with(num, {0x01053000, 0x01053001});
    const Ids boolean = with(script, {0x0103b000}),
              boolBin = with(boolean, {0x01054000, 0x01054001});
    const Ids vec2 = with(script, {0x0105c000, 0x0105c001});
    const Ids vec3 = with(script, {0x0105f000, 0x0105f001, 0x0105f002});
    const Ids numChunk = {kNod, 0x01046000}, boolChunk = {kNod, 0x0103b000};
    const Ids vec2Chunk = {kNod, 0x0105c000}, vec3Chunk = {kNod, 0x0105f000};
    const Ids iso4Chunk = {kNod, 0x01062000};
    const Ids string = with(script, {0x0104e000}), stringChunk = {kNod, 0x0104e000};
    const Ids enumChunk = {kNod, 0x01059000}, classChunk = {kNod, 0x01056000};
    constexpr u32 kInst = 0x01031000, kIdent = 0x01032000, kParam = 0x01033000;
    constexpr u32 kVar = 0x01068000;
    const Ids ident = with(script, {0x01032000}), identChunks = {kNod, 0x01032000};
    const Ids paramChunks = {kNod, 0x01033000, 0x01033001};
    const Ids var = {kNod};
    const SRow rows[] = {
        {0x01052000, 0x01005000, {0x01052000}, {}},
        {0x01031000, 0x01052000, {}, {}},
        {0x01038000, 0x01052000, {}, {}},
        {0x01080000, 0x01001000, {0x01001000}, {0x01001000, 0x01080000}},
        {0x01030000,
         0x01052000,
         {0x01001000, 0x01052000, 0x01030000, 0x01030001},
         {0x01001000, 0x01030000, 0x01030001, 0x01030002, 0x01030003, 0x01030004}},
        {0x01067000,
         0x01030000,
         {0x01001000, 0x01052000, 0x01030000, 0x01030001, 0x01067000, 0x01067001, 0x01067002},
         {0x01001000, 0x01030000, 0x01030001, 0x01030002, 0x01030003, 0x01030004, 0x01067000,
          0x01067001, 0x01067002, 0x01067003, 0x01067004, 0x01067005}},
        {0x01098000,
         0x01030000,
         {0x01001000, 0x01052000, 0x01030000, 0x01030001},
         {0x01001000, 0x01030000, 0x01030001, 0x01030002, 0x01030003, 0x01030004, 0x01098000}},
        {0x01099000,
         0x01098000,
         {0x01001000, 0x01052000, 0x01030000, 0x01030001},
         {0x01001000, 0x01030000, 0x01030001, 0x01030002, 0x01030003, 0x01030004, 0x01098000}},
        {0x01046000, kExp, num, numChunk},
        {0x01053000, 0x01046000, numBin, with(numChunk, {0x01053000})},
        {0x01039000, 0x01053000, numBin, with(numChunk, {0x01053000})},
        {0x0104b000, 0x01046000, numBin, with(numChunk, {0x01053000})},
        {0x01043000, 0x01053000, numBin, with(numChunk, {0x01053000})},
        {0x0103f000, 0x01053000, numBin, with(numChunk, {0x01053000})},
        {0x0104a000, 0x01053000, numBin, with(numChunk, {0x01053000})},
        {0x01044000, 0x01046000, with(num, {0x01044000}), with(numChunk, {0x01044000})},
        {0x01055000, 0x01046000, num, with(numChunk, {0x01055000})},
        {0x0103b000, kExp, boolean, boolChunk},
        {0x01054000, 0x0103b000, boolBin, with(boolChunk, {0x01054000})},
        {0x0104c000, 0x0103b000, boolBin, with(boolChunk, {0x01054000})},
        {0x0104d000, 0x0103b000, boolBin, with(boolChunk, {0x01054000})},
        {0x01041000, 0x01054000, boolBin, with(boolChunk, {0x01054000})},
        {0x01042000, 0x01054000, boolBin, with(boolChunk, {0x01054000})},
        {0x01040000, 0x0103b000, with(boolean, {0x01040000, 0x01040001}),
         with(boolChunk, {0x01040000})},
        {0x0103e000, 0x0103b000, boolean, with(boolChunk, {0x0103e000})},
        {0x0103a000, 0x0103b000, with(boolean, {0x0103a000, 0x0103a001}),
         with(boolChunk, {0x0103a000})},
        {0x01049000, 0x0103b000, with(boolean, {0x01049000, 0x01049001}),
         with(boolChunk, {0x01049000})},
        {0x01045000, 0x0103b000, boolean, with(boolChunk, {0x01045000})},
        {0x0105c000, kExp, vec2, vec2Chunk},
        {0x0105f000, kExp, vec3, vec3Chunk},
        {0x01062000, kExp, script, iso4Chunk},
        {0x01085000, 0x0105c000, vec2, with(vec2Chunk, {0x01085000})},
        {0x01086000, 0x0105c000, vec2, with(vec2Chunk, {0x01086000})},
        {0x01087000, 0x0105c000, vec2, with(vec2Chunk, {0x01087000})},
        {0x01088000, 0x0105c000, vec2, with(vec2Chunk, {0x01088000})},
        {0x01089000, 0x0105f000, vec3, with(vec3Chunk, {0x01089000})},
        {0x0108a000, 0x0105f000, vec3, with(vec3Chunk, {0x0108a000})},
        {0x0108b000, 0x0105f000, vec3, with(vec3Chunk, {0x0108b000})},
        {0x0108c000, 0x0105f000, vec3, with(vec3Chunk, {0x0108c000})},
        {0x0108d000, 0x0105f000, vec3, with(vec3Chunk, {0x0108d000})},
        {0x0108e000, 0x0105f000, vec3, with(vec3Chunk, {0x0108e000})},
        {0x0108f000, 0x01062000, script, with(iso4Chunk, {0x01063000})},
        {0x01090000, 0x01062000, script, with(iso4Chunk, {0x01063000})},
        {0x01091000, 0x01046000, num, with(numChunk, {0x01055000})},
        {0x01092000, 0x01046000, num, with(numChunk, {0x01055000})},
        {0x0104e000, kExp, with(script, {0x0104e000}), {kNod, 0x0104e000}},
        {0x01059000, kExp, script, {kNod, 0x01059000}},
        {0x01056000, kExp, script, {kNod, 0x01056000}},
        {0x00105100, 0x0104e000, string, with(stringChunk, {0x00105100})},
        {0x010a3000, 0x0104e000, string, with(stringChunk, {0x010a3000})},
        {0x010a7000, 0x0104e000, string, with(stringChunk, {0x010a7000})},
        {0x010a9000, 0x01059000, script, with(enumChunk, {0x010a9000})},
        {0x010a8000, 0x01046000, num, with(numChunk, {0x010a8000})},
        {0x010a2000, 0x01056000, script, classChunk},
        {0x01047000, 0x01046000, num, with(numChunk, {0x01047000, 0x01047001})},
        {0x0103c000, 0x0103b000, boolean, with(boolChunk, {0x0103c000})},
        {0x0104f000, 0x0104e000, string, with(stringChunk, {0x0104f000})},
        {0x01057000, 0x01056000, script, with(classChunk, {0x01057000})},
        {0x010a4000, 0x01059000, script, with(enumChunk, {0x010a4000})},
        {0x0105d000, 0x0105c000, vec2, with(vec2Chunk, {0x0105d000})},
        {0x01060000, 0x0105f000, vec3, with(vec3Chunk, {0x01060000})},
        {0x01063000, 0x01062000, script, with(iso4Chunk, {0x01063000})},
        {0x01048000, 0x01046000, num, with(numChunk, {0x01048000, 0x01048001})},
        {0x0103d000, 0x0103b000, boolean, with(boolChunk, {0x0103d000, 0x0103d001})},
        {0x01050000, 0x0104e000, string, with(stringChunk, {0x01050000, 0x01050001, 0x01050002})},
        {0x01058000, 0x01056000, script, with(classChunk, {0x01058000, 0x01058001})},
        {0x0105a000, 0x01059000, script, with(enumChunk, {0x0105a000, 0x0105a001})},
        {0x0105e000, 0x0105c000, vec2, with(vec2Chunk, {0x0105e000, 0x0105e001})},
        {0x01061000, 0x0105f000, vec3, with(vec3Chunk, {0x01061000, 0x01061001})},
        {0x01064000, 0x01062000, script, with(iso4Chunk, {0x01064000, 0x01064001})},
        {0x01032000, kInst, ident, identChunks},
        {0x01071000, kIdent, ident, identChunks},
        {0x01072000, kIdent, ident, identChunks},
        {0x01073000, kIdent, ident, identChunks},
        {0x01074000, kIdent, ident, with(identChunks, {0x01074000})},
        {0x01075000, kIdent, ident, identChunks},
        {0x01076000, kIdent, ident, identChunks},
        {0x01077000, kIdent, ident, identChunks},
        {0x010a5000, kIdent, ident, identChunks},
        {0x01033000, kInst, script, paramChunks},
        {0x01078000, kParam, script, paramChunks},
        {0x01079000, kParam, script, paramChunks},
        {0x0107a000, kParam, script, paramChunks},
        {0x0107b000, kParam, script, paramChunks},
        {0x0107c000, kParam, script, paramChunks},
        {0x0107d000, kParam, script, paramChunks},
        {0x0107e000, kParam, script, paramChunks},
        {0x0107f000, kParam, script, paramChunks},
        {0x01034000, kInst, script, {kNod, 0x01034000, 0x01034001}},
        {0x010a0000, kInst, script, {kNod, 0x010a0000, 0x010a0001}},
        {0x010a1000, kInst, script, {kNod, 0x010a1000, 0x010a1001}},
        {0x01068000, kNod, var, var},
        {0x01069000, kVar, with(var, {0x01069000}), var},
        {0x0106a000, kVar, with(var, {0x0106a000}), var},
        {0x0106b000, kVar, with(var, {0x0106b000}), var},
        {0x0106c000, kVar, with(var, {0x0106c000}), var},
        {0x0106d000, kVar, with(var, {0x0106d000}), var},
        {0x0106e000, kVar, with(var, {0x0106e000}), var},
        {0x0106f000, kVar, with(var, {0x0106f000}), var},
        {0x01070000, kVar, with(var, {0x01070000}), var},
        {0x010a6000, kVar, with(var, {0x010a6000}), var},
    };
    std::set<u32> listed;
    for (const SRow& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.ClassId);
        listed.insert(row.ClassId);
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
            for (u32 i = 0; i < nod->ChunkCount(); ++i) {
                const u32 chunk = nod->ChunkIdByIndex(i);
                chunks.push_back(chunk);
                // Read and written, but for the nod's own chunk, the older block chunks, the
                // member statements' older chunks and the older chunks of the identifier and
                // member expressions.
                static const std::set<u32> kOlder = {0x01033000, 0x01034000, 0x010a0000, 0x010a1000,
                                                     0x01047000, 0x01048000, 0x0103d000, 0x01050000,
                                                     0x01050001, 0x01058000, 0x0105a000, 0x0105e000,
                                                     0x01061000, 0x01064000, 0x01067000, 0x01067001,
                                                     0x01067002, 0x01067003, 0x01067004};
                const bool readOnly = chunk == kNod ||
                                      (chunk >= 0x01030000 && chunk < 0x01030004) ||
                                      kOlder.count(chunk) != 0;
                EXPECT_EQ(nod->GetChunkInfo(chunk), readOnly ? 1u : 3u) << std::hex << chunk;
            }
        }
        EXPECT_EQ(members, row.Members);
        EXPECT_EQ(chunks, row.Chunks);
    }
    // The table covers the whole list.
    EXPECT_EQ(listed.size(), g_ScriptClassList.m_Count);
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

// The member records of the expression, assignment and extern variable classes: type, name,
// label, flags and, for the operands, the class they accept. Egal's operands are set through the
// class's own operation (0x20), which counts the references the plain Class descriptor would not.
// The identifier assignments' Value is read only and takes any expression; each extern variable
// nod has one member without field, read and written through the class's own operations (the
// Class member also adds and removes), labelled with its name.
TEST_F(ScriptClassList, MemberRecords) {
    struct SRow {
        u32 MemberId;
        u32 TypeCode;
        const char* Name;
        const char* Label;
        u32 Flags;
        u32 Accepted = 0;
    };
    constexpr u32 kNum = 0x01046000, kBool = 0x0103b000, kExp = 0x01038000, kNod = 0x01001000;
    const SRow rows[] = {
        {0x01046000, MwType_Natural, "Type", "Type", 0x01},
        {0x0103b000, MwType_Bool, "Bool", "Bool", 0x01},
        {0x0104e000, MwType_String, "String", "String", 0x01},
        {0x01053000, MwType_Class, "Value1", "Value 1", 0x01, kNum},
        {0x01053001, MwType_Class, "Value2", "Value 2", 0x01, kNum},
        {0x01054000, MwType_Class, "Value1", "Value 1", 0x01, kNum},
        {0x01054001, MwType_Class, "Value2", "Value 2", 0x01, kNum},
        {0x01044000, MwType_Class, "Value", "Value", 0x01, kNum},
        {0x01040000, MwType_Class, "Value1", "Value 1", 0x21, kExp},
        {0x01040001, MwType_Class, "Value2", "Value 2", 0x21, kExp},
        {0x0103a000, MwType_Class, "Value1", "Value 1", 0x01, kBool},
        {0x0103a001, MwType_Class, "Value2", "Value 2", 0x01, kBool},
        {0x01049000, MwType_Class, "Value1", "Value 1", 0x01, kBool},
        {0x01049001, MwType_Class, "Value2", "Value 2", 0x01, kBool},
        {0x0105c000, MwType_Class, "Exp1", "Exp 1", 0x01, kNum},
        {0x0105c001, MwType_Class, "Exp2", "Exp 2", 0x01, kNum},
        {0x0105f000, MwType_Class, "Exp1", "Exp 1", 0x01, kNum},
        {0x0105f001, MwType_Class, "Exp2", "Exp 2", 0x01, kNum},
        {0x0105f002, MwType_Class, "Exp3", "Exp 3", 0x01, kNum},
        {0x01032000, MwType_Class, "Value", "Value", 0x01, kExp},
        {0x01069000, MwType_Bool, "Bool", "Bool", 0x33},
        {0x0106a000, MwType_Class, "Class", "Class", 0xFF, kNod},
        {0x0106b000, MwType_Real, "Float", "Float", 0x33},
        {0x0106c000, MwType_Integer, "Int", "Int", 0x33},
        {0x0106d000, MwType_Iso4, "Iso4", "Iso4", 0x33},
        {0x0106e000, MwType_String, "String", "String", 0x33},
        {0x0106f000, MwType_Vec2, "Vec2", "Vec2", 0x33},
        {0x01070000, MwType_Vec3, "Vec3", "Vec3", 0x33},
        {0x010a6000, MwType_Enum, "Enum", "Enum", 0x33},
    };
    for (const SRow& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.MemberId);
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(row.MemberId);
        ASSERT_NE(member, nullptr);
        EXPECT_EQ(member->TypeCode, row.TypeCode);
        EXPECT_STREQ(member->Name, row.Name);
        EXPECT_STREQ(member->Label, row.Label);
        EXPECT_EQ(member->Flags, row.Flags);
        EXPECT_EQ(member->Mask, 0x380u);
        // Only the extern variable nods' members (flags 0x33, 0xFF) have no field.
        EXPECT_EQ(member->FieldOffset >= 0, (row.Flags & 0x10) == 0);
        if (row.Accepted) {
            const auto* node = static_cast<const CMwMemberInfoClass*>(member);
            EXPECT_EQ(node->ClassInfo->m_ClassId, row.Accepted);
            EXPECT_EQ(node->TakesReference, 0u);
        }
    }
}

// CMwCmdExpSub, CMwCmdExpSup and CMwCmdExpSupEgal are filed under the plain class of their kind,
// while their C++ base, whose fields, operations and kind test they have, is the two-operand
// class: a nod of the class is of the two-operand kind, the class tree says it is not.
TEST_F(ScriptClassList, ClassTreeAndKindTestDiffer) {
    const struct {
        u32 ClassId, TreeParent, Base;
    } rows[] = {{0x0104b000, 0x01046000, 0x01053000},
                {0x0104c000, 0x0103b000, 0x01054000},
                {0x0104d000, 0x0103b000, 0x01054000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.ClassId);
        const CMwClassInfo* info = CMwClassRegistry::GetClassInfoById(row.ClassId);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->m_Parent->m_ClassId, row.TreeParent);
        EXPECT_EQ(info->m_Base->m_ClassId, row.Base);
        const TNodRef<CMwNod> nod(CMwClassRegistry::CreateNodById(row.ClassId));
        EXPECT_TRUE(nod->IsKindOf(row.Base));
        EXPECT_TRUE(nod->IsKindOf(row.TreeParent));
        EXPECT_FALSE(CMwClassRegistry::IsClassKindOf(row.ClassId, row.Base));
        EXPECT_TRUE(CMwClassRegistry::IsClassKindOf(row.ClassId, row.TreeParent));
    }
    // The other operators: the same parent in both.
    EXPECT_TRUE(CMwClassRegistry::IsClassKindOf(CMwCmdExpAdd::s_ClassId, 0x01053000));
    EXPECT_TRUE(CMwClassRegistry::IsClassKindOf(CMwCmdExpInf::s_ClassId, 0x01054000));
    EXPECT_TRUE(CMwClassRegistry::IsClassKindOf(CMwCmdExpNumDotProduct3::s_ClassId, 0x01046000));
}

// The core's factory and the registry create every creatable class by class id, with count 0;
// the abstract ids create nothing.
TEST_F(ScriptClassList, CreatedByClassId) {
    CMwFoundationsEngine engine;
    std::vector<u32> ids = {0x01080000u, 0x01030000u};
    ids.insert(ids.end(), ScriptExpressionClassIds().begin(), ScriptExpressionClassIds().end());
    ids.insert(ids.end(), ScriptStatementClassIds().begin(), ScriptStatementClassIds().end());
    EXPECT_EQ(ids.size(), 95u);
    for (u32 id : ids) {
        SCOPED_TRACE(testing::Message() << std::hex << id);
        for (CMwNod* nod :
             {engine.CreateByClassId(id, nullptr, 0), CMwClassRegistry::CreateNodById(id)}) {
            ASSERT_NE(nod, nullptr);
            EXPECT_EQ(nod->GetClassId(), id);
            EXPECT_TRUE(nod->IsKindOf(id));
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
