#include "core/nod/MwNod.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwDiag.h"
#include "core/nod/MwId.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParamScalar.h"
#include "platform/Crt.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

namespace {

// The registry of live nods, filled by the root constructor and emptied by its destructor. It
// answers IsValidNod without probing memory, and its storage is freed whenever the last nod goes,
// so nothing is left at exit.
//
// Nods are kept by memory page: an open-addressing table of the pages that hold live nods, each
// with one bit per 8-byte address of the page. Nods made one after another mostly share a page,
// so making and destroying many of them touches a few cache lines of the table in turn instead of
// one random slot each, and the table stays a fraction of the size of a set of addresses.
class CLiveNods {
public:
    void Insert(const CMwNod* nod) {
        const uintptr_t address = reinterpret_cast<uintptr_t>(nod);
        const u64 key = Key(address);
        u32 slot = Find(key);
        if (slot == kNone) {
            if ((m_Pages + 1) * 4 > m_Capacity * 3)
                Grow();
            slot = Home(key);
            while (m_Keys[slot])
                slot = (slot + 1) & (m_Capacity - 1);
            m_Keys[slot] = key;
            ++m_Pages;
        }
        m_Bits[slot].m_Words[Word(address)] |= Bit(address);
        ++m_Count;
    }

    void Erase(const CMwNod* nod) {
        const uintptr_t address = reinterpret_cast<uintptr_t>(nod);
        const u32 slot = Find(Key(address));
        if (slot == kNone)
            return;
        u64& word = m_Bits[slot].m_Words[Word(address)];
        if (!(word & Bit(address)))
            return;
        word &= ~Bit(address);
        if (--m_Count == 0) {
            Free();
            return;
        }
        if (word == 0 && m_Bits[slot].IsEmpty())
            RemovePage(slot);
    }

    u32 Count() const { return m_Count; }

    bool Contains(const CMwNod* nod) const {
        const uintptr_t address = reinterpret_cast<uintptr_t>(nod);
        if (address % alignof(CMwNod) != 0)
            return false;
        const u32 slot = Find(Key(address));
        return slot != kNone && (m_Bits[slot].m_Words[Word(address)] & Bit(address));
    }

private:
    static constexpr u32 kPageShift = 12;
    static constexpr u32 kNone = 0xFFFFFFFF;
    static_assert(alignof(CMwNod) == 8, "one bit per 8-byte address");

    // The bits of one page, a cache line.
    struct alignas(64) SPageBits {
        u64 m_Words[(1u << kPageShift) / 8 / 64];
        // Word by word: a load as wide as two words would wait for the word just stored to
        // reach the cache, where a load of that word alone is answered by the store.
        bool IsEmpty() const {
            for (u64 word : m_Words)
                if (word != 0)
                    return false;
            return true;
        }
    };

    // The page number + 1 (0 is an empty slot).
    static u64 Key(uintptr_t address) { return (u64(address) >> kPageShift) + 1; }
    static u32 Word(uintptr_t address) { return (address >> 9) & 7; }
    static u64 Bit(uintptr_t address) { return u64(1) << ((address >> 3) & 63); }

    u32 Home(u64 key) const { return u32((key * 0x9E3779B97F4A7C15ull) >> m_Shift); }

    u32 Find(u64 key) const {
        if (!m_Keys)
            return kNone;
        for (u32 slot = Home(key); m_Keys[slot]; slot = (slot + 1) & (m_Capacity - 1))
            if (m_Keys[slot] == key)
                return slot;
        return kNone;
    }

    // Backward-shift deletion keeps every probe chain unbroken without tombstones.
    void RemovePage(u32 slot) {
        const u32 mask = m_Capacity - 1;
        u32 hole = slot;
        for (u32 next = (hole + 1) & mask; m_Keys[next]; next = (next + 1) & mask) {
            const u32 home = Home(m_Keys[next]);
            if (((next - home) & mask) >= ((next - hole) & mask)) {
                m_Keys[hole] = m_Keys[next];
                m_Bits[hole] = m_Bits[next];
                hole = next;
            }
        }
        m_Keys[hole] = 0;
        m_Bits[hole] = {};
        --m_Pages;
    }

