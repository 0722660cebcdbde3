// Number and Boolean expressions: every operator, comparison and function against the Python
// reference over the edge values and thousands of random pairs of every type combination; the
// defined results of what the integer unit would trap on; texts; equality; logic with its short
// circuit; the function node's open cases; binding; and the operands set through members.
#include "core/nod/MwMemberPath.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/expression/ExpressionReference.h"
#include "tests/script/support/ScriptExpressions.h"

#include <bit>
#include <cmath>
#include <random>

namespace {

class MwCmdExpNum : public CScriptFixture {};

constexpr u32 kOther = 2;         // a type word that is neither Int nor Float
constexpr u32 kUnchangedType = 7; // what a node holds before a run that changes nothing
constexpr u32 kUnchangedWord = 0xDEADBEEF;

u32 W(f32 value) {
    return std::bit_cast<u32>(value);
}
u32 W(i32 value) {
    return std::bit_cast<u32>(value);
}

bool IsNanWord(u32 word) {
    return std::isnan(std::bit_cast<f32>(word));
}

// Words that are edges as integers or as floats: zeros, ones, the Int limits, 2^24 and 2^24 + 1,
// NaNs of both signs (a signalling one too), infinities, subnormals, the largest float.
std::vector<u32> EdgeWords() {
    return {0,          1,          W(-1),           W(2),
            W(3),       W(7),       W(-7),           W(21),
            W(31),      W(-31),     0x7FFFFFFF,      0x80000000,
            0x80000001, 16777216,   16777217,        W(0.5f),
            W(1.0f),    W(-1.0f),   W(2.0f),         W(2.5f),
            W(-2.5f),   W(3.5f),    W(16777216.f),   W(0.1f),
            W(1e10f),   W(-0.75f),  0x7FC00000,      0xFFC00000,
            0x7F800001, 0x7F800000, 0xFF800000,      0x00000001,
            0x807FFFFF, 0x7F7FFFFF, W(2147483520.f), W(2147483648.f)};
}

// Words drawn from a fixed generator state: any 32 bits, small integers, or moderate floats.
std::vector<u32> RandomWords(u32 count, u32 seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<i32> small(-64, 64);
    std::uniform_real_distribution<f32> moderate(-1000.0f, 1000.0f);
    std::vector<u32> words;
    for (u32 i = 0; i < count; ++i) {
        switch (i % 3) {
            case 0:
                words.push_back(u32(rng()));
                break;
            case 1:
                words.push_back(W(small(rng)));
                break;
            default:
                words.push_back(W(moderate(rng)));
                break;
        }
    }
    return words;
}

// Two Num operands under each operator and comparison, set to each case before a run.
struct SOperators {
    std::vector<TNodRef<CMwCmdExpNumBin>> Nums;
    std::vector<TNodRef<CMwCmdExpBoolBin>> Bools;

    SOperators() {
        const auto num = [&](CMwCmdExpNumBin* node) { Nums.emplace_back(node); };
        num(NewBinary<CMwCmdExpAdd>(NewInt(0), NewInt(0)));
        num(NewBinary<CMwCmdExpSub>(NewInt(0), NewInt(0)));
        num(NewBinary<CMwCmdExpMult>(NewInt(0), NewInt(0)));
        num(NewBinary<CMwCmdExpDiv>(NewInt(0), NewInt(0)));
        num(NewBinary<CMwCmdExpPower>(NewInt(0), NewInt(0)));
        const auto comparison = [&](CMwCmdExpBoolBin* node) { Bools.emplace_back(node); };
        comparison(NewBinary<CMwCmdExpSup>(NewInt(0), NewInt(0)));
        comparison(NewBinary<CMwCmdExpSupEgal>(NewInt(0), NewInt(0)));
        comparison(NewBinary<CMwCmdExpInf>(NewInt(0), NewInt(0)));
        comparison(NewBinary<CMwCmdExpInfEgal>(NewInt(0), NewInt(0)));
    }

