#pragma once
// Member-information records: one static, read-only record per reflected member of a class,
// saying what the member is (type code), which member it is (member id), where its value lives
// in the nod (field offset, or -1 when the class's virtual member operations handle it), its
// names, the operations it allows and the extras its type needs. Only `Param` is written, once,
// by the registry's start-up pass.
//
// Classes declare their table with MW_DEFINE_CLASS (MwClassInfo.h) from an X-macro list of rows,
// one per member; see core/nod/README.md.
#include "core/base/FastBuffer.h"
#include "core/nod/MwBucketList.h"
#include "platform/Types.h"

#include <cstddef>
#include <type_traits>

class CMwNod;
class CMwNodRef;
class CMwParam;
class CMwClassInfo;
class CMwMemberPath;
class CMwRefBuffer;
class CClassicString;
class CClassicWideString;
struct GmColorRgb;
struct Vec2;
struct Vec3;
struct Vec4;
struct Quat;
struct Iso3;
struct Iso4;

// Member type codes. Fourteen base kinds are followed by their container variants: base + 1 an
// exact-size array, base + 2 a growable buffer, base + 3 a bucket list.
enum EMwTypeCode : u32 {
    MwType_Action = 0,
    MwType_Bool = 1,
    MwType_Class = 5,
    MwType_Color = 9,
    MwType_Enum = 13,
    MwType_Integer = 14,
    MwType_IntegerRange = 18,
    MwType_Iso4 = 19,
    MwType_Iso3 = 23,
    MwType_Natural = 27,
    MwType_NaturalRange = 31,
    MwType_Real = 32,
    MwType_RealRange = 36,
    MwType_String = 37,
    MwType_StringInt = 41,
    MwType_Vec2 = 45,
    MwType_Vec3 = 49,
    MwType_Vec4 = 53,
    MwType_Quat = 57,
    MwType_Proc = 61,
    MwType_RefBuffer = 62,
    MwType_Count = 63,
};

inline constexpr u32 MwTypeArray = 1;
inline constexpr u32 MwTypeBuffer = 2;
inline constexpr u32 MwTypeBucketList = 3;

// The base kind of an array, buffer or bucket-list type code; MwType_Count for every other code
// (RefBuffer included).
constexpr u32 MwContainerElementType(u32 typeCode) {
    constexpr u32 kBasesWithContainers[] = {
        MwType_Bool, MwType_Class,   MwType_Color, MwType_Integer, MwType_Iso4,
        MwType_Iso3, MwType_Natural, MwType_Real,  MwType_String,  MwType_StringInt,
        MwType_Vec2, MwType_Vec3,    MwType_Vec4,  MwType_Quat};
    for (u32 base : kBasesWithContainers)
        if (typeCode > base && typeCode <= base + MwTypeBucketList)
            return base;
    return MwType_Count;
}

// Flags: the operations a member allows, and which of them go to the owning class's virtual
// member operations instead of the descriptor.
enum EMwMemberFlags : u32 {
    MwMember_Get = 0x01,
    MwMember_Set = 0x02,
    MwMember_Add = 0x04,
    MwMember_Sub = 0x08,
    MwMember_GetVirtual = 0x10,
    MwMember_SetVirtual = 0x20,
    MwMember_AddVirtual = 0x40,
    MwMember_SubVirtual = 0x80,
};

struct CMwMemberInfo {
    u32 TypeCode;
    u32 MemberId;
    CMwParam* Param;
    i32 FieldOffset;
    const char* Name;
    const char* FieldName;
    const char* Label;
    u32 Flags;
    u32 Mask;
};

struct CMwMemberInfoAction : CMwMemberInfo {
    void (*Method)(CMwNod* nod);
};

struct CMwMemberInfoClass : CMwMemberInfo {
    CMwClassInfo* ClassInfo;
    u32 TakesReference;
};

struct CMwMemberInfoEnum : CMwMemberInfo {
    const char* EnumPrefix;
    u32 EnumCount;
    const char* const* EnumNames;
};

struct CMwMemberInfoIntegerRange : CMwMemberInfo {
    i32 Min;
    i32 Max;
};

struct CMwMemberInfoNaturalRange : CMwMemberInfo {
    u32 Min;
    u32 Max;
};

struct CMwMemberInfoRealRange : CMwMemberInfo {
    f32 Min;
    f32 Max;
};

// Vec2, Vec3 and Vec4 members.
struct CMwMemberInfoVec : CMwMemberInfo {
    const char* const* ComponentNames;
};

