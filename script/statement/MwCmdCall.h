#pragma once
// The statements that act on a member without assigning it, through a member-path operand:
// CMwCmdCall writes the member with no value (which runs an Action member's method),
// CMwCmdArrayAdd adds its value to the member (appends to a list) and CMwCmdArrayRemove removes
// from it (a list's element at the position its Num value gives). Each runs the path's index
// expressions and walks the path first (CMwCmdParamPath::Resolve), and does nothing more when the
// member cannot be accessed. The member's flags decide as for any write: a list not open for
// adding or removing is left as it was (CMwCmdParamPath::Write).
//
// Chunks: CMwCmdCall 0x01034000 (read only) the operand in its older form, 0x01034001 in its
// current form; CMwCmdArrayAdd 0x010a0000 (read only) and 0x010a0001, CMwCmdArrayRemove
// 0x010a1000 (read only) and 0x010a1001: the operand in the older or current form, then the value
// (required; a Num for CMwCmdArrayRemove).
#include "script/base/MwCmdScript.h"
#include "script/base/ScriptArchive.h"
#include "script/operand/MwCmdParamPath.h"

// A statement over a member-path operand, whose two chunks hold the operand in the older and the
// current form and then what ArchiveValue reads and writes.
template <u32 OldChunk, u32 Chunk>
class TMwCmdParamInst : public CMwCmdInst {
public:
    static constexpr u32 s_OldChunk = OldChunk;
    static constexpr u32 s_Chunk = Chunk;

    TMwCmdParamInst() : m_Param(this) {}

    // Stores the parent and binds the operand with the block.
    void Bind(CMwCmdScript* parent) override {
        CMwCmdInst::Bind(parent);
        m_Param.Bind(parent);
    }
    void SetThis(CMwNod* nod) override { m_Param.SetThis(nod); }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != OldChunk && chunkId != Chunk) {
            CMwCmdInst::ArchiveChunk(archive, chunkId);
            return;
        }
        if (chunkId == Chunk)
            m_Param.Archive(archive, chunkId);
        else
            m_Param.ArchiveOld(archive, chunkId);
        ArchiveValue(archive, chunkId);
    }
    // A load whose chunks gave no operand (or no value) is invalid data.
    void OnAfterLoad() override {
        CMwCmdInst::OnAfterLoad();
        if (m_Param.m_Segments.m_Count == 0 || !HasValue())
            ScriptInvalidData(this, Chunk);
    }

    CMwCmdParamPath m_Param;

protected:
    virtual void ArchiveValue(CClassicArchive&, u32) {}
    virtual bool HasValue() const { return true; }
};

// The same with a value expression of the kind given, held with one reference.
template <u32 OldChunk, u32 Chunk, i32 ValueKind>
class TMwCmdParamValueInst : public TMwCmdParamInst<OldChunk, Chunk> {
public:
    ~TMwCmdParamValueInst() override { ScriptReleaseChild(this, m_Value); }

    void Bind(CMwCmdScript* parent) override {
        TMwCmdParamInst<OldChunk, Chunk>::Bind(parent);
        if (m_Value)
            m_Value->Bind(parent);
    }
    void SetThis(CMwNod* nod) override {
        if (m_Value)
            m_Value->SetThis(nod);
        this->m_Param.SetThis(nod);
    }
    // Replaces the value (one reference taken on the new one, the old one given back).
    void SetValueExp(CMwCmdExp* value) {
        if (value)
            value->AddRef();
        ScriptReleaseChild(this, m_Value);
        m_Value = value;
    }

    CMwCmdExp* m_Value = nullptr;

protected:
    bool HasValue() const override { return m_Value != nullptr; }
    void ArchiveValue(CClassicArchive& archive, u32 chunkId) override {
        ScriptArchiveRequiredChild(archive, this, chunkId, m_Value,
                                   {CMwCmdExp::s_ClassId, ValueKind});
    }
    // Runs the value, the index expressions and the walk: the value when the member can be
    // accessed, else null.
    CMwCmdExp* RunAndResolve() {
        if (!m_Value)
            return nullptr;
        m_Value->Run();
        return this->m_Param.RunIndexes() && this->m_Param.Resolve() ? m_Value : nullptr;
    }
};

using CMwCmdCallBase = TMwCmdParamInst<0x01034000, 0x01034001>;
class CMwCmdCall : public CMwCmdCallBase {
    MW_DECLARE_CLASS(CMwCmdCall, CMwCmdCallBase, 0x01034000)
public:
    // RunIndexes, Resolve, then SetParam with no value along the last segment.
    void Run() override;
};

using CMwCmdArrayAddBase = TMwCmdParamValueInst<0x010a0000, 0x010a0001, kScriptAnyValueKind>;
class CMwCmdArrayAdd : public CMwCmdArrayAddBase {
    MW_DECLARE_CLASS(CMwCmdArrayAdd, CMwCmdArrayAddBase, 0x010a0000)
public:
    // The value's run, RunIndexes, Resolve, then AddParam with the value: the nod itself for a
    // Class value, else the address of the value.
    void Run() override;
};

using CMwCmdArrayRemoveBase = TMwCmdParamValueInst<0x010a1000, 0x010a1001, CmdExpValue_Num>;
class CMwCmdArrayRemove : public CMwCmdArrayRemoveBase {
    MW_DECLARE_CLASS(CMwCmdArrayRemove, CMwCmdArrayRemoveBase, 0x010a1000)
public:
    // The value's run, RunIndexes, Resolve, then SubParam with the address of the Num's word.
    void Run() override;
};
