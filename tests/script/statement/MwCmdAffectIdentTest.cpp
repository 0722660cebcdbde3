// Assignments to script variables: every typed store, the Num rules (whole value and components),
// the once and evaluate flags, and what a statement without variable, value or live nod does.
#include "script/statement/MwCmdAffectIdent.h"

#include "tests/script/statement/StatementTestSupport.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

namespace {

class MwCmdAffectIdent : public CScriptFixture {};

std::vector<f32> Floats(const CBlockVariable& variable, u32 count) {
    const f32* floats = variable.GetFloats();
    return floats ? std::vector<f32>(floats, floats + count) : std::vector<f32>();
}

// Each typed class stores its kind into the variable and sets the assigned flag; Bool and Enum
// take the word, the vectors and the transform their floats (the value object made on the way),
// String the text, Class the nod through a dependant link.
TEST_F(MwCmdAffectIdent, TypedStoresIntoVariables) {
    CScriptObjectWorld world;
    world.Add({
        NewAffectIdent<CMwCmdAffectIdentBool>("b", NewBool(7)),
        NewAffectIdent<CMwCmdAffectIdentEnum>("e", NewEnum(3, CScriptTestObject::s_ModeMemberId)),
        NewAffectIdent<CMwCmdAffectIdentString>("s", NewString("Hello")),
        NewAffectIdent<CMwCmdAffectIdentVec2>("v2", NewVec2(NewInt(3), NewFloat(4.5f))),
        NewAffectIdent<CMwCmdAffectIdentVec3>("v3", NewFloatVec3(1, 2, 3)),
        NewAffectIdent<CMwCmdAffectIdentIso4>(
            "m", NewIso4(NewFloatVec3(0, 1, 0), NewFloatVec3(-1, 0, 0), NewFloatVec3(0, 0, 1),
                         NewFloatVec3(5, 6, 7))),
        NewAffectIdent<CMwCmdAffectIdentClass>("c", new CFixedNodExp(world.m_Child.Get())),
    });
    for (const char* name : {"b", "e", "s", "v2", "v3", "m", "c"})
        EXPECT_EQ(world.Var(name).m_Assigned, 0u) << name;
    world.Run();
    for (const char* name : {"b", "e", "s", "v2", "v3", "m", "c"})
        EXPECT_EQ(world.Var(name).m_Assigned, 1u) << name;
    EXPECT_EQ(world.Var("b").GetWord(), 7u);
    EXPECT_EQ(world.Var("e").GetWord(), 3u);
    EXPECT_STREQ(world.Var("s").GetString()->GetText(), "Hello");
    EXPECT_EQ(Floats(world.Var("v2"), 2), (std::vector<f32>{3, 4.5f}));
    EXPECT_EQ(Floats(world.Var("v3"), 3), (std::vector<f32>{1, 2, 3}));
    // The axes are the columns of the rotation, stored row by row, then the translation.
    EXPECT_EQ(Floats(world.Var("m"), 12), (std::vector<f32>{0, -1, 0, 1, 0, 0, 0, 0, 1, 5, 6, 7}));
    EXPECT_EQ(world.Var("c").GetNod(), world.m_Child.Get());
    // The variable follows its nod: released or destroyed, the nod is forgotten.
    EXPECT_EQ(world.m_Child->GetDependantCount(), 1u);
    world.m_Object->DropLinks();
    world.m_Child.Reset();
    EXPECT_EQ(world.Var("c").GetNod(), nullptr);
    // The type of a variable is never changed by a store.
    EXPECT_EQ(world.Var("b").m_Type, u32(BlockVariable_Bool));
}

// A second Class store moves the dependant link from the old nod to the new one; a Class value
// naming a nod that is gone stores null (its link could not be taken).
TEST_F(MwCmdAffectIdent, ClassStoresMoveTheLink) {
    CScriptObjectWorld world;
    auto* value = new CFixedNodExp(world.m_Child.Get());
    world.Add({NewAffectIdent<CMwCmdAffectIdentClass>("c", value)});
    world.Run();
    value->m_Value = world.m_Second.Get();
    world.Run();
    EXPECT_EQ(world.Var("c").GetNod(), world.m_Second.Get());
    EXPECT_EQ(world.m_Child->GetDependantCount(), 0u);
    EXPECT_EQ(world.m_Second->GetDependantCount(), 1u);
    {
        const TNodRef<CScriptTestObject> gone(new CScriptTestObject);
        value->m_Value = gone.Get();
    }
    world.Run();
    EXPECT_EQ(world.Var("c").GetNod(), nullptr);
    EXPECT_EQ(world.m_Second->GetDependantCount(), 0u);
}

// The whole-value Num store (selector -1) into Int and Float variables, against Python: an Int
// variable keeps an Int value and truncates a Float toward zero (NaN, infinities and values
// outside [-2^31, 2^31) give -2147483648); a Float variable takes a Float bit for bit and an Int
// converted to the nearest float. The member store of number kinds 0, 1 and 2 follows the same
// rules.
TEST_F(MwCmdAffectIdent, WholeNumbersAgainstPython) {
    const f32 inf = std::numeric_limits<f32>::infinity();
    const f32 floats[] = {2.9f,   -2.9f,         0.5f,          -0.5f,          3.0f,
                          1e-45f, 2147483520.0f, 2147483648.0f, -2147483648.0f, -2147483904.0f,
                          inf,    -inf,          std::nanf("")};
    const i32 ints[] = {3, -7, 16777217, 2147483647, -2147483647 - 1, 0};
    std::ostringstream args;
    for (f32 f : floats)
        args << " f" << std::bit_cast<u32>(f);
    for (i32 i : ints)
        args << " i" << i;
    CTempFolder folder;
    const std::string script = R"(import math, struct, sys
for arg in sys.argv[1:]:
    if arg[0] == 'f':
        x = struct.unpack('<f', struct.pack('<I', int(arg[1:])))[0]
        if math.isfinite(x) and -2**31 <= math.trunc(x) < 2**31:
            print(math.trunc(x) & 0xFFFFFFFF)
        else:
            print(0x80000000)
    else:
        print(struct.unpack('<I', struct.pack('<f', float(int(arg[1:]))))[0])
)";
    std::istringstream answers(RunPython(folder, script, args.str()));
    std::vector<u32> expected;
    for (u32 word; answers >> word;)
        expected.push_back(word);
    ASSERT_EQ(expected.size(), std::size(floats) + std::size(ints));

