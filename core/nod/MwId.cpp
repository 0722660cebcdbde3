#include "core/nod/MwId.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicHash.h"
#include "core/base/ClassicLog.h"
#include "platform/Crt.h"

#include <cstring>
#include <unordered_map>

namespace {

constinit CMwIdTable* s_Table = nullptr;
constinit CMwIdTable::CHook* s_Hooks = nullptr;

// The first block holds the names of a typical run; later blocks are as large, or as large as
// one long name.
constexpr u32 kFirstBlockSize = 150000;
constexpr u32 kNamesForLevelSize = 7500;

// The version of the archive form of ids that is written.
constexpr u32 kArchiveVersion = 3;
// A back-reference's position sits in the low 28 bits of the word.
constexpr u32 kArchivePositionMask = 0x0FFFFFFF;

// What an archive knows of the ids archived through it: the form's version and the names met so
// far, in order. Writing also maps each name id to its position, so that a name is found
// without a search of the list. Every state is linked into one list so that none outlives the
// name pool: the ids it holds name places of that pool.
class CMwIdArchiveState final : public CClassicArchiveIdState {
public:
    explicit CMwIdArchiveState(CClassicArchive& archive) : m_Archive(archive) {
        m_Next = s_First;
        if (m_Next)
            m_Next->m_Prev = this;
        s_First = this;
    }
    ~CMwIdArchiveState() override {
        if (m_Prev)
            m_Prev->m_Next = m_Next;
        else
            s_First = m_Next;
        if (m_Next)
            m_Next->m_Prev = m_Prev;
        m_Ids.FreeItems();
    }

    void Add(u32 id, bool writing) {
        if (writing)
            m_Positions.emplace(id, m_Ids.m_Count);
        m_Ids.Add(id);
    }

    // Frees the state of every archive that still has one.
    static void FreeAll() {
        while (s_First)
            s_First->m_Archive.FreeIdState();
    }

