#include "core/nod/MwMemberPath.h"

#include "core/base/ClassicArchive.h"
#include "core/nod/MwId.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwParamStruct.h"

#include <algorithm>
#include <cstring>
#include <memory>

MwPathValue* CMwMemberPath::NewItems(u32 n, u32** kinds) {
    if (n <= s_InlineItems && m_Values != m_InlineValues) {
        *kinds = m_InlineKinds;
        return m_InlineValues;
    }
    static_assert(alignof(MwPathValue) >= alignof(u32));
    void* block = ::operator new(size_t(n) * (sizeof(MwPathValue) + sizeof(u32)));
    auto* values = static_cast<MwPathValue*>(block);
    *kinds = reinterpret_cast<u32*>(values + n);
    return values;
}

void CMwMemberPath::FreeItems(MwPathValue* values) {
    if (values && values != m_InlineValues)
        ::operator delete(values);
}

CMwMemberPath::~CMwMemberPath() {
    Reserve(0);
}

void CMwMemberPath::Reserve(u32 n) {
    if (n == 0) {
        FreeItems(m_Values);
        m_Values = nullptr;
        m_Kinds = nullptr;
        m_Count = m_Capacity = 0;
        m_Current = -1;
        return;
    }
    if (m_Capacity == 0)
        m_Count = 0;
    n = std::max(n, m_Count);
    if (m_Values == m_InlineValues && n <= s_InlineItems) {
        m_Capacity = n; // the items stay where they are
        Reset();
        return;
    }
    u32* kinds = nullptr;
    MwPathValue* values = NewItems(n, &kinds);
    std::copy_n(m_Values, m_Count, values);
    std::copy_n(m_Kinds, m_Count, kinds);
    FreeItems(m_Values);
    m_Values = values;
    m_Kinds = kinds;
    m_Capacity = n;
    Reset();
}

u32 CMwMemberPath::PushFront(MwPathValue value) {
    if (m_Count >= m_Capacity)
        return MwParam_PathFull;
    std::copy_backward(m_Values, m_Values + m_Count, m_Values + m_Count + 1);
    std::copy_backward(m_Kinds, m_Kinds + m_Count, m_Kinds + m_Count + 1);
    m_Values[0] = value;
    m_Kinds[0] = MwPathItem_Member;
    ++m_Count;
    return MwParam_Ok;
}

u32 CMwMemberPath::SetFront(MwPathValue value) {
    if (m_Count == 0)
        return MwParam_PathEmpty;
    m_Values[0] = value;
    return MwParam_Ok;
}

void CMwMemberPath::CopyFrom(const CMwMemberPath& other, u32 extra) {
    if (&other == this) {
        Reserve(m_Capacity + extra);
        return;
    }
    Reserve(0);
    const u32 capacity = other.m_Capacity + extra;
    if (capacity) {
        m_Values = NewItems(capacity, &m_Kinds);
        std::copy_n(other.m_Values, other.m_Count, m_Values);
        std::copy_n(other.m_Kinds, other.m_Count, m_Kinds);
    }
    m_Capacity = capacity;
    m_Count = other.m_Count;
    m_Current = other.m_Current;
}

void CMwMemberPath::AppendPath(const CMwMemberPath& other) {
    const u32 count = m_Count + other.m_Count;
    u32* kinds = nullptr;
    MwPathValue* values = NewItems(count ? count : 1, &kinds);
    std::copy_n(other.m_Values, other.m_Count, values);
    std::copy_n(other.m_Kinds, other.m_Count, kinds);
    std::copy_n(m_Values, m_Count, values + other.m_Count);
    std::copy_n(m_Kinds, m_Count, kinds + other.m_Count);
    FreeItems(m_Values);
    m_Values = values;
    m_Kinds = kinds;
    m_Capacity = m_Count = count;
    Reset();
}

bool CMwMemberPath::GetCurrent(MwPathValue* value) const {
    if (!HasCurrent() || m_Current >= static_cast<i32>(m_Count))
        return false;
    *value = m_Values[m_Current];
    return true;
}

