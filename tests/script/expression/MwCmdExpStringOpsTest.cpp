// The string operations, the casts between Enum and Num and the object expression: Concat over
// every pair of kinds, cuts and case changes against Python's bytes, the casts' range check and
// grouped log line, the class of engine 0 that Concat is, and the operands a load refuses.
#include "core/base/ClassicLog.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwMemberInfo.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/expression/ExpressionReference.h"
#include "tests/script/support/ScriptSamples.h"

#include <bit>
#include <functional>
#include <sstream>

namespace {

class MwCmdExpStringOps : public CScriptFixture {};

std::string Hex(const std::string& bytes) {
    if (bytes.empty())
        return "-";
    std::ostringstream out;
    out << std::hex;
    for (unsigned char c : bytes)
        out << c / 16 << c % 16;
    return out.str();
}

std::string Text(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

CMwCmdExpString* NewBytes(const std::string& bytes) {
    auto* node = new CMwCmdExpString;
    node->m_String.Assign(CClassicStringRef(bytes.data(), u32(bytes.size())));
    return node;
}

CMwCmdExpStringTrunc* NewTrunc(const std::string& source, const std::string& separator, u32 keep,
                               u32 before) {
    auto* node = new CMwCmdExpStringTrunc;
    node->m_Source = ScriptHold(NewBytes(source));
    node->m_Separator = ScriptHold(NewBytes(separator));
    node->m_KeepSeparator = ScriptHold(NewBool(keep));
    node->m_Before = before;
    return node;
}

// Concat of every pair of kinds gives the first text and the second, each as its kind writes it
// (the number texts from Python's '%.3g'); an Iso4 writes none, so that the first text goes in
// front of what the node held: run twice, the text doubles.
TEST_F(MwCmdExpStringOps, ConcatOfEveryPairOfKinds) {
    const TNodRef<CScriptTestObject> object(new CScriptTestObject);
    object->m_Id.SetFromName("Object");
    const f32 floats[] = {0.5f, 1234.5678f, 1e-7f, -2.0f};
    std::vector<std::string> cases;
    for (f32 value : floats)
        cases.push_back(ReferenceCase("text", {CmdExpNum_Float, std::bit_cast<u32>(value)}));
    const std::vector<std::string> floatTexts = RunExpressionReference(cases);
    ASSERT_EQ(floatTexts.size(), std::size(floats));

    struct SOperand {
        std::function<CMwCmdExp*()> Make;
        std::string Text;
    };
    std::vector<SOperand> operands = {
        {[] { return NewInt(42); }, "42"},
        {[] { return NewInt(-7); }, "-7"},
        {[] { return NewBool(1); }, "True"},
        {[] { return NewBool(0); }, "False"},
        {[] { return NewString("abc"); }, "abc"},
        {[] { return NewEnum(1, CScriptTestObject::s_ModeMemberId); }, "On"},
        {[] { return NewClass(CScriptTestObject::s_ClassId); }, "Null"},
        {[&] { return NewClassThis(CScriptTestObject::s_ClassId); }, "Object"},
        {[] { return NewVec2(NewInt(1), NewInt(2)); }, "[1,2]"},
        {[] { return NewVec3(NewInt(1), NewFloat(2.5f), NewInt(-3)); }, "[1,2.5,-3]"},
        {[] {
             return NewBinary<CMwCmdExpVec2Add>(NewVec2(NewInt(1), NewInt(2)),
                                                NewVec2(NewInt(1), NewInt(2)));
         },
         "[,]"},
    };
    for (size_t i = 0; i < std::size(floats); ++i) {
        const f32 value = floats[i];
        operands.push_back({[value] { return NewFloat(value); }, floatTexts[i]});
    }
    const auto makeIso4 = [] {
        return NewIso4(NewFloatVec3(1, 0, 0), NewFloatVec3(0, 1, 0), NewFloatVec3(0, 0, 1),
                       NewFloatVec3(0, 0, 0));
    };
    for (const SOperand& first : operands) {
        for (const SOperand& second : operands) {
            const TNodRef<CMwCmdExpStringConcat> node(
                NewBinary<CMwCmdExpStringConcat>(first.Make(), second.Make()));
            node->SetThis(object.Get());
            node->Run();
            EXPECT_EQ(Text(node->m_String), first.Text + second.Text);
        }
        // An Iso4 second: "Iso4 not converted in string", the first text before the old one.
        const TNodRef<CMwCmdExpStringConcat> node(
            NewBinary<CMwCmdExpStringConcat>(first.Make(), makeIso4()));
        node->SetThis(object.Get());
        node->m_String.Assign("old");
        CLogWatch log;
        node->Run();
        EXPECT_EQ(Text(node->m_String), first.Text + "old");
        node->Run();
        EXPECT_EQ(Text(node->m_String), first.Text + first.Text + "old");
        EXPECT_EQ(log.Since(), "Iso4 not converted in string\r\nIso4 not converted in string\r\n");
    }
    // A Concat of Concats: "abc" + 42 then that + True.
    const TNodRef<CMwCmdExpStringConcat> nested(NewBinary<CMwCmdExpStringConcat>(
        NewBinary<CMwCmdExpStringConcat>(NewString("abc"), NewInt(42)), NewBool(1)));
    nested->Run();
    EXPECT_STREQ(nested->m_String.GetText(), "abc42True");
    EXPECT_EQ(nested->IsConstant(), 1u);
}

// Cuts of a table of sources at separators that are empty, absent, at either end, repeated or of
// another case, with the four flag combinations, against Python's bytes.find and slices.
TEST_F(MwCmdExpStringOps, TruncAgainstPython) {
    const std::string sources[] = {
        "a.b.c", "abc", "", ".lead", "trail.", "x::y::z", "\xC3\xA9t\xC3\xA9"};
    const std::string separators[] = {".", "", "B", "b", "::", "abc", "abcd", "\xA9", "trail."};
    struct SCase {
        std::string Source, Separator;
        u32 Keep, Before;
    };
    std::vector<SCase> table;
    std::vector<std::string> lines;
    for (const std::string& source : sources)
        for (const std::string& separator : separators)
            for (u32 flags = 0; flags < 4; ++flags) {
                table.push_back({source, separator, flags & 1, flags >> 1});
                lines.push_back("cut " + std::to_string(flags >> 1) + " " +
                                std::to_string(flags & 1) + " " + Hex(source) + " " +
                                Hex(separator));
            }
    const std::vector<std::string> answers = RunExpressionReference(lines);
    ASSERT_EQ(answers.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        const SCase& c = table[i];
        const TNodRef<CMwCmdExpStringTrunc> node(NewTrunc(c.Source, c.Separator, c.Keep, c.Before));
        node->Run();
        EXPECT_EQ(Hex(Text(node->m_String)), answers[i]) << lines[i];
    }
    // The examples by name.
    const struct {
        const char* Source;
        const char* Separator;
        u32 Keep, Before;
        const char* Result;
    } rows[] = {
        {"a.b.c", ".", 0, 1, "a"},    {"a.b.c", ".", 1, 1, "a."}, {"a.b.c", ".", 0, 0, "b.c"},
        {"a.b.c", ".", 1, 0, ".b.c"}, {"abc", "B", 0, 1, "abc"},  {"abc", "", 0, 1, ""},
        {"abc", "", 0, 0, "abc"},     {"abc", "x", 1, 0, "abc"},
    };
    for (const auto& row : rows) {
        const TNodRef<CMwCmdExpStringTrunc> node(
            NewTrunc(row.Source, row.Separator, row.Keep, row.Before));
        node->Run();
        EXPECT_STREQ(node->m_String.GetText(), row.Result) << row.Source << " " << row.Separator;
    }
}

// Every byte value but the terminating zero through both cases, against Python's bytes.upper and
// bytes.lower: only ASCII letters change.
TEST_F(MwCmdExpStringOps, UpDownCaseOverEveryByte) {
    std::string bytes;
    for (u32 b = 1; b < 256; ++b)
        bytes += char(b);
    const std::vector<std::string> answers =
        RunExpressionReference({"upper " + Hex(bytes), "lower " + Hex(bytes)});
    ASSERT_EQ(answers.size(), 2u);
    for (u32 upper : {1u, 0u}) {
        const TNodRef<CMwCmdExpStringUpDownCase> node(NewUpDownCase(NewBytes(bytes), upper));
        node->Run();
        EXPECT_EQ(Hex(Text(node->m_String)), answers[upper ? 0 : 1]);
        EXPECT_EQ(Text(static_cast<CMwCmdExpString*>(node->m_Operand)->m_String), bytes);
    }
    const TNodRef<CMwCmdExpStringUpDownCase> hello(NewUpDownCase(NewString("Hello, World"), 1));
    hello->Run();
    EXPECT_STREQ(hello->m_String.GetText(), "HELLO, WORLD");
    hello->m_Upper = 0;
    hello->Run();
    EXPECT_STREQ(hello->m_String.GetText(), "hello, world");
}

// Casts into an enumeration of three names: a word below 3 becomes the index; any other keeps it
// and logs the word as a signed decimal grouped by three (Python's grouping), a Float's word
// unconverted. Without enumeration every cast is out of range and the text is empty.
TEST_F(MwCmdExpStringOps, EnumCasts) {
    static constexpr const char* kNames[] = {"Red", "Green", "Blue"};
    CMwMemberInfoEnum colours{};
    colours.TypeCode = MwType_Enum;
    colours.EnumCount = 3;
    colours.EnumNames = kNames;
    const struct {
        CMwCmdExpNum* Operand;
        bool InRange;
    } rows[] = {
        {NewInt(2), true},
        {NewInt(0), true},
        {NewInt(3), false},
        {NewInt(-1), false},
        {NewInt(1234), false},
        {NewFloat(1.0f), false},
        {NewInt(-2147483647 - 1), false},
        {NewInt(-1234567), false},
    };
    std::vector<std::string> cases;
    for (const auto& row : rows)
        cases.push_back(ReferenceCase("group", {row.Operand->m_Value}));
    const std::vector<std::string> grouped = RunExpressionReference(cases);
    ASSERT_EQ(grouped.size(), std::size(rows));
    EXPECT_EQ(grouped[2], "3");
    EXPECT_EQ(grouped[3], "-1");
    EXPECT_EQ(grouped[4], "1 234");
    EXPECT_EQ(grouped[5], "1 065 353 216");
    for (size_t i = 0; i < std::size(rows); ++i) {
        const TNodRef<CMwCmdExpEnumCastedNum> node(
            NewUnary<CMwCmdExpEnumCastedNum>(rows[i].Operand));
        node->m_Enumeration = &colours;
        node->m_Value = 1;
        CLogWatch log;
        node->Run();
        CClassicString text;
        node->ToString(text);
        if (rows[i].InRange) {
            EXPECT_EQ(node->m_Value, rows[i].Operand->m_Value);
            EXPECT_STREQ(text.GetText(), kNames[node->m_Value]);
            EXPECT_EQ(log.Since(), "");
        } else {
            EXPECT_EQ(node->m_Value, 1u);
            EXPECT_STREQ(text.GetText(), "Green");
            EXPECT_EQ(log.Since(),
                      "Error in enum cast : trying to set value " + grouped[i] + "\r\n");
        }
    }
    // No enumeration (its class missing at load): empty text, every cast out of range.
    const TNodRef<CMwCmdExpEnumCastedNum> orphan(NewUnary<CMwCmdExpEnumCastedNum>(NewInt(0)));
    orphan->m_Value = 5;
    CLogWatch log;
    orphan->Run();
    EXPECT_EQ(orphan->m_Value, 5u);
    EXPECT_EQ(log.Since(), "Error in enum cast : trying to set value 0\r\n");
    CClassicString text("x");
    orphan->ToString(text);
    EXPECT_STREQ(text.GetText(), "");

    // Enum to Num: the index becomes the word, the type stays what it was.
    const TNodRef<CMwCmdExpNumCastedEnum> number(
        NewUnary<CMwCmdExpNumCastedEnum>(NewEnum(3, CScriptTestObject::s_ModeMemberId)));
    number->m_Type = CmdExpNum_Float;
    number->Run();
    EXPECT_EQ(number->m_Value, 3u);
    EXPECT_EQ(number->m_Type, u32(CmdExpNum_Float));
}

// The object expression yields the object SetThis gave last, ignores SetValue, and its text is
// the object's name; SetThis with null clears it.
TEST_F(MwCmdExpStringOps, ClassThis) {
    const TNodRef<CScriptTestObject> object(new CScriptTestObject), other(new CScriptTestObject);
    object->m_Id.SetFromName("Object");
    const TNodRef<CMwCmdExpClassThis> node(NewClassThis(CScriptTestObject::s_ClassId));
    node->SetThis(object.Get());
    node->Run();
    EXPECT_EQ(node->m_Value, object.Get());
    CMwNod* given = other.Get();
    node->SetValue(&given);
    EXPECT_EQ(node->m_Value, object.Get());
    CClassicString text;
    node->ToString(text);
    EXPECT_STREQ(text.GetText(), "Object");
    // Inside a tree, the object reaches it through the operators.
    const TNodRef<CMwCmdExpEgal> egal(NewBinary<CMwCmdExpEgal>(
        NewClassThis(CScriptTestObject::s_ClassId), NewClass(CScriptTestObject::s_ClassId)));
    egal->SetThis(object.Get());
    egal->Run();
    EXPECT_EQ(egal->m_Value, 0u);
    egal->SetThis(nullptr);
    egal->Run();
    EXPECT_EQ(egal->m_Value, 1u);
    node->SetThis(nullptr);
    node->Run();
    EXPECT_EQ(node->m_Value, nullptr);
}

// Concat is the class of id 0x00105100, engine 0: the core's factory table and the registry
// create it, FindClassInfo finds it under that id, and it saves and loads under it.
TEST_F(MwCmdExpStringOps, ConcatIsAClassOfEngineZero) {
    constexpr u32 kId = 0x00105100;
    CMwFoundationsEngine engine;
    for (CMwNod* nod :
         {engine.CreateByClassId(kId, nullptr, 0), CMwClassRegistry::CreateNodById(kId)}) {
        ASSERT_NE(nod, nullptr);
        EXPECT_EQ(nod->GetClassId(), kId);
        EXPECT_TRUE(nod->IsKindOf(kId));
        EXPECT_TRUE(nod->IsKindOf(CMwCmdExpString::s_ClassId));
        delete nod;
    }
    const CMwClassInfo* info = FindClassInfo(kId);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->m_Name, "CMwCmdExpStringConcat");
    EXPECT_EQ(info->m_Parent, &CMwCmdExpString::s_ClassInfo);
    EXPECT_TRUE(CMwClassRegistry::IsClassKindOf(kId, CMwCmdExp::s_ClassId));
    const TNodRef<CMwCmdExp> sample(NewSampleExpression(kId));
    for (bool text : {false, true}) {
        const std::string image = ScriptSaveImage(sample.Get(), true, text);
        // The stored form: the String chunk empty, then the operands under the class's own id.
        CScriptFixtureWriter w(text);
        w.Chunk(CMwCmdExpString::s_Chunk).Chunk(kId);
        w.NewNod(CMwCmdExpString::s_ClassId).Chunk(CMwCmdExpString::s_Chunk).String("abc").End();
        w.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(0).Int(42).End();
        w.End();
        EXPECT_EQ(image, w.Image(kId, true));
        const TNodRef<CMwNod> loaded = ScriptLoadImage(image);
        auto* concat = ScriptNodAs<CMwCmdExpStringConcat>(loaded);
        ASSERT_NE(concat, nullptr);
        EXPECT_EQ(concat->m_String.GetLength(), 0u); // the text is not stored
        concat->Run();
        EXPECT_STREQ(concat->m_String.GetText(), "abc42");
    }
}

// Operands of the wrong kind, and missing ones, are invalid data; Concat takes any kind.
TEST_F(MwCmdExpStringOps, InvalidOperandsAreRefused) {
    const auto line = [](const char* name, u32 chunk) {
        char text[160];
        std::snprintf(text, sizeof text, "Script Warning : Invalid script data in %s, chunk 0x%08X",
                      name, chunk);
        return std::string(text);
    };
    const auto str = [](CScriptFixtureWriter& w, const char* text) {
        w.NewNod(CMwCmdExpString::s_ClassId).Chunk(CMwCmdExpString::s_Chunk).String(text).End();
    };
    const auto num = [](CScriptFixtureWriter& w) {
        w.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(0).Int(1).End();
    };
    const auto boolean = [](CScriptFixtureWriter& w) {
        w.NewNod(CMwCmdExpBool::s_ClassId).Chunk(CMwCmdExpBool::s_Chunk).Bool(1).End();
    };
    const auto enumeration = [](CScriptFixtureWriter& w) {
        w.NewNod(CMwCmdExpEnum::s_ClassId).Chunk(CMwCmdExpEnum::s_Chunk).U32(1).U32(0).End();
    };
    using Write = std::function<void(CScriptFixtureWriter&)>;
    const struct {
        u32 ClassId;
        const char* Name;
        u32 Chunk;
        Write Body;
    } rows[] = {
        {0x010a3000, "CMwCmdExpStringTrunc", 0x010a3000, [&](CScriptFixtureWriter& w) { num(w); }},
        {0x010a3000, "CMwCmdExpStringTrunc", 0x010a3000,
         [&](CScriptFixtureWriter& w) {
             str(w, "a");
             boolean(w);
         }},
        {0x010a3000, "CMwCmdExpStringTrunc", 0x010a3000,
         [&](CScriptFixtureWriter& w) {
             str(w, "a");
             str(w, "b");
             str(w, "c");
         }},
        {0x010a3000, "CMwCmdExpStringTrunc", 0x010a3000,
         [&](CScriptFixtureWriter& w) {
             str(w, "a");
             w.NullRef();
         }},
        {0x010a7000, "CMwCmdExpStringUpDownCase", 0x010a7000,
         [&](CScriptFixtureWriter& w) { enumeration(w); }},
        {0x010a9000, "CMwCmdExpEnumCastedNum", 0x010a9000,
         [&](CScriptFixtureWriter& w) { boolean(w); }},
        {0x010a8000, "CMwCmdExpNumCastedEnum", 0x010a8000,
         [&](CScriptFixtureWriter& w) { num(w); }},
        {0x00105100, "CMwCmdExpStringConcat", 0x00105100,
         [&](CScriptFixtureWriter& w) {
             enumeration(w);
             w.NullRef();
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        CScriptFixtureWriter w(false);
        w.Chunk(row.Chunk);
        row.Body(w);
        // Complete bodies where the refusal comes later.
        w.U32(1).U32(1);
        w.End();
        ExpectScriptLoadRefused(w.Image(row.ClassId, true), line(row.Name, row.Chunk));
    }
    // A load whose chunks never gave the operands.
    for (u32 classId : {0x010a3000u, 0x010a7000u, 0x010a9000u, 0x010a8000u, 0x00105100u}) {
        CScriptFixtureWriter w(false);
        w.End();
        const TNodRef<CMwNod> nod(CMwClassRegistry::CreateNodById(classId));
        ExpectScriptLoadRefused(w.Image(classId, true), line(nod->GetClassInfo()->m_Name, classId));
    }
    // Concat of two operands of different kinds loads.
    CScriptFixtureWriter w(false);
    w.Chunk(0x00105100);
    enumeration(w);
    boolean(w);
    w.End();
    EXPECT_TRUE(ScriptLoadImage(w.Image(0x00105100, true)));
}

} // namespace