    CScriptObjectWorld world;
    std::vector<CMwCmdExpNum*> values;
    const auto add = [&](const char* variable, const char* member, u32 kind, CMwCmdExpNum* value) {
        values.push_back(value);
        world.m_Root->AddCmd(NewAffectIdentNum(variable, value));
        world.m_Root->AddCmd(NewAffectParam<CMwCmdAffectParamNum>(member, value, kind));
    };
    for (f32 f : floats)
        add("i", "Integer", 0, NewFloat(f));
    for (i32 i : ints)
        add("f", "Real", 2, NewInt(i));
    world.Bind();
    const CFastArray<CMwCmdScript*>& cmds = world.m_Root->m_Cmds;
    for (u32 row = 0; row < values.size(); ++row) {
        SCOPED_TRACE(row);
        cmds.m_Items[2 * row]->Run();
        cmds.m_Items[2 * row + 1]->Run();
        const bool intoInt = row < std::size(floats);
        const CBlockVariable& variable = world.Var(intoInt ? "i" : "f");
        EXPECT_EQ(variable.GetWord(), expected[row]);
        EXPECT_EQ(variable.m_Type, u32(intoInt ? BlockVariable_Int : BlockVariable_Float));
        EXPECT_EQ(intoInt ? std::bit_cast<u32>(world.m_Object->m_Integer)
                          : std::bit_cast<u32>(world.m_Object->m_Real),
                  expected[row]);
    }
    // An Int into an Int, and a Float into a Float, go as they are (a NaN's payload included).
    world.m_Root->AddCmd(NewAffectIdentNum("i", NewInt(-5)));
    world.m_Root->AddCmd(NewAffectIdentNum("f", NewNum(CmdExpNum_Float, 0x7FC12345)));
    world.Bind();
    world.Run();
    EXPECT_EQ(world.Var("i").GetInt(), -5);
    EXPECT_EQ(world.Var("f").GetWord(), 0x7FC12345u);
}

// A whole Num into a variable that is neither Int nor Float writes the value as a float into its
// word; the variable keeps its type (and its value object, kept apart from the word).
TEST_F(MwCmdAffectIdent, WholeNumberIntoOtherTypes) {
    CScriptObjectWorld world;
    world.Add({NewAffectIdentNum("b", NewInt(3)), NewAffectIdentNum("v3", NewFloat(0.25f))});
    world.Var("v3").MakeFloats()[0] = 9;
    world.Run();
    EXPECT_EQ(world.Var("v3").GetFloats()[0], 9.0f);
    EXPECT_EQ(world.Var("b").GetWord(), std::bit_cast<u32>(3.0f));
    EXPECT_EQ(world.Var("b").m_Type, u32(BlockVariable_Bool));
    EXPECT_EQ(world.Var("v3").GetWord(), std::bit_cast<u32>(0.25f));
    EXPECT_EQ(world.Var("v3").m_Type, u32(BlockVariable_Vec3));
    EXPECT_EQ(world.Var("v3").m_Assigned, 1u);
}