CMwMemberInfo* CMwMemberPath::TakeMember() {
    if (GetCurrentKind() != MwPathItem_Member)
        return nullptr;
    return reinterpret_cast<CMwMemberInfo*>(m_Values[m_Current--]);
}

bool CMwMemberPath::TakeIndex(u32* index) {
    if (GetCurrentKind() != MwPathItem_Index)
        return false;
    *index = static_cast<u32>(m_Values[m_Current--]);
    return true;
}

u32 CMwMemberPath::FindNodByName(u32* index, CMwNod* const* nods, u32 count) {
    if (GetCurrentKind() != MwPathItem_Name)
        return MwParam_NotFound;
    const u32 name = static_cast<u32>(m_Values[m_Current--]);
    for (u32 i = 0; i < count; ++i) {
        const CMwId* id = nods[i] ? nods[i]->GetIdPtr() : nullptr;
        if (id && id->m_Value == name) {
            *index = i;
            return MwParam_Ok;
        }
    }
    return MwParam_NotFound;
}

MwPathValue* CMwMemberPath::GetArgument(u32 n, u32 kind, i32* start) {
    if (*start == -1) {
        for (u32 i = 0; i + 1 < m_Count; ++i) {
            if (m_Kinds[i] >= MwPathItem_ArgumentFirst) {
                *start = static_cast<i32>(i);
                break;
            }
        }
        if (*start == -1)
            return nullptr;
    }
    const u64 position = u64(u32(*start)) + n;
    if (position + 1 >= m_Count || m_Kinds[position] != kind)
        return nullptr;
    return &m_Values[position];
}

u32 CMwMemberPath::Archive(CClassicArchive& archive) {
    if (archive.m_Writing) {
        archive.WriteUInts(&m_Count, 1);
        archive.WriteUInts(m_Kinds, m_Count);
        for (u32 i = 0; i < m_Count; ++i) {
            switch (m_Kinds[i]) {
                case MwPathItem_Member: {
                    const auto* member = reinterpret_cast<const CMwMemberInfo*>(m_Values[i]);
                    u32 id = member ? member->MemberId : 0xFFFFFFFF;
                    archive.WriteUInts(&id, 1);
                    break;
                }
                case MwPathItem_Index: {
                    u32 index = static_cast<u32>(m_Values[i]);
                    archive.WriteUInts(&index, 1);
                    break;
                }
                case MwPathItem_Name: {
                    u32 named = 1;
                    archive.WriteBools(&named, 1);
                    const CClassicString text = CMwId::FromValue(u32(m_Values[i])).ToString();
                    archive.WriteStrings(&text, 1);
                    break;
                }
                default:
                    break;
            }
        }
        return 0;
    }

    u32 count = 0;
    archive.ReadUInts(&count, 1);
    archive.CheckReadSize(count, s_MaxArchivedItems);
    Reserve(0);
    if (count == 0)
        return 0;
    Reserve(count);
    archive.ReadUInts(m_Kinds, count);
    for (u32 i = 0; i < count; ++i) {
        m_Values[i] = 0;
        m_Count = i + 1;
        switch (m_Kinds[i]) {
            case MwPathItem_Member: {
                u32 id = 0;
                archive.ReadUInts(&id, 1);
                m_Values[i] = reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(id));
                break;
            }
            case MwPathItem_Index: {
                u32 index = 0;
                archive.ReadUInts(&index, 1);
                m_Values[i] = index;
                break;
            }
            case MwPathItem_Name: {
                u32 named = 0;
                archive.ReadBools(&named, 1);
                CClassicString text;
                archive.ReadStrings(&text, 1);
                m_Values[i] = CMwId::FromName(text.GetText()).m_Value;
                break;
            }
            default:
                break;
        }
    }
    Reset();
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Target descriptions

