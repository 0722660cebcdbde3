#pragma once
// The test classes of the Plug tests: a file-backed class on the ".wav" row of the extension
// table (no class of the system stands there), whose file is the text "wav <value>", and a nod
// that holds references to other nods in a chunk, so that an archive refers to files.
#include "core/nod/MwNod.h"
#include "plug/bitmap/PlugFile.h"
#include "plug/bitmap/PlugFileVideo.h"

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

// A video player that plays frames of its own: each UpdateFrame fills the pixels it is given with
// the bytes (frame number + offset) & 0xFF, and the player's operations are counted.
class CPlugTestVideo : public CPlugFileVideo {
    MW_DECLARE_CLASS(CPlugTestVideo, CPlugFileVideo, 0x09FFE000)
public:
    i32 UpdateFrame(CPlugBitmap* bitmap, u32 zero, u32 nbComp, u32 hasAlpha, u8* pixels,
                    u32 pitch) override;
    void Start(u32 timeMode, u32 looping, u32 third) override;
    void Stop(u32 flag) override;
    void Rewind() override;

    struct SStart {
        u32 TimeMode, Looping, Third;
    };
    std::vector<SStart> m_Starts;
    std::vector<u32> m_Stops;
    u32 m_Rewinds = 0;
    u32 m_Frames = 0;
    // The arguments of the last UpdateFrame.
    CPlugBitmap* m_FrameBitmap = nullptr;
    u32 m_FrameArgs[4] = {};
};

extern const CMwClassList g_PlugTestClassList;
