#include "core/nod/MwParamScalar.h"

#include "core/base/ClassicLog.h"
#include "core/math/Iso.h"

#include <algorithm>
#include <charconv>
#include <cstring>

MW_DEFINE_CLASS(CMwParamAction, MwFactory<CMwParamAction>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamBool, MwFactory<CMwParamBool>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamClass, MwFactory<CMwParamClass>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamEnum, MwFactory<CMwParamEnum>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamInteger, MwFactory<CMwParamInteger>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamIntegerRange, MwFactory<CMwParamIntegerRange>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamNatural, MwFactory<CMwParamNatural>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamNaturalRange, MwFactory<CMwParamNaturalRange>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamReal, MwFactory<CMwParamReal>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamRealRange, MwFactory<CMwParamRealRange>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamString, MwFactory<CMwParamString>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamStringInt, MwFactory<CMwParamStringInt>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamProc, MwFactory<CMwParamProc>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

// The checks every value access starts with: a field to work on, and an input to take for the
// writes. Items left in the path are not the value kinds' business: they are ignored, as they
// are after a value element of a container (CMwNod::CheckParam refuses an index after a value).
bool CanRead(void* field) {
    return field != nullptr;
}

bool CanWrite(void* field, const void* input) {
    return field && input;
}

template <class T>
u32 GetField(void* field, CMwMemberPath*, CMwParamValue* out) {
    if (!CanRead(field) || !out)
        return MwParam_NotFound;
    out->Value = field;
    return MwParam_Ok;
}

// Writes op(field, input) into the field.
template <class T, class Op>
u32 Combine(void* field, CMwMemberPath*, const void* input, Op op) {
    if (!CanWrite(field, input))
        return MwParam_NotFound;
    T value;
    std::memcpy(&value, input, sizeof value);
    T& target = *static_cast<T*>(field);
    target = op(target, value);
    return MwParam_Ok;
}

template <class T>
u32 CopyInto(void* field, CMwMemberPath* path, const void* input) {
    return Combine<T>(field, path, input, [](T, T in) { return in; });
}

// Kinds without a text form: the conversion only makes its ASCII copy, and the text of a value
// is empty (never what an earlier conversion left in the scratch string).
void AsciiCopyOnly(const CClassicWideString& text) {
    text.GetAscii(CMwParam::s_ConversionText);
}

void NoText(CClassicWideString& out) {
    out.SetLength(0);
}

// Assigns the conversion scratch string to the output.
void OutputConversion(CClassicWideString& out) {
    out.AssignFromNarrow(CMwParam::s_ConversionText);
}

template <class T>
void PutScratch(CMwParamValue* out, T value) {
    static_assert(sizeof(T) <= sizeof(out->Scratch));
    std::memcpy(out->Scratch, &value, sizeof value);
    out->Value = out->Scratch;
}

template <class T>
T ValueAt(const void* value) {
    T v;
    std::memcpy(&v, value, sizeof v);
    return v;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Decimal naturals over the whole u32 range, with the engine parsers' rules: blanks are ignored
// wherever they stand, an optional sign (a minus wraps, as in the hexadecimal form), digits up to
// the first other character, saturation at the top of the range.
u32 ParseNaturalDecimal(const CClassicString& text) {
    const char* chars = text.GetText();
    const u32 length = text.GetLength();
    u32 i = 0;
    while (i < length && IsBlank(chars[i]))
        ++i;
    bool negative = false;
    if (i < length && (chars[i] == '+' || chars[i] == '-')) {
        negative = chars[i] == '-';
        ++i;
    }
    // Past the range the magnitude stops growing: the remaining digits are read but not added.
    u64 magnitude = 0;
    for (; i < length; ++i) {
        const char c = chars[i];
        if (c >= '0' && c <= '9') {
            if (magnitude <= 0xFFFFFFFFull)
                magnitude = magnitude * 10 + u64(c - '0');
        } else if (!IsBlank(c)) {
            break;
        }
    }
    if (magnitude > 0xFFFFFFFFull)
        return 0xFFFFFFFFu;
    return negative ? 0u - u32(magnitude) : u32(magnitude);
}

// The Integer text form: leading blanks skipped, an optional sign, then decimal digits up to the
// first other character (a blank inside the number ends it, so grouped digits read as their first
// group); 0 without digits. A value past the 32-bit range saturates.
i32 ParseIntegerText(const CClassicString& text) {
    const char* chars = text.GetText();
    const u32 length = text.GetLength();
    u32 i = 0;
    while (i < length && IsBlank(chars[i]))
        ++i;
    bool negative = false;
    if (i < length && (chars[i] == '+' || chars[i] == '-')) {
        negative = chars[i] == '-';
        ++i;
    }
    constexpr i64 kLimit = i64(1) << 31;
    i64 magnitude = 0;
    for (; i < length && chars[i] >= '0' && chars[i] <= '9'; ++i)
        magnitude = std::min<i64>(magnitude * 10 + (chars[i] - '0'), kLimit);
    return static_cast<i32>(negative ? -magnitude : std::min<i64>(magnitude, kLimit - 1));
}

// Decimal text of a natural, as CClassicString::SetIntEx writes a non-negative integer (which
// covers only half the range): digits grouped by three when asked, padded to the minimum width.
void SetNaturalText(CClassicString& out, u32 value, const CMwParamTextOptions& options) {
    char digits[10];
    const u32 count = u32(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    char text[16];
    u32 length = 0;
    for (u32 i = 0; i < count; ++i) {
        if (options.GroupsDigits() && i > 0 && (count - i) % 3 == 0)
            text[length++] = ' ';
        text[length++] = digits[i];
    }
    const u32 width = options.GetMinWidth();
    const u32 pad = width > length ? width - length : 0;
    out.Reserve(pad + length, false);
    out.SetLength(pad + length);
    char* p = std::fill_n(out.GetText(), pad, options.PadsWithZeros() ? '0' : ' ');
    std::copy_n(text, length, p);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Action

void CMwParamAction::FromText(CMwParamValue*, const CClassicWideString& text, const CMwMemberInfo*,
                              const CMwParamTextOptions&) {
    AsciiCopyOnly(text);
}

void CMwParamAction::ToText(CClassicWideString& out, const void*, const CMwMemberInfo*,
                            const CMwParamTextOptions&) {
    NoText(out);
}

// ---------------------------------------------------------------------------------------------
// Bool

u32 CMwParamBool::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    return GetField<u32>(field, path, out);
}

u32 CMwParamBool::Set(void* field, CMwMemberPath* path, const void* input) {
    return CopyInto<u32>(field, path, input);
}

u32 CMwParamBool::Add(void* field, CMwMemberPath* path, const void* input) {
    return Combine<u32>(field, path, input, [](u32 a, u32 b) { return a | b; });
}

u32 CMwParamBool::Sub(void* field, CMwMemberPath* path, const void* input) {
    return Combine<u32>(field, path, input, [](u32 a, u32 b) { return a & b; });
}

void CMwParamBool::FromText(CMwParamValue* out, const CClassicWideString& text,
                            const CMwMemberInfo*, const CMwParamTextOptions&) {
    text.GetAscii(s_ConversionText);
    const char first = s_ConversionText.IsEmpty() ? 0 : s_ConversionText[0];
    const bool value = first != 0 && std::strchr("Tt1Oo", first) != nullptr;
    PutScratch<u32>(out, value ? 1 : 0);
}

void CMwParamBool::ToText(CClassicWideString& out, const void* value, const CMwMemberInfo*,
                          const CMwParamTextOptions&) {
    if (!value)
        return NoText(out);
    s_ConversionText.Assign(ValueAt<u32>(value) ? "True" : "False");
    OutputConversion(out);
}

// ---------------------------------------------------------------------------------------------
// Class

u32 CMwParamClass::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    if (!field || !out)
        return MwParam_NotFound;
    CMwNod* nod = *static_cast<CMwNod**>(field);
    if (!path || !path->HasCurrent()) {
        out->Value = nod;
        return MwParam_Ok;
    }
    return nod ? nod->GetParam(path, out) : MwParam_NotFound;
}

u32 CMwParamClass::Set(void* field, CMwMemberPath* path, const void* input) {
    return SetNodRefMember(static_cast<CMwNod**>(field), path, input);
}

u32 CMwParamClass::Add(void* field, CMwMemberPath* path, const void* input) {
    if (!field)
        return MwParam_NotFound;
    CMwNod* nod = *static_cast<CMwNod**>(field);
    if (!path || !path->HasCurrent())
        return MwParam_Ok;
    return nod ? nod->AddParam(path, input) : MwParam_NotFound;
}

u32 CMwParamClass::Sub(void* field, CMwMemberPath* path, const void* input) {
    if (!field)
        return MwParam_NotFound;
    CMwNod* nod = *static_cast<CMwNod**>(field);
    if (!path || !path->HasCurrent())
        return MwParam_Ok;
    return nod ? nod->SubParam(path, input) : MwParam_NotFound;
}

u32 CMwParamClass::GetSubNod(CMwNod* owner, CMwMemberPath* path, CMwNod** out) {
    *out = nullptr;
    CMwMemberInfo* member = path->TakeMember();
    if (!member || !owner)
        return MwParam_NotFound;
    CMwParamValue value;
    const u32 result = owner->GetMemberValue(member, &value);
    if (result != MwParam_Ok)
        return result;
    *out = static_cast<CMwNod*>(value.Value);
    return *out || !path->HasCurrent() ? MwParam_Ok : MwParam_NotFound;
}

void CMwParamClass::FromText(CMwParamValue*, const CClassicWideString& text, const CMwMemberInfo*,
                             const CMwParamTextOptions&) {
    AsciiCopyOnly(text);
}

void CMwParamClass::ToText(CClassicWideString& out, const void*, const CMwMemberInfo*,
                           const CMwParamTextOptions&) {
    NoText(out);
}

void CMwParamClass::GetKindPair(u32* first, u32* second) {
    *first = 2;
    *second = 2;
}

void CMwParamClass::ForEachChildPath(CMwNod* root, CMwMemberPath* base, CMwMemberPath* scratch,
                                     void* receiver, MwChildPathCallback callback, void* user,
                                     u32 first) {
    if (!root || !base || !scratch || !callback)
        return;
    base->Reset();
    CMwParamValue value;
    const u32 result = root->GetParam(base, &value);
    base->Reset();
    CMwNod* nod = static_cast<CMwNod*>(value.Value);
    if (result != MwParam_Ok || !nod)
        return;
    const u32 count = nod->MemberCount();
    if (first >= count)
        return;
    BeginChildPaths(*base, *scratch);
    for (u32 i = first; i < count; ++i) {
        CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(nod->MemberIdByIndex(i));
        if (!member)
            continue; // a class that is not registered has no records to offer
        if (!VisitChildPath(*scratch, reinterpret_cast<MwPathValue>(member), MwPathItem_Member,
                            receiver, callback, user))
            return;
    }
}

u32 CMwParamClassRef::Set(void* field, CMwMemberPath* path, const void* input) {
    if (!field || (path && path->HasCurrent()))
        return CMwParamClass::Set(field, path, input);
    CMwNod*& slot = *static_cast<CMwNod**>(field);
    CMwNod* nod = static_cast<CMwNod*>(const_cast<void*>(input));
    // The new reference first, so that storing the nod already held never lets it go; the old
    // nod is released once the slot no longer names it.
    if (nod)
        nod->AddRef();
    CMwNod* old = slot;
    slot = nod;
    if (old)
        old->Release();
    return MwParam_Ok;
}

// ---------------------------------------------------------------------------------------------
// Enum

u32 CMwParamEnum::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    return GetField<u32>(field, path, out);
}

u32 CMwParamEnum::Set(void* field, CMwMemberPath* path, const void* input) {
    return CopyInto<u32>(field, path, input);
}

u32 CMwParamEnum::Add(void* field, CMwMemberPath* path, const void* input) {
    return Combine<u32>(field, path, input, [](u32 a, u32 b) { return a + b; });
}

u32 CMwParamEnum::Sub(void* field, CMwMemberPath* path, const void* input) {
    return Combine<u32>(field, path, input, [](u32 a, u32 b) { return a - b; });
}

void CMwParamEnum::FromText(CMwParamValue* out, const CClassicWideString& text,
                            const CMwMemberInfo* info, const CMwParamTextOptions&) {
    u32 index = 0;
    if (info && info->TypeCode == MwType_Enum) {
        const auto& names = static_cast<const CMwMemberInfoEnum&>(*info);
        for (u32 i = 0; names.EnumNames && i < names.EnumCount; ++i) {
            if (names.EnumNames[i] && text.CompareNoCaseNarrow(names.EnumNames[i]) == 0) {
                index = i;
                break;
            }
        }
    }
    PutScratch<u32>(out, index);
}

void CMwParamEnum::ToText(CClassicWideString& out, const void* value, const CMwMemberInfo* info,
                          const CMwParamTextOptions&) {
    if (!value || !info || info->TypeCode != MwType_Enum)
        return NoText(out);
    const auto& names = static_cast<const CMwMemberInfoEnum&>(*info);
    const u32 index = ValueAt<u32>(value);
    if (index >= names.EnumCount) {
        if (!g_ClassicLogLine.IsEmpty())
            g_ClassicLogLine.SetLength(0);
        g_ClassicLogLine.Append("Assertion sur EnumCount!!!").Append("\r\n");
        ClassicLogWriteLine();
        s_ConversionText.Assign("Index hors limite!!");
    } else {
        // An absent name is an empty text.
        s_ConversionText.Assign(names.EnumNames ? names.EnumNames[index] : nullptr);
    }
    OutputConversion(out);
}

// ---------------------------------------------------------------------------------------------
// Integer

u32 CMwParamInteger::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    return GetField<i32>(field, path, out);
}

