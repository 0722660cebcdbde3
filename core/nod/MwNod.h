#pragma once
// CMwNod, the root of every engine object ("nod"): a reference count with a protocol by which
// the nods that depend on this one are asked to let go before it is destroyed, a list of
// observers told of its messages, the link to the file id it was loaded from, and the virtual
// operations every engine class inherits (identity, name id, virtual member access, member and
// chunk enumeration, the chunked archive body, load hooks, description, messages).
//
// Everything here runs on the engine's one thread; counts are plain integers.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwClassInfo.h"

class CClassicArchive;
class CMwId;
class CMwMemberPath;
class CSystemFid;
class CSystemParamSet;

class CMwNod {
public:
    static constexpr u32 s_ClassId = 0x01001000;
    static constexpr u32 s_IdNameMemberId = 0x01001000;
    static constexpr u32 s_RootChunkId = 0x01001000;
    // Answers GetChunkInfo for an id no class of the chain knows, and ends a chunked body.
    static constexpr u32 s_UnknownChunk = 0xFACADE01;
    // Precedes the size of a skippable chunk ("PIKS" in little-endian bytes).
    static constexpr u32 s_SkipTag = 0x534B4950;
    static constexpr u32 s_NoClassId = 0xFFFFFFFF;
    static CMwClassInfo s_ClassInfo;

    CMwNod();
    // A copy starts like a new nod: count 0, no file id, no dependants, no observers.
    CMwNod(const CMwNod&) : CMwNod() {}
    // Assigning copies nothing of the nod part: count, file id and lists stay the target's own.
    CMwNod& operator=(const CMwNod&) { return *this; }
    virtual ~CMwNod();

    // Identity.
    virtual CMwClassInfo* GetClassInfo() { return &s_ClassInfo; }
    virtual u32 GetClassId() { return s_ClassId; }
    virtual bool IsKindOf(u32 classId) { return classId == s_ClassId; }
    // The name id of classes that carry one; null for the others.
    virtual CMwId* GetIdPtr() { return nullptr; }
    // Null, "" and "Unassigned" make the name id unassigned; other texts intern the name.
    virtual void SetIdName(const char* text);

    // A nod this one depends on is being destroyed / has reached count 0.
    virtual void OnDependencyDestroyed(CMwNod* nod);
    virtual void OnDependencyReleased(CMwNod* nod);

