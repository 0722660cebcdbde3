// The extern variable nods: attachment and names, reads and writes of every typed member through
// member paths, Class paths into the held nod, the Enum names, and what a nod without variable,
// a missing component or a missing nod answers.
#include "script/var/MwCmdScriptVar.h"

#include "core/nod/MwMemberPath.h"
#include "tests/script/statement/StatementTestSupport.h"

#include <bit>
#include <cmath>
#include <sstream>
#include <string>

namespace {

class MwCmdScriptVar : public CScriptFixture {};

// A path parsed from the text against the nod.
struct CPath {
    CPath(CMwNod& nod, const char* text) {
        EXPECT_EQ(m_Path.ParseFromText(CMwNod::s_NoClassId, &nod, CClassicString(text)), 0u)
            << text;
    }
    CMwMemberPath* operator->() { return &m_Path; }
    operator CMwMemberPath*() {
        m_Path.Reset();
        return &m_Path;
    }
    CMwMemberPath m_Path;
};

// A path of the nod's own member followed by an index item.
struct CIndexPath {
    CIndexPath(CMwNod& nod, u32 index) : m_Path(2) {
        m_Path.PushFront(MwPathValue(nod.GetClassInfo()->m_MemberInfos[0]));
        m_Path.PushFront(index);
        m_Path.m_Kinds[0] = MwPathItem_Index;
    }
    operator CMwMemberPath*() {
        m_Path.Reset();
        return &m_Path;
    }
    CMwMemberPath m_Path;
};

template <class T>
TNodRef<T> Attached(CBlockVariable& variable) {
    TNodRef<T> nod(new T);
    nod->Attach(&variable);
    return nod;
}

f32 ReadFloat(const CMwParamValue& value) {
    return *static_cast<const f32*>(value.Value);
}

// Attaching names the nod after its variable; the nod depends on its variable, so that one that
// goes leaves it unattached. Before any attachment, and unattached, every read and write answers
// 2 and changes nothing.
TEST_F(MwCmdScriptVar, AttachmentAndName) {
    const TNodRef<CMwCmdScriptVarInt> nod(new CMwCmdScriptVarInt);
    EXPECT_EQ(nod->GetIdPtr()->m_Value, CMwId::Unassigned);
    CMwParamValue value;
    const i32 seven = 7;
    EXPECT_EQ(nod->GetParam(CPath(*nod, "Int"), &value), 2u);
    EXPECT_EQ(nod->SetParam(CPath(*nod, "Int"), &seven), 2u);
    {
        const TNodRef<CBlockVariable> variable(new CBlockVariable);
        variable->m_Name.Assign("speed");
        variable->m_Type = BlockVariable_Int;
        nod->Attach(variable.Get());
        EXPECT_STREQ(nod->GetIdPtr()->GetChars(), "speed");
        CMwParamValue name;
        ASSERT_EQ(nod->GetParam(CPath(*nod, "IdName"), &name), 0u);
        EXPECT_STREQ(static_cast<CClassicString*>(name.Value)->GetText(), "speed");
        EXPECT_EQ(nod->SetParam(CPath(*nod, "Int"), &seven), 0u);
        EXPECT_EQ(variable->GetInt(), 7);
        EXPECT_EQ(variable->m_Assigned, 1u);
    }
    EXPECT_EQ(nod->m_Variable, nullptr);
    EXPECT_EQ(nod->GetParam(CPath(*nod, "Int"), &value), 2u);
    // Attached to nothing: the name stays, the nod answers 2.
    nod->Attach(nullptr);
    EXPECT_STREQ(nod->GetIdPtr()->GetChars(), "speed");
}

// Bool, Int and Float hand out a copy of the word and take a new word; String hands out the
// variable's string (made, empty, when missing) and takes a text; every write sets the assigned
// flag.
TEST_F(MwCmdScriptVar, WordsAndTexts) {
    CScriptObjectWorld world;
    world.Bind();
    const auto b = Attached<CMwCmdScriptVarBool>(world.Var("b"));
    const auto i = Attached<CMwCmdScriptVarInt>(world.Var("i"));
    const auto f = Attached<CMwCmdScriptVarFloat>(world.Var("f"));
    const auto s = Attached<CMwCmdScriptVarString>(world.Var("s"));
    const u32 yes = 1;
    const i32 minus = -12;
    const f32 half = 0.5f;
    const CClassicString text("Hello");
    EXPECT_EQ(b->SetParam(CPath(*b, "Bool"), &yes), 0u);
    EXPECT_EQ(i->SetParam(CPath(*i, "Int"), &minus), 0u);
    EXPECT_EQ(f->SetParam(CPath(*f, "Float"), &half), 0u);
    CMwParamValue value;
    ASSERT_EQ(s->GetParam(CPath(*s, "String"), &value), 0u);
    EXPECT_EQ(value.Value, world.Var("s").GetString());
    EXPECT_EQ(world.Var("s").m_Assigned, 0u);
    EXPECT_EQ(s->SetParam(CPath(*s, "String"), &text), 0u);
    EXPECT_EQ(world.Var("b").GetWord(), 1u);
    EXPECT_EQ(world.Var("i").GetInt(), -12);
    EXPECT_EQ(world.Var("f").GetFloat(), 0.5f);
    EXPECT_STREQ(world.Var("s").GetString()->GetText(), "Hello");
    for (const char* name : {"b", "i", "f", "s"})
        EXPECT_EQ(world.Var(name).m_Assigned, 1u) << name;
    ASSERT_EQ(i->GetParam(CPath(*i, "Int"), &value), 0u);
    EXPECT_EQ(*static_cast<const i32*>(value.Value), -12);
    EXPECT_NE(value.Value, world.Var("i").GetWordPtr()); // a copy
    ASSERT_EQ(f->GetParam(CPath(*f, "Float"), &value), 0u);
    EXPECT_EQ(ReadFloat(value), 0.5f);
    // Setting from text goes through the same member operations.
    EXPECT_EQ(i->SetParamFromText(CClassicString("Int"), u"42"), 0u);
    EXPECT_EQ(world.Var("i").GetInt(), 42);
}

// Vectors and transforms: the whole value's address (the value object made, zero-filled, when
// missing), a component's address for an index item, for -1 the length of a vector computed in
// double and given as a float (against Python). Any other index answers 2. A write always takes
// the whole value, whatever items follow.
TEST_F(MwCmdScriptVar, VectorsAndTransforms) {
    CScriptObjectWorld world;
    world.Bind();
    const auto v2 = Attached<CMwCmdScriptVarVec2>(world.Var("v2"));
    const auto v3 = Attached<CMwCmdScriptVarVec3>(world.Var("v3"));
    const auto m = Attached<CMwCmdScriptVarIso4>(world.Var("m"));
    CMwParamValue value;
    ASSERT_EQ(v3->GetParam(CPath(*v3, "Vec3"), &value), 0u);
    EXPECT_EQ(value.Value, world.Var("v3").GetFloats());
    EXPECT_EQ(ReadFloat(value), 0.0f);
    EXPECT_EQ(world.Var("v3").m_Assigned, 0u);

    const f32 v2Value[] = {3, 4.5f};
    const f32 v3Value[] = {1e20f, 3e-20f, -7.25f};
    f32 iso[12];
    for (u32 k = 0; k < 12; ++k)
        iso[k] = f32(k) + 0.5f;
    EXPECT_EQ(v2->SetParam(CPath(*v2, "Vec2"), v2Value), 0u);
    EXPECT_EQ(v3->SetParam(CPath(*v3, "Vec3.y"), v3Value), 0u);
    EXPECT_EQ(m->SetParam(CPath(*m, "Iso4"), iso), 0u);
    for (const char* name : {"v2", "v3", "m"})
        EXPECT_EQ(world.Var(name).m_Assigned, 1u) << name;
    EXPECT_EQ(world.Var("v3").GetFloats()[0], 1e20f);

    ASSERT_EQ(v3->GetParam(CPath(*v3, "Vec3.z"), &value), 0u);
    EXPECT_EQ(value.Value, world.Var("v3").GetFloats() + 2);
    ASSERT_EQ(m->GetParam(CIndexPath(*m, 11), &value), 0u);
    EXPECT_EQ(ReadFloat(value), 11.5f);
    EXPECT_EQ(v2->GetParam(CIndexPath(*v2, 2), &value), 2u);
    EXPECT_EQ(v3->GetParam(CIndexPath(*v3, 3), &value), 2u);
    EXPECT_EQ(m->GetParam(CIndexPath(*m, 12), &value), 2u);
    EXPECT_EQ(m->GetParam(CIndexPath(*m, 0xFFFFFFFF), &value), 2u);

    CTempFolder folder;
    std::ostringstream args;
    for (f32 c : v2Value)
        args << ' ' << std::bit_cast<u32>(c);
    args << " /";
    for (f32 c : v3Value)
        args << ' ' << std::bit_cast<u32>(c);
    const std::string script = R"(import math, struct, sys
for group in ' '.join(sys.argv[1:]).split('/'):
    xs = [struct.unpack('<f', struct.pack('<I', int(w)))[0] for w in group.split()]
    length = math.sqrt(sum(x * x for x in xs))
    print(struct.unpack('<I', struct.pack('<f', length))[0])
)";
    std::istringstream answers(RunPython(folder, script, args.str()));
    u32 length2 = 0, length3 = 0;
    answers >> length2 >> length3;
    ASSERT_EQ(v2->GetParam(CPath(*v2, "Vec2.length"), &value), 0u);
    EXPECT_EQ(std::bit_cast<u32>(ReadFloat(value)), length2);
    ASSERT_EQ(v3->GetParam(CPath(*v3, "Vec3.length"), &value), 0u);
    EXPECT_EQ(std::bit_cast<u32>(ReadFloat(value)), length3);
    // In single precision the squares of 1e20 would overflow.
    EXPECT_TRUE(std::isfinite(ReadFloat(value)));
    // CheckParam counts the length item past the components, as for every vector member.
    EXPECT_EQ(v3->CheckParam(CPath(*v3, "Vec3.length")), 2u);
    EXPECT_EQ(v3->CheckParam(CPath(*v3, "Vec3.z")), 0u);
}

