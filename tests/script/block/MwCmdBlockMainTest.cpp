// The script root at run time: executions on objects, suspension into call frames and their
// continuation by the tick in command buffer 13, driven by a fake time host.
#include "script/block/MwCmdBlockMain.h"

#include "core/nod/MwCmd.h"
#include "core/nod/MwMemberPath.h"
#include "script/block/MwCmdBlockProcedure.h"
#include "script/expression/MwCmdExpNum.h"
#include "script/var/MwCmdScriptVar.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/support/ScriptStatements.h"
#include "tests/script/support/ScriptTimeHost.h"

#include <string>

namespace {

class MwCmdBlockMain : public CScriptFixture {};

// A root running a, a Sleep of `ms` (tag b), then c, on test objects.
TNodRef<CMwCmdBlockMain> MakeSleeper(u32 ms) {
    TNodRef<CMwCmdBlockMain> root(new CMwCmdBlockMain);
    root->AddCmd(NewTestCmd(0));
    root->AddCmd(NewTestCmd(1, CScriptTestCmd::Action_Sleep, ms));
    root->AddCmd(NewTestCmd(2));
    root->SetThisClassId(CScriptTestObject::s_ClassId);
    root->Bind(nullptr);
    return root;
}

bool TickInstalled(CMwCmdBlockMain& root) {
    return root.GetFastCall() && (root.GetFastCall()->m_State & CMwCmd::s_Installed);
}

// An execution sleeps into its call frame with the root idle; the tick continues it once the
// unsigned difference of the script time reaches the duration, also across a wrap of the time,
// and goes away when nothing sleeps. A Sleep of 0 is due at the first tick.
TEST_F(MwCmdBlockMain, SleepIsContinuedWhenDue) {
    struct SCase {
        u32 Start, Duration, NotYet, Due;
    };
    const SCase cases[] = {
        {1000, 100, 1099, 1100},
        {0xFFFFFF00u, 0x200, 0xFF, 0x100},
        {0xFFFFFFFFu, 1, 0xFFFFFFFFu, 0},
        {5, 0, 5, 5},
    };
    CScriptTimeHost host;
    const TNodRef<CScriptTestObject> object(new CScriptTestObject);
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Start);
        ScriptTestTrace().clear();
        const TNodRef<CMwCmdBlockMain> root = MakeSleeper(c.Duration);
        host.SetTime(c.Start);
        ASSERT_EQ(root->ExecuteOn(object.Get()), 1u);
        EXPECT_EQ(ScriptTestTrace(), "ab");
        EXPECT_EQ(root->m_Bits & CMwCmdBlock::s_Suspended, 0u);
        ASSERT_EQ(root->GetCallFrameCount(), 1u);
        EXPECT_EQ(root->GetCallFrame(0).m_Sleeping, 1u);
        EXPECT_EQ(root->GetCallFrame(0).m_Start, c.Start);
        EXPECT_TRUE(TickInstalled(*root));
        if (c.Duration != 0) {
            host.SetTime(c.NotYet);
            host.Tick();
            EXPECT_EQ(ScriptTestTrace(), "ab");
        }
        host.SetTime(c.Due);
        host.Tick();
        EXPECT_EQ(ScriptTestTrace(), "abc");
        EXPECT_EQ(root->GetCallFrameCount(), 0u);
        EXPECT_EQ(root->GetFastCall(), nullptr);
    }
}

