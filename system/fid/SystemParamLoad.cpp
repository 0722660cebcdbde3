#include "system/fid/SystemParamLoad.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwNod.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFidLinks.h"
#include "system/fid/SystemFids.h"

namespace {

// The number of the next alias file id, for the whole process.
constinit u32 s_AliasNumber = 0;

} // namespace

u32 CSystemParamLoad::GetNextAliasNumber() {
    return s_AliasNumber;
}

void CSystemParamLoad::AddUseFileClass(u32 classId) {
    for (u32 i = 0; i < m_UseFileClasses.m_Count; ++i)
        if (m_UseFileClasses.m_Items[i] == classId)
            return;
    m_UseFileClasses.Add(classId);
}

CSystemFid* CSystemParamLoad::MakeAlias(CSystemFid* master, const CSystemParamSet& current) {
    const CClassicWideString& fileName = master->IsKindOf(CSystemFidFile::s_ClassId)
                                             ? static_cast<CSystemFidFile*>(master)->m_FileName
                                             : g_ClassicWideStringEmpty;
    CClassicWideString number, name;
    number.AppendFormat("%u", s_AliasNumber);
    name.Format2(u"%1?%2", fileName, number);
    CSystemEngine* engine = GetSystemEngine();
    CSystemFid* alias = engine ? engine->GetFileFid(master->m_Folder, name, nullptr) : nullptr;
    if (!alias || alias == master) {
        CClassicString narrow;
        name.GetAscii(narrow);
        ClassicLogFormatLine("[Sys] No alias file id \"%s\": the load goes to the file's own",
                             narrow.GetText());
        return nullptr;
    }
    ++s_AliasNumber;
    // The file's own file id is what later lookups of the file find, and through it the alias:
    // it stays in its folder even while no nod is bound to it.
    if (master->m_Folder)
        master->m_Folder->AddLeafIfAbsent(master);
    alias->SetLoader(SystemFidLinks().GetDummyFidLoader());
    const u32 classId = master->GetContentClassId();
    alias->m_ContentClassId = classId;
    alias->m_ParamSet.Assign(current);
    alias->m_ParamSet.Compact(classId);
    master->AddAlias(alias);
    return alias;
}

CSystemFid* CSystemParamLoad::Prepare(CSystemFid* current, CMwNod* nod) {
    m_LoadSet = nullptr;
    if (!current)
        return nullptr;
    CSystemFid* fid = current;
    // A file on disk (flags 1 or 3); resource-local files and memory images take no aliases.
    const u32 flags = current->m_RefFlags;
    if (flags == kSystemFidRefFile || flags == (kSystemFidRefFile | 0x2)) {
        const CSystemParamSet& set = *CurrentParamSet();
        fid = current->FindForParamSet(set);
        if (!fid)
            fid = MakeAlias(current->GetMasterFid(), set);
        if (!fid)
            fid = current;
        m_OwnSet.Assign(CSystemParamSet::s_Default);
        m_LoadSet = &m_OwnSet;
    }
    if (nod)
        CSystemEngine::AttachNodToFidWithParamSet(nod, fid, fid->m_ParamSet);
    return fid;
}

void CSystemParamLoad::Complete(CSystemFid* fid, CMwNod* nod) {
    if (!m_LoadSet) {
        if (fid)
            fid->m_ParamSet.Assign(CSystemParamSet::s_Default);
        return;
    }
    const u32 classId = fid ? fid->GetContentClassId() : CSystemFid::s_UnknownClassId;
    CSystemParamSet& current = *CurrentParamSet();
    for (u32 i = 0; i < current.GetCount(); ++i) {
        const CSystemParam& record = *current.GetParamAt(i);
        if (record.m_Kind == &g_SystemParamKindParamSet && !record.IsEmpty() &&
            record.Admits(classId))
            m_LoadSet->SetParam(record);
    }
    if (m_UseFileClasses.m_Count)
        m_LoadSet->MergeAdmitting(current, m_UseFileClasses.m_Items, m_UseFileClasses.m_Count);
    if (nod)
        nod->ApplyParamSets(&current, m_LoadSet);
    if (!m_LoadSet->m_Inherit)
        m_LoadSet->MergeForClass(current, classId);
    m_LoadSet->Compact(classId);
    if (fid)
        fid->m_ParamSet.Assign(*m_LoadSet);
    m_LoadSet = nullptr;
}