    // Op 0 to 4: the operator's type and word (unchanged ones included); 5 to 8: the Bool word.
    script::SNum Run(u32 op, script::SNum a, script::SNum b) {
        if (op < 5) {
            CMwCmdExpNumBin& node = *Nums[op];
            node.m_Value1->SetNum(a);
            node.m_Value2->SetNum(b);
            node.SetNum({kUnchangedType, kUnchangedWord});
            node.Run();
            return node.GetNum();
        }
        CMwCmdExpBoolBin& node = *Bools[op - 5];
        node.m_Value1->SetNum(a);
        node.m_Value2->SetNum(b);
        node.m_Value = kUnchangedWord;
        node.Run();
        return {kUnchangedType, node.m_Value};
    }
};

std::string Hex(u32 word) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", word);
    return text;
}

// Our answer in the reference's form; a NaN word reads "nan" on both sides.
std::string Answer(script::SNum value, bool comparison, bool unchanged) {
    if (unchanged)
        return "none";
    if (comparison)
        return Hex(value.Word);
    const bool nan = value.Type == CmdExpNum_Float && IsNanWord(value.Word);
    return Hex(value.Type) + " " + (nan ? "nan" : Hex(value.Word));
}

std::string ReferenceAnswer(const std::string& line) {
    // "1 <word>" of a NaN word becomes "1 nan".
    if (line.size() > 2 && line[0] == '1' && line[1] == ' ' && line != "1 keep") {
        const u32 word = u32(std::stoul(line.substr(2), nullptr, 16));
        if (IsNanWord(word))
            return "1 nan";
    }
    return line;
}

// Every operator and comparison against the reference: each pair of edge words under Int and
// Float, and random pairs under every combination of Int, Float and another type word.
TEST_F(MwCmdExpNum, OperatorsAgainstTheReference) {
    struct SCase {
        u32 Op;
        script::SNum A, B;
    };
    std::vector<SCase> cases;
    const std::vector<u32> edges = EdgeWords();
    for (u32 op = 0; op < 9; ++op) {
        for (u32 t1 : {0u, 1u})
            for (u32 t2 : {0u, 1u})
                for (u32 a : edges)
                    for (u32 b : edges)
                        cases.push_back({op, {t1, a}, {t2, b}});
        for (u32 t1 : {0u, 1u, kOther}) {
            for (u32 t2 : {0u, 1u, kOther}) {
                const std::vector<u32> words = RandomWords(200, op * 16 + t1 * 4 + t2);
                for (u32 i = 0; i + 1 < words.size(); i += 2)
                    cases.push_back({op, {t1, words[i]}, {t2, words[i + 1]}});
            }
        }
    }
    std::vector<std::string> lines;
    for (const SCase& c : cases)
        lines.push_back(ReferenceCase("bin", {c.Op, c.A.Type, c.A.Word, c.B.Type, c.B.Word}));
    const std::vector<std::string> reference = RunExpressionReference(lines);
    ASSERT_EQ(reference.size(), cases.size());
    SOperators operators;
    u32 failures = 0;
    for (size_t i = 0; i < cases.size() && failures < 20; ++i) {
        const SCase& c = cases[i];
        const script::SNum ours = operators.Run(c.Op, c.A, c.B);
        const bool comparison = c.Op >= 5;
        const bool unchanged = ours.Type == kUnchangedType && ours.Word == kUnchangedWord;
        const std::string answer = Answer(ours, comparison, unchanged);
        if (answer != ReferenceAnswer(reference[i])) {
            ++failures;
            ADD_FAILURE() << lines[i] << ": ours " << answer << ", reference " << reference[i];
        }
    }
}

