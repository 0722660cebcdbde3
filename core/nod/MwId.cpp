#include "core/nod/MwId.h"

#include "core/base/ClassicHash.h"
#include "core/base/ClassicLog.h"
#include "platform/Crt.h"

#include <cstring>

namespace {

constinit CMwIdTable* s_Table = nullptr;
constinit CMwIdTable::CHook* s_Hooks = nullptr;

// The first block holds the names of a typical run; later blocks are as large, or as large as
// one long name.
constexpr u32 kFirstBlockSize = 150000;
constexpr u32 kNamesForLevelSize = 7500;

} // namespace

// ---------------------------------------------------------------------------------------------
// CMwId

CMwId CMwId::FromName(const char* name) {
    CMwId id;
    id.SetFromName(name);
    return id;
}

void CMwId::SetFromName(const char* name) {
    if (!name || !name[0] || std::strcmp(name, "Unassigned") == 0) {
        m_Value = Unassigned;
        return;
    }
    const u32 place = CMwIdTable::InternName(name);
    if (place == CMwIdTable::InternFailed) {
        g_ClassicLogLine.SetLength(0);
        g_ClassicLogLine.Append("[MwId] Name pool full, the name stays unassigned: ")
            .Append(name)
            .Append("\r\n");
        ClassicLogWriteLine();
        m_Value = Unassigned;
        return;
    }
    m_Value = place | KindName;
}

const char* CMwId::GetChars() const {
    if (!IsName())
        return nullptr;
    return CMwIdTable::GetNameChars(m_Value & ~KindMask);
}

void CMwId::GetText(CClassicString& out) const {
    switch (GetKind()) {
        case KindNumber: {
            const platform::FormattedText text =
                platform::Format("Id%d", static_cast<i32>(m_Value));
            out.Assign(CClassicStringRef(text.text, text.length));
            break;
        }
        case KindUnassigned:
            out.Assign("Unassigned");
            break;
        default: {
            const char* chars = GetChars();
            if (!chars) {
                const platform::FormattedText line =
                    platform::Format("[MwId] Name id 0x%08x is not in the name pool\r\n", m_Value);
                g_ClassicLogLine.Assign(CClassicStringRef(line.text, line.length));
                ClassicLogWriteLine();
            }
            out.Assign(chars);
            break;
        }
    }
}

CClassicString CMwId::ToString() const {
    CClassicString text;
    GetText(text);
    return text;
}

// ---------------------------------------------------------------------------------------------
// CMwIdTable

CMwIdTable::CMwIdTable() {
    m_BlockSize = kFirstBlockSize;
    m_Blocks.Add(new char[kFirstBlockSize]);
    const u32 slots = ClassicHashTableSize(kNamesForLevelSize);
    m_Levels[0].SetCount(slots);
    std::fill_n(m_Levels[0].m_Items, slots, -1);
    m_LevelsInUse = 1;
}

CMwIdTable::~CMwIdTable() {
    for (u32 i = 0; i < m_Blocks.m_Count; ++i)
        delete[] m_Blocks.m_Items[i];
    m_Blocks.FreeItems();
    m_Names.FreeItems();
}

void CMwIdTable::Create() {
    if (s_Table)
        return;
    s_Table = new CMwIdTable();
    for (CHook* hook = s_Hooks; hook; hook = hook->m_Next)
        hook->m_Callback(1);
}

void CMwIdTable::Destroy() {
    if (!s_Table)
        return;
    for (CHook* hook = s_Hooks; hook; hook = hook->m_Next)
        hook->m_Callback(0);
    delete s_Table;
    s_Table = nullptr;
}

bool CMwIdTable::IsCreated() {
    return s_Table != nullptr;
}

void CMwIdTable::AddHook(CHook* node, void (*callback)(int created)) {
    node->m_Callback = callback;
    node->m_Next = s_Hooks;
    s_Hooks = node;
}

const char* CMwIdTable::StoreName(const char* name, u32 length) {
    const u32 needed = length + 1;
    if (m_BlockUsed + needed > m_BlockSize) {
        m_BlockSize = needed > kFirstBlockSize ? needed : kFirstBlockSize;
        m_Blocks.Add(new char[m_BlockSize]);
        m_BlockUsed = 0;
    }
    char* chars = m_Blocks.m_Items[m_Blocks.m_Count - 1] + m_BlockUsed;
    std::memcpy(chars, name, needed);
    m_BlockUsed += needed;
    m_Names.Add(chars);
    return chars;
}

u32 CMwIdTable::InternName(const char* name) {
    CMwIdTable* table = s_Table;
    if (!table || !name)
        return InternFailed;
    u32 length = 0;
    const u32 h = ClassicHashPjw(name, &length);
    const u32 n = table->m_Levels[0].m_Count;
    u32 slot = h % n;
    const u32 step = h % (n - 2) + 1;
    for (u32 level = 0; level < LevelCount; ++level) {
        if (level >= table->m_LevelsInUse) {
            table->m_Levels[level].SetCount(n);
            std::fill_n(table->m_Levels[level].m_Items, n, -1);
            table->m_LevelsInUse = level + 1;
        }
        i32* slots = table->m_Levels[level].m_Items;
        for (u32 probe = 0; probe < ProbesPerLevel; ++probe) {
            const i32 index = slots[slot];
            if (index < 0) {
                slots[slot] = static_cast<i32>(table->m_Names.m_Count);
                table->StoreName(name, length);
                return (level << 16) + slot;
            }
            if (std::strcmp(table->m_Names.m_Items[index], name) == 0)
                return (level << 16) + slot;
            slot += step;
            if (slot >= n)
                slot -= n;
        }
    }
    return InternFailed;
}

const char* CMwIdTable::GetNameChars(u32 place) {
    const CMwIdTable* table = s_Table;
    if (!table)
        return nullptr;
    const u32 level = (place >> 16) & 0x3FFF;
    const u32 slot = place & 0xFFFF;
    if (level >= table->m_LevelsInUse || slot >= table->m_Levels[level].m_Count)
        return nullptr;
    const i32 index = table->m_Levels[level].m_Items[slot];
    return index < 0 ? nullptr : table->m_Names.m_Items[index];
}
