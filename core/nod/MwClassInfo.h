#pragma once
// Class-information records and the class registry, and the macros by which every engine class
// is declared. See core/nod/README.md for the declaration scheme and a worked example.
//
// A class id is 32-bit: the engine number in bits 31-24, the class number in bits 23-12, and 0 in
// bits 11-0 (a member or chunk id carries its index there).
#include "core/base/FastBuffer.h"
#include "core/nod/MwMemberInfo.h"

#include <bit>
#include <cstddef>
#include <cstring>

class CMwNod;

// A member name as an integer key: its length and its first eight bytes (zero beyond the name).
// Two names with the same key are equal when they are at most eight bytes long; longer ones are
// equal when their bytes from the ninth on are. A record without a name has the length -1.
struct CMwMemberNameKey {
    u64 m_Head;
    u32 m_Length;

    // The first byte is the lowest; no byte past the name is read.
    static CMwMemberNameKey Of(const char* name, u32 length) {
        static_assert(std::endian::native == std::endian::little);
        CMwMemberNameKey key{0, length};
        if (length >= 8) {
            std::memcpy(&key.m_Head, name, 8);
        } else if (length >= 4) {
            // Two loads that overlap in the middle.
            u32 low = 0, high = 0;
            std::memcpy(&low, name, 4);
            std::memcpy(&high, name + length - 4, 4);
            key.m_Head = low | (u64(high) << (8 * (length - 4)));
        } else {
            for (u32 i = 0; i < length; ++i)
                key.m_Head |= u64(u8(name[i])) << (8 * i);
        }
        return key;
    }
};

// One chunk a class owns: its id and its flags (what GetChunkInfo answers for it).
struct CMwChunkInfo {
    u32 Id;
    u32 Flags;
};

// One static record per class with an identity of its own. Records are constant-initialised
// data: nothing runs before main to build them, and they are handed to the registry through
// explicit per-library class lists (CMwClassList).
class CMwClassInfo {
public:
    using Factory = CMwNod* (*)();

    constexpr CMwClassInfo(u32 classId, CMwClassInfo* parent, CMwClassInfo* base, const char* name,
                           Factory factory, CMwMemberInfo* const* members, u32 memberCount,
                           const CMwChunkInfo* chunks, u32 chunkCount)
        : m_ClassId(classId), m_Parent(parent), m_Name(name), m_Factory(factory),
          m_MemberInfos(members), m_MemberCount(memberCount), m_Base(base), m_Chunks(chunks),
          m_ChunkCount(chunkCount) {}
    CMwClassInfo(const CMwClassInfo&) = delete;
    CMwClassInfo& operator=(const CMwClassInfo&) = delete;

    // Position in the list of the nearest class of this record's chain: this record first, then
    // each parent; -1 when no level is listed.
    i32 FindKindIndex(u32 count, const u32* classIds) const;
    // Appends a child record (the array grows to exactly one more entry).
    void AddChild(CMwClassInfo* child);

    u32 m_ClassId;
    // The parent in the class tree (registry, kind tests by id, children).
    CMwClassInfo* m_Parent;
    u32 m_ChildCount = 0;
    CMwClassInfo** m_Children = nullptr;
    const char* m_Name;
    CMwClassInfo* m_Next = nullptr;
    Factory m_Factory;
    CMwMemberInfo* const* m_MemberInfos;
    u32 m_MemberCount;
    // The members' names as integer keys, in the order of m_MemberInfos, made by the registry's
    // start-up pass (null before), so that a member path finds a member by its name without
    // reading the names of the others.
    CMwMemberNameKey* m_MemberNameKeys = nullptr;
    // The record of the nearest C++ base class with a record; it differs from m_Parent for a few
    // classes. Member and chunk enumerations follow it, as the classes' virtual operations do.
    CMwClassInfo* m_Base;
    const CMwChunkInfo* m_Chunks;
    u32 m_ChunkCount;
    // The chunks of this record and of every base record, counted when the registry starts (0
    // before: the count is then taken along the chain).
    u32 m_ChainChunkCount = 0;
};

// The classes of one library in registration order, handed to the registry at start-up.
struct CMwClassList {
    CMwClassInfo* const* m_Classes;
    u32 m_Count;
};

// Per-engine table: the records of one engine indexed by class number.
class CMwEngineClassTable {
public:
    CMwEngineClassTable(u32 engineIdWord, const char* engineName)
        : m_EngineId(engineIdWord), m_EngineName(engineName) {}
    virtual ~CMwEngineClassTable() = default;

    u32 m_EngineId;
    const char* m_EngineName; // null for engines without a name row
    CFastArray<CMwClassInfo*> m_Classes;
};

// The fixed table of engine names, indexed by engine number (39 rows).
inline constexpr u32 MwEngineNameCount = 39;
extern const char* const g_MwEngineNames[MwEngineNameCount];

class CMwClassRegistry {
public:
    // Pushes every record of a list at the head of the global list, in list order (so the
    // global list runs from the last registered record to the first). Called for each linked
    // library before Init; a list added twice is filed once.
    static void AddClassList(const CMwClassList& list);
    // The start-up pass: installs the root's member table, files every record by engine and
    // class number, links children and binds member descriptions; then checks the records
    // (duplicate ids, member ids, parents) and logs what is wrong; last, the members' name keys.
    static void Init();
    // Frees the engine tables and the children arrays; records stay listed, so Init may run
    // again.
    static void Shutdown();