namespace {

// The record type that carries a type code's extras.
enum class ERecordFamily {
    Plain,
    Action,
    Class,
    Enum,
    IntegerRange,
    NaturalRange,
    RealRange,
    Vec,
    Proc,
    Container
};

ERecordFamily FamilyOf(u32 typeCode) {
    switch (typeCode) {
        case MwType_Action:
            return ERecordFamily::Action;
        case MwType_Class:
            return ERecordFamily::Class;
        case MwType_Enum:
            return ERecordFamily::Enum;
        case MwType_IntegerRange:
            return ERecordFamily::IntegerRange;
        case MwType_NaturalRange:
            return ERecordFamily::NaturalRange;
        case MwType_RealRange:
            return ERecordFamily::RealRange;
        case MwType_Vec2:
        case MwType_Vec3:
        case MwType_Vec4:
            return ERecordFamily::Vec;
        case MwType_Proc:
            return ERecordFamily::Proc;
        case MwType_RefBuffer:
            return ERecordFamily::Container;
        default:
            return MwContainerElementType(typeCode) != MwType_Count ? ERecordFamily::Container
                                                                    : ERecordFamily::Plain;
    }
}

} // namespace

CMwMemberInfo& CMwTargetInfo::Make(u32 typeCode) {
    CMwMemberInfo* info = nullptr;
    switch (FamilyOf(typeCode)) {
        case ERecordFamily::Plain:
            info = &Place(CMwMemberInfo{});
            break;
        case ERecordFamily::Action:
            info = &Place(CMwMemberInfoAction{});
            break;
        case ERecordFamily::Class:
            info = &Place(CMwMemberInfoClass{});
            break;
        case ERecordFamily::Enum:
            info = &Place(CMwMemberInfoEnum{});
            break;
        case ERecordFamily::IntegerRange:
            info = &Place(CMwMemberInfoIntegerRange{});
            break;
        case ERecordFamily::NaturalRange:
            info = &Place(CMwMemberInfoNaturalRange{});
            break;
        case ERecordFamily::RealRange:
            info = &Place(CMwMemberInfoRealRange{});
            break;
        case ERecordFamily::Vec:
            info = &Place(CMwMemberInfoVec{});
            break;
        case ERecordFamily::Proc:
            info = &Place(CMwMemberInfoProc{});
            break;
        case ERecordFamily::Container:
            info = &Place(CMwMemberInfoContainer{});
            break;
    }
    info->TypeCode = typeCode;
    info->Name = info->FieldName = info->Label = ClassicEmptyText<char>();
    return *info;
}

// ---------------------------------------------------------------------------------------------
// Parsing