// A second execution while one sleeps gets a fresh block frame and call frame; each continues
// on its own object, in the order they fall due, and the next Sleep makes a new tick.
TEST_F(MwCmdBlockMain, SuspendedExecutionsContinueOnTheirOwnObjects) {
    CScriptTimeHost host;
    const TNodRef<CScriptTestObject> first(new CScriptTestObject), second(new CScriptTestObject);
    const TNodRef<CMwCmdBlockMain> root = MakeSleeper(100);
    host.SetTime(0);
    root->ExecuteOn(first.Get());
    host.SetTime(50);
    root->ExecuteOn(second.Get());
    EXPECT_EQ(ScriptTestTrace(), "abab");
    ASSERT_EQ(root->GetCallFrameCount(), 2u);
    EXPECT_EQ(root->GetFrameCount(), 3u);
    EXPECT_EQ(root->GetCallFrame(0).m_Object, first.Get());
    EXPECT_EQ(root->GetCallFrame(1).m_Object, second.Get());
    EXPECT_EQ(first->GetDependantCount(), 1u);
    const CMwCmdFastCall* tick = root->GetFastCall();

    host.SetTime(100);
    host.Tick();
    EXPECT_EQ(ScriptTestTrace(), "ababc");
    EXPECT_EQ(root->GetThis(), first.Get());
    ASSERT_EQ(root->GetCallFrameCount(), 1u);
    EXPECT_EQ(root->GetCallFrame(0).m_Object, second.Get());
    EXPECT_EQ(first->GetDependantCount(), 0u);
    EXPECT_EQ(root->GetFastCall(), tick);

    // A third execution starts and ends on the first object meanwhile: the sleeping one still
    // continues on its own.
    host.SetTime(120);
    root->ExecuteOn(first.Get());
    host.SetTime(150);
    host.Tick();
    EXPECT_EQ(ScriptTestTrace(), "ababcabc");
    EXPECT_EQ(root->GetThis(), second.Get());
    host.SetTime(220);
    host.Tick();
    EXPECT_EQ(ScriptTestTrace(), "ababcabcc");
    EXPECT_EQ(root->GetCallFrameCount(), 0u);
    EXPECT_EQ(root->GetFrameCount(), 1u);
    EXPECT_EQ(root->GetFastCall(), nullptr);
    EXPECT_EQ(second->GetDependantCount(), 0u);

    root->ExecuteOn(first.Get());
    EXPECT_TRUE(TickInstalled(*root));
}

// The object of a sleeping execution destroyed: the call frame forgets it and the execution
// still continues; a root destroyed with its tick installed leaves the buffer safe.
TEST_F(MwCmdBlockMain, ObjectAndRootGoneWhileSleeping) {
    CScriptTimeHost host;
    TNodRef<CScriptTestObject> object(new CScriptTestObject);
    const TNodRef<CMwCmdBlockMain> root = MakeSleeper(10);
    root->ExecuteOn(object.Get());
    object.Reset();
    ASSERT_EQ(root->GetCallFrameCount(), 1u);
    EXPECT_EQ(root->GetCallFrame(0).m_Object, nullptr);
    EXPECT_EQ(root->GetThis(), nullptr);
    host.Advance(10);
    EXPECT_EQ(ScriptTestTrace(), "abc");

    const TNodRef<CScriptTestObject> kept(new CScriptTestObject);
    TNodRef<CMwCmdBlockMain> doomed = MakeSleeper(10);
    doomed->ExecuteOn(kept.Get());
    EXPECT_TRUE(TickInstalled(*doomed));
    doomed.Reset();
    EXPECT_EQ(kept->GetDependantCount(), 0u);
    host.Advance(10);
    host.Advance(10);
}

// ExecuteOn refuses a null nod, any nod while the class id is 0, and a nod of another class.
// Without a scheduling core a Sleep suspends and makes no tick; a Sleep with no execution
// changes nothing and says so.
TEST_F(MwCmdBlockMain, RefusalsAndSleepsWithoutHost) {
    const TNodRef<CScriptTestObject> object(new CScriptTestObject);
    const TNodRef<CMwCmdBlockMain> root = MakeSleeper(10);
    EXPECT_EQ(root->ExecuteOn(nullptr), 0u);
    const TNodRef<CScriptTestCmd> other(NewTestCmd(9));
    EXPECT_EQ(root->ExecuteOn(other.Get()), 0u);
    const TNodRef<CMwCmdBlockMain> unclassed(new CMwCmdBlockMain);
    EXPECT_EQ(unclassed->ExecuteOn(object.Get()), 0u);
    EXPECT_EQ(ScriptTestTrace(), "");

    EXPECT_EQ(root->ExecuteOn(object.Get()), 1u);
    EXPECT_EQ(ScriptTestTrace(), "ab");
    EXPECT_EQ(root->GetCallFrameCount(), 1u);
    EXPECT_EQ(root->GetFastCall(), nullptr);

    CLogWatch log;
    const TNodRef<CMwCmdBlockMain> idle(new CMwCmdBlockMain);
    idle->Sleep(5);
    idle->Wait(nullptr);
    EXPECT_EQ(idle->m_Bits, CMwCmdBlock::s_OwnFrame);
    EXPECT_EQ(idle->GetFastCall(), nullptr);
    // A nested block run by itself under a root that runs nothing: one line, no bit set.
    const TNodRef<CMwCmdBlockMain> holder(new CMwCmdBlockMain);
    CMwCmdBlock* nested = NewBlock({NewTestCmd(5, CScriptTestCmd::Action_Sleep, 1)});
    holder->AddCmd(nested);
    holder->Bind(nullptr);
    nested->Run();
    EXPECT_EQ(nested->m_Bits & CMwCmdBlock::s_Suspended, 0u);
    EXPECT_EQ(holder->m_Bits & CMwCmdBlock::s_Suspended, 0u);
    const std::string line = "Script Warning : Sleep or Wait outside an execution, ignored.\r\n";
    EXPECT_EQ(log.Since(), line + line + line);
}

