#pragma once
// Vector and matrix expressions: the geometric value kinds of the script VM. A Vec2 (value kind
// 6) and a Vec3 (7) are vectors of floats; an Iso4 (3) is a rigid transform, a 3x3 rotation R
// (stored row by row) and a translation t, mapping a point p to R p + t.
//
// The plain classes build their value from component expressions at every run: the plain vectors
// from Num components (an Int converted to the nearest float, any other type's word taken as a
// float), the plain Iso4 from four Vec3 expressions, the images of the X, Y and Z axes (the
// columns of R) and the translation. A component or operand that is missing counts as 0.
//
// The operators derive from the plain class of their value kind, whose own components they leave
// null, or from CMwCmdExpNum for the dot products. They run the first operand and copy its value,
// run the second, and compute in double precision, each result component rounded once to a
// float. A dot product writes its float into the Num word and keeps the node's type word.
//
// Two vectors are equal when their squared distance, computed in double, is strictly below
// kScriptVecEpsilonSq; two Iso4 values never are. A vector's text is made from its components'
// texts, "[" + each component's text, separated by "," + "]": a computed vector, which has no
// components, shows "[,]" or "[,,]" whatever its value.
#include "core/math/Iso.h"
#include "script/expression/MwCmdExpNum.h"

#include <type_traits>

// 0.00001 squared as a float: the float 0.00001 times itself, rounded to a float once (about
// 9.9999995e-11).
inline constexpr f32 kScriptVecEpsilonSq = 0.00001f * 0.00001f;

class CMwCmdExpVec2 : public CMwCmdExp {
    MW_DECLARE_CLASS(CMwCmdExpVec2, CMwCmdExp, 0x0105c000)
public:
    static constexpr i32 s_ValueKind = CmdExpValue_Vec2;
    // The components, m_Exp1 and m_Exp2.
    static constexpr u32 s_Chunk = 0x0105c000;

    CMwCmdExpVec2() { m_ValueKind = s_ValueKind; }
    ~CMwCmdExpVec2() override;

    // Runs each component in order, then takes each coordinate from its component.
    void Run() override;
    // Stores the parent and binds the components that are there with it.
    void Bind(CMwCmdScript* parent) override;
    void SetThis(CMwNod* nod) override;
    u32 IsEqual(CMwCmdExp* other) override;
    void* GetValuePtr() override { return &m_Value; }
    void SetValue(const void* value) override;
    void* GetResultPtr() override { return &m_Value; }
    void GetValue(CmdExpValueRecord& record) override;
    void ToString(CClassicString& text) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Members Exp1 and Exp2 (get only).
    CMwCmdExpNum* m_Exp1 = nullptr;
    CMwCmdExpNum* m_Exp2 = nullptr;
    Vec2 m_Value;
};

class CMwCmdExpVec3 : public CMwCmdExp {
    MW_DECLARE_CLASS(CMwCmdExpVec3, CMwCmdExp, 0x0105f000)
public:
    static constexpr i32 s_ValueKind = CmdExpValue_Vec3;
    // The components, m_Exp1 to m_Exp3.
    static constexpr u32 s_Chunk = 0x0105f000;

    CMwCmdExpVec3() { m_ValueKind = s_ValueKind; }
    ~CMwCmdExpVec3() override;

    void Run() override;
    void Bind(CMwCmdScript* parent) override;
    void SetThis(CMwNod* nod) override;
    u32 IsEqual(CMwCmdExp* other) override;
    void* GetValuePtr() override { return &m_Value; }
    void SetValue(const void* value) override;
    void* GetResultPtr() override { return &m_Value; }
    void GetValue(CmdExpValueRecord& record) override;
    void ToString(CClassicString& text) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Members Exp1 to Exp3 (get only).
    CMwCmdExpNum* m_Exp1 = nullptr;
    CMwCmdExpNum* m_Exp2 = nullptr;
    CMwCmdExpNum* m_Exp3 = nullptr;
    Vec3 m_Value;
};

class CMwCmdExpIso4 : public CMwCmdExp {
    MW_DECLARE_CLASS(CMwCmdExpIso4, CMwCmdExp, 0x01062000)
public:
    static constexpr i32 s_ValueKind = CmdExpValue_Iso4;
    // The four operands in order.
    static constexpr u32 s_Chunk = 0x01062000;

    CMwCmdExpIso4() { m_ValueKind = s_ValueKind; }
    ~CMwCmdExpIso4() override;

    // Runs the four operands in order; R takes the first three vectors as its columns, t the
    // fourth.
    void Run() override;
    void Bind(CMwCmdScript* parent) override;
    void SetThis(CMwNod* nod) override;
    // Never equal.
    u32 IsEqual(CMwCmdExp* other) override;
    void* GetValuePtr() override { return &m_Value; }
    void SetValue(const void* value) override;
    void* GetResultPtr() override { return &m_Value; }
    void GetValue(CmdExpValueRecord& record) override;
    // Writes "Iso4 not converted in string" to the log and leaves the text as it was.
    void ToString(CClassicString& text) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // The images of the X, Y and Z axes, then the translation; no members.
    CMwCmdExpVec3* m_Exp1 = nullptr;
    CMwCmdExpVec3* m_Exp2 = nullptr;
    CMwCmdExpVec3* m_Exp3 = nullptr;
    CMwCmdExpVec3* m_Exp4 = nullptr;
    Iso4 m_Value;
};