namespace {

bool IsScalarKind(u32 typeCode) {
    switch (typeCode) {
        case MwType_Action:
        case MwType_Bool:
        case MwType_Enum:
        case MwType_Integer:
        case MwType_IntegerRange:
        case MwType_Natural:
        case MwType_NaturalRange:
        case MwType_Real:
        case MwType_RealRange:
        case MwType_String:
        case MwType_StringInt:
        case MwType_Proc:
            return true;
        default:
            return false;
    }
}

bool IsVector(u32 typeCode) {
    return typeCode == MwType_Vec2 || typeCode == MwType_Vec3 || typeCode == MwType_Vec4;
}

// The descriptor class of a structured kind, whose member table names the components in order;
// null for every other kind.
const CMwClassInfo* ComponentTable(u32 typeCode) {
    switch (typeCode) {
        case MwType_Color:
            return &CMwParamColor::s_ClassInfo;
        case MwType_Iso4:
            return &CMwParamIso4::s_ClassInfo;
        case MwType_Iso3:
            return &CMwParamIso3::s_ClassInfo;
        case MwType_Vec2:
            return &CMwParamVec2::s_ClassInfo;
        case MwType_Vec3:
            return &CMwParamVec3::s_ClassInfo;
        case MwType_Vec4:
            return &CMwParamVec4::s_ClassInfo;
        case MwType_Quat:
            return &CMwParamQuat::s_ClassInfo;
        default:
            return nullptr;
    }
}

// The name of component `index` of a structured kind; empty for the length item and for an
// index the kind does not have.
const char* ComponentName(u32 typeCode, u32 index) {
    const CMwClassInfo* table = ComponentTable(typeCode);
    if (!table || index >= table->m_MemberCount || !table->m_MemberInfos[index] ||
        !table->m_MemberInfos[index]->Name)
        return ClassicEmptyText<char>();
    return table->m_MemberInfos[index]->Name;
}

// A token as the parser compares it: a text ends at its length or at its first NUL, as it does
// for CClassicString::Compare.
CClassicStringRef TokenOf(const CClassicString& text) {
    const char* chars = text.GetText();
    const void* nul = std::memchr(chars, 0, text.GetLength());
    return {chars, nul ? u32(static_cast<const char*>(nul) - chars) : text.GetLength()};
}

// Exact comparison of a token (which holds no NUL) with a record's name.
bool TextIs(CClassicStringRef token, const char* text) {
    if (!text)
        return false;
    const u32 n = token.m_Length;
    if (n == 0)
        return text[0] == 0;
    // The first character decides most comparisons; strncmp stops at the end of a shorter name.
    return text[0] == token.m_Text[0] && std::strncmp(text, token.m_Text, n) == 0 && text[n] == 0;
}

// The first record of the class's own table (inherited members are not in it) with that name,
// compared exactly: by the name keys the registry made (a name longer than a key compared
// further only where the keys are equal), or by text before the registry's start-up pass.
CMwMemberInfo* FindOwnMember(const CMwClassInfo& info, CClassicStringRef name,
                             CMwMemberNameKey key) {
    if (const CMwMemberNameKey* keys = info.m_MemberNameKeys) {
        for (u32 i = 0; i < info.m_MemberCount; ++i)
            if (keys[i].m_Head == key.m_Head && keys[i].m_Length == key.m_Length &&
                (key.m_Length <= 8 || std::memcmp(info.m_MemberInfos[i]->Name + 8, name.m_Text + 8,
                                                  key.m_Length - 8) == 0))
                return info.m_MemberInfos[i];
        return nullptr;
    }
    for (u32 i = 0; i < info.m_MemberCount; ++i) {
        CMwMemberInfo* member = info.m_MemberInfos[i];
        if (member && TextIs(name, member->Name))
            return member;
    }
    return nullptr;
}

// Words that end a path at a container: they name an operation, not an element.
bool IsListOperation(CClassicStringRef token) {
    return TextIs(token, "count") || TextIs(token, "add") || TextIs(token, "remove");
}

bool IsPathSeparator(char c) {
    return c == '.' || c == '[' || c == ']';
}

// Cuts a path text as CClassicTokenizer(".[]", collapse) does, without copying: a token runs to
// the next separator and the run of separators after it is passed over, so only a text that
// starts with a separator has an empty token. The text ends at its length or its first NUL.
// Hands each token and its position to `take`, stops after `limit` tokens and gives the number
// of tokens handed.
template <class Take>
u32 ForEachPathToken(const CClassicString& text, u32 limit, Take take) {
    const char* chars = text.GetText();
    const u32 length = text.GetLength();
    u32 count = 0;
    u32 at = 0;
    while (count < limit && at < length && chars[at]) {
        const u32 start = at;
        while (at < length && chars[at] && !IsPathSeparator(chars[at]))
            ++at;
        take(CClassicStringRef(chars + start, at - start), count++);
        while (at < length && IsPathSeparator(chars[at]))
            ++at;
    }
    return count;
}

// Tokens of a usual path fit on the stack; a longer path takes a block of its own size.
constexpr u32 kShortPathTokens = 8;

} // namespace

void CMwMemberPath::PushItem(MwPathValue value, u32 kind) {
    if (PushFront(value) == MwParam_Ok)
        m_Kinds[0] = kind;
}

u32 CMwMemberPath::ParseFromText(u32 classId, CMwNod* nod, const CClassicString& text) {
    // The tokens are views into the text, as many as it has.
    CClassicStringRef shortTokens[kShortPathTokens];
    const u32 count =
        ForEachPathToken(text, s_MaxTextTokens + 1, [&](CClassicStringRef token, u32 index) {
            if (index < kShortPathTokens)
                shortTokens[index] = token;
        });
    if (count > s_MaxTextTokens) {
        Reserve(0);
        return s_MaxTextTokens + 1; // the first token past the limit cannot be taken
    }
    std::unique_ptr<CClassicStringRef[]> longTokens;
    if (count > kShortPathTokens) {
        longTokens.reset(new CClassicStringRef[count]);
        ForEachPathToken(text, count,
                         [&](CClassicStringRef token, u32 index) { longTokens[index] = token; });
    }
    const u32 result = ParseRefs(classId, nod, count, longTokens ? longTokens.get() : shortTokens);
    if (result != MwParam_Ok)
        Reserve(0);
    return result;
}

