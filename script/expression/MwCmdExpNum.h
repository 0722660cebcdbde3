#pragma once
// Number and Boolean expressions: the two scalar value kinds of the script VM and every node that
// computes them.
//
// A Num (value kind 4) is a type word, 0 Int or 1 Float, and a 32-bit value word read as a signed
// integer or a float by the type (ScriptNumbers.h has the arithmetic); a Bool (value kind 0) is a
// 32-bit word, 0 false, any other value true. The plain classes are constants: they keep the
// value they were loaded with. The operators run their operands first, then compute their own
// value, which stays in the node until its next run.
//
// The two-operand operators and comparisons share one layout each: an Add, Sub, Mult, Div or
// Power node is a CMwCmdExpNumBin with its own computation, a Sup, SupEgal, Inf or InfEgal node a
// CMwCmdExpBoolBin. CMwCmdExpSub, CMwCmdExpSup and CMwCmdExpSupEgal are filed in the class tree
// under the plain Num or Bool class while their C++ base, and so their kind test, is the
// two-operand class.
//
// Stored: the constants, Neg, Egal, Diff, And, Or and Not write their current value with their
// type; the other Num classes write the type only. Whatever is stored, the next run replaces.
#include "script/expression/MwCmdExpOperands.h"
#include "script/expression/ScriptNumbers.h"
#include "script/operand/MwCmdFuncCall.h"

#include <bit>
#include <type_traits>

class CMwCmdExpNum : public CMwCmdExp {
    MW_DECLARE_CLASS(CMwCmdExpNum, CMwCmdExp, 0x01046000)
public:
    static constexpr i32 s_ValueKind = CmdExpValue_Num;
    static constexpr u32 s_TypeMemberId = 0x01046000;
    // u32 type, then the value as an i32 for Int or a float for Float, nothing for other types.
    static constexpr u32 s_Chunk = 0x01046000;

    CMwCmdExpNum() { m_ValueKind = s_ValueKind; }

    // Equal types and equal values: as integers for Int, as floats for any other type (a NaN
    // equals nothing). An Int never equals a Float.
    u32 IsEqual(CMwCmdExp* other) override;
    void* GetValuePtr() override { return &m_Value; }
    // Copies the word; the type stays and nothing is converted.
    void SetValue(const void* value) override;
    void* GetResultPtr() override { return &m_Value; }
    // The word, unconverted, in the record's own storage.
    void GetValue(CmdExpValueRecord& record) override;
    // An Int in decimal without grouping; any other type as a float with three significant
    // digits ("%.3g" in the "C" locale).
    void ToString(CClassicString& text) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    script::SNum GetNum() const { return {m_Type, m_Value}; }
    void SetNum(script::SNum value) {
        m_Type = value.Type;
        m_Value = value.Word;
    }
    void SetInt(i32 value) { SetNum({CmdExpNum_Int, std::bit_cast<u32>(value)}); }
    void SetFloat(f32 value) { SetNum({CmdExpNum_Float, std::bit_cast<u32>(value)}); }
    i32 GetInt() const { return std::bit_cast<i32>(m_Value); }
    f32 GetFloat() const { return std::bit_cast<f32>(m_Value); }

    // Member Type (get only). A CmdExpNumType; with another value the arithmetic leaves the node
    // unchanged.
    u32 m_Type = CmdExpNum_Int;
    // The value word.
    u32 m_Value = 0;

protected:
    // The type alone under chunk 0x01046000, as the computed classes store it.
    void ArchiveTypeOnly(CClassicArchive& archive);
};

class CMwCmdExpBool : public CMwCmdExp {
    MW_DECLARE_CLASS(CMwCmdExpBool, CMwCmdExp, 0x0103b000)
public:
    static constexpr i32 s_ValueKind = CmdExpValue_Bool;
    static constexpr u32 s_BoolMemberId = 0x0103b000;
    // The word as a bool.
    static constexpr u32 s_Chunk = 0x0103b000;

    CMwCmdExpBool() { m_ValueKind = s_ValueKind; }

    // The two words are equal.
    u32 IsEqual(CMwCmdExp* other) override;
    void* GetValuePtr() override { return &m_Value; }
    void SetValue(const void* value) override;
    void* GetResultPtr() override { return &m_Value; }
    void GetValue(CmdExpValueRecord& record) override;
    // "True" for any non-zero word, else "False".
    void ToString(CClassicString& text) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Member Bool (get only): 0 false, any other value true.
    u32 m_Value = 0;
};

// ---------------------------------------------------------------------------------------------
// Two Num operands

