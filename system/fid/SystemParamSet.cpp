#include "system/fid/SystemParamSet.h"

#include "core/nod/MwClassInfo.h"
#include "core/nod/MwNod.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/file/PathHelpers.h"

#include <memory>

constinit const CSystemParamKind g_SystemParamKindFid = {"Fid"};
constinit const CSystemParamKind g_SystemParamKindId = {"Id"};
constinit const CSystemParamKind g_SystemParamKindParamSet = {"ParamSet"};

constinit CSystemParamSet CSystemParamSet::s_Default(1);
constinit CSystemParamSet CSystemParamSet::s_Base(0);

namespace {

constexpr u32 kAnyClass = 0xFFFFFFFF;

} // namespace

// ---------------------------------------------------------------------------------------------
// Records

void CSystemParam::Assign(const CSystemParam& other) {
    m_ClassFilter = other.m_ClassFilter;
    m_Required = other.m_Required;
}

bool CSystemParam::HasSameKey(const CSystemParam& other) const {
    bool equal = false, differentKey = true;
    Compare(other, &equal, &differentKey);
    return !differentKey;
}

bool CSystemParam::Admits(u32 classId) const {
    if (!m_ClassFilter || classId == kAnyClass)
        return true;
    for (const u32* id = m_ClassFilter; *id != kAnyClass; ++id)
        if (CMwClassRegistry::IsClassKindOf(classId, *id))
            return true;
    return false;
}

bool CSystemParam::AdmitsAny(const u32* classIds, u32 count) const {
    if (count == 0 || !m_ClassFilter)
        return true;
    for (u32 i = 0; i < count; ++i)
        if (Admits(classIds[i]))
            return true;
    return false;
}

void CSystemParamFid::Assign(const CSystemParam& other) {
    CSystemParam::Assign(other);
    if (other.m_Kind != m_Kind)
        return;
    const auto& fid = static_cast<const CSystemParamFid&>(other);
    m_Target = fid.m_Target;
    m_Pack = fid.m_Pack;
    m_Name = fid.m_Name;
    m_Extra = fid.m_Extra;
    m_Number = fid.m_Number;
}

void CSystemParamFid::Compare(const CSystemParam& other, bool* equal, bool* differentKey) const {
    *equal = false;
    *differentKey = true;
    if (other.m_Kind != m_Kind)
        return;
    const auto& fid = static_cast<const CSystemParamFid&>(other);
    *differentKey = fid.m_Target != m_Target;
    *equal = !*differentKey && fid.m_Pack == m_Pack && fid.m_Extra == m_Extra &&
             fid.m_Name.Compare(m_Name) == 0;
}

void CSystemParamId::Assign(const CSystemParam& other) {
    CSystemParam::Assign(other);
    if (other.m_Kind != m_Kind)
        return;
    const auto& id = static_cast<const CSystemParamId&>(other);
    m_Id = id.m_Id;
    m_Value = id.m_Value;
}

void CSystemParamId::Compare(const CSystemParam& other, bool* equal, bool* differentKey) const {
    *equal = false;
    *differentKey = true;
    if (other.m_Kind != m_Kind)
        return;
    const auto& id = static_cast<const CSystemParamId&>(other);
    *differentKey = !(id.m_Id == m_Id);
    *equal = !*differentKey && id.m_Value == m_Value;
}

// ---------------------------------------------------------------------------------------------
// Sets

CSystemParamSet::CSystemParamSet(const CSystemParamSet& other) : m_Inherit(other.m_Inherit) {
    Assign(other);
}

CSystemParamSet::~CSystemParamSet() {
    Clear();
    m_Params.FreeItems();
}

void CSystemParamSet::Clear() {
    for (u32 i = 0; i < m_Params.m_Count; ++i)
        delete m_Params.m_Items[i];
    m_Params.m_Count = 0;
    m_NonEmptyCount = 0;
}

void CSystemParamSet::CountNonEmpty() {
    m_NonEmptyCount = 0;
    for (u32 i = 0; i < m_Params.m_Count; ++i)
        m_NonEmptyCount += !m_Params.m_Items[i]->IsEmpty();
}

CSystemParam* CSystemParamSet::FindKey(const CSystemParam& record) const {
    for (u32 i = 0; i < m_Params.m_Count; ++i)
        if (m_Params.m_Items[i]->HasSameKey(record))
            return m_Params.m_Items[i];
    return nullptr;
}