u32 CMwMemberPath::Parse(u32 classId, CMwNod* nod, u32 tokenCount, const CClassicString* tokens) {
    if (tokenCount > s_MaxTextTokens)
        return ParseRefs(classId, nod, tokenCount, nullptr); // gives the class or count failure
    std::unique_ptr<CClassicStringRef[]> refs(new CClassicStringRef[tokenCount]);
    for (u32 i = 0; i < tokenCount; ++i)
        refs[i] = TokenOf(tokens[i]);
    return ParseRefs(classId, nod, tokenCount, refs.get());
}

u32 CMwMemberPath::ParseRefs(u32 classId, CMwNod* nod, u32 tokenCount,
                             const CClassicStringRef* tokens) {
    Reserve(0);
    CMwClassInfo* start = nullptr;
    if (nod) {
        start = nod->GetClassInfo();
        if (classId != CMwNod::s_NoClassId) {
            if (!CMwClassRegistry::IsClassKindOf(nod->GetClassId(), classId))
                return MwParam_WrongClass;
            start = CMwClassRegistry::GetClassInfoById(classId);
        }
    } else if (classId != CMwNod::s_NoClassId) {
        start = CMwClassRegistry::GetClassInfoById(classId);
    }
    if (!start)
        return MwParam_WrongClass;
    if (tokenCount > s_MaxTextTokens)
        return s_MaxTextTokens + 1;
    if (tokenCount)
        Reserve(tokenCount);
    const u32 result = ParseTokens(start, nod, tokenCount, tokens);
    if (result != MwParam_Ok)
        Reserve(0);
    else
        Reset();
    return result;
}

u32 CMwMemberPath::ParseComponent(u32 typeCode, const CClassicString& token) {
    return ParseComponentRef(typeCode, TokenOf(token));
}

u32 CMwMemberPath::ParseComponentRef(u32 typeCode, CClassicStringRef token) {
    const CMwClassInfo* table = ComponentTable(typeCode);
    if (!table || m_Count >= m_Capacity)
        return 1;
    if (IsVector(typeCode) && TextIs(token, "length")) {
        PushItem(0xFFFFFFFFu, MwPathItem_Index);
        return 0;
    }
    for (u32 i = 0; i < table->m_MemberCount; ++i) {
        const CMwMemberInfo* component = table->m_MemberInfos[i];
        if (component && TextIs(token, component->Name)) {
            PushItem(i, MwPathItem_Index);
            return 0;
        }
    }
    return 1;
}

// The path has room for one item per token. `cls` is the class whose own table the next token
// is looked up in, `nod` the nod reached so far (null once a value could not be read).
u32 CMwMemberPath::ParseTokens(CMwClassInfo* cls, CMwNod* nod, u32 count,
                               const CClassicStringRef* tokens) {
    u32 j = 0;
    while (j < count) {
        if (!cls)
            return j + 1;
        CMwMemberInfo* member = FindOwnMember(
            *cls, tokens[j], CMwMemberNameKey::Of(tokens[j].m_Text, tokens[j].m_Length));
        if (!member) {
            // The parent in the class tree. For the few classes filed under another class than
            // their C++ base, that class's members may belong to a class the nod is not a kind
            // of: the nod's member operations answer 1 for them and never use their offsets.
            CMwClassInfo* parent = cls->m_Parent;
            if (!parent)
                return j + 1;
            if (j == 0) { // nothing taken yet: start again from the parent
                cls = parent;
                continue;
            }
            CMwMemberPath rest;
            rest.Reserve(count - j);
            const u32 result = rest.ParseTokens(parent, nod, count - j, tokens + j);
            if (result != MwParam_Ok)
                return result;
            AppendPath(rest);
            return MwParam_Ok;
        }
        PushItem(reinterpret_cast<MwPathValue>(member), MwPathItem_Member);
        const u32 result = ParseElement(member->TypeCode, member, &j, count, tokens, &cls, &nod);
        if (result != s_ParseGoesOn)
            return result;
        ++j;
    }
    return MwParam_Ok;
}

