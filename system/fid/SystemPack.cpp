#include "system/fid/SystemPack.h"

#include "core/nod/MwVirtualMember.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/PlugFileServices.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFidLinks.h"
#include "system/fid/SystemFids.h"
#include "system/file/ClassicBufferFile.h"

#define CSYSTEMPACKDESC_MEMBERS(X)                                                                 \
    X(StringInt, 0x0B015000, "Name", MW_FIELD(m_Name), "Name", 0x01, 0x3F80)                       \
    X(String, 0x0B015001, "Checksum", MW_VIRTUAL(""), "Checksum", 0x11, 0x3F80)                    \
    X(StringInt, 0x0B015002, "FileName", MW_VIRTUAL(""), "FileName", 0x11, 0x3F80)                 \
    X(String, 0x0B015003, "Size", MW_VIRTUAL(""), "Size", 0x11, 0x3F80)                            \
    X(StringInt, 0x0B015004, "LocatorFileName", MW_VIRTUAL(""), "LocatorFileName", 0x11, 0x3F80)   \
    X(String, 0x0B015005, "", MW_FIELD(m_Url), "", 0x01, 0x3F80)                                   \
    X(Bool, 0x0B015006, "AutoUpdate", MW_FIELD(m_AutoUpdate), "AutoUpdate", 0x01, 0x3F80)

MW_DEFINE_CLASS(CSystemPackDesc, nullptr, CSYSTEMPACKDESC_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CSystemPackManager, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

constinit CSystemPackManager* g_SystemPackManager = nullptr;

namespace {

void FullNameOf(CSystemFid* fid, CClassicWideString& out) {
    out.SetLength(0);
    if (fid && fid->IsKindOf(CSystemFidFile::s_ClassId))
        static_cast<CSystemFidFile*>(fid)->GetFullFileName(out);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CSystemPackDesc

CSystemPackDesc::~CSystemPackDesc() {
    ReleaseZip();
    if (m_Fid)
        m_Fid->RemoveDependantIfPresent(this);
    if (m_LocatorFid)
        m_LocatorFid->RemoveDependantIfPresent(this);
}

void CSystemPackDesc::OnDependencyDestroyed(CMwNod* nod) {
    if (nod == m_LocatorFid)
        m_LocatorFid = nullptr;
    if (nod == m_Fid) {
        // The zip's file ids hang beside the pack file: they go with the zip.
        ReleaseZip();
        m_Fid = nullptr;
        m_Folder = nullptr;
        m_ByteSize = 0;
        m_InPackFolder = 0;
    }
}

void CSystemPackDesc::OnDependencyReleased(CMwNod* nod) {
    if (nod == m_Fid || nod == m_LocatorFid)
        return;
    Super::OnDependencyReleased(nod);
}

u32 CSystemPackDesc::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        // One string of each width shared by every descriptor, replaced by the next read.
        static CClassicString s_Text;
        static CClassicWideString s_WideText;
        switch (member.MemberId) {
            case s_ChecksumMemberId:
                s_Text = m_Checksum;
                out->Value = &s_Text;
                return MwParam_Ok;
            case s_FileNameMemberId:
                FullNameOf(m_Fid, s_WideText);
                out->Value = &s_WideText;
                return MwParam_Ok;
            case s_SizeMemberId:
                s_Text.SetLength(0);
                s_Text.AppendFormat("%llu", static_cast<unsigned long long>(m_ByteSize));
                out->Value = &s_Text;
                return MwParam_Ok;
            case s_LocatorFileNameMemberId:
                FullNameOf(m_LocatorFid, s_WideText);
                out->Value = &s_WideText;
                return MwParam_Ok;
            default:
                return MwNotOwnMember;
        }
    });
}

void CSystemPackDesc::SetFid(CSystemFid* fid, u32 keepZipFolder) {
    if (fid == m_Fid)
        return;
    if (keepZipFolder) {
        // The zip's file ids stay installed; only the reference goes.
        if (CMwNod* zip = m_ZipFolderNod) {
            m_ZipFolderNod = nullptr;
            zip->Release();
        }
    } else {
        ReleaseZip();
    }
    // The old file id forgets the descriptor in both cases: it would otherwise tell a
    // descriptor that may be gone by then.
    if (m_Fid)
        m_Fid->RemoveDependantIfPresent(this);
    m_Fid = fid;
    if (!fid) {
        m_ByteSize = 0;
        m_Folder = nullptr;
        m_InPackFolder = 0;
        return;
    }
    fid->AddDependant(this);
    fid->m_Flags |= kSystemFidRefreshBits;
    fid->Refresh(nullptr);
    m_ByteSize = fid->IsKindOf(CSystemFidFile::s_ClassId)
                     ? static_cast<CSystemFidFile*>(fid)->m_ByteSize
                     : 0;
    m_Folder = fid->m_Folder;
    CSystemFids* packFolder = g_SystemPackManager ? g_SystemPackManager->GetPackFolder() : nullptr;
    m_InPackFolder = packFolder && packFolder->FindLeafDeep(fid) ? 1 : 0;
}

