// Assignments to members and the other member statements: typed writes into every kind of member
// of the test object, number kinds, wide texts, where a path starts, index expressions, null nods
// on the way, action calls, list additions and removals under the member flags, the write-back of
// a member expression, and the writes a member's kind does not take.
#include "core/nod/MwMemberPath.h"
#include "script/statement/MwCmdAffectParam.h"
#include "script/statement/MwCmdCall.h"
#include "tests/script/statement/StatementTestSupport.h"

#include <bit>
#include <cstring>
#include <sstream>
#include <string>

namespace {

class MemberStatement : public CScriptFixture {};

std::string WideHex(const CClassicWideString& text) {
    std::ostringstream hex;
    hex << std::hex;
    for (u32 i = 0; i < text.GetLength(); ++i) {
        const u16 unit = text.GetText()[i];
        hex << (unit & 0xFF) / 16 << (unit & 0xFF) % 16 << (unit >> 8) / 16 << (unit >> 8) % 16;
    }
    return hex.str();
}

// Every typed class writes its kind into the member the path names, on the script's object.
TEST_F(MemberStatement, TypedWritesIntoMembers) {
    CScriptObjectWorld world;
    world.Add({
        NewAffectParam<CMwCmdAffectParamBool>("Bool", NewBool(5)),
        NewAffectParam<CMwCmdAffectParamEnum>("Mode",
                                              NewEnum(3, CScriptTestObject::s_ModeMemberId)),
        NewAffectParam<CMwCmdAffectParamString>("Name", NewString("Bolt")),
        NewAffectParam<CMwCmdAffectParamVec2>("Vec2", NewVec2(NewInt(1), NewFloat(-2))),
        NewAffectParam<CMwCmdAffectParamVec3>("Vec3", NewFloatVec3(1, 2, 3)),
        NewAffectParam<CMwCmdAffectParamIso4>(
            "Iso4", NewIso4(NewFloatVec3(1, 0, 0), NewFloatVec3(0, 1, 0), NewFloatVec3(0, 0, 1),
                            NewFloatVec3(4, 5, 6))),
        NewAffectParam<CMwCmdAffectParamClass>("Child", new CFixedNodExp(world.m_Second.Get())),
        NewAffectParam<CMwCmdAffectParamNum>("Integer", NewInt(-9), 1),
        NewAffectParam<CMwCmdAffectParamNum>("Natural", NewFloat(7.75f), 0),
        NewAffectParam<CMwCmdAffectParamNum>("Real", NewInt(3), 2),
        NewAffectParam<CMwCmdAffectParamVec3>("Vec3.z", NewFloatVec3(8, 8, 8)),
        NewAffectParam<CMwCmdAffectParamNum>("Vec2.y", NewFloat(0.5f), 2),
    });
    world.Run();
    const CScriptTestObject& object = *world.m_Object;
    EXPECT_EQ(object.m_Bool, 5u);
    EXPECT_EQ(object.m_Mode, 3u);
    EXPECT_STREQ(object.m_Name.GetText(), "Bolt");
    EXPECT_EQ(object.m_Vec2.x, 1);
    EXPECT_EQ(object.m_Vec2.y, 0.5f);
    EXPECT_EQ(object.m_Vec3.x, 1);
    EXPECT_EQ(object.m_Vec3.y, 2);
    EXPECT_EQ(object.m_Vec3.z, 3); // a Vec3 is not taken by a component
    EXPECT_EQ(object.m_Iso4.t.x, 4);
    EXPECT_EQ(object.m_Iso4.t.z, 6);
    EXPECT_EQ(object.m_Child.Get(), world.m_Second.Get());
    EXPECT_EQ(object.m_Integer, -9);
    EXPECT_EQ(object.m_Natural, 7u);
    EXPECT_EQ(object.m_Real, 3.0f);
}

// Number kind -1 (a new statement's) and kinds past 2 write nothing; the untyped class writes
// nothing whatever its value.
TEST_F(MemberStatement, NumberKindsThatWriteNothing) {
    CScriptObjectWorld world;
    world.m_Object->m_Integer = 11;
    auto* untyped = new CMwCmdAffectParam;
    AddPathSegment(untyped->m_Param, "Integer");
    untyped->SetValueExp(NewInt(4));
    untyped->m_NumberKind = 0;
    world.Add({NewAffectParam<CMwCmdAffectParamNum>("Integer", NewInt(1)),
               NewAffectParam<CMwCmdAffectParamNum>("Integer", NewInt(2), 3),
               NewAffectParam<CMwCmdAffectParamNum>("Integer", NewInt(3), 11), untyped});
    world.Run();
    EXPECT_EQ(world.m_Object->m_Integer, 11);
}

// Number kind 11 writes a wide text made from the narrow one: UTF-8 after EF BB BF, else one
// character per byte; checked against Python's codecs. Invalid UTF-8 follows the engine's own
// decoding (CClassicWideString::AssignUtf8).
TEST_F(MemberStatement, WideTextsAgainstPython) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string texts[] = {"abc",
                                 "caf\xE9",
                                 "\xFF\x80 x",
                                 bom + "caf\xC3\xA9",
                                 bom + "\xF0\x9F\x98\x80!",
                                 bom + "\xE2\x82\xAC",
                                 ""};
    std::string args;
    for (const std::string& text : texts) {
        std::ostringstream hex;
        hex << std::hex;
        for (unsigned char c : text)
            hex << c / 16 << c % 16;
        args += " x" + hex.str();
    }
    CTempFolder folder;
    const std::string script = R"(import sys
for arg in sys.argv[1:]:
    data = bytes.fromhex(arg[1:])
    text = data[3:].decode('utf-8') if data.startswith(b'\xef\xbb\xbf') else data.decode('latin-1')
    print(text.encode('utf-16-le').hex() or '-')
)";
    std::istringstream answers(RunPython(folder, script, args));
    CScriptObjectWorld world;
    auto* value = NewString("");
    world.Add({NewAffectParam<CMwCmdAffectParamString>("WideName", value,
                                                       CMwCmdAffectParam::s_WideStringKind)});
    for (const std::string& text : texts) {
        std::string expected;
        answers >> expected;
        SCOPED_TRACE(expected);
        value->m_String.Assign(CClassicStringRef(text.data(), u32(text.size())));
        world.Run();
        EXPECT_EQ(WideHex(world.m_Object->m_WideName), expected == "-" ? "" : expected);
    }
    value->m_String.Assign((bom + "a\xC3(b").c_str());
    world.Run();
    CClassicWideString engine;
    engine.AssignUtf8(CClassicStringRef(value->m_String.GetText(), value->m_String.GetLength()));
    EXPECT_EQ(WideHex(world.m_Object->m_WideName), WideHex(engine));
    EXPECT_EQ(WideHex(engine), "61002800"
                               "6200");
}

