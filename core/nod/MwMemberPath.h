#pragma once
// A member path: the short sequence of items by which any member of any nod is reached. Items
// are members, element or component indices, names selecting a nod among a list of nods, and
// procedure arguments.
//
// Storage position 0 holds the path's last item and position count - 1 its first (outermost)
// item; the current position moves down as items are consumed. Item values are pointer-sized:
// a member item holds the address of its static record.
#include "core/nod/MwNod.h"

#include <algorithm>
#include <new>

enum EMwPathItemKind : u32 {
    MwPathItem_Member = 0,
    MwPathItem_Index = 1,
    MwPathItem_Name = 2,
    MwPathItem_ArgumentFirst = 0x10000000,
    MwPathItem_ArgumentBool = 0x10000001,
    MwPathItem_ArgumentNod = 0x10000002,
    MwPathItem_ArgumentEnum = 0x10000003,
    MwPathItem_ArgumentIso4 = 0x10000004,
    MwPathItem_ArgumentVec2 = 0x10000005,
    MwPathItem_ArgumentVec3 = 0x10000006,
    MwPathItem_ArgumentInteger = 0x10000007,
    MwPathItem_ArgumentNatural = 0x10000008,
    MwPathItem_ArgumentReal = 0x10000009,
    MwPathItem_ArgumentString = 0x1000000A,
};

// Result codes of the path and member operations.
enum EMwParamResult : u32 {
    MwParam_Ok = 0,
    MwParam_WrongClass = 1,
    MwParam_NotFound = 2,
    MwParam_PathFull = 4,
    MwParam_PathEmpty = 5,
    MwParam_NoText = 7,
};

using MwPathValue = uintptr_t;

// The description of a path's target that CMwMemberPath::GetTargetInfo gives: a member's own
// record (static data, with the extras of its type), or a record made for one element,
// component or procedure argument, which lives inside this object.
class CMwTargetInfo {
public:
    CMwTargetInfo() = default;
    CMwTargetInfo(const CMwTargetInfo&) = delete;
    CMwTargetInfo& operator=(const CMwTargetInfo&) = delete;

    const CMwMemberInfo& Get() const { return *m_Info; }
    // Describes the target by a member's own record.
    void Refer(const CMwMemberInfo& record) { m_Info = &record; }
    // A record of the type code's family, every field and extra zero but the type code.
    CMwMemberInfo& Make(u32 typeCode);

private:
    template <class Record>
    CMwMemberInfo& Place(const Record& record) {
        Record* placed = new (m_Storage) Record(record);
        m_Info = placed;
        return *placed;
    }

    static constexpr size_t s_Size = std::max(
        {sizeof(CMwMemberInfoAction), sizeof(CMwMemberInfoClass), sizeof(CMwMemberInfoEnum),
         sizeof(CMwMemberInfoIntegerRange), sizeof(CMwMemberInfoNaturalRange),
         sizeof(CMwMemberInfoRealRange), sizeof(CMwMemberInfoVec), sizeof(CMwMemberInfoProc),
         sizeof(CMwMemberInfoContainer)});
    static constexpr CMwMemberInfo s_NoTarget{};
    alignas(CMwMemberInfoProc) unsigned char m_Storage[s_Size];
    const CMwMemberInfo* m_Info = &s_NoTarget;
};

// Answers with CMwNod's identity: it has no class record of its own.
class CMwMemberPath : public CMwNod {
public:
    static constexpr u32 s_FactoryClassId = 0x01002000;
    // The most items a stored path may hold.
    static constexpr u32 s_MaxArchivedItems = 4096;

    CMwMemberPath() = default;
    explicit CMwMemberPath(u32 capacity) { Reserve(capacity); }
    CMwMemberPath(const CMwMemberPath&) = delete;
    CMwMemberPath& operator=(const CMwMemberPath&) = delete;
    ~CMwMemberPath() override;

    // 0 frees both arrays and empties the path; otherwise room for n items (never below the
    // count), the items kept and the path reset.
    void Reserve(u32 n);
    // Inserts a value at storage position 0 (the path's new last item); the caller sets its
    // kind. MwParam_PathFull when there is no room.
    u32 PushFront(MwPathValue value);
    // Replaces the value at storage position 0; MwParam_PathEmpty on an empty path.
    u32 SetFront(MwPathValue value);
    // u32 count, the count kinds in storage order, then per item: member id, index, or a name
    // (a bool, then the name's text); argument values are not stored and read back as 0.
    u32 Archive(CClassicArchive& archive) override;