    u32 m_Version = kArchiveVersion;
    CFastBuffer<u32> m_Ids;
    std::unordered_map<u32, u32> m_Positions;

private:
    CClassicArchive& m_Archive;
    CMwIdArchiveState* m_Prev = nullptr;
    CMwIdArchiveState* m_Next = nullptr;
    static constinit inline CMwIdArchiveState* s_First = nullptr;
};

// Installed by the first Create: when the pool goes, the archives still alive lose their id
// state (an archive frees its own state when it is destroyed or detached with the flag).
constinit CMwIdTable::CHook s_ArchiveStateHook;

void OnPoolForArchives(int created) {
    if (!created)
        CMwIdArchiveState::FreeAll();
}

// An interned name of the given kind; -1 and a log line when the name cannot be interned.
u32 InternAs(const char* name, u32 kind) {
    const u32 place = CMwIdTable::InternName(name);
    if (place == CMwIdTable::InternFailed) {
        ClassicLogFormatLine("[MwId] Name pool full, the name stays unassigned: %s", name);
        return CMwId::Unassigned;
    }
    return place | kind;
}

u32 InternSecondKind(const char* name) {
    return InternAs(name, CMwId::KindName2);
}

// The id a stored name gives back: the first name kind as SetFromName makes it (an empty text or
// "Unassigned" give -1), the second kind interned as it stands.
u32 NamedIdOfKind(u32 kind, const char* name) {
    return kind == CMwId::KindName ? CMwId::FromName(name).m_Value : InternSecondKind(name);
}

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
    m_Value = InternAs(name, KindName);
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
            if (!chars)
                ClassicLogFormatLine("[MwId] Name id 0x%08x is not in the name pool", m_Value);
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

void CMwId::Archive(CClassicArchive& archive) {
    const bool writing = archive.m_Writing != 0;
    auto* state = dynamic_cast<CMwIdArchiveState*>(archive.GetIdState());
    if (!state) {
        state = new CMwIdArchiveState(archive);
        archive.SetIdState(state);
        archive.SerializeUInts(&state->m_Version, 1);
    } else if (state->m_Version < kArchiveVersion) {
        // The older forms repeat the version before every id.
        u32 version = state->m_Version;
        archive.SerializeUInts(&version, 1);
    }

    CClassicString text;
    switch (state->m_Version) {
        case 3: {
            if (writing) {
                const u32 kind = GetKind();
                if (!IsName()) {
                    archive.WriteUIntsHex(&m_Value, 1);
                    return;
                }
                const auto known = state->m_Positions.find(m_Value);
                if (known != state->m_Positions.end()) {
                    const u32 word = kind | (known->second + 1);
                    archive.WriteUIntsHex(&word, 1);
                    return;
                }
                archive.WriteUIntsHex(&kind, 1);
                GetText(text);
                archive.WriteStrings(&text, 1);
                state->Add(m_Value, true);
                return;
            }
            u32 word = 0;
            archive.ReadUIntsHex(&word, 1);
            m_Value = word;
            if (!IsName())
                return;
            const u32 position = word & kArchivePositionMask;
            if (position != 0) {
                if (position <= state->m_Ids.m_Count) {
                    m_Value = state->m_Ids.m_Items[position - 1];
                    return;
                }
                ClassicLogFormatLine(
                    "[MwId] Archived id 0x%08x refers to name %u of the %u met; read as Unassigned",
                    word, position, state->m_Ids.m_Count);
                m_Value = Unassigned;
                return;
            }
            archive.ReadStrings(&text, 1);
            m_Value = NamedIdOfKind(word & KindMask, text.GetText());
            state->Add(m_Value, false);
            return;
        }
        case 2: {
            if (writing)
                return;
            u32 word = 0;
            archive.ReadUInts(&word, 1);
            m_Value = word;
            if (!IsName())
                return;
            archive.ReadStrings(&text, 1);
            m_Value = NamedIdOfKind(word & KindMask, text.GetText());
            return;
        }
        case 1: {
            if (writing)
                return;
            u32 code = 0;
            archive.ReadUInts(&code, 1);
            if (code == 0) {
                m_Value = Unassigned;
                return;
            }
            archive.ReadStrings(&text, 1);
            if (code == 2) {
                m_Value = InternSecondKind(text.GetText());
            } else if (code == 3) {
                i32 number = 0;
                text.ParseDecimal(number);
                m_Value = u32(number);
                // A value past the numbers would read as a name the pool does not hold, which
                // is written back as an empty name and read again as another id.
                if (GetKind() != KindNumber && m_Value != Unassigned) {
                    ClassicLogFormatLine("[MwId] Archived number %d is not an id number; read as "
                                         "Unassigned",
                                         number);
                    m_Value = Unassigned;
                }
            } else {
                SetFromName(text.GetText());
            }
            return;
        }
        default:
            return;
    }
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
    if (!s_ArchiveStateHook.m_Callback)
        AddHook(&s_ArchiveStateHook, OnPoolForArchives);
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

const char* CMwIdTable::StoreName(const char* name, u32 length, u32 hash) {
    const u32 needed = length + 1;
    if (m_BlockUsed + needed > m_BlockSize) {
        m_BlockSize = needed > kFirstBlockSize ? needed : kFirstBlockSize;
        m_Blocks.Add(new char[m_BlockSize]);
        m_BlockUsed = 0;
    }
    char* chars = m_Blocks.m_Items[m_Blocks.m_Count - 1] + m_BlockUsed;
    std::memcpy(chars, name, needed);
    m_BlockUsed += needed;
    m_Names.Add(CName{chars, hash});
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
                table->StoreName(name, length, h);
                return (level << 16) + slot;
            }
            const CName& stored = table->m_Names.m_Items[index];
            if (stored.m_Hash == h && std::strcmp(stored.m_Chars, name) == 0)
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
    return index < 0 ? nullptr : table->m_Names.m_Items[index].m_Chars;
}
