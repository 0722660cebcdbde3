#pragma once
// Assignments to a member of a nod: CMwCmdAffectParam and its typed forms, one per value kind.
//
// The statement reaches the member through a member-path operand and holds the value expression
// (required when loaded) with one reference. A run evaluates the value, runs the path's index
// expressions, walks the path (CMwCmdParamPath::Resolve) and, when the member can be accessed,
// writes the value there (Store, which the typed forms give: the untyped class writes nothing).
// The write is CMwNod::SetParam on the reached nod along the last segment, with the address of a
// copy of the value (a Class value: the nod itself). Whatever the member's flags or kind refuse is
// left unwritten (CMwCmdParamPath::Write).
//
// Number kind: which Num a CMwCmdAffectParamNum writes (0 and 1 a 32-bit integer, 2 a float,
// anything else nothing), and for CMwCmdAffectParamString (11) that the member holds a wide text.
// The reserved word is stored and not used.
//
// Chunks: 0x01033000 (read only): the operand in its older form, the value, the number kind, the
// reserved word; 0x01033001: the same with the operand in its current form.
#include "script/base/MwCmdScript.h"
#include "script/base/ScriptArchive.h"
#include "script/operand/MwCmdParamPath.h"

class CMwCmdAffectParam : public CMwCmdInst {
    MW_DECLARE_CLASS(CMwCmdAffectParam, CMwCmdInst, 0x01033000)
public:
    static constexpr u32 s_OldChunk = 0x01033000;
    static constexpr u32 s_Chunk = 0x01033001;
    // The number kind of a String assignment into a member holding a wide text.
    static constexpr u32 s_WideStringKind = 11;

    CMwCmdAffectParam() : m_Param(this) {}
    ~CMwCmdAffectParam() override;

    // The value's run, RunIndexes, Resolve, then Store.
    void Run() override;
    // Stores the parent, binds the value and the operand with the block.
    void Bind(CMwCmdScript* parent) override;
    void SetThis(CMwNod* nod) override;
    // Writes the value to the reached member; nothing here.
    virtual void Store() {}
    // The value kind the value must have: any here, the typed forms' own.
    virtual i32 GetValueKind() const { return kScriptAnyValueKind; }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    // A load whose chunks gave no operand and value is invalid data.
    void OnAfterLoad() override;

    // Replaces the value (one reference taken on the new one, the old one given back).
    void SetValueExp(CMwCmdExp* value);

    CMwCmdParamPath m_Param;
    CMwCmdExp* m_Value = nullptr;
    u32 m_NumberKind = 0xFFFFFFFF;
    u32 m_Reserved = 0;

protected:
    // The value when it is there and of the class's kind, else null.
    CMwCmdExp* GetStoreValue();
    // The write of plain bytes of the value (Bool and Enum: its word; Vec2, Vec3, Iso4: its
    // floats), from a copy.
    void StorePlain(u32 size);
};

template <i32 Kind>
class TMwCmdAffectParamOf : public CMwCmdAffectParam {
public:
    static constexpr i32 s_ValueKind = Kind;
    i32 GetValueKind() const override { return Kind; }
};

class CMwCmdAffectParamBool : public TMwCmdAffectParamOf<CmdExpValue_Bool> {
    MW_DECLARE_CLASS(CMwCmdAffectParamBool, TMwCmdAffectParamOf<CmdExpValue_Bool>, 0x01078000)
public:
    void Store() override;
};

class CMwCmdAffectParamClass : public TMwCmdAffectParamOf<CmdExpValue_Class> {
    MW_DECLARE_CLASS(CMwCmdAffectParamClass, TMwCmdAffectParamOf<CmdExpValue_Class>, 0x01079000)
public:
    // The nod itself (null for a nod that is gone).
    void Store() override;
};

class CMwCmdAffectParamEnum : public TMwCmdAffectParamOf<CmdExpValue_Enum> {
    MW_DECLARE_CLASS(CMwCmdAffectParamEnum, TMwCmdAffectParamOf<CmdExpValue_Enum>, 0x0107a000)
public:
    void Store() override;
};

class CMwCmdAffectParamIso4 : public TMwCmdAffectParamOf<CmdExpValue_Iso4> {
    MW_DECLARE_CLASS(CMwCmdAffectParamIso4, TMwCmdAffectParamOf<CmdExpValue_Iso4>, 0x0107b000)
public:
    void Store() override;
};

class CMwCmdAffectParamNum : public TMwCmdAffectParamOf<CmdExpValue_Num> {
    MW_DECLARE_CLASS(CMwCmdAffectParamNum, TMwCmdAffectParamOf<CmdExpValue_Num>, 0x0107c000)
public:
    // Number kind 0 and 1: a 32-bit integer (an Int unchanged, a Float truncated toward zero, NaN
    // or out of range -2147483648); 2: a float (an Int converted); any other: nothing.
    void Store() override;
};

class CMwCmdAffectParamString : public TMwCmdAffectParamOf<CmdExpValue_String> {
    MW_DECLARE_CLASS(CMwCmdAffectParamString, TMwCmdAffectParamOf<CmdExpValue_String>, 0x0107d000)
public:
    // A copy of the text; with number kind 11 a wide text made from it (UTF-8 when it begins with
    // EF BB BF, else one character per byte).
    void Store() override;
};

class CMwCmdAffectParamVec2 : public TMwCmdAffectParamOf<CmdExpValue_Vec2> {
    MW_DECLARE_CLASS(CMwCmdAffectParamVec2, TMwCmdAffectParamOf<CmdExpValue_Vec2>, 0x0107e000)
public:
    void Store() override;
};

class CMwCmdAffectParamVec3 : public TMwCmdAffectParamOf<CmdExpValue_Vec3> {
    MW_DECLARE_CLASS(CMwCmdAffectParamVec3, TMwCmdAffectParamOf<CmdExpValue_Vec3>, 0x0107f000)
public:
    void Store() override;
};