// Two Num operands: the run runs Value1 and copies its word, runs Value2, then computes from the
// copy and Value2's word (Compute) with the types both operands have at that moment. Shared by
// the operators (over CMwCmdExpNum: the result's type and word) and the comparisons (over
// CMwCmdExpBool: the word 1 or 0).
template <class Base, u32 OperandChunk>
class TMwCmdExpNumPair : public TMwCmdExpBinary<Base, CMwCmdExpNum, CMwCmdExpNum, OperandChunk> {
public:
    void Run() override {
        if (!this->HasOperands())
            return;
        this->m_Value1->Run();
        const u32 first = this->m_Value1->m_Value;
        this->m_Value2->Run();
        Compute(first, this->m_Value2->m_Value);
    }
    // The class's computation; the two-operand bases' own changes nothing.
    virtual void Compute(u32, u32) {}

protected:
    // The operator or comparison by the typing rule (ScriptNumbers.h); nothing when the first
    // operand's type is neither Int nor Float.
    void ComputeOp(script::ENumOp op, u32 first, u32 second) {
        script::SNum result{CmdExpNum_Int, this->m_Value};
        if constexpr (std::is_same_v<Base, CMwCmdExpNum>)
            result.Type = this->m_Type;
        if (!script::ComputeNum(op, {this->m_Value1->m_Type, first},
                                {this->m_Value2->m_Type, second}, result))
            return;
        if constexpr (std::is_same_v<Base, CMwCmdExpNum>)
            this->m_Type = result.Type;
        this->m_Value = result.Word;
    }
};

// The base of the five operators.
using CMwCmdExpNumBinOperands = TMwCmdExpNumPair<CMwCmdExpNum, 0x01053000>;
class CMwCmdExpNumBin : public CMwCmdExpNumBinOperands {
    MW_DECLARE_CLASS(CMwCmdExpNumBin, CMwCmdExpNumBinOperands, 0x01053000)
public:
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
};

class CMwCmdExpAdd : public CMwCmdExpNumBin {
    MW_DECLARE_CLASS(CMwCmdExpAdd, CMwCmdExpNumBin, 0x01039000)
public:
    void Compute(u32 first, u32 second) override { ComputeOp(script::ENumOp::Add, first, second); }
};

class CMwCmdExpSub : public CMwCmdExpNumBin {
    MW_DECLARE_CLASS(CMwCmdExpSub, CMwCmdExpNumBin, 0x0104b000)
public:
    void Compute(u32 first, u32 second) override { ComputeOp(script::ENumOp::Sub, first, second); }
};

class CMwCmdExpMult : public CMwCmdExpNumBin {
    MW_DECLARE_CLASS(CMwCmdExpMult, CMwCmdExpNumBin, 0x01043000)
public:
    void Compute(u32 first, u32 second) override { ComputeOp(script::ENumOp::Mult, first, second); }
};

class CMwCmdExpDiv : public CMwCmdExpNumBin {
    MW_DECLARE_CLASS(CMwCmdExpDiv, CMwCmdExpNumBin, 0x0103f000)
public:
    void Compute(u32 first, u32 second) override { ComputeOp(script::ENumOp::Div, first, second); }
};

class CMwCmdExpPower : public CMwCmdExpNumBin {
    MW_DECLARE_CLASS(CMwCmdExpPower, CMwCmdExpNumBin, 0x0104a000)
public:
    void Compute(u32 first, u32 second) override {
        ComputeOp(script::ENumOp::Power, first, second);
    }
};

// The base of the four comparisons.
using CMwCmdExpBoolBinOperands = TMwCmdExpNumPair<CMwCmdExpBool, 0x01054000>;
class CMwCmdExpBoolBin : public CMwCmdExpBoolBinOperands {
    MW_DECLARE_CLASS(CMwCmdExpBoolBin, CMwCmdExpBoolBinOperands, 0x01054000)
public:
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
};

class CMwCmdExpSup : public CMwCmdExpBoolBin {
    MW_DECLARE_CLASS(CMwCmdExpSup, CMwCmdExpBoolBin, 0x0104c000)
public:
    void Compute(u32 first, u32 second) override { ComputeOp(script::ENumOp::Sup, first, second); }
};

class CMwCmdExpSupEgal : public CMwCmdExpBoolBin {
    MW_DECLARE_CLASS(CMwCmdExpSupEgal, CMwCmdExpBoolBin, 0x0104d000)
public:
    void Compute(u32 first, u32 second) override {
        ComputeOp(script::ENumOp::SupEgal, first, second);
    }
};

class CMwCmdExpInf : public CMwCmdExpBoolBin {
    MW_DECLARE_CLASS(CMwCmdExpInf, CMwCmdExpBoolBin, 0x01041000)
public:
    void Compute(u32 first, u32 second) override { ComputeOp(script::ENumOp::Inf, first, second); }
};

class CMwCmdExpInfEgal : public CMwCmdExpBoolBin {
    MW_DECLARE_CLASS(CMwCmdExpInfEgal, CMwCmdExpBoolBin, 0x01042000)
public:
    void Compute(u32 first, u32 second) override {
        ComputeOp(script::ENumOp::InfEgal, first, second);
    }
};

