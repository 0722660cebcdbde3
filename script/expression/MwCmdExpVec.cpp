#include "script/expression/MwCmdExpVec.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/base/ClassicString.h"

#include <array>
#include <bit>

#define COMPONENT(X, Id, Field, Name, Label)                                                       \
    X(Class, Id, Name, MW_FIELD(Field), Label, 0x01, 0x380, &CMwCmdExpNum::s_ClassInfo, 0)
#define CMWCMDEXPVEC2_MEMBERS(X)                                                                   \
    COMPONENT(X, 0x0105c000, m_Exp1, "Exp1", "Exp 1")                                              \
    COMPONENT(X, 0x0105c001, m_Exp2, "Exp2", "Exp 2")
#define CMWCMDEXPVEC3_MEMBERS(X)                                                                   \
    COMPONENT(X, 0x0105f000, m_Exp1, "Exp1", "Exp 1")                                              \
    COMPONENT(X, 0x0105f001, m_Exp2, "Exp2", "Exp 2")                                              \
    COMPONENT(X, 0x0105f002, m_Exp3, "Exp3", "Exp 3")

#define CMWCMDEXPVEC2_CHUNKS(X) X(0x0105c000, 3)
#define CMWCMDEXPVEC3_CHUNKS(X) X(0x0105f000, 3)
#define CMWCMDEXPISO4_CHUNKS(X) X(0x01062000, 3)
#define CMWCMDEXPVEC2ADD_CHUNKS(X) X(0x01085000, 3)
#define CMWCMDEXPVEC2SUB_CHUNKS(X) X(0x01086000, 3)
#define CMWCMDEXPVEC2NEG_CHUNKS(X) X(0x01087000, 3)
#define CMWCMDEXPVEC2MULT_CHUNKS(X) X(0x01088000, 3)
#define CMWCMDEXPVEC3ADD_CHUNKS(X) X(0x01089000, 3)
#define CMWCMDEXPVEC3SUB_CHUNKS(X) X(0x0108a000, 3)
#define CMWCMDEXPVEC3NEG_CHUNKS(X) X(0x0108b000, 3)
#define CMWCMDEXPVEC3MULT_CHUNKS(X) X(0x0108c000, 3)
#define CMWCMDEXPVEC3MULTISO_CHUNKS(X) X(0x0108d000, 3)
#define CMWCMDEXPVEC3PRODUCT_CHUNKS(X) X(0x0108e000, 3)
#define CMWCMDEXPISO4OPERATOR_CHUNKS(X) X(0x01063000, 3)
#define CMWCMDEXPNUMDOTPRODUCT_CHUNKS(X) X(0x01055000, 3)

MW_DEFINE_CLASS(CMwCmdExpVec2, MwFactory<CMwCmdExpVec2>, CMWCMDEXPVEC2_MEMBERS,
                CMWCMDEXPVEC2_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec3, MwFactory<CMwCmdExpVec3>, CMWCMDEXPVEC3_MEMBERS,
                CMWCMDEXPVEC3_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpIso4, MwFactory<CMwCmdExpIso4>, MW_NO_MEMBERS, CMWCMDEXPISO4_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec2Add, MwFactory<CMwCmdExpVec2Add>, MW_NO_MEMBERS,
                CMWCMDEXPVEC2ADD_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec2Sub, MwFactory<CMwCmdExpVec2Sub>, MW_NO_MEMBERS,
                CMWCMDEXPVEC2SUB_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec2Neg, MwFactory<CMwCmdExpVec2Neg>, MW_NO_MEMBERS,
                CMWCMDEXPVEC2NEG_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec2Mult, MwFactory<CMwCmdExpVec2Mult>, MW_NO_MEMBERS,
                CMWCMDEXPVEC2MULT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec3Add, MwFactory<CMwCmdExpVec3Add>, MW_NO_MEMBERS,
                CMWCMDEXPVEC3ADD_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec3Sub, MwFactory<CMwCmdExpVec3Sub>, MW_NO_MEMBERS,
                CMWCMDEXPVEC3SUB_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec3Neg, MwFactory<CMwCmdExpVec3Neg>, MW_NO_MEMBERS,
                CMWCMDEXPVEC3NEG_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec3Mult, MwFactory<CMwCmdExpVec3Mult>, MW_NO_MEMBERS,
                CMWCMDEXPVEC3MULT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec3MultIso, MwFactory<CMwCmdExpVec3MultIso>, MW_NO_MEMBERS,
                CMWCMDEXPVEC3MULTISO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec3Product, MwFactory<CMwCmdExpVec3Product>, MW_NO_MEMBERS,
                CMWCMDEXPVEC3PRODUCT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpIso4Mult, MwFactory<CMwCmdExpIso4Mult>, MW_NO_MEMBERS,
                CMWCMDEXPISO4OPERATOR_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpIso4Inverse, MwFactory<CMwCmdExpIso4Inverse>, MW_NO_MEMBERS,
                CMWCMDEXPISO4OPERATOR_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpNumDotProduct2, MwFactory<CMwCmdExpNumDotProduct2>, MW_NO_MEMBERS,
                CMWCMDEXPNUMDOTPRODUCT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpNumDotProduct3, MwFactory<CMwCmdExpNumDotProduct3>, MW_NO_MEMBERS,
                CMWCMDEXPNUMDOTPRODUCT_CHUNKS);

