// Vector and matrix expressions: the operators and dot products against the Python reference
// over random values, the constructors, equality by the squared epsilon, texts, the transforms'
// edge cases, and missing components.
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/expression/ExpressionReference.h"
#include "tests/script/support/ScriptExpressions.h"

#include <array>
#include <bit>
#include <cmath>
#include <random>

namespace {

class MwCmdExpVec : public CScriptFixture {};

u32 W(f32 value) {
    return std::bit_cast<u32>(value);
}

// Float words from a fixed generator state: mostly moderate values, some edges among them.
class CWords {
public:
    explicit CWords(u32 seed) : m_Rng(seed) {}
    u32 Next() {
        const u32 pick = m_Rng() % 16;
        static constexpr u32 kEdges[] = {0, 0x80000000, 0x7F800000, 0x7FC00000, 1, 0x7F7FFFFF};
        if (pick < std::size(kEdges))
            return kEdges[pick];
        return W(std::uniform_real_distribution<f32>(-100.0f, 100.0f)(m_Rng));
    }
    template <size_t N>
    std::array<u32, N> Take() {
        std::array<u32, N> words;
        for (u32& word : words)
            word = Next();
        return words;
    }

private:
    std::mt19937 m_Rng;
};

template <class T>
T FromWords(const u32* words) {
    T value;
    std::memcpy(&value, words, sizeof value);
    return value;
}

template <class T>
std::vector<u32> WordsOf(const T& value) {
    std::vector<u32> words(sizeof value / 4);
    std::memcpy(words.data(), &value, sizeof value);
    return words;
}

// The words in hexadecimal; with `oneNan`, a NaN word (of any sign and payload) as 7fc00000, for
// results, whose NaNs need not have the same bits on both sides.
std::string Join(const std::vector<u32>& words, bool oneNan = true) {
    std::string text;
    for (u32 word : words) {
        char part[16];
        std::snprintf(part, sizeof part, "%s%x", text.empty() ? "" : " ",
                      oneNan && std::isnan(std::bit_cast<f32>(word)) ? 0x7FC00000u : word);
        text += part;
    }
    return text;
}

// The reference's words, each NaN written as one NaN.
std::string Normalized(const std::string& line) {
    std::vector<u32> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(u32(std::stoul(word, nullptr, 16)));
    return Join(words);
}

// A node of the kind that holds a given value and keeps it when run (a plain vector or matrix
// would build its value again from its components).
template <class T>
class TConstant : public T {
public:
    void Run() override {}
};

template <class T>
T* Holding(const void* value) {
    auto* node = new TConstant<T>;
    node->SetValue(value);
    return node;
}

// Every operator and dot product, and the equality of both vector kinds, over random operands,
// against the reference: sums, products and dot products in double precision rounded once.
TEST_F(MwCmdExpVec, OperatorsAgainstTheReference) {
    CWords words(7);
    std::vector<std::string> lines, ours;
    CClassicString unused;
    for (u32 round = 0; round < 300; ++round) {
        const auto a2 = words.Take<2>(), b2 = words.Take<2>();
        const auto a3 = words.Take<3>(), b3 = words.Take<3>();
        const auto ma = words.Take<12>(), mb = words.Take<12>();
        const u32 scaleType = round % 3, scaleWord = scaleType == 0 ? u32(i32(round) - 150) : a3[0];
        const auto vec2 = [&](const std::array<u32, 2>& w) {
            return Holding<CMwCmdExpVec2>(w.data());
        };
        const auto vec3 = [&](const std::array<u32, 3>& w) {
            return Holding<CMwCmdExpVec3>(w.data());
        };
        const auto iso4 = [&](const std::array<u32, 12>& w) {
            return Holding<CMwCmdExpIso4>(w.data());
        };
        const auto run = [&](const char* name, std::vector<u32> arguments, CMwCmdExp* node) {
            const TNodRef<CMwCmdExp> held(node);
            node->Run();
            lines.push_back(ReferenceCase(name, {}) + " " + Join(arguments, false));
            if (node->m_ValueKind == CmdExpValue_Num)
                ours.push_back(Join({static_cast<CMwCmdExpNum*>(node)->m_Value}));
            else if (node->m_ValueKind == CmdExpValue_Vec2)
                ours.push_back(Join(WordsOf(static_cast<CMwCmdExpVec2*>(node)->m_Value)));
            else if (node->m_ValueKind == CmdExpValue_Vec3)
                ours.push_back(Join(WordsOf(static_cast<CMwCmdExpVec3*>(node)->m_Value)));
            else
                ours.push_back(Join(WordsOf(static_cast<CMwCmdExpIso4*>(node)->m_Value)));
        };
        const auto cat = [](auto... parts) {
            std::vector<u32> all;
            (all.insert(all.end(), parts.begin(), parts.end()), ...);
            return all;
        };
        run("vadd2", cat(a2, b2), NewBinary<CMwCmdExpVec2Add>(vec2(a2), vec2(b2)));
        run("vsub2", cat(a2, b2), NewBinary<CMwCmdExpVec2Sub>(vec2(a2), vec2(b2)));
        run("vneg2", cat(a2), NewUnary<CMwCmdExpVec2Neg>(vec2(a2)));
        run("vmult2", cat(std::array<u32, 2>{scaleType, scaleWord}, b2),
            NewBinary<CMwCmdExpVec2Mult>(NewNum(scaleType, scaleWord), vec2(b2)));
        run("vadd3", cat(a3, b3), NewBinary<CMwCmdExpVec3Add>(vec3(a3), vec3(b3)));
        run("vsub3", cat(a3, b3), NewBinary<CMwCmdExpVec3Sub>(vec3(a3), vec3(b3)));
        run("vneg3", cat(a3), NewUnary<CMwCmdExpVec3Neg>(vec3(a3)));
        run("vmult3", cat(std::array<u32, 2>{scaleType, scaleWord}, b3),
            NewBinary<CMwCmdExpVec3Mult>(NewNum(scaleType, scaleWord), vec3(b3)));
        run("cross", cat(a3, b3), NewBinary<CMwCmdExpVec3Product>(vec3(a3), vec3(b3)));
        run("multiso", cat(a3, mb), NewBinary<CMwCmdExpVec3MultIso>(vec3(a3), iso4(mb)));
        run("isomult", cat(ma, mb), NewBinary<CMwCmdExpIso4Mult>(iso4(ma), iso4(mb)));
        run("isoinv", cat(ma), NewUnary<CMwCmdExpIso4Inverse>(iso4(ma)));
        run("dot2", cat(a2, b2), NewBinary<CMwCmdExpNumDotProduct2>(vec2(a2), vec2(b2)));
        run("dot3", cat(a3, b3), NewBinary<CMwCmdExpNumDotProduct3>(vec3(a3), vec3(b3)));
        // Equality: b close to a half of the time.
        auto near2 = b2;
        auto near3 = b3;
        if (round % 2) {
            near2 = {W(std::bit_cast<f32>(a2[0]) + 3e-6f), a2[1]};
            near3 = {a3[0], W(std::bit_cast<f32>(a3[1]) - 7e-6f), a3[2]};
        }
        for (bool three : {false, true}) {
            const TNodRef<CMwCmdExp> first(three ? static_cast<CMwCmdExp*>(vec3(a3)) : vec2(a2));
            const TNodRef<CMwCmdExp> second(three ? static_cast<CMwCmdExp*>(vec3(near3))
                                                  : vec2(near2));
            lines.push_back(three
                                ? ReferenceCase("equal3", {}) + " " + Join(cat(a3, near3), false)
                                : ReferenceCase("equal2", {}) + " " + Join(cat(a2, near2), false));
            ours.push_back(Join({first->IsEqual(second.Get())}));
        }
    }
    const std::vector<std::string> reference = RunExpressionReference(lines);
    ASSERT_EQ(reference.size(), ours.size());
    u32 failures = 0;
    for (size_t i = 0; i < ours.size() && failures < 20; ++i) {
        if (ours[i] != Normalized(reference[i])) {
            ++failures;
            ADD_FAILURE() << lines[i] << ": ours " << ours[i] << ", reference " << reference[i];
        }
    }
}

// The epsilon is the float 0.00001 times itself, rounded to a float once; vector components read
// an Int converted to the nearest float and any other type's word as a float.
TEST_F(MwCmdExpVec, EpsilonAndComponents) {
    std::vector<std::string> lines = {"eps"};
    const std::pair<u32, u32> components[] = {{0, 16777217},  {0, 0x80000000}, {1, W(2.5f)},
                                              {2, W(-0.75f)}, {2, 7},          {1, 0x7FC00001}};
    for (const auto& [type, word] : components)
        lines.push_back(ReferenceCase("comp", {type, word}));
    const std::vector<std::string> reference = RunExpressionReference(lines);
    ASSERT_EQ(reference.size(), lines.size());
    EXPECT_EQ(reference[0], Join({W(kScriptVecEpsilonSq)}));
    EXPECT_EQ(W(kScriptVecEpsilonSq), 0x2edbe6feu);
    for (size_t i = 0; i < std::size(components); ++i) {
        const TNodRef<CMwCmdExpVec2> vec(
            NewVec2(NewNum(components[i].first, components[i].second), NewInt(0)));
        vec->Run();
        EXPECT_EQ(Join({W(vec->m_Value.x)}), Normalized(reference[i + 1])) << lines[i + 1];
    }
}

// The constructors and texts: a plain vector from its components (text from their texts), a
// computed one with "[,]" or "[,,]"; missing components count as 0 and write nothing.
TEST_F(MwCmdExpVec, ConstructorsAndTexts) {
    const TNodRef<CMwCmdExpVec3> vec(NewVec3(NewInt(1), NewFloat(2.5f), NewInt(3)));
    vec->Run();
    EXPECT_EQ(vec->m_Value.x, 1.0f);
    EXPECT_EQ(vec->m_Value.y, 2.5f);
    EXPECT_EQ(vec->m_Value.z, 3.0f);
    CClassicString text;
    vec->ToString(text);
    EXPECT_STREQ(text.GetText(), "[1,2.5,3]");

    const TNodRef<CMwCmdExpVec3Add> sum(
        NewBinary<CMwCmdExpVec3Add>(NewVec3(NewInt(1), NewFloat(2.5f), NewInt(3)),
                                    NewVec3(NewInt(1), NewFloat(2.5f), NewInt(3))));
    sum->Run();
    EXPECT_EQ(sum->m_Value.y, 5.0f);
    sum->ToString(text);
    EXPECT_STREQ(text.GetText(), "[,,]");
    const TNodRef<CMwCmdExpVec2Neg> neg(NewUnary<CMwCmdExpVec2Neg>(NewVec2(NewInt(1), NewInt(2))));
    neg->Run();
    neg->ToString(text);
    EXPECT_STREQ(text.GetText(), "[,]");
    EXPECT_EQ(neg->m_Value.x, -1.0f);

    const TNodRef<CMwCmdExpVec3> partial(NewVec3(NewInt(4), nullptr, NewInt(6)));
    partial->m_Value = {9, 9, 9};
    partial->Run();
    EXPECT_EQ(partial->m_Value.y, 0.0f);
    EXPECT_EQ(partial->m_Value.z, 6.0f);
    partial->ToString(text);
    EXPECT_STREQ(text.GetText(), "[4,,6]");
    const TNodRef<CMwCmdExpVec2> empty(new CMwCmdExpVec2);
    empty->Run();
    EXPECT_EQ(empty->m_Value.x, 0.0f);

    // A plain Iso4 with a missing operand: that column (or the translation) is 0.
    const TNodRef<CMwCmdExpIso4> iso(
        NewIso4(NewFloatVec3(1, 2, 3), nullptr, NewFloatVec3(7, 8, 9), nullptr));
    iso->Run();
    const Iso4& m = iso->m_Value;
    EXPECT_EQ(m.R.m00, 1.0f);
    EXPECT_EQ(m.R.m10, 2.0f);
    EXPECT_EQ(m.R.m20, 3.0f);
    EXPECT_EQ(m.R.m01, 0.0f);
    EXPECT_EQ(m.R.m11, 0.0f);
    EXPECT_EQ(m.R.m22, 9.0f);
    EXPECT_EQ(m.t.x, 0.0f);

    // The text of an Iso4 is a log line, the text left as it was.
    CLogWatch log;
    text.Assign("kept");
    iso->ToString(text);
    EXPECT_STREQ(text.GetText(), "kept");
    EXPECT_EQ(log.Since(), "Iso4 not converted in string\r\n");
}

// Equality below the squared epsilon, strictly; an Iso4 never equals anything, itself included.
TEST_F(MwCmdExpVec, Equality) {
    const struct {
        f32 Offset;
        u32 Equal;
    } rows[] = {{0.0f, 1}, {0.000001f, 1}, {0.0001f, 0}, {0.00001f, 0}, {NAN, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Offset);
        const TNodRef<CMwCmdExpEgal> three(
            NewBinary<CMwCmdExpEgal>(NewFloatVec3(0, 0, 0), NewFloatVec3(row.Offset, 0, 0)));
        three->Run();
        EXPECT_EQ(three->m_Value, row.Equal);
        const TNodRef<CMwCmdExpEgal> two(NewBinary<CMwCmdExpEgal>(
            NewVec2(NewFloat(0), NewFloat(0)), NewVec2(NewFloat(0), NewFloat(row.Offset))));
        two->Run();
        EXPECT_EQ(two->m_Value, row.Equal);
    }
    auto* iso = NewIso4(NewFloatVec3(1, 0, 0), NewFloatVec3(0, 1, 0), NewFloatVec3(0, 0, 1),
                        NewFloatVec3(0, 0, 0));
    const TNodRef<CMwCmdExpEgal> self(NewBinary<CMwCmdExpEgal>(iso, iso));
    self->Run();
    EXPECT_EQ(self->m_Value, 0u);
}

CMwCmdExpIso4* NewRotation(CMwCmdExpVec3* translation) {
    return NewIso4(NewFloatVec3(0, 1, 0), NewFloatVec3(-1, 0, 0), NewFloatVec3(0, 0, 1),
                   translation);
}

Vec3 Apply(CMwCmdExpIso4* transform, Vec3 point) {
    transform->AddRef(); // the caller keeps the transform
    const TNodRef<CMwCmdExpVec3MultIso> apply(
        NewBinary<CMwCmdExpVec3MultIso>(NewFloatVec3(point.x, point.y, point.z), transform));
    apply->Run();
    transform->Release();
    return apply->m_Value;
}

// The transforms: an Iso4 from axes and a translation maps (1, 0, 0) to (5, 7, 7); Iso4Mult
// applies A, then B; the inverse after the transform gives every point back; scales and dot
// products.
TEST_F(MwCmdExpVec, Transforms) {
    const TNodRef<CMwCmdExpIso4> rotation(NewRotation(NewFloatVec3(5, 6, 7)));
    const Vec3 mapped = Apply(rotation.Get(), {1, 0, 0});
    EXPECT_EQ(mapped.x, 5.0f);
    EXPECT_EQ(mapped.y, 7.0f);
    EXPECT_EQ(mapped.z, 7.0f);

    const TNodRef<CMwCmdExpIso4Mult> composed(
        NewBinary<CMwCmdExpIso4Mult>(NewIso4(NewFloatVec3(1, 0, 0), NewFloatVec3(0, 1, 0),
                                             NewFloatVec3(0, 0, 1), NewFloatVec3(1, 0, 0)),
                                     NewRotation(NewFloatVec3(0, 0, 0))));
    composed->Run();
    const Vec3 origin = Apply(composed.Get(), {0, 0, 0});
    EXPECT_EQ(origin.x, 0.0f);
    EXPECT_EQ(origin.y, 1.0f);
    EXPECT_EQ(origin.z, 0.0f);

    rotation->AddRef();
    const TNodRef<CMwCmdExpIso4Mult> back(NewBinary<CMwCmdExpIso4Mult>(
        rotation.Get(), NewUnary<CMwCmdExpIso4Inverse>(NewRotation(NewFloatVec3(5, 6, 7)))));
    rotation->Release();
    back->Run();
    for (const Vec3 point : {Vec3{1, 2, 3}, Vec3{-4, 0.5f, 8}, Vec3{0, 0, 0}}) {
        const Vec3 same = Apply(back.Get(), point);
        EXPECT_EQ(same.x, point.x);
        EXPECT_EQ(same.y, point.y);
        EXPECT_EQ(same.z, point.z);
    }

    const TNodRef<CMwCmdExpVec3Mult> scaled3(
        NewBinary<CMwCmdExpVec3Mult>(NewInt(2), NewFloatVec3(1, 2, 3)));
    scaled3->Run();
    EXPECT_EQ(scaled3->m_Value.z, 6.0f);
    const TNodRef<CMwCmdExpVec2Mult> scaled2(
        NewBinary<CMwCmdExpVec2Mult>(NewFloat(0.5f), NewVec2(NewInt(4), NewInt(8))));
    scaled2->Run();
    EXPECT_EQ(scaled2->m_Value.x, 2.0f);
    EXPECT_EQ(scaled2->m_Value.y, 4.0f);
    const TNodRef<CMwCmdExpVec3Product> cross(
        NewBinary<CMwCmdExpVec3Product>(NewFloatVec3(1, 0, 0), NewFloatVec3(0, 1, 0)));
    cross->Run();
    EXPECT_EQ(cross->m_Value.z, 1.0f);

    // A dot product writes a float into the word and keeps the type word as it was.
    const TNodRef<CMwCmdExpNumDotProduct3> dot(
        NewBinary<CMwCmdExpNumDotProduct3>(NewFloatVec3(1, 2, 3), NewFloatVec3(4, 5, 6)));
    dot->Run();
    EXPECT_EQ(dot->m_Type, CmdExpNum_Int);
    EXPECT_EQ(dot->m_Value, W(32.0f));
}

// The value operations: the value's address, a copy of 2, 3 or 12 floats into the record's
// storage, SetValue taking as many.
TEST_F(MwCmdExpVec, ValueOperations) {
    const Iso4 identity;
    const TNodRef<CMwCmdExpIso4> iso(Holding<CMwCmdExpIso4>(&identity));
    EXPECT_EQ(iso->GetValuePtr(), &iso->m_Value);
    EXPECT_EQ(iso->GetResultPtr(), &iso->m_Value);
    CmdExpValueRecord record;
    iso->GetValue(record);
    EXPECT_EQ(std::memcmp(record.Value, &identity, sizeof identity), 0);
    const Vec3 v{1, 2, 3};
    const TNodRef<CMwCmdExpVec3> vec(Holding<CMwCmdExpVec3>(&v));
    vec->GetValue(record);
    EXPECT_EQ(static_cast<Vec3*>(record.Value)->z, 3.0f);
    EXPECT_EQ(vec->IsConstant(), 1u);
    // A node given its own value back keeps it (the copy may overlap itself).
    iso->SetValue(iso->GetValuePtr());
    vec->SetValue(vec->GetValuePtr());
    EXPECT_EQ(vec->m_Value.y, 2.0f);
    EXPECT_EQ(std::memcmp(&iso->m_Value, &identity, sizeof identity), 0);
}

} // namespace