    void Grow() {
        u64* oldKeys = m_Keys;
        SPageBits* oldBits = m_Bits;
        const u32 oldCapacity = m_Capacity;
        m_Capacity = oldCapacity ? oldCapacity * 2 : 64;
        m_Shift = m_Shift ? m_Shift - 1 : 64 - 6;
        m_Keys = static_cast<u64*>(std::calloc(m_Capacity, sizeof(u64)));
        m_Bits = static_cast<SPageBits*>(
            std::aligned_alloc(alignof(SPageBits), size_t(m_Capacity) * sizeof(SPageBits)));
        if (!m_Keys || !m_Bits)
            std::abort();
        std::memset(static_cast<void*>(m_Bits), 0, size_t(m_Capacity) * sizeof(SPageBits));
        for (u32 i = 0; i < oldCapacity; ++i) {
            if (!oldKeys[i])
                continue;
            u32 slot = Home(oldKeys[i]);
            while (m_Keys[slot])
                slot = (slot + 1) & (m_Capacity - 1);
            m_Keys[slot] = oldKeys[i];
            m_Bits[slot] = oldBits[i];
        }
        std::free(oldKeys);
        std::free(oldBits);
    }

    void Free() {
        std::free(m_Keys);
        std::free(m_Bits);
        m_Keys = nullptr;
        m_Bits = nullptr;
        m_Capacity = 0;
        m_Shift = 0;
        m_Pages = 0;
    }

    u64* m_Keys = nullptr;
    SPageBits* m_Bits = nullptr;
    u32 m_Capacity = 0;
    // 64 - log2 of the capacity: the hash keeps the product's top bits.
    u32 m_Shift = 0;
    u32 m_Pages = 0;
    u32 m_Count = 0;
};

constinit CLiveNods s_LiveNods;

void RemoveFirst(CFastBuffer<CMwNod*>* list, CMwNod* nod) {
    if (!list)
        return;
    for (u32 i = 0; i < list->m_Count; ++i) {
        if (list->m_Items[i] == nod) {
            list->FastRemove(i, 1);
            return;
        }
    }
}

void Append(CFastBuffer<CMwNod*>*& list, CMwNod* nod) {
    if (!list) {
        list = new CFastBuffer<CMwNod*>;
        list->Reserve(4);
    }
    list->Add(nod);
}

} // namespace

struct CMwNod::SReleasePass {
    explicit SReleasePass(CMwNod* nod) : m_Nod(nod) { nod->m_ReleasePass = this; }
    // Also when a dependant throws; a destroyed nod is not touched.
    ~SReleasePass() {
        if (!m_NodDestroyed)
            m_Nod->m_ReleasePass = nullptr;
    }
    SReleasePass(const SReleasePass&) = delete;
    SReleasePass& operator=(const SReleasePass&) = delete;

    CMwNod* m_Nod;
    bool m_DeletePending = false;
    bool m_NodDestroyed = false;
};

CMwNod::CMwNod() {
    s_LiveNods.Insert(this);
}

namespace {
using HeldNodDestroyedHook = void (*)(CMwNod*);
constinit HeldNodDestroyedHook s_HeldNodDestroyed = nullptr;
}

void CMwNod::SetHeldNodDestroyedHook(void (*hook)(CMwNod*)) {
    s_HeldNodDestroyed = hook;
}

CMwNod::~CMwNod() {
    m_Destroying = 1;
    if (m_ReleasePass)
        m_ReleasePass->m_NodDestroyed = true;
    if (m_Holds != 0 && s_HeldNodDestroyed)
        s_HeldNodDestroyed(this);
    if (m_Dependants) {
        // Dependants added while a pass runs are told by the next pass.
        for (bool told = true; told;) {
            told = false;
            for (u32 i = 0; i < m_Dependants->m_Count; ++i) {
                CMwNod* dependant = m_Dependants->m_Items[i];
                if (!dependant)
                    continue;
                m_Dependants->m_Items[i] = nullptr;
                dependant->OnDependencyDestroyed(this);
                told = true;
            }
        }
        m_Dependants->FreeItems();
        delete m_Dependants;
    }
    if (m_Observers) {
        m_Observers->FreeItems();
        delete m_Observers;
    }
    s_LiveNods.Erase(this);
}

// ---------------------------------------------------------------------------------------------
// Reference counting and dependants