// Neg, the functions and the texts against the reference, over the edge and random words under
// every type word. A function of kind past 10 keeps the word; texts of NaN may carry a sign.
TEST_F(MwCmdExpNum, NegFunctionsAndTextsAgainstTheReference) {
    std::vector<u32> words = EdgeWords();
    const std::vector<u32> random = RandomWords(300, 99);
    words.insert(words.end(), random.begin(), random.end());
    std::vector<std::string> lines;
    for (u32 type : {0u, 1u, kOther}) {
        for (u32 word : words) {
            lines.push_back(ReferenceCase("neg", {type, word}));
            lines.push_back(ReferenceCase("text", {type, word}));
            for (u32 kind = 0; kind <= 12; ++kind)
                lines.push_back(ReferenceCase("fn", {kind, type, word}));
        }
    }
    const std::vector<std::string> reference = RunExpressionReference(lines);
    ASSERT_EQ(reference.size(), lines.size());

    CMwCmdExpNum* argument = NewInt(0);
    const TNodRef<CMwCmdExpNeg> neg(NewUnary<CMwCmdExpNeg>(argument));
    const TNodRef<CMwCmdExpNumFunction> function(NewNumFunction(0, argument));
    CClassicString text;
    u32 failures = 0;
    size_t line = 0;
    for (u32 type : {0u, 1u, kOther}) {
        for (u32 word : words) {
            if (failures >= 20)
                return;
            argument->SetNum({type, word});
            const auto check = [&](const std::string& ours) {
                std::string expected = ReferenceAnswer(reference[line]);
                if (ours != expected && !(expected == "nan" && ours == "-nan")) {
                    ++failures;
                    ADD_FAILURE() << lines[line] << ": ours " << ours << ", reference "
                                  << reference[line];
                }
                ++line;
            };
            neg->Run();
            check(Answer(neg->GetNum(), false, false));
            argument->ToString(text);
            check(text.GetText());
            for (u32 kind = 0; kind <= 12; ++kind) {
                function->m_Kind = kind;
                function->SetNum({kUnchangedType, kUnchangedWord});
                function->Run();
                const script::SNum value = function->GetNum();
                const bool unchanged = value.Type == kUnchangedType;
                const bool kept = value.Type == CmdExpNum_Float && value.Word == kUnchangedWord;
                check(kept && kind > 10 ? "1 keep" : Answer(value, false, unchanged));
            }
        }
    }
}

// The results the Parts give, and those defined where the integer unit would trap or C++ would
// be undefined: a table of operator, operands and the result.
TEST_F(MwCmdExpNum, DefinedResults) {
    constexpr u32 I = CmdExpNum_Int, F = CmdExpNum_Float;
    enum : u32 { Add, Sub, Mult, Div, Power, Sup, SupEgal, Inf, InfEgal };
    struct SRow {
        u32 Op;
        script::SNum A, B, Result;
    };
    const SRow rows[] = {
        {Add, {I, 0x7FFFFFFF}, {I, 1}, {I, 0x80000000}},
        {Sub, {I, 0x80000000}, {I, 1}, {I, 0x7FFFFFFF}},
        {Mult, {I, 65536}, {I, 65536}, {I, 0}},
        {Div, {I, 7}, {I, 2}, {I, 3}},
        {Div, {I, W(-7)}, {I, 2}, {I, W(-3)}},
        {Div, {I, 7}, {F, W(2.0f)}, {F, W(3.5f)}},
        {Div, {F, W(7.0f)}, {I, 2}, {F, W(3.5f)}},
        {Div, {I, 7}, {I, 0}, {I, 0}},
        {Div, {I, 0x80000000}, {I, W(-1)}, {I, 0x80000000}},
        {Div, {F, W(1.0f)}, {F, 0}, {F, 0x7F800000}},
        {Power, {I, 2}, {I, 31}, {I, 0x80000000}},
        {Power, {I, 2}, {I, W(-1)}, {I, 0}},
        {Power, {F, W(2.0f)}, {I, W(-1)}, {F, W(0.5f)}},
        {Power, {I, 3}, {I, 21}, {I, 1870418611}},
        {Power, {I, 0}, {I, W(-1)}, {I, 0}},  // +infinity: outside 64 bits
        {Power, {I, 2}, {I, 63}, {I, 0}},     // 2^63: just outside
        {Power, {I, W(-2)}, {I, 63}, {I, 0}}, // -2^63: inside, low bits 0
        {Power, {I, W(-2)}, {I, 31}, {I, 0x80000000}},
        // Mixed Int and Float in double, rounded once: 16777217 + 0.0 is not exact in float.
        {Add, {I, 16777217}, {F, 0}, {F, W(16777216.0f)}},
        {Sup, {I, 16777217}, {F, W(16777216.0f)}, {0, 1}},
        {InfEgal, {I, 16777217}, {F, W(16777216.0f)}, {0, 0}},
        {Sup, {I, 1}, {F, W(0.5f)}, {0, 1}},
        {Sup, {F, 0x7FC00000}, {F, 0x7FC00000}, {0, 0}},
        {SupEgal, {F, 0x7FC00000}, {I, 0}, {0, 0}},
        {Inf, {I, 0}, {F, 0xFFC00000}, {0, 0}},
        {InfEgal, {F, 0x7FC00000}, {F, 0x7F800000}, {0, 0}},
        // A second operand of another type word is read as an integer.
        {Add, {I, 1}, {kOther, 2}, {I, 3}},
        {Add, {F, W(0.5f)}, {kOther, 2}, {F, W(2.5f)}},
        // A first operand of another type word: nothing computed.
        {Add, {kOther, 1}, {I, 2}, {kUnchangedType, kUnchangedWord}},
    };
    SOperators operators;
    for (const SRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Op << ": " << row.A.Type << "/" << std::hex
                                        << row.A.Word << ", " << row.B.Type << "/" << row.B.Word);
        const script::SNum value = operators.Run(row.Op, row.A, row.B);
        if (row.Op < 5) {
            EXPECT_EQ(value.Type, row.Result.Type);
        }
        EXPECT_EQ(value.Word, row.Result.Word);
    }
}

