#pragma once
// Assignments to a script variable: CMwCmdAffectIdent and its typed forms, one per value kind.
//
// The statement names its variable through an identifier operand (found when the statement is
// bound) and holds the value expression with one reference. A run evaluates the value (unless the
// evaluate flag is clear: the parameter statements of procedures store a value evaluated before
// the call) and stores it into the variable (Store, which the typed forms give: the untyped class
// stores nothing). Every store sets the variable's assigned flag.
//
// The once flag, when the statement was stored with it, makes an initialising assignment: it
// assigns at most once in its life, and not at all when its variable already holds an assigned
// value (set from outside before the script ran, for instance).
//
// A statement bound to no variable (an unknown name) does nothing when it runs; a null value (the
// parameter statements get theirs at each call) stores nothing. A Class value names its nod
// without reference: a nod that is gone is stored as null.
//
// Chunk 0x01032000 (all classes): the identifier's name, the value (optional; the typed forms
// take only an expression of their own value kind), the once flag's presence (bool: true creates
// it, cleared). CMwCmdAffectIdentNum adds 0x01074000: the component selector.
#include "script/base/MwCmdScript.h"
#include "script/base/ScriptArchive.h"
#include "script/operand/MwCmdIdentRef.h"

class CBlockVariable;

class CMwCmdAffectIdent : public CMwCmdInst {
    MW_DECLARE_CLASS(CMwCmdAffectIdent, CMwCmdInst, 0x01032000)
public:
    static constexpr u32 s_ValueMemberId = 0x01032000;
    static constexpr u32 s_Chunk = 0x01032000;

    CMwCmdAffectIdent() : m_Ident(this) {}
    ~CMwCmdAffectIdent() override;

    // The once flag's test, the value's run (with the evaluate flag), then Store.
    void Run() override;
    // Stores the parent, binds the value with the block and finds the variable from it.
    void Bind(CMwCmdScript* parent) override;
    void SetThis(CMwNod* nod) override;
    // Stores the value into the variable; nothing here.
    virtual void Store() {}
    // The value kind the value must have: any here, the typed forms' own.
    virtual i32 GetValueKind() const { return kScriptAnyValueKind; }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Replaces the value (one reference taken on the new one, the old one given back).
    void SetValueExp(CMwCmdExp* value);

    // Member Value (get only).
    CMwCmdExp* m_Value = nullptr;
    // 1 at construction; not stored.
    u32 m_Evaluate = 1;
    // Whether the statement has a once flag, and the flag.
    u32 m_HasOnce = 0;
    u32 m_Once = 0;
    CMwCmdIdentRef m_Ident;

protected:
    // The variable and the value a store works with: false when either is missing or the value
    // is not of the class's kind.
    bool GetStoreOperands(CBlockVariable*& variable, CMwCmdExp*& value);
    // The stores the typed forms share: the value word (Bool, Enum), the floats (Vec2, Vec3, Iso4).
    void StoreWord();
    void StoreFloats(u32 count);
};

// The typed forms: their class id, their kind test and their store.
template <i32 Kind>
class TMwCmdAffectIdentOf : public CMwCmdAffectIdent {
public:
    static constexpr i32 s_ValueKind = Kind;
    i32 GetValueKind() const override { return Kind; }
};

class CMwCmdAffectIdentBool : public TMwCmdAffectIdentOf<CmdExpValue_Bool> {
    MW_DECLARE_CLASS(CMwCmdAffectIdentBool, TMwCmdAffectIdentOf<CmdExpValue_Bool>, 0x01071000)
public:
    // The variable's word takes the value word.
    void Store() override { StoreWord(); }
};

class CMwCmdAffectIdentClass : public TMwCmdAffectIdentOf<CmdExpValue_Class> {
    MW_DECLARE_CLASS(CMwCmdAffectIdentClass, TMwCmdAffectIdentOf<CmdExpValue_Class>, 0x01072000)
public:
    // CBlockVariable::SetNod with the value's nod.
    void Store() override;
};

class CMwCmdAffectIdentIso4 : public TMwCmdAffectIdentOf<CmdExpValue_Iso4> {
    MW_DECLARE_CLASS(CMwCmdAffectIdentIso4, TMwCmdAffectIdentOf<CmdExpValue_Iso4>, 0x01073000)
public:
    // The 12 floats into the variable's value object (made when missing).
    void Store() override { StoreFloats(12); }
};

class CMwCmdAffectIdentNum : public TMwCmdAffectIdentOf<CmdExpValue_Num> {
    MW_DECLARE_CLASS(CMwCmdAffectIdentNum, TMwCmdAffectIdentOf<CmdExpValue_Num>, 0x01074000)
public:
    // The component selector, u32.
    static constexpr u32 s_ComponentChunk = 0x01074000;

    // Selector -1, the whole value: an Int variable keeps an Int value and takes a Float truncated
    // toward zero (NaN or out of range: -2147483648); any other variable takes the value as a
    // float (an Int converted) into its word, its type unchanged. Selector 0 or more: the value as
    // a float into that component of a Vec2 (0, 1), Vec3 (0 to 2) or Iso4 variable (0 to 11 in
    // storage order: the 3x3 part row by row, then the translation), whose value object is made,
    // zero-filled, when missing; another selector or type stores nothing. Assigned is set in
    // every case.
    void Store() override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    i32 m_Component = -1;
};

class CMwCmdAffectIdentString : public TMwCmdAffectIdentOf<CmdExpValue_String> {
    MW_DECLARE_CLASS(CMwCmdAffectIdentString, TMwCmdAffectIdentOf<CmdExpValue_String>, 0x01075000)
public:
    // The variable's string (made when missing) takes the text.
    void Store() override;
};

class CMwCmdAffectIdentVec2 : public TMwCmdAffectIdentOf<CmdExpValue_Vec2> {
    MW_DECLARE_CLASS(CMwCmdAffectIdentVec2, TMwCmdAffectIdentOf<CmdExpValue_Vec2>, 0x01076000)
public:
    void Store() override { StoreFloats(2); }
};

class CMwCmdAffectIdentVec3 : public TMwCmdAffectIdentOf<CmdExpValue_Vec3> {
    MW_DECLARE_CLASS(CMwCmdAffectIdentVec3, TMwCmdAffectIdentOf<CmdExpValue_Vec3>, 0x01077000)
public:
    void Store() override { StoreFloats(3); }
};

class CMwCmdAffectIdentEnum : public TMwCmdAffectIdentOf<CmdExpValue_Enum> {
    MW_DECLARE_CLASS(CMwCmdAffectIdentEnum, TMwCmdAffectIdentOf<CmdExpValue_Enum>, 0x010a5000)
public:
    // As the Bool assignment: the variable's word takes the index.
    void Store() override { StoreWord(); }
};
