// The scalar member kinds: their accesses, text forms, the nod kinds with and without references,
// procedure argument defaults, the sub-nod lookup of lists of nods and the child paths.
#include "core/nod/MwParamScalar.h"

#include "CoreTestSupport.h"
#include "ExternalToolSupport.h"
#include "core/math/Iso.h"
#include "core/nod/MwVirtualMember.h"

#include <clocale>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace {

// A nod with one member of each scalar kind, a named nod list read through the class, and a
// procedure whose arguments cover the defaults.
class CScalarNod : public CMwNod {
    MW_DECLARE_CLASS(CScalarNod, CMwNod, 0x01F84000)
public:
    CMwId* GetIdPtr() override { return &m_Id; }
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override {
        return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
            if (member.MemberId != 0x01F84008)
                return MwNotOwnMember;
            out->Value = &m_List;
            return MwParam_Ok;
        });
    }
    ~CScalarNod() override {
        m_List.FreeItems();
        m_Numbers.FreeItems();
    }
    u32 Call(CMwMemberPath*) { return 0; }

    CMwId m_Id;
    u32 m_Mode = 0;
    u32 m_Size = 0;
    CMwNod* m_Plain = nullptr;
    CMwNodRef m_Held;
    CFastBuffer<CMwNod*> m_List;
    CFastBuffer<u32> m_Numbers;
};

constexpr const char* kModeNames[] = {"ModulateAdd", "Modulate", "Add", "ModulateX2"};
constexpr const char* kGappedNames[] = {"First", nullptr, "Third"};
constexpr u32 kArgTypes[] = {MwType_Natural,   MwType_Vec3,       MwType_Iso4, MwType_String,
                             MwType_StringInt, CMwNod::s_ClassId, MwType_Real};
constexpr const char* kArgNames[] = {"Count", "Where", "Loc", "Text", "Caption", "This", "Scale"};
constexpr u32 kArgValues[] = {0, 0, 0, 0, 0, 0, 0};

#define SCALAR_NOD_MEMBERS(X)                                                                      \
    X(Enum, 0x01F84000, "Mode", MW_FIELD(m_Mode), "Mode", 0x0F, 0x380, "EApply::", kModeNames)     \
    X(Enum, 0x01F84001, "Gapped", MW_FIELD(m_Mode), "Gapped", 0x03, 0x380, "", kGappedNames)       \
    X(NaturalRange, 0x01F84002, "Size", MW_FIELD(m_Size), "Size", 0x03, 0x380, 0u, 64000u)         \
    X(Class, 0x01F84003, "Plain", MW_FIELD(m_Plain), "Plain", 0x03, 0x380, &CMwNod::s_ClassInfo,   \
      0)                                                                                           \
    X(Class, 0x01F84004, "Held", MW_FIELD(m_Held), "Held", 0x03, 0x3FA0, &CMwNod::s_ClassInfo, 1)  \
    X(Proc, 0x01F84005, "Call", MW_VIRTUAL(""), "Call", 0x02, 0x380,                               \
      MwThunk<&CScalarNod::Call>::Call, kArgTypes, kArgNames, kArgValues)                          \
    X(Buffer, 0x01F84006, "Numbers", MW_FIELD(m_Numbers), "Numbers", 0x0F, 0x380, MwType_Natural,  \
      0x1, "Number")                                                                               \
    X(Proc, 0x01F84007, "NoArgs", MW_VIRTUAL(""), "NoArgs", 0x02, 0x380,                           \
      MwThunk<&CScalarNod::Call>::Call)                                                            \
    X(Buffer, 0x01F84008, "List", MW_VIRTUAL("m_List"), "List", 0x11, 0x3F82, MwType_Class, 0xF,   \
      "Nod", &CMwNod::s_ClassInfo)

MW_DEFINE_CLASS(CScalarNod, MwFactory<CScalarNod>, SCALAR_NOD_MEMBERS, MW_NO_CHUNKS);

constinit CMwClassInfo* const s_ScalarClasses[] = {&CScalarNod::s_ClassInfo};
constinit const CMwClassList s_ScalarClassList = {s_ScalarClasses, 1};

class MwParamScalar : public CMwCoreFixture {
protected:
    MwParamScalar() : CMwCoreFixture(&s_ScalarClassList) {}

    static CMwMemberInfo* Member(u32 id) { return CMwClassRegistry::GetMemberInfo(id); }
    static CMwParam* Kind(u32 typeCode) { return CMwParam::GetDescriptor(typeCode); }
};

// A path of items given first to last: member records, or (kind, value) pairs.
struct CItem {
    u32 Kind;
    MwPathValue Value;
};

CItem MemberItem(const CMwMemberInfo* member) {
    return {MwPathItem_Member, reinterpret_cast<MwPathValue>(member)};
}

CItem IndexItem(u32 index) {
    return {MwPathItem_Index, index};
}

void MakePath(CMwMemberPath& path, std::initializer_list<CItem> items) {
    path.Reserve(0);
    path.Reserve(u32(items.size()) + 1);
    for (const CItem& item : items) {
        path.PushFront(item.Value);
        path.m_Kinds[0] = item.Kind;
    }
    path.Reset();
}

std::string Narrow(const CClassicWideString& text) {
    std::string out;
    for (u32 i = 0; i < text.GetLength(); ++i)
        out.push_back(text[i] < 128 ? char(text[i]) : '?');
    return out;
}

CClassicWideString Wide(const char* text) {
    CClassicWideString wide;
    wide.AssignFromNarrow(text);
    return wide;
}

