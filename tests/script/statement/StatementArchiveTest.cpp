// Assignments, member statements and extern variable nods in archives: every class saved in
// release format loads back equal in both encodings; the stored layouts of an identifier and a
// member-path operand; the older chunks of the member statements, which load and run; and the
// invalid data a load refuses.
#include "core/nod/MwMemberPath.h"
#include "tests/script/statement/StatementTestSupport.h"
#include "tests/script/support/ScriptSamples.h"

#include <cstdio>
#include <functional>
#include <vector>

namespace {

class StatementArchive : public CScriptFixture {};

constexpr u32 kObject = CScriptTestObject::s_ClassId;

// Each class's sample alone, then the statements in one block: saved in release format they load
// back equal in both encodings, with the block's variables bound by name.
TEST_F(StatementArchive, RoundTrips) {
    ExpectSamplesRoundTrip(ScriptStatementClassIds(),
                           [](u32 classId) { return NewSampleStatement(classId); });
    const TNodRef<CMwCmdBlock> tree = MakeStatementTree();
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const u32 before = CMwNod::GetLiveNodCount();
        {
            const TNodRef<CMwNod> loaded = ScriptLoadImage(ScriptSaveImage(tree.Get(), true, text));
            CMwCmdBlock* block = ScriptNodAs<CMwCmdBlock>(loaded);
            ASSERT_NE(block, nullptr);
            ASSERT_EQ(block->m_Cmds.m_Count, 21u);
            EXPECT_TRUE(ScriptSameTrees(tree.Get(), block, true));
            CLogWatch log;
            block->Bind(nullptr);
            EXPECT_EQ(log.Since(), "");
            auto* num = static_cast<CMwCmdAffectIdentNum*>(block->m_Cmds.m_Items[4]);
            ASSERT_TRUE(num->IsKindOf(CMwCmdAffectIdentNum::s_ClassId));
            EXPECT_EQ(num->m_Ident.m_Variable, block->FindLocalVariable("m"));
            EXPECT_EQ(num->m_Component, 11);
            auto* param = static_cast<CMwCmdAffectParam*>(block->m_Cmds.m_Items[9]);
            EXPECT_EQ(param->m_Param.m_Variable, block->FindLocalVariable("c"));
            EXPECT_EQ(param->m_Reserved, 7u);
        }
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    }
}

// The classes' writers give the layout's bytes: an identifier assignment (name, value, once
// presence) followed by its selector chunk; a member assignment with the operand's current form
// (form, this flag, start, index expressions, segments), its value, number kind and reserved
// word.
TEST_F(StatementArchive, StoredLayouts) {
    const TNodRef<CMwNod> num(NewSampleStatement(CMwCmdAffectIdentNum::s_ClassId));
    const TNodRef<CMwNod> param(NewSampleStatement(CMwCmdAffectParamNum::s_ClassId));
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        CScriptFixtureWriter ident(text);
        ident.Chunk(CMwCmdAffectIdent::s_Chunk).String("m");
        ident.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(1).Float(2.5f);
        ident.End().Bool(0);
        ident.Chunk(CMwCmdAffectIdentNum::s_ComponentChunk).U32(11).End();
        EXPECT_EQ(ScriptSaveImage(num.Get(), true, text),
                  ident.Image(CMwCmdAffectIdentNum::s_ClassId, true));

        CScriptFixtureWriter member(text);
        member.Chunk(CMwCmdAffectParam::s_Chunk).U32(0).Bool(1).NullRef().U32(1);
        member.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(0).Int(1).End();
        member.U32(2).Path({{MwPathItem_Member, kObject | 0x00E}, {MwPathItem_Index, 0}});
        member.Path({{MwPathItem_Member, kObject | 0x002}});
        member.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(1).Float(-2.5f);
        member.End().U32(0).U32(0).End();
        EXPECT_EQ(ScriptSaveImage(param.Get(), true, text),
                  member.Image(CMwCmdAffectParamNum::s_ClassId, true));
    }
}

// The read-only chunks hold the operand in its older form (no form word, no start expression);
// they load, run as their current form would, and save in the current form.
TEST_F(StatementArchive, OlderChunksLoadAndRun) {
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        CScriptObjectWorld world;
        std::vector<TNodRef<CMwNod>> loaded;
        for (u32 chunk : kOlderMemberStatementChunks) {
            loaded.push_back(ScriptLoadImage(OlderMemberStatementFixture(text, chunk)));
            ASSERT_TRUE(loaded.back()) << std::hex << chunk;
        }
        world.m_Object->m_Points.Add(Vec3{9, 9, 9});
        for (const TNodRef<CMwNod>& nod : loaded)
            world.m_Root->AddCmd(static_cast<CMwCmdScript*>(nod.Get()));
        world.Bind();
        world.Var("c").SetNod(world.m_Object.Get());
        world.Run();
        EXPECT_EQ(world.m_Second->m_Integer, 42);
        EXPECT_EQ(world.m_Object->m_Touches, 1u);
        // Added (4, 5, 6) after (9, 9, 9), then removed the first.
        ASSERT_EQ(world.m_Object->m_Points.m_Count, 1u);
        EXPECT_EQ(world.m_Object->m_Points.m_Items[0].x, 4);
        auto* param = ScriptNodAs<CMwCmdAffectParamNum>(loaded[0]);
        ASSERT_NE(param, nullptr);
        EXPECT_EQ(param->m_Param.m_This, 0u);
        EXPECT_STREQ(param->m_Param.m_VariableName.GetText(), "c");
        EXPECT_EQ(param->m_Reserved, 9u);
        for (const TNodRef<CMwNod>& nod : loaded) {
            const TNodRef<CMwNod> again = ScriptLoadImage(ScriptSaveImage(nod.Get(), true, text));
            EXPECT_TRUE(ScriptSameTrees(nod.Get(), again.Get(), true));
        }
    }
}