// Where the access starts: the script's object, the nod a variable holds, or the nod a start
// expression gives; the start expression is bound with the statement's block and given the
// object. A start that is null, or a nod that is gone, is a null nod.
TEST_F(MemberStatement, StartingPoints) {
    CScriptObjectWorld world;
    auto* fromVariable = NewAffectParam<CMwCmdAffectParamNum>("Integer", NewInt(2), 0);
    StartAtVariable(fromVariable->m_Param, "c");
    auto* start = new CFixedNodExp(world.m_Second.Get());
    auto* fromStart = NewAffectParam<CMwCmdAffectParamNum>("Integer", NewInt(3), 0);
    fromStart->m_Param.m_This = 0;
    fromStart->m_Param.SetStart(start);
    world.Add(
        {NewAffectParam<CMwCmdAffectParamNum>("Integer", NewInt(1), 0), fromVariable, fromStart});
    EXPECT_EQ(start->m_BoundWith, world.m_Root.Get());
    world.Var("c").SetNod(world.m_Child.Get());
    world.Run();
    EXPECT_EQ(world.m_Object->m_Integer, 1);
    EXPECT_EQ(world.m_Child->m_Integer, 2);
    EXPECT_EQ(world.m_Second->m_Integer, 3);
    EXPECT_EQ(start->m_Runs, 1u);

    start->m_Value = nullptr;
    world.Var("c").SetNod(nullptr);
    CLogWatch log;
    world.Run();
    EXPECT_EQ(log.Since(), "Param Access Failed : Null nod\r\nParam Access Failed : Null nod\r\n");
    {
        const TNodRef<CScriptTestObject> gone(new CScriptTestObject);
        start->m_Value = gone.Get();
    }
    CLogWatch gone;
    fromStart->Run();
    EXPECT_EQ(gone.Since(), "Param Access Failed : Null nod\r\n");
    // A variable the block does not declare: the warning at bind, then a null nod at each run.
    auto* unknown = NewAffectParam<CMwCmdAffectParamNum>("Integer", NewInt(4), 0);
    StartAtVariable(unknown->m_Param, "nowhere");
    CLogWatch bind;
    world.Add({unknown});
    EXPECT_EQ(bind.Since(), "Script Warning : Unknown variable \"nowhere\"\r\n");
    CLogWatch run;
    unknown->Run();
    EXPECT_EQ(run.Since(), "Param Access Failed : Null nod\r\n");
}

