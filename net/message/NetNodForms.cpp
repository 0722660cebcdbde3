#include "net/message/NetNodForms.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "net/message/NetForms.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"

#include <algorithm>

MW_DEFINE_CLASS(CNetFormNodsContainer, MwFactory<CNetFormNodsContainer>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CNetFormModelerPlugin, MwFactory<CNetFormModelerPlugin>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);

namespace {

// The smallest wire size of one element of each list: a nod image, a text pair, a named record.
constexpr u32 kImageMinSize = 4;
constexpr u32 kPairMinSize = 8;
constexpr u32 kRecordMinSize = 56;
// What a list reserves before its elements arrive; it grows with what is read past that.
constexpr u32 kReserveLimit = 256;

void ReleaseMemoryFid(CClassicBufferMemory& buffer) {
    if (CSystemEngine* engine = GetSystemEngine())
        engine->ReleaseMemoryFid(&buffer);
}

// A u32 count of elements whose wire size is at least `minSize` each: reading checks that that
// many could follow.
void Count(CClassicArchive& archive, u32& count, u32 minSize) {
    archive.SerializeUInts(&count, 1);
    if (!archive.m_Writing)
        archive.CheckReadSize(u32(std::min<u64>(u64(count) * minSize, 0xFFFFFFFF)),
                              kClassicBufferMemoryMaxSize);
}

// Nods loaded by a read that has not ended yet. A read that throws before they are taken gives
// them back: a nod nobody else holds goes with it.
class CLoadedNods {
public:
    CLoadedNods() = default;
    ~CLoadedNods() {
        for (CMwNod* nod : m_Nods)
            if (nod) {
                nod->AddRef();
                nod->Release();
            }
    }
    CLoadedNods(const CLoadedNods&) = delete;
    CLoadedNods& operator=(const CLoadedNods&) = delete;

    // Reads count images; null stands where an image was empty or did not load.
    void Read(CClassicArchive& archive, u32 count) {
        m_Nods.reserve(std::min(count, kReserveLimit));
        for (u32 i = 0; i < count; ++i) {
            CMwNod* nod = nullptr;
            NetArchiveNodImage(archive, nod);
            m_Nods.push_back(nod);
        }
    }
    // The nods as the loader left them; the caller owns them from here.
    std::vector<CMwNod*> Take() { return std::exchange(m_Nods, {}); }

private:
    std::vector<CMwNod*> m_Nods;
};

void WriteNods(CClassicArchive& archive, std::vector<CMwNod*>& nods) {
    u32 count = u32(nods.size());
    archive.SerializeUInts(&count, 1);
    for (CMwNod*& nod : nods)
        NetArchiveNodImage(archive, nod);
}

void ArchivePairs(CClassicArchive& archive,
                  std::vector<std::pair<CClassicString, CClassicString>>& pairs) {
    u32 count = u32(pairs.size());
    Count(archive, count, kPairMinSize);
    if (archive.m_Writing) {
        for (auto& [first, second] : pairs) {
            archive.SerializeStrings(&first, 1);
            archive.SerializeStrings(&second, 1);
        }
        return;
    }
    std::vector<std::pair<CClassicString, CClassicString>> read;
    read.reserve(std::min(count, kReserveLimit));
    for (u32 i = 0; i < count; ++i) {
        auto& [first, second] = read.emplace_back();
        archive.SerializeStrings(&first, 1);
        archive.SerializeStrings(&second, 1);
    }
    pairs = std::move(read);
}

void ArchiveRecords(CClassicArchive& archive, std::vector<SNetModelerRecord>& records) {
    u32 count = u32(records.size());
    Count(archive, count, kRecordMinSize);
    if (archive.m_Writing) {
        for (SNetModelerRecord& record : records) {
            archive.WriteRaw(record.m_Data, sizeof record.m_Data);
            record.m_Name.Archive(archive);
        }
        return;
    }
    std::vector<SNetModelerRecord> read;
    read.reserve(std::min(count, kReserveLimit));
    for (u32 i = 0; i < count; ++i) {
        SNetModelerRecord& record = read.emplace_back();
        archive.ReadRaw(record.m_Data, sizeof record.m_Data);
        record.m_Name.Archive(archive);
    }
    records = std::move(read);
}

} // namespace