u32 CMwParamInteger::Set(void* field, CMwMemberPath* path, const void* input) {
    return CopyInto<i32>(field, path, input);
}

// The arithmetic wraps: it is done on the unsigned words.
u32 CMwParamInteger::Add(void* field, CMwMemberPath* path, const void* input) {
    return Combine<u32>(field, path, input, [](u32 a, u32 b) { return a + b; });
}

u32 CMwParamInteger::Sub(void* field, CMwMemberPath* path, const void* input) {
    return Combine<u32>(field, path, input, [](u32 a, u32 b) { return a - b; });
}

void CMwParamInteger::FromText(CMwParamValue* out, const CClassicWideString& text,
                               const CMwMemberInfo*, const CMwParamTextOptions&) {
    text.GetAscii(s_ConversionText);
    PutScratch<i32>(out, ParseIntegerText(s_ConversionText));
}

void CMwParamInteger::ToText(CClassicWideString& out, const void* value, const CMwMemberInfo*,
                             const CMwParamTextOptions& options) {
    if (!value)
        return NoText(out);
    s_ConversionText.SetInt(ValueAt<i32>(value), options.GroupsDigits(), options.GetMinWidth());
    OutputConversion(out);
}

// ---------------------------------------------------------------------------------------------
// Natural

u32 CMwParamNatural::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    return GetField<u32>(field, path, out);
}