// Segments and index expressions: every segment but the last reads a nod member, and an index
// expression's word replaces its segment's last item (an element index); the last segment takes
// one only when there are as many index expressions as segments. A null nod on the way logs one
// line per run and changes nothing; a member the nod does not have, an index past the list or a
// segment whose member holds no nod stops the statement without a word.
TEST_F(MemberStatement, SegmentsAndIndexes) {
    CScriptObjectWorld world;
    auto* index = NewInt(1);
    auto* viaList = new CMwCmdAffectParamNum;
    viaList->m_Param.AddSegment(NewElementSegment(0x01FC100E, 0));
    viaList->m_Param.AddIndex(index);
    viaList->m_Param.AddSegment(NewSegment("Integer"));
    viaList->SetValueExp(NewInt(8));
    viaList->m_NumberKind = 0;
    auto* lastIndexed = new CMwCmdAffectParamVec3;
    lastIndexed->m_Param.AddSegment(NewSegment("Child"));
    lastIndexed->m_Param.AddIndex(nullptr);
    lastIndexed->m_Param.AddSegment(NewSegment("Points.0"));
    lastIndexed->m_Param.AddIndex(NewInt(1));
    lastIndexed->SetValueExp(NewFloatVec3(7, 7, 7));
    auto* throughChild = new CMwCmdAffectParamNum;
    AddPathSegment(throughChild->m_Param, "Child");
    AddPathSegment(throughChild->m_Param, "Integer");
    throughChild->SetValueExp(NewInt(6));
    throughChild->m_NumberKind = 0;
    world.m_Child->m_Points.Add(Vec3{0, 0, 0});
    world.m_Child->m_Points.Add(Vec3{0, 0, 0});
    world.Add({viaList, lastIndexed, throughChild});
    world.Run();
    EXPECT_EQ(world.m_Second->m_Integer, 8);
    EXPECT_EQ(world.m_Child->m_Points.m_Items[1].y, 7);
    EXPECT_EQ(world.m_Child->m_Points.m_Items[0].y, 0);
    EXPECT_EQ(world.m_Child->m_Integer, 6);

    world.m_Child->m_Integer = 0;
    world.m_Second->m_Integer = 0;
    index->SetInt(2); // past the two children
    world.m_Object->m_Child.Set(nullptr);
    CLogWatch log;
    world.Run();
    world.Run();
    // The two statements through Child log, each run; the one through Children.2 says nothing.
    EXPECT_EQ(log.Since(), "Param Access Failed : Null nod\r\nParam Access Failed : Null nod\r\n"
                           "Param Access Failed : Null nod\r\nParam Access Failed : Null nod\r\n");
    EXPECT_EQ(world.m_Second->m_Integer, 0);
    EXPECT_EQ(world.m_Child->m_Integer, 0);

    // A segment whose member holds a value, not a nod, leads nowhere; a member of another class
    // is not the nod's.
    auto* throughValue = new CMwCmdAffectParamNum;
    AddPathSegment(throughValue->m_Param, "Integer");
    AddPathSegment(throughValue->m_Param, "Integer");
    throughValue->SetValueExp(NewInt(1));
    throughValue->m_NumberKind = 0;
    auto* otherClass = new CMwCmdAffectParamNum;
    AddPathSegment(otherClass->m_Param, "Type", nullptr, CMwCmdExpNum::s_ClassId);
    otherClass->SetValueExp(NewInt(1));
    otherClass->m_NumberKind = 0;
    world.Add({throughValue, otherClass});
    CLogWatch silent;
    throughValue->Run();
    otherClass->Run();
    EXPECT_EQ(silent.Since(), "");
    EXPECT_EQ(world.m_Object->m_Integer, 0);
}