i32 CMwNod::Release() {
    if (--m_RefCount != 0 || m_Destroying)
        return m_RefCount;
    if (m_ReleasePass) {
        // A pass over the dependants runs further up the stack: it deletes the nod once it is
        // over, if the count is still 0 and no dependant is left.
        m_ReleasePass->m_DeletePending = true;
        return 0;
    }
    if (!m_Dependants || m_Dependants->m_Count == 0) {
        if (m_Holds == 0)
            delete this;
        return 0;
    }
    // Ask each dependant to let go. A removal moves the last entry into the current position,
    // so the position advances only when the count did not change.
    bool deletePending;
    {
        SReleasePass pass(this);
        u32 count = m_Dependants->m_Count;
        for (u32 i = 0; i < count;) {
            const bool last = count == 1;
            m_Dependants->m_Items[i]->OnDependencyReleased(this);
            if (pass.m_NodDestroyed)
                return 0; // deleted by a dependant: nothing of it may be read
            if (last)
                break;
            const u32 now = m_Dependants->m_Count;
            if (now == count)
                ++i;
            else
                count = now;
        }
        deletePending = pass.m_DeletePending;
    }
    if (deletePending && IsUnkept())
        delete this;
    return 0;
}

void CMwNod::AddDependant(CMwNod* dependant) {
    Append(m_Dependants, dependant);
}

void CMwNod::RemoveDependant(CMwNod* dependant) {
    RemoveFirst(m_Dependants, dependant);
}

void CMwNod::RemoveDependantIfPresent(CMwNod* dependant) {
    RemoveFirst(m_Dependants, dependant);
}

void CMwNod::RemoveDependantAndRelease(CMwNod* dependant) {
    RemoveFirst(m_Dependants, dependant);
    DeleteIfUnkept();
}

void CMwNod::RemoveHoldAndRelease() {
    --m_Holds;
    DeleteIfUnkept();
}

void CMwNod::DeleteIfUnkept() {
    if (m_Destroying || !IsUnkept())
        return;
    if (m_ReleasePass)
        m_ReleasePass->m_DeletePending = true;
    else
        delete this;
}

void CMwNod::OnDependencyDestroyed(CMwNod*) {}

void CMwNod::OnDependencyReleased(CMwNod* nod) {
    nod->RemoveDependantAndRelease(this);
}

// ---------------------------------------------------------------------------------------------
// Observers

void CMwNod::AddObserver(CMwNod* observer) {
    Append(m_Observers, observer);
}

void CMwNod::RemoveObserver(CMwNod* observer) {
    if (!m_Observers)
        return;
    RemoveFirst(m_Observers, observer);
    if (m_Observers->m_Count == 0) {
        m_Observers->FreeItems();
        delete m_Observers;
        m_Observers = nullptr;
    }
}

void CMwNod::NotifyObservers(u32 messageId, u32 parameter) {
    // The list is read afresh at every step: an observer may remove itself or others (even
    // free the list) while the messages go out.
    for (u32 i = 0; m_Observers && i < m_Observers->m_Count; ++i) {
        u32 id = messageId;
        m_Observers->m_Items[i]->OnMessage(&id, this, parameter);
    }
}

void CMwNod::OnMessage(u32*, CMwNod*, u32) {}

// ---------------------------------------------------------------------------------------------
// Identity and name

u32 CMwNod::GetLiveNodCount() {
    return s_LiveNods.Count();
}

bool CMwNod::IsValidNod(const CMwNod* nod) {
    if (!nod || !s_LiveNods.Contains(nod))
        return false;
    CMwNod* live = const_cast<CMwNod*>(nod);
    return live->GetClassId() != s_NoClassId && live->IsKindOf(s_ClassId);
}

i32 CMwNod::FindKindIndex(u32 count, const u32* classIds) {
    CMwClassInfo* info = GetClassInfo();
    return info ? info->FindKindIndex(count, classIds) : -1;
}

void CMwNod::SetIdName(const char* text) {
    CMwId* id = GetIdPtr();
    if (id)
        id->SetFromName(text);
}

u32 CMwNod::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    const CMwMemberInfo* member = path->TakeMember();
    if (!member)
        return MwParam_NotFound;
    if (member->MemberId != s_IdNameMemberId)
        return MwParam_WrongClass;
    // One string shared by every nod, replaced by the next read.
    static CClassicString s_IdNameText;
    const CMwId* id = GetIdPtr();
    if (!id) {
        out->Value = const_cast<CClassicString*>(&g_ClassicStringEmpty);
        return MwParam_Ok;
    }
    id->GetText(s_IdNameText);
    out->Value = &s_IdNameText;
    return MwParam_Ok;
}

u32 CMwNod::SetParamVirtual(CMwMemberPath* path, const void* value) {
    const CMwMemberInfo* member = path->TakeMember();
    if (member && member->MemberId == s_IdNameMemberId && value)
        SetIdName(static_cast<const CClassicString*>(value)->GetText());
    return MwParam_Ok;
}

