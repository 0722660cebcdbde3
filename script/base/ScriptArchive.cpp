#include "script/base/ScriptArchive.h"

#include "core/base/ClassicLog.h"
#include "script/base/MwCmdScript.h"

void ScriptInvalidData(CMwNod* owner, u32 chunkId) {
    ClassicLogFormatLine("Script Warning : Invalid script data in %s, chunk 0x%08X",
                         owner->GetClassInfo()->m_Name, chunkId);
    throw CClassicBufferException(kClassicBufferErrorBadData, u"Invalid script data");
}

namespace {

bool FitsKind(CMwNod* child, const SScriptChildKind& kind) {
    if (!child->IsKindOf(kind.ClassId))
        return false;
    if (kind.ValueKind == kScriptAnyValueKind)
        return true;
    return child->IsKindOf(CMwCmdExp::s_ClassId) &&
           static_cast<CMwCmdExp*>(child)->m_ValueKind == kind.ValueKind;
}

bool IsBeingRead(CMwNod* child) {
    return child->IsKindOf(CMwCmdScript::s_ClassId) &&
           static_cast<CMwCmdScript*>(child)->IsBodyBeingRead();
}

} // namespace

void ScriptArchiveChild(CClassicArchive& archive, CMwNod* owner, u32 chunkId, CMwNod*& child,
                        const SScriptChildKind& kind, bool required) {
    if (archive.m_Writing) {
        CMwNod* written = child;
        archive.ArchiveNodRef(written);
        return;
    }
    // A slot is filled once: the nod it holds may still be named by the archive's node table,
    // so it cannot be let go while the read goes on.
    if (child)
        ScriptInvalidData(owner, chunkId);
    CMwNod* read = nullptr;
    archive.ArchiveNodRef(read);
    if (read ? !FitsKind(read, kind) || IsBeingRead(read) || read->GetRefCount() != 0 : required)
        ScriptInvalidData(owner, chunkId);
    if (read)
        read->AddRef();
    child = read;
}

void ScriptReleaseChild(CMwNod* owner, CMwNod*& child) {
    CMwNod* old = child;
    child = nullptr;
    if (!old)
        return;
    if (old->IsKindOf(CMwCmdScript::s_ClassId)) {
        auto* script = static_cast<CMwCmdScript*>(old);
        if (script->m_Parent == owner)
            script->m_Parent = nullptr;
    }
    old->Release();
}

void ScriptArchiveCount(CClassicArchive& archive, CMwNod* owner, u32 chunkId, u32& count,
                        u32 valuesPerItem) {
    archive.SerializeUInts(&count, 1);
    if (archive.m_Writing)
        return;
    bool fits = count <= kScriptMaxItems;
    const CClassicBuffer* stream = archive.GetBuffer();
    if (fits && stream && stream->CanSeek()) {
        const u32 position = stream->GetPosition(), size = stream->GetSize();
        const u64 left = size > position ? size - position : 0;
        const u64 least = u64(count) * valuesPerItem * (archive.m_Text ? 1 : 4);
        fits = least <= left;
    }
    if (!fits)
        ScriptInvalidData(owner, chunkId);
}