// ---------------------------------------------------------------------------------------------
// Operators

// The value an operator copies from an operand once it has run: a vector's or a transform's, or
// a Num scale read as a component is.
inline f32 ScriptOperandValue(const CMwCmdExpNum* exp) {
    return script::NumToFloat(exp->GetNum());
}
inline const Vec2& ScriptOperandValue(const CMwCmdExpVec2* exp) {
    return exp->m_Value;
}
inline const Vec3& ScriptOperandValue(const CMwCmdExpVec3* exp) {
    return exp->m_Value;
}
inline const Iso4& ScriptOperandValue(const CMwCmdExpIso4* exp) {
    return exp->m_Value;
}

// An operator whose value kind is Plain's: the plain class's chunk is stored empty (an operator
// has no components; for the dot products it holds the type word only), then the operands under
// OperandChunk. RunOperands runs the first operand and copies its value, runs the second, and
// hands both to the computation.
template <class Plain, class First, class Second, u32 OperandChunk>
class TMwCmdExpVecBinary : public TMwCmdExpBinary<Plain, First, Second, OperandChunk> {
    using Operands = TMwCmdExpBinary<Plain, First, Second, OperandChunk>;

public:
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != Plain::s_Chunk)
            Operands::ArchiveChunk(archive, chunkId);
        else if constexpr (std::is_same_v<Plain, CMwCmdExpNum>)
            archive.SerializeUInts(&this->m_Type, 1);
    }

protected:
    template <class Compute>
    void RunOperands(Compute compute) {
        if (!this->HasOperands())
            return;
        this->m_Value1->Run();
        const auto first = ScriptOperandValue(this->m_Value1);
        this->m_Value2->Run();
        compute(first, ScriptOperandValue(this->m_Value2));
    }
};

template <class Plain, class Operand, u32 OperandChunk>
class TMwCmdExpVecUnary : public TMwCmdExpUnary<Plain, Operand, OperandChunk> {
    using Operands = TMwCmdExpUnary<Plain, Operand, OperandChunk>;

public:
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != Plain::s_Chunk)
            Operands::ArchiveChunk(archive, chunkId);
    }

protected:
    template <class Compute>
    void RunOperand(Compute compute) {
        if (!this->m_Operand)
            return;
        this->m_Operand->Run();
        compute(ScriptOperandValue(this->m_Operand));
    }
};

// A + B.
using CMwCmdExpVec2AddOperands =
    TMwCmdExpVecBinary<CMwCmdExpVec2, CMwCmdExpVec2, CMwCmdExpVec2, 0x01085000>;
class CMwCmdExpVec2Add : public CMwCmdExpVec2AddOperands {
    MW_DECLARE_CLASS(CMwCmdExpVec2Add, CMwCmdExpVec2AddOperands, 0x01085000)
public:
    void Run() override;
};

// A - B.
using CMwCmdExpVec2SubOperands =
    TMwCmdExpVecBinary<CMwCmdExpVec2, CMwCmdExpVec2, CMwCmdExpVec2, 0x01086000>;
class CMwCmdExpVec2Sub : public CMwCmdExpVec2SubOperands {
    MW_DECLARE_CLASS(CMwCmdExpVec2Sub, CMwCmdExpVec2SubOperands, 0x01086000)
public:
    void Run() override;
};

// -A.
using CMwCmdExpVec2NegOperand = TMwCmdExpVecUnary<CMwCmdExpVec2, CMwCmdExpVec2, 0x01087000>;
class CMwCmdExpVec2Neg : public CMwCmdExpVec2NegOperand {
    MW_DECLARE_CLASS(CMwCmdExpVec2Neg, CMwCmdExpVec2NegOperand, 0x01087000)
public:
    void Run() override;
};

// s A: the Num scale s first, read as a component is.
using CMwCmdExpVec2MultOperands =
    TMwCmdExpVecBinary<CMwCmdExpVec2, CMwCmdExpNum, CMwCmdExpVec2, 0x01088000>;
class CMwCmdExpVec2Mult : public CMwCmdExpVec2MultOperands {
    MW_DECLARE_CLASS(CMwCmdExpVec2Mult, CMwCmdExpVec2MultOperands, 0x01088000)
public:
    void Run() override;
};

// A + B.
using CMwCmdExpVec3AddOperands =
    TMwCmdExpVecBinary<CMwCmdExpVec3, CMwCmdExpVec3, CMwCmdExpVec3, 0x01089000>;
class CMwCmdExpVec3Add : public CMwCmdExpVec3AddOperands {
    MW_DECLARE_CLASS(CMwCmdExpVec3Add, CMwCmdExpVec3AddOperands, 0x01089000)
public:
    void Run() override;
};

