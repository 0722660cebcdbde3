#pragma once
// CPlugFileText, the file-backed nod whose whole content is one narrow text, and the base of
// every GPU program file. A text file has two forms on disk: the plain form (the bytes of the
// text, nothing else) and the enciphered form, chosen by the final extension ".cry": one LZO
// block (u32 uncompressed size, u32 compressed size, LZO1X-1 data) of the text XOR-ed with an
// 8-byte key that depends on the text's length. Loading accepts both forms; saving always writes
// the enciphered one, beside the source.
#include "core/base/ClassicString.h"
#include "plug/bitmap/PlugFile.h"

// The constant the key of an enciphered text is made from. Files written with another value
// cannot be read back.
inline constexpr u64 TextKeyConstant = 0x9E3779B97F4A7C15ull;

// The largest text read in either form unless set.
inline constexpr u32 kPlugFileTextDefaultLimit = 64u << 20;

class CPlugFileText : public CPlugFile {
    MW_DECLARE_CLASS(CPlugFileText, CPlugFile, 0x09041000)
public:
    static constexpr u32 s_TextMemberId = 0x09041000;

    // The body of a text nod inside an archive: m_Text as one narrow string.
    i32 ReadFromArchive(CClassicArchive& archive) override { return ArchiveText(archive); }
    i32 WriteToArchive(CClassicArchive& archive) override { return ArchiveText(archive); }
    i32 ArchiveText(CClassicArchive& archive);

    // The rest of the stream becomes the text: 1 when it was read whole. A size above the limit
    // answers 0 (logged) before anything is allocated; a short read answers 0 and leaves the
    // text as it was.
    i32 ReadFromStream(CClassicBuffer& stream) override;
    // Opens the file directly and reads it: ReadCry for a path ending in ".cry" (any case),
    // ReadFromStream otherwise. A file that cannot be opened answers 0; an empty file answers 1;
    // both leave the text as it was. Logs nothing of its own and gives no default content.
    i32 LoadFromPath(CClassicWideStringRef path) override;
    // Writes the enciphered form to the path with its last extension replaced by ".cry", through
    // a temporary file: 1 once the file is in place, 0 (the old file kept, nothing left behind)
    // when it cannot be created, written or put in place. An empty text gives an empty file. The
    // bound file id then names the new file (or the nod is bound to the file id its folder
    // already has of that name).
    i32 SaveToPath(CClassicWideStringRef path) override;
    // Reads one enciphered block: n, the text's new length, when it decodes to n > 0 bytes; 0
    // with the text as it was for a missing, truncated, oversized or undecodable block and for a
    // block of 0 bytes.
    i32 ReadCry(CClassicBuffer& stream) override;
    // Writes the enciphered form of the text (a copy is enciphered, never m_Text) to the stream:
    // nothing for an empty text. False when the block cannot be written whole.
    bool WriteCry(CClassicBuffer& stream) const;

    // The key for a text of n bytes: TextKeyConstant rotated left by n mod 64, little-endian.
    static void MakeTextKey(u32 n, u8 key[8]);
    // Enciphers or deciphers (the same transform) n bytes of a text of n bytes.
    static void ApplyTextKey(u8* data, u32 n);

    // The largest text read in either form (kPlugFileTextDefaultLimit unless set); answers the
    // limit it replaces. Tests and fuzz targets lower it.
    static u32 SetTextLimit(u32 bytes);
    static u32 GetTextLimit();

    CClassicString m_Text;
};
