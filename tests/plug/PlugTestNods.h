#pragma once
// The test classes of the Plug tests: a file-backed class on the ".wav" row of the extension
// table (no class of the system stands there), whose file is the text "wav <value>", and a nod
// that holds references to other nods in a chunk, so that an archive refers to files.
#include "core/nod/MwNod.h"
#include "plug/bitmap/PlugFile.h"

#include <vector>

class CPlugTestWav : public CPlugFile {
    MW_DECLARE_CLASS(CPlugTestWav, CPlugFile, 0x09031000)
public:
    // What a read does.
    enum EReadMode : u32 {
        ReadText,         // "wav <value>" gives the value; anything else answers 0
        ReadThrowsText,   // throws std::runtime_error("bad header")
        ReadThrowsBuffer, // throws CClassicBufferException, as a stream that ran short
    };
    // What a write does.
    enum EWriteMode : u32 {
        WriteText,   // "wav <value>"
        WriteFails,  // writes "wav" and answers 0
        WriteThrows, // writes "wav" and throws std::runtime_error
    };
    static constexpr u32 s_DefaultValue = 77;

    i32 ReadFromArchive(CClassicArchive& archive) override;
    i32 WriteToArchive(CClassicArchive& archive) override;
    i32 CreateDefault() override;
    i32 ReadFromStream(CClassicBuffer& stream) override;
    i32 WriteToStream(CClassicBuffer& stream) override;

    u32 m_Value = 0;
    u32 m_ReadMode = ReadText;
    u32 m_WriteMode = WriteText;
    // CreateDefault sets s_DefaultValue and answers this.
    i32 m_DefaultResult = 1;
    u32 m_Defaults = 0;
    u32 m_Reads = 0;
};

// Holds its links (one reference each) and archives them as nod references.
class CPlugTestHolder : public CMwNod {
    MW_DECLARE_CLASS(CPlugTestHolder, CMwNod, 0x09FFF000)
public:
    static constexpr u32 s_LinksChunk = 0x09FFF000;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    std::vector<CMwNodRef> m_Links;
};

extern const CMwClassList g_PlugTestClassList;