u32 CMwNod::AddParamVirtual(CMwMemberPath*, const void*) {
    return MwParam_Ok;
}

u32 CMwNod::SubParamVirtual(CMwMemberPath*, const void*) {
    return MwParam_Ok;
}

void CMwNod::ReservedHook(u32, u32) {}

// ---------------------------------------------------------------------------------------------
// Member access by path

namespace {

constexpr u32 kClassIdMask = 0xFFFFF000;

// Action and Proc members call their method and may have no field.
bool CallsMethod(const CMwMemberInfo& member) {
    return member.TypeCode == MwType_Action || member.TypeCode == MwType_Proc;
}

// The address of the member's field in the nod: null for a method member without one, false
// when the member has no descriptor or no field to work on.
bool FieldOf(CMwNod* nod, const CMwMemberInfo& member, void** field) {
    *field = nullptr;
    if (!member.Param)
        return false;
    if (member.FieldOffset < 0)
        return CallsMethod(member);
    *field = reinterpret_cast<u8*>(nod) + member.FieldOffset;
    return true;
}

// The element type of a list member (the containers and RefBuffer); MwType_Count for others.
u32 ListElementType(const CMwMemberInfo& member) {
    if (member.TypeCode != MwType_RefBuffer &&
        MwContainerElementType(member.TypeCode) == MwType_Count)
        return MwType_Count;
    return static_cast<const CMwMemberInfoContainer&>(member).ElementType;
}

// With the path just past the member: the write only passes through the member into a nod (a
// Class member with items left, or a nod element with items after the element item), so the
// member reached there decides by its own flags whether it may be set, added to or removed from.
// Any other write lands in the member's value, which its Set, Add or Sub flag has to allow: a
// list that holds references through its class would otherwise gain or lose a plain pointer.
bool PassesIntoNod(const CMwMemberInfo& member, const CMwMemberPath& path) {
    if (member.TypeCode == MwType_Class)
        return path.HasCurrent();
    return ListElementType(member) == MwType_Class && path.m_Current >= 1;
}

} // namespace

u32 CMwNod::GetParam(CMwMemberPath* path, CMwParamValue* out) {
    CMwMemberInfo* member = path->TakeMember();
    if (!member)
        return MwParam_NotFound;
    if (member->Flags & MwMember_GetVirtual) {
        path->PutBack();
        return GetParamVirtual(path, out);
    }
    if (!IsKindOf(member->MemberId & kClassIdMask))
        return MwParam_WrongClass;
    void* field = nullptr;
    if (!FieldOf(this, *member, &field))
        return MwParam_NotFound;
    return member->Param->Get(field, path, out);
}

u32 CMwNod::SetParam(CMwMemberPath* path, const void* input) {
    CMwMemberInfo* member = path->TakeMember();
    if (!member)
        return MwParam_NotFound;
    if (member->Flags & MwMember_SetVirtual) {
        path->PutBack();
        return SetParamVirtual(path, input);
    }
    // A field of another class's member would lie outside this nod.
    if (!IsKindOf(member->MemberId & kClassIdMask))
        return MwParam_WrongClass;
    if (!(member->Flags & MwMember_Set) && !PassesIntoNod(*member, *path))
        return MwParam_NotFound;
    if (member->TypeCode == MwType_Action) {
        const auto method = static_cast<const CMwMemberInfoAction*>(member)->Method;
        if (!method)
            return MwParam_NotFound;
        method(this);
        return MwParam_Ok;
    }
    if (member->TypeCode == MwType_Proc) {
        const auto method = static_cast<const CMwMemberInfoProc*>(member)->Method;
        if (!method)
            return MwParam_NotFound;
        method(this, path);
        return MwParam_Ok;
    }
    void* field = nullptr;
    if (!FieldOf(this, *member, &field))
        return MwParam_NotFound;
    return member->Param->Set(field, path, input);
}

u32 CMwNod::AddParam(CMwMemberPath* path, const void* input) {
    CMwMemberInfo* member = path->TakeMember();
    if (!member)
        return MwParam_NotFound;
    if (member->Flags & MwMember_AddVirtual) {
        path->PutBack();
        return AddParamVirtual(path, input);
    }
    if (!IsKindOf(member->MemberId & kClassIdMask))
        return MwParam_WrongClass;
    if (!(member->Flags & MwMember_Add) && !PassesIntoNod(*member, *path))
        return MwParam_NotFound;
    void* field = nullptr;
    if (!FieldOf(this, *member, &field))
        return MwParam_NotFound;
    return member->Param->Add(field, path, input);
}