// Component stores: the value as a float into one component of a Vec2, Vec3 or Iso4 variable;
// selector 11 of an Iso4 is the translation's z and nothing else changes. A variable without
// value object gets one, zero-filled, first. Another selector or type stores nothing, and still
// marks the variable assigned.
TEST_F(MwCmdAffectIdent, ComponentStores) {
    const struct {
        const char* Variable;
        i32 Component;
        bool HadValue;
        std::vector<f32> Expected; // empty: no value object
    } rows[] = {
        {"v2", 0, true, {7, 2}},
        {"v2", 1, true, {1, 7}},
        {"v2", 2, true, {1, 2}},
        {"v3", 2, true, {1, 2, 7}},
        {"v3", 3, true, {1, 2, 3}},
        {"v3", -2, true, {1, 2, 3}},
        {"v3", 1, false, {0, 7, 0}},
        {"m", 11, true, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 7}},
        {"m", 0, false, {7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"m", 12, true, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {"i", 0, false, {}},
        {"s", 0, false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Variable << " " << row.Component);
        CScriptObjectWorld world;
        world.Add({NewAffectIdentNum(row.Variable, NewInt(7), row.Component)});
        CBlockVariable& variable = world.Var(row.Variable);
        if (row.HadValue) {
            f32* floats = variable.MakeFloats();
            for (u32 i = 0; i < 12; ++i)
                floats[i] = f32(i + 1);
        }
        world.Run();
        EXPECT_EQ(Floats(variable, u32(row.Expected.size())), row.Expected);
        EXPECT_EQ(variable.HasValueObject(), !row.Expected.empty());
        EXPECT_EQ(variable.m_Assigned, 1u);
    }
}

// An initialising assignment (once flag) assigns once in its life, and not at all when the
// variable was assigned before it first ran (set from outside, say).
TEST_F(MwCmdAffectIdent, OnceFlag) {
    CScriptObjectWorld world;
    auto* value = NewInt(1);
    auto* once = NewAffectIdentNum("i", value);
    once->m_HasOnce = 1;
    auto* presetOnce = NewAffectIdentNum("f", NewInt(5));
    presetOnce->m_HasOnce = 1;
    world.Add({once, presetOnce});
    world.Var("f").SetFloat(2.5f);
    world.Var("f").m_Assigned = 1;
    world.Run();
    EXPECT_EQ(world.Var("i").GetInt(), 1);
    EXPECT_EQ(once->m_Once, 1u);
    world.Var("i").m_Assigned = 0; // the flag is the statement's own: the variable does not count
    value->SetInt(2);
    world.Run();
    EXPECT_EQ(world.Var("i").GetInt(), 1);
    EXPECT_EQ(world.Var("f").GetFloat(), 2.5f);
    EXPECT_EQ(presetOnce->m_Once, 0u);
}

// With the evaluate flag clear the value is stored as it stands, without a run (the parameter
// statements of procedures store a value evaluated before the call).
TEST_F(MwCmdAffectIdent, EvaluateFlag) {
    CScriptObjectWorld world;
    auto* sum = NewBinary<CMwCmdExpAdd>(NewInt(2), NewInt(3));
    auto* statement = NewAffectIdentNum("i", sum);
    world.Add({statement});
    statement->m_Evaluate = 0;
    sum->SetInt(40);
    world.Run();
    EXPECT_EQ(world.Var("i").GetInt(), 40);
    statement->m_Evaluate = 1;
    world.Run();
    EXPECT_EQ(world.Var("i").GetInt(), 5);
}

// A name no block declares logs a warning when the statement is bound, and the statement then
// does nothing (its once flag is not used up); a statement whose value is null, or a typed one
// given a value of another kind in code, stores nothing.
TEST_F(MwCmdAffectIdent, NoVariableOrNoValue) {
    CScriptObjectWorld world;
    auto* unknown = NewAffectIdent<CMwCmdAffectIdentBool>("nowhere", NewBool(1), true);
    CLogWatch log;
    world.Add({unknown, NewAffectIdent<CMwCmdAffectIdentBool>("b", nullptr),
               NewAffectIdent<CMwCmdAffectIdentBool>("b", NewInt(1)),
               NewAffectIdent<CMwCmdAffectIdentString>("s", NewBool(1))});
    EXPECT_EQ(log.Since(), "Script Warning : Unknown variable \"nowhere\"\r\n");
    EXPECT_EQ(unknown->m_Ident.m_Variable, nullptr);
    world.Run();
    EXPECT_EQ(unknown->m_Once, 0u);
    EXPECT_EQ(world.Var("b").m_Assigned, 0u);
    EXPECT_EQ(world.Var("s").m_Assigned, 0u);
    EXPECT_FALSE(world.Var("s").HasValueObject());
    // Alone, without block, the statement finds nothing either.
    const TNodRef<CMwCmdAffectIdentBool> alone(NewAffectIdent<CMwCmdAffectIdentBool>("b", nullptr));
    alone->Bind(nullptr);
    alone->Run();
    EXPECT_EQ(alone->m_Ident.m_Variable, nullptr);
}

} // namespace