u32 CSystemParamSet::SetParam(const CSystemParam& record) {
    if (CSystemParam* existing = FindKey(record)) {
        bool equal = false, differentKey = false;
        existing->Compare(record, &equal, &differentKey);
        if (equal)
            return 0;
        existing->Assign(record);
    } else {
        CSystemParam* copy = record.Clone();
        try {
            m_Params.Add(copy);
        } catch (...) {
            delete copy;
            throw;
        }
    }
    CountNonEmpty();
    return 1;
}

u32 CSystemParamSet::GetParam(CSystemParam& query) const {
    const CSystemParam* found = FindKey(query);
    if (!found)
        return 0;
    query.Assign(*found);
    return 1;
}

void CSystemParamSet::Assign(const CSystemParamSet& other) {
    if (&other == this)
        return;
    Clear();
    for (u32 i = 0; i < other.m_Params.m_Count; ++i)
        SetParam(*other.m_Params.m_Items[i]);
    m_Inherit = other.m_Inherit;
}

u32 CSystemParamSet::MergeAdmitting(const CSystemParamSet& other, const u32* classIds, u32 count) {
    if (&other == this)
        return 0;
    u32 changed = 0;
    for (u32 i = 0; i < other.m_Params.m_Count; ++i) {
        const CSystemParam& record = *other.m_Params.m_Items[i];
        if (record.AdmitsAny(classIds, count))
            changed |= SetParam(record);
    }
    m_Inherit = m_Inherit && other.m_Inherit;
    return changed;
}

u32 CSystemParamSet::MergeForClass(const CSystemParamSet& other, u32 classId) {
    return classId == kAnyClass ? MergeAdmitting(other, nullptr, 0)
                                : MergeAdmitting(other, &classId, 1);
}

void CSystemParamSet::Compact(u32 classId) {
    u32 kept = 0;
    for (u32 i = 0; i < m_Params.m_Count; ++i) {
        CSystemParam* record = m_Params.m_Items[i];
        bool drop = !record->Admits(classId) || (!m_Inherit && record->IsEmpty());
        for (u32 k = 0; !drop && k < kept; ++k)
            drop = m_Params.m_Items[k]->HasSameKey(*record);
        if (drop)
            delete record;
        else
            m_Params.m_Items[kept++] = record;
    }
    m_Params.m_Count = kept;
    CountNonEmpty();
}

bool CSystemParamSet::IsCompatible(const CSystemParamSet& other, u32 classId) const {
    if (m_NonEmptyCount == 0 && other.m_NonEmptyCount == 0)
        return true;
    // Which of other's records a record of this set has met.
    CFastArray<u8> used;
    used.SetCount(other.m_Params.m_Count);
    for (u32 k = 0; k < used.m_Count; ++k)
        used.m_Items[k] = 0;

    for (u32 i = 0; i < m_Params.m_Count; ++i) {
        const CSystemParam& asked = *m_Params.m_Items[i];
        const bool applies = asked.Admits(classId);
        bool found = false;
        for (u32 k = 0; k < other.m_Params.m_Count && !found; ++k) {
            bool equal = false, differentKey = true;
            asked.Compare(*other.m_Params.m_Items[k], &equal, &differentKey);
            if (differentKey)
                continue;
            found = true;
            used.m_Items[k] = 1;
            if (applies && !equal)
                return false;
        }
        if (!found && applies && !asked.IsEmpty() && (asked.m_Required || !other.m_Inherit))
            return false;
    }
    for (u32 k = 0; k < other.m_Params.m_Count; ++k)
        if (!used.m_Items[k] && !other.m_Params.m_Items[k]->IsEmpty())
            return false;
    return true;
}