namespace {

// A result computed in double, rounded once.
f32 Round(f64 value) {
    return static_cast<f32>(value);
}

// The twelve floats of a transform in storage order: R row by row, then t.
using Iso4Floats = std::array<f32, 12>;
static_assert(sizeof(Iso4Floats) == sizeof(Iso4));

f64 R(const Iso4Floats& m, u32 row, u32 column) {
    return m[row * 3 + column];
}

f64 T(const Iso4Floats& m, u32 i) {
    return m[9 + i];
}

// A component's value as a coordinate; 0 for a missing component.
f32 Coordinate(const CMwCmdExpNum* component) {
    return component ? script::NumToFloat(component->GetNum()) : 0.0f;
}

// Runs, binds, or gives the object to, the components that are there, in order.
void RunAll(std::initializer_list<CMwCmdExp*> components) {
    for (CMwCmdExp* component : components)
        if (component)
            component->Run();
}

void BindAll(std::initializer_list<CMwCmdExp*> components, CMwCmdScript* parent) {
    for (CMwCmdExp* component : components)
        if (component)
            component->Bind(parent);
}

void SetThisAll(std::initializer_list<CMwCmdExp*> components, CMwNod* nod) {
    for (CMwCmdExp* component : components)
        if (component)
            component->SetThis(nod);
}

// "[" + the components' texts separated by "," + "]"; a missing component writes nothing.
void VectorText(CClassicString& text, std::initializer_list<CMwCmdExpNum*> components) {
    CClassicString result("["), part;
    bool first = true;
    for (CMwCmdExpNum* component : components) {
        if (!first)
            result.Append(",");
        first = false;
        if (component) {
            component->ToString(part);
            result.Append(part);
        }
    }
    result.Append("]");
    text.MoveFrom(result);
}

bool IsBelowEpsilon(f64 squaredDistance) {
    return squaredDistance < f64(kScriptVecEpsilonSq);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Vec2

CMwCmdExpVec2::~CMwCmdExpVec2() {
    ScriptReleaseChild(this, m_Exp1);
    ScriptReleaseChild(this, m_Exp2);
}

void CMwCmdExpVec2::Run() {
    RunAll({m_Exp1, m_Exp2});
    m_Value = {Coordinate(m_Exp1), Coordinate(m_Exp2)};
}

void CMwCmdExpVec2::Bind(CMwCmdScript* parent) {
    Super::Bind(parent);
    BindAll({m_Exp1, m_Exp2}, parent);
}

void CMwCmdExpVec2::SetThis(CMwNod* nod) {
    SetThisAll({m_Exp1, m_Exp2}, nod);
}

u32 CMwCmdExpVec2::IsEqual(CMwCmdExp* other) {
    if (other->m_ValueKind != s_ValueKind)
        return 0;
    const Vec2& b = static_cast<const CMwCmdExpVec2*>(other)->m_Value;
    const f64 dx = f64(m_Value.x) - b.x, dy = f64(m_Value.y) - b.y;
    return IsBelowEpsilon(dx * dx + dy * dy);
}

void CMwCmdExpVec2::SetValue(const void* value) {
    ScriptCopyValue(m_Value, value);
}

void CMwCmdExpVec2::GetValue(CmdExpValueRecord& record) {
    ScriptRecordValue(record, m_Value);
}

void CMwCmdExpVec2::ToString(CClassicString& text) {
    VectorText(text, {m_Exp1, m_Exp2});
}

void CMwCmdExpVec2::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    const SScriptChildKind kind = ScriptOperandKind<CMwCmdExpNum>();
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Exp1, kind);
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Exp2, kind);
}