    static CMwClassInfo* GetClassInfoById(u32 classId);
    static CMwNod* CreateNodById(u32 classId);
    static bool IsClassKindOf(u32 classId, u32 ancestorId);
    static CMwMemberInfo* GetMemberInfo(u32 memberId);
    static void LinkChildren();

    // The head of the global list of records (most recently registered first).
    static CMwClassInfo* GetFirstClassInfo();
    // The per-engine tables; null where an engine has no class.
    static const CFastArray<CMwEngineClassTable*>& GetEngineTables();

    // Binds every member record of the listed classes to its type's shared descriptor (built
    // here on first use) and reports any record left without one. The last step of Init.
    static void BindMemberInfos();
    // Clears every record's descriptor and destroys the descriptors. The first step of Shutdown.
    static void UnbindMemberInfos();
};

// The same lookup as CMwClassRegistry::GetClassInfoById.
CMwClassInfo* FindClassInfo(u32 classId);

// ---------------------------------------------------------------------------------------------
// Declaration scheme

template <class C>
CMwNod* MwFactory() {
    return new C;
}

// In the class body, first thing: the class's identity. `Base` is the C++ base class; IsKindOf
// answers the class's own id and every ancestor's by chaining to it.
#define MW_DECLARE_CLASS(Class, Base, ClassId)                                                     \
public:                                                                                            \
    using Super = Base;                                                                            \
    using MwDeclaredClass = Class;                                                                 \
    static constexpr u32 s_ClassId = ClassId;                                                      \
    static CMwClassInfo s_ClassInfo;                                                               \
    CMwClassInfo* GetClassInfo() override {                                                        \
        return &s_ClassInfo;                                                                       \
    }                                                                                              \
    u32 GetClassId() override {                                                                    \
        return ClassId;                                                                            \
    }                                                                                              \
    bool IsKindOf(u32 classId) override {                                                          \
        return classId == ClassId || Super::IsKindOf(classId);                                     \
    }

// Field of a member row: a data member of the class (its C++ type is checked against the row's
// kind), the same under another stored field name, or no field (a virtual member) with the field
// name the record carries.
#define MW_FIELD(field) MW_FIELD_NAMED(field, #field)
#define MW_FIELD_NAMED(field, fieldName)                                                           \
    CMwField<decltype(MwThisClass::field)> {                                                       \
        { static_cast<i32>(offsetof(MwThisClass, field)), fieldName }                              \
    }
#define MW_VIRTUAL(fieldName)                                                                      \
    CMwNoField {                                                                                   \
        { -1, fieldName }                                                                          \
    }

// Expansions of the member and chunk lists. Each row's index is an enumerator named after its
// member id, so that the id is checked against the class id and the index where the row stands.
#define MW_MEMBER_INDEX(Kind, Id, ...) MwRow_##Id,
#define MW_MEMBER_RECORD(Kind, Id, ...)                                                            \
    static_assert(MwRow_##Id < 0x1000 && (Id) == (MwThisClass::s_ClassId | MwRow_##Id),            \
                  "member row: the member id is the class id with the row's index in its low 12 "  \
                  "bits");                                                                         \
    constinit auto s_MwMember_##Id = mw_member_rows::Kind(Id, __VA_ARGS__);
#define MW_MEMBER_POINTER(Kind, Id, ...) &s_MwMember_##Id,
#define MW_CHUNK_ROW(Id, Flags) CMwChunkInfo{Id, Flags},
#define MW_NO_MEMBERS(X)
#define MW_NO_CHUNKS(X)

// In the class's source file: the class record with its member table (rows
// X(Kind, MemberId, "Name", field, "Label", Flags, Mask, extras...), checked at compile time) and
// its chunk table (rows X(ChunkId, Flags), in enumeration order). `InfoParent` is the parent in the
// class tree, the C++ base for all but a few classes. `Factory` is MwFactory<Class> or nullptr.
#define MW_DEFINE_CLASS_WITH_PARENT(Class, InfoParent, Factory, MEMBERS, CHUNKS)                   \
    namespace mw_class_##Class {                                                                   \
        using MwThisClass = Class;                                                                 \
        enum : u32 { MEMBERS(MW_MEMBER_INDEX) MwRowCount };                                        \
        MEMBERS(MW_MEMBER_RECORD)                                                                  \
        constinit CMwMemberInfo* const s_Members[] = {MEMBERS(MW_MEMBER_POINTER) nullptr};         \
        constinit const CMwChunkInfo s_Chunks[] = {CHUNKS(MW_CHUNK_ROW) CMwChunkInfo{0, 0}};       \
    }                                                                                              \
    constinit CMwClassInfo Class::s_ClassInfo(                                                     \
        Class::s_ClassId, &InfoParent::s_ClassInfo, &Class::Super::s_ClassInfo, #Class, Factory,   \
        mw_class_##Class::s_Members, mw_class_##Class::MwRowCount, mw_class_##Class::s_Chunks,     \
        sizeof(mw_class_##Class::s_Chunks) / sizeof(CMwChunkInfo) - 1)

#define MW_DEFINE_CLASS(Class, Factory, MEMBERS, CHUNKS)                                           \
    MW_DEFINE_CLASS_WITH_PARENT(Class, Class::Super, Factory, MEMBERS, CHUNKS)