// Neg and the functions' edges; the conversion that every real-to-Int road shares.
TEST_F(MwCmdExpNum, NegFunctionsAndConversions) {
    constexpr u32 I = CmdExpNum_Int, F = CmdExpNum_Float;
    EXPECT_EQ(script::NegateNum({I, 0x80000000}).Word, 0x80000000u);
    EXPECT_EQ(script::NegateNum({kOther, W(2.5f)}).Word, W(-2.5f));
    EXPECT_EQ(script::NegateNum({kOther, W(2.5f)}).Type, F);
    struct SRow {
        u32 Kind;
        script::SNum Argument, Result;
    };
    const SRow rows[] = {
        {10, {F, W(2.5f)}, {I, 2}},
        {10, {F, W(3.5f)}, {I, 4}},
        {10, {F, W(-2.5f)}, {I, W(-2)}},
        {10, {I, 16777217}, {I, 16777216}}, // rounded to a float first
        {10, {F, W(2147483520.0f)}, {I, 2147483520}},
        {10, {F, W(2147483648.0f)}, {I, 0x80000000}},
        {10, {F, W(-2147483648.0f)}, {I, 0x80000000}},
        {10, {F, 0x7FC00000}, {I, 0x80000000}},
        {10, {F, 0xFF800000}, {I, 0x80000000}},
        {1, {I, 16}, {F, W(4.0f)}},
        {1, {I, W(-1)}, {F, 0}}, // NaN, checked below
        {9, {F, 0}, {F, 0xFF800000}},
        {0, {I, W(-3)}, {F, W(3.0f)}},
    };
    for (const SRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Kind << ": " << std::hex << row.Argument.Word);
        script::SNum value{kUnchangedType, kUnchangedWord};
        ASSERT_TRUE(script::ApplyNumFunction(row.Kind, row.Argument, value));
        EXPECT_EQ(value.Type, row.Result.Type);
        if (row.Kind == 1 && row.Argument.Word == W(-1))
            EXPECT_TRUE(IsNanWord(value.Word));
        else
            EXPECT_EQ(value.Word, row.Result.Word);
    }
    script::SNum value{kUnchangedType, kUnchangedWord};
    EXPECT_FALSE(script::ApplyNumFunction(1, {kOther, 16}, value));
    EXPECT_EQ(value.Type, kUnchangedType);

    const struct {
        f64 Value;
        i32 Trunc, Round;
    } conversions[] = {
        {2.9, 2, 3},
        {-2.9, -2, -3},
        {0.5, 0, 0},
        {-0.5, 0, 0},
        {2147483647.9, 2147483647, INT32_MIN},
        {2147483648.0, INT32_MIN, INT32_MIN},
        {-2147483648.0, INT32_MIN, INT32_MIN},
        {-2147483648.9, INT32_MIN, INT32_MIN},
        {-2147483647.5, -2147483647, -2147483648},
        {NAN, INT32_MIN, INT32_MIN},
        {INFINITY, INT32_MIN, INT32_MIN},
        {-INFINITY, INT32_MIN, INT32_MIN},
    };
    for (const auto& c : conversions) {
        SCOPED_TRACE(c.Value);
        EXPECT_EQ(script::TruncToInt(c.Value), c.Trunc);
        EXPECT_EQ(script::RoundToInt(c.Value), c.Round);
    }
}

