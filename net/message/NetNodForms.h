#pragma once
// The forms that carry whole nods. Each nod travels as its image: u32 size n, then n bytes, the
// nod saved as a complete binary archive into memory (save flags 0) and loaded back from a
// memory buffer with the full load mode; the memory file id that stood for the buffer is removed
// after each image. A null nod is the empty image (u32 0) and reads back as null, as does an
// image that cannot be loaded (with the archive's log lines); reading goes on with the next one.
//
// Loading an image creates whatever registered class with a factory it names: the archive
// loader's own bounds carry that. Counts and sizes from the wire are checked against the bytes
// left before anything is allocated. A read that throws half-way releases the nods it loaded and
// leaves the form as it found it.
#include "core/base/ClassicString.h"
#include "core/nod/MwId.h"
#include "net/message/NetNod.h"

#include <utility>
#include <vector>

// A list of nods. Nods handed to it for sending are not held; once read from a frame it holds
// one reference to each nod present, given back (last to first) when it goes.
class CNetFormNodsContainer : public CNetNod {
    MW_DECLARE_CLASS(CNetFormNodsContainer, CNetNod, 0x1200a000)
public:
    CNetFormNodsContainer() = default;
    ~CNetFormNodsContainer() override;

    u32 NeedsQueue() override { return 1; }
    // u32 count, then each nod's image.
    u32 Archive(CClassicArchive& archive) override;

    std::vector<CMwNod*> m_Nods;
    // Set once the nods were read from a frame (the form then holds their references).
    u32 m_OwnsReferences = 0;
};

// 52 bytes of the modeling tool's and a name.
struct SNetModelerRecord {
    u8 m_Data[52] = {};
    CMwId m_Name;
};

// The message between the game and a modeling tool. A passive record: it holds no references,
// neither to the nods it sends nor to those it read; whoever receives it takes the nods.
class CNetFormModelerPlugin : public CNetNod {
    MW_DECLARE_CLASS(CNetFormModelerPlugin, CNetNod, 0x1200e000)
public:
    u32 NeedsQueue() override { return 1; }
    u32 IsCompressed() override { return 1; }
    // u32 kind, then by kind: 0 the nod; 1 the nods, the named records, the text pairs; 2 text 1;
    // 3 texts 1 to 3; 5 the nods and the text pairs; any other kind nothing more.
    u32 Archive(CClassicArchive& archive) override;

    u32 m_Kind = 0;
    std::vector<CMwNod*> m_Nods;
    std::vector<SNetModelerRecord> m_Records;
    CClassicString m_Text1;
    CClassicString m_Text2;
    CClassicString m_Text3;
    CMwNod* m_Nod = nullptr;
    std::vector<std::pair<CClassicString, CClassicString>> m_TextPairs;
};

// One nod image, written or read; reading gives the loaded nod (null for an empty image or one
// that does not load) as the loader left it.
void NetArchiveNodImage(CClassicArchive& archive, CMwNod*& nod);
