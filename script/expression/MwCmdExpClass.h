#pragma once
// Class expressions (value kind 1): a nod and the class id that types it. The value holds no
// reference: the nod's life is not tied to the expression (the script's variables and members
// keep their nods alive), so the value may name a nod that is gone. The plain class is the null
// reference typed by its class id: its run sets the value to null.
#include "script/base/MwCmdScript.h"

class CMwCmdExpClass : public CMwCmdExp {
    MW_DECLARE_CLASS(CMwCmdExpClass, CMwCmdExp, 0x01056000)
public:
    static constexpr i32 s_ValueKind = CmdExpValue_Class;
    // u32 class id.
    static constexpr u32 s_Chunk = 0x01056000;

    CMwCmdExpClass() { m_ValueKind = s_ValueKind; }

    void Run() override;
    // The same nod (pointer identity).
    u32 IsEqual(CMwCmdExp* other) override;
    void* GetValuePtr() override { return &m_Value; }
    // Copies the nod pointer at the address; no reference is taken.
    void SetValue(const void* value) override;
    void* GetResultPtr() override { return &m_Value; }
    void GetValue(CmdExpValueRecord& record) override;
    // "Null" for no nod (or a nod that is gone); the text of the nod's name id when its class
    // has one; else "Nod".
    void ToString(CClassicString& text) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // The value: a nod, no reference held.
    CMwNod* m_Value = nullptr;
    u32 m_ClassId = 0;
};