void CSystemParamSet::FindFidSubstitution(CSystemFid* fid, CSystemPackDesc** pack,
                                          CClassicString* name, u32* number,
                                          CSystemParamSet* target) const {
    const CSystemParamFid* deciding = nullptr;
    CClassicString substitute;
    for (u32 i = 0; i < m_Params.m_Count && !deciding; ++i) {
        const CSystemParam* record = m_Params.m_Items[i];
        if (record->m_Kind == &g_SystemParamKindFid &&
            static_cast<const CSystemParamFid*>(record)->m_Target == fid)
            deciding = static_cast<const CSystemParamFid*>(record);
    }
    if (deciding) {
        substitute = deciding->m_Name;
    } else if (fid) {
        for (u32 i = 0; i < m_Params.m_Count && !deciding; ++i) {
            const CSystemParam* record = m_Params.m_Items[i];
            if (record->m_Kind != &g_SystemParamKindFid)
                continue;
            const auto* folderRecord = static_cast<const CSystemParamFid*>(record);
            // A record may outlive the folder it names; a folder that is gone holds nothing.
            CMwNod* folder = folderRecord->m_Target;
            if (!CMwNod::IsValidNod(folder) || !folder->IsKindOf(CSystemFids::s_ClassId))
                continue;
            CClassicWideString below;
            if (!fid->IsKindOf(CSystemFidFile::s_ClassId) ||
                !static_cast<CSystemFidFile*>(fid)->GetFileNameRelativeTo(
                    below, static_cast<CSystemFids*>(folder)))
                continue;
            RemovePathExtensions(below, below);
            CClassicString narrow;
            below.GetAscii(narrow);
            substitute = folderRecord->m_Name;
            substitute.Append(narrow);
            deciding = folderRecord;
        }
    }

    if (deciding) {
        if (pack)
            *pack = deciding->m_Pack;
        if (number)
            *number = deciding->m_Number;
        if (target)
            target->SetParam(*deciding);
    } else {
        if (pack)
            *pack = nullptr;
        if (number)
            *number = 0xFFFFFFFF;
        if (target)
            target->SetParam(CSystemParamFid(fid));
    }
    if (name)
        *name = substitute;
}

// ---------------------------------------------------------------------------------------------
// The loading stack: copies of the sets in force, each owned by the stack.

namespace {

constinit CFastBuffer<CSystemParamSet*> s_ParamSetStack;

CSystemParamSet* TopParamSet() {
    return s_ParamSetStack.m_Count ? s_ParamSetStack.m_Items[s_ParamSetStack.m_Count - 1] : nullptr;
}

// The stack takes the finished copy; a failure leaves the stack as it was.
void PushCopy(std::unique_ptr<CSystemParamSet> copy) {
    s_ParamSetStack.Add(copy.get());
    copy.release();
}

} // namespace

void PushParamSet(const CSystemParamSet* set, bool ownFirst) {
    const CSystemParamSet* top = TopParamSet();
    const CSystemParamSet& outer = top ? *top : CSystemParamSet::s_Base;
    const CSystemParamSet empty(0);
    const CSystemParamSet& pushed = set ? *set : empty;
    // The copy starts as the set that gives way, and the other one is set over it.
    auto copy = std::make_unique<CSystemParamSet>(ownFirst ? outer : pushed);
    const CSystemParamSet& over = ownFirst ? pushed : outer;
    for (u32 i = 0; i < over.GetCount(); ++i)
        copy->SetParam(*over.GetParamAt(i));
    copy->m_Inherit = 0;
    copy->Compact(kAnyClass);
    PushCopy(std::move(copy));
}

void PushParamSetForClass(u32 classId) {
    const CSystemParamSet* top = TopParamSet();
    if (!top)
        return;
    auto copy = std::make_unique<CSystemParamSet>(CSystemParamSet::s_Base);
    for (u32 i = 0; i < top->GetCount(); ++i)
        if (top->GetParamAt(i)->Admits(classId))
            copy->SetParam(*top->GetParamAt(i));
    PushCopy(std::move(copy));
}

void PopParamSet() {
    if (s_ParamSetStack.m_Count == 0)
        return;
    delete s_ParamSetStack.m_Items[--s_ParamSetStack.m_Count];
}

void PopParamSetIfAny() {
    PopParamSet();
}

CSystemParamSet* CurrentParamSet() {
    CSystemParamSet* top = TopParamSet();
    return top ? top : &CSystemParamSet::s_Base;
}

u32 GetParamSetDepth() {
    return s_ParamSetStack.m_Count;
}

void ClearParamSetStack() {
    while (s_ParamSetStack.m_Count)
        PopParamSet();
    s_ParamSetStack.FreeItems();
}

CSystemParamStackScope::~CSystemParamStackScope() {
    while (GetParamSetDepth() > m_Depth)
        PopParamSet();
}