// ---------------------------------------------------------------------------------------------
// Vec3

CMwCmdExpVec3::~CMwCmdExpVec3() {
    ScriptReleaseChild(this, m_Exp1);
    ScriptReleaseChild(this, m_Exp2);
    ScriptReleaseChild(this, m_Exp3);
}

void CMwCmdExpVec3::Run() {
    RunAll({m_Exp1, m_Exp2, m_Exp3});
    m_Value = {Coordinate(m_Exp1), Coordinate(m_Exp2), Coordinate(m_Exp3)};
}

void CMwCmdExpVec3::Bind(CMwCmdScript* parent) {
    Super::Bind(parent);
    BindAll({m_Exp1, m_Exp2, m_Exp3}, parent);
}

void CMwCmdExpVec3::SetThis(CMwNod* nod) {
    SetThisAll({m_Exp1, m_Exp2, m_Exp3}, nod);
}

u32 CMwCmdExpVec3::IsEqual(CMwCmdExp* other) {
    if (other->m_ValueKind != s_ValueKind)
        return 0;
    const Vec3& b = static_cast<const CMwCmdExpVec3*>(other)->m_Value;
    const f64 dx = f64(m_Value.x) - b.x, dy = f64(m_Value.y) - b.y, dz = f64(m_Value.z) - b.z;
    return IsBelowEpsilon(dx * dx + dy * dy + dz * dz);
}

void CMwCmdExpVec3::SetValue(const void* value) {
    ScriptCopyValue(m_Value, value);
}

void CMwCmdExpVec3::GetValue(CmdExpValueRecord& record) {
    ScriptRecordValue(record, m_Value);
}

void CMwCmdExpVec3::ToString(CClassicString& text) {
    VectorText(text, {m_Exp1, m_Exp2, m_Exp3});
}

void CMwCmdExpVec3::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    const SScriptChildKind kind = ScriptOperandKind<CMwCmdExpNum>();
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Exp1, kind);
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Exp2, kind);
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Exp3, kind);
}

// ---------------------------------------------------------------------------------------------
// Iso4

CMwCmdExpIso4::~CMwCmdExpIso4() {
    ScriptReleaseChild(this, m_Exp1);
    ScriptReleaseChild(this, m_Exp2);
    ScriptReleaseChild(this, m_Exp3);
    ScriptReleaseChild(this, m_Exp4);
}

void CMwCmdExpIso4::Run() {
    RunAll({m_Exp1, m_Exp2, m_Exp3, m_Exp4});
    const auto vector = [](const CMwCmdExpVec3* exp) { return exp ? exp->m_Value : Vec3{}; };
    Mat3 r;
    r.SetColumn(0, vector(m_Exp1));
    r.SetColumn(1, vector(m_Exp2));
    r.SetColumn(2, vector(m_Exp3));
    m_Value = Iso4(r, vector(m_Exp4));
}

void CMwCmdExpIso4::Bind(CMwCmdScript* parent) {
    Super::Bind(parent);
    BindAll({m_Exp1, m_Exp2, m_Exp3, m_Exp4}, parent);
}

void CMwCmdExpIso4::SetThis(CMwNod* nod) {
    SetThisAll({m_Exp1, m_Exp2, m_Exp3, m_Exp4}, nod);
}

u32 CMwCmdExpIso4::IsEqual(CMwCmdExp*) {
    return 0;
}

void CMwCmdExpIso4::SetValue(const void* value) {
    ScriptCopyValue(m_Value, value);
}

void CMwCmdExpIso4::GetValue(CmdExpValueRecord& record) {
    ScriptRecordValue(record, m_Value);
}

void CMwCmdExpIso4::ToString(CClassicString&) {
    ClassicLogFormatLine("Iso4 not converted in string");
}

void CMwCmdExpIso4::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    const SScriptChildKind kind = ScriptOperandKind<CMwCmdExpVec3>();
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Exp1, kind);
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Exp2, kind);
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Exp3, kind);
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Exp4, kind);
}

// ---------------------------------------------------------------------------------------------
// Operators

void CMwCmdExpVec2Add::Run() {
    RunOperands([&](const Vec2& a, const Vec2& b) {
        m_Value = {Round(f64(a.x) + b.x), Round(f64(a.y) + b.y)};
    });
}