u32 CMwParamNatural::Set(void* field, CMwMemberPath* path, const void* input) {
    return CopyInto<u32>(field, path, input);
}

u32 CMwParamNatural::Add(void* field, CMwMemberPath* path, const void* input) {
    return Combine<u32>(field, path, input, [](u32 a, u32 b) { return a + b; });
}

u32 CMwParamNatural::Sub(void* field, CMwMemberPath* path, const void* input) {
    return Combine<u32>(field, path, input, [](u32 a, u32 b) { return a - b; });
}

void CMwParamNatural::FromText(CMwParamValue* out, const CClassicWideString& text,
                               const CMwMemberInfo*, const CMwParamTextOptions& options) {
    text.GetAscii(s_ConversionText);
    u32 value = 0;
    if (options.IsHexadecimal()) {
        i32 bits = 0;
        s_ConversionText.ParseInteger(bits, true);
        value = static_cast<u32>(bits);
    } else {
        value = ParseNaturalDecimal(s_ConversionText);
    }
    PutScratch<u32>(out, value);
}

void CMwParamNatural::ToText(CClassicWideString& out, const void* value, const CMwMemberInfo*,
                             const CMwParamTextOptions& options) {
    if (!value)
        return NoText(out);
    const u32 natural = ValueAt<u32>(value);
    if (options.IsHexadecimal())
        s_ConversionText.SetIntEx(static_cast<i32>(natural), options.GroupsDigits(),
                                  options.GetMinWidth(), options.PadsWithZeros(), true, true);
    else
        SetNaturalText(s_ConversionText, natural, options);
    OutputConversion(out);
}

