#pragma once
// Enumeration expressions (value kind 2): an index into the value names of an enumeration, the
// Enum member of some engine class whose record the node keeps. The plain class is a constant.
//
// Stored: the index and the member id of the enumeration; loading turns the id back into the
// member's record through the class registry, none when no registered class has that member (the
// node then writes member id 0). A record that is not of an Enum member has no names.
#include "script/base/MwCmdScript.h"

struct CMwMemberInfo;
struct CMwMemberInfoEnum;

class CMwCmdExpEnum : public CMwCmdExp {
    MW_DECLARE_CLASS(CMwCmdExpEnum, CMwCmdExp, 0x01059000)
public:
    static constexpr i32 s_ValueKind = CmdExpValue_Enum;
    // u32 index, u32 member id of the enumeration.
    static constexpr u32 s_Chunk = 0x01059000;

    CMwCmdExpEnum() { m_ValueKind = s_ValueKind; }

    // The same index; the enumerations are not compared.
    u32 IsEqual(CMwCmdExp* other) override;
    void* GetValuePtr() override { return &m_Value; }
    void SetValue(const void* value) override;
    void* GetResultPtr() override { return &m_Value; }
    void GetValue(CmdExpValueRecord& record) override;
    // The enumeration's name for the index; empty text without enumeration, for an index at or
    // past the names, or for a null name.
    void ToString(CClassicString& text) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // The enumeration's record when it is an Enum member, else null.
    const CMwMemberInfoEnum* GetEnumInfo() const;
    // The enumeration's number of names (0 without one) and the name of an index (null past them).
    u32 GetNameCount() const;
    const char* GetName(u32 index) const;
    // The member id the node stores: its enumeration's, 0 without one.
    u32 GetEnumMemberId() const;
    // Takes the record of the member id (none when the id names no member of a registered class).
    void SetEnumMemberId(u32 memberId);

    // The index.
    u32 m_Value = 0;
    // The record of the Enum member whose names the index selects; not reflected.
    const CMwMemberInfo* m_Enumeration = nullptr;
};