// Takes what follows token `*position`, which named a member (or an element) of the given type
// code. Gives a result, or s_ParseGoesOn when a nod member led into the class `cls` (and, with a
// nod, into `nod`) and the parse goes on after token `*position`, moved to the last token taken.
u32 CMwMemberPath::ParseElement(u32 typeCode, const CMwMemberInfo* member, u32* position, u32 count,
                                const CClassicStringRef* tokens, CMwClassInfo** cls, CMwNod** nod) {
    u32& at = *position;
    const bool last = at + 1 == count;
    if (IsScalarKind(typeCode))
        return last ? MwParam_Ok : at + 1;
    if (ComponentTable(typeCode)) {
        if (last || (at + 2 == count && ParseComponentRef(typeCode, tokens[at + 1]) == 0))
            return MwParam_Ok;
        return at + 1;
    }
    if (typeCode == MwType_Class) {
        *cls = static_cast<const CMwMemberInfoClass*>(member)->ClassInfo;
        if (*nod) {
            CMwParamValue value;
            if ((*nod)->GetMemberValue(const_cast<CMwMemberInfo*>(member), &value) == MwParam_Ok) {
                *nod = static_cast<CMwNod*>(value.Value);
                if (*nod)
                    *cls = (*nod)->GetClassInfo();
            } else {
                *nod = nullptr;
            }
        }
        return last ? MwParam_Ok : s_ParseGoesOn;
    }
    const u32 elementType = MwContainerElementType(typeCode);
    if (elementType == MwType_Count || elementType == MwType_Vec4)
        return at + 1;

    // A container: the path may end at it, with an operation word or not, or go on with an
    // element: "##Name" chooses a nod by name, a decimal number by position.
    if (last || (at + 2 == count && IsListOperation(tokens[at + 1])))
        return MwParam_Ok;
    // The selector is the one token the parser copies: a name and a number are read from a
    // NUL-terminated text.
    const CClassicString selector(tokens[at + 1]);
    const char* text = selector.GetText();
    if (text[0] == '#' && text[1] == '#') {
        const CMwId name = CMwId::FromName(text + 2);
        if (name.m_Value == CMwId::Unassigned) // no name, or one that would match unnamed nods
            return at + 2;
        PushItem(name.m_Value, MwPathItem_Name);
    } else {
        i32 index = 0;
        if (text[0] == '#' || !selector.ParseInteger(index))
            return at + 2;
        PushItem(static_cast<u32>(index), MwPathItem_Index);
    }
    ++at; // the selector token now stands for the element

    if (elementType != MwType_Class)
        return ParseElement(elementType, nullptr, position, count, tokens, cls, nod);
    const auto* container = static_cast<const CMwMemberInfoContainer*>(member);
    *cls = container->ElementClassInfo;
    if (*nod) {
        // The element nod: validated first, since the index or name comes from the text.
        CMwMemberPath element(2);
        element.PushItem(reinterpret_cast<MwPathValue>(member), MwPathItem_Member);
        element.PushItem(m_Values[0], m_Kinds[0]);
        element.Reset();
        CMwParamValue value;
        if ((*nod)->CheckParam(&element) == MwParam_Ok) {
            element.Reset();
            if ((*nod)->GetParam(&element, &value) != MwParam_Ok)
                value.Value = nullptr;
        }
        *nod = static_cast<CMwNod*>(value.Value);
        if (*nod) {
            if (*cls && !(*nod)->IsKindOf((*cls)->m_ClassId))
                return MwParam_WrongClass;
            *cls = (*nod)->GetClassInfo();
        }
    }
    return at + 1 == count ? MwParam_Ok : s_ParseGoesOn;
}

// ---------------------------------------------------------------------------------------------
// Describing the target

