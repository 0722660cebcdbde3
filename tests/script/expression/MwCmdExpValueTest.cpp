// The plain String, Enum and Class values: equality, value operations and texts, the Enum's
// names (a null name, an index past the names, no enumeration), the Class's texts ("Null", the
// name id, "Nod", a nod that is gone) and its run, which sets null.
#include "core/nod/MwMemberInfo.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/support/ScriptExpressions.h"

namespace {

class MwCmdExpValue : public CScriptFixture {};

TEST_F(MwCmdExpValue, Strings) {
    const TNodRef<CMwCmdExpString> a(NewString("abc"));
    const struct {
        const char* Text;
        u32 Equal;
    } rows[] = {{"abc", 1}, {"ABC", 0}, {"ab", 0}, {"abcd", 0}, {"", 0}};
    for (const auto& row : rows) {
        const TNodRef<CMwCmdExpString> b(NewString(row.Text));
        EXPECT_EQ(a->IsEqual(b.Get()), row.Equal) << row.Text;
    }
    // A text with a zero byte inside compares by length and every byte.
    const TNodRef<CMwCmdExpString> zeroA(new CMwCmdExpString), zeroB(new CMwCmdExpString);
    zeroA->m_String.Assign(CClassicStringRef("a\0b", 3));
    zeroB->m_String.Assign(CClassicStringRef("a\0c", 3));
    EXPECT_EQ(zeroA->IsEqual(zeroB.Get()), 0u);
    const TNodRef<CMwCmdExp> index(NewSampleExpression(CMwCmdExpEnum::s_ClassId));
    EXPECT_EQ(a->IsEqual(index.Get()), 0u);

    EXPECT_EQ(a->GetValuePtr(), &a->m_String);
    EXPECT_EQ(a->GetResultPtr(), &a->m_String);
    CmdExpValueRecord record;
    a->GetValue(record);
    EXPECT_EQ(record.Value, &a->m_Copy);
    EXPECT_STREQ(a->m_Copy.GetText(), "abc");
    const CClassicString other("xyz");
    a->SetValue(&other);
    EXPECT_STREQ(a->m_String.GetText(), "xyz");
    EXPECT_STREQ(a->m_Copy.GetText(), "abc"); // the copy handed out stays until the next one
    CClassicString text("previous");
    a->ToString(text);
    EXPECT_STREQ(text.GetText(), "xyz");
    a->Run(); // a constant
    EXPECT_STREQ(a->m_String.GetText(), "xyz");
    // SetValue with the node's own value, as a copy-back may do.
    a->SetValue(a->GetValuePtr());
    EXPECT_STREQ(a->m_String.GetText(), "xyz");
}

// The names of the test object's Mode: "Off", "On", a null name, "Auto".
TEST_F(MwCmdExpValue, Enums) {
    const struct {
        u32 Index;
        u32 MemberId;
        const char* Text;
    } rows[] = {
        {0, CScriptTestObject::s_ModeMemberId, "Off"},
        {3, CScriptTestObject::s_ModeMemberId, "Auto"},
        {2, CScriptTestObject::s_ModeMemberId, ""},     // a null name
        {4, CScriptTestObject::s_ModeMemberId, ""},     // past the names
        {0, 0x01FFF003, ""},                            // no registered class
        {0, CScriptTestObject::s_ModeMemberId + 1, ""}, // past the class's members
        {0, CMwCmdExpNum::s_TypeMemberId, ""},          // a member that is not an Enum
    };
    CClassicString text;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Index << " " << std::hex << row.MemberId);
        const TNodRef<CMwCmdExpEnum> node(NewEnum(row.Index, row.MemberId));
        text.Assign("previous");
        node->ToString(text);
        EXPECT_STREQ(text.GetText(), row.Text);
    }
    const TNodRef<CMwCmdExpEnum> mode(NewEnum(1, CScriptTestObject::s_ModeMemberId));
    EXPECT_EQ(mode->GetNameCount(), 4u);
    EXPECT_EQ(mode->GetEnumMemberId(), CScriptTestObject::s_ModeMemberId);
    EXPECT_NE(mode->GetEnumInfo(), nullptr);
    const TNodRef<CMwCmdExpEnum> missing(NewEnum(1, 0x01FFF003));
    EXPECT_EQ(missing->m_Enumeration, nullptr);
    EXPECT_EQ(missing->GetEnumMemberId(), 0u);
    EXPECT_EQ(missing->GetNameCount(), 0u);
    const TNodRef<CMwCmdExpEnum> notEnum(NewEnum(1, CMwCmdExpNum::s_TypeMemberId));
    EXPECT_EQ(notEnum->GetEnumMemberId(), CMwCmdExpNum::s_TypeMemberId); // kept, without names
    EXPECT_EQ(notEnum->GetNameCount(), 0u);

    // Equal by the index alone, whatever the enumerations.
    EXPECT_EQ(mode->IsEqual(missing.Get()), 1u);
    const TNodRef<CMwCmdExpEnum> other(NewEnum(2, CScriptTestObject::s_ModeMemberId));
    EXPECT_EQ(mode->IsEqual(other.Get()), 0u);
    CmdExpValueRecord record;
    other->GetValue(record);
    EXPECT_EQ(*static_cast<u32*>(record.Value), 2u);
    const u32 three = 3;
    mode->SetValue(&three);
    EXPECT_EQ(mode->m_Value, 3u);
    EXPECT_EQ(mode->GetValuePtr(), &mode->m_Value);

    // Never loaded nor run: index 0, no enumeration.
    const TNodRef<CMwCmdExpEnum> fresh(new CMwCmdExpEnum);
    EXPECT_EQ(fresh->m_Value, 0u);
    EXPECT_EQ(fresh->m_Enumeration, nullptr);
}