// Texts: an Int in decimal without grouping, any other type as "%.3g" in the "C" locale, checked
// against glibc's printf through Python's own formatting for a few values.
TEST_F(MwCmdExpNum, Texts) {
    const struct {
        script::SNum Value;
        const char* Text;
    } rows[] = {
        {{CmdExpNum_Int, W(-12345)}, "-12345"},
        {{CmdExpNum_Int, 0x80000000}, "-2147483648"},
        {{CmdExpNum_Float, W(0.1f)}, "0.1"},
        {{CmdExpNum_Float, W(2.0f / 3.0f)}, "0.667"},
        {{CmdExpNum_Float, W(1e10f)}, "1e+10"},
        {{CmdExpNum_Float, W(1e-5f)}, "1e-05"},
        {{CmdExpNum_Float, W(123456.0f)}, "1.23e+05"},
        {{CmdExpNum_Float, W(-0.0f)}, "-0"},
        {{kOther, W(2.5f)}, "2.5"},
    };
    std::vector<std::string> lines;
    for (const auto& row : rows)
        lines.push_back(ReferenceCase("text", {row.Value.Type, row.Value.Word}));
    const std::vector<std::string> reference = RunExpressionReference(lines);
    const TNodRef<CMwCmdExpNum> num(NewInt(0));
    CClassicString text("previous");
    for (size_t i = 0; i < std::size(rows); ++i) {
        num->SetNum(rows[i].Value);
        num->ToString(text);
        EXPECT_STREQ(text.GetText(), rows[i].Text);
        if (i < reference.size()) {
            EXPECT_EQ(reference[i], rows[i].Text);
        }
    }
    const TNodRef<CMwCmdExpBool> boolean(NewBool(2));
    boolean->ToString(text);
    EXPECT_STREQ(text.GetText(), "True");
    boolean->m_Value = 0;
    boolean->ToString(text);
    EXPECT_STREQ(text.GetText(), "False");
}

// A Bool whose runs are counted: the operand whose run a short circuit must skip.
class CCountingBool : public CMwCmdExpBool {
public:
    void Run() override { ++m_Runs; }
    u32 m_Runs = 0;
};

// And and Or stop at a first operand that decides, without running the second; otherwise they
// take the second's word as it is. Not gives 1 for 0 only.
TEST_F(MwCmdExpNum, LogicShortCircuits) {
    const struct {
        bool Or;
        u32 First, Second, Value, SecondRuns;
    } rows[] = {
        {false, 0, 1, 0, 0}, {false, 1, 2, 2, 1}, {false, 5, 0, 0, 1},
        {true, 3, 0, 1, 0},  {true, 0, 2, 2, 1},  {true, 0, 0, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << (row.Or ? "Or " : "And ") << row.First << " " << row.Second);
        auto* second = new CCountingBool;
        second->m_Value = row.Second;
        TNodRef<CMwCmdExpBool> node(
            row.Or ? static_cast<CMwCmdExpBool*>(NewBinary<CMwCmdExpOr>(NewBool(row.First), second))
                   : NewBinary<CMwCmdExpAnd>(NewBool(row.First), second));
        node->m_Value = 77;
        node->Run();
        EXPECT_EQ(node->m_Value, row.Value);
        EXPECT_EQ(second->m_Runs, row.SecondRuns);
        const TNodRef<CMwCmdExpNot> negation(NewUnary<CMwCmdExpNot>(node.Get()));
        negation->Run();
        EXPECT_EQ(negation->m_Value, row.Value == 0 ? 1u : 0u);
    }
}