std::string ToTextOf(CMwParam* param, const void* value, const CMwMemberInfo* info = nullptr,
                     u32 flags = 12) {
    CMwParamTextOptions options;
    options.Flags = flags;
    CClassicWideString out(u"stale");
    param->ToText(out, value, info, options);
    return Narrow(out);
}

template <class T>
T FromTextOf(CMwParam* param, const char* text, const CMwMemberInfo* info = nullptr,
             u32 flags = 12) {
    CMwParamTextOptions options;
    options.Flags = flags;
    CMwParamValue value;
    param->FromText(&value, Wide(text), info, options);
    EXPECT_EQ(value.Value, value.Scratch) << text;
    T result;
    std::memcpy(&result, value.Scratch, sizeof result);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Text forms

TEST_F(MwParamScalar, TextFormsAreOfferedByTheValueKindsOnly) {
    struct Case {
        u32 TypeCode;
        bool Text;
        u32 First, Second;
    };
    const Case cases[] = {
        {MwType_Action, false, 3, 4}, {MwType_Bool, true, 3, 4},
        {MwType_Class, false, 2, 2},  {MwType_Enum, true, 3, 4},
        {MwType_Integer, true, 3, 4}, {MwType_IntegerRange, true, 3, 4},
        {MwType_Natural, true, 3, 4}, {MwType_NaturalRange, true, 3, 4},
        {MwType_Real, true, 3, 4},    {MwType_RealRange, true, 3, 4},
        {MwType_String, true, 3, 4},  {MwType_StringInt, true, 3, 4},
        {MwType_Proc, false, 3, 4},
    };
    for (const Case& c : cases) {
        CMwParam* param = Kind(c.TypeCode);
        ASSERT_NE(param, nullptr) << c.TypeCode;
        EXPECT_EQ(param->CanToText(), c.Text) << c.TypeCode;
        EXPECT_EQ(param->CanFromText(), c.Text) << c.TypeCode;
        u32 first = 0, second = 0;
        param->GetKindPair(&first, &second);
        EXPECT_EQ(first, c.First) << c.TypeCode;
        EXPECT_EQ(second, c.Second) << c.TypeCode;
        EXPECT_FALSE(param->IsContainerKind() || param->IsStruct()) << c.TypeCode;
    }
    CMwParam* held = CMwParam::GetReferenceTakingClassDescriptor();
    u32 first = 0, second = 0;
    held->GetKindPair(&first, &second);
    EXPECT_EQ(first + second, 4u);
    EXPECT_FALSE(held->CanToText() || held->CanFromText());
}

TEST_F(MwParamScalar, BoolTextIsTrueForTOAndOne) {
    const std::pair<const char*, u32> cases[] = {
        {"True", 1},  {"true", 1},  {"On", 1},  {"oui", 1},   {"1", 1},
        {"Off", 1},   {"t", 1},     {"", 0},    {"0", 0},     {"no", 0},
        {"false", 0}, {"False", 0}, {"yes", 0}, {" True", 0}, {"\xE9t", 0},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(FromTextOf<u32>(Kind(MwType_Bool), text), expected) << '"' << text << '"';
    const u32 values[] = {0, 1, 2, 0xFFFFFFFF};
    const char* texts[] = {"False", "True", "True", "True"};
    for (u32 i = 0; i < 4; ++i)
        EXPECT_EQ(ToTextOf(Kind(MwType_Bool), &values[i]), texts[i]);
}

TEST_F(MwParamScalar, IntegerTextFollowsTheOptions) {
    struct Case {
        i32 Value;
        u32 Flags;
        const char* Text;
    };
    const Case cases[] = {
        {1234567, 12, "1 234 567"},
        {1234567, 0, "1234567"},
        {-1234567, 8, "-1 234 567"},
        {-42, 6 << 5, "   -42"},
        {std::numeric_limits<i32>::min(), 8, "-2 147 483 648"},
        {0, 0, "0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToTextOf(Kind(MwType_Integer), &c.Value, nullptr, c.Flags), c.Text);
        EXPECT_EQ(ToTextOf(Kind(MwType_IntegerRange), &c.Value, nullptr, c.Flags), c.Text);
    }
    // Leading blanks, a sign, digits up to the first other character: the grouped text of a
    // number reads as its first group.
    const std::pair<const char*, i32> parsed[] = {
        {"1 234 567", 1},
        {"1234567", 1234567},
        {" \t\r\n-17abc", -17},
        {"12 34", 12},
        {"- 5", 0},
        {"+-5", 0},
        {"abc", 0},
        {"", 0},
        {"+8", 8},
        {"0042", 42},
        {"-0", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"99999999999", 2147483647},
        {"-2147483648", std::numeric_limits<i32>::min()},
        {"-99999999999", std::numeric_limits<i32>::min()},
    };
    for (const auto& [text, expected] : parsed)
        EXPECT_EQ(FromTextOf<i32>(Kind(MwType_Integer), text), expected) << text;
}

TEST_F(MwParamScalar, NaturalTextIsDecimalOrPrefixedHexOverTheWholeRange) {
    struct Case {
        u32 Value;
        u32 Flags;
        const char* Text;
    };
    const Case cases[] = {
        {255, 0x2000, "0xFF"},
        {0x12345678, 0x2000 | 0x8, "0x1234 5678"},
        {0xFFFFFFFF, 0x2000, "0xFFFFFFFF"},
        {255, 12, "255"},
        {7, 0x10 | (4 << 5), "0007"},
        {7, 4 << 5, "   7"},
        {3000000000u, 12, "3 000 000 000"},
        {3000000000u, 0, "3000000000"},
        {4294967295u, 0x10 | (12 << 5), "004294967295"},
        {2147483647u, 8, "2 147 483 647"},
        {0, 0, "0"},
        {1000, 8, "1 000"},
        {1234, 0x8 | (7 << 5), "  1 234"},
        {1234, 0x10 | 0x8 | (8 << 5), "0001 234"},
        {2147483648u, 0x10 | (3 << 5), "2147483648"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToTextOf(Kind(MwType_Natural), &c.Value, nullptr, c.Flags), c.Text);
        EXPECT_EQ(ToTextOf(Kind(MwType_NaturalRange), &c.Value, nullptr, c.Flags), c.Text);
    }
    struct Parsed {
        const char* Text;
        u32 Flags;
        u32 Value;
    };
    const Parsed parsed[] = {
        {"3000000000", 12, 3000000000u},
        {"3 000 000 000", 12, 3000000000u},
        {"99999999999", 12, 0xFFFFFFFF},
        {"-1", 12, 0xFFFFFFFF},
        {"12abc", 12, 12},
        {"abc", 12, 0},
        {"ff", 0x2000, 255},
        {"0xff", 0x2000, 255},
        {"FFFFFFFF", 0x2000, 0xFFFFFFFF},
        {"0xff", 12, 0},
        {" - 5", 12, 0xFFFFFFFB},
        {"1\t2x3", 12, 12},
        {"  7 ", 12, 7},
        {"+", 12, 0},
        {"4294967295", 12, 0xFFFFFFFF},
        {"4294967296", 12, 0xFFFFFFFF},
    };
    for (const Parsed& p : parsed)
        EXPECT_EQ(FromTextOf<u32>(Kind(MwType_Natural), p.Text, nullptr, p.Flags), p.Value)
            << p.Text;
}

TEST_F(MwParamScalar, RealTextHasThreeSignificantDigits) {
    const std::pair<f32, const char*> cases[] = {
        {3.14159f, "3.14"}, {1234.5f, "1.23e+03"}, {0.0f, "0"},
        {-0.5f, "-0.5"},    {1e-5f, "1e-05"},      {100.0f, "100"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(ToTextOf(Kind(MwType_Real), &value), text);
        EXPECT_EQ(ToTextOf(Kind(MwType_RealRange), &value), text);
    }
    const std::pair<const char*, f32> parsed[] = {
        {"2.5", 2.5f}, {"1e3", 1000.0f}, {"1d2", 100.0f}, {"-0.25", -0.25f}, {"abc", 0.0f},
    };
    for (const auto& [text, expected] : parsed)
        EXPECT_EQ(FromTextOf<f32>(Kind(MwType_Real), text), expected) << text;
}

// Python's printf forms are an independent check of the real and hexadecimal texts.
TEST_F(MwParamScalar, RealAndHexTextsMatchPythonsFormatting) {
    const f32 reals[] = {3.14159f, 1234.5f, 0.001234f, -98765.4f, 1e20f, 0.1f, 7.0f, 65536.0f};
    const u32 naturals[] = {0, 255, 0xDEADBEEF, 0x10, 0x7FFFFFFF};
    std::string script = "import struct\n";
    std::string expected;
    for (f32 real : reals) {
        u32 bits = 0;
        std::memcpy(&bits, &real, 4);
        script += "print('%.3g' % struct.unpack('<f', struct.pack('<I', " + std::to_string(bits) +
                  "))[0])\n";
        expected += ToTextOf(Kind(MwType_Real), &real) + "\n";
    }
    for (u32 natural : naturals) {
        script += "print('0x%X' % " + std::to_string(natural) + ")\n";
        expected += ToTextOf(Kind(MwType_Natural), &natural, nullptr, 0x2000) + "\n";
    }
    CTempFolder folder;
    WriteWholeFile(folder.File("formats.py"), script);
    EXPECT_EQ(RunCommand(std::string(ENGINE_TEST_PYTHON) + " " + folder.File("formats.py")),
              expected);
}

// A toolkit may set the process locale; the texts must not change with it.
TEST_F(MwParamScalar, TextsDoNotDependOnTheProcessLocale) {
    const std::string old = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locales-all missing";
    const f32 value = 3.14159f;
    const u32 big = 1234567;
    const std::string real = ToTextOf(Kind(MwType_Real), &value);
    const std::string natural = ToTextOf(Kind(MwType_Natural), &big);
    const f32 parsed = FromTextOf<f32>(Kind(MwType_Real), "2.5");
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(real, "3.14");
    EXPECT_EQ(natural, "1 234 567");
    EXPECT_EQ(parsed, 2.5f);
}

TEST_F(MwParamScalar, EnumTextUsesTheNamesAndReportsAValuePastThem) {
    const CMwMemberInfo* mode = Member(0x01F84000);
    const CMwMemberInfo* gapped = Member(0x01F84001);
    const u32 values[] = {0, 3};
    EXPECT_EQ(ToTextOf(Kind(MwType_Enum), &values[0], mode), "ModulateAdd");
    EXPECT_EQ(ToTextOf(Kind(MwType_Enum), &values[1], mode), "ModulateX2");
    const u32 one = 1;
    EXPECT_EQ(ToTextOf(Kind(MwType_Enum), &one, gapped), "") << "an absent name";

    const std::pair<const char*, u32> parsed[] = {
        {"modulatex2", 3}, {"MODULATE", 1}, {"Add", 2}, {"xyz", 0}, {"", 0}, {"Modulate ", 0},
    };
    for (const auto& [text, expected] : parsed)
        EXPECT_EQ(FromTextOf<u32>(Kind(MwType_Enum), text, mode), expected) << text;
    EXPECT_EQ(FromTextOf<u32>(Kind(MwType_Enum), "Third", gapped), 2u);

    // Past the names: the composer is cleared of what it held, the line written, the value left.
    for (u32 past : {4u, 0xFFFFFFFFu}) {
        g_ClassicLogLine.Assign("half a line");
        const CLogWatch log;
        EXPECT_EQ(ToTextOf(Kind(MwType_Enum), &past, mode), "Index hors limite!!");
        EXPECT_EQ(log.Since(), "Assertion sur EnumCount!!!\r\n");
    }
    const u32 three = 3;
    EXPECT_EQ(ToTextOf(Kind(MwType_Enum), &three, gapped), "Index hors limite!!");
}

TEST_F(MwParamScalar, StringTextsAreCopiedOrPointedAt) {
    CMwParamValue value;
    const CClassicWideString text(u"caf\u00e9 au lait");
    Kind(MwType_String)->FromText(&value, text, nullptr, CMwParamTextOptions{});
    ASSERT_EQ(value.Value, &CMwParam::s_ConversionText);
    EXPECT_STREQ(CMwParam::s_ConversionText.GetText(), "caf_ au lait");
    Kind(MwType_StringInt)->FromText(&value, text, nullptr, CMwParamTextOptions{});
    EXPECT_EQ(value.Value, &text);

    const CClassicString narrow("plain text");
    EXPECT_EQ(ToTextOf(Kind(MwType_String), &narrow), "plain text");
    CClassicWideString out;
    Kind(MwType_StringInt)->ToText(out, &text, nullptr, CMwParamTextOptions{});
    EXPECT_EQ(out.Compare(text), 0);
}

// Kinds without a text form never hand out what an earlier conversion left behind, and their
// conversion from text leaves the value reference alone.
TEST_F(MwParamScalar, KindsWithoutTextGiveAnEmptyTextAndNoValue) {
    const u32 number = 12345;
    CMwNod nod;
    CMwNod* pointer = &nod;
    for (CMwParam* param : {Kind(MwType_Action), Kind(MwType_Class), Kind(MwType_Proc),
                            CMwParam::GetReferenceTakingClassDescriptor()}) {
        ASSERT_EQ(ToTextOf(Kind(MwType_Natural), &number, nullptr, 0), "12345");
        EXPECT_EQ(ToTextOf(param, &pointer), "");
        CMwParamValue value;
        value.Value = &value;
        param->FromText(&value, Wide("ab\xE9"), nullptr, CMwParamTextOptions{});
        EXPECT_EQ(value.Value, &value);
        EXPECT_STREQ(CMwParam::s_ConversionText.GetText(), "ab_");
    }
}

// ---------------------------------------------------------------------------------------------
// Accesses of the value kinds

TEST_F(MwParamScalar, AddAndSubCombineTheValue) {
    struct Case {
        u32 TypeCode;
        u32 Start, Input;
        bool Add;
        u32 Result;
    };
    const u32 intMax = 0x7FFFFFFF;
    const Case cases[] = {
        {MwType_Bool, 0, 1, true, 1},
        {MwType_Bool, 1, 0, false, 0},
        {MwType_Bool, 1, 1, false, 1},
        {MwType_Bool, 0, 0, false, 0},
        {MwType_Integer, 5, 3, true, 8},
        {MwType_Integer, intMax, 1, true, 0x80000000},
        {MwType_Integer, 0x80000000, 1, false, intMax},
        {MwType_IntegerRange, 5, 7, false, u32(-2)},
        {MwType_Natural, 0, 1, false, 0xFFFFFFFF},
        {MwType_Natural, 0xFFFFFFFF, 2, true, 1},
        {MwType_NaturalRange, 70000, 5, true, 70005},
        {MwType_Enum, 3, 2, true, 5}, // no bound check
        {MwType_Enum, 1, 2, false, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        CMwParam* param = Kind(c.TypeCode);
        u32 field = c.Start;
        CMwMemberPath used;
        const u32 result =
            c.Add ? param->Add(&field, &used, &c.Input) : param->Sub(&field, &used, &c.Input);
        EXPECT_EQ(result, 0u);
        EXPECT_EQ(field, c.Result) << c.TypeCode << (c.Add ? " add " : " sub ") << c.Input;
    }
    f32 real = 1.5f;
    const f32 step = 0.25f;
    CMwMemberPath used;
    Kind(MwType_Real)->Add(&real, &used, &step);
    Kind(MwType_RealRange)->Add(&real, &used, &step);
    Kind(MwType_Real)->Sub(&real, &used, &step);
    EXPECT_EQ(real, 1.75f);

    CClassicString text("ab");
    const CClassicString more("cd");
    Kind(MwType_String)->Add(&text, &used, &more);
    Kind(MwType_String)->Add(&text, &used, &text);
    EXPECT_STREQ(text.GetText(), "abcdabcd");
    Kind(MwType_String)->Sub(&text, &used, &more);
    EXPECT_STREQ(text.GetText(), "abcdabcd");
    CClassicWideString wide(u"x");
    const CClassicWideString tail(u"yz");
    Kind(MwType_StringInt)->Add(&wide, &used, &tail);
    Kind(MwType_StringInt)->Sub(&wide, &used, &tail);
    EXPECT_EQ(wide.Compare(u"xyz"), 0);
}

// Items left in the path after a value are ignored: every access does what it does with the path
// used up at the member, and leaves the items where they are.
TEST_F(MwParamScalar, ValueKindsIgnoreItemsLeftInThePath) {
    const CItem leftovers[] = {IndexItem(0),
                               IndexItem(5),
                               IndexItem(0xFFFFFFFF),
                               {MwPathItem_Name, CMwId::FromName("x").m_Value},
                               {MwPathItem_ArgumentNatural, 3}};
    for (const CItem& left : leftovers) {
        for (u32 code : {MwType_Bool, MwType_Enum, MwType_Integer, MwType_IntegerRange,
                         MwType_Natural, MwType_NaturalRange, MwType_Real, MwType_RealRange}) {
            SCOPED_TRACE(testing::Message() << "kind " << code << " item " << left.Kind);
            CMwParam* param = Kind(code);
            const u32 input = 0x40400000; // 3.0f as a real, a number otherwise
            for (u32 op = 0; op < 4; ++op) {
                u32 field = 0x3F800001, expected = field;
                CMwMemberPath path, used;
                MakePath(path, {left});
                CMwParamValue value;
                u32 result = 0, reference = 0;
                switch (op) {
                    case 0:
                        result = param->Get(&field, &path, &value);
                        EXPECT_EQ(value.Value, &field);
                        break;
                    case 1:
                        result = param->Set(&field, &path, &input);
                        reference = param->Set(&expected, &used, &input);
                        break;
                    case 2:
                        result = param->Add(&field, &path, &input);
                        reference = param->Add(&expected, &used, &input);
                        break;
                    default:
                        result = param->Sub(&field, &path, &input);
                        reference = param->Sub(&expected, &used, &input);
                }
                EXPECT_EQ(result, reference) << "op " << op;
                EXPECT_EQ(field, expected) << "op " << op;
                EXPECT_EQ(path.m_Current, 0) << "the item is left as it was";
            }
        }
        CClassicString text("keep");
        const CClassicString more("x");
        CMwMemberPath path;
        MakePath(path, {left});
        EXPECT_EQ(Kind(MwType_String)->Add(&text, &path, &more), 0u);
        EXPECT_EQ(Kind(MwType_String)->Sub(&text, &path, &more), 0u);
        EXPECT_STREQ(text.GetText(), "keepx");
        EXPECT_EQ(Kind(MwType_String)->Set(&text, &path, &more), 0u);
        EXPECT_STREQ(text.GetText(), "x");
        CClassicWideString wide(u"w");
        const CClassicWideString tail(u"v");
        EXPECT_EQ(Kind(MwType_StringInt)->Add(&wide, &path, &tail), 0u);
        EXPECT_EQ(wide.Compare(u"wv"), 0);
    }
}

TEST_F(MwParamScalar, GetPointsAtTheFieldAndSetCopiesTheInput) {
    CMwMemberPath used;
    CMwParamValue value;
    i32 integer = 0;
    const i32 input = -5;
    EXPECT_EQ(Kind(MwType_Integer)->Set(&integer, &used, &input), 0u);
    EXPECT_EQ(Kind(MwType_Integer)->Get(&integer, &used, &value), 0u);
    EXPECT_EQ(value.Value, &integer);
    EXPECT_EQ(integer, -5);
    CClassicWideString wide;
    const CClassicWideString text(u"w");
    EXPECT_EQ(Kind(MwType_StringInt)->Set(&wide, &used, &text), 0u);
    EXPECT_EQ(wide.Compare(text), 0);
    // The range kinds do not clamp.
    CScalarNod nod;
    CMwMemberPath path;
    MakePath(path, {MemberItem(Member(0x01F84002))});
    const u32 big = 70000;
    EXPECT_EQ(nod.SetParam(&path, &big), 0u);
    EXPECT_EQ(nod.m_Size, 70000u);
}

// ---------------------------------------------------------------------------------------------
// Nod members

TEST_F(MwParamScalar, NodMembersStoreAndForwardAlongThePath) {
    CScalarNod owner, inner;
    const CMwMemberInfo* plain = Member(0x01F84003);
    const CMwMemberInfo* mode = Member(0x01F84000);
    CMwParam* param = plain->Param;
    CMwNod* field = nullptr;
    CMwMemberPath used;
    EXPECT_EQ(param->Set(&field, &used, &inner), 0u);
    EXPECT_EQ(field, &inner);
    EXPECT_EQ(inner.GetRefCount(), 0) << "a plain store takes no reference";
    CMwParamValue value;
    EXPECT_EQ(param->Get(&field, &used, &value), 0u);
    EXPECT_EQ(value.Value, &inner) << "the first word is the nod itself";
    EXPECT_EQ(param->Add(&field, &used, &inner), 0u);
    EXPECT_EQ(param->Sub(&field, &used, &inner), 0u);
    EXPECT_EQ(field, &inner);

    // With items left, the operation continues in the stored nod.
    CMwMemberPath rest;
    const u32 three = 3, one = 1;
    MakePath(rest, {MemberItem(mode)});
    EXPECT_EQ(param->Set(&field, &rest, &three), 0u);
    MakePath(rest, {MemberItem(mode)});
    EXPECT_EQ(param->Add(&field, &rest, &one), 0u);
    MakePath(rest, {MemberItem(mode)});
    EXPECT_EQ(param->Sub(&field, &rest, &three), 0u);
    MakePath(rest, {MemberItem(mode)});
    EXPECT_EQ(param->Get(&field, &rest, &value), 0u);
    EXPECT_EQ(value.Value, &inner.m_Mode);
    EXPECT_EQ(inner.m_Mode, 1u);

    // No nod where the path goes on: refused, nothing written.
    field = nullptr;
    for (u32 op = 0; op < 4; ++op) {
        MakePath(rest, {MemberItem(mode)});
        value.Value = &value;
        const u32 result = op == 0   ? param->Get(&field, &rest, &value)
                           : op == 1 ? param->Set(&field, &rest, &three)
                           : op == 2 ? param->Add(&field, &rest, &three)
                                     : param->Sub(&field, &rest, &three);
        EXPECT_EQ(result, 2u) << op;
        EXPECT_EQ(value.Value, &value);
    }
    EXPECT_EQ(field, nullptr);
}

// The setter shared by classes that keep a plain nod pointer outside a member record: the same
// store and forward as a nod member, never counting a reference.
TEST_F(MwParamScalar, SetNodRefMemberStoresAtTheEndOfThePathAndForwardsBefore) {
    CScalarNod held, next;
    held.AddRef();
    CMwNod* slot = &held;
    const u32 two = 2;
    CMwMemberPath rest;
    MakePath(rest, {MemberItem(Member(0x01F84000))});
    EXPECT_EQ(SetNodRefMember(&slot, &rest, &two), 0u);
    EXPECT_EQ(held.m_Mode, 2u);
    EXPECT_EQ(slot, &held);
    // The nod's answer is passed on: a member it does not let be set refuses, the slot stays.
    MakePath(rest, {MemberItem(Member(0x01F84008))});
    EXPECT_EQ(SetNodRefMember(&slot, &rest, &next), 2u);
    EXPECT_EQ(slot, &held);

    CMwMemberPath ended;
    EXPECT_EQ(SetNodRefMember(&slot, &ended, &next), 0u);
    EXPECT_EQ(SetNodRefMember(&slot, nullptr, &next), 0u);
    EXPECT_EQ(slot, &next);
    EXPECT_EQ(held.GetRefCount(), 1) << "the nod replaced keeps its reference";
    EXPECT_EQ(next.GetRefCount(), 0) << "the nod stored gets none";
    EXPECT_EQ(SetNodRefMember(&slot, &ended, nullptr), 0u);
    EXPECT_EQ(slot, nullptr);

    // No nod where the path goes on, or no slot: refused, nothing written.
    MakePath(rest, {MemberItem(Member(0x01F84000))});
    EXPECT_EQ(SetNodRefMember(&slot, &rest, &two), 2u);
    EXPECT_EQ(SetNodRefMember(nullptr, &ended, &next), 2u);
    EXPECT_EQ(held.m_Mode, 2u);
    held.m_RefCount = 0;
}

TEST_F(MwParamScalar, TheReferenceTakingNodKindCountsItsHold) {
    CMwParam* param = Member(0x01F84004)->Param;
    ASSERT_EQ(param, CMwParam::GetReferenceTakingClassDescriptor());
    CScalarNod first, second;
    first.AddRef(); // the test's own holds keep both alive
    second.AddRef();
    CMwNod* field = nullptr;
    CMwMemberPath used;
    struct Step {
        CMwNod* Input;
        i32 FirstCount, SecondCount;
    };
    const Step steps[] = {
        {&first, 2, 1},  // takes a reference
        {&first, 2, 1},  // the same nod again: unchanged
        {&second, 1, 2}, // the old one is given back
        {nullptr, 1, 1}, // none
        {nullptr, 1, 1},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(param->Set(&field, &used, step.Input), 0u);
        EXPECT_EQ(field, step.Input);
        EXPECT_EQ(first.GetRefCount(), step.FirstCount);
        EXPECT_EQ(second.GetRefCount(), step.SecondCount);
    }
    // A nod whose only holder is the member goes when it is replaced.
    CScalarNod* alone = new CScalarNod;
    param->Set(&field, &used, alone);
    EXPECT_TRUE(CMwNod::IsValidNod(alone));
    param->Set(&field, &used, nullptr);
    EXPECT_FALSE(CMwNod::IsValidNod(alone));
    // With items left it forwards like the plain kind and counts nothing.
    field = &first;
    CMwMemberPath rest;
    MakePath(rest, {MemberItem(Member(0x01F84003))});
    EXPECT_EQ(param->Set(&field, &rest, &second), 0u);
    EXPECT_EQ(first.m_Plain, &second);
    EXPECT_EQ(first.GetRefCount(), 1);
    EXPECT_EQ(second.GetRefCount(), 1);
}

TEST_F(MwParamScalar, TheSubNodOfANodMemberIsItsValue) {
    CScalarNod owner, inner;
    const CMwMemberInfo* plain = Member(0x01F84003);
    const CMwMemberInfo* mode = Member(0x01F84000);
    struct Case {
        CMwNod* Stored;
        bool ItemsLeft;
        u32 Result;
    };
    const Case cases[] = {
        {&inner, true, 0}, {&inner, false, 0}, {nullptr, false, 0}, {nullptr, true, 2}};
    for (const Case& c : cases) {
        owner.m_Plain = c.Stored;
        CMwMemberPath path;
        if (c.ItemsLeft)
            MakePath(path, {MemberItem(plain), MemberItem(mode)});
        else
            MakePath(path, {MemberItem(plain)});
        CMwNod* sub = &owner;
        EXPECT_EQ(plain->Param->GetSubNod(&owner, &path, &sub), c.Result);
        EXPECT_EQ(sub, c.Stored);
        EXPECT_EQ(path.m_Current, c.ItemsLeft ? 0 : -1) << "the member item is consumed";
    }
}

// ---------------------------------------------------------------------------------------------
// The sub-nod lookup of lists of nods

CMwNodList ListOfBuffer(const CMwParamValue& value) {
    const auto* buffer = static_cast<const CFastBuffer<CMwNod*>*>(value.Value);
    return buffer ? CMwNodList{buffer->m_Count, buffer->m_Items} : CMwNodList{};
}

TEST_F(MwParamScalar, TheSubNodOfAListIsTheElementChosenByIndexOrName) {
    CScalarNod owner, a, b, c;
    a.SetIdName("First");
    b.SetIdName("Second");
    c.SetIdName("Second");
    owner.m_List.Add(&a);
    owner.m_List.Add(&b);
    owner.m_List.Add(nullptr);
    owner.m_List.Add(&c);
    const CMwMemberInfo* list = Member(0x01F84008);
    const CMwMemberInfo* mode = Member(0x01F84000);
    const CItem second = {MwPathItem_Name, CMwId::FromName("Second").m_Value};
    const CItem unknown = {MwPathItem_Name, CMwId::FromName("Nobody").m_Value};
    struct Case {
        std::vector<CItem> Items;
        u32 Result;
        CMwNod* Sub;
        i32 CurrentAfter;
    };
    const Case cases[] = {
        {{MemberItem(list), IndexItem(1)}, 0, &b, -1},
        {{MemberItem(list), IndexItem(0), MemberItem(mode)}, 0, &a, 0},
        {{MemberItem(list), second}, 0, &b, -1}, // the first of two with that name
        {{MemberItem(list), unknown}, 2, nullptr, 0},
        {{MemberItem(list), IndexItem(4)}, 2, nullptr, 0},
        {{MemberItem(list), IndexItem(5)}, 2, nullptr, 0},
        {{MemberItem(list), IndexItem(0xFFFFFFFF)}, 2, nullptr, 0},
        {{MemberItem(list), IndexItem(2)}, 0, nullptr, -1}, // a null element, no more
        {{MemberItem(list), IndexItem(2), MemberItem(mode)}, 2, nullptr, 0}, // ... with more
        {{MemberItem(list)}, 0, nullptr, 0}, // no element item: nothing consumed
        {{MemberItem(list), MemberItem(mode)}, 2, nullptr, 0},
    };
    for (const Case& test : cases) {
        CMwMemberPath path;
        path.Reserve(4);
        for (const CItem& item : test.Items) {
            path.PushFront(item.Value);
            path.m_Kinds[0] = item.Kind;
        }
        path.Reset();
        CMwNod* sub = &owner;
        EXPECT_EQ(MwGetSubNodOfList(&owner, &path, &sub, ListOfBuffer), test.Result)
            << test.Items.size() << " items";
        EXPECT_EQ(sub, test.Sub);
        if (test.Result == 0) {
            EXPECT_EQ(path.m_Current, test.CurrentAfter);
        }
    }
    // A list of other values never leads into a nod, not even by a name.
    CMwMemberPath path;
    MakePath(path, {MemberItem(Member(0x01F84006)), unknown});
    CMwNod* sub = &owner;
    EXPECT_EQ(MwGetSubNodOfList(&owner, &path, &sub, ListOfBuffer), 0u);
    EXPECT_EQ(sub, nullptr);
    EXPECT_EQ(path.m_Current, 1) << "nothing consumed";
}

// ---------------------------------------------------------------------------------------------
// Procedures

TEST_F(MwParamScalar, ProcGetGivesTheDefaultOfOneArgument) {
    const CMwMemberInfo* call = Member(0x01F84005);
    CMwParam* param = call->Param;
    struct Case {
        u32 Index;
        u32 Result;
        const void* Value; // null: Scratch, compared with `Scratch`
        std::vector<f32> Scratch;
    };
    std::vector<f32> identityFloats(12);
    std::memcpy(identityFloats.data(), &GmIso4Identity, sizeof GmIso4Identity);
    const Case cases[] = {
        {0, 0, nullptr, {0}},
        {1, 0, nullptr, {0, 0, 0}},
        {2, 0, nullptr, identityFloats},
        {3, 0, &CMwParam::s_EmptyString, {}},
        {4, 0, &CMwParam::s_EmptyWideString, {}},
        {6, 0, nullptr, {0}},
    };
    for (const Case& c : cases) {
        CMwMemberPath path;
        MakePath(path, {MemberItem(call), IndexItem(c.Index)});
        path.TakeMember();
        CMwParamValue value;
        std::memset(value.Scratch, 0xAB, sizeof value.Scratch);
        EXPECT_EQ(param->Get(nullptr, &path, &value), c.Result) << c.Index;
        EXPECT_FALSE(path.HasCurrent());
        if (c.Value) {
            EXPECT_EQ(value.Value, c.Value) << c.Index;
            continue;
        }
        ASSERT_EQ(value.Value, value.Scratch) << c.Index;
        std::vector<f32> floats(c.Scratch.size());
        std::memcpy(floats.data(), value.Scratch, floats.size() * 4);
        EXPECT_EQ(floats, c.Scratch) << c.Index;
    }
    // A nod argument has no default; an index past the arguments is refused; any other shape
    // of path leaves the value reference alone.
    CMwMemberPath path;
    CMwParamValue value;
    MakePath(path, {MemberItem(call), IndexItem(5)});
    path.TakeMember();
    value.Value = &value;
    EXPECT_EQ(param->Get(nullptr, &path, &value), 0u);
    EXPECT_EQ(value.Value, nullptr);
    for (u32 index : {7u, 100u, 0xFFFFFFFFu}) {
        MakePath(path, {MemberItem(call), IndexItem(index)});
        path.TakeMember();
        value.Value = &value;
        EXPECT_EQ(param->Get(nullptr, &path, &value), 2u) << index;
        EXPECT_EQ(value.Value, &value);
        EXPECT_EQ(path.m_Current, 0);
    }
    MakePath(path, {MemberItem(Member(0x01F84007)), IndexItem(0)});
    path.TakeMember();
    EXPECT_EQ(param->Get(nullptr, &path, &value), 2u) << "a procedure without arguments";
    const std::vector<std::vector<CItem>> untouched = {
        {MemberItem(call)},
        {MemberItem(call), IndexItem(0), IndexItem(1)},
        {MemberItem(call), {MwPathItem_ArgumentNatural, 4}},
    };
    for (const auto& items : untouched) {
        path.Reserve(0);
        path.Reserve(4);
        for (const CItem& item : items) {
            path.PushFront(item.Value);
            path.m_Kinds[0] = item.Kind;
        }
        path.Reset();
        path.TakeMember();
        const i32 current = path.m_Current;
        EXPECT_EQ(param->Get(nullptr, &path, &value), 0u);
        EXPECT_EQ(value.Value, &value);
        EXPECT_EQ(path.m_Current, current);
    }
}

// ---------------------------------------------------------------------------------------------
// Child paths

// Records the items of every child path, first to last.
class CChildren {
public:
    i32 OnChild(CMwMemberPath* path, void*) {
        std::vector<std::pair<u32, MwPathValue>> items;
        for (u32 i = path->m_Count; i-- > 0;)
            items.emplace_back(path->m_Kinds[i], path->m_Values[i]);
        m_Paths.push_back(items);
        return m_Paths.size() < m_StopAfter ? 1 : 0;
    }
    size_t m_StopAfter = 1000;
    std::vector<std::vector<std::pair<u32, MwPathValue>>> m_Paths;
};

TEST_F(MwParamScalar, ANodMembersChildrenAreTheMembersOfItsNod) {
    CScalarNod owner, inner;
    const CMwMemberInfo* plain = Member(0x01F84003);
    const MwPathValue plainValue = reinterpret_cast<MwPathValue>(plain);
    struct Case {
        CMwNod* Stored;
        u32 First;
        size_t StopAfter;
        std::vector<u32> Members; // member indices of the children, in CScalarNod's enumeration
    };
    const Case cases[] = {
        {&inner, 0, 1000, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {&inner, 8, 1000, {8, 9}},
        {&inner, 2, 2, {2, 3}},
        {&inner, 10, 1000, {}},
        {nullptr, 0, 1000, {}},
    };
    for (const Case& c : cases) {
        owner.m_Plain = c.Stored;
        CMwMemberPath base, scratch;
        MakePath(base, {MemberItem(plain)});
        CChildren children;
        children.m_StopAfter = c.StopAfter;
        plain->Param->ForEachChildPath(&owner, &base, &scratch, &children,
                                       MwChildPathThunk<&CChildren::OnChild>::Call, nullptr,
                                       c.First);
        ASSERT_EQ(children.m_Paths.size(), c.Members.size()) << c.First;
        for (size_t i = 0; i < c.Members.size(); ++i) {
            const CMwMemberInfo* expected =
                CMwClassRegistry::GetMemberInfo(inner.MemberIdByIndex(c.Members[i]));
            ASSERT_NE(expected, nullptr);
            const std::vector<std::pair<u32, MwPathValue>> items = {
                {MwPathItem_Member, plainValue},
                {MwPathItem_Member, reinterpret_cast<MwPathValue>(expected)}};
            EXPECT_EQ(children.m_Paths[i], items);
        }
    }
    // Index 0 is the root's IdName: inherited members come first.
    EXPECT_EQ(inner.MemberIdByIndex(0), CMwNod::s_IdNameMemberId);
}

TEST_F(MwParamScalar, AProcsChildrenAreItsArguments) {
    const CMwMemberInfo* call = Member(0x01F84005);
    CMwMemberPath base, scratch;
    MakePath(base, {MemberItem(call)});
    CChildren children;
    call->Param->ForEachChildPath(nullptr, &base, &scratch, &children,
                                  MwChildPathThunk<&CChildren::OnChild>::Call, nullptr, 5);
    ASSERT_EQ(children.m_Paths.size(), 2u);
    EXPECT_EQ(children.m_Paths[1].back(), std::make_pair(u32(MwPathItem_Index), MwPathValue(6)));
    // Only when the base path ends at the procedure member.
    CChildren none;
    MakePath(base, {MemberItem(call), IndexItem(0)});
    call->Param->ForEachChildPath(nullptr, &base, &scratch, &none,
                                  MwChildPathThunk<&CChildren::OnChild>::Call, nullptr, 0);
    MakePath(base, {MemberItem(Member(0x01F84000))});
    call->Param->ForEachChildPath(nullptr, &base, &scratch, &none,
                                  MwChildPathThunk<&CChildren::OnChild>::Call, nullptr, 0);
    EXPECT_TRUE(none.m_Paths.empty());
}

} // namespace