struct CMwMemberInfoProc : CMwMemberInfo {
    u32 (*Method)(CMwNod* nod, CMwMemberPath* path);
    u32 ArgCount;
    const u32* ArgTypes;
    const char* const* ArgNames;
    const u32* ArgValues;
};

// Arrays, buffers, bucket lists and RefBuffer members.
struct CMwMemberInfoContainer : CMwMemberInfo {
    u32 ElementFlags;
    const char* ElementName;
    u32 ElementType;
    CMwClassInfo* ElementClassInfo;
};

// What a member read gives: a pointer to the value (in the nod, or in Scratch for computed and
// parsed values). For nod members the first word is the nod itself.
struct CMwParamValue {
    void* Value = nullptr;
    alignas(8) u8 Scratch[48] = {};
};

// ---------------------------------------------------------------------------------------------
// Row builders used by the member tables (see MW_DEFINE_CLASS). A row gives the kind, the member
// id, the reflection name, the field, the label, the flags, the mask and the kind's extras. They
// initialise constinit records, so they run at compile time and check the row there: a row that
// does not fit stops the build at that row, and the compiler's message gives the reason.
//
// A field's C++ type must be the one its kind's descriptor reads and writes at the field's
// address; any other type would be written over its neighbours or read as garbage:
//
//   Bool, Natural, NaturalRange, Enum    u32
//   Integer, IntegerRange                i32
//   Real, RealRange                      f32
//   String, StringInt                    CClassicString, CClassicWideString
//   Color                                GmColorRgb
//   Vec2, Vec3, Vec4, Quat, Iso3, Iso4   the math type of that name
//   Class                                T* for a nod class T; CMwNodRef where the row takes
//                                        references (TakesReference 1), and only there
//   Array, Buffer, BucketList            CFastArray, CFastBuffer, CMwBucketList of the element
//                                        kind's type (T* for nods: lists never count references)
//   RefBuffer                            CMwRefBuffer
//   Action, Proc                         no field
//
// A member without field (MW_VIRTUAL) fits every kind: the class's virtual member operations
// answer for it.

// Where a member's value lives: the field's offset in the nod and its name, or -1 and the field
// name the record carries for a member without field.
struct CMwMemberField {
    i32 Offset;
    const char* Name;
};

// MW_FIELD: a field of C++ type T (the rows check T against their kind).
template <class T>
struct CMwField : CMwMemberField {};

// MW_VIRTUAL: no field.
struct CMwNoField : CMwMemberField {};

// True for the base kinds that have array, buffer and bucket-list variants.
constexpr bool MwHasContainers(u32 kind) {
    return MwContainerElementType(kind + MwTypeArray) == kind;
}