// Class: the held nod; with further items the path goes on in it (reads, writes, adds and
// removes), the variable itself left as it is; without a held nod such a path answers 2. A write
// of the member itself moves the variable's link (a nod that is gone is refused). Adds and
// removes that end at the member do nothing.
TEST_F(MwCmdScriptVar, ClassPathsGoOnInTheHeldNod) {
    CScriptObjectWorld world;
    world.Bind();
    world.m_Child->m_Name.Assign("Kid");
    const auto c = Attached<CMwCmdScriptVarClass>(world.Var("c"));
    CMwParamValue value;
    ASSERT_EQ(c->GetParam(CPath(*c, "Class"), &value), 0u);
    EXPECT_EQ(value.Value, nullptr);
    EXPECT_EQ(c->GetParam(CIndexPath(*c, 0), &value), 2u);
    const i32 nine = 9;
    EXPECT_EQ(c->SetParam(CPath(*c, "Class"), world.m_Child.Get()), 0u);
    EXPECT_EQ(world.Var("c").GetNod(), world.m_Child.Get());
    EXPECT_EQ(world.Var("c").m_Assigned, 1u);
    world.Var("c").m_Assigned = 0;
    ASSERT_EQ(c->GetParam(CPath(*c, "Class.Name"), &value), 0u);
    EXPECT_STREQ(static_cast<CClassicString*>(value.Value)->GetText(), "Kid");
    EXPECT_EQ(c->SetParam(CPath(*c, "Class.Integer"), &nine), 0u);
    EXPECT_EQ(world.m_Child->m_Integer, 9);
    EXPECT_EQ(world.Var("c").m_Assigned, 0u);
    EXPECT_EQ(c->AddParam(CPath(*c, "Class.Integer"), &nine), 0u);
    EXPECT_EQ(world.m_Child->m_Integer, 18);
    EXPECT_EQ(c->SubParam(CPath(*c, "Class.Integer"), &nine), 0u);
    EXPECT_EQ(world.m_Child->m_Integer, 9);
    EXPECT_EQ(c->AddParam(CPath(*c, "Class"), world.m_Second.Get()), 0u);
    EXPECT_EQ(world.Var("c").GetNod(), world.m_Child.Get());
    EXPECT_EQ(c->CheckParam(CPath(*c, "Class.Name")), 0u);
    // Passed on, the add answers 0 whatever the held nod answers (Mode takes no add).
    EXPECT_EQ(c->AddParam(CPath(*c, "Class.Mode"), &nine), 0u);
    EXPECT_EQ(world.m_Child->m_Mode, 0u);
    auto* gone = new CScriptTestObject;
    delete gone;
    EXPECT_EQ(c->SetParam(CPath(*c, "Class"), gone), 2u);
    EXPECT_EQ(world.Var("c").GetNod(), world.m_Child.Get());
    // The held nod goes: the paths have nowhere to go on.
    CPath name(*c, "Class.Name"), integer(*c, "Class.Integer");
    world.m_Object->DropLinks();
    world.m_Child.Reset();
    EXPECT_EQ(world.Var("c").GetNod(), nullptr);
    for (u32 result :
         {c->GetParam(name, &value), c->SetParam(integer, &nine), c->AddParam(integer, &nine),
          c->SubParam(integer, &nine), c->CheckParam(name)})
        EXPECT_EQ(result, 2u);
}