// A - B.
using CMwCmdExpVec3SubOperands =
    TMwCmdExpVecBinary<CMwCmdExpVec3, CMwCmdExpVec3, CMwCmdExpVec3, 0x0108a000>;
class CMwCmdExpVec3Sub : public CMwCmdExpVec3SubOperands {
    MW_DECLARE_CLASS(CMwCmdExpVec3Sub, CMwCmdExpVec3SubOperands, 0x0108a000)
public:
    void Run() override;
};

// -A.
using CMwCmdExpVec3NegOperand = TMwCmdExpVecUnary<CMwCmdExpVec3, CMwCmdExpVec3, 0x0108b000>;
class CMwCmdExpVec3Neg : public CMwCmdExpVec3NegOperand {
    MW_DECLARE_CLASS(CMwCmdExpVec3Neg, CMwCmdExpVec3NegOperand, 0x0108b000)
public:
    void Run() override;
};

// s A: the Num scale s first, read as a component is.
using CMwCmdExpVec3MultOperands =
    TMwCmdExpVecBinary<CMwCmdExpVec3, CMwCmdExpNum, CMwCmdExpVec3, 0x0108c000>;
class CMwCmdExpVec3Mult : public CMwCmdExpVec3MultOperands {
    MW_DECLARE_CLASS(CMwCmdExpVec3Mult, CMwCmdExpVec3MultOperands, 0x0108c000)
public:
    void Run() override;
};

// The transform T (second) applied to the point A (first): R A + t.
using CMwCmdExpVec3MultIsoOperands =
    TMwCmdExpVecBinary<CMwCmdExpVec3, CMwCmdExpVec3, CMwCmdExpIso4, 0x0108d000>;
class CMwCmdExpVec3MultIso : public CMwCmdExpVec3MultIsoOperands {
    MW_DECLARE_CLASS(CMwCmdExpVec3MultIso, CMwCmdExpVec3MultIsoOperands, 0x0108d000)
public:
    void Run() override;
};

// The cross product A x B.
using CMwCmdExpVec3ProductOperands =
    TMwCmdExpVecBinary<CMwCmdExpVec3, CMwCmdExpVec3, CMwCmdExpVec3, 0x0108e000>;
class CMwCmdExpVec3Product : public CMwCmdExpVec3ProductOperands {
    MW_DECLARE_CLASS(CMwCmdExpVec3Product, CMwCmdExpVec3ProductOperands, 0x0108e000)
public:
    void Run() override;
};

// B applied after A: R = Rb Ra, t = Rb ta + tb. The operands are stored under 0x01063000,
// the id of another class, with this class's body.
using CMwCmdExpIso4MultOperands =
    TMwCmdExpVecBinary<CMwCmdExpIso4, CMwCmdExpIso4, CMwCmdExpIso4, 0x01063000>;
class CMwCmdExpIso4Mult : public CMwCmdExpIso4MultOperands {
    MW_DECLARE_CLASS(CMwCmdExpIso4Mult, CMwCmdExpIso4MultOperands, 0x0108f000)
public:
    void Run() override;
};

// The inverse of the rigid transform A: R = Ra transposed (whatever Ra holds), t = -(Ra
// transposed ta). Stored under 0x01063000 as Iso4Mult is.
using CMwCmdExpIso4InverseOperand = TMwCmdExpVecUnary<CMwCmdExpIso4, CMwCmdExpIso4, 0x01063000>;
class CMwCmdExpIso4Inverse : public CMwCmdExpIso4InverseOperand {
    MW_DECLARE_CLASS(CMwCmdExpIso4Inverse, CMwCmdExpIso4InverseOperand, 0x01090000)
public:
    void Run() override;
};

// Ax Bx + Ay By into the Num word, the type word kept. The Num chunk holds the type only; the
// operands are stored under 0x01055000, the id of another class, with this class's body.
using CMwCmdExpNumDotProduct2Operands =
    TMwCmdExpVecBinary<CMwCmdExpNum, CMwCmdExpVec2, CMwCmdExpVec2, 0x01055000>;
class CMwCmdExpNumDotProduct2 : public CMwCmdExpNumDotProduct2Operands {
    MW_DECLARE_CLASS(CMwCmdExpNumDotProduct2, CMwCmdExpNumDotProduct2Operands, 0x01091000)
public:
    void Run() override;
};

// Ax Bx + Ay By + Az Bz, as DotProduct2.
using CMwCmdExpNumDotProduct3Operands =
    TMwCmdExpVecBinary<CMwCmdExpNum, CMwCmdExpVec3, CMwCmdExpVec3, 0x01055000>;
class CMwCmdExpNumDotProduct3 : public CMwCmdExpNumDotProduct3Operands {
    MW_DECLARE_CLASS(CMwCmdExpNumDotProduct3, CMwCmdExpNumDotProduct3Operands, 0x01092000)
public:
    void Run() override;
};
