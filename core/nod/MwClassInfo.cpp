#include "core/nod/MwClassInfo.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwNod.h"

#include <cstring>

const char* const g_MwEngineNames[MwEngineNameCount] = {
    "",        "MwFoundations",
    "Data",    "Game",
    "Graphic", "Function",
    "Hms",     "Control",
    "Motion",  "Plug",
    "Scene",   "System",
    "Vision",  "Psy",
    "Edit",    "NodEdit",
    "Audio",   "Script",
    "Net",     "Input",
    "Xml",     "Movie",
    "",        "",
    "",        "",
    "",        "",
    "",        "",
    "",        "",
    "",        "",
    "",        "",
    "",        "",
    "",
};

namespace {

constinit CMwClassInfo* s_FirstClassInfo = nullptr;
constinit CFastArray<CMwEngineClassTable*>* s_EngineTables = nullptr;

constexpr u32 EngineOf(u32 classId) {
    return classId >> 24;
}
constexpr u32 ClassNumberOf(u32 classId) {
    return (classId >> 12) & 0xFFF;
}

bool IsListed(const CMwClassInfo* info) {
    for (const CMwClassInfo* listed = s_FirstClassInfo; listed; listed = listed->m_Next)
        if (listed == info)
            return true;
    return false;
}

// Files a record into its engine table by engine and class number.
void File(CMwClassInfo* info) {
    const u32 engine = EngineOf(info->m_ClassId);
    const u32 number = ClassNumberOf(info->m_ClassId);
    CFastArray<CMwEngineClassTable*>& tables = *s_EngineTables;
    if (engine >= tables.m_Count) {
        const u32 old = tables.m_Count;
        tables.SetCount(engine + 1);
        for (u32 e = old; e <= engine; ++e)
            tables.m_Items[e] = nullptr;
    }
    CMwEngineClassTable*& table = tables.m_Items[engine];
    if (!table)
        table = new CMwEngineClassTable(
            engine << 24, engine < MwEngineNameCount ? g_MwEngineNames[engine] : nullptr);
    CFastArray<CMwClassInfo*>& classes = table->m_Classes;
    if (number >= classes.m_Count) {
        const u32 old = classes.m_Count;
        classes.SetCount(number + 1);
        for (u32 n = old; n <= number; ++n)
            classes.m_Items[n] = nullptr;
    }
    if (classes.m_Items[number] && classes.m_Items[number] != info)
        ClassicLogFormatLine("[MwClass] Class %s (0x%08x) replaces %s with the same id",
                             info->m_Name, info->m_ClassId, classes.m_Items[number]->m_Name);
    classes.m_Items[number] = info;
}

// Reports records whose parent was not handed to the registry (its library's list is missing).
// Member tables need no check here: MW_DEFINE_CLASS checks every row when it is compiled.
void CheckParents() {
    for (CMwClassInfo* info = s_FirstClassInfo; info; info = info->m_Next)
        if (info->m_Parent && !IsListed(info->m_Parent))
            ClassicLogFormatLine("[MwClass] Class %s has the unregistered parent %s", info->m_Name,
                                 info->m_Parent->m_Name);
}

void FreeMemberNameKeys() {
    for (CMwClassInfo* info = s_FirstClassInfo; info; info = info->m_Next) {
        delete[] info->m_MemberNameKeys;
        info->m_MemberNameKeys = nullptr;
    }
}

void MakeMemberNameKeys() {
    for (CMwClassInfo* info = s_FirstClassInfo; info; info = info->m_Next) {
        if (info->m_MemberCount == 0)
            continue;
        auto* keys = new CMwMemberNameKey[info->m_MemberCount];
        for (u32 i = 0; i < info->m_MemberCount; ++i) {
            const CMwMemberInfo* member = info->m_MemberInfos[i];
            const char* name = member ? member->Name : nullptr;
            keys[i] = name ? CMwMemberNameKey::Of(name, u32(std::strlen(name)))
                           : CMwMemberNameKey{0, 0xFFFFFFFF};
        }
        info->m_MemberNameKeys = keys;
    }
}

} // namespace

i32 CMwClassInfo::FindKindIndex(u32 count, const u32* classIds) const {
    for (const CMwClassInfo* level = this; level; level = level->m_Parent)
        for (u32 i = 0; i < count; ++i)
            if (classIds[i] == level->m_ClassId)
                return static_cast<i32>(i);
    return -1;
}

void CMwClassInfo::AddChild(CMwClassInfo* child) {
    CMwClassInfo** children = new CMwClassInfo*[m_ChildCount + 1];
    for (u32 i = 0; i < m_ChildCount; ++i)
        children[i] = m_Children[i];
    children[m_ChildCount] = child;
    delete[] m_Children;
    m_Children = children;
    ++m_ChildCount;
}

