// The identifier and member expressions: every identifier form over variables of every type (the
// Num form's components and lengths against Python), every member form over the test object's
// members (element counts, wide texts in UTF-8 against Python, null nods on the way, nods of
// another class), their write-backs, and the stored forms of their read-only chunks.
#include "script/expression/MwCmdExpParam.h"
#include "tests/script/expression/ExpressionReference.h"
#include "tests/script/statement/StatementTestSupport.h"
#include "tests/script/support/ScriptSamples.h"

#include <bit>
#include <cstring>
#include <sstream>

namespace {

class MwCmdExpIdentParam : public CScriptFixture {};

std::string Text(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

void SetFloats(CBlockVariable& variable, std::initializer_list<f32> floats) {
    std::copy(floats.begin(), floats.end(), variable.MakeFloats());
}

// A Num identifier reads an Int as an Int and a Float's word; a vector's or matrix's component;
// a vector's length in double rounded once (Python's math.sqrt through struct); anything else
// leaves the word, the node Float.
TEST_F(MwCmdExpIdentParam, NumIdentOverEveryVariableType) {
    CScriptObjectWorld world;
    const struct {
        const char* Name;
        i32 Component;
        u32 Type;
        // The word; 0xDEADBEEF: the value stays.
        u32 Word;
    } rows[] = {
        {"i", -1, CmdExpNum_Int, 0xFFFFFFF9},
        {"i", 3, CmdExpNum_Int, 0xFFFFFFF9},
        {"f", -1, CmdExpNum_Float, std::bit_cast<u32>(2.5f)},
        {"v2", 0, CmdExpNum_Float, std::bit_cast<u32>(3.0f)},
        {"v2", 1, CmdExpNum_Float, std::bit_cast<u32>(4.0f)},
        {"v2", -1, CmdExpNum_Float, std::bit_cast<u32>(5.0f)},
        {"v2", 2, CmdExpNum_Float, 0xDEADBEEF},
        {"v3", 2, CmdExpNum_Float, std::bit_cast<u32>(0.3f)},
        {"v3", 3, CmdExpNum_Float, 0xDEADBEEF},
        {"v3", -2, CmdExpNum_Float, 0xDEADBEEF},
        {"m", 0, CmdExpNum_Float, std::bit_cast<u32>(1.0f)},
        {"m", 11, CmdExpNum_Float, std::bit_cast<u32>(12.0f)},
        {"m", 12, CmdExpNum_Float, 0xDEADBEEF},
        {"m", -1, CmdExpNum_Float, 0xDEADBEEF},
        {"b", -1, CmdExpNum_Float, 0xDEADBEEF},
        {"s", -1, CmdExpNum_Float, 0xDEADBEEF},
        {"c", 0, CmdExpNum_Float, 0xDEADBEEF},
        {"e", -1, CmdExpNum_Float, 0xDEADBEEF},
        {"u", -1, CmdExpNum_Float, 0xDEADBEEF},
    };
    std::vector<CMwCmdExpNumIdent*> nodes;
    for (const auto& row : rows) {
        nodes.push_back(NewNumIdent(row.Name, row.Component));
        world.m_Root->AddCmd(nodes.back());
    }
    world.Bind();
    world.Var("i").SetInt(-7);
    world.Var("f").SetFloat(2.5f);
    world.Var("b").SetWord(1);
    world.Var("e").SetWord(2);
    SetFloats(world.Var("v2"), {3, 4});
    SetFloats(world.Var("v3"), {0.1f, 0.2f, 0.3f});
    SetFloats(world.Var("m"), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    world.Var("s").MakeString().Assign("3");
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(testing::Message() << rows[i].Name << " " << rows[i].Component);
        nodes[i]->SetInt(0);
        nodes[i]->m_Value = 0xDEADBEEF;
        nodes[i]->Run();
        EXPECT_EQ(nodes[i]->m_Type, rows[i].Type);
        EXPECT_EQ(nodes[i]->m_Value, rows[i].Word);
        EXPECT_EQ(nodes[i]->IsConstant(), 0u);
    }
    // Lengths against Python, over vectors whose squares round differently in float.
    const std::vector<std::vector<f32>> vectors = {
        {3, 4}, {1e-3f, 7.25f}, {0.1f, 0.2f, 0.3f}, {1e19f, 1e19f, 1e19f}, {-1.5f, 2.25f, 1e-20f}};
    std::vector<std::string> cases;
    for (const auto& v : vectors) {
        std::vector<u32> words;
        for (f32 f : v)
            words.push_back(std::bit_cast<u32>(f));
        std::ostringstream line;
        line << "len" << std::hex;
        for (u32 w : words)
            line << ' ' << w;
        cases.push_back(line.str());
    }
    const std::vector<std::string> lengths = RunExpressionReference(cases);
    ASSERT_EQ(lengths.size(), vectors.size());
    CMwCmdExpNumIdent* length2 = nodes[5];
    CMwCmdExpNumIdent* length3 = NewNumIdent("v3");
    world.Add({length3});
    for (size_t i = 0; i < vectors.size(); ++i) {
        const auto& v = vectors[i];
        CMwCmdExpNumIdent* node = v.size() == 2 ? length2 : length3;
        std::copy(v.begin(), v.end(), world.Var(v.size() == 2 ? "v2" : "v3").MakeFloats());
        node->Run();
        std::ostringstream word;
        word << std::hex << node->m_Value;
        EXPECT_EQ(word.str(), lengths[i]) << cases[i];
    }
}

// The other identifier forms copy the variable's word, text, floats or nod (of the node's class
// id's kind, else null: text "Null"); a variable without value object reads as empty or zeros.
TEST_F(MwCmdExpIdentParam, IdentFormsOverVariables) {
    CScriptObjectWorld world;
    auto* boolean = NewIdent<CMwCmdExpBoolIdent>("b");
    auto* text = NewIdent<CMwCmdExpStringIdent>("s");
    auto* node = NewIdent<CMwCmdExpClassIdent>("c");
    node->m_ClassId = CScriptTestObject::s_ClassId;
    auto* unrelated = NewIdent<CMwCmdExpClassIdent>("c");
    unrelated->m_ClassId = CMwCmdExpNum::s_ClassId;
    auto* index = NewIdent<CMwCmdExpEnumIdent>("e");
    auto* vec2 = NewIdent<CMwCmdExpVec2Ident>("v2");
    auto* vec3 = NewIdent<CMwCmdExpVec3Ident>("v3");
    auto* iso4 = NewIdent<CMwCmdExpIso4Ident>("m");
    world.Add({boolean, text, node, unrelated, index, vec2, vec3, iso4});
    // No value object yet: empty text, zeros.
    text->m_String.Assign("old");
    vec2->m_Value = {9, 9};
    text->Run();
    vec2->Run();
    EXPECT_STREQ(text->m_String.GetText(), "");
    EXPECT_EQ(vec2->m_Value.x, 0.0f);

    world.Var("b").SetWord(7);
    world.Var("s").MakeString().Assign("Hello");
    world.Var("c").SetNod(world.m_Child.Get());
    world.Var("e").SetWord(3);
    SetFloats(world.Var("v2"), {1, 2});
    SetFloats(world.Var("v3"), {3, 4, 5});
    SetFloats(world.Var("m"), {1, 0, 0, 0, 1, 0, 0, 0, 1, 6, 7, 8});
    unrelated->m_Value = world.m_Object.Get();
    world.Run();
    EXPECT_EQ(boolean->m_Value, 7u);
    EXPECT_STREQ(text->m_String.GetText(), "Hello");
    EXPECT_EQ(node->m_Value, world.m_Child.Get());
    EXPECT_EQ(unrelated->m_Value, nullptr);
    CClassicString shown;
    unrelated->ToString(shown);
    EXPECT_STREQ(shown.GetText(), "Null");
    node->ToString(shown);
    EXPECT_STREQ(shown.GetText(), "Child");
    EXPECT_EQ(index->m_Value, 3u);
    EXPECT_EQ(vec2->m_Value.y, 2.0f);
    EXPECT_EQ(vec3->m_Value.z, 5.0f);
    EXPECT_EQ(iso4->m_Value.t.y, 7.0f);
    for (CMwCmdExp* exp :
         std::initializer_list<CMwCmdExp*>{boolean, text, node, index, vec2, vec3, iso4})
        EXPECT_EQ(exp->IsConstant(), 0u);
    // Two Class identifiers of one variable are equal; a copy of the text is handed out.
    auto* again = NewIdent<CMwCmdExpClassIdent>("c");
    again->m_ClassId = CScriptTestObject::s_ClassId;
    world.Add({again});
    world.Run();
    EXPECT_EQ(node->IsEqual(again), 1u);
    // A variable whose type is another kind's: a word reads its word, a text its value object.
    auto* wordOfText = NewIdent<CMwCmdExpBoolIdent>("s");
    world.Add({wordOfText});
    world.Var("s").SetWord(5);
    wordOfText->Run();
    EXPECT_EQ(wordOfText->m_Value, 5u);
}

// Write-backs go where the value came from; a Num identifier writes an Int or Float variable's
// word, a component back into that component, and nothing after a length or into a variable of
// another kind; an identifier bound to no variable keeps its value and writes nothing.
TEST_F(MwCmdExpIdentParam, IdentWriteBacks) {
    CScriptObjectWorld world;
    auto* integer = NewNumIdent("i");
    auto* component = NewNumIdent("v3", 1);
    auto* length = NewNumIdent("v2");
    auto* matrix = NewNumIdent("m", 10);
    auto* onBool = NewNumIdent("b");
    auto* boolean = NewIdent<CMwCmdExpBoolIdent>("b");
    auto* text = NewIdent<CMwCmdExpStringIdent>("s");
    auto* node = NewIdent<CMwCmdExpClassIdent>("c");
    node->m_ClassId = CScriptTestObject::s_ClassId;
    auto* index = NewIdent<CMwCmdExpEnumIdent>("e");
    auto* vec2 = NewIdent<CMwCmdExpVec2Ident>("v2");
    auto* iso4 = NewIdent<CMwCmdExpIso4Ident>("m");
    CLogWatch log;
    auto* unknown = NewIdent<CMwCmdExpStringIdent>("nowhere");
    world.Add({integer, component, length, matrix, onBool, boolean, text, node, index, vec2, iso4,
               unknown});
    EXPECT_EQ(log.Since(), "Script Warning : Unknown variable \"nowhere\"\r\n");
    SetFloats(world.Var("v3"), {1, 2, 3});
    SetFloats(world.Var("v2"), {3, 4});
    world.Var("b").SetWord(1);
    world.Run();

    integer->SetInt(-12);
    component->SetFloat(8.5f);
    length->SetFloat(10);
    matrix->SetInt(3); // an Int given by SetValue goes in converted
    onBool->SetFloat(2);
    for (CMwCmdExp* exp :
         std::initializer_list<CMwCmdExp*>{integer, component, length, matrix, onBool})
        EXPECT_EQ(exp->WriteBack(), 0u);
    EXPECT_EQ(world.Var("i").GetInt(), -12);
    EXPECT_EQ(world.Var("v3").GetFloats()[1], 8.5f);
    EXPECT_EQ(world.Var("v3").GetFloats()[0], 1.0f);
    EXPECT_EQ(world.Var("v2").GetFloats()[0], 3.0f); // a length goes nowhere
    EXPECT_EQ(world.Var("v2").GetFloats()[1], 4.0f);
    EXPECT_EQ(world.Var("m").GetFloats()[10], 3.0f);
    EXPECT_EQ(world.Var("b").GetWord(), 1u); // a Bool variable is not a number's
    // A Float variable takes the word unconverted, an Int node's too.
    auto* real = NewNumIdent("f");
    world.Add({real});
    real->SetInt(5);
    real->WriteBack();
    EXPECT_EQ(world.Var("f").GetWord(), 5u);

    boolean->m_Value = 0;
    text->m_String.Assign("back");
    node->m_Value = world.m_Second.Get();
    index->m_Value = 2;
    vec2->m_Value = {-1, -2};
    iso4->m_Value.t = {4, 5, 6};
    for (CMwCmdExp* exp : std::initializer_list<CMwCmdExp*>{boolean, text, node, index, vec2, iso4})
        EXPECT_EQ(exp->WriteBack(), 0u);
    EXPECT_EQ(world.Var("b").GetWord(), 0u);
    EXPECT_STREQ(world.Var("s").GetString()->GetText(), "back");
    EXPECT_EQ(world.Var("c").GetNod(), world.m_Second.Get());
    EXPECT_EQ(world.Var("e").GetWord(), 2u);
    EXPECT_EQ(world.Var("v2").GetFloats()[1], -2.0f);
    EXPECT_EQ(world.Var("m").GetFloats()[11], 6.0f);
    // The variable's link moved: the second nod gone, the variable forgets it.
    world.m_Object->DropLinks();
    world.m_Second.Reset();
    EXPECT_EQ(world.Var("c").GetNod(), nullptr);

    // Unbound: the value stays, nothing is written.
    unknown->m_String.Assign("kept");
    unknown->Run();
    EXPECT_STREQ(unknown->m_String.GetText(), "kept");
    EXPECT_EQ(unknown->WriteBack(), 0u);
}

// The member forms over the test object's members, by kind: words, texts (the wide one in UTF-8
// against Python), nods, vectors, the element counts of lists, and the members whose value is not
// of the form the class copies.
TEST_F(MwCmdExpIdentParam, ParamFormsOverMembers) {
    CScriptObjectWorld world;
    CScriptTestObject& object = *world.m_Object;
    object.m_Integer = -3;
    object.m_Real = 0.25f;
    object.m_Natural = 9;
    object.m_Bool = 1;
    object.m_Mode = 3;
    object.m_Name.Assign("Bolt");
    object.m_Vec2 = {1, 2};
    object.m_Vec3 = {3, 4, 5};
    object.m_Iso4.t = {6, 7, 8};
    for (u32 i = 0; i < 5; ++i)
        object.m_Points.Add(Vec3{f32(i), 0, 0});

    const auto num = [](const char* path, u32 kind) {
        auto* node = NewParam<CMwCmdExpNumParam>(path);
        node->m_Kind = kind;
        node->m_Type = CmdExpNum_Float;
        node->m_Value = 0xDEADBEEF;
        return node;
    };
    struct SNumRow {
        CMwCmdExpNumParam* Node;
        u32 Type;
        u32 Word;
    };
    const SNumRow nums[] = {
        {num("Integer", 0), CmdExpNum_Int, 0xFFFFFFFD},
        {num("Natural", 1), CmdExpNum_Int, 9},
        {num("Real", 2), CmdExpNum_Float, std::bit_cast<u32>(0.25f)},
        {num("Integer", 2), CmdExpNum_Float, 0xFFFFFFFD}, // the word, unconverted
        {num("Vec3.y", 0), CmdExpNum_Int, std::bit_cast<u32>(4.0f)},
        {num("Points", 101), CmdExpNum_Float, 5},
        {num("Points", 100), CmdExpNum_Float, 5},
        {num("Children", 102), CmdExpNum_Float, 0xDEADBEEF}, // a list of references
        {num("Integer", 100), CmdExpNum_Float, 0xDEADBEEF},  // not a list
        {num("Integer", 3), CmdExpNum_Float, 0xDEADBEEF},
        {num("Name", 0), CmdExpNum_Float, 0xDEADBEEF}, // not a word
    };
    auto* flag = NewParam<CMwCmdExpBoolParam>("Bool");
    auto* mode = NewParam<CMwCmdExpEnumParam>("Mode");
    auto* name = NewParam<CMwCmdExpStringParam>("Name");
    auto* wideAsNarrow = NewParam<CMwCmdExpStringParam>("WideName");
    auto* child = NewParam<CMwCmdExpClassParam>("Child");
    child->m_ClassId = CScriptTestObject::s_ClassId;
    auto* unrelated = NewParam<CMwCmdExpClassParam>("Child");
    unrelated->m_ClassId = CMwCmdExpNum::s_ClassId;
    auto* vec2 = NewParam<CMwCmdExpVec2Param>("Vec2");
    auto* vec3 = NewParam<CMwCmdExpVec3Param>("Vec3");
    auto* iso4 = NewParam<CMwCmdExpIso4Param>("Iso4");
    auto* vecOfReal = NewParam<CMwCmdExpVec3Param>("Real");
    auto* point = new CMwCmdExpVec3Param;
    AddPathSegment(point->m_Param, "Points.0", NewInt(3));
    for (const SNumRow& row : nums)
        world.m_Root->AddCmd(row.Node);
    world.Add(
        {flag, mode, name, wideAsNarrow, child, unrelated, vec2, vec3, iso4, vecOfReal, point});
    wideAsNarrow->m_String.Assign("kept");
    vecOfReal->m_Value = {9, 9, 9};
    CLogWatch log;
    world.Run();
    EXPECT_EQ(log.Since(), "");
    for (const SNumRow& row : nums) {
        SCOPED_TRACE(row.Node->m_Kind);
        EXPECT_EQ(row.Node->m_Type, row.Type);
        EXPECT_EQ(row.Node->m_Value, row.Word);
    }
    EXPECT_EQ(flag->m_Value, 1u);
    EXPECT_EQ(mode->m_Value, 3u);
    EXPECT_STREQ(name->m_String.GetText(), "Bolt");
    EXPECT_STREQ(wideAsNarrow->m_String.GetText(), "kept");
    EXPECT_EQ(child->m_Value, world.m_Child.Get());
    EXPECT_EQ(unrelated->m_Value, nullptr);
    CClassicString shown;
    unrelated->ToString(shown);
    EXPECT_STREQ(shown.GetText(), "Null");
    EXPECT_EQ(vec2->m_Value.y, 2.0f);
    EXPECT_EQ(vec3->m_Value.z, 5.0f);
    EXPECT_EQ(iso4->m_Value.t.z, 8.0f);
    EXPECT_EQ(vecOfReal->m_Value.x, 9.0f);
    EXPECT_EQ(point->m_Value.x, 3.0f);
    EXPECT_EQ(flag->IsConstant(), 0u);

    // The wide text in UTF-8, EF BB BF first when a character is 128 or above.
    // (A character beyond U+FFFF is left out: the engine encodes each half of its surrogate pair
    // on its own, checked below.)
    const std::u16string texts[] = {u"abc", u"\u00e9", u"caf\u00e9 \u20ac",
                                    u"",    u"\u007f", u"\u0080x\uffff"};
    std::vector<std::string> cases;
    for (const std::u16string& text : texts) {
        std::ostringstream hex;
        hex << std::hex;
        for (char16_t c : text)
            hex << (c & 0xF0) / 16 << (c & 0xF) << (c >> 12) << ((c >> 8) & 0xF);
        cases.push_back("utf8 " + (text.empty() ? std::string("-") : hex.str()));
    }
    const std::vector<std::string> answers = RunExpressionReference(cases);
    ASSERT_EQ(answers.size(), std::size(texts));
    EXPECT_EQ(answers[1], "efbbbfc3a9");
    auto* wide = NewParam<CMwCmdExpStringParam>("WideName");
    wide->m_Wide = 1;
    world.Add({wide});
    for (size_t i = 0; i < std::size(texts); ++i) {
        object.m_WideName.Assign(CClassicWideStringRef(texts[i].data(), u32(texts[i].size())));
        wide->Run();
        std::ostringstream hex;
        hex << std::hex;
        for (u32 b = 0; b < wide->m_String.GetLength(); ++b)
            hex << (u8(wide->m_String.GetText()[b]) >> 4) << (u8(wide->m_String.GetText()[b]) & 15);
        EXPECT_EQ(hex.str().empty() ? "-" : hex.str(), answers[i]) << cases[i];
    }
    object.m_WideName.Assign(u"\U0001F600");
    wide->Run();
    EXPECT_EQ(Text(wide->m_String), "\xEF\xBB\xBF\xED\xA0\xBD\xED\xB8\x80");
}

// A null nod on the way logs once per run and keeps the value (a Class form becomes null); the
// write-back of a form that never ran, or whose walk failed, writes nothing and answers 2.
TEST_F(MwCmdExpIdentParam, NullNodsAndWriteBacks) {
    CScriptObjectWorld world;
    auto* deep = new CMwCmdExpNumParam;
    AddPathSegment(deep->m_Param, "Child");
    AddPathSegment(deep->m_Param, "Integer");
    deep->m_Value = 77;
    auto* deepNod = new CMwCmdExpClassParam;
    deepNod->m_ClassId = CScriptTestObject::s_ClassId;
    AddPathSegment(deepNod->m_Param, "Child");
    AddPathSegment(deepNod->m_Param, "Child");
    world.Add({deep, deepNod});
    EXPECT_EQ(deep->WriteBack(), 2u); // never ran
    world.m_Object->m_Child.Set(nullptr);
    deepNod->m_Value = world.m_Object.Get();
    for (int run = 1; run <= 2; ++run) {
        CLogWatch log;
        deep->Run();
        EXPECT_EQ(log.Since(), "Param Access Failed : Null nod\r\n");
        EXPECT_EQ(deep->m_Value, 77u);
        deepNod->Run();
        EXPECT_EQ(deepNod->m_Value, nullptr);
    }
    EXPECT_EQ(deep->WriteBack(), 2u);

    // Write-backs of each form into the member the last run reached.
    world.m_Object->m_Child.Set(world.m_Child.Get());
    auto* integer = NewParam<CMwCmdExpNumParam>("Integer");
    auto* flag = NewParam<CMwCmdExpBoolParam>("Bool");
    auto* mode = NewParam<CMwCmdExpEnumParam>("Mode");
    auto* name = NewParam<CMwCmdExpStringParam>("Name");
    auto* wide = NewParam<CMwCmdExpStringParam>("WideName");
    wide->m_Wide = 1;
    auto* child = NewParam<CMwCmdExpClassParam>("Child");
    child->m_ClassId = CScriptTestObject::s_ClassId;
    auto* vec3 = NewParam<CMwCmdExpVec3Param>("Vec3");
    auto* iso4 = NewParam<CMwCmdExpIso4Param>("Iso4");
    auto* points = NewParam<CMwCmdExpNumParam>("Points");
    points->m_Kind = 101;
    world.Add({integer, flag, mode, name, wide, child, vec3, iso4, points});
    world.Run();
    integer->SetInt(41);
    flag->m_Value = 1;
    mode->m_Value = 1;
    name->m_String.Assign("Back");
    wide->m_String.Assign("\xEF\xBB\xBF"
                          "caf\xC3\xA9");
    child->m_Value = world.m_Second.Get();
    vec3->m_Value = {7, 8, 9};
    iso4->m_Value.t = {1, 2, 3};
    for (CMwCmdExp* exp : std::initializer_list<CMwCmdExp*>{integer, flag, mode, name, wide, child,
                                                            vec3, iso4, points})
        EXPECT_EQ(exp->WriteBack(), 0u);
    const CScriptTestObject& object = *world.m_Object;
    EXPECT_EQ(object.m_Integer, 41);
    EXPECT_EQ(object.m_Bool, 1u);
    EXPECT_EQ(object.m_Mode, 1u);
    EXPECT_STREQ(object.m_Name.GetText(), "Back");
    EXPECT_EQ(object.m_WideName.Compare(u"caf\u00e9"), 0);
    EXPECT_EQ(object.m_Child.Get(), world.m_Second.Get());
    EXPECT_EQ(object.m_Vec3.y, 8.0f);
    EXPECT_EQ(object.m_Iso4.t.z, 3.0f);
    EXPECT_EQ(object.m_Points.m_Count, 0u); // a list's count goes nowhere
    // Without the marker, one character per byte.
    wide->m_String.Assign("caf\xE9");
    EXPECT_EQ(wide->WriteBack(), 0u);
    EXPECT_EQ(object.m_WideName.Compare(u"caf\u00e9"), 0);
    // The nod reached is gone.
    auto* viaChild = new CMwCmdExpNumParam;
    AddPathSegment(viaChild->m_Param, "Child");
    AddPathSegment(viaChild->m_Param, "Integer");
    world.Add({viaChild});
    {
        const TNodRef<CScriptTestObject> brief(new CScriptTestObject);
        world.m_Object->m_Child.Set(brief.Get());
        viaChild->Run();
        world.m_Object->m_Child.Set(nullptr);
    }
    EXPECT_EQ(viaChild->WriteBack(), 2u);
}

// The read-only chunks load: the Num identifier without component reads -1; the older paths and
// the String form's path without wide flag run as the current forms do.
TEST_F(MwCmdExpIdentParam, ReadOnlyChunksLoad) {
    CScriptObjectWorld world;
    world.m_Object->m_Bool = 1;
    world.m_Object->m_Name.Assign("Bolt");
    world.m_Object->m_Mode = 3;
    world.m_Object->m_Vec2 = {1, 2};
    world.m_Object->m_Vec3 = {3, 4, 5};
    world.m_Object->m_Iso4.t = {6, 7, 8};
    world.m_Object->m_Points.Add(Vec3{});
    world.m_Object->m_Points.Add(Vec3{});
    for (bool text : {false, true}) {
        for (u32 chunk : kOlderOutsideExpressionChunks) {
            SCOPED_TRACE(testing::Message() << std::hex << chunk << " " << text);
            const TNodRef<CMwNod> loaded =
                ScriptLoadImage(OlderOutsideExpressionFixture(text, chunk));
            auto* exp = ScriptNodAs<CMwCmdExp>(loaded);
            ASSERT_NE(exp, nullptr);
            world.m_Root->AddCmd(exp);
            world.Bind();
            SetFloats(world.Var("v3"), {2, 3, 6});
            exp->Run();
            CClassicString shown;
            exp->ToString(shown);
            switch (chunk) {
                case 0x01047000:
                    EXPECT_EQ(static_cast<CMwCmdExpNumIdent*>(exp)->m_Component, -1);
                    EXPECT_STREQ(shown.GetText(), "7");
                    break;
                case 0x01048000:
                    EXPECT_EQ(static_cast<CMwCmdExpNumParam*>(exp)->m_Kind, 101u);
                    EXPECT_STREQ(shown.GetText(), "2.8e-45"); // the count 2 in a Float's word
                    break;
                case 0x0103d000:
                    EXPECT_STREQ(shown.GetText(), "True");
                    break;
                case 0x01050000:
                case 0x01050001:
                    EXPECT_EQ(static_cast<CMwCmdExpStringParam*>(exp)->m_Wide, 0u);
                    EXPECT_STREQ(shown.GetText(), "Bolt");
                    break;
                case 0x01058000:
                    EXPECT_STREQ(shown.GetText(), "Child");
                    break;
                case 0x0105a000:
                    EXPECT_STREQ(shown.GetText(), "Auto");
                    break;
                case 0x0105e000:
                    EXPECT_EQ(static_cast<CMwCmdExpVec2Param*>(exp)->m_Value.y, 2.0f);
                    break;
                case 0x01061000:
                    EXPECT_EQ(static_cast<CMwCmdExpVec3Param*>(exp)->m_Value.z, 5.0f);
                    break;
                case 0x01064000:
                    EXPECT_EQ(static_cast<CMwCmdExpIso4Param*>(exp)->m_Value.t.x, 6.0f);
                    break;
            }
            // Saved again, the current chunks only.
            const TNodRef<CMwNod> again = ScriptLoadImage(ScriptSaveImage(exp, true, text));
            EXPECT_TRUE(again);
        }
    }
    // A member form loaded without a path is invalid data.
    CScriptFixtureWriter w(false);
    w.End();
    ExpectScriptLoadRefused(w.Image(CMwCmdExpVec3Param::s_ClassId, true),
                            "Script Warning : Invalid script data in CMwCmdExpVec3Param, chunk "
                            "0x01061001");
}

} // namespace
