#include "plug/gpu/PlugFileText.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/PathHelpers.h"

#include <cstring>
#include <new>

#define CPLUGFILETEXT_MEMBERS(X) X(String, 0x09041000, "Text", MW_FIELD(m_Text), "Text", 0x3, 0x380)

MW_DEFINE_CLASS(CPlugFileText, MwFactory<CPlugFileText>, CPLUGFILETEXT_MEMBERS, MW_NO_CHUNKS);

namespace {

u32 s_TextLimit = kPlugFileTextDefaultLimit;

// Binds the nod to the file id of the saved file: the bound file id takes the new name, unless
// its folder already has a file id of that name, which then takes the nod.
void RebindToSavedFile(CMwNod* nod, CClassicWideStringRef savedPath) {
    CSystemFid* fid = nod->GetFid();
    if (!fid || !fid->IsKindOf(CSystemFidFile::s_ClassId))
        return;
    auto* file = static_cast<CSystemFidFile*>(fid);
    CClassicWideString name;
    GetFileNameOfPath(savedPath, name);
    if (!file->m_Folder) {
        // Not placed: the name keeps whatever folder it had.
        CClassicWideString folder;
        GetFolderOfPath(file->m_FileName, folder);
        folder.Append(name);
        file->SetFileName(folder);
        return;
    }
    CSystemFid* twin = file->m_Folder->FindFid(name, false);
    if (twin == fid)
        return;
    if (twin) {
        CSystemEngine::AttachNodToFid(nod, twin);
        return;
    }
    file->SetFileName(name);
    file->OnChanged();
}

} // namespace

u32 CPlugFileText::SetTextLimit(u32 bytes) {
    const u32 old = s_TextLimit;
    s_TextLimit = bytes;
    return old;
}

u32 CPlugFileText::GetTextLimit() {
    return s_TextLimit;
}

void CPlugFileText::MakeTextKey(u32 n, u8 key[8]) {
    const u32 shift = n % 64;
    const u64 rotated = shift == 0 ? TextKeyConstant
                                   : (TextKeyConstant << shift) | (TextKeyConstant >> (64 - shift));
    for (u32 i = 0; i < 8; ++i)
        key[i] = u8(rotated >> (8 * i));
}

namespace {

// to[i] = from[i] XOR key[i mod 8] for the n bytes of a text of n bytes (to may be from), eight
// bytes at a time: the key starts again at every multiple of 8.
void CopyWithTextKey(u8* to, const u8* from, u32 n) {
    u8 key[8];
    CPlugFileText::MakeTextKey(n, key);
    u64 word;
    std::memcpy(&word, key, 8);
    u32 i = 0;
    for (; i + 8 <= n; i += 8) {
        u64 block;
        std::memcpy(&block, from + i, 8);
        block ^= word;
        std::memcpy(to + i, &block, 8);
    }
    for (; i < n; ++i)
        to[i] = from[i] ^ key[i % 8];
}

} // namespace

void CPlugFileText::ApplyTextKey(u8* data, u32 n) {
    CopyWithTextKey(data, data, n);
}

i32 CPlugFileText::ArchiveText(CClassicArchive& archive) {
    archive.SerializeStrings(&m_Text, 1);
    return 1;
}

i32 CPlugFileText::ReadFromStream(CClassicBuffer& stream) {
    const u32 size = stream.GetSize();
    const u32 position = stream.GetPosition();
    const u32 n = size > position ? size - position : 0;
    if (n > s_TextLimit) {
        ClassicLogFormatLine("Text of %u bytes is larger than %u bytes", n, s_TextLimit);
        return 0;
    }
    CClassicString text;
    if (!text.TryReserve(n, false)) {
        ClassicLogFormatLine("No memory for a text of %u bytes", n);
        return 0;
    }
    text.SetLength(n);
    try {
        if (stream.Read(text.GetText(), n) != n)
            return 0;
    } catch (const CClassicBufferException&) {
        // A strict stream that holds fewer bytes than it said.
        return 0;
    }
    m_Text = std::move(text);
    return 1;
}

i32 CPlugFileText::ReadCry(CClassicBuffer& stream) {
    CClassicBufferMemory* decoded = nullptr;
    try {
        decoded = stream.ReadLzoBlock(s_TextLimit);
    } catch (const CClassicBufferException&) {
        ClassicLogFormatLine("Enciphered text without its block header");
        return 0;
    }
    CClassicPooledBuffer block(decoded);
    if (!decoded)
        return 0;
    const u32 n = decoded->GetSize();
    // An enciphered block that holds no text loads as a failure.
    if (n == 0)
        return 0;
    // The block decoded: nothing can fail past this point but the memory, so the text's own
    // storage is used when it is large enough.
    if (n > m_Text.GetCapacity()) {
        CClassicString text;
        if (!text.TryReserve(n, false)) {
            ClassicLogFormatLine("No memory for a text of %u bytes", n);
            return 0;
        }
        m_Text = std::move(text);
    }
    m_Text.SetLength(n);
    CopyWithTextKey(reinterpret_cast<u8*>(m_Text.GetText()), decoded->GetData(), n);
    return i32(n);
}

bool CPlugFileText::WriteCry(CClassicBuffer& stream) const {
    const u32 n = m_Text.GetLength();
    if (n == 0)
        return true;
    CClassicPooledBuffer copy;
    try {
        copy->Grow(n);
    } catch (const CClassicBufferException&) {
        return false;
    }
    CopyWithTextKey(copy->GetData(), reinterpret_cast<const u8*>(m_Text.GetText()), n);
    return stream.WriteLzoBlock(*copy.Get());
}

i32 CPlugFileText::LoadFromPath(CClassicWideStringRef path) {
    CClassicBufferFile file;
    if (!file.Open(path, false, false, false, false)) {
        SetLoadFailed(true);
        return 0;
    }
    if (file.GetSize() == 0) {
        SetLoadFailed(false);
        return 1;
    }
    i32 result = 0;
    try {
        result = PathEndsWith(path, ".cry") ? ReadCry(file) : ReadFromStream(file);
    } catch (const std::bad_alloc&) {
        ClassicLogFormatLine("No memory to load a text");
        result = 0;
    }
    SetLoadFailed(result == 0);
    return result;
}

i32 CPlugFileText::SaveToPath(CClassicWideStringRef path) {
    CClassicWideString target;
    RemoveLastExtension(path, target);
    target.Append(u".cry");

    CClassicBufferFile file;
    if (!file.Open(target, true, true, false, false))
        return 0;
    bool written = false;
    try {
        written = WriteCry(file);
    } catch (const std::bad_alloc&) {
        written = false;
    }
    if (!written)
        file.Discard();
    if (!written || !file.Close()) {
        g_ClassicLogLine.Assign("Failed to save ");
        ClassicLogAppendWideText(g_ClassicLogLine, target);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLine();
        return 0;
    }
    RebindToSavedFile(this, target);
    return 1;
}
