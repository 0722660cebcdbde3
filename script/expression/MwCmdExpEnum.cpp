#include "script/expression/MwCmdExpEnum.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicString.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwMemberInfo.h"

#define CMWCMDEXPENUM_CHUNKS(X) X(0x01059000, 3)

MW_DEFINE_CLASS(CMwCmdExpEnum, MwFactory<CMwCmdExpEnum>, MW_NO_MEMBERS, CMWCMDEXPENUM_CHUNKS);

u32 CMwCmdExpEnum::IsEqual(CMwCmdExp* other) {
    if (other->m_ValueKind != s_ValueKind)
        return 0;
    return static_cast<const CMwCmdExpEnum*>(other)->m_Value == m_Value;
}

void CMwCmdExpEnum::SetValue(const void* value) {
    ScriptCopyValue(m_Value, value);
}

void CMwCmdExpEnum::GetValue(CmdExpValueRecord& record) {
    ScriptRecordValue(record, m_Value);
}

void CMwCmdExpEnum::ToString(CClassicString& text) {
    const char* name = GetName(m_Value);
    text.Assign(name ? name : "");
}

const CMwMemberInfoEnum* CMwCmdExpEnum::GetEnumInfo() const {
    return m_Enumeration && m_Enumeration->TypeCode == MwType_Enum
               ? static_cast<const CMwMemberInfoEnum*>(m_Enumeration)
               : nullptr;
}

u32 CMwCmdExpEnum::GetNameCount() const {
    const CMwMemberInfoEnum* info = GetEnumInfo();
    return info && info->EnumNames ? info->EnumCount : 0;
}

const char* CMwCmdExpEnum::GetName(u32 index) const {
    return index < GetNameCount() ? GetEnumInfo()->EnumNames[index] : nullptr;
}

u32 CMwCmdExpEnum::GetEnumMemberId() const {
    return m_Enumeration ? m_Enumeration->MemberId : 0;
}

void CMwCmdExpEnum::SetEnumMemberId(u32 memberId) {
    m_Enumeration = CMwClassRegistry::GetMemberInfo(memberId);
}

void CMwCmdExpEnum::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    u32 memberId = GetEnumMemberId();
    archive.SerializeUInts(&m_Value, 1);
    archive.SerializeUInts(&memberId, 1);
    if (!archive.m_Writing)
        SetEnumMemberId(memberId);
}