namespace {

// One component of a structured value, described as a Real.
u32 DescribeComponent(CMwTargetInfo* out, u32 structType, u32 index, const char* name,
                      const char* fieldName, u32 flags, u32 mask) {
    CMwParam* real = CMwParam::GetDescriptor(MwType_Real);
    if (!real)
        return 1;
    CMwMemberInfo& info = out->Make(MwType_Real);
    info.Param = real;
    info.MemberId = 0xFFFFFFFF;
    info.FieldOffset = -1;
    info.Name = name;
    info.FieldName = fieldName;
    info.Label = ComponentName(structType, index);
    info.Flags = flags;
    info.Mask = mask;
    return 0;
}

bool IsStructuredKind(u32 typeCode) {
    return ComponentTable(typeCode) != nullptr;
}

} // namespace

u32 CMwMemberPath::GetTargetInfo(CMwTargetInfo* out) const {
    // The innermost member item: the member item nearest to the path's end.
    u32 at = 0;
    while (at < m_Count && m_Kinds[at] != MwPathItem_Member)
        ++at;
    if (at == m_Count)
        return 1;
    const auto* member = reinterpret_cast<const CMwMemberInfo*>(m_Values[at]);
    if (!member || !member->Param)
        return 1;
    if (at == 0) {
        out->Refer(*member);
        return 0;
    }

    // The items after the member (storage positions at - 1 down to 0) must fit it.
    const u32 next = at - 1;
    const u32 nextKind = m_Kinds[next];
    const bool oneComponentLeft = next == 1 && m_Kinds[0] == MwPathItem_Index;

    // Containers by their type code, which names their layout whatever their descriptor says.
    if (member->TypeCode == MwType_RefBuffer ||
        MwContainerElementType(member->TypeCode) != MwType_Count) {
        if (nextKind != MwPathItem_Index && nextKind != MwPathItem_Name)
            return 1;
        const auto& container = static_cast<const CMwMemberInfoContainer&>(*member);
        const u32 elementType = container.ElementType;
        CMwParam* param = CMwParam::GetDescriptor(elementType);
        if (!param || (next > 0 && !(oneComponentLeft && IsStructuredKind(elementType))))
            return 1;
        if (next > 0)
            return DescribeComponent(out, elementType, static_cast<u32>(m_Values[0]), member->Name,
                                     member->FieldName, container.ElementFlags,
                                     member->Mask & ~0x4u);
        CMwMemberInfo& info = out->Make(elementType);
        info.Param = param;
        info.MemberId = 0xFFFFFFFF;
        info.FieldOffset = -1;
        info.Name = member->Name;
        info.FieldName = member->FieldName;
        info.Label = container.ElementName ? container.ElementName : ClassicEmptyText<char>();
        info.Flags = container.ElementFlags;
        info.Mask = member->Mask & ~0x4u;
        if (elementType == MwType_Class)
            static_cast<CMwMemberInfoClass&>(info).ClassInfo = container.ElementClassInfo;
        return 0;
    }

    if (member->Param->IsKindOf(CMwParamStruct::s_ClassId)) {
        if (next != 0 || nextKind != MwPathItem_Index)
            return 1;
        return DescribeComponent(out, member->TypeCode, static_cast<u32>(m_Values[0]), member->Name,
                                 member->FieldName, member->Flags, member->Mask);
    }

    // A procedure argument, by its index.
    if (member->TypeCode != MwType_Proc || next != 0 || nextKind != MwPathItem_Index)
        return 1;
    const auto& proc = static_cast<const CMwMemberInfoProc&>(*member);
    const u32 index = static_cast<u32>(m_Values[0]);
    if (index >= proc.ArgCount || !proc.ArgTypes)
        return 1;
    const u32 argType = proc.ArgTypes[index];
    const u32 typeCode = argType < CMwNod::s_ClassId ? argType : u32(MwType_Class);
    CMwParam* param = CMwParam::GetDescriptor(typeCode);
    if (!param)
        return 1;
    CMwMemberInfo& info = out->Make(typeCode);
    info.Param = param;
    info.MemberId = 0xFFFFFFFF;
    info.FieldOffset = -1;
    if (proc.ArgNames && proc.ArgNames[index])
        info.Name = info.Label = proc.ArgNames[index];
    info.Flags = 0; // an argument is never set from text
    if (typeCode == MwType_Class && argType != MwType_Class)
        static_cast<CMwMemberInfoClass&>(info).ClassInfo =
            CMwClassRegistry::GetClassInfoById(argType);
    return 0;
}
