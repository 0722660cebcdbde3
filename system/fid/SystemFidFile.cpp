#include "system/fid/SystemFidFile.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwVirtualMember.h"
#include "system/fid/SystemFids.h"
#include "system/file/FileSystem.h"
#include "system/file/PathHelpers.h"

#define CSYSTEMFIDFILE_MEMBERS(X)                                                                  \
    X(Natural, 0x0B00A000, "ByteSize", MW_VIRTUAL(""), "Size (Kb)", 0x11, 0x1380)                  \
    X(Natural, 0x0B00A001, "ByteSizeEd", MW_VIRTUAL(""), "Size (variable unit)", 0x11, 0x3F80)     \
    X(Bool, 0x0B00A002, "IsReadOnly", MW_VIRTUAL(""), "Read only", 0x33, 0x3F80)                   \
    X(StringInt, 0x0B00A003, "FileName", MW_FIELD(m_FileName), "File name", 0x01, 0x1380)          \
    X(StringInt, 0x0B00A004, "FullFileName", MW_VIRTUAL(""), "Full filename", 0x11, 0x1380)        \
    X(StringInt, 0x0B00A005, "ShortFileName", MW_VIRTUAL(""), "Short filename", 0x11, 0x1380)      \
    X(Proc, 0x0B00A006, "CopyToFileRelative", MW_VIRTUAL(""), "CopyToFileRelative", 0x22, 0x3F80,  \
      nullptr)

#define CSYSTEMFIDCACHE_CHUNKS(X) X(0x0B016000, 0xFACADE01)

MW_DEFINE_CLASS(CSystemFidFile, MwFactory<CSystemFidFile>, CSYSTEMFIDFILE_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CSystemFidMemory, MwFactory<CSystemFidMemory>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CSystemFidCache, MwFactory<CSystemFidCache>, MW_NO_MEMBERS, CSYSTEMFIDCACHE_CHUNKS);

namespace {

// The refresh bits a file id's Refresh answers to.
constexpr u32 kFileRefreshBits = 0x2 | 0x4;

} // namespace

// ---------------------------------------------------------------------------------------------
// CSystemFidFile

CSystemFidFile::CSystemFidFile() {
    m_Flags = (m_Flags & ~0xFFu) | kSystemFidRefreshBits | kSystemFidReadOnly;
    m_RefFlags = kSystemFidRefFile;
}

bool CSystemFidFile::IsEqual(CSystemFid* other) {
    if (!other || !other->IsKindOf(s_ClassId) || other->m_Folder != m_Folder)
        return false;
    return NamesOneEntry(m_Folder, m_FileName, static_cast<CSystemFidFile*>(other)->m_FileName);
}

void CSystemFidFile::CopyFidFrom(CSystemFid* other) {
    if (!other || other == this)
        return;
    Super::CopyFidFrom(other);
    if (other->IsKindOf(s_ClassId))
        m_FileName = static_cast<CSystemFidFile*>(other)->m_FileName;
    if (m_Folder)
        m_Folder->OnLeafRenamed(this);
    OnNameChanged();
}

void CSystemFidFile::ArchiveName(CClassicArchive& archive) {
    if (m_RefFlags & kSystemFidRefResourceLocal)
        archive.SerializeUInts(&m_ResourceIndex, 1);
    else
        archive.SerializeWideStrings(&m_FileName, 1);
}

bool CSystemFidFile::IsWritable() {
    CClassicWideString path;
    GetFullFileName(path);
    u32 isAFile = 0;
    const u32 readOnly = IsFileReadOnly(path, &isAFile);
    return !isAFile || !readOnly;
}

void CSystemFidFile::OnChanged() {
    Super::OnChanged();
    OnNameChanged();
}

void CSystemFidFile::Refresh(const CClassicWideString* path) {
    if (!(m_Flags & kFileRefreshBits))
        return;
    CClassicWideString own;
    if (!path) {
        GetFullFileName(own);
        path = &own;
    }
    u32 isAFile = 0;
    if (IsFileReadOnly(*path, &isAFile))
        m_Flags |= kSystemFidReadOnly;
    else
        m_Flags &= ~kSystemFidReadOnly;
    if (isAFile)
        m_ByteSize = GetPathFileSize(*path);
    m_Flags &= ~kFileRefreshBits;
}