    using CMwNod::CopyFrom;
    // Becomes a copy of the other path with room for `extra` more items.
    void CopyFrom(const CMwMemberPath& other, u32 extra);
    // The other path's items become the last items of this path.
    void AppendPath(const CMwMemberPath& other);

    void Reset() { m_Current = static_cast<i32>(m_Count) - 1; }
    // False also for a position past the items (a default path has position 0 and no items).
    bool HasCurrent() const { return m_Current >= 0 && m_Current < static_cast<i32>(m_Count); }
    // The current item's value, without consuming it; false when the path is used up.
    bool GetCurrent(MwPathValue* value) const;
    u32 GetCurrentKind() const { return HasCurrent() ? m_Kinds[m_Current] : 0xFFFFFFFF; }
    // Consumes the current item when it is a member item and returns its record; null (and
    // nothing consumed) otherwise.
    CMwMemberInfo* TakeMember();
    // Consumes the current item when it is an index item.
    bool TakeIndex(u32* index);
    void Consume() { --m_Current; }
    void PutBack() { ++m_Current; }

    // Consumes the current item (a name id) and gives the position of the first nod of the list
    // whose name id equals it; MwParam_NotFound when none does (or the item is not a name).
    u32 FindNodByName(u32* index, CMwNod* const* nods, u32 count);
    // The value of argument n of the given kind: on the first call (start -1) start becomes the
    // storage position of the first argument item. Null when there is no such argument.
    MwPathValue* GetArgument(u32 n, u32 kind, i32* start);

    // The most tokens a path text may have.
    static constexpr u32 s_MaxTextTokens = 256;

    // Builds the path from text such as "Member.Sub[3].x" or "Member.Sub.3.x": the text is cut
    // at ".", "[" and "]" (a run of them is one separator) and the tokens are parsed. A failure
    // leaves the path empty.
    u32 ParseFromText(u32 classId, CMwNod* nod, const CClassicString& text);
    // Parses tokens from the class `classId` (-1: the nod's class) and, with a nod, through the
    // nods its members hold. A token that names no member of the current class is looked up in
    // its parents in the class tree (CMwClassInfo::m_Parent). 0 on success, 1 when the nod is not
    // of the class, n + 1 when token n cannot be taken. The path is reset on success, emptied on
    // failure.
    u32 Parse(u32 classId, CMwNod* nod, u32 tokenCount, const CClassicString* tokens);
    // Appends the index item of a component name ("x", "AxeYz", and "length" for the vectors)
    // of a structured kind; 1 when the kind has no such component.
    u32 ParseComponent(u32 typeCode, const CClassicString& token);
    // Describes what the path designates: its innermost member, one element of a container, one
    // component of a structured value (a Real) or one procedure argument. 1 when the path has
    // no member item or its items after that member do not fit it.
    u32 GetTargetInfo(CMwTargetInfo* out) const;

    u32 m_Count = 0;
    u32 m_Capacity = 0;
    MwPathValue* m_Values = nullptr;
    u32* m_Kinds = nullptr;
    i32 m_Current = -1;

private:
    // A path of up to s_InlineItems items keeps them in the path itself; a longer one takes one
    // block holding both arrays.
    static constexpr u32 s_InlineItems = 4;
    // Storage for n items: the inline arrays when n fits and they are not in use, else a block.
    MwPathValue* NewItems(u32 n, u32** kinds);
    void FreeItems(MwPathValue* values);

    MwPathValue m_InlineValues[s_InlineItems];
    u32 m_InlineKinds[s_InlineItems];

    // ParseElement's answer when the parse goes on with the next token.
    static constexpr u32 s_ParseGoesOn = 0xFFFFFFFF;

    // The parser works on views of the tokens (each ending at its length, holding no NUL).
    u32 ParseRefs(u32 classId, CMwNod* nod, u32 tokenCount, const CClassicStringRef* tokens);
    u32 ParseComponentRef(u32 typeCode, CClassicStringRef token);
    u32 ParseTokens(CMwClassInfo* start, CMwNod* nod, u32 count, const CClassicStringRef* tokens);
    u32 ParseElement(u32 typeCode, const CMwMemberInfo* member, u32* position, u32 count,
                     const CClassicStringRef* tokens, CMwClassInfo** cls, CMwNod** nod);
    void PushItem(MwPathValue value, u32 kind);
};
