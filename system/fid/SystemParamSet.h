#pragma once
// Parameter sets: small lists of keyed records that travel with a load. A "Fid" record
// substitutes one file (or every file under a folder) for another; an "Id" record carries an
// id-keyed value to the nods being loaded, which read it in their parameter-set hook
// (CMwNod::ApplyParamSets). Each file id keeps the set under which its nod was loaded, so that
// one file loaded under different parameters gives different nods (alias file ids) and loading
// it again under the same parameters finds the nod already there.
//
// While archives load, the sets in force form one process-wide stack (PushParamSet ...
// CurrentParamSet). Every push inside a load is matched by a pop before the load returns, also
// when it fails: CSystemParamStackScope puts the stack back on every road out of a scope.
//
// Everything here runs on the engine's one thread and is not reentrant.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwId.h"

class CMwNod;
class CSystemFid;
class CSystemPackDesc;

// The kind of a record. Kinds are told apart by the address of these three objects, never by
// their names, so that a record made anywhere compares with any other by one pointer.
struct CSystemParamKind {
    const char* m_Name;
};
extern const CSystemParamKind g_SystemParamKindFid;      // "Fid"
extern const CSystemParamKind g_SystemParamKindId;       // "Id"
extern const CSystemParamKind g_SystemParamKindParamSet; // "ParamSet": the load completion
                                                         // passes such records on; none is made

// One record: its kind, the classes it applies to and whether a load must honour it.
class CSystemParam {
public:
    explicit CSystemParam(const CSystemParamKind* kind) : m_Kind(kind) {}
    CSystemParam& operator=(const CSystemParam&) = delete;
    virtual ~CSystemParam() = default;

    virtual bool IsEmpty() const = 0;
    // A new record of the same kind and content.
    virtual CSystemParam* Clone() const = 0;
    // Copies a record of the same kind; the base copies the class filter and the required flag
    // (a record of another kind gives only those).
    virtual void Assign(const CSystemParam& other);
    // differentKey: the other record is of another kind or has another key; equal: the same key
    // and the same content (filters and required flags are not compared).
    virtual void Compare(const CSystemParam& other, bool* equal, bool* differentKey) const = 0;

    bool HasSameKey(const CSystemParam& other) const;
    // The filter admits a class when it is null, when the class is 0xFFFFFFFF (any class), or
    // when the class is of the kind of one of its ids (the registry's kind test).
    bool Admits(u32 classId) const;
    // The filter admits one of the classes; an empty list admits every record.
    bool AdmitsAny(const u32* classIds, u32 count) const;

    const CSystemParamKind* m_Kind;
    // Class ids ended by 0xFFFFFFFF (static data, not owned), or null for any class.
    const u32* m_ClassFilter = nullptr;
    // Set: a load under a set that lacks this record does not suit a request that has it.
    u32 m_Required = 0;

protected:
    CSystemParam(const CSystemParam&) = default;
};

// Kind "Fid": the file or folder whose files are substituted, and what replaces them: a pack, a
// substitute name and a number.
class CSystemParamFid : public CSystemParam {
public:
    // A record for the target with no substitute: no pack, an empty name, 0, no number.
    explicit CSystemParamFid(CMwNod* target = nullptr)
        : CSystemParam(&g_SystemParamKindFid), m_Target(target) {}

    // Empty without pack and name.
    bool IsEmpty() const override { return !m_Pack && m_Name.IsEmpty(); }
    CSystemParam* Clone() const override { return new CSystemParamFid(*this); }
    void Assign(const CSystemParam& other) override;
    // The key is the target; the content the pack, the kept word and the name (case counts).
    void Compare(const CSystemParam& other, bool* equal, bool* differentKey) const override;

    // A file id, or a folder (CSystemFids) that stands for every file under it.
    CMwNod* m_Target;
    CSystemPackDesc* m_Pack = nullptr;
    CClassicString m_Name;
    // Kept and compared with the rest; nothing here reads it.
    u32 m_Extra = 0;
    u32 m_Number = 0xFFFFFFFF;
};

// Kind "Id": a value under a name id.
class CSystemParamId : public CSystemParam {
public:
    explicit CSystemParamId(CMwId id = CMwId(), u32 value = 0)
        : CSystemParam(&g_SystemParamKindId), m_Id(id), m_Value(value) {}

    // Empty with the value 0.
    bool IsEmpty() const override { return m_Value == 0; }
    CSystemParam* Clone() const override { return new CSystemParamId(*this); }
    void Assign(const CSystemParam& other) override;
    // The key is the id; the content the value.
    void Compare(const CSystemParam& other, bool* equal, bool* differentKey) const override;