    // Virtual member operations: the path's current item is a member record of this class or an
    // ancestor. Each class handles its own virtual members and hands the others to its parent.
    virtual u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out);
    virtual u32 SetParamVirtual(CMwMemberPath* path, const void* value);
    virtual u32 AddParamVirtual(CMwMemberPath* path, const void* value);
    virtual u32 SubParamVirtual(CMwMemberPath* path, const void* value);
    virtual void ReservedHook(u32 a, u32 b);

    // Member and chunk enumeration: the ancestors' ids first, the root's first. The defaults
    // follow the class records' tables.
    virtual u32 MemberIdByIndex(u32 index);
    virtual u32 MemberCount();
    // The chunked body: writes every chunk the class chain wants written, in enumeration order,
    // or reads chunks back in the order stored, then calls OnAfterLoad. Returns 0 or throws.
    // Reading, an unknown chunk without the skip tag ends a top-level body there (a log line,
    // the rest unread, OnAfterLoad, 0); inside a nested body (an inline nod read in another
    // nod's body) it fails the read with CClassicBufferException. The stream's exceptions (the
    // end of the stream, a size past the end, a missing end tag, bodies nested deeper than
    // kClassicArchiveMaxBodyDepth) pass through without OnAfterLoad: the operation that started
    // the read catches them and fails.
    virtual u32 Archive(CClassicArchive& archive);
    // Reads or writes one chunk's data; each class handles its own ids and hands the others to
    // its parent.
    virtual void ArchiveChunk(CClassicArchive& archive, u32 chunkId);
    virtual u32 GetChunkInfo(u32 chunkId);
    virtual u32 ChunkIdByIndex(u32 index);
    virtual u32 ChunkCount();

    virtual void OnAfterLoad() {}
    virtual void InitDefault() {}
    virtual void OnFileReloaded(u32, CMwNod*) {}
    virtual void ApplyParamSets(CSystemParamSet* current, CSystemParamSet* load);
    virtual i32 LoadFid(CMwNod** nod, CSystemFid* fid);
    virtual i32 SaveFid(CMwNod* nod, CSystemFid* fid);
    // Appends the diagnostic prefix, the class name and the address; 0 and nothing appended for
    // a nod that is not valid.
    virtual i32 Describe(CClassicString& text);
    virtual void CopyFrom(CMwNod* source);
    virtual void ArchiveHeaderChunk(CClassicArchive&, u32*) {}
    virtual u32 HeaderChunkIdByIndex(u32 index) { return index | s_ClassId; }
    virtual u32 HeaderChunkCount() { return 0; }
    virtual u32 AuxMemberIdByIndex(u32 index) { return index | s_ClassId; }
    virtual u32 AuxMemberCount() { return 0; }
    virtual void OnMessage(u32* messageId, CMwNod* sender, u32 parameter);

    // Reference counting.
    i32 AddRef() { return ++m_RefCount; }
    i32 Release();
    i32 GetRefCount() const { return m_RefCount; }

    void AddDependant(CMwNod* dependant);
    // Removes the first entry equal to the dependant (the last entry takes its place). A
    // dependant that is not listed changes nothing.
    void RemoveDependant(CMwNod* dependant);
    void RemoveDependantIfPresent(CMwNod* dependant);
    // Removes the dependant, then deletes this nod when its count is 0 and no dependant is left.
    void RemoveDependantAndRelease(CMwNod* dependant);
    u32 GetDependantCount() const { return m_Dependants ? m_Dependants->m_Count : 0; }

    // Holds: a keeper (a load keeps every nod it makes until it ends) keeps the nod alive without
    // counting a reference and without a place in the list of dependants, which would cost an
    // allocation per nod. A held nod stays when its count reaches 0 or its last dependant lets
    // go. A held nod destroyed all the same (a direct delete) calls the hook set by
    // SetHeldNodDestroyedHook.
    void AddHold() { ++m_Holds; }
    // Lets go of one hold and leaves the nod as it is.
    void RemoveHold() { --m_Holds; }
    // Lets go of one hold, then deletes this nod when its count is 0 and nothing else keeps it.
    void RemoveHoldAndRelease();
    u32 GetHoldCount() const { return m_Holds; }
    static void SetHeldNodDestroyedHook(void (*hook)(CMwNod* nod));

    void AddObserver(CMwNod* observer);
    void RemoveObserver(CMwNod* observer);
    // Calls OnMessage on every observer in list order; observers may remove themselves or others
    // while it runs.
    void NotifyObservers(u32 messageId, u32 parameter);
    u32 GetObserverCount() const { return m_Observers ? m_Observers->m_Count : 0; }

    // Member access along a member path whose current item is a member record of this nod's
    // class or of an ancestor (result codes: EMwParamResult, MwMemberPath.h). Get fills the
    // value reference; Set, Add and Sub take a pointer to the input, for nod members the nod
    // pointer itself. Each consumes the items it uses.
    u32 GetParam(CMwMemberPath* path, CMwParamValue* out);
    // Refuses with 2 a write into the value of a member that has neither Set nor SetVirtual; a
    // path that only passes through such a member into a nod is decided by the member it reaches.
    u32 SetParam(CMwMemberPath* path, const void* input);
    u32 AddParam(CMwMemberPath* path, const void* input);
    u32 SubParam(CMwMemberPath* path, const void* input);
    // Validates a path from its current item without changing anything: 0 when every member,
    // element, component and argument it names is there, else 2. Items the walk passes into nods
    // are consumed; Reset the path before using it.
    u32 CheckParam(CMwMemberPath* path);
    // Parses the path text against this nod and sets the member it names from the value text
    // (for a nod member, the nod's address in hexadecimal, or an empty text for none). Every
    // failure is also written to the log.
    u32 SetParamFromText(const CClassicString& pathText, const CClassicWideString& valueText);
    // Reads one member of this nod, as GetParam with a path holding only that member.
    u32 GetMemberValue(CMwMemberInfo* member, CMwParamValue* out);

    // True when the pointer designates a live nod (answered from the registry of live nods).
    static bool IsValidNod(const CMwNod* nod);
    // How many nods are alive (tests check that everything they made is gone).
    static u32 GetLiveNodCount();
    // Position in the list of the nearest class of this nod; -1 when none is listed.
    i32 FindKindIndex(u32 count, const u32* classIds);

    CSystemFid* GetFid() const { return m_Fid; }

    i32 m_RefCount = 0;
    // Written only by the file id this nod is bound to.
    CSystemFid* m_Fid = nullptr;

