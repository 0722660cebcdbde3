#pragma once
// String expressions (value kind 5): a narrow text. The plain class is a constant holding the
// text it was loaded with; the string operations derive from it.
#include "core/base/ClassicString.h"
#include "script/base/MwCmdScript.h"

class CMwCmdExpString : public CMwCmdExp {
    MW_DECLARE_CLASS(CMwCmdExpString, CMwCmdExp, 0x0104e000)
public:
    static constexpr i32 s_ValueKind = CmdExpValue_String;
    static constexpr u32 s_StringMemberId = 0x0104e000;
    // The text.
    static constexpr u32 s_Chunk = 0x0104e000;

    CMwCmdExpString() { m_ValueKind = s_ValueKind; }

    // The same length and the same bytes, case included.
    u32 IsEqual(CMwCmdExp* other) override;
    void* GetValuePtr() override { return &m_String; }
    // Copies the text of the CClassicString at the address.
    void SetValue(const void* value) override;
    void* GetResultPtr() override { return &m_String; }
    // Copies the text into the node's second string and points the record at it.
    void GetValue(CmdExpValueRecord& record) override;
    void ToString(CClassicString& text) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Member String (get only): the value.
    CClassicString m_String;
    // The copy GetValue hands out, valid until the node runs or hands out a copy again.
    CClassicString m_Copy;
};