TEST_F(MwCmdExpValue, Classes) {
    const TNodRef<CScriptTestObject> named(new CScriptTestObject);
    named->SetIdName("Car");
    const TNodRef<CScriptTestObject> unnamed(new CScriptTestObject);
    const TNodRef<CMwCmdExpNum> withoutId(NewInt(0)); // its class has no name id
    const struct {
        CMwNod* Value;
        const char* Text;
    } rows[] = {{nullptr, "Null"},
                {named.Get(), "Car"},
                {unnamed.Get(), "Unassigned"},
                {withoutId.Get(), "Nod"}};
    CClassicString text;
    for (const auto& row : rows) {
        const TNodRef<CMwCmdExpClass> node(NewClass(CScriptTestObject::s_ClassId, row.Value));
        node->ToString(text);
        EXPECT_STREQ(text.GetText(), row.Text);
    }
    // The value holds no reference: a nod destroyed since reads "Null", never touched.
    const TNodRef<CMwCmdExpClass> holder(NewClass(CScriptTestObject::s_ClassId));
    {
        const TNodRef<CScriptTestObject> gone(new CScriptTestObject);
        CMwNod* value = gone.Get();
        holder->SetValue(&value);
        EXPECT_EQ(gone->GetRefCount(), 1);
    }
    holder->ToString(text);
    EXPECT_STREQ(text.GetText(), "Null");

    // Equal by pointer; the plain class's run sets null, so two plain ones are equal after a run.
    CMwNod* value = named.Get();
    const TNodRef<CMwCmdExpClass> a(NewClass(1, value)), b(NewClass(2, value));
    EXPECT_EQ(a->IsEqual(b.Get()), 1u);
    b->Run();
    EXPECT_EQ(b->m_Value, nullptr);
    EXPECT_EQ(b->m_ClassId, 2u);
    EXPECT_EQ(a->IsEqual(b.Get()), 0u);
    a->Run();
    EXPECT_EQ(a->IsEqual(b.Get()), 1u);
    CmdExpValueRecord record;
    a->SetValue(&value);
    a->GetValue(record);
    EXPECT_EQ(*static_cast<CMwNod**>(record.Value), named.Get());
    EXPECT_EQ(a->GetValuePtr(), &a->m_Value);
    EXPECT_EQ(named->GetRefCount(), 1);

    const TNodRef<CMwCmdExpClass> fresh(new CMwCmdExpClass);
    EXPECT_EQ(fresh->m_Value, nullptr);
    EXPECT_EQ(fresh->m_ClassId, 0u);
}

} // namespace