void NetArchiveNodImage(CClassicArchive& archive, CMwNod*& nod) {
    CClassicBufferMemory image;
    if (archive.m_Writing) {
        if (nod) {
            // The save binds the nod to a memory file id: the nod's own file id is lifted for
            // the save and given back after it, so sending a nod never unbinds it from its file.
            CSystemFid* own = nod->GetFid();
            if (own)
                CSystemEngine::DetachNodAndFid(nod, own);
            CSystemArchive saver;
            if (!saver.SaveToMemory(&image, nod, 0))
                image.Clear();
            ReleaseMemoryFid(image);
            if (own)
                CSystemEngine::AttachNodToFid(nod, own);
        }
        u32 size = image.GetSize();
        archive.SerializeUInts(&size, 1);
        archive.WriteRaw(image.GetData(), size);
        return;
    }
    nod = nullptr;
    u32 size = 0;
    NetArchiveSize(archive, size, kClassicBufferMemoryMaxSize);
    if (size == 0)
        return;
    // The image is taken whole before the loader sees it, so exactly its bytes are consumed.
    u8 chunk[4096];
    for (u32 at = 0; at < size; at += sizeof chunk) {
        const u32 n = std::min<u32>(sizeof chunk, size - at);
        archive.ReadRaw(chunk, n);
        if (image.Write(chunk, n) != n)
            throw CClassicBufferException(kClassicBufferErrorWriteRefused,
                                          u"Nod image refused by the memory stream");
    }
    image.Rewind();
    CSystemArchive loader;
    loader.SetLoadMode(kSystemArchiveLoadFull);
    loader.LoadFromMemory(&image, &nod);
    ReleaseMemoryFid(image);
}

// ---------------------------------------------------------------------------------------------
// Nods container

CNetFormNodsContainer::~CNetFormNodsContainer() {
    if (!m_OwnsReferences)
        return;
    for (auto it = m_Nods.rbegin(); it != m_Nods.rend(); ++it)
        if (*it)
            (*it)->Release();
}

u32 CNetFormNodsContainer::Archive(CClassicArchive& archive) {
    if (archive.m_Writing) {
        WriteNods(archive, m_Nods);
        return 0;
    }
    u32 count = 0;
    Count(archive, count, kImageMinSize);
    CLoadedNods loaded;
    loaded.Read(archive, count);
    // The list becomes exactly the nods read, each held once by the form; references held
    // from an earlier read are given back first.
    std::vector<CMwNod*> nods = loaded.Take();
    for (CMwNod* nod : nods)
        if (nod)
            nod->AddRef();
    if (m_OwnsReferences)
        for (auto it = m_Nods.rbegin(); it != m_Nods.rend(); ++it)
            if (*it)
                (*it)->Release();
    m_Nods = std::move(nods);
    m_OwnsReferences = 1;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Modeling-tool form

u32 CNetFormModelerPlugin::Archive(CClassicArchive& archive) {
    // The numeric locale is not switched around the body: the engine never depends on the
    // process locale (its formatting and parsing are the C locale's by construction), so there
    // is nothing to set, and resetting it would clobber the process's own setting.
    archive.SerializeUInts(&m_Kind, 1);
    switch (m_Kind) {
        case 0:
            NetArchiveNodImage(archive, m_Nod);
            break;
        case 1:
        case 5:
            if (archive.m_Writing) {
                WriteNods(archive, m_Nods);
                if (m_Kind == 1)
                    ArchiveRecords(archive, m_Records);
                ArchivePairs(archive, m_TextPairs);
            } else {
                u32 count = 0;
                Count(archive, count, kImageMinSize);
                CLoadedNods loaded;
                loaded.Read(archive, count);
                if (m_Kind == 1)
                    ArchiveRecords(archive, m_Records);
                ArchivePairs(archive, m_TextPairs);
                m_Nods = loaded.Take();
            }
            break;
        case 2:
            archive.SerializeStrings(&m_Text1, 1);
            break;
        case 3:
            archive.SerializeStrings(&m_Text1, 1);
            archive.SerializeStrings(&m_Text2, 1);
            archive.SerializeStrings(&m_Text3, 1);
            break;
        default: // 4 and any other kind
            break;
    }
    return 0;
}