// What a load refuses, with the invalid-data line of the class and chunk.
TEST_F(StatementArchive, InvalidData) {
    const auto intNode = [](CScriptFixtureWriter& w, i32 value) {
        w.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(0).Int(value).End();
    };
    const auto boolNode = [](CScriptFixtureWriter& w) {
        w.NewNod(CMwCmdExpBool::s_ClassId).Chunk(CMwCmdExpBool::s_Chunk).Bool(1).End();
    };
    const auto touch = [](CScriptFixtureWriter& w) {
        w.Path({{MwPathItem_Member, kObject | 0x00B}});
    };
    struct SCase {
        const char* Name;
        u32 ClassId;
        u32 Chunk;
        std::function<void(CScriptFixtureWriter&)> Body;
        // The chunk the body begins with, when not the one refused.
        u32 FirstChunk = 0;
    };
    const SCase cases[] = {
        {"no segment", CMwCmdCall::s_ClassId, 0x01034001,
         [&](CScriptFixtureWriter& w) { w.U32(0).Bool(1).NullRef().U32(0).U32(0); }},
        {"index expressions past the segments", CMwCmdCall::s_ClassId, 0x01034001,
         [&](CScriptFixtureWriter& w) {
             w.U32(0).Bool(1).NullRef().U32(2).NullRef().NullRef().U32(1);
             touch(w);
         }},
        {"two index expressions fewer", CMwCmdCall::s_ClassId, 0x01034000,
         [&](CScriptFixtureWriter& w) {
             w.Bool(1).U32(0).U32(2);
             touch(w);
             touch(w);
         }},
        {"an index that is not a Num", CMwCmdCall::s_ClassId, 0x01034001,
         [&](CScriptFixtureWriter& w) {
             w.U32(0).Bool(1).NullRef().U32(1);
             boolNode(w);
         }},
        {"a start that is not a Class", CMwCmdCall::s_ClassId, 0x01034001,
         [&](CScriptFixtureWriter& w) {
             w.U32(0).Bool(0).String("");
             intNode(w, 1);
         }},
        {"a value of another kind", CMwCmdAffectIdentBool::s_ClassId, 0x01032000,
         [&](CScriptFixtureWriter& w) {
             w.String("b");
             intNode(w, 1);
         }},
        {"a member value of another kind", CMwCmdAffectParamVec2::s_ClassId, 0x01033001,
         [&](CScriptFixtureWriter& w) {
             w.U32(0).Bool(1).NullRef().U32(0).U32(1);
             touch(w);
             w.NewNod(CMwCmdExpVec3::s_ClassId).Chunk(CMwCmdExpVec3::s_Chunk);
             w.NullRef().NullRef().NullRef().End();
         }},
        {"no value", CMwCmdAffectParam::s_ClassId, 0x01033000,
         [&](CScriptFixtureWriter& w) {
             w.Bool(1).U32(0).U32(1);
             touch(w);
             w.NullRef();
         }},
        {"nothing to add", CMwCmdArrayAdd::s_ClassId, 0x010a0001,
         [&](CScriptFixtureWriter& w) {
             w.U32(0).Bool(1).NullRef().U32(0).U32(1);
             touch(w);
             w.NullRef();
         }},
        {"a removal that is not a Num", CMwCmdArrayRemove::s_ClassId, 0x010a1000,
         [&](CScriptFixtureWriter& w) {
             w.Bool(1).U32(0).U32(1);
             touch(w);
             boolNode(w);
         }},
        {"an operand read twice", CMwCmdCall::s_ClassId, 0x01034001,
         [&](CScriptFixtureWriter& w) {
             w.Bool(1).U32(0).U32(1);
             touch(w);
             w.Chunk(0x01034001).U32(0).Bool(1).NullRef().U32(0).U32(1);
             touch(w);
         },
         0x01034000},
        {"a count past the data", CMwCmdCall::s_ClassId, 0x01034001,
         [&](CScriptFixtureWriter& w) { w.U32(0).Bool(1).NullRef().U32(0).U32(0x100000); }},
        // The body ends at an unknown chunk before the operand came.
        {"no operand", CMwCmdArrayRemove::s_ClassId, 0x010a1001,
         [&](CScriptFixtureWriter& w) { w.U32(0); }, 0x00020101},
        {"no operand or value", CMwCmdAffectParamVec2::s_ClassId, 0x01033001,
         [&](CScriptFixtureWriter& w) { w.U32(0); }, 0x00020101},
    };
    for (const SCase& c : cases) {
        for (bool text : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.Name << (text ? " (text)" : ""));
            CScriptFixtureWriter w(text);
            w.Chunk(c.FirstChunk ? c.FirstChunk : c.Chunk);
            c.Body(w);
            w.End();
            char line[128];
            std::snprintf(line, sizeof line,
                          "Script Warning : Invalid script data in %s, chunk 0x%08X",
                          CMwClassRegistry::GetClassInfoById(c.ClassId)->m_Name, c.Chunk);
            ExpectScriptLoadRefused(w.Image(c.ClassId, true), line);
        }
    }
}

} // namespace