// Egal and Diff compare by the first operand's kind: Num by type and value (an Int never equals a
// Float, a NaN nothing), Bool by word; operands of two kinds are never equal.
TEST_F(MwCmdExpNum, EqualityAcrossKinds) {
    const struct {
        const char* Name;
        CMwCmdExp* First;
        CMwCmdExp* Second;
        u32 Equal;
    } rows[] = {
        {"Int 1, Float 1.0", NewInt(1), NewFloat(1.0f), 0},
        {"Int 1, Int 1", NewInt(1), NewInt(1), 1},
        {"Float 0.5, Float 0.5", NewFloat(0.5f), NewFloat(0.5f), 1},
        {"Float 0, Float -0", NewFloat(0.0f), NewFloat(-0.0f), 1},
        {"NaN, NaN", NewNum(CmdExpNum_Float, 0x7FC00000), NewNum(CmdExpNum_Float, 0x7FC00000), 0},
        {"Bool 1, Bool 2", NewBool(1), NewBool(2), 0},
        {"Bool 2, Bool 2", NewBool(2), NewBool(2), 1},
        {"Int 0, Bool 0", NewInt(0), NewBool(0), 0},
        {"Bool 0, Int 0", NewBool(0), NewInt(0), 0},
        {"String, Num", NewString("abc"), NewInt(0), 0},
        {"Vec3, Iso4", NewFloatVec3(0.0f, 0.0f, 0.0f), NewIso4(nullptr, nullptr, nullptr, nullptr),
         0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        const TNodRef<CMwCmdExpEgal> egal(NewBinary<CMwCmdExpEgal>(row.First, row.Second));
        egal->Run();
        EXPECT_EQ(egal->m_Value, row.Equal);
        const TNodRef<CMwCmdExpDiff> diff(NewBinary<CMwCmdExpDiff>(row.First, row.Second));
        diff->Run();
        EXPECT_EQ(diff->m_Value, 1 - row.Equal);
    }
    // Sqrt of -1 is NaN: no comparison with it holds, Egal with itself included.
    auto* root = NewNumFunction(script::NumFunction_Sqrt, NewInt(-1));
    const TNodRef<CMwCmdExpEgal> self(NewBinary<CMwCmdExpEgal>(root, root));
    self->Run();
    EXPECT_EQ(self->m_Value, 0u);
}

// A node made by its class and never loaded nor run: Num Int 0, Bool 0. The function node's open
// cases leave it unchanged: an argument of another type word, no argument with a kind other than
// the call, and a call without function.
TEST_F(MwCmdExpNum, NewNodesAndOpenFunctionCases) {
    const TNodRef<CMwCmdExpAdd> add(new CMwCmdExpAdd);
    EXPECT_EQ(add->m_Type, 0u);
    EXPECT_EQ(add->m_Value, 0u);
    EXPECT_EQ(add->m_ValueKind, CmdExpValue_Num);
    add->Run(); // no operands: nothing computed, nothing read
    EXPECT_EQ(add->m_Value, 0u);
    const TNodRef<CMwCmdExpSup> sup(new CMwCmdExpSup);
    EXPECT_EQ(sup->m_Value, 0u);
    EXPECT_EQ(sup->m_ValueKind, CmdExpValue_Bool);
    const TNodRef<CMwCmdExpNumFunction> fresh(new CMwCmdExpNumFunction);
    EXPECT_EQ(fresh->m_Kind, u32(script::NumFunction_Call));

    const TNodRef<CMwCmdExpNumFunction> other(
        NewNumFunction(script::NumFunction_Sqrt, NewNum(kOther, 16)));
    const TNodRef<CMwCmdExpNumFunction> noArgument(
        NewNumFunction(script::NumFunction_Sqrt, nullptr));
    const TNodRef<CMwCmdExpNumFunction> noFunction(
        NewNumFunction(script::NumFunction_Call, nullptr));
    for (CMwCmdExpNumFunction* node : {other.Get(), noArgument.Get(), noFunction.Get()}) {
        node->SetNum({kUnchangedType, kUnchangedWord});
        node->Run();
        EXPECT_EQ(node->m_Type, kUnchangedType);
        EXPECT_EQ(node->m_Value, kUnchangedWord);
    }
}

// The value operations of the two kinds: the value word's address, a copy of the word into the
// record's storage, the word set without conversion.
TEST_F(MwCmdExpNum, ValueOperations) {
    const TNodRef<CMwCmdExpNum> num(NewFloat(2.5f));
    EXPECT_EQ(num->GetValuePtr(), &num->m_Value);
    EXPECT_EQ(num->GetResultPtr(), &num->m_Value);
    EXPECT_EQ(num->IsConstant(), 1u);
    EXPECT_EQ(num->WriteBack(), 0u);
    CmdExpValueRecord record;
    record.Value = nullptr;
    num->GetValue(record);
    EXPECT_EQ(record.Value, static_cast<void*>(record.Storage));
    EXPECT_EQ(*static_cast<u32*>(record.Value), W(2.5f));
    const i32 three = 3;
    num->SetValue(&three);
    EXPECT_EQ(num->m_Type, CmdExpNum_Float);
    EXPECT_EQ(num->m_Value, 3u);
    const TNodRef<CMwCmdExpBool> boolean(NewBool(0));
    const u32 two = 2;
    boolean->SetValue(&two);
    EXPECT_EQ(boolean->m_Value, 2u);
    boolean->GetValue(record);
    EXPECT_EQ(*static_cast<u32*>(record.Value), 2u);
}

// Operands are bound with the block that binds the operator (never with the operator) and given
// the script's object; the function node binds its argument, or else its call's arguments.
TEST_F(MwCmdExpNum, BindingPassesTheBlockOn) {
    auto* a = NewInt(1);
    auto* b = NewFloat(2.0f);
    auto* add = NewBinary<CMwCmdExpAdd>(a, b);
    auto* argument = NewInt(3);
    auto* call = NewNumFunction(script::NumFunction_Call, nullptr);
    call->m_Call.AddArgument(argument);
    auto* egal = NewBinary<CMwCmdExpEgal>(add, call);
    const TNodRef<CMwCmdBlock> block = MakeBlock({egal});
    block->Bind(nullptr);
    for (CMwCmdScript* node : std::initializer_list<CMwCmdScript*>{egal, add, a, b, call, argument})
        EXPECT_EQ(node->m_Parent, block.Get());
    egal->SetThis(block.Get()); // nothing keeps it at this level: no failure, nothing stored
    block->Run();
    EXPECT_EQ(add->m_Type, CmdExpNum_Float);
    EXPECT_EQ(add->GetFloat(), 3.0f);
}

// Egal's operands set through a member path: the new operand is held with a reference and the
// old one given back; a nod that is not an expression, or none, is refused; a path that goes on
// sets the operand's own member by its flags.
TEST_F(MwCmdExpNum, EgalOperandsSetThroughMembers) {
    const TNodRef<CMwCmdExpEgal> egal(NewBinary<CMwCmdExpEgal>(NewInt(1), NewInt(2)));
    const TNodRef<CMwCmdExpNum> replacement(NewInt(2));
    CMwCmdExp* old = egal->m_Value1;
    old->AddRef();
    const auto set = [&](const char* text, const void* value) {
        CMwMemberPath path;
        EXPECT_EQ(path.ParseFromText(egal->GetClassId(), egal.Get(), CClassicString(text)), 0u)
            << text;
        return egal->SetParam(&path, value);
    };
    EXPECT_EQ(set("Value1", replacement.Get()), 0u);
    EXPECT_EQ(egal->m_Value1, replacement.Get());
    EXPECT_EQ(replacement->GetRefCount(), 2);
    EXPECT_EQ(old->GetRefCount(), 1);
    old->Release();
    egal->Run();
    EXPECT_EQ(egal->m_Value, 1u);

    const TNodRef<CScriptTestObject> object(new CScriptTestObject);
    EXPECT_EQ(set("Value2", object.Get()), 2u);
    EXPECT_EQ(set("Value2", nullptr), 2u);
    EXPECT_EQ(egal->m_Value2->GetClassId(), CMwCmdExpNum::s_ClassId);
    // Type is read only: the operand's own flags refuse it.
    const u32 type = 1;
    EXPECT_EQ(set("Value2.Type", &type), 2u);
    EXPECT_EQ(static_cast<CMwCmdExpNum*>(egal->m_Value2)->m_Type, 0u);
    // Reading goes through the plain descriptor.
    CMwMemberPath path;
    ASSERT_EQ(path.ParseFromText(egal->GetClassId(), egal.Get(), CClassicString("Value1")), 0u);
    CMwParamValue value;
    ASSERT_EQ(egal->GetParam(&path, &value), 0u);
    EXPECT_EQ(value.Value, static_cast<void*>(replacement.Get()));
}

} // namespace
