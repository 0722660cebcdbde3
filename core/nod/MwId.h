#pragma once
// Name ids: 32-bit handles for names. An id is a number, an interned name, an interned name of
// the second kind (made only when reading archives) or unassigned (-1); the top two bits give the
// kind. Interned names live once in the global name pool, CMwIdTable, so that equal names give
// equal ids and ids compare as integers.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"

class CClassicArchive;

class CMwId {
public:
    static constexpr u32 Unassigned = 0xFFFFFFFF;
    static constexpr u32 KindMask = 0xC0000000;
    static constexpr u32 KindNumber = 0x00000000;
    static constexpr u32 KindName = 0x40000000;
    static constexpr u32 KindName2 = 0x80000000;
    static constexpr u32 KindUnassigned = 0xC0000000;

    constexpr CMwId() = default;
    constexpr explicit CMwId(u32 value) : m_Value(value) {}

    static constexpr CMwId FromValue(u32 value) { return CMwId(value); }
    static CMwId FromName(const char* name);

    // Null, an empty text and exactly "Unassigned" give -1; any other name is interned.
    void SetFromName(const char* name);
    // The characters of an interned name (stable for the life of the pool); null for numbers,
    // unassigned ids and names the pool does not hold.
    const char* GetChars() const;
    // "Id%d" for numbers, the name for interned names, "Unassigned" for -1.
    void GetText(CClassicString& out) const;
    CClassicString ToString() const;
    // Writes the id to the archive, or reads it, in the id form: the archive's first id is
    // preceded by the form's version (3 is written; 1, 2 and 3 are read); in version 3 each
    // distinct name is sent once per archive and back-referenced by its position after that.
    // A back-reference past the names met gives -1 and a log line.
    void Archive(CClassicArchive& archive);

    constexpr u32 GetKind() const { return m_Value & KindMask; }
    constexpr bool IsName() const { return GetKind() == KindName || GetKind() == KindName2; }
    constexpr bool operator==(const CMwId&) const = default;

    u32 m_Value = Unassigned;
};

// The global name pool: the names' characters and 32 open-addressing hash levels of 10007 slots.
class CMwIdTable {
public:
    static constexpr u32 LevelCount = 32;
    static constexpr u32 ProbesPerLevel = 5;
    // Returned by InternName when a name finds neither itself nor a free slot in any level.
    static constexpr u32 InternFailed = 0xFFFFFFFF;

    // A static client's hook, told with 1 after Create and with 0 before Destroy.
    struct CHook {
        void (*m_Callback)(int created) = nullptr;
        CHook* m_Next = nullptr;
    };

    static void Create();
    static void Destroy();
    static bool IsCreated();
    static void AddHook(CHook* node, void (*callback)(int created));
    // The name's place in the pool, (level << 16) | slot, adding the name when it is absent.
    static u32 InternName(const char* name);
    // The characters stored at a place, or null when the level or slot is not in use.
    static const char* GetNameChars(u32 place);

private:
    CMwIdTable();
    ~CMwIdTable();
    const char* StoreName(const char* name, u32 length, u32 hash);

    // Names are copied into blocks that are never moved, so the characters an id hands out stay
    // valid while the pool grows. Each slot of a level holds an index into m_Names or -1.
    CFastBuffer<char*> m_Blocks;
    u32 m_BlockUsed = 0;
    u32 m_BlockSize = 0;
    // Each stored name with its hash, so that probing compares the characters only of names
    // whose hash matches.
    struct CName {
        const char* m_Chars;
        u32 m_Hash;
    };
    CFastBuffer<CName> m_Names;
    CFastArray<i32> m_Levels[LevelCount];
    u32 m_LevelsInUse = 0;
};