u32 CMwNod::SubParam(CMwMemberPath* path, const void* input) {
    CMwMemberInfo* member = path->TakeMember();
    if (!member)
        return MwParam_NotFound;
    if (member->Flags & MwMember_SubVirtual) {
        path->PutBack();
        return SubParamVirtual(path, input);
    }
    if (!IsKindOf(member->MemberId & kClassIdMask))
        return MwParam_WrongClass;
    if (!(member->Flags & MwMember_Sub) && !PassesIntoNod(*member, *path))
        return MwParam_NotFound;
    void* field = nullptr;
    if (!FieldOf(this, *member, &field))
        return MwParam_NotFound;
    return member->Param->Sub(field, path, input);
}

u32 CMwNod::GetMemberValue(CMwMemberInfo* member, CMwParamValue* out) {
    CMwMemberPath path(1);
    path.PushFront(reinterpret_cast<MwPathValue>(member));
    path.Reset();
    return GetParam(&path, out);
}

// Walks the path from nod to nod (each step consumes at least its member item, so the walk
// ends); nothing it calls writes anything.
u32 CMwNod::CheckParam(CMwMemberPath* path) {
    CMwNod* nod = this;
    for (;;) {
        if (!path->HasCurrent())
            return MwParam_Ok;
        if (path->GetCurrentKind() != MwPathItem_Member)
            return MwParam_NotFound;
        const i32 at = path->m_Current;
        auto* member = reinterpret_cast<CMwMemberInfo*>(path->m_Values[at]);
        if (!member || !member->Param || !nod->IsKindOf(member->MemberId & kClassIdMask))
            return MwParam_NotFound;

        CMwNod* sub = nullptr;
        const u32 result = member->Param->GetSubNod(nod, path, &sub);
        if (result != MwParam_Ok)
            return result;
        if (sub) {
            nod = sub;
            continue;
        }
        if (path->m_Current != at) // the descriptor used its items and found no nod to go on in
            return path->HasCurrent() ? MwParam_NotFound : MwParam_Ok;

        // The item after the member: an index must be below the list's element count, or else
        // the member's component count (a value, an action or a procedure has none, so any index
        // after it fails; procedure arguments are argument items); a name selects only among
        // nods, which the descriptor would have followed.
        if (at == 0)
            return MwParam_Ok;
        const u32 nextKind = path->m_Kinds[at - 1];
        if (nextKind == MwPathItem_Name)
            return MwParam_NotFound;
        if (nextKind != MwPathItem_Index)
            return MwParam_Ok;
        const u32 index = static_cast<u32>(path->m_Values[at - 1]);
        CMwParamValue value;
        const u32 read = nod->GetMemberValue(member, &value);
        if (read != MwParam_Ok)
            return read;
        const u32 limit = member->Param->IsContainerKind()
                              ? member->Param->GetCount(value)
                              : member->Param->GetComponentCount(value);
        return index < limit ? MwParam_Ok : MwParam_NotFound;
    }
}