// A Call writes its member without value: an Action runs once per run, a Proc is called with the
// path (no argument here: it answers 2 and still counts). A member that is not an action gets no
// value and keeps its own.
TEST_F(MemberStatement, CallRunsAnActionOncePerRun) {
    CScriptObjectWorld world;
    world.m_Object->m_Integer = 3;
    world.Add({NewCall("Touch"), NewCall("Sum"), NewCall("Integer")});
    world.Run();
    world.Run();
    world.Run();
    EXPECT_EQ(world.m_Object->m_Touches, 3u);
    EXPECT_EQ(world.m_Object->m_Sums, 3u);
    EXPECT_EQ(world.m_Object->m_Integer, 3);
}

// Lists: ArrayAdd appends (a nod to the reference-holding list, which takes its reference; a Vec3
// to the list of Vec3), ArrayRemove removes at the position its Num gives. A list whose flags do
// not allow adding or removing (Kept, read only) is left as it was, as is a list given a value of
// another kind or a position past its end.
TEST_F(MemberStatement, ListAdditionsAndRemovals) {
    CScriptObjectWorld world;
    world.m_Object->Keep(world.m_Child.Get());
    const i32 childCount = world.m_Child->GetRefCount();
    auto* position = NewInt(0);
    world.Add({
        NewArrayAdd("Points", NewFloatVec3(1, 2, 3)),
        NewArrayAdd("Children", new CFixedNodExp(world.m_Child.Get())),
        NewArrayAdd("Kept", new CFixedNodExp(world.m_Second.Get())),
        NewArrayAdd("Points", NewBool(1)),
        NewArrayAdd("Children", NewFloatVec3(1, 2, 3)),
        NewArrayRemove("Kept", NewInt(0)),
    });
    world.Run();
    ASSERT_EQ(world.m_Object->m_Points.m_Count, 1u);
    EXPECT_EQ(world.m_Object->m_Points.m_Items[0].z, 3);
    EXPECT_EQ(world.m_Object->m_Children.GetCount(), 3u);
    EXPECT_EQ(world.m_Object->m_Children.GetNod(2), world.m_Child.Get());
    EXPECT_EQ(world.m_Child->GetRefCount(), childCount + 1);
    EXPECT_EQ(world.m_Object->m_Kept.m_Count, 1u);

    auto* removal = NewArrayRemove("Children", position);
    world.Add({removal});
    removal->Run(); // Child, the first entry
    EXPECT_EQ(world.m_Child->GetRefCount(), childCount);
    position->SetInt(5);
    removal->Run();
    EXPECT_EQ(world.m_Object->m_Children.GetCount(), 2u);
    EXPECT_EQ(world.m_Object->m_Children.GetNod(0), world.m_Second.Get());
    EXPECT_EQ(world.m_Object->m_Children.GetNod(1), world.m_Child.Get());
}

