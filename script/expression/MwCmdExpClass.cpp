#include "script/expression/MwCmdExpClass.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicString.h"
#include "core/nod/MwId.h"

#define CMWCMDEXPCLASS_CHUNKS(X) X(0x01056000, 3)

MW_DEFINE_CLASS(CMwCmdExpClass, MwFactory<CMwCmdExpClass>, MW_NO_MEMBERS, CMWCMDEXPCLASS_CHUNKS);

void CMwCmdExpClass::Run() {
    m_Value = nullptr;
}

u32 CMwCmdExpClass::IsEqual(CMwCmdExp* other) {
    if (other->m_ValueKind != s_ValueKind)
        return 0;
    return static_cast<const CMwCmdExpClass*>(other)->m_Value == m_Value;
}

void CMwCmdExpClass::SetValue(const void* value) {
    ScriptCopyValue(m_Value, value);
}

void CMwCmdExpClass::GetValue(CmdExpValueRecord& record) {
    ScriptRecordValue(record, m_Value);
}

void CMwCmdExpClass::ToString(CClassicString& text) {
    // The value holds no reference: a nod destroyed since is not read.
    if (!m_Value || !CMwNod::IsValidNod(m_Value)) {
        text.Assign("Null");
        return;
    }
    if (const CMwId* id = m_Value->GetIdPtr())
        text = id->ToString();
    else
        text.Assign("Nod");
}

void CMwCmdExpClass::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId == s_Chunk)
        archive.SerializeUInts(&m_ClassId, 1);
    else
        Super::ArchiveChunk(archive, chunkId);
}
