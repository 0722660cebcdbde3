// Blocks at run time: running statements, frames and the live table, name lookup, leaving,
// suspending and continuing, and the IsSleeping member.
#include "script/block/MwCmdBlock.h"

#include "core/nod/MwMemberPath.h"
#include "tests/script/AllocationCount.h"
#include "tests/script/ScriptTestSupport.h"

#include <string>

namespace {

class MwCmdBlock : public CScriptFixture {};

CScriptTestCmd* Cmd(CMwCmdBlock& block, u32 index) {
    return static_cast<CScriptTestCmd*>(block.m_Cmds.m_Items[index]);
}

CBlockVariable& Live(CMwCmdBlock& block, const char* name) {
    CBlockVariable* variable = block.FindLocalVariable(name);
    EXPECT_NE(variable, nullptr) << name;
    return *variable;
}

// A run goes through the statements in order, in a frame of its own that it removes at the end;
// a block without frame variables still pushes and removes one (holding only the pc).
TEST_F(MwCmdBlock, RunsItsStatementsInItsOwnFrame) {
    const TNodRef<CMwCmdBlock> block = MakeBlock({NewTestCmd(0), NewTestCmd(1), NewTestCmd(2)});
    block->Bind(nullptr);
    EXPECT_EQ(block->m_Bits, CMwCmdBlock::s_OwnFrame);
    EXPECT_EQ(block->GetFrameCount(), 1u);
    block->Run();
    block->Run();
    EXPECT_EQ(ScriptTestTrace(), "abcabc");
    EXPECT_EQ(block->m_Pc, 0u);
    EXPECT_EQ(block->GetFrameCount(), 1u);
    EXPECT_EQ(block->m_Bits, CMwCmdBlock::s_OwnFrame);
    for (u32 i = 0; i < 3; ++i)
        EXPECT_EQ(Cmd(*block, i)->m_Runs, 2u);
}

// Frame variables: an activation starts from frame 0's values (values set while the block is
// idle are saved into frame 0 by the next push), its own changes go with its frame; persistent
// variables keep every value.
TEST_F(MwCmdBlock, FrameVariablesBelongToOneActivation) {
    const TNodRef<CMwCmdBlock> block = MakeBlock(
        {}, {{"kept", BlockVariable_Int}}, {{"n", BlockVariable_Int}, {"s", BlockVariable_String}});
    block->Bind(nullptr);
    Live(*block, "n").SetInt(5); // while idle: the next activation's start
    Live(*block, "kept").SetInt(1);
    block->PushFrame();
    EXPECT_EQ(Live(*block, "n").GetInt(), 5);
    EXPECT_EQ(block->GetFrame(0).m_Variables.m_Items[0].GetInt(), 5);
    Live(*block, "n").SetInt(6);
    Live(*block, "s").MakeString().Assign("inner");
    Live(*block, "kept").SetInt(2);
    block->EndOwnFrame();
    EXPECT_EQ(Live(*block, "n").GetInt(), 5);
    EXPECT_FALSE(Live(*block, "s").HasValueObject());
    EXPECT_EQ(Live(*block, "kept").GetInt(), 2);
    EXPECT_EQ(block->GetFrameCount(), 1u);
}

// Push copies frame 0 for every type; PopFrames with remove 0 brings a frame back on top with its
// values and pc; with remove 1 the frame goes, the frames above move down and its Class variables
// leave their nods.
TEST_F(MwCmdBlock, PushAndPopFrames) {
    const TNodRef<CScriptTestObject> object(new CScriptTestObject);
    const TNodRef<CMwCmdBlock> block = MakeBlock({});
    DeclareVariables(*block, false, ScriptEveryVariableType());
    block->Bind(nullptr);
    Live(*block, "c").SetNod(object.Get());
    Live(*block, "v3").MakeFloats()[2] = 3.0f;
    Live(*block, "i").SetInt(10);

    // Frames 1, 2 and 3, each with its own i and pc.
    for (i32 f = 1; f <= 3; ++f) {
        block->PushFrame();
        EXPECT_EQ(Live(*block, "c").GetNod(), object.Get());
        EXPECT_EQ(Live(*block, "v3").GetFloats()[2], 3.0f);
        EXPECT_EQ(Live(*block, "i").GetInt(), 10);
        Live(*block, "i").SetInt(10 + f);
        block->m_Pc = u32(f);
    }
    EXPECT_EQ(block->GetFrameCount(), 4u);
    // Frame 0, the three frames and the live table hold the nod.
    EXPECT_EQ(object->GetDependantCount(), 1u + 3u + 1u);

    block->PopFrames(1, 0);
    EXPECT_EQ(Live(*block, "i").GetInt(), 11);
    EXPECT_EQ(block->m_Pc, 1u);
    // Frame 3's values were not saved by the pop: the frame holds what its last save gave it.
    EXPECT_EQ(block->GetFrame(2).m_Variables.m_Items[1].GetInt(), 10);

    block->PopFrames(2, 1); // frame 3 (now at index 2) goes
    EXPECT_EQ(block->GetFrameCount(), 3u);
    EXPECT_EQ(Live(*block, "i").GetInt(), 11);
    // Frame 2 holds what the push above it saved.
    EXPECT_EQ(block->GetFrame(1).m_Variables.m_Items[1].GetInt(), 12);
    EXPECT_EQ(object->GetDependantCount(), 1u + 2u + 1u);

    block->EndOwnFrame();
    block->EndOwnFrame();
    EXPECT_EQ(block->GetFrameCount(), 1u);
    EXPECT_EQ(Live(*block, "i").GetInt(), 10);
    EXPECT_EQ(object->GetDependantCount(), 2u);
    // Frame 0 never goes; an index past the frames changes nothing.
    block->PopFrames(0, 1);
    block->PopFrames(5, 0);
    EXPECT_EQ(block->GetFrameCount(), 1u);
}

// A nod held by Class variables in several frames goes when it is released or destroyed: every
// variable forgets it, and the frames go on without it.
TEST_F(MwCmdBlock, ClassVariablesInSeveralFramesLetGoOfAGoneNod) {
    for (bool release : {true, false}) {
        SCOPED_TRACE(release);
        const TNodRef<CMwCmdBlock> block =
            MakeBlock({}, {{"p", BlockVariable_Class}}, {{"c", BlockVariable_Class}});
        block->Bind(nullptr);
        auto* object = new CScriptTestObject;
        if (release)
            object->AddRef();
        Live(*block, "p").SetNod(object);
        Live(*block, "c").SetNod(object);
        block->PushFrame();
        block->PushFrame();
        EXPECT_EQ(object->GetDependantCount(), 5u);
        if (release)
            object->Release();
        else
            delete object;
        EXPECT_EQ(Live(*block, "p").GetNod(), nullptr);
        EXPECT_EQ(Live(*block, "c").GetNod(), nullptr);
        for (u32 f = 0; f < block->GetFrameCount(); ++f)
            EXPECT_EQ(block->GetFrame(f).m_Variables.m_Items[0].GetNod(), nullptr);
        block->EndOwnFrame();
        block->EndOwnFrame();
        EXPECT_EQ(block->GetFrameCount(), 1u);
    }
}

// Pushes and pops move no variable: the records that identifier operands point at stay where
// they are until the next bind, and running a block whose frame variables hold numbers allocates
// nothing once it has run before.
TEST_F(MwCmdBlock, FramesWithoutChurn) {
    CMwCmdBlock* inner = NewBlock({NewTestCmd(1)}, {}, {{"x", BlockVariable_Int}});
    const TNodRef<CMwCmdBlock> block =
        MakeBlock({NewTestCmd(0), inner}, {{"p", BlockVariable_Float}},
                  {{"a", BlockVariable_Int}, {"b", BlockVariable_Bool}});
    block->Bind(nullptr);
    CBlockVariable* a = block->FindVariableByName("a");
    CBlockVariable* x = inner->FindVariableByName("x");
    block->Run();
    ScriptTestTrace().reserve(64);
    const u64 allocations = AllocationCount();
    const u32 nods = CMwNod::GetLiveNodCount();
    for (u32 i = 0; i < 10; ++i) {
        block->Run();
        block->PushFrame();
        block->PopFrames(1, 0);
        block->EndOwnFrame();
    }
    EXPECT_EQ(AllocationCount(), allocations);
    EXPECT_EQ(CMwNod::GetLiveNodCount(), nods);
    EXPECT_EQ(block->FindVariableByName("a"), a);
    EXPECT_EQ(inner->FindVariableByName("x"), x);
    EXPECT_EQ(ScriptTestTrace(), "ababababababababababab");
}

// Names: equal length and bytes, case included; a persistent variable before a frame variable of
// the same name; the innermost block first; null when no block has it. FindVariable copies what
// it found into the given variable.
TEST_F(MwCmdBlock, FindsVariablesByName) {
    CMwCmdBlock* inner = NewBlock({NewTestCmd(0)}, {}, {{"x", BlockVariable_Float}});
    const TNodRef<CMwCmdBlock> outer =
        MakeBlock({inner}, {{"x", BlockVariable_Int}, {"name", BlockVariable_Bool}},
                  {{"x", BlockVariable_String}, {"nam", BlockVariable_Int}});
    outer->Bind(nullptr);
    EXPECT_EQ(outer->FindVariableByName("x"), &outer->m_LiveVariables.m_Items[0]);
    EXPECT_EQ(inner->FindVariableByName("x"), &inner->m_LiveVariables.m_Items[0]);
    EXPECT_EQ(inner->FindVariableByName("nam"), &outer->m_LiveVariables.m_Items[3]);
    EXPECT_EQ(inner->FindVariableByName("name"), &outer->m_LiveVariables.m_Items[1]);
    EXPECT_EQ(inner->FindVariableByName("Name"), nullptr);
    EXPECT_EQ(inner->FindVariableByName("na"), nullptr);
    EXPECT_EQ(inner->FindVariableByName(""), nullptr);

    outer->FindLocalVariable("name")->SetWord(1);
    CBlockVariable query;
    query.m_Name.Assign("name");
    EXPECT_EQ(inner->FindVariable(query), 1u);
    EXPECT_EQ(query.m_Type, u32(BlockVariable_Bool));
    EXPECT_EQ(query.GetWord(), 1u);
    query.m_Name.Assign("none");
    EXPECT_EQ(inner->FindVariable(query), 0u);
    EXPECT_EQ(query.m_Type, u32(BlockVariable_Bool));
}

// Return: the block and every block above leave (bit 4), each block's loop is asked to stop with
// null; a chain without parent ends at its top.
TEST_F(MwCmdBlock, ReturnLeavesEveryBlockUp) {
    CScriptTestCmd* loop = NewTestCmd(9);
    CMwCmdBlock* inner =
        NewBlock({NewTestCmd(1), NewTestCmd(2, CScriptTestCmd::Action_Return), NewTestCmd(3)});
    const TNodRef<CMwCmdBlock> outer = MakeBlock({NewTestCmd(0), inner, NewTestCmd(4)});
    const TNodRef<CScriptTestCmd> heldLoop(loop);
    inner->m_Loop = loop;
    outer->Bind(nullptr);
    outer->Run();
    EXPECT_EQ(ScriptTestTrace(), "abc");
    ASSERT_EQ(loop->m_Breaks.size(), 1u);
    EXPECT_EQ(loop->m_Breaks[0], nullptr);
    // Both runs ended: pc back to 0, frames removed, the leave bit cleared with them.
    EXPECT_EQ(outer->GetFrameCount(), 1u);
    EXPECT_EQ(inner->GetFrameCount(), 1u);
    EXPECT_EQ(outer->m_Bits, CMwCmdBlock::s_OwnFrame);
    EXPECT_EQ(inner->m_Pc, 0u);
}

// Under a script root a Sleep marks every block up to the root suspended, saves each frame with pc
// on the sleeping statement and asks each loop to stop; Resume brings the frames back and moves pc
// past the statement, and the next run continues there, through three nested blocks.
TEST_F(MwCmdBlock, SuspendAndResumeThroughNestedBlocks) {
    CScriptTestCmd* sleeper = NewTestCmd(2, CScriptTestCmd::Action_Sleep, 40);
    CMwCmdBlock* third =
        NewBlock({NewTestCmd(1), sleeper, NewTestCmd(3)}, {}, {{"t", BlockVariable_Int}});
    CMwCmdBlock* second = NewBlock({third, NewTestCmd(4)});
    const TNodRef<CScriptTestRoot> root(new CScriptTestRoot);
    root->AddCmd(NewTestCmd(0));
    root->AddCmd(second);
    root->AddCmd(NewTestCmd(5));
    const TNodRef<CScriptTestCmd> loop(NewTestCmd(9));
    second->m_Loop = loop.Get();
    root->Bind(nullptr);
    // Set while the block is idle: the start value of its next activation.
    Live(*third, "t").SetInt(3);

    root->Run();
    EXPECT_EQ(ScriptTestTrace(), "abc");
    EXPECT_EQ(root->m_Sleeps, std::vector<u32>{40});
    EXPECT_EQ(loop->m_Breaks.size(), 1u);
    for (CMwCmdBlock* block : {static_cast<CMwCmdBlock*>(root.Get()), second, third}) {
        EXPECT_TRUE(block->m_Bits & CMwCmdBlock::s_Suspended);
        EXPECT_EQ(block->GetFrameCount(), 2u);
    }
    EXPECT_EQ(third->GetTopFrame().m_SavedPc, 1u);
    EXPECT_EQ(root->GetTopFrame().m_SavedPc, 1u);
    // IsSleeping reads bit 1; writing it answers success and changes nothing.
    CMwMemberPath path;
    ASSERT_EQ(path.ParseFromText(third->GetClassId(), third, CClassicString("IsSleeping")), 0u);
    CMwParamValue value;
    ASSERT_EQ(third->GetParam(&path, &value), 0u);
    EXPECT_EQ(*static_cast<u32*>(value.Value), 1u);
    path.Reset();
    const u32 zero = 0;
    EXPECT_EQ(third->SetParam(&path, &zero), 0u);
    EXPECT_TRUE(third->m_Bits & CMwCmdBlock::s_Suspended);

    // A change of the live table after the suspension is not in the saved frame: the frame
    // comes back as it was saved.
    Live(*third, "t").SetInt(8);
    root->Resume(0);
    EXPECT_EQ(sleeper->m_ResumeDepths, std::vector<u32>{0});
    EXPECT_EQ(third->m_Pc, 2u);
    EXPECT_EQ(Live(*third, "t").GetInt(), 3);
    root->Run();
    EXPECT_EQ(ScriptTestTrace(), "abcdef");
    for (CMwCmdBlock* block : {static_cast<CMwCmdBlock*>(root.Get()), second, third}) {
        EXPECT_EQ(block->m_Bits, CMwCmdBlock::s_OwnFrame);
        EXPECT_EQ(block->GetFrameCount(), 1u);
        EXPECT_EQ(block->m_Pc, 0u);
    }
    EXPECT_EQ(sleeper->m_Runs, 1u);
}

// A Wait is recorded by the root in the same way; GetThis and GetThisClassId are the root's
// answers from any depth.
TEST_F(MwCmdBlock, WaitAndTheRootsAnswers) {
    CMwCmdBlock* inner = NewBlock({NewTestCmd(0, CScriptTestCmd::Action_Wait)});
    const TNodRef<CScriptTestRoot> root(new CScriptTestRoot);
    root->AddCmd(inner);
    const TNodRef<CScriptTestObject> object(new CScriptTestObject);
    root->m_This = object.Get();
    root->m_ThisClassId = CScriptTestObject::s_ClassId;
    root->Bind(nullptr);
    EXPECT_EQ(inner->GetThis(), object.Get());
    EXPECT_EQ(inner->GetThisClassId(), CScriptTestObject::s_ClassId);
    root->Run();
    EXPECT_EQ(root->m_Waits, 1u);
    EXPECT_TRUE(inner->m_Bits & CMwCmdBlock::s_Suspended);
}

// Without a script root at the top, Sleep and Wait change nothing and say so, GetThis answers
// null and GetThisClassId 0; Return still leaves.
TEST_F(MwCmdBlock, NoRootNoSuspension) {
    const TNodRef<CScriptTestCmd> loop(NewTestCmd(9));
    CMwCmdBlock* inner = NewBlock({NewTestCmd(0, CScriptTestCmd::Action_Sleep, 5),
                                   NewTestCmd(1, CScriptTestCmd::Action_Wait), NewTestCmd(2)});
    inner->m_Loop = loop.Get();
    const TNodRef<CMwCmdBlock> outer = MakeBlock({inner});
    outer->Bind(nullptr);
    CLogWatch log;
    outer->Run();
    EXPECT_EQ(ScriptTestTrace(), "abc");
    EXPECT_EQ(log.Since(), "Script Warning : Sleep or Wait outside a script, ignored.\r\n"
                           "Script Warning : Sleep or Wait outside a script, ignored.\r\n");
    EXPECT_TRUE(loop->m_Breaks.empty());
    EXPECT_EQ(inner->m_Bits, CMwCmdBlock::s_OwnFrame);
    EXPECT_EQ(inner->GetThis(), nullptr);
    EXPECT_EQ(inner->GetThisClassId(), 0u);
}

// Resume never uses a frame a block does not hold: the walk stops there with a warning.
TEST_F(MwCmdBlock, ResumeOfAMissingFrame) {
    CScriptTestCmd* sleeper = NewTestCmd(1, CScriptTestCmd::Action_Sleep, 1);
    CMwCmdBlock* inner = NewBlock({sleeper});
    const TNodRef<CScriptTestRoot> root(new CScriptTestRoot);
    root->AddCmd(inner);
    root->Bind(nullptr);
    root->Run();
    ASSERT_EQ(inner->GetFrameCount(), 2u);
    // The inner activation ended elsewhere: its frame is gone.
    inner->EndOwnFrame();
    CLogWatch log;
    root->Resume(0);
    EXPECT_EQ(log.Since(), "Script Warning : Resume of a missing frame, ignored.\r\n");
    EXPECT_TRUE(sleeper->m_ResumeDepths.empty());
    // A depth the root itself does not hold.
    root->Resume(7);
    root->Resume(0xFFFFFFFF);
    EXPECT_EQ(log.Since(), "Script Warning : Resume of a missing frame, ignored.\r\n"
                           "Script Warning : Resume of a missing frame, ignored.\r\n"
                           "Script Warning : Resume of a missing frame, ignored.\r\n");
}

// With the step budget spent, the running blocks leave before their next statement.
TEST_F(MwCmdBlock, StepBudgetStopsTheRun) {
    CMwCmdBlock* inner = NewBlock({NewTestCmd(1), NewTestCmd(2), NewTestCmd(3)});
    const TNodRef<CMwCmdBlock> outer = MakeBlock({NewTestCmd(0), inner, NewTestCmd(4)});
    outer->Bind(nullptr);
    script::SetStepBudget(3); // the first statement, the inner block, its first statement
    outer->Run();
    EXPECT_EQ(ScriptTestTrace(), "ab");
    EXPECT_EQ(outer->GetFrameCount(), 1u);
    EXPECT_EQ(inner->GetFrameCount(), 1u);
    EXPECT_EQ(outer->m_Pc, 0u);
}

} // namespace