namespace mw_member_rows {

// Never defined: a builder calls it for a row that does not fit, which ends the compile-time
// evaluation of the row there, and the compiler quotes the call with its reason. (A builder
// called at run time would not link.)
void RowError(const char* reason);

template <class>
inline constexpr bool kNever = false;

template <class F>
inline constexpr bool IsFieldArgument = false;
template <class T>
inline constexpr bool IsFieldArgument<CMwField<T>> = true;
template <>
inline constexpr bool IsFieldArgument<CMwNoField> = true;

template <class F>
inline constexpr bool HasField = !std::is_same_v<F, CMwNoField>;

// The field's C++ type; void without field.
template <class F>
struct FieldTypeOf {
    using Type = void;
};
template <class T>
struct FieldTypeOf<CMwField<T>> {
    using Type = T;
};
template <class F>
using FieldType = typename FieldTypeOf<F>::Type;

// What a Class field and an element of a list of nods hold.
template <class T>
inline constexpr bool IsNodPointer =
    std::conjunction_v<std::is_pointer<T>, std::is_base_of<CMwNod, std::remove_pointer_t<T>>>;

// True when T is the type the kind's descriptor reads and writes (for Class: a plain pointer).
template <class T>
constexpr bool StoresKind(u32 kind) {
    switch (kind) {
        case MwType_Bool:
        case MwType_Enum:
        case MwType_Natural:
        case MwType_NaturalRange:
            return std::is_same_v<T, u32>;
        case MwType_Integer:
        case MwType_IntegerRange:
            return std::is_same_v<T, i32>;
        case MwType_Real:
        case MwType_RealRange:
            return std::is_same_v<T, f32>;
        case MwType_String:
            return std::is_same_v<T, CClassicString>;
        case MwType_StringInt:
            return std::is_same_v<T, CClassicWideString>;
        case MwType_Color:
            return std::is_same_v<T, GmColorRgb>;
        case MwType_Vec2:
            return std::is_same_v<T, Vec2>;
        case MwType_Vec3:
            return std::is_same_v<T, Vec3>;
        case MwType_Vec4:
            return std::is_same_v<T, Vec4>;
        case MwType_Quat:
            return std::is_same_v<T, Quat>;
        case MwType_Iso3:
            return std::is_same_v<T, Iso3>;
        case MwType_Iso4:
            return std::is_same_v<T, Iso4>;
        case MwType_Class:
            return IsNodPointer<T>;
        default:
            return false;
    }
}

// The field fits a member of the kind: it has the kind's type, or there is no field.
template <class F, u32 Kind>
inline constexpr bool FieldFits = !HasField<F> || StoresKind<FieldType<F>>(Kind);

// The element type of a container field of one layout; Fits is false for another type.
template <u32 Layout, class T>
struct ContainerOf {
    static constexpr bool Fits = false;
    using Element = void;
};
template <class E>
struct ContainerOf<MwTypeArray, CFastArray<E>> {
    static constexpr bool Fits = true;
    using Element = E;
};
template <class E>
struct ContainerOf<MwTypeBuffer, CFastBuffer<E>> {
    static constexpr bool Fits = true;
    using Element = E;
};
template <class E>
struct ContainerOf<MwTypeBucketList, CMwBucketList<E>> {
    static constexpr bool Fits = true;
    using Element = E;
};

template <class F>
constexpr CMwMemberInfo Head(u32 typeCode, u32 id, const char* name, F field, const char* label,
                             u32 flags, u32 mask) {
    static_assert(IsFieldArgument<F>,
                  "member row: the field is MW_FIELD(m_Field), "
                  "MW_FIELD_NAMED(m_Field, \"m_Name\") or MW_VIRTUAL(\"m_Name\")");
    return {typeCode, id, nullptr, field.Offset, name, field.Name, label, flags, mask};
}

// Value kinds without extras.
#define MW_VALUE_MEMBER_KIND(Kind, FieldRule)                                                      \
    template <class F>                                                                             \
    constexpr CMwMemberInfo Kind(u32 id, const char* name, F field, const char* label, u32 flags,  \
                                 u32 mask) {                                                       \
        static_assert(FieldFits<F, MwType_##Kind>, #Kind " member: the field must be " FieldRule); \
        return Head(MwType_##Kind, id, name, field, label, flags, mask);                           \
    }
MW_VALUE_MEMBER_KIND(Bool, "a u32 (0 false, anything else true), not a C++ bool")
MW_VALUE_MEMBER_KIND(Color, "a GmColorRgb (three floats r, g, b)")
MW_VALUE_MEMBER_KIND(Integer, "an i32")
MW_VALUE_MEMBER_KIND(Iso4, "an Iso4")
MW_VALUE_MEMBER_KIND(Iso3, "an Iso3")
MW_VALUE_MEMBER_KIND(Natural, "a u32")
MW_VALUE_MEMBER_KIND(Real, "an f32")
MW_VALUE_MEMBER_KIND(String, "a CClassicString")
MW_VALUE_MEMBER_KIND(StringInt, "a CClassicWideString")
MW_VALUE_MEMBER_KIND(Quat, "a Quat")
#undef MW_VALUE_MEMBER_KIND

template <class F>
constexpr CMwMemberInfoAction Action(u32 id, const char* name, F field, const char* label,
                                     u32 flags, u32 mask, void (*method)(CMwNod*)) {
    static_assert(!HasField<F>, "Action member: no field (setting it calls its method); write "
                                "MW_VIRTUAL(\"\")");
    return {Head(MwType_Action, id, name, field, label, flags, mask), method};
}

// A class record argument: `&CThing::s_ClassInfo`, or nullptr for none. Whether a record is given
// is told by the argument's type, so that no address is compared at compile time.
template <class R>
inline constexpr bool IsRecordArgument =
    std::is_same_v<R, CMwClassInfo*> || std::is_same_v<R, std::nullptr_t>;
template <class R>
inline constexpr bool IsRecord = std::is_same_v<R, CMwClassInfo*>;

// TakesReference 1: the member holds a reference on its nod, so its field is a CMwNodRef (the
// descriptor takes the new nod's reference and gives the old one back; the CMwNodRef gives the
// last one back with the nod). TakesReference 0: a plain pointer, which counts nothing.
template <class F, class R>
constexpr CMwMemberInfoClass Class(u32 id, const char* name, F field, const char* label, u32 flags,
                                   u32 mask, R classInfo, u32 takesReference) {
    using T = FieldType<F>;
    static_assert(!HasField<F> || IsNodPointer<T> || std::is_same_v<T, CMwNodRef>,
                  "Class member: the field must be a pointer to a nod class, or a CMwNodRef where "
                  "the row takes references");
    static_assert(IsRecord<R>, "Class member: give the record of the accepted class");
    if (takesReference > 1)
        RowError("Class member: TakesReference is 0 or 1");
    if (HasField<F> && takesReference == 1 && !std::is_same_v<T, CMwNodRef>)
        RowError("Class member that takes references: the field must be a CMwNodRef");
    if (HasField<F> && takesReference == 0 && std::is_same_v<T, CMwNodRef>)
        RowError("Class member without references: the field must be a plain nod pointer");
    return {Head(MwType_Class, id, name, field, label, flags, mask), classInfo, takesReference};
}

template <class F, u32 N>
constexpr CMwMemberInfoEnum Enum(u32 id, const char* name, F field, const char* label, u32 flags,
                                 u32 mask, const char* prefix, const char* const (&names)[N]) {
    static_assert(FieldFits<F, MwType_Enum>,
                  "Enum member: the field must be a u32 (the index of the value)");
    return {Head(MwType_Enum, id, name, field, label, flags, mask), prefix, N, names};
}

template <class F>
constexpr CMwMemberInfoEnum Enum(u32, const char*, F, const char*, u32, u32, const char*,
                                 std::nullptr_t) {
    static_assert(kNever<F>, "Enum member: give the array of the value names");
    return {};
}

#define MW_RANGE_MEMBER_KIND(Kind, Bound, FieldRule)                                               \
    template <class F>                                                                             \
    constexpr CMwMemberInfo##Kind Kind(u32 id, const char* name, F field, const char* label,       \
                                       u32 flags, u32 mask, Bound min, Bound max) {                \
        static_assert(FieldFits<F, MwType_##Kind>, #Kind " member: the field must be " FieldRule); \
        if (!(min <= max))                                                                         \
            RowError("range member: the lower bound is above the upper one");                      \
        return {Head(MwType_##Kind, id, name, field, label, flags, mask), min, max};               \
    }
MW_RANGE_MEMBER_KIND(IntegerRange, i32, "an i32")
MW_RANGE_MEMBER_KIND(NaturalRange, u32, "a u32")
MW_RANGE_MEMBER_KIND(RealRange, f32, "an f32")
#undef MW_RANGE_MEMBER_KIND

#define MW_VEC_MEMBER_KIND(Kind, Components)                                                       \
    template <class F>                                                                             \
    constexpr CMwMemberInfoVec Kind(u32 id, const char* name, F field, const char* label,          \
                                    u32 flags, u32 mask,                                           \
                                    const char* const(&components)[Components]) {                  \
        static_assert(FieldFits<F, MwType_##Kind>, #Kind " member: the field must be a " #Kind);   \
        return {Head(MwType_##Kind, id, name, field, label, flags, mask), components};             \
    }
MW_VEC_MEMBER_KIND(Vec2, 2)
MW_VEC_MEMBER_KIND(Vec3, 3)
MW_VEC_MEMBER_KIND(Vec4, 4)
#undef MW_VEC_MEMBER_KIND

template <class F, u32 N>
constexpr CMwMemberInfoProc Proc(u32 id, const char* name, F field, const char* label, u32 flags,
                                 u32 mask, u32 (*method)(CMwNod*, CMwMemberPath*),
                                 const u32 (&argTypes)[N], const char* const (&argNames)[N],
                                 const u32 (&argValues)[N]) {
    static_assert(!HasField<F>, "Proc member: no field (setting it calls its method); write "
                                "MW_VIRTUAL(\"\")");
    return {Head(MwType_Proc, id, name, field, label, flags, mask),
            method,
            N,
            argTypes,
            argNames,
            argValues};
}

template <class F>
constexpr CMwMemberInfoProc Proc(u32 id, const char* name, F field, const char* label, u32 flags,
                                 u32 mask, u32 (*method)(CMwNod*, CMwMemberPath*)) {
    static_assert(!HasField<F>, "Proc member: no field (setting it calls its method); write "
                                "MW_VIRTUAL(\"\")");
    return {Head(MwType_Proc, id, name, field, label, flags, mask),
            method,
            0,
            nullptr,
            nullptr,
            nullptr};
}

// Lists of nods name the class of their elements; other lists name none.
constexpr void CheckElementClass(u32 elementType, bool hasRecord) {
    if (elementType == MwType_Class && !hasRecord)
        RowError("list of nods: give the record of the elements' class");
    if (elementType != MwType_Class && hasRecord)
        RowError("list member: only lists of nods name an element class");
}

// Containers: the element's base kind, flags, name and (for nods) class.
template <u32 Layout, class F>
constexpr CMwMemberInfoContainer Container(u32 id, const char* name, F field, const char* label,
                                           u32 flags, u32 mask, u32 elementType, u32 elementFlags,
                                           const char* elementName, CMwClassInfo* elementClassInfo,
                                           bool hasRecord) {
    if (!MwHasContainers(elementType))
        RowError("list member: the element kind has no lists (only Bool, Class, Color, Integer, "
                 "Iso4, Iso3, Natural, Real, String, StringInt, Vec2, Vec3, Vec4 and Quat have)");
    using Element = typename ContainerOf<Layout, FieldType<F>>::Element;
    if (HasField<F> && !StoresKind<Element>(elementType))
        RowError("list member: the elements must have the element kind's type (u32 for Bool and "
                 "Natural, i32, f32, T* for nods, CClassicString, Vec3 ...)");
    CheckElementClass(elementType, hasRecord);
    return {Head(elementType + Layout, id, name, field, label, flags, mask), elementFlags,
            elementName, elementType, elementClassInfo};
}

#define MW_CONTAINER_MEMBER_KIND(Kind, Layout, Storage)                                            \
    template <class F, class R = std::nullptr_t>                                                   \
    constexpr CMwMemberInfoContainer Kind(u32 id, const char* name, F field, const char* label,    \
                                          u32 flags, u32 mask, u32 elementType, u32 elementFlags,  \
                                          const char* elementName, R elementClassInfo = nullptr) { \
        static_assert(!HasField<F> || ContainerOf<Layout, FieldType<F>>::Fits, #Kind               \
                      " member: the field must be a " Storage " of the element kind's type");      \
        static_assert(IsRecordArgument<R>, "list member: the element class is a class record");    \
        return Container<Layout>(id, name, field, label, flags, mask, elementType, elementFlags,   \
                                 elementName, elementClassInfo, IsRecord<R>);                      \
    }
MW_CONTAINER_MEMBER_KIND(Array, MwTypeArray, "CFastArray")
MW_CONTAINER_MEMBER_KIND(Buffer, MwTypeBuffer, "CFastBuffer")
MW_CONTAINER_MEMBER_KIND(BucketList, MwTypeBucketList, "CMwBucketList")
#undef MW_CONTAINER_MEMBER_KIND

template <class F, class R = std::nullptr_t>
constexpr CMwMemberInfoContainer RefBuffer(u32 id, const char* name, F field, const char* label,
                                           u32 flags, u32 mask, u32 elementType, u32 elementFlags,
                                           const char* elementName, R elementClassInfo = nullptr) {
    static_assert(!HasField<F> || std::is_same_v<FieldType<F>, CMwRefBuffer>,
                  "RefBuffer member: the field must be a CMwRefBuffer");
    static_assert(IsRecordArgument<R>, "list member: the element class is a class record");
    if (elementType != MwType_Class)
        RowError("RefBuffer member: the elements are nods (MwType_Class)");
    CheckElementClass(elementType, IsRecord<R>);
    return {Head(MwType_RefBuffer, id, name, field, label, flags, mask), elementFlags, elementName,
            elementType, elementClassInfo};
}

} // namespace mw_member_rows

// Turns a member function into the plain function an Action or Proc record calls.
template <auto Method>
struct MwThunk;
template <class C, void (C::*Method)()>
struct MwThunk<Method> {
    static void Call(CMwNod* nod) { (static_cast<C*>(nod)->*Method)(); }
};
template <class C, u32 (C::*Method)(CMwMemberPath*)>
struct MwThunk<Method> {
    static u32 Call(CMwNod* nod, CMwMemberPath* path) {
        return (static_cast<C*>(nod)->*Method)(path);
    }
};
