// Script variables: assignment by type, reading the value in the expressions' forms, the link to
// a Class variable's nod through every way the nod or the variable can go, and the chunk.
#include "script/block/BlockVariable.h"

#include "core/base/ClassicArchive.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/support/ScriptFixtureWriter.h"

#include <cstring>
#include <string>

namespace {

class BlockVariable : public CScriptFixture {};

u32 FloatCount(u32 type) {
    return type == BlockVariable_Vec2 ? 2 : type == BlockVariable_Vec3 ? 3 : 12;
}

bool IsObjectType(u32 type) {
    return type == BlockVariable_String || type == BlockVariable_Vec2 ||
           type == BlockVariable_Vec3 || type == BlockVariable_Iso4;
}

// A variable of the type holding a value made from the salt.
void Fill(CBlockVariable& variable, u32 type, CMwNod* nod, u32 salt) {
    variable.m_Name.Assign(("var" + std::to_string(salt)).c_str());
    variable.m_Type = type;
    variable.m_Assigned = 1;
    variable.m_Flag = 1;
    switch (type) {
        case BlockVariable_Class:
            variable.SetNod(nod);
            variable.m_Id = CScriptTestObject::s_ClassId;
            break;
        case BlockVariable_Enum:
            variable.m_Id = 0x01030001;
            variable.SetWord(salt);
            break;
        case BlockVariable_String:
            variable.MakeString().Assign(("text " + std::to_string(salt)).c_str());
            break;
        case BlockVariable_Vec2:
        case BlockVariable_Vec3:
        case BlockVariable_Iso4:
            for (u32 i = 0; i < FloatCount(type); ++i)
                variable.MakeFloats()[i] = f32(salt) + 0.5f * f32(i);
            break;
        default:
            variable.SetWord(salt);
            break;
    }
}

// The value as GetValue gives it, as bytes (a string's text).
std::string ValueOf(const CBlockVariable& variable) {
    if (variable.m_Type == BlockVariable_String) {
        CClassicString text("old");
        variable.GetValue(&text);
        return std::string(text.GetText(), text.GetLength());
    }
    u8 bytes[48];
    std::memset(bytes, 0xAB, sizeof bytes);
    variable.GetValue(bytes);
    size_t size = 4;
    if (variable.m_Type == BlockVariable_Class)
        size = sizeof(CMwNod*);
    else if (IsObjectType(variable.m_Type))
        size = FloatCount(variable.m_Type) * 4;
    else if (variable.m_Type == BlockVariable_Unset)
        size = 4; // nothing written: the fill stays
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

// Assign copies name, assigned, flag, type and id, and the value by type; value objects are deep
// copies; the copy of a Class variable holds its own link.
TEST_F(BlockVariable, AssignByType) {
    const TNodRef<CScriptTestObject> nod(new CScriptTestObject);
    for (u32 type = 0; type < BlockVariable_Unset; ++type) {
        SCOPED_TRACE(type);
        CBlockVariable source, target;
        Fill(source, type, nod.Get(), 7);
        target.Assign(source);
        EXPECT_EQ(target.m_Name.GetText(), std::string("var7"));
        EXPECT_EQ(target.m_Assigned, 1u);
        EXPECT_EQ(target.m_Flag, 1u);
        EXPECT_EQ(target.m_Type, type);
        EXPECT_EQ(target.m_Id, source.m_Id);
        EXPECT_EQ(ValueOf(target), ValueOf(source));
        if (type == BlockVariable_Class) {
            EXPECT_EQ(nod->GetDependantCount(), 2u);
        }
        if (IsObjectType(type)) {
            ASSERT_TRUE(target.HasValueObject());
            const std::string copied = ValueOf(target);
            Fill(source, type, nod.Get(), 9);
            EXPECT_EQ(ValueOf(target), copied);
        }
    }
    EXPECT_EQ(nod->GetDependantCount(), 0u);
}

// A source without a value object frees the target's; an unset source leaves the value; a type
// that keeps no nod or object lets the target's go.
TEST_F(BlockVariable, AssignLetsGoOfWhatTheTypeDoesNotKeep) {
    const TNodRef<CScriptTestObject> nod(new CScriptTestObject);
    CBlockVariable target, source;
    Fill(target, BlockVariable_Vec3, nullptr, 1);
    source.m_Type = BlockVariable_Vec3;
    target.Assign(source);
    EXPECT_FALSE(target.HasValueObject());
    EXPECT_EQ(ValueOf(target), std::string(12, '\0'));

    Fill(target, BlockVariable_Int, nullptr, 5);
    CBlockVariable unset;
    unset.m_Name.Assign("u");
    target.Assign(unset);
    EXPECT_EQ(target.m_Type, u32(BlockVariable_Unset));
    EXPECT_EQ(target.GetWord(), 5u);

    Fill(target, BlockVariable_Class, nod.Get(), 1);
    Fill(source, BlockVariable_Int, nullptr, 3);
    target.Assign(source);
    EXPECT_EQ(target.GetNod(), nullptr);
    EXPECT_EQ(nod->GetDependantCount(), 0u);
    Fill(target, BlockVariable_String, nullptr, 1);
    target.Assign(source);
    EXPECT_FALSE(target.HasValueObject());
    EXPECT_EQ(target.GetInt(), 3);
}

// GetValue writes each kind's form: the word, the nod pointer, a string assignment, 8, 12 or 48
// bytes (zeros without a value object); nothing for an unset variable.
TEST_F(BlockVariable, GetValueForms) {
    const TNodRef<CScriptTestObject> nod(new CScriptTestObject);
    CBlockVariable variable;
    Fill(variable, BlockVariable_Float, nullptr, 0);
    variable.SetFloat(2.5f);
    f32 real = 0;
    variable.GetValue(&real);
    EXPECT_EQ(real, 2.5f);
    Fill(variable, BlockVariable_Class, nod.Get(), 0);
    CMwNod* held = nullptr;
    variable.GetValue(&held);
    EXPECT_EQ(held, nod.Get());
    Fill(variable, BlockVariable_Iso4, nullptr, 1);
    Iso4 matrix;
    variable.GetValue(&matrix);
    EXPECT_EQ(matrix.R.m00, 1.0f);
    EXPECT_EQ(matrix.t.z, 6.5f);
    CBlockVariable empty;
    empty.m_Type = BlockVariable_String;
    EXPECT_EQ(ValueOf(empty), "");
    empty.m_Type = BlockVariable_Vec2;
    EXPECT_EQ(ValueOf(empty), std::string(8, '\0'));
    empty.m_Type = BlockVariable_Unset;
    EXPECT_EQ(ValueOf(empty), std::string(4, '\xAB'));
}

// The nod of Class variables: released to zero, it goes and every variable forgets it; destroyed
// outright, the variables forget it; a variable that goes first leaves the nod's dependants; a
// copy holds a link of its own.
TEST_F(BlockVariable, ClassLinks) {
    const u32 before = CMwNod::GetLiveNodCount();
    {
        auto* nod = new CScriptTestObject;
        nod->AddRef();
        CBlockVariable first, second;
        Fill(first, BlockVariable_Class, nod, 1);
        Fill(second, BlockVariable_Class, nod, 2);
        EXPECT_EQ(nod->GetDependantCount(), 2u);
        EXPECT_EQ(nod->Release(), 0);
        EXPECT_FALSE(CMwNod::IsValidNod(nod));
        EXPECT_EQ(first.GetNod(), nullptr);
        EXPECT_EQ(second.GetNod(), nullptr);
    }
    {
        auto* nod = new CScriptTestObject;
        CBlockVariable variable;
        Fill(variable, BlockVariable_Class, nod, 1);
        delete nod;
        EXPECT_EQ(variable.GetNod(), nullptr);
    }
    {
        const TNodRef<CScriptTestObject> nod(new CScriptTestObject);
        auto variable = std::make_unique<CBlockVariable>();
        Fill(*variable, BlockVariable_Class, nod.Get(), 1);
        {
            const CBlockVariable copy(*variable);
            EXPECT_EQ(copy.GetNod(), nod.Get());
            EXPECT_EQ(nod->GetDependantCount(), 2u);
        }
        EXPECT_EQ(nod->GetDependantCount(), 1u);
        variable->SetNod(nullptr);
        EXPECT_EQ(nod->GetDependantCount(), 0u);
        variable->SetNod(nod.Get());
        variable.reset();
        EXPECT_EQ(nod->GetDependantCount(), 0u);
        EXPECT_EQ(nod->GetRefCount(), 1);
    }
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
}

// Chunk 0x01080000 holds name, flag and type, as the fixture writer writes them; a type past 9 is
// invalid data.
TEST_F(BlockVariable, Chunk) {
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const TNodRef<CBlockVariable> variable(new CBlockVariable);
        Fill(*variable, BlockVariable_Enum, nullptr, 3);
        variable->m_Name.Assign("speed|limit");
        CClassicArchive writer;
        writer.SetBuffer(new CClassicBufferMemory);
        writer.m_Writing = 1;
        writer.m_Text = text;
        EXPECT_EQ(variable->Archive(writer), 0u);
        const auto* written = static_cast<const CClassicBufferMemory*>(writer.GetBuffer());
        CScriptFixtureWriter fixture(text);
        fixture.Chunk(0x01080000).String("speed|limit").Bool(1).U32(BlockVariable_Enum).End();
        EXPECT_EQ(
            std::string(reinterpret_cast<const char*>(written->GetData()), written->GetSize()),
            fixture.Body());

        CScriptFixtureWriter damaged(text);
        damaged.Chunk(0x01080000).String("x").Bool(0).U32(10).End();
        const std::string body = damaged.Body();
        CClassicArchive reader;
        auto* memory = new CClassicBufferMemory;
        reader.SetBuffer(memory);
        memory->Write(body.data(), u32(body.size()));
        memory->Rewind();
        reader.m_Text = text;
        const TNodRef<CBlockVariable> read(new CBlockVariable);
        CLogWatch log;
        EXPECT_THROW(read->Archive(reader), CClassicBufferException);
        EXPECT_EQ(log.Since(),
                  "Script Warning : Invalid script data in CBlockVariable, chunk 0x01080000\r\n");
    }
}

} // namespace
