#include "tests/system/archive/ArchiveTestNods.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "system/fid/SystemParamSet.h"

#include <algorithm>

namespace {

// The nods whose bodies are being read, innermost last.
std::vector<CMwNod*> s_Reading;

class CReadingScope {
public:
    explicit CReadingScope(CMwNod* nod) { s_Reading.push_back(nod); }
    ~CReadingScope() { s_Reading.pop_back(); }
    CReadingScope(const CReadingScope&) = delete;
    CReadingScope& operator=(const CReadingScope&) = delete;
};

} // namespace

#define CARCHIVETESTNOD_CHUNKS(X) X(0x0B0F0000, 3) X(0x0B0F0001, 0x13) X(0x0B0F0002, 3)
MW_DEFINE_CLASS(CArchiveTestNod, MwFactory<CArchiveTestNod>, MW_NO_MEMBERS, CARCHIVETESTNOD_CHUNKS);
MW_DEFINE_CLASS(CArchiveTestPlugFile, MwFactory<CArchiveTestPlugFile>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CArchiveTestBitmap, MwFactory<CArchiveTestBitmap>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {
constinit CMwClassInfo* const s_Classes[] = {&CArchiveTestNod::s_ClassInfo,
                                             &CArchiveTestPlugFile::s_ClassInfo,
                                             &CArchiveTestBitmap::s_ClassInfo};
} // namespace
constinit const CMwClassList g_ArchiveTestClassList = {s_Classes, 3};

u32 CArchiveTestNod::Archive(CClassicArchive& archive) {
    if (archive.m_Writing)
        return Super::Archive(archive);
    const CReadingScope scope(this);
    return Super::Archive(archive);
}

void CArchiveTestNod::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case s_ValueChunk:
            archive.SerializeUInts(&m_Value, 1);
            archive.SerializeWideStrings(&m_Name, 1);
            archive.SerializeFloats(&m_Real, 1);
            break;
        case s_LinksChunk: {
            u32 count = u32(m_Links.size());
            archive.SerializeUInts(&count, 1);
            if (archive.m_Writing) {
                for (CMwNodRef& link : m_Links) {
                    CMwNod* nod = link.Get();
                    archive.ArchiveNodRef(nod);
                }
                break;
            }
            archive.CheckReadSize(count, s_MaxLinks);
            m_Links.clear();
            m_Links.reserve(count);
            for (u32 i = 0; i < count; ++i) {
                CMwNod* nod = nullptr;
                archive.ArchiveNodRef(nod);
                if (std::find(s_Reading.begin(), s_Reading.end(), nod) != s_Reading.end()) {
                    ClassicLogFormatLine("[Test] A link back to a nod being read");
                    throw CClassicBufferException(kClassicBufferErrorBadData);
                }
                m_Links.emplace_back(nod);
            }
            break;
        }
        case s_FileChunk:
            archive.ArchiveFidRef(m_File);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

void CArchiveTestNod::ApplyParamSets(CSystemParamSet* current, CSystemParamSet* load) {
    CSystemParamId record(s_ParamId);
    if (current && load && current->GetParam(record))
        load->SetParam(record);
}