// ---------------------------------------------------------------------------------------------
// One Num operand

// The negation of its operand (member Value): Int for an Int, otherwise the word read as a float
// and negated, Float.
using CMwCmdExpNegOperand = TMwCmdExpUnary<CMwCmdExpNum, CMwCmdExpNum, 0x01044000>;
class CMwCmdExpNeg : public CMwCmdExpNegOperand {
    MW_DECLARE_CLASS(CMwCmdExpNeg, CMwCmdExpNegOperand, 0x01044000)
public:
    void Run() override;
};

// A function of a Num argument, or (kind 11, without argument) the result of a script function
// through the embedded call operand.
class CMwCmdExpNumFunction : public CMwCmdExpNum {
    MW_DECLARE_CLASS(CMwCmdExpNumFunction, CMwCmdExpNum, 0x01055000)
public:
    // The argument (optional: a call has none), u32 kind, and for kind 11 the call operand.
    static constexpr u32 s_FunctionChunk = 0x01055000;

    CMwCmdExpNumFunction() : m_Call(this) {}
    ~CMwCmdExpNumFunction() override;

    // With an argument: runs it; an Int or Float argument is rounded to a float, the node turns
    // Float and takes the function of it (kind 10 an Int, kinds past 10 nothing more). An argument
    // of another type leaves the node unchanged. Without an argument the value would be the called
    // function's result, when there is a function; the call is not made yet, so the value stays.
    void Run() override;
    // The argument when there is one, otherwise the call's arguments.
    void Bind(CMwCmdScript* parent) override;
    void SetThis(CMwNod* nod) override;
    void OnDependencyDestroyed(CMwNod* nod) override;
    void OnDependencyReleased(CMwNod* nod) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    CMwCmdFuncCall m_Call;
    CMwCmdExpNum* m_Argument = nullptr;
    // A script::ENumFunction.
    u32 m_Kind = script::NumFunction_Call;
};

// ---------------------------------------------------------------------------------------------
// Equality and logic

// Equality of two expressions of any kind (members Value1 and Value2, get and set): Value1's
// comparison of its kind. Operands of different kinds are not equal.
using CMwCmdExpEgalOperands = TMwCmdExpBinary<CMwCmdExpBool, CMwCmdExp, CMwCmdExp, 0x01040000>;
class CMwCmdExpEgal : public CMwCmdExpEgalOperands {
    MW_DECLARE_CLASS(CMwCmdExpEgal, CMwCmdExpEgalOperands, 0x01040000)
public:
    static constexpr u32 s_Value1MemberId = 0x01040000;
    static constexpr u32 s_Value2MemberId = 0x01040001;

    void Run() override;
    // Setting Value1 or Value2 replaces the operand, holding the new one with a reference and
    // giving the old one back; only an expression is taken (else 2, nothing changed). A path that
    // goes on past the member sets the member of the operand it reaches.
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

// Inequality: Egal's comparison, negated.
using CMwCmdExpDiffOperands = TMwCmdExpBinary<CMwCmdExpBool, CMwCmdExp, CMwCmdExp, 0x0103e000>;
class CMwCmdExpDiff : public CMwCmdExpDiffOperands {
    MW_DECLARE_CLASS(CMwCmdExpDiff, CMwCmdExpDiffOperands, 0x0103e000)
public:
    void Run() override;
};

// Value1 false: 0, Value2 not run; else Value2's word, copied as it is (not reduced to 1).
using CMwCmdExpAndOperands =
    TMwCmdExpBinary<CMwCmdExpBool, CMwCmdExpBool, CMwCmdExpBool, 0x0103a000>;
class CMwCmdExpAnd : public CMwCmdExpAndOperands {
    MW_DECLARE_CLASS(CMwCmdExpAnd, CMwCmdExpAndOperands, 0x0103a000)
public:
    void Run() override;
};

// Value1 true: 1, Value2 not run; else Value2's word, copied as it is.
using CMwCmdExpOrOperands =
    TMwCmdExpBinary<CMwCmdExpBool, CMwCmdExpBool, CMwCmdExpBool, 0x01049000>;
class CMwCmdExpOr : public CMwCmdExpOrOperands {
    MW_DECLARE_CLASS(CMwCmdExpOr, CMwCmdExpOrOperands, 0x01049000)
public:
    void Run() override;
};

// 1 when the operand's word is 0, else 0.
using CMwCmdExpNotOperand = TMwCmdExpUnary<CMwCmdExpBool, CMwCmdExpBool, 0x01045000>;
class CMwCmdExpNot : public CMwCmdExpNotOperand {
    MW_DECLARE_CLASS(CMwCmdExpNot, CMwCmdExpNotOperand, 0x01045000)
public:
    void Run() override;
};
