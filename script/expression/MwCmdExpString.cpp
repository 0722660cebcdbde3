#include "script/expression/MwCmdExpString.h"

#include "core/base/ClassicArchive.h"

#include <cstring>

#define CMWCMDEXPSTRING_MEMBERS(X)                                                                 \
    X(String, 0x0104e000, "String", MW_FIELD(m_String), "String", 0x01, 0x380)
#define CMWCMDEXPSTRING_CHUNKS(X) X(0x0104e000, 3)

MW_DEFINE_CLASS(CMwCmdExpString, MwFactory<CMwCmdExpString>, CMWCMDEXPSTRING_MEMBERS,
                CMWCMDEXPSTRING_CHUNKS);

u32 CMwCmdExpString::IsEqual(CMwCmdExp* other) {
    if (other->m_ValueKind != s_ValueKind)
        return 0;
    const CClassicString& text = static_cast<const CMwCmdExpString*>(other)->m_String;
    return text.GetLength() == m_String.GetLength() &&
           std::memcmp(text.GetText(), m_String.GetText(), m_String.GetLength()) == 0;
}

void CMwCmdExpString::SetValue(const void* value) {
    m_String.Assign(*static_cast<const CClassicString*>(value));
}

void CMwCmdExpString::GetValue(CmdExpValueRecord& record) {
    m_Copy.Assign(m_String);
    record.Value = &m_Copy;
}

void CMwCmdExpString::ToString(CClassicString& text) {
    text.Assign(m_String);
}

void CMwCmdExpString::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId == s_Chunk)
        archive.SerializeStrings(&m_String, 1);
    else
        Super::ArchiveChunk(archive, chunkId);
}
