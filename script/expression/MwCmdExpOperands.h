#pragma once
// The operands of the operator expressions. Each operand is an expression held the way every
// script node holds its children: one counted reference, taken when it is read (ScriptArchive.h)
// and given back at destruction. An operator binds its operands with its own parent (expressions
// pass the block that binds them on, never themselves) and hands the script's object on to them.
//
// Every run reads an operator's operands, so they are required: a null or one of another value
// kind is refused when read, and so is a load whose chunks never gave one (checked after the
// body). A node built without them (created by class id and run through its Run member) runs
// without computing anything.
//
// The two templates stand between an operator class and the plain class of its value kind
// (`Base`); they have no class record of their own. Their operands are read and written, in
// order, in the chunk `OperandChunk`.
#include "script/base/MwCmdScript.h"
#include "script/base/ScriptArchive.h"

// What an operand of class T must be when read: a nod of T's class and, unless T is the
// abstract expression, of T's value kind.
template <class T>
constexpr SScriptChildKind ScriptOperandKind() {
    if constexpr (requires { T::s_ValueKind; })
        return {T::s_ClassId, T::s_ValueKind};
    else
        return {T::s_ClassId};
}

// One operand of class Operand.
template <class Base, class Operand, u32 OperandChunk>
class TMwCmdExpUnary : public Base {
public:
    static constexpr u32 s_OperandChunk = OperandChunk;

    ~TMwCmdExpUnary() override { ScriptReleaseChild(this, m_Operand); }

    void Bind(CMwCmdScript* parent) override {
        Base::Bind(parent);
        if (m_Operand)
            m_Operand->Bind(parent);
    }
    void SetThis(CMwNod* nod) override {
        Base::SetThis(nod);
        if (m_Operand)
            m_Operand->SetThis(nod);
    }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != OperandChunk) {
            Base::ArchiveChunk(archive, chunkId);
            return;
        }
        ScriptArchiveRequiredChild(archive, this, chunkId, m_Operand, ScriptOperandKind<Operand>());
    }
    void OnAfterLoad() override {
        Base::OnAfterLoad();
        if (!m_Operand)
            ScriptInvalidData(this, OperandChunk);
    }

    Operand* m_Operand = nullptr;
};

// Two operands, of classes First and Second.
template <class Base, class First, class Second, u32 OperandChunk>
class TMwCmdExpBinary : public Base {
public:
    static constexpr u32 s_OperandChunk = OperandChunk;

    ~TMwCmdExpBinary() override {
        ScriptReleaseChild(this, m_Value1);
        ScriptReleaseChild(this, m_Value2);
    }

    void Bind(CMwCmdScript* parent) override {
        Base::Bind(parent);
        if (m_Value1)
            m_Value1->Bind(parent);
        if (m_Value2)
            m_Value2->Bind(parent);
    }
    void SetThis(CMwNod* nod) override {
        Base::SetThis(nod);
        if (m_Value1)
            m_Value1->SetThis(nod);
        if (m_Value2)
            m_Value2->SetThis(nod);
    }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != OperandChunk) {
            Base::ArchiveChunk(archive, chunkId);
            return;
        }
        ScriptArchiveRequiredChild(archive, this, chunkId, m_Value1, ScriptOperandKind<First>());
        ScriptArchiveRequiredChild(archive, this, chunkId, m_Value2, ScriptOperandKind<Second>());
    }
    void OnAfterLoad() override {
        Base::OnAfterLoad();
        if (!m_Value1 || !m_Value2)
            ScriptInvalidData(this, OperandChunk);
    }

    bool HasOperands() const { return m_Value1 && m_Value2; }

    First* m_Value1 = nullptr;
    Second* m_Value2 = nullptr;
};