void CMwCmdExpVec2Sub::Run() {
    RunOperands([&](const Vec2& a, const Vec2& b) {
        m_Value = {Round(f64(a.x) - b.x), Round(f64(a.y) - b.y)};
    });
}

void CMwCmdExpVec2Neg::Run() {
    RunOperand([&](const Vec2& a) { m_Value = {-a.x, -a.y}; });
}

void CMwCmdExpVec2Mult::Run() {
    RunOperands([&](f64 s, const Vec2& a) { m_Value = {Round(s * a.x), Round(s * a.y)}; });
}

void CMwCmdExpVec3Add::Run() {
    RunOperands([&](const Vec3& a, const Vec3& b) {
        m_Value = {Round(f64(a.x) + b.x), Round(f64(a.y) + b.y), Round(f64(a.z) + b.z)};
    });
}

void CMwCmdExpVec3Sub::Run() {
    RunOperands([&](const Vec3& a, const Vec3& b) {
        m_Value = {Round(f64(a.x) - b.x), Round(f64(a.y) - b.y), Round(f64(a.z) - b.z)};
    });
}

void CMwCmdExpVec3Neg::Run() {
    RunOperand([&](const Vec3& a) { m_Value = {-a.x, -a.y, -a.z}; });
}

void CMwCmdExpVec3Mult::Run() {
    RunOperands([&](f64 s, const Vec3& a) {
        m_Value = {Round(s * a.x), Round(s * a.y), Round(s * a.z)};
    });
}

void CMwCmdExpVec3MultIso::Run() {
    RunOperands([&](const Vec3& a, const Iso4& transform) {
        const Iso4Floats t = std::bit_cast<Iso4Floats>(transform);
        f32 p[3];
        for (u32 i = 0; i < 3; ++i)
            p[i] = Round(R(t, i, 0) * a.x + R(t, i, 1) * a.y + R(t, i, 2) * a.z + T(t, i));
        m_Value = {p[0], p[1], p[2]};
    });
}

void CMwCmdExpVec3Product::Run() {
    RunOperands([&](const Vec3& a, const Vec3& b) {
        m_Value = {Round(f64(a.y) * b.z - f64(a.z) * b.y), Round(f64(a.z) * b.x - f64(a.x) * b.z),
                   Round(f64(a.x) * b.y - f64(a.y) * b.x)};
    });
}

void CMwCmdExpIso4Mult::Run() {
    RunOperands([&](const Iso4& first, const Iso4& second) {
        const Iso4Floats a = std::bit_cast<Iso4Floats>(first);
        const Iso4Floats b = std::bit_cast<Iso4Floats>(second);
        Iso4Floats r;
        for (u32 i = 0; i < 3; ++i) {
            for (u32 j = 0; j < 3; ++j)
                r[i * 3 + j] = Round(R(b, i, 0) * R(a, 0, j) + R(b, i, 1) * R(a, 1, j) +
                                     R(b, i, 2) * R(a, 2, j));
            r[9 + i] =
                Round(R(b, i, 0) * T(a, 0) + R(b, i, 1) * T(a, 1) + R(b, i, 2) * T(a, 2) + T(b, i));
        }
        m_Value = std::bit_cast<Iso4>(r);
    });
}

void CMwCmdExpIso4Inverse::Run() {
    RunOperand([&](const Iso4& transform) {
        const Iso4Floats a = std::bit_cast<Iso4Floats>(transform);
        Iso4Floats r;
        for (u32 i = 0; i < 3; ++i) {
            for (u32 j = 0; j < 3; ++j)
                r[i * 3 + j] = a[j * 3 + i];
            r[9 + i] = Round(-(R(a, 0, i) * T(a, 0) + R(a, 1, i) * T(a, 1) + R(a, 2, i) * T(a, 2)));
        }
        m_Value = std::bit_cast<Iso4>(r);
    });
}

void CMwCmdExpNumDotProduct2::Run() {
    RunOperands([&](const Vec2& a, const Vec2& b) {
        m_Value = std::bit_cast<u32>(Round(f64(a.x) * b.x + f64(a.y) * b.y));
    });
}

void CMwCmdExpNumDotProduct3::Run() {
    RunOperands([&](const Vec3& a, const Vec3& b) {
        m_Value = std::bit_cast<u32>(Round(f64(a.x) * b.x + f64(a.y) * b.y + f64(a.z) * b.z));
    });
}
