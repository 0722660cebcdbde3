#pragma once
// Member-information records: one static, read-only record per reflected member of a class,
// saying what the member is (type code), which member it is (member id), where its value lives
// in the nod (field offset, or -1 when the class's virtual member operations handle it), its
// names, the operations it allows and the extras its type needs. Only `Param` is written, once,
// by the registry's start-up pass.
//
// Classes declare their table with MW_DEFINE_CLASS (MwClassInfo.h) from an X-macro list of rows,
// one per member; see core/nod/README.md.
#include "platform/Types.h"

#include <cstddef>

class CMwNod;
class CMwParam;
class CMwClassInfo;
class CMwMemberPath;

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
// id, the reflection name, the field, the label, the flags, the mask and the kind's extras.

// Where a member's value lives: a field of the nod, or no field (virtual member).
struct CMwMemberField {
    i32 Offset;
    const char* Name;
};

namespace mw_member_rows {

constexpr CMwMemberInfo Head(u32 typeCode, u32 id, const char* name, CMwMemberField field,
                             const char* label, u32 flags, u32 mask) {
    return {typeCode, id, nullptr, field.Offset, name, field.Name, label, flags, mask};
}

#define MW_SIMPLE_MEMBER_KIND(Kind)                                                                \
    constexpr CMwMemberInfo Kind(u32 id, const char* name, CMwMemberField field,                   \
                                 const char* label, u32 flags, u32 mask) {                         \
        return Head(MwType_##Kind, id, name, field, label, flags, mask);                           \
    }
MW_SIMPLE_MEMBER_KIND(Bool)
MW_SIMPLE_MEMBER_KIND(Color)
MW_SIMPLE_MEMBER_KIND(Integer)
MW_SIMPLE_MEMBER_KIND(Iso4)
MW_SIMPLE_MEMBER_KIND(Iso3)
MW_SIMPLE_MEMBER_KIND(Natural)
MW_SIMPLE_MEMBER_KIND(Real)
MW_SIMPLE_MEMBER_KIND(String)
MW_SIMPLE_MEMBER_KIND(StringInt)
MW_SIMPLE_MEMBER_KIND(Quat)
#undef MW_SIMPLE_MEMBER_KIND

constexpr CMwMemberInfoAction Action(u32 id, const char* name, CMwMemberField field,
                                     const char* label, u32 flags, u32 mask,
                                     void (*method)(CMwNod*)) {
    return {Head(MwType_Action, id, name, field, label, flags, mask), method};
}

constexpr CMwMemberInfoClass Class(u32 id, const char* name, CMwMemberField field,
                                   const char* label, u32 flags, u32 mask, CMwClassInfo* classInfo,
                                   u32 takesReference) {
    return {Head(MwType_Class, id, name, field, label, flags, mask), classInfo, takesReference};
}

template <u32 N>
constexpr CMwMemberInfoEnum Enum(u32 id, const char* name, CMwMemberField field, const char* label,
                                 u32 flags, u32 mask, const char* prefix,
                                 const char* const (&names)[N]) {
    return {Head(MwType_Enum, id, name, field, label, flags, mask), prefix, N, names};
}

constexpr CMwMemberInfoIntegerRange IntegerRange(u32 id, const char* name, CMwMemberField field,
                                                 const char* label, u32 flags, u32 mask, i32 min,
                                                 i32 max) {
    return {Head(MwType_IntegerRange, id, name, field, label, flags, mask), min, max};
}

constexpr CMwMemberInfoNaturalRange NaturalRange(u32 id, const char* name, CMwMemberField field,
                                                 const char* label, u32 flags, u32 mask, u32 min,
                                                 u32 max) {
    return {Head(MwType_NaturalRange, id, name, field, label, flags, mask), min, max};
}

constexpr CMwMemberInfoRealRange RealRange(u32 id, const char* name, CMwMemberField field,
                                           const char* label, u32 flags, u32 mask, f32 min,
                                           f32 max) {
    return {Head(MwType_RealRange, id, name, field, label, flags, mask), min, max};
}

#define MW_VEC_MEMBER_KIND(Kind, Components)                                                       \
    constexpr CMwMemberInfoVec Kind(u32 id, const char* name, CMwMemberField field,                \
                                    const char* label, u32 flags, u32 mask,                        \
                                    const char* const(&components)[Components]) {                  \
        return {Head(MwType_##Kind, id, name, field, label, flags, mask), components};             \
    }
MW_VEC_MEMBER_KIND(Vec2, 2)
MW_VEC_MEMBER_KIND(Vec3, 3)
MW_VEC_MEMBER_KIND(Vec4, 4)
#undef MW_VEC_MEMBER_KIND

template <u32 N>
constexpr CMwMemberInfoProc Proc(u32 id, const char* name, CMwMemberField field, const char* label,
                                 u32 flags, u32 mask, u32 (*method)(CMwNod*, CMwMemberPath*),
                                 const u32 (&argTypes)[N], const char* const (&argNames)[N],
                                 const u32 (&argValues)[N]) {
    return {Head(MwType_Proc, id, name, field, label, flags, mask),
            method,
            N,
            argTypes,
            argNames,
            argValues};
}

constexpr CMwMemberInfoProc Proc(u32 id, const char* name, CMwMemberField field, const char* label,
                                 u32 flags, u32 mask, u32 (*method)(CMwNod*, CMwMemberPath*)) {
    return {Head(MwType_Proc, id, name, field, label, flags, mask),
            method,
            0,
            nullptr,
            nullptr,
            nullptr};
}

// Containers: the element's base kind, flags, name and (for nods) class.
#define MW_CONTAINER_MEMBER_KIND(Kind, Code)                                                       \
    constexpr CMwMemberInfoContainer Kind(u32 id, const char* name, CMwMemberField field,          \
                                          const char* label, u32 flags, u32 mask, u32 elementType, \
                                          u32 elementFlags, const char* elementName,               \
                                          CMwClassInfo* elementClassInfo = nullptr) {              \
        return {Head(Code, id, name, field, label, flags, mask), elementFlags, elementName,        \
                elementType, elementClassInfo};                                                    \
    }
MW_CONTAINER_MEMBER_KIND(Array, elementType + MwTypeArray)
MW_CONTAINER_MEMBER_KIND(Buffer, elementType + MwTypeBuffer)
MW_CONTAINER_MEMBER_KIND(BucketList, elementType + MwTypeBucketList)
MW_CONTAINER_MEMBER_KIND(RefBuffer, MwType_RefBuffer)
#undef MW_CONTAINER_MEMBER_KIND

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