void CSystemPackDesc::SetLocatorFid(CSystemFid* fid) {
    if (fid == m_LocatorFid)
        return;
    if (m_LocatorFid && m_LocatorFid != m_Fid)
        m_LocatorFid->RemoveDependantIfPresent(this);
    m_LocatorFid = fid;
    if (fid && fid != m_Fid)
        fid->AddDependant(this);
}

void CSystemPackDesc::TouchDate() {
    m_Date.SetFromSystemTime();
    if (g_SystemPackManager)
        g_SystemPackManager->m_Changed = 1;
}

bool CSystemPackDesc::IsInUse() {
    if (m_Fid && !m_Fid->HasNodOrAliasNod())
        return false;
    CSystemFids* folder = nullptr;
    CSystemFid* file = nullptr;
    GetZipFolder(&folder, &file);
    if (folder) {
        CFastBuffer<CSystemFid*> fids;
        folder->CollectFids(fids, true);
        bool loaded = false;
        for (u32 i = 0; i < fids.m_Count && !loaded; ++i)
            loaded = fids.m_Items[i]->m_Nod != nullptr;
        fids.FreeItems();
        if (loaded)
            TouchDate();
        return loaded;
    }
    if (file) {
        if (!file->HasNodOrAliasNod())
            return false;
        TouchDate();
        return true;
    }
    return g_SystemPackManager && g_SystemPackManager->IsPackDescPending(this);
}

void CSystemPackDesc::GetZipFolder(CSystemFids** folder, CSystemFid** fid) {
    *folder = nullptr;
    *fid = nullptr;
    if (!m_Fid)
        return;
    if (m_ZipFolderNod) {
        *folder = PlugFileServices().GetZipInstallFolder(m_ZipFolderNod);
        return;
    }
    if (!CMwClassRegistry::IsClassKindOf(m_Fid->GetContentClassId(), kPlugFileZipClassId)) {
        *fid = m_Fid;
        return;
    }
    CMwNod* zip = nullptr;
    CMwNod* loader = SystemFidLinks().GetDummyFidLoader();
    if (!loader || !loader->LoadFid(&zip, m_Fid) || !zip)
        return;
    zip->AddRef();
    m_ZipFolderNod = zip;
    *folder = PlugFileServices().InstallZip(zip, m_Fid->m_Folder);
}

void CSystemPackDesc::ReleaseZip() {
    CMwNod* zip = m_ZipFolderNod;
    if (!zip)
        return;
    PlugFileServices().UninstallZip(zip);
    m_ZipFolderNod = nullptr;
    zip->Release();
}

// ---------------------------------------------------------------------------------------------
// CSystemPackManager

CSystemPackManager::~CSystemPackManager() {
    ClearPending();
    ClearPackDescs();
    m_Pending.FreeItems();
    m_Descs.FreeItems();
}

void CSystemPackManager::OnDependencyDestroyed(CMwNod* nod) {
    RemovePendingOf(nod);
}

void CSystemPackManager::OnDependencyReleased(CMwNod* nod) {
    // Without a pending request the base lets go as well; with one, the request goes first.
    RemovePendingOf(nod);
    Super::OnDependencyReleased(nod);
}

CSystemPackDesc* CSystemPackManager::GetPackDescOfFid(CSystemFid* fid) {
    if (!fid)
        return nullptr;
    for (u32 i = 0; i < m_Descs.m_Count; ++i)
        if (m_Descs.m_Items[i]->m_Fid == fid)
            return m_Descs.m_Items[i];
    return nullptr;
}

bool CSystemPackManager::IsPackDescPending(CSystemPackDesc* desc) {
    for (u32 i = 0; i < m_Pending.m_Count; ++i)
        if (m_Pending.m_Items[i].m_Desc == desc)
            return true;
    return false;
}

bool CSystemPackManager::WriteBufferToFile(CClassicStringRef text, CClassicWideStringRef path) {
    CClassicBufferFile file;
    if (!file.Open(path, true, true, false, false))
        return false;
    const bool written = file.Write(text.m_Text, text.m_Length) == text.m_Length;
    // Close discards the temporary file when a write failed.
    return file.Close() && written;
}

CSystemFid* CSystemPackManager::LookUp(CSystemPackDesc* desc, CClassicStringRef name, u32 classId,
                                       u32* missing, u32 insidePack) {
    CSystemFids* folder = nullptr;
    CSystemFid* file = nullptr;
    if (desc) {
        if (m_WaitForPacks && insidePack && !desc->m_Present) {
            *missing = 0;
            return nullptr;
        }
        desc->GetZipFolder(&folder, &file);
    } else if (CSystemEngine* engine = GetSystemEngine()) {
        folder = engine->GetDataFolder();
    }
    if (!folder) {
        if (file) {
            if (CMwClassRegistry::IsClassKindOf(file->GetContentClassId(), classId)) {
                *missing = 0;
                desc->TouchDate();
                return file;
            }
            *missing = 1;
            return nullptr;
        }
        *missing = desc && desc->m_Downloadable ? 0 : 1;
        return nullptr;
    }
    CSystemFid* found = folder->FindFidByBaseName(CClassicWideString(name), classId);
    *missing = found ? 0 : 1;
    if (found && desc)
        desc->TouchDate();
    return found;
}