// The member's flags and kind decide every write: a read-only member, a member given a value of
// another kind (a word to a Vec3, a number to a text, a narrow text to a wide one and back, three
// floats to one), and a Class value into a list element of a read-only list change nothing. A
// word goes into any member of one word (a Bool into an Integer).
TEST_F(MemberStatement, WritesTheMemberDoesNotTake) {
    CScriptObjectWorld world;
    world.m_Object->Keep(world.m_Child.Get());
    world.Add({
        NewAffectParam<CMwCmdAffectParamBool>("Vec3", NewBool(1)),
        NewAffectParam<CMwCmdAffectParamNum>("Name", NewInt(1), 0),
        NewAffectParam<CMwCmdAffectParamString>("WideName", NewString("narrow")),
        NewAffectParam<CMwCmdAffectParamString>("Name", NewString("wide"),
                                                CMwCmdAffectParam::s_WideStringKind),
        NewAffectParam<CMwCmdAffectParamVec3>("Real", NewFloatVec3(1, 2, 3)),
        NewAffectParam<CMwCmdAffectParamClass>("Kept.0", new CFixedNodExp(world.m_Second.Get())),
        NewAffectParam<CMwCmdAffectParamClass>("Integer", new CFixedNodExp(world.m_Second.Get())),
        NewAffectParam<CMwCmdAffectParamBool>("Integer", NewBool(4)),
    });
    world.Run();
    const CScriptTestObject& object = *world.m_Object;
    EXPECT_EQ(object.m_Vec3.x, 0);
    EXPECT_EQ(object.m_Name.GetLength(), 0u);
    EXPECT_EQ(object.m_WideName.GetLength(), 0u);
    EXPECT_EQ(object.m_Real, 0);
    EXPECT_EQ(object.m_Kept.m_Items[0], world.m_Child.Get());
    EXPECT_EQ(object.m_Integer, 4);
}

// The write-back of a member expression (the operand's Store): 2 before any run and once the
// nod reached is gone, the check's code when the member is not there any more, else the owner's
// value written where the last run reached (a Class owner's nod itself).
TEST_F(MemberStatement, StoreWritesBackWhereTheLastRunReached) {
    CScriptObjectWorld world;
    auto* owner = NewInt(5);
    auto* classOwner = new CFixedNodExp(world.m_Second.Get());
    world.Add({owner, classOwner});
    CMwCmdParamPath number(owner), node(classOwner);
    StartAtVariable(number, "c");
    AddPathSegment(number, "Integer");
    AddPathSegment(node, "Child");
    number.Bind(world.m_Root.Get());
    node.Bind(world.m_Root.Get());
    EXPECT_EQ(number.Store(), u32(MwParam_NotFound));
    world.Var("c").SetNod(world.m_Child.Get());
    ASSERT_EQ(number.Resolve(), 1u);
    ASSERT_EQ(node.Resolve(), 1u);
    EXPECT_EQ(number.Store(), 0u);
    EXPECT_EQ(node.Store(), 0u);
    EXPECT_EQ(world.m_Child->m_Integer, 5);
    EXPECT_EQ(world.m_Object->m_Child.Get(), world.m_Second.Get());
    // A failed walk forgets the nod reached before.
    world.Var("c").SetNod(nullptr);
    CLogWatch log;
    EXPECT_EQ(number.Resolve(), 0u);
    EXPECT_EQ(log.Since(), "Param Access Failed : Null nod\r\n");
    EXPECT_EQ(number.Store(), u32(MwParam_NotFound));
    // The nod reached is gone.
    {
        const TNodRef<CScriptTestObject> brief(new CScriptTestObject);
        world.Var("c").SetNod(brief.Get());
        ASSERT_EQ(number.Resolve(), 1u);
    }
    EXPECT_EQ(number.Store(), u32(MwParam_NotFound));
}

} // namespace