namespace {

// What a member set from text answers when the address does not name a live nod of the class
// the member accepts.
constexpr u32 kNotAnAcceptableNod = MwParam_NotFound;
// Texts quoted in log lines are cut to this many characters.
constexpr u32 kLoggedTextLength = 64;

bool IsHexDigit(char c, u32* digit) {
    if (c >= '0' && c <= '9')
        *digit = u32(c - '0');
    else if (c >= 'a' && c <= 'f')
        *digit = u32(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        *digit = u32(c - 'A' + 10);
    else
        return false;
    return true;
}

// A nod address in hexadecimal, with an optional "0x", over the whole pointer width. Blanks are
// ignored as the engine's number parsers ignore them; any other character, no digit at all or a
// value past the pointer range means the text is not an address.
bool ParseAddress(const CClassicString& text, uintptr_t* address) {
    const char* chars = text.GetText();
    const u32 length = text.GetLength();
    u32 i = 0;
    const auto skipBlanks = [&] {
        while (i < length &&
               (chars[i] == ' ' || chars[i] == '\t' || chars[i] == '\r' || chars[i] == '\n'))
            ++i;
    };
    skipBlanks();
    if (i + 1 < length && chars[i] == '0' && (chars[i + 1] == 'x' || chars[i + 1] == 'X'))
        i += 2;
    uintptr_t value = 0;
    u32 digits = 0;
    for (skipBlanks(); i < length; ++i, skipBlanks()) {
        u32 digit = 0;
        if (!IsHexDigit(chars[i], &digit) || (value >> (sizeof(uintptr_t) * 8 - 4)) != 0)
            return false;
        value = (value << 4) | digit;
        ++digits;
    }
    *address = value;
    return digits > 0;
}

// Appends a text quoted for the log: cut, and with control and non-ASCII characters shown as
// '?' so that a text cannot forge lines.
void AppendLoggedText(CClassicStringRef text) {
    g_ClassicLogLine.Append("\"");
    for (u32 i = 0; i < text.m_Length && i < kLoggedTextLength; ++i) {
        const char c = text.m_Text[i];
        g_ClassicLogLine.AppendChar(c >= 0x20 && c < 0x7F ? c : '?');
    }
    if (text.m_Length > kLoggedTextLength)
        g_ClassicLogLine.Append("...");
    g_ClassicLogLine.Append("\"");
}

u32 LogFromTextFailure(const CMwNod& nod, const CClassicString& pathText, const char* why,
                       u32 result) {
    CMwClassInfo* info = const_cast<CMwNod&>(nod).GetClassInfo();
    g_ClassicLogLine.SetLength(0);
    g_ClassicLogLine.Append("[MwNod] ").Append(info ? info->m_Name : "?").Append(" member ");
    AppendLoggedText(pathText);
    g_ClassicLogLine.Append(" not set from text: ").Append(why).Append(" (result ");
    g_ClassicLogLine.AppendInt(static_cast<i32>(result));
    g_ClassicLogLine.Append(")\r\n");
    ClassicLogWriteLine();
    return result;
}

} // namespace

u32 CMwNod::SetParamFromText(const CClassicString& pathText, const CClassicWideString& valueText) {
    CMwMemberPath path;
    u32 result = path.ParseFromText(s_NoClassId, this, pathText);
    if (result != MwParam_Ok)
        return LogFromTextFailure(*this, pathText, "the path names no member", result);
    if (path.m_Count == 0)
        return LogFromTextFailure(*this, pathText, "empty path", MwParam_PathEmpty);
    CMwTargetInfo target;
    result = path.GetTargetInfo(&target);
    if (result != MwParam_Ok)
        return LogFromTextFailure(*this, pathText, "no target", result);
    const CMwMemberInfo& info = target.Get();
    if (!(info.Flags & MwMember_Set))
        return LogFromTextFailure(*this, pathText, "the member may not be set", MwParam_NotFound);
    CMwParam* param = info.Param;
    const bool action = param->IsKindOf(CMwParamAction::s_ClassId);
    const bool nodKind = param->IsKindOf(CMwParamClass::s_ClassId);
    if (!action && !nodKind && !param->CanFromText())
        return LogFromTextFailure(*this, pathText, "the member has no text form", MwParam_NoText);
    path.Reset();
    result = CheckParam(&path);
    if (result != MwParam_Ok)
        return LogFromTextFailure(*this, pathText, "the path does not check", result);
    path.Reset();

    if (action) {
        result = SetParam(&path, nullptr);
    } else if (nodKind) {
        CMwNod* nod = nullptr;
        if (!valueText.IsEmpty()) {
            CClassicString ascii;
            valueText.GetAscii(ascii);
            uintptr_t address = 0;
            if (!ParseAddress(ascii, &address)) {
                LogFromTextFailure(*this, pathText, "the value is not a nod address",
                                   MwParam_NoText);
                return MwParam_NoText;
            }
            // The registry of live nods answers without touching the address.
            nod = reinterpret_cast<CMwNod*>(address);
            const CMwClassInfo* accepted =
                info.TypeCode == MwType_Class
                    ? static_cast<const CMwMemberInfoClass&>(info).ClassInfo
                    : nullptr;
            if (!IsValidNod(nod) || (accepted && !nod->IsKindOf(accepted->m_ClassId)))
                return LogFromTextFailure(*this, pathText,
                                          "the value is not a live nod of the member's class",
                                          kNotAnAcceptableNod);
        }
        result = SetParam(&path, nod);
    } else {
        CMwParamValue value;
        const CMwParamTextOptions options;
        param->FromText(&value, valueText, &info, options);
        if (!value.Value)
            return LogFromTextFailure(*this, pathText, "the value text gives no value",
                                      MwParam_NoText);
        result = SetParam(&path, value.Value);
    }
    if (result != MwParam_Ok)
        LogFromTextFailure(*this, pathText, "the member refused the value", result);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Enumerations, from the class records along the C++ base chain (root first)

namespace {

// The records from this nod's class up to the root; returns how many.
u32 RecordChain(CMwClassInfo* info, CMwClassInfo** chain, u32 room) {
    u32 depth = 0;
    for (; info && depth < room; info = info->m_Base)
        chain[depth++] = info;
    return depth;
}

constexpr u32 kMaxDepth = 32;

// The chunks of the record and its bases: counted by the registry, or along the chain for a
// record it has not started with.
u32 ChainChunkCount(const CMwClassInfo* info) {
    if (info && info->m_ChainChunkCount)
        return info->m_ChainChunkCount;
    u32 count = 0;
    for (; info; info = info->m_Base)
        count += info->m_ChunkCount;
    return count;
}

} // namespace

u32 CMwNod::MemberCount() {
    u32 count = 0;
    for (CMwClassInfo* info = GetClassInfo(); info; info = info->m_Base)
        count += info->m_MemberCount;
    return count;
}

u32 CMwNod::MemberIdByIndex(u32 index) {
    CMwClassInfo* chain[kMaxDepth];
    for (u32 level = RecordChain(GetClassInfo(), chain, kMaxDepth); level-- > 0;) {
        if (index < chain[level]->m_MemberCount)
            return chain[level]->m_ClassId | index;
        index -= chain[level]->m_MemberCount;
    }
    return s_ClassId | index;
}

u32 CMwNod::ChunkCount() {
    return ChainChunkCount(GetClassInfo());
}

u32 CMwNod::ChunkIdByIndex(u32 index) {
    // The class's own chunks come last: from the class up, each record's chunks start where the
    // count of its ancestors' ends.
    CMwClassInfo* const own = GetClassInfo();
    u32 start = ChainChunkCount(own);
    if (index >= start)
        return s_ClassId | (index - start);
    for (CMwClassInfo* info = own;; info = info->m_Base) {
        start -= info->m_ChunkCount;
        if (index >= start)
            return info->m_Chunks[index - start].Id;
    }
}

u32 CMwNod::GetChunkInfo(u32 chunkId) {
    for (CMwClassInfo* info = GetClassInfo(); info; info = info->m_Base)
        for (u32 i = 0; i < info->m_ChunkCount; ++i)
            if (info->m_Chunks[i].Id == chunkId)
                return info->m_Chunks[i].Flags;
    return s_UnknownChunk;
}

// ---------------------------------------------------------------------------------------------
// The chunked body

namespace {

// Swaps an archive's stream for a memory stream while one skippable chunk is encoded, and puts
// the archive's own stream back whatever happens.
class CStreamSwap {
public:
    CStreamSwap(CClassicArchive& archive, CClassicBufferMemory* memory)
        : m_Archive(archive), m_Own(archive.DetachBuffer(false)) {
        m_Archive.SetBuffer(memory);
    }
    ~CStreamSwap() {
        m_Archive.DetachBuffer(false);
        m_Archive.SetBuffer(m_Own);
    }
    CStreamSwap(const CStreamSwap&) = delete;
    CStreamSwap& operator=(const CStreamSwap&) = delete;

private:
    CClassicArchive& m_Archive;
    CClassicBuffer* m_Own;
};

const char* ClassNameOf(CMwNod& nod) {
    return nod.GetClassInfo() ? nod.GetClassInfo()->m_Name : "?";
}

} // namespace

u32 CMwNod::Archive(CClassicArchive& archive) {
    if (archive.m_Writing) {
        const u32 count = ChunkCount();
        for (u32 i = 0; i < count; ++i) {
            u32 id = ChunkIdByIndex(i);
            const u32 flags = GetChunkInfo(id);
            const u32 excluded = archive.m_Release ? 0x04 : 0x08;
            if (!(flags & 0x02) || (flags & excluded))
                continue;
            archive.WriteUIntsHex(&id, 1);
            if (!(flags & 0x10)) {
                ArchiveChunk(archive, id);
                continue;
            }
            // A skippable chunk: its size precedes it. Into a binary memory stream the chunk goes
            // in place and its size is filled in after; elsewhere it is encoded into memory first.
            CClassicBuffer* stream = archive.GetBuffer();
            if (!archive.m_Text && stream && typeid(*stream) == typeid(CClassicBufferMemory)) {
                u32 header[2] = {s_SkipTag, 0};
                archive.WriteUInts(header, 2);
                const u32 start = stream->GetPosition();
                ArchiveChunk(archive, id);
                const u32 end = stream->GetPosition();
                u32 size = end - start;
                stream->SetPosition(start - 4);
                archive.WriteUInts(&size, 1);
                stream->SetPosition(end);
                continue;
            }
            CClassicPooledBuffer memory;
            {
                CStreamSwap swap(archive, memory.Get());
                ArchiveChunk(archive, id);
            }
            u32 header[2] = {s_SkipTag, memory->GetPosition()};
            archive.WriteUInts(header, 2);
            if (header[1])
                archive.WriteRaw(memory->GetData(), header[1]);
        }
        u32 end = s_UnknownChunk;
        archive.WriteUIntsHex(&end, 1);
        return 0;
    }

    CClassicArchiveBody body(archive);
    for (;;) {
        u32 id = 0;
        archive.ReadUIntsHex(&id, 1);
        if (id == s_UnknownChunk)
            break;
        const u32 flags = GetChunkInfo(id);
        if (flags == s_UnknownChunk) {
            // Unknown chunks can be passed over only when they carry their size.
            u32 tag = 0;
            archive.ReadUInts(&tag, 1);
            if (tag != s_SkipTag) {
                // The rest of a top-level body is left unread. Inside a nested body, the
                // enclosing body cannot go on from a chunk boundary: the whole read fails.
                if (!body.IsNested()) {
                    ClassicLogFormatLine("[MwNod] Body of %s not read further: unknown chunk "
                                         "0x%08X",
                                         ClassNameOf(*this), id);
                    break;
                }
                ClassicLogFormatLine("[MwNod] Body of %s not read: unknown chunk 0x%08X inside "
                                     "a nested body fails the read",
                                     ClassNameOf(*this), id);
                throw CClassicBufferException(kClassicBufferErrorBadData,
                                              u"Unknown chunk inside a nested nod body");
            }
            u32 size = 0;
            archive.ReadUInts(&size, 1);
            archive.SkipRaw(size);
            continue;
        }
        if (flags & 0x10) {
            u32 header[2];
            archive.ReadUInts(header, 2);
        }
        ArchiveChunk(archive, id);
    }
    OnAfterLoad();
    return 0;
}

void CMwNod::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_RootChunkId)
        return;
    // An old developer name: read and dropped; written only when a class asks for it.
    CClassicString name(archive.m_Writing ? "No DevName" : "");
    archive.SerializeStrings(&name, 1);
}