// ---------------------------------------------------------------------------------------------
// Real

u32 CMwParamReal::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    return GetField<f32>(field, path, out);
}

u32 CMwParamReal::Set(void* field, CMwMemberPath* path, const void* input) {
    return CopyInto<f32>(field, path, input);
}

u32 CMwParamReal::Add(void* field, CMwMemberPath* path, const void* input) {
    return Combine<f32>(field, path, input, [](f32 a, f32 b) { return a + b; });
}

u32 CMwParamReal::Sub(void* field, CMwMemberPath* path, const void* input) {
    return Combine<f32>(field, path, input, [](f32 a, f32 b) { return a - b; });
}

void CMwParamReal::FromText(CMwParamValue* out, const CClassicWideString& text,
                            const CMwMemberInfo*, const CMwParamTextOptions&) {
    text.GetAscii(s_ConversionText);
    f32 value = 0;
    s_ConversionText.ParseFloat(value);
    PutScratch<f32>(out, value);
}

void CMwParamReal::ToText(CClassicWideString& out, const void* value, const CMwMemberInfo*,
                          const CMwParamTextOptions&) {
    if (!value)
        return NoText(out);
    s_ConversionText.SetFloat(ValueAt<f32>(value), 3);
    OutputConversion(out);
}

// ---------------------------------------------------------------------------------------------
// String and StringInt