// Procedures are made without an own frame; Return ends the chain at the body, and a function
// keeps the returned expression.
TEST_F(MwCmdBlockMain, ProcedureAndFunctionReturn) {
    const TNodRef<CMwCmdBlock> outer = MakeBlock({});
    const TNodRef<CMwCmdBlockProcedure> procedure(new CMwCmdBlockProcedure);
    const TNodRef<CMwCmdBlockFunction> function(new CMwCmdBlockFunction);
    EXPECT_EQ(procedure->m_Bits & CMwCmdBlock::s_OwnFrame, 0u);
    procedure->Bind(outer.Get());
    function->Bind(outer.Get());
    const TNodRef<CMwCmdExpNum> value(new CMwCmdExpNum);
    procedure->Return(value.Get());
    function->Return(value.Get());
    EXPECT_EQ(procedure->m_Bits & CMwCmdBlock::s_Leave, CMwCmdBlock::s_Leave);
    EXPECT_EQ(function->m_Result, value.Get());
    EXPECT_EQ(outer->m_Bits & CMwCmdBlock::s_Leave, 0u);
}

// A script saved without the release flag keeps its name and class only; loading it logs the
// source text between dashed lines.
TEST_F(MwCmdBlockMain, NonReleaseLoadLogsTheSource) {
    const TNodRef<CMwCmdBlockMain> root = MakeSleeper(10);
    root->m_IdName.SetFromName("Lap");
    const std::string image = ScriptSaveImage(root.Get(), false, false);
    ASSERT_FALSE(image.empty());
    CLogWatch log;
    const TNodRef<CMwNod> loaded = ScriptLoadImage(image);
    ASSERT_TRUE(loaded);
    const std::string dashes(84, '-');
    EXPECT_NE(log.Since().find("Error : script Lap hasn't been archived in release format => \r\n" +
                               dashes + "\r\n\r\n" + dashes + "\r\n"),
              std::string::npos)
        << log.Since();
    auto* read = static_cast<CMwCmdBlockMain*>(loaded.Get());
    EXPECT_EQ(read->m_ThisClassId, CScriptTestObject::s_ClassId);
    EXPECT_EQ(read->m_Cmds.m_Count, 0u);
}

// A release image keeps the statements and runs the same after the load.
TEST_F(MwCmdBlockMain, ReleaseRoundTripRunsTheSame) {
    const TNodRef<CMwCmdBlockMain> root = MakeSleeper(0);
    root->AddProcedure(new CMwCmdBlockFunction);
    root->m_IdName.SetFromName("Lap");
    for (const bool text : {false, true}) {
        const std::string image = ScriptSaveImage(root.Get(), true, text);
        const TNodRef<CMwNod> loaded = ScriptLoadImage(image);
        ASSERT_TRUE(loaded);
        EXPECT_TRUE(ScriptSameTrees(root.Get(), loaded.Get(), true));
        auto* read = static_cast<CMwCmdBlockMain*>(loaded.Get());
        ASSERT_EQ(read->m_Procedures.m_Count, 1u);
        EXPECT_EQ(read->Procedure(0)->m_Parent, read);
        ScriptTestTrace().clear();
        const TNodRef<CScriptTestObject> object(new CScriptTestObject);
        EXPECT_EQ(read->ExecuteOn(object.Get()), 1u);
        EXPECT_EQ(ScriptTestTrace(), "ab");
    }
}

} // namespace