u32 SetNodRefMember(CMwNod** field, CMwMemberPath* path, const void* input) {
    if (!field)
        return MwParam_NotFound;
    if (!path || !path->HasCurrent()) {
        *field = static_cast<CMwNod*>(const_cast<void*>(input));
        return MwParam_Ok;
    }
    return *field ? (*field)->SetParam(path, input) : MwParam_NotFound;
}

// ---------------------------------------------------------------------------------------------
// Hooks with nothing to do at the root

void CMwNod::ApplyParamSets(CSystemParamSet*, CSystemParamSet*) {}

i32 CMwNod::LoadFid(CMwNod**, CSystemFid*) {
    return 0;
}

i32 CMwNod::SaveFid(CMwNod*, CSystemFid*) {
    return 0;
}

void CMwNod::CopyFrom(CMwNod*) {}

i32 CMwNod::Describe(CClassicString& text) {
    CMwClassInfo* info = IsValidNod(this) ? GetClassInfo() : nullptr;
    if (!info)
        return 0;
    DiagWritePrefix(text);
    text.Append(info->m_Name);
    const platform::FormattedText address =
        platform::Format("(0x%08" PRIXPTR ")", reinterpret_cast<uintptr_t>(this));
    text.Append(CClassicStringRef(address.text, address.length));
    return 1;
}

// ---------------------------------------------------------------------------------------------
// The root's class record: one member, IdName, read and written through the virtual operations,
// and one chunk, an old developer name that is read and dropped.

namespace mw_class_CMwNod {
constinit auto s_IdName = mw_member_rows::String(CMwNod::s_IdNameMemberId, "IdName",
                                                 MW_VIRTUAL("m_IdName"), "Id Name", 0x33, 0x380);
constinit CMwMemberInfo* const s_Members[] = {&s_IdName};
constinit const CMwChunkInfo s_Chunks[] = {{CMwNod::s_RootChunkId, 1}};
} // namespace mw_class_CMwNod

constinit CMwClassInfo CMwNod::s_ClassInfo(CMwNod::s_ClassId, nullptr, nullptr, "CMwNod",
                                           MwFactory<CMwNod>, mw_class_CMwNod::s_Members, 1,
                                           mw_class_CMwNod::s_Chunks, 1);
