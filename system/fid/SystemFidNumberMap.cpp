#include "system/fid/SystemFidNumberMap.h"

#include "system/fid/SystemFid.h"
#include "system/fid/SystemFids.h"

#include <vector>

namespace {

constinit CSystemFidNumberMap* s_Map = nullptr;

uintptr_t KeyOf(const CMwNod* nod) {
    return reinterpret_cast<uintptr_t>(nod);
}

} // namespace

const CSystemFidNumberMap* GetFidNumberMap() {
    return s_Map;
}

uintptr_t FidNumberMapGet(const CMwNod* key) {
    return s_Map ? s_Map->Get(KeyOf(key)) : 0;
}

void FidNumberMapSet(const CMwNod* key, uintptr_t value) {
    if (!s_Map) {
        if (!value)
            return;
        s_Map = new CSystemFidNumberMap;
        s_Map->Rehash(50);
    }
    s_Map->Set(KeyOf(key), value);
    if (s_Map->GetCount() == 0) {
        delete s_Map;
        s_Map = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// The folder operations of the archive's reference table

void CSystemFids::FlagWithAncestors() {
    for (CSystemFids* folder = this; folder && !FidNumberMapGet(folder); folder = folder->m_Parent)
        FidNumberMapSet(folder, 1);
}

void CSystemFids::CountUse() {
    for (CSystemFids* folder = this; folder; folder = folder->m_Parent)
        FidNumberMapSet(folder, FidNumberMapGet(folder) + 1);
}

CSystemFids* CSystemFids::FindCommonTop(u32 count) {
    CSystemFids* folder = this;
    while (FidNumberMapGet(folder) == count && folder->m_Trees.m_Count == 1 &&
           FidNumberMapGet(folder->m_Trees.m_Items[0]) == count)
        folder = folder->m_Trees.m_Items[0];
    return folder;
}

void CSystemFids::NumberPreOrder(u32* next) {
    FidNumberMapSet(this, *next);
    ++*next;
    for (u32 i = 0; i < m_Trees.m_Count; ++i)
        m_Trees.m_Items[i]->NumberPreOrder(next);
}

void CSystemFids::FillIndex(CFastArray<CSystemFids*>& table) {
    const uintptr_t number = FidNumberMapGet(this);
    if (number < table.m_Count)
        table.m_Items[number] = this;
    for (u32 i = 0; i < m_Trees.m_Count; ++i)
        m_Trees.m_Items[i]->FillIndex(table);
}

u32 CSystemFids::DepthBelow(const CSystemFids* top) const {
    u32 depth = 0;
    for (const CSystemFids* folder = this; folder; folder = folder->m_Parent, ++depth)
        if (folder == top)
            return depth;
    return 0xFFFFFFFF;
}

CSystemFids* CSystemFids::NthAncestor(u32 n) {
    CSystemFids* folder = this;
    for (; folder && n > 0; --n)
        folder = folder->m_Parent;
    return folder;
}

void CSystemFids::CloneFlagged(CSystemFids* source) {
    CopyNameFrom(source);
    FidNumberMapSet(this, KeyOf(source));
    FidNumberMapSet(source, KeyOf(this));
    for (u32 i = 0; i < source->m_Trees.m_Count; ++i) {
        CSystemFids* sub = source->m_Trees.m_Items[i];
        if (!FidNumberMapGet(sub))
            continue;
        CSystemFids* copy = sub->NewSameKind();
        AddTree(copy);
        copy->CloneFlagged(sub);
    }
}

void CSystemFids::MergeLoaded(const CFastBuffer<CSystemFids*>& list) {
    // Adopted folders leave the list they come from.
    const std::vector<CSystemFids*> read(list.m_Items, list.m_Items + list.m_Count);
    for (CSystemFids* folder : read) {
        CSystemFids* same = nullptr;
        for (u32 i = 0; i < m_Trees.m_Count && !same; ++i)
            if (m_Trees.m_Items[i] != folder && m_Trees.m_Items[i]->IsSameFolder(folder))
                same = m_Trees.m_Items[i];
        if (same) {
            same->MergeLoaded(folder->m_Trees);
            FidNumberMapSet(folder, KeyOf(same));
        } else {
            folder->ForgetSubtree();
            AddTree(folder);
        }
    }
}

void CSystemFids::ForgetSubtree() {
    const CSystemFidNumberMap* map = GetFidNumberMap();
    if (!map)
        return;
    std::vector<const CMwNod*> forget;
    for (u32 i = 0; i < map->GetCapacity(); ++i) {
        const uintptr_t key = map->GetSlots()[i].m_Key;
        if (key == CSystemFidNumberMap::s_EmptyKey)
            continue;
        auto* nod = reinterpret_cast<CMwNod*>(key);
        if (!CMwNod::IsValidNod(nod))
            continue;
        if (nod->IsKindOf(CSystemFids::s_ClassId)) {
            if (IsAncestorOf(static_cast<CSystemFids*>(nod)))
                forget.push_back(nod);
        } else if (nod->IsKindOf(CSystemFid::s_ClassId)) {
            const CSystemFids* folder = static_cast<CSystemFid*>(nod)->m_Folder;
            if (folder && IsAncestorOf(folder))
                forget.push_back(nod);
        }
    }
    for (const CMwNod* nod : forget)
        FidNumberMapSet(nod, 0);
}
