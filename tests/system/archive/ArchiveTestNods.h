#pragma once
// Nod classes that archive tests and the archive fuzz target save and load: a nod with a few
// values, a list of linked nods (each link a nod reference, holding a reference) and a file-id
// reference, and two kinds of it under the class ids the archive treats apart (file-backed nods
// and bitmaps).
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwId.h"
#include "core/nod/MwNod.h"

#include <vector>

class CSystemFid;

class CArchiveTestNod : public CMwNod {
    MW_DECLARE_CLASS(CArchiveTestNod, CMwNod, 0x0B0F0000)
public:
    static constexpr u32 s_ValueChunk = 0x0B0F0000; // u32, wide string, real
    static constexpr u32 s_LinksChunk = 0x0B0F0001; // skippable: u32 count, nod references
    static constexpr u32 s_FileChunk = 0x0B0F0002;  // a file-id reference
    // The most links one nod reads: more is damaged data.
    static constexpr u32 s_MaxLinks = 0x100000;

    // Reading, a link to a nod whose body is still being read (which would make a cycle of
    // references) fails the read.
    u32 Archive(CClassicArchive& archive) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    // A load under an "Id" record of s_ParamId depends on its value, as an asset's does: the
    // record in force goes into the load set, so the file id keeps it.
    void ApplyParamSets(CSystemParamSet* current, CSystemParamSet* load) override;
    static constexpr CMwId s_ParamId = CMwId(0x0B0F);

    // Appends a link (taking a reference) and returns this nod.
    CArchiveTestNod* Link(CMwNod* nod) {
        m_Links.emplace_back(nod);
        return this;
    }

    u32 m_Value = 0;
    CClassicWideString m_Name;
    f32 m_Real = 0;
    std::vector<CMwNodRef> m_Links;
    // Not held: the folder tree or the archive owns it.
    CSystemFid* m_File = nullptr;
};

// Always saved as a reference of the table when bound to a file.
class CArchiveTestPlugFile : public CArchiveTestNod {
    MW_DECLARE_CLASS(CArchiveTestPlugFile, CArchiveTestNod, 0x09020000)
};

// Held by the archive while a body that refers to it is read.
class CArchiveTestBitmap : public CArchiveTestNod {
    MW_DECLARE_CLASS(CArchiveTestBitmap, CArchiveTestNod, 0x09011000)
};

extern const CMwClassList g_ArchiveTestClassList;
