// The script node bases: the value codings, the value record, the Run member, the parent chain,
// the bases' own answers, and the step budget.
#include "script/base/MwCmdScript.h"

#include "core/nod/MwMemberPath.h"
#include "script/base/ScriptRun.h"
#include "script/base/ScriptValue.h"
#include "tests/script/ScriptTestSupport.h"

namespace {

class MwCmdScript : public CScriptFixture {};

// The two codings side by side: the kind that reads a type, and the type that holds a kind.
TEST(ScriptValueCodings, Table) {
    struct SRow {
        u32 Type;
        CmdExpValueType Kind;
        u32 NumType;
    };
    const SRow rows[] = {
        {BlockVariable_Bool, CmdExpValue_Bool, 0},   {BlockVariable_Int, CmdExpValue_Num, 0},
        {BlockVariable_Float, CmdExpValue_Num, 1},   {BlockVariable_String, CmdExpValue_String, 0},
        {BlockVariable_Class, CmdExpValue_Class, 0}, {BlockVariable_Enum, CmdExpValue_Enum, 0},
        {BlockVariable_Vec2, CmdExpValue_Vec2, 0},   {BlockVariable_Vec3, CmdExpValue_Vec3, 0},
        {BlockVariable_Iso4, CmdExpValue_Iso4, 0},
    };
    for (const SRow& row : rows) {
        SCOPED_TRACE(row.Type);
        EXPECT_EQ(ScriptValueKindOfVariable(row.Type), row.Kind);
        EXPECT_EQ(u32(ScriptVariableTypeOfValue(row.Kind, row.NumType)), row.Type);
    }
    // The numbers of both codings.
    static_assert(CmdExpValue_Bool == 0 && CmdExpValue_Class == 1 && CmdExpValue_Enum == 2 &&
                  CmdExpValue_Iso4 == 3 && CmdExpValue_Num == 4 && CmdExpValue_String == 5 &&
                  CmdExpValue_Vec2 == 6 && CmdExpValue_Vec3 == 7);
    static_assert(BlockVariable_Unset == 9 && BlockVariable_Iso4 == 8 && BlockVariable_Enum == 5);
    // Nothing reads an unset variable or a type past it; a Num of another type word, or an
    // abstract kind, has no variable type.
    EXPECT_EQ(ScriptValueKindOfVariable(BlockVariable_Unset), CmdExpValue_None);
    EXPECT_EQ(ScriptValueKindOfVariable(10), CmdExpValue_None);
    EXPECT_EQ(ScriptVariableTypeOfValue(CmdExpValue_Num, 2), BlockVariable_Unset);
    EXPECT_EQ(ScriptVariableTypeOfValue(CmdExpValue_None), BlockVariable_Unset);
    static_assert(ScriptVariableTypeOfValue(CmdExpValue_Num, CmdExpNum_Float) ==
                  BlockVariable_Float);
}

// The record points at its own storage, which holds the largest value; a value that lives
// elsewhere is designated instead.
TEST(ScriptValueRecord, PointsAtItsStorage) {
    CmdExpValueRecord record;
    EXPECT_EQ(record.Value, static_cast<void*>(record.Storage));
    Iso4 matrix;
    matrix.t = {1, 2, 3};
    std::memcpy(record.Value, &matrix, sizeof matrix);
    EXPECT_EQ(static_cast<Iso4*>(record.Value)->t.z, 3.0f);
    static_assert(alignof(CmdExpValueRecord) >= alignof(CMwNod*));
    CClassicString elsewhere("text");
    record.Value = &elsewhere;
    EXPECT_STREQ(static_cast<CClassicString*>(record.Value)->GetText(), "text");
}

// Writing Run through a member path runs the statement once, outside any script; the statement
// has no parent and asks nothing of anybody.
TEST_F(MwCmdScript, RunMemberRunsTheNodeOnce) {
    const TNodRef<CScriptTestCmd> cmd(NewTestCmd(3, CScriptTestCmd::Action_Sleep, 10));
    CMwMemberPath path;
    ASSERT_EQ(path.ParseFromText(cmd->GetClassId(), cmd.Get(), CClassicString("Run")), 0u);
    EXPECT_EQ(cmd->SetParam(&path, nullptr), 0u);
    EXPECT_EQ(cmd->m_Runs, 1u);
    EXPECT_EQ(ScriptTestTrace(), "d");
}

// A statement that is a block's child reaches the root through its parents; nodes without parent
// are their own root.
TEST_F(MwCmdScript, GetRootFollowsParents) {
    CScriptTestCmd* cmd = NewTestCmd(1);
    CMwCmdBlock* inner = NewBlock({cmd});
    const TNodRef<CMwCmdBlock> outer = MakeBlock({inner});
    outer->Bind(nullptr);
    EXPECT_EQ(cmd->m_Parent, inner);
    EXPECT_EQ(inner->m_Parent, outer.Get());
    EXPECT_EQ(cmd->GetRoot(), outer.Get());
    EXPECT_EQ(outer->GetRoot(), outer.Get());
    EXPECT_EQ(cmd->GetThis(), nullptr);
}

// An expression of the base's answers: constant, nothing written back.
class CTestExp : public CMwCmdExp {
public:
    u32 IsEqual(CMwCmdExp*) override { return 0; }
    void* GetValuePtr() override { return &m_Word; }
    void SetValue(const void* value) override { std::memcpy(&m_Word, value, 4); }
    void* GetResultPtr() override { return &m_Word; }
    void GetValue(CmdExpValueRecord& record) override { std::memcpy(record.Value, &m_Word, 4); }
    void ToString(CClassicString& text) override { text.SetInt(i32(m_Word)); }
    u32 m_Word = 7;
};

TEST_F(MwCmdScript, ExpressionBaseAnswers) {
    const TNodRef<CTestExp> exp(new CTestExp);
    EXPECT_EQ(exp->m_ValueKind, CmdExpValue_None);
    EXPECT_EQ(exp->IsConstant(), 1u);
    EXPECT_EQ(exp->WriteBack(), 0u);
    EXPECT_EQ(exp->m_Word, 7u);
    EXPECT_TRUE(exp->IsKindOf(CMwCmdExp::s_ClassId));
    EXPECT_TRUE(exp->IsKindOf(CMwCmdScript::s_ClassId));
    EXPECT_TRUE(exp->IsKindOf(CMwCmd::s_ClassId));
    EXPECT_FALSE(exp->IsKindOf(CMwCmdInst::s_ClassId));
}

// The budget: off until set; n steps, then every step refused until it is set again.
TEST_F(MwCmdScript, StepBudget) {
    for (u32 i = 0; i < 1000; ++i)
        ASSERT_TRUE(script::TakeStep());
    script::SetStepBudget(3);
    EXPECT_TRUE(script::TakeStep());
    EXPECT_TRUE(script::TakeStep());
    EXPECT_TRUE(script::TakeStep());
    EXPECT_FALSE(script::TakeStep());
    EXPECT_FALSE(script::TakeStep());
    script::SetStepBudget(0);
    EXPECT_TRUE(script::TakeStep());
}

} // namespace