u32 CMwParamString::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    return GetField<CClassicString>(field, path, out);
}

u32 CMwParamString::Set(void* field, CMwMemberPath*, const void* input) {
    if (!CanWrite(field, input))
        return MwParam_NotFound;
    static_cast<CClassicString*>(field)->Assign(*static_cast<const CClassicString*>(input));
    return MwParam_Ok;
}

u32 CMwParamString::Add(void* field, CMwMemberPath*, const void* input) {
    if (!CanWrite(field, input))
        return MwParam_NotFound;
    static_cast<CClassicString*>(field)->Append(*static_cast<const CClassicString*>(input));
    return MwParam_Ok;
}

u32 CMwParamString::Sub(void* field, CMwMemberPath*, const void*) {
    return CanRead(field) ? MwParam_Ok : MwParam_NotFound;
}

void CMwParamString::FromText(CMwParamValue* out, const CClassicWideString& text,
                              const CMwMemberInfo*, const CMwParamTextOptions&) {
    text.GetAscii(s_ConversionText);
    out->Value = &s_ConversionText;
}

void CMwParamString::ToText(CClassicWideString& out, const void* value, const CMwMemberInfo*,
                            const CMwParamTextOptions&) {
    if (!value)
        return NoText(out);
    s_ConversionText.Assign(*static_cast<const CClassicString*>(value));
    OutputConversion(out);
}

u32 CMwParamStringInt::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    return GetField<CClassicWideString>(field, path, out);
}

u32 CMwParamStringInt::Set(void* field, CMwMemberPath*, const void* input) {
    if (!CanWrite(field, input))
        return MwParam_NotFound;
    static_cast<CClassicWideString*>(field)->Assign(*static_cast<const CClassicWideString*>(input));
    return MwParam_Ok;
}

u32 CMwParamStringInt::Add(void* field, CMwMemberPath*, const void* input) {
    if (!CanWrite(field, input))
        return MwParam_NotFound;
    static_cast<CClassicWideString*>(field)->Append(*static_cast<const CClassicWideString*>(input));
    return MwParam_Ok;
}

u32 CMwParamStringInt::Sub(void* field, CMwMemberPath*, const void*) {
    return CanRead(field) ? MwParam_Ok : MwParam_NotFound;
}

void CMwParamStringInt::FromText(CMwParamValue* out, const CClassicWideString& text,
                                 const CMwMemberInfo*, const CMwParamTextOptions&) {
    out->Value = const_cast<CClassicWideString*>(&text);
}

void CMwParamStringInt::ToText(CClassicWideString& out, const void* value, const CMwMemberInfo*,
                               const CMwParamTextOptions&) {
    if (!value)
        return NoText(out);
    out.Assign(*static_cast<const CClassicWideString*>(value));
}

// ---------------------------------------------------------------------------------------------
// Proc

namespace {

// The Proc record of the member item just before the path's current item, if it is one.
const CMwMemberInfoProc* ProcBeforeCurrent(const CMwMemberPath& path) {
    const i32 before = path.m_Current + 1;
    if (before <= 0 || before >= static_cast<i32>(path.m_Count) ||
        path.m_Kinds[before] != MwPathItem_Member)
        return nullptr;
    const auto* member = reinterpret_cast<const CMwMemberInfo*>(path.m_Values[before]);
    if (!member || member->TypeCode != MwType_Proc)
        return nullptr;
    return static_cast<const CMwMemberInfoProc*>(member);
}

} // namespace