namespace {

// Writing Execute with a Class argument item runs the script on it and answers success, also
// when the object is refused; Variables cannot be set as a list or an element.
TEST_F(MwCmdBlockMain, ExecuteAndVariablesThroughPaths) {
    const TNodRef<CScriptTestObject> object(new CScriptTestObject);
    const TNodRef<CMwCmdBlockMain> root = MakeSleeper(10);
    struct SCase {
        CMwNod* Argument;
        const char* Trace;
    };
    const TNodRef<CScriptTestCmd> other(NewTestCmd(9));
    const SCase cases[] = {{other.Get(), ""}, {object.Get(), "ab"}};
    for (const SCase& c : cases) {
        CMwMemberPath path;
        ASSERT_EQ(path.ParseFromText(CMwCmdBlockMain::s_ClassId, root.Get(), "Execute"), 0u);
        path.Reserve(2);
        path.PushFront(reinterpret_cast<MwPathValue>(c.Argument));
        path.m_Kinds[0] = MwPathItem_ArgumentNod;
        path.Reset();
        EXPECT_EQ(root->SetParam(&path, nullptr), u32(MwParam_Ok));
        EXPECT_EQ(ScriptTestTrace(), c.Trace);
    }

    for (const bool element : {false, true}) {
        CMwMemberPath path(2);
        if (element) {
            path.PushFront(0);
            path.m_Kinds[0] = MwPathItem_Index;
        }
        path.PushFront(reinterpret_cast<MwPathValue>(
            CMwClassRegistry::GetMemberInfo(CMwCmdBlockMain::s_VariablesMemberId)));
        path.m_Kinds[0] = MwPathItem_Member;
        path.Reset();
        CMwCmdScriptVar* nod = nullptr;
        EXPECT_EQ(root->SetParam(&path, &nod), u32(MwParam_NotFound));
    }
}

} // namespace

namespace {

// An extern is attached to the variable its declaring statement names; each execution runs the
// initialiser unless the variable was set from outside (through "Variables.0.Int"), and a release
// image keeps the attachment.
TEST_F(MwCmdBlockMain, ExternInitialisedUnlessSetFromOutside) {
    const TNodRef<CMwCmdBlockMain> root(new CMwCmdBlockMain);
    DeclareVariables(*root, true, {{"speed", BlockVariable_Int}});
    auto* holder = new CMwCmdBlockProcedure;
    CMwCmdAffectIdentNum* declaration = NewAffectIdentNum("speed", NewInt(7));
    holder->AddCmd(declaration);
    root->AddProcedure(holder);
    root->AddExtern(declaration, new CMwCmdScriptVarInt);
    root->SetThisClassId(CScriptTestObject::s_ClassId);
    root->Bind(nullptr);
    const TNodRef<CScriptTestObject> object(new CScriptTestObject);

    CMwCmdScriptVar* variable = root->Extern(0);
    ASSERT_NE(variable->m_Variable, nullptr);
    EXPECT_EQ(variable->m_Variable, root->FindLocalVariable("speed"));
    root->ExecuteOn(object.Get());
    EXPECT_EQ(root->FindLocalVariable("speed")->GetInt(), 7);

    CMwMemberPath path;
    ASSERT_EQ(path.ParseFromText(CMwCmdBlockMain::s_ClassId, root.Get(), "Variables.0.Int"), 0u);
    const i32 value = 3;
    EXPECT_EQ(root->SetParam(&path, &value), u32(MwParam_Ok));
    root->ExecuteOn(object.Get());
    EXPECT_EQ(root->FindLocalVariable("speed")->GetInt(), 3);

    const TNodRef<CMwNod> loaded = ScriptLoadImage(ScriptSaveImage(root.Get(), true, false));
    ASSERT_TRUE(loaded);
    auto* read = static_cast<CMwCmdBlockMain*>(loaded.Get());
    ASSERT_EQ(read->m_ExternVariables.m_Count, 1u);
    EXPECT_EQ(read->Extern(0)->m_Variable, read->FindLocalVariable("speed"));
    EXPECT_EQ(read->m_Declarations.m_Items[0]->m_Parent, read->m_Procedures.m_Items[0]);
}

} // namespace
