#include "tests/script/support/ScriptSamples.h"

#include "core/nod/MwMemberPath.h"
#include "script/expression/MwCmdExpParam.h"

namespace {

constexpr u32 kCmd = CScriptTestCmd::s_ClassId;
constexpr u32 kBlock = CMwCmdBlock::s_ClassId;

void EveryVariableRecord(CScriptFixtureWriter& w) {
    const std::vector<SScriptVariableSpec> specs = ScriptEveryVariableType();
    w.U32(u32(specs.size()));
    for (const SScriptVariableSpec& spec : specs)
        w.Variable(spec.Name, spec.Flag, spec.Type, spec.Id);
}

} // namespace

TNodRef<CMwCmdBlock> MakeSampleTree() {
    CMwCmdBlock* nested =
        NewBlock({NewTestCmd(1), NewTestCmd(2, CScriptTestCmd::Action_Return)},
                 {{"x", BlockVariable_Int}}, {{"this", BlockVariable_Class, kCmd, 1}});
    TNodRef<CMwCmdBlock> block =
        MakeBlock({NewTestCmd(0, CScriptTestCmd::Action_Sleep, 5), nested, NewTestCmd(3)});
    DeclareVariables(*block, true, ScriptEveryVariableType());
    DeclareVariables(*block, false, ScriptEveryVariableType());
    return block;
}

TNodRef<CMwCmdBlock> MakeExpressionTree() {
    TNodRef<CMwCmdBlock> block = MakeBlock({});
    for (u32 classId : ScriptExpressionClassIds())
        block->AddCmd(NewSampleExpression(classId));
    CMwCmdExpNumFunction* round = NewNumFunction(script::NumFunction_Round, NewFloat(2.5f));
    round->Run();
    block->AddCmd(round);
    return block;
}

void WriteTestCmd(CScriptFixtureWriter& w, u32 tag, u32 action, u32 argument) {
    w.NewNod(kCmd).Chunk(CScriptTestCmd::s_Chunk).U32(tag).U32(action).U32(argument).End();
}

std::string SampleTreeFixture(bool text, u32 chunk) {
    CScriptFixtureWriter w(text);
    w.Chunk(chunk).U32(3);
    WriteTestCmd(w, 0, CScriptTestCmd::Action_Sleep, 5);
    w.NewNod(kBlock).Chunk(CMwCmdBlock::s_BodyChunk).U32(2);
    WriteTestCmd(w, 1);
    WriteTestCmd(w, 2, CScriptTestCmd::Action_Return);
    w.U32(1).Variable("x", 0, BlockVariable_Int);
    w.U32(1).Variable("this", 1, BlockVariable_Class, kCmd);
    w.End();
    WriteTestCmd(w, 3);
    EveryVariableRecord(w);
    EveryVariableRecord(w);
    w.End();
    return w.Image(kBlock, true);
}

std::string SampleReplacedBodyFixture(bool text) {
    CScriptFixtureWriter w(text);
    w.Chunk(0x01030000).Chunk(0x01030001).Chunk(0x01030002);
    w.Chunk(CMwCmdBlock::s_OldBodyChunk).U32(0).U32(1).Variable("early", 0, BlockVariable_Int);
    w.U32(0);
    w.Chunk(CMwCmdBlock::s_BodyChunk).U32(1);
    WriteTestCmd(w, 9);
    w.U32(0).U32(1).Variable("late", 0, BlockVariable_Float);
    w.End();
    return w.Image(kBlock, true);
}

std::string SavedAddFixture(bool text) {
    CScriptFixtureWriter w(text);
    w.Chunk(CMwCmdExpNum::s_Chunk).U32(CmdExpNum_Float);
    w.Chunk(CMwCmdExpNumBin::s_OperandChunk);
    w.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(0).Int(7).End();
    w.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(1).Float(2.5f).End();
    w.End();
    return w.Image(CMwCmdExpAdd::s_ClassId, true);
}

std::string SavedNegFixture(bool text) {
    CScriptFixtureWriter w(text);
    w.Chunk(CMwCmdExpNum::s_Chunk).U32(CmdExpNum_Int).Int(5);
    w.Chunk(CMwCmdExpNeg::s_OperandChunk);
    w.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(0).Int(-5).End();
    w.End();
    return w.Image(CMwCmdExpNeg::s_ClassId, true);
}

std::string EnumFixture(bool text, u32 memberId) {
    CScriptFixtureWriter w(text);
    w.Chunk(CMwCmdExpEnum::s_Chunk).U32(2).U32(memberId).End();
    return w.Image(CMwCmdExpEnum::s_ClassId, true);
}

TNodRef<CMwCmdBlock> MakeStatementTree() {
    TNodRef<CMwCmdBlock> block = MakeBlock({});
    DeclareVariables(*block, true, ScriptEveryVariableType());
    for (u32 classId : ScriptStatementClassIds()) {
        CMwNod* sample = NewSampleStatement(classId);
        if (sample->IsKindOf(CMwCmdScript::s_ClassId))
            block->AddCmd(static_cast<CMwCmdScript*>(sample));
        else
            delete sample;
    }
    return block;
}