    CMwId m_Id;
    u32 m_Value;
};

// A list of records with at most one per key once compacted, which it owns.
class CSystemParamSet {
public:
    constexpr explicit CSystemParamSet(u32 inherit = 1) : m_Inherit(inherit) {}
    CSystemParamSet(const CSystemParamSet& other);
    CSystemParamSet& operator=(const CSystemParamSet& other) {
        Assign(other);
        return *this;
    }
    // Deletes the records.
    virtual ~CSystemParamSet();

    // 1 when the set changed: a record of the same key takes the new content unless it is equal
    // (then 0); otherwise a copy is appended.
    u32 SetParam(const CSystemParam& record);
    // 1 when a record of the query's key exists; the query is then assigned from it.
    u32 GetParam(CSystemParam& query) const;
    // Deletes every record and sets each of other's in order; takes other's inherit flag.
    // Assigning a set to itself changes nothing.
    void Assign(const CSystemParamSet& other);
    // Sets every record of other whose filter admits a class of the list (all of them for an
    // empty list); the inherit flag becomes the AND of both. 1 when a record changed.
    u32 MergeAdmitting(const CSystemParamSet& other, const u32* classIds, u32 count);
    // MergeAdmitting with the one class, or with the empty list for 0xFFFFFFFF.
    u32 MergeForClass(const CSystemParamSet& other, u32 classId);
    // Removes, keeping the order of the rest, every record whose filter does not admit the class
    // (0xFFFFFFFF admits all), every empty record unless the inherit flag is set, and every
    // record whose key an earlier one has.
    void Compact(u32 classId);
    // Whether a nod loaded under other (a file id's set) suits a request under this set, for a
    // content of the class.
    bool IsCompatible(const CSystemParamSet& other, u32 classId) const;
    // The substitution this set asks for the file id: a "Fid" record whose target is the file id
    // decides; else the first whose target is a folder holding the file, the name then being
    // the record's name followed by the file's path below that folder without its extensions
    // (characters of 128 and above as '_'). Pack, name and number are given out and the
    // deciding record is set into the target set. Without a deciding record the outputs are
    // null, empty and 0xFFFFFFFF and an empty record for the file id is set into the target
    // set. Outputs and target may be null.
    void FindFidSubstitution(CSystemFid* fid, CSystemPackDesc** pack, CClassicString* name,
                             u32* number, CSystemParamSet* target) const;
    // Deletes every record; the inherit flag stays.
    void Clear();

    u32 GetCount() const { return m_Params.m_Count; }
    const CSystemParam* GetParamAt(u32 index) const { return m_Params.m_Items[index]; }
    // The records that are not empty.
    u32 GetNonEmptyCount() const { return m_NonEmptyCount; }

    // Set: a nod loaded under this set also suits a request with records this set lacks, unless
    // they are required (IsCompatible).
    u32 m_Inherit;

    // Every new file id starts with a copy of the default set (inherit 1, no records), and so
    // does an archive's own load set. The base set (inherit 0, no records) is the bottom of the
    // loading stack.
    static CSystemParamSet s_Default;
    static CSystemParamSet s_Base;

private:
    // The first record of the same key, or null.
    CSystemParam* FindKey(const CSystemParam& record) const;
    void CountNonEmpty();

    CFastBuffer<CSystemParam*> m_Params;
    u32 m_NonEmptyCount = 0;
};

// The loading stack. PushParamSet pushes a copy of the set merged with the set in force:
// without ownFirst the outer records win on equal keys, with ownFirst the pushed set's records
// do; the copy does not inherit and keeps no empty record. A null set counts as empty.
void PushParamSet(const CSystemParamSet* set, bool ownFirst);
// With an empty stack nothing; otherwise pushes the records of the set in force that admit the
// class, over the base set.
void PushParamSetForClass(u32 classId);
// Removes the top set; nothing with an empty stack.
void PopParamSet();
// Removes the top set when there is one.
void PopParamSetIfAny();
// The top set, or the base set with an empty stack.
CSystemParamSet* CurrentParamSet();
// The number of sets pushed.
u32 GetParamSetDepth();
// Frees the whole stack (engine shutdown).
void ClearParamSetStack();

// Puts the loading stack back to the depth it had when the scope began, whatever ends the scope:
// the end of a block, an early return or an exception passing through. Loads push inside one.
class CSystemParamStackScope {
public:
    CSystemParamStackScope() : m_Depth(GetParamSetDepth()) {}
    ~CSystemParamStackScope();
    CSystemParamStackScope(const CSystemParamStackScope&) = delete;
    CSystemParamStackScope& operator=(const CSystemParamStackScope&) = delete;

private:
    u32 m_Depth;
};