CSystemFid* CSystemPackManager::ResolveFid(CSystemPackDesc* desc, CClassicStringRef name,
                                           u32 classId, CSystemFid* fallbackFid,
                                           CMwNod* requester) {
    u32 missedInPack = 0;
    CSystemFid* found = LookUp(desc, name, classId, &missedInPack, 1);
    const bool transferring = desc && desc->m_State == CSystemPackDesc::s_StateTransferring;
    if (!found && !missedInPack && m_PackNeededCallback && desc && !transferring)
        m_PackNeededCallback(desc, nullptr);
    if (m_RequesterCallback && m_RequesterCallbackObject && transferring)
        m_RequesterCallback(m_RequesterCallbackObject, desc, requester);
    CSystemFid* other = nullptr;
    if (!found) {
        u32 missedOutside = 0;
        other = LookUp(desc, name, classId, &missedOutside, 0);
    }
    if (!(m_Bypass && desc && desc->m_Bypass)) {
        if (found)
            return found;
        if (other && requester) {
            AddPending(desc, name, classId, other, requester, 1);
            return other;
        }
    }
    if (!missedInPack && requester && fallbackFid)
        AddPending(desc, name, classId, fallbackFid, requester, 0);
    return fallbackFid;
}

void CSystemPackManager::AddPending(CSystemPackDesc* desc, CClassicStringRef name, u32 classId,
                                    CSystemFid* fid, CMwNod* requester, u32 kind) {
    SSystemPackPending record;
    record.m_Desc = desc;
    record.m_Name = CClassicString(name);
    record.m_ClassId = classId;
    record.m_Fid = fid;
    record.m_Requester = requester;
    record.m_Kind = kind;
    m_Pending.Add(record);
    requester->AddDependant(this);
}

bool CSystemPackManager::RemovePendingOf(CMwNod* requester) {
    for (u32 i = 0; i < m_Pending.m_Count; ++i) {
        if (m_Pending.m_Items[i].m_Requester != requester)
            continue;
        CSystemPackDesc* desc = m_Pending.m_Items[i].m_Desc;
        m_Pending.FastRemove(i, 1);
        if (m_PendingRemovedCallback)
            m_PendingRemovedCallback(desc);
        return true;
    }
    return false;
}

void CSystemPackManager::ClearPending() {
    while (m_Pending.m_Count) {
        const SSystemPackPending& record = m_Pending.m_Items[m_Pending.m_Count - 1];
        CSystemPackDesc* desc = record.m_Desc;
        record.m_Requester->RemoveDependantIfPresent(this);
        m_Pending.FastRemove(m_Pending.m_Count - 1, 1);
        if (m_PendingRemovedCallback)
            m_PendingRemovedCallback(desc);
    }
}

void CSystemPackManager::ClearPackDescs() {
    // The list is emptied first: a callback or a release reaching the manager finds it empty.
    CFastBuffer<CSystemPackDesc*> descs = m_Descs;
    m_Descs = CFastBuffer<CSystemPackDesc*>();
    for (u32 i = 0; i < descs.m_Count; ++i) {
        if (m_DescReleaseCallback)
            m_DescReleaseCallback(descs.m_Items[i]);
        descs.m_Items[i]->Release();
    }
    descs.FreeItems();
}

void CSystemPackManager::AddPackDesc(CSystemPackDesc* desc) {
    if (!desc)
        return;
    for (u32 i = 0; i < m_Descs.m_Count; ++i)
        if (m_Descs.m_Items[i] == desc)
            return;
    desc->AddRef();
    m_Descs.Add(desc);
}

// ---------------------------------------------------------------------------------------------
// Dates and ids

u64 PackDateKey(const PackedDateTime& date) {
    const u64 year = date.m_Word0 & 0xFFFF;
    const u64 month = (date.m_Word0 >> 16) & 0xF;
    const u64 day = (date.m_Word0 >> 23) & 0x1F;
    const u64 hour = date.m_Word1 & 0x1F;
    const u64 minute = (date.m_Word1 >> 5) & 0x3F;
    const u64 second = (date.m_Word1 >> 11) & 0x3F;
    const u64 millisecond = (date.m_Word1 >> 17) & 0x3FF;
    return year * 10000000000000ull + month * 100000000000ull + day * 1000000000ull +
           hour * 10000000ull + minute * 100000ull + second * 1000ull + millisecond;
}

i32 ComparePackDescDates(const CSystemPackDesc* a, const CSystemPackDesc* b) {
    const u64 keyA = PackDateKey(a->m_Date);
    const u64 keyB = PackDateKey(b->m_Date);
    return keyA < keyB ? -1 : keyA > keyB ? 1 : 0;
}

bool IsZeroId(u32 id) {
    return id == 0;
}