namespace {

void WriteInt(CScriptFixtureWriter& w, i32 value) {
    w.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(CmdExpNum_Int).Int(value);
    w.End();
}

// The older operand of one segment at the object, without index.
void WriteOlderObjectPath(CScriptFixtureWriter& w, u32 memberId) {
    w.Bool(1).U32(0).U32(1).Path({{MwPathItem_Member, memberId}});
}

} // namespace

std::string OlderMemberStatementFixture(bool text, u32 chunk) {
    constexpr u32 kObject = CScriptTestObject::s_ClassId;
    CScriptFixtureWriter w(text);
    w.Chunk(chunk);
    u32 mainClass = 0;
    switch (chunk) {
        case CMwCmdAffectParam::s_OldChunk:
            mainClass = CMwCmdAffectParamNum::s_ClassId;
            w.Bool(0).String("c").U32(1);
            WriteInt(w, 1);
            w.U32(2).Path({{MwPathItem_Member, kObject | 0x00E}, {MwPathItem_Index, 0}});
            w.Path({{MwPathItem_Member, kObject | 0x002}});
            WriteInt(w, 42);
            w.U32(0).U32(9);
            break;
        case CMwCmdCall::s_OldChunk:
            mainClass = CMwCmdCall::s_ClassId;
            WriteOlderObjectPath(w, kObject | 0x00B);
            break;
        case CMwCmdArrayAdd::s_OldChunk:
            mainClass = CMwCmdArrayAdd::s_ClassId;
            WriteOlderObjectPath(w, kObject | 0x00D);
            w.NewNod(CMwCmdExpVec3::s_ClassId).Chunk(CMwCmdExpVec3::s_Chunk);
            for (i32 component : {4, 5, 6})
                WriteInt(w, component);
            w.End();
            break;
        case CMwCmdArrayRemove::s_OldChunk:
            mainClass = CMwCmdArrayRemove::s_ClassId;
            WriteOlderObjectPath(w, kObject | 0x00D);
            WriteInt(w, 0);
            break;
        default:
            return {};
    }
    w.End();
    return w.Image(mainClass, true);
}

std::string OlderOutsideExpressionFixture(bool text, u32 chunk) {
    constexpr u32 kObject = CScriptTestObject::s_ClassId;
    struct SForm {
        u32 Chunk;
        u32 ClassId;
        u32 PlainChunk;
        // The member the path names; 0 for the identifier form.
        u32 Member;
    };
    static constexpr SForm kForms[] = {
        {0x01047000, CMwCmdExpNumIdent::s_ClassId, CMwCmdExpNum::s_Chunk, 0},
        {0x01048000, CMwCmdExpNumParam::s_ClassId, CMwCmdExpNum::s_Chunk, kObject | 0x00D},
        {0x0103d000, CMwCmdExpBoolParam::s_ClassId, CMwCmdExpBool::s_Chunk, kObject | 0x001},
        {0x01050000, CMwCmdExpStringParam::s_ClassId, CMwCmdExpString::s_Chunk, kObject | 0x005},
        {0x01050001, CMwCmdExpStringParam::s_ClassId, CMwCmdExpString::s_Chunk, kObject | 0x005},
        {0x01058000, CMwCmdExpClassParam::s_ClassId, CMwCmdExpClass::s_Chunk, kObject | 0x00A},
        {0x0105a000, CMwCmdExpEnumParam::s_ClassId, CMwCmdExpEnum::s_Chunk, kObject | 0x000},
        {0x0105e000, CMwCmdExpVec2Param::s_ClassId, CMwCmdExpVec2::s_Chunk, kObject | 0x007},
        {0x01061000, CMwCmdExpVec3Param::s_ClassId, CMwCmdExpVec3::s_Chunk, kObject | 0x008},
        {0x01064000, CMwCmdExpIso4Param::s_ClassId, CMwCmdExpIso4::s_Chunk, kObject | 0x009},
    };
    for (const SForm& form : kForms) {
        if (form.Chunk != chunk)
            continue;
        CScriptFixtureWriter w(text);
        w.Chunk(form.PlainChunk);
        if (form.PlainChunk == CMwCmdExpNum::s_Chunk)
            w.U32(CmdExpNum_Float);
        else if (form.PlainChunk == CMwCmdExpClass::s_Chunk)
            w.U32(kObject);
        else if (form.PlainChunk == CMwCmdExpEnum::s_Chunk)
            w.U32(1).U32(CScriptTestObject::s_ModeMemberId);
        w.Chunk(chunk);
        if (!form.Member)
            w.String("v3");
        else if (chunk == 0x01050001)
            w.U32(0).Bool(1).NullRef().U32(0).U32(1).Path({{MwPathItem_Member, form.Member}});
        else
            WriteOlderObjectPath(w, form.Member);
        if (chunk == 0x01048000)
            w.U32(101);
        w.End();
        return w.Image(form.ClassId, true);
    }
    return {};
}