private:
    CFastBuffer<CMwNod*>* m_Dependants = nullptr;
    CFastBuffer<CMwNod*>* m_Observers = nullptr;
    // The Release pass over the dependants that is running, if any; it lives on Release's stack.
    // While it runs, a count of 0 reached again (a nested Release, RemoveDependantAndRelease)
    // only marks the nod and the pass deletes it once it is over; a destructor run meanwhile
    // tells the pass, which then stops touching the nod.
    struct SReleasePass;
    SReleasePass* m_ReleasePass = nullptr;
    // Set while the destructor tells the dependants: nothing may delete the nod again.
    u8 m_Destroying = 0;
    u32 m_Holds = 0;
    // Nothing else keeps the nod: no count, no dependant, no hold.
    bool IsUnkept() const { return m_RefCount == 0 && GetDependantCount() == 0 && m_Holds == 0; }
    // Deletes the nod (or, while a Release pass runs, has the pass delete it) when nothing keeps
    // it and it is not being destroyed.
    void DeleteIfUnkept();
};

// A member that holds one reference to a nod: takes it when a nod is stored, gives it back when
// the nod is replaced or the holder destroyed. Copies take a reference of their own. The field of
// a Class member row that takes references.
class CMwNodRef {
public:
    CMwNodRef() = default;
    explicit CMwNodRef(CMwNod* nod) { Set(nod); }
    CMwNodRef(const CMwNodRef& other) { Set(other.m_Nod); }
    CMwNodRef& operator=(const CMwNodRef& other) {
        Set(other.m_Nod);
        return *this;
    }
    // A move hands the reference over (the source is left empty): growing an array of holders
    // touches no nod.
    CMwNodRef(CMwNodRef&& other) noexcept : m_Nod(other.m_Nod) { other.m_Nod = nullptr; }
    CMwNodRef& operator=(CMwNodRef&& other) noexcept {
        if (this != &other) {
            CMwNod* old = m_Nod;
            m_Nod = other.m_Nod;
            other.m_Nod = nullptr;
            if (old)
                old->Release();
        }
        return *this;
    }
    ~CMwNodRef() { Set(nullptr); }

    void Set(CMwNod* nod) {
        if (nod)
            nod->AddRef();
        CMwNod* old = m_Nod;
        m_Nod = nod;
        if (old)
            old->Release();
    }
    CMwNod* Get() const { return m_Nod; }
    CMwNod* operator->() const { return m_Nod; }
    explicit operator bool() const { return m_Nod != nullptr; }

private:
    CMwNod* m_Nod = nullptr;
};
// The Class descriptors read and store a reference-holding member's nod through its field as a
// CMwNod* (the reference-taking one keeps the count as Set does).
static_assert(std::is_standard_layout_v<CMwNodRef> && sizeof(CMwNodRef) == sizeof(CMwNod*));

// The setter of a member that keeps a plain nod pointer: while the path has items left, the set
// goes on in the nod the field points to (2 when it is null); at the end of the path the nod
// given (the input of SetParam, the nod pointer itself) is stored in the field, without taking
// or giving back a reference.
u32 SetNodRefMember(CMwNod** field, CMwMemberPath* path, const void* input);