void CMwClassRegistry::AddClassList(const CMwClassList& list) {
    for (u32 i = 0; i < list.m_Count; ++i) {
        CMwClassInfo* info = list.m_Classes[i];
        if (IsListed(info))
            continue;
        info->m_Next = s_FirstClassInfo;
        s_FirstClassInfo = info;
    }
}

void CMwClassRegistry::Init() {
    Shutdown();
    s_EngineTables = new CFastArray<CMwEngineClassTable*>;
    for (CMwClassInfo* info = s_FirstClassInfo; info; info = info->m_Next) {
        File(info);
        // Saved and loaded nods enumerate their chunks for every body.
        info->m_ChainChunkCount = 0;
        for (const CMwClassInfo* level = info; level; level = level->m_Base)
            info->m_ChainChunkCount += level->m_ChunkCount;
    }
    LinkChildren();
    BindMemberInfos();
    CheckParents();
    MakeMemberNameKeys();
}

void CMwClassRegistry::LinkChildren() {
    for (CMwClassInfo* info = s_FirstClassInfo; info; info = info->m_Next)
        if (info->m_Parent)
            info->m_Parent->AddChild(info);
}

void CMwClassRegistry::Shutdown() {
    UnbindMemberInfos();
    FreeMemberNameKeys();
    for (CMwClassInfo* info = s_FirstClassInfo; info; info = info->m_Next) {
        delete[] info->m_Children;
        info->m_Children = nullptr;
        info->m_ChildCount = 0;
    }
    if (!s_EngineTables)
        return;
    for (u32 e = 0; e < s_EngineTables->m_Count; ++e)
        delete s_EngineTables->m_Items[e];
    delete s_EngineTables;
    s_EngineTables = nullptr;
}

CMwClassInfo* CMwClassRegistry::GetClassInfoById(u32 classId) {
    // Ids of two classes that were folded into others.
    if (classId == 0x07008000)
        classId = 0x07007000;
    else if (classId == 0x0C009000)
        classId = 0x0C00B000;
    const u32 engine = EngineOf(classId);
    const u32 number = ClassNumberOf(classId);
    const CMwEngineClassTable* table = s_EngineTables && engine < s_EngineTables->m_Count
                                           ? s_EngineTables->m_Items[engine]
                                           : nullptr;
    if (table && number < table->m_Classes.m_Count && table->m_Classes.m_Items[number])
        return table->m_Classes.m_Items[number];
    const char* engineName = table ? (table->m_EngineName ? table->m_EngineName : "") : "?";
    ClassicLogFormatLine(
        "Trying to use a class (0x%08x) from engine \"%s\", which is not available in this exe.",
        classId, engineName);
    ClassicLogWriteLineToFiles();
    return nullptr;
}

CMwClassInfo* FindClassInfo(u32 classId) {
    return CMwClassRegistry::GetClassInfoById(classId);
}

CMwNod* CMwClassRegistry::CreateNodById(u32 classId) {
    CMwClassInfo* info = GetClassInfoById(classId);
    return info && info->m_Factory ? info->m_Factory() : nullptr;
}

bool CMwClassRegistry::IsClassKindOf(u32 classId, u32 ancestorId) {
    if (classId == CMwNod::s_NoClassId || ancestorId == CMwNod::s_NoClassId)
        return false;
    if (classId == ancestorId)
        return true;
    const CMwClassInfo* info = GetClassInfoById(classId);
    if (!info)
        return false;
    const CMwClassInfo* ancestor = GetClassInfoById(ancestorId);
    if (!ancestor)
        return false;
    for (; info; info = info->m_Parent)
        if (info->m_ClassId == ancestor->m_ClassId)
            return true;
    return false;
}

CMwMemberInfo* CMwClassRegistry::GetMemberInfo(u32 memberId) {
    const CMwClassInfo* info = GetClassInfoById(memberId & 0xFFFFF000);
    if (!info)
        return nullptr;
    const u32 index = memberId & 0xFFF;
    return index < info->m_MemberCount ? info->m_MemberInfos[index] : nullptr;
}

CMwClassInfo* CMwClassRegistry::GetFirstClassInfo() {
    return s_FirstClassInfo;
}

const CFastArray<CMwEngineClassTable*>& CMwClassRegistry::GetEngineTables() {
    static const CFastArray<CMwEngineClassTable*> s_None;
    return s_EngineTables ? *s_EngineTables : s_None;
}