u32 CMwParamProc::Get(void*, CMwMemberPath* path, CMwParamValue* out) {
    // Only a last index item right after the Proc member asks for an argument's default.
    if (!path || !out || path->m_Current != 0 || path->GetCurrentKind() != MwPathItem_Index)
        return MwParam_Ok;
    const CMwMemberInfoProc* proc = ProcBeforeCurrent(*path);
    if (!proc)
        return MwParam_Ok;
    const u32 index = static_cast<u32>(path->m_Values[0]);
    if (index >= proc->ArgCount || !proc->ArgTypes)
        return MwParam_NotFound;
    path->Consume();
    std::memset(out->Scratch, 0, sizeof out->Scratch);
    switch (proc->ArgTypes[index]) {
        case MwType_Bool:
        case MwType_Enum:
        case MwType_Integer:
        case MwType_IntegerRange:
        case MwType_Natural:
        case MwType_NaturalRange:
        case MwType_Real:
        case MwType_RealRange:
        case MwType_Vec2:
        case MwType_Vec3:
            out->Value = out->Scratch; // zeros, one to three words
            break;
        case MwType_Iso4:
            PutScratch(out, GmIso4Identity);
            break;
        case MwType_String:
            out->Value = const_cast<CClassicString*>(&s_EmptyString);
            break;
        case MwType_StringInt:
            out->Value = const_cast<CClassicWideString*>(&s_EmptyWideString);
            break;
        default:
            out->Value = nullptr; // a nod argument (a class id) has no default
            break;
    }
    return MwParam_Ok;
}

void CMwParamProc::FromText(CMwParamValue*, const CClassicWideString& text, const CMwMemberInfo*,
                            const CMwParamTextOptions&) {
    AsciiCopyOnly(text);
}

void CMwParamProc::ToText(CClassicWideString& out, const void*, const CMwMemberInfo*,
                          const CMwParamTextOptions&) {
    NoText(out);
}

void CMwParamProc::ForEachChildPath(CMwNod*, CMwMemberPath* base, CMwMemberPath* scratch,
                                    void* receiver, MwChildPathCallback callback, void* user,
                                    u32 first) {
    if (!base || !scratch || base->m_Count == 0 || base->m_Kinds[0] != MwPathItem_Member)
        return;
    const auto* member = reinterpret_cast<const CMwMemberInfo*>(base->m_Values[0]);
    if (!member || member->TypeCode != MwType_Proc)
        return;
    VisitIndexChildren(*base, *scratch, receiver, callback, user, first,
                       static_cast<const CMwMemberInfoProc*>(member)->ArgCount);
}

// ---------------------------------------------------------------------------------------------
// The sub-nod lookup of lists of nods

u32 MwGetSubNodOfList(CMwNod* owner, CMwMemberPath* path, CMwNod** out, MwNodListReader reader) {
    *out = nullptr;
    MwPathValue value = 0;
    if (!path->GetCurrent(&value) || path->GetCurrentKind() != MwPathItem_Member)
        return MwParam_NotFound;
    auto* member = reinterpret_cast<CMwMemberInfo*>(value);
    if (!member)
        return MwParam_NotFound;
    const bool list = member->TypeCode == MwType_RefBuffer ||
                      MwContainerElementType(member->TypeCode) != MwType_Count;
    // Only lists of nods lead anywhere, and only through an element item.
    if (!list || path->m_Current < 1 ||
        static_cast<const CMwMemberInfoContainer*>(member)->ElementType != MwType_Class)
        return MwParam_Ok;

    path->Consume();
    CMwParamValue container;
    const u32 result = owner->GetMemberValue(member, &container);
    if (result != MwParam_Ok)
        return result;
    const CMwNodList nods = reader(container);
    u32 index = 0;
    switch (path->GetCurrentKind()) {
        case MwPathItem_Index:
            path->TakeIndex(&index);
            break;
        case MwPathItem_Name:
            if (path->FindNodByName(&index, nods.Nods, nods.Count) != MwParam_Ok)
                return MwParam_NotFound;
            break;
        default:
            return MwParam_NotFound;
    }
    if (index >= nods.Count || !nods.Nods)
        return MwParam_NotFound;
    *out = nods.Nods[index];
    return *out || !path->HasCurrent() ? MwParam_Ok : MwParam_NotFound;
}