void CSystemFidFile::SetFileName(CClassicWideStringRef path) {
    CClassicWideString name(path);
    NormalizePathFlags(name, kPathFlagsFile);
    m_FileName = std::move(name);
    if (m_Folder)
        m_Folder->OnLeafRenamed(this);
    OnNameChanged();
}

void CSystemFidFile::GetFullFileName(CClassicWideString& out) {
    if (!m_Folder) {
        out = m_FileName;
        return;
    }
    m_Folder->GetFullDirName(out);
    out.Append(m_FileName);
}

bool CSystemFidFile::GetFileNameRelativeTo(CClassicWideString& out, CSystemFids* ancestor) {
    if (!m_Folder || !m_Folder->GetPathRelativeTo(out, ancestor))
        return false;
    out.Append(m_FileName);
    return true;
}

u32 CSystemFidFile::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        // One string shared by every file id, replaced by the next read.
        static CClassicWideString s_Text;
        switch (member.MemberId) {
            case s_ByteSizeMemberId:
                return MwAnswerValue(out, u32(m_ByteSize >> 10));
            case s_ByteSizeEdMemberId:
                return MwAnswerValue(out, u32(m_ByteSize / SystemFidsSizeUnitDivisor()));
            case s_IsReadOnlyMemberId:
                return MwAnswerValue(out, u32(IsReadOnly()));
            case s_FullFileNameMemberId:
                GetFullFileName(s_Text);
                out->Value = &s_Text;
                return MwParam_Ok;
            case s_ShortFileNameMemberId:
                GetBaseNameOfPath(m_FileName, s_Text);
                out->Value = &s_Text;
                return MwParam_Ok;
            default:
                return MwNotOwnMember;
        }
    });
}

u32 CSystemFidFile::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId == s_IsReadOnlyMemberId)
            return MwParam_Ok;
        return MwNotOwnMember;
    });
}

// ---------------------------------------------------------------------------------------------
// CSystemFidMemory

CSystemFidMemory::CSystemFidMemory() {
    m_RefFlags = kSystemFidRefMemory;
}

CSystemFidMemory::~CSystemFidMemory() {
    if (m_OwnsBuffer)
        delete m_Buffer;
}

bool CSystemFidMemory::IsEqual(CSystemFid* other) {
    return other && other->IsKindOf(s_ClassId) && other->m_Folder == m_Folder &&
           static_cast<CSystemFidMemory*>(other)->m_Buffer == m_Buffer;
}

void CSystemFidMemory::CopyFidFrom(CSystemFid* other) {
    if (!other || other == this)
        return;
    Super::CopyFidFrom(other);
    if (other->IsKindOf(s_ClassId))
        m_Buffer = static_cast<CSystemFidMemory*>(other)->m_Buffer;
}

// ---------------------------------------------------------------------------------------------
// CSystemFidCache

namespace {

void ArchiveRecords(CClassicArchive& archive, CFastBuffer<CSystemFidCache::SRecord>& list) {
    if (archive.m_Writing) {
        u32 count = list.m_Count;
        archive.WriteUInts(&count, 1);
        for (u32 i = 0; i < list.m_Count; ++i) {
            archive.WriteUInts(&list.m_Items[i].m_Number, 1);
            archive.WriteWideStrings(&list.m_Items[i].m_Name, 1);
        }
        return;
    }
    u32 count = 0;
    archive.ReadUInts(&count, 1);
    // Each record takes a few bytes: a count past the bytes left is damaged data.
    archive.CheckReadSize(count, CSystemFidCache::s_MaxRecords);
    list.FreeItems();
    list.Reserve(count);
    list.m_Count = count;
    for (u32 i = 0; i < count; ++i) {
        archive.ReadUInts(&list.m_Items[i].m_Number, 1);
        archive.ReadWideStrings(&list.m_Items[i].m_Name, 1);
    }
}

} // namespace

CSystemFidCache::~CSystemFidCache() {
    m_First.FreeItems();
    m_Second.FreeItems();
}

void CSystemFidCache::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_ChunkId)
        return Super::ArchiveChunk(archive, chunkId);
    ArchiveRecords(archive, m_First);
    ArchiveRecords(archive, m_Second);
}