// Enum: the read hands out the variable's word, the write copies a word and sets assigned.
// Attaching fills the names of the enumeration whose member id the variable keeps (a null name
// as empty text); an id that names no Enum member of a registered class leaves the list empty.
TEST_F(MwCmdScriptVar, EnumNamesAndWord) {
    CScriptObjectWorld world;
    world.Bind();
    CBlockVariable& e = world.Var("e");
    e.m_Id = CScriptTestObject::s_ModeMemberId;
    const auto nod = Attached<CMwCmdScriptVarEnum>(e);
    std::string names;
    for (u32 k = 0; k < nod->m_Names.m_Count; ++k)
        names += std::string(nod->m_Names.m_Items[k].GetText()) + "|";
    EXPECT_EQ(names, "Off|On||Auto|");
    CMwParamValue value;
    ASSERT_EQ(nod->GetParam(CPath(*nod, "Enum"), &value), 0u);
    EXPECT_EQ(value.Value, e.GetWordPtr());
    const u32 three = 3;
    EXPECT_EQ(nod->SetParam(CPath(*nod, "Enum"), &three), 0u);
    EXPECT_EQ(e.GetWord(), 3u);
    EXPECT_EQ(e.m_Assigned, 1u);
    for (u32 id : {u32(0x01FC1001), u32(0x01FC1FFF), u32(0x01FFF000), u32(0)}) {
        e.m_Id = id;
        nod->Attach(&e);
        EXPECT_EQ(nod->m_Names.m_Count, 0u) << std::hex << id;
    }
}

// Writing an extern variable before the script runs marks it assigned, so its initialising
// assignment does not run.
TEST_F(MwCmdScriptVar, OutsideWriteKeepsItsValue) {
    CScriptObjectWorld world;
    world.Add({NewAffectIdentNum("i", NewInt(5))});
    static_cast<CMwCmdAffectIdent*>(world.m_Root->m_Cmds.m_Items[0])->m_HasOnce = 1;
    const auto i = Attached<CMwCmdScriptVarInt>(world.Var("i"));
    EXPECT_EQ(i->SetParamFromText(CClassicString("Int"), u"12"), 0u);
    world.Run();
    EXPECT_EQ(world.Var("i").GetInt(), 12);
}

} // namespace
