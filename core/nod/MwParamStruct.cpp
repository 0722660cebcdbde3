#include "core/nod/MwParamStruct.h"

#include "core/base/ClassicLog.h"
#include "core/math/Iso.h"
#include "core/math/Quat.h"

#include <cmath>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// Component tables: one virtual Real member per component, in value order. The parser names
// components through them; the axes of the transforms are declared read-only.

namespace {
constexpr const char* kNoFieldName = ClassicEmptyText<char>();
}

#define CMWPARAMCOLOR_MEMBERS(X)                                                                   \
    X(Real, 0x01018000, "r", MW_VIRTUAL(kNoFieldName), "red", 0xFF, 0x380)                         \
    X(Real, 0x01018001, "g", MW_VIRTUAL(kNoFieldName), "green", 0xFF, 0x380)                       \
    X(Real, 0x01018002, "b", MW_VIRTUAL(kNoFieldName), "blue", 0xFF, 0x380)

#define CMWPARAMVEC2_MEMBERS(X)                                                                    \
    X(Real, 0x01019000, "x", MW_VIRTUAL(kNoFieldName), "x", 0xFF, 0x380)                           \
    X(Real, 0x01019001, "y", MW_VIRTUAL(kNoFieldName), "y", 0xFF, 0x380)

#define CMWPARAMVEC3_MEMBERS(X)                                                                    \
    X(Real, 0x01016000, "x", MW_VIRTUAL(kNoFieldName), "x", 0xFF, 0x380)                           \
    X(Real, 0x01016001, "y", MW_VIRTUAL(kNoFieldName), "y", 0xFF, 0x380)                           \
    X(Real, 0x01016002, "z", MW_VIRTUAL(kNoFieldName), "z", 0xFF, 0x380)

#define CMWPARAMVEC4_MEMBERS(X)                                                                    \
    X(Real, 0x0101F000, "x", MW_VIRTUAL(kNoFieldName), "x", 0xFF, 0x380)                           \
    X(Real, 0x0101F001, "y", MW_VIRTUAL(kNoFieldName), "y", 0xFF, 0x380)                           \
    X(Real, 0x0101F002, "z", MW_VIRTUAL(kNoFieldName), "z", 0xFF, 0x380)                           \
    X(Real, 0x0101F003, "w", MW_VIRTUAL(kNoFieldName), "w", 0xFF, 0x380)

#define CMWPARAMQUAT_MEMBERS(X)                                                                    \
    X(Real, 0x010B0000, "w", MW_VIRTUAL(kNoFieldName), "w", 0xFF, 0x380)                           \
    X(Real, 0x010B0001, "x", MW_VIRTUAL(kNoFieldName), "x", 0xFF, 0x380)                           \
    X(Real, 0x010B0002, "y", MW_VIRTUAL(kNoFieldName), "y", 0xFF, 0x380)                           \
    X(Real, 0x010B0003, "z", MW_VIRTUAL(kNoFieldName), "z", 0xFF, 0x380)

#define CMWPARAMISO3_MEMBERS(X)                                                                    \
    X(Real, 0x01017000, "AxeXx", MW_VIRTUAL(kNoFieldName), "Axe X/x", 0x11, 0x380)                 \
    X(Real, 0x01017001, "AxeXy", MW_VIRTUAL(kNoFieldName), "Axe X/y", 0x11, 0x380)                 \
    X(Real, 0x01017002, "AxeYx", MW_VIRTUAL(kNoFieldName), "Axe Y/x", 0x11, 0x380)                 \
    X(Real, 0x01017003, "AxeYy", MW_VIRTUAL(kNoFieldName), "Axe Y/y", 0x11, 0x380)                 \
    X(Real, 0x01017004, "tx", MW_VIRTUAL(kNoFieldName), "tx", 0xFF, 0x380)                         \
    X(Real, 0x01017005, "ty", MW_VIRTUAL(kNoFieldName), "ty", 0xFF, 0x380)

#define CMWPARAMISO4_MEMBERS(X)                                                                    \
    X(Real, 0x0101A000, "AxeXx", MW_VIRTUAL(kNoFieldName), "Axe X/x", 0x11, 0x380)                 \
    X(Real, 0x0101A001, "AxeXy", MW_VIRTUAL(kNoFieldName), "Axe X/y", 0x11, 0x380)                 \
    X(Real, 0x0101A002, "AxeXz", MW_VIRTUAL(kNoFieldName), "Axe X/z", 0x11, 0x380)                 \
    X(Real, 0x0101A003, "AxeYx", MW_VIRTUAL(kNoFieldName), "Axe Y/x", 0x11, 0x380)                 \
    X(Real, 0x0101A004, "AxeYy", MW_VIRTUAL(kNoFieldName), "Axe Y/y", 0x11, 0x380)                 \
    X(Real, 0x0101A005, "AxeYz", MW_VIRTUAL(kNoFieldName), "Axe Y/z", 0x11, 0x380)                 \
    X(Real, 0x0101A006, "AxeZx", MW_VIRTUAL(kNoFieldName), "Axe Z/x", 0x11, 0x380)                 \
    X(Real, 0x0101A007, "AxeZy", MW_VIRTUAL(kNoFieldName), "Axe Z/y", 0x11, 0x380)                 \
    X(Real, 0x0101A008, "AxeZz", MW_VIRTUAL(kNoFieldName), "Axe Z/z", 0x11, 0x380)                 \
    X(Real, 0x0101A009, "tx", MW_VIRTUAL(kNoFieldName), "tx", 0xFF, 0x380)                         \
    X(Real, 0x0101A00A, "ty", MW_VIRTUAL(kNoFieldName), "ty", 0xFF, 0x380)                         \
    X(Real, 0x0101A00B, "tz", MW_VIRTUAL(kNoFieldName), "tz", 0xFF, 0x380)

MW_DEFINE_CLASS(CMwParamStruct, MwFactory<CMwParamStruct>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamColor, MwFactory<CMwParamColor>, CMWPARAMCOLOR_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamVec2, MwFactory<CMwParamVec2>, CMWPARAMVEC2_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamVec3, MwFactory<CMwParamVec3>, CMWPARAMVEC3_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamVec4, MwFactory<CMwParamVec4>, CMWPARAMVEC4_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamQuat, MwFactory<CMwParamQuat>, CMWPARAMQUAT_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamIso3, MwFactory<CMwParamIso3>, CMWPARAMISO3_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwParamIso4, MwFactory<CMwParamIso4>, CMWPARAMISO4_MEMBERS, MW_NO_CHUNKS);

// ---------------------------------------------------------------------------------------------
// Shapes: each component is reached through its named field, never by stepping a pointer from
// one field to the next.

namespace {

constexpr u32 kLengthItem = 0xFFFFFFFF;

f32* ColorComponent(void* value, u32 i) {
    auto& c = *static_cast<CMwParamColor::CValue*>(value);
    switch (i) {
        case 0:
            return &c.r;
        case 1:
            return &c.g;
        case 2:
            return &c.b;
        default:
            return nullptr;
    }
}

f32* Vec2Component(void* value, u32 i) {
    return static_cast<Vec2*>(value)->GetComponentPtr(i);
}

f32* Vec3Component(void* value, u32 i) {
    return static_cast<Vec3*>(value)->GetComponentPtr(i);
}

f32* Vec4Component(void* value, u32 i) {
    auto& v = *static_cast<Vec4*>(value);
    switch (i) {
        case 0:
            return &v.x;
        case 1:
            return &v.y;
        case 2:
            return &v.z;
        case 3:
            return &v.w;
        default:
            return nullptr;
    }
}

f32* QuatComponent(void* value, u32 i) {
    auto& q = *static_cast<Quat*>(value);
    switch (i) {
        case 0:
            return &q.w;
        case 1:
            return &q.x;
        case 2:
            return &q.y;
        case 3:
            return &q.z;
        default:
            return nullptr;
    }
}

f32* Iso3Component(void* value, u32 i) {
    auto& iso = *static_cast<Iso3*>(value);
    switch (i) {
        case 0:
            return &iso.R.m00;
        case 1:
            return &iso.R.m01;
        case 2:
            return &iso.R.m10;
        case 3:
            return &iso.R.m11;
        default:
            return i == 4 || i == 5 ? iso.t.GetComponentPtr(i - 4) : nullptr;
    }
}

f32* Iso4Component(void* value, u32 i) {
    auto& iso = *static_cast<Iso4*>(value);
    switch (i) {
        case 0:
            return &iso.R.m00;
        case 1:
            return &iso.R.m01;
        case 2:
            return &iso.R.m02;
        case 3:
            return &iso.R.m10;
        case 4:
            return &iso.R.m11;
        case 5:
            return &iso.R.m12;
        case 6:
            return &iso.R.m20;
        case 7:
            return &iso.R.m21;
        case 8:
            return &iso.R.m22;
        default:
            return i >= 9 && i < 12 ? iso.t.GetComponentPtr(i - 9) : nullptr;
    }
}

// The input is copied out first: it may be the value itself, or lie unaligned in a path or
// scratch block.
template <class T>
T ReadInput(const void* input) {
    static_assert(std::is_trivially_copyable_v<T>);
    T copy;
    std::memcpy(&copy, input, sizeof copy);
    return copy;
}

template <class T, f32* (*Component)(void*, u32), u32 N>
void AddComponents(void* value, const void* input) {
    T in = ReadInput<T>(input);
    for (u32 i = 0; i < N; ++i)
        *Component(value, i) += *Component(&in, i);
}

template <class T, f32* (*Component)(void*, u32), u32 N>
void SubComponents(void* value, const void* input) {
    T in = ReadInput<T>(input);
    for (u32 i = 0; i < N; ++i)
        *Component(value, i) -= *Component(&in, i);
}

void MultiplyQuat(void* value, const void* input) {
    static_cast<Quat*>(value)->MultInPlace(ReadInput<Quat>(input));
}

void ComposeIso3(void* value, const void* input) {
    static_cast<Iso3*>(value)->MultInPlaceBy(ReadInput<Iso3>(input));
}

void ComposeInverseIso3(void* value, const void* input) {
    static_cast<Iso3*>(value)->ToLocalOf(ReadInput<Iso3>(input));
}

void ComposeIso4(void* value, const void* input) {
    static_cast<Iso4*>(value)->MultInPlaceBy(ReadInput<Iso4>(input));
}

void ComposeInverseIso4(void* value, const void* input) {
    static_cast<Iso4*>(value)->ToLocalOf(ReadInput<Iso4>(input));
}

template <class T, u32 N, f32* (*Component)(void*, u32)>
constexpr CMwStructShape VectorShape(u32 typeCode, bool hasLength) {
    static_assert(sizeof(T) == N * sizeof(f32));
    return {typeCode,
            N,
            sizeof(T),
            hasLength,
            Component,
            AddComponents<T, Component, N>,
            SubComponents<T, Component, N>};
}

constexpr CMwStructShape kColorShape =
    VectorShape<CMwParamColor::CValue, 3, ColorComponent>(MwType_Color, false);
constexpr CMwStructShape kVec2Shape = VectorShape<Vec2, 2, Vec2Component>(MwType_Vec2, true);
constexpr CMwStructShape kVec3Shape = VectorShape<Vec3, 3, Vec3Component>(MwType_Vec3, true);
constexpr CMwStructShape kVec4Shape = VectorShape<Vec4, 4, Vec4Component>(MwType_Vec4, true);
constexpr CMwStructShape kQuatShape = {
    MwType_Quat, 4, sizeof(Quat), false, QuatComponent, MultiplyQuat, MultiplyQuat};
constexpr CMwStructShape kIso3Shape = {MwType_Iso3,   6,           sizeof(Iso3),      false,
                                       Iso3Component, ComposeIso3, ComposeInverseIso3};
constexpr CMwStructShape kIso4Shape = {MwType_Iso4,   12,          sizeof(Iso4),      false,
                                       Iso4Component, ComposeIso4, ComposeInverseIso4};

static_assert(sizeof(Quat) == 4 * sizeof(f32) && sizeof(Iso3) == 6 * sizeof(f32) &&
              sizeof(Iso4) == 12 * sizeof(f32));

constexpr const CMwStructShape* kShapes[] = {&kColorShape, &kVec2Shape, &kVec3Shape, &kVec4Shape,
                                             &kQuatShape,  &kIso3Shape, &kIso4Shape};

// A path is used up when it has no current item. A fresh path without items says it has one
// (its position starts at 0), so the count is checked too.
bool HasItem(const CMwMemberPath* path) {
    return path && path->HasCurrent() && u32(path->m_Current) < path->m_Count;
}

// The component the path's current item designates, consumed; null when the item is not an
// index item or the index is not a component.
f32* TakeComponent(const CMwStructShape& shape, void* value, CMwMemberPath* path) {
    u32 index = 0;
    if (!path->TakeIndex(&index))
        return nullptr;
    return shape.Component(value, index);
}

f32 ReadFloat(const void* input) {
    return ReadInput<f32>(input);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Element operations

const CMwStructShape* CMwParamStruct::FindShape(u32 typeCode) {
    for (const CMwStructShape* shape : kShapes)
        if (shape->TypeCode == typeCode)
            return shape;
    return nullptr;
}

u32 CMwParamStruct::GetValue(const CMwStructShape& shape, void* value, CMwMemberPath* path,
                             CMwParamValue* out) {
    if (!value || !out)
        return MwParam_NotFound;
    if (!HasItem(path)) {
        out->Value = value;
        return MwParam_Ok;
    }
    u32 index = 0;
    if (!path->TakeIndex(&index))
        return MwParam_NotFound;
    if (index == kLengthItem && shape.HasLength) {
        f32 sum = 0.0f;
        for (u32 i = 0; i < shape.ComponentCount; ++i) {
            const f32 c = *shape.Component(value, i);
            sum += c * c;
        }
        const f32 length = std::sqrt(sum);
        std::memcpy(out->Scratch, &length, sizeof length);
        out->Value = out->Scratch;
        return MwParam_Ok;
    }
    f32* component = shape.Component(value, index);
    if (!component)
        return MwParam_NotFound;
    out->Value = component;
    return MwParam_Ok;
}

u32 CMwParamStruct::SetValue(const CMwStructShape& shape, void* value, CMwMemberPath* path,
                             const void* input) {
    if (!value || !input)
        return MwParam_NotFound;
    if (!HasItem(path)) {
        std::memmove(value, input, shape.ValueSize);
        return MwParam_Ok;
    }
    f32* component = TakeComponent(shape, value, path);
    if (!component)
        return MwParam_NotFound;
    *component = ReadFloat(input);
    return MwParam_Ok;
}

u32 CMwParamStruct::AddValue(const CMwStructShape& shape, void* value, CMwMemberPath* path,
                             const void* input) {
    if (!value || !input)
        return MwParam_NotFound;
    if (!HasItem(path)) {
        shape.AddWhole(value, input);
        return MwParam_Ok;
    }
    f32* component = TakeComponent(shape, value, path);
    if (!component)
        return MwParam_NotFound;
    *component += ReadFloat(input);
    return MwParam_Ok;
}

u32 CMwParamStruct::SubValue(const CMwStructShape& shape, void* value, CMwMemberPath* path,
                             const void* input) {
    if (!value || !input)
        return MwParam_NotFound;
    if (!HasItem(path)) {
        shape.SubWhole(value, input);
        return MwParam_Ok;
    }
    f32* component = TakeComponent(shape, value, path);
    if (!component)
        return MwParam_NotFound;
    *component -= ReadFloat(input);
    return MwParam_Ok;
}

// ---------------------------------------------------------------------------------------------
// Text of Vec2 and Vec3

void CMwParamStruct::FormatVector(CClassicString& out, const void* value, u32 componentCount) {
    f32 c[3] = {};
    if (!value || componentCount < 2 || componentCount > 3) {
        out.Assign(CClassicStringRef());
        return;
    }
    std::memcpy(c, value, componentCount * sizeof(f32));
    if (componentCount == 2)
        out.Format("%f %f", f64(c[0]), f64(c[1]));
    else
        out.Format("%f %f %f", f64(c[0]), f64(c[1]), f64(c[2]));
}

namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the number at the front of [p, end): sign, digits with an optional point (one digit
// at least), an optional exponent introduced by e, E, d or D. 0 when no number stands there.
u32 NumberLength(const char* p, const char* end) {
    const char* q = p;
    if (q < end && (*q == '+' || *q == '-'))
        ++q;
    u32 digits = 0;
    for (; q < end && IsDigit(*q); ++q)
        ++digits;
    if (q < end && *q == '.')
        for (++q; q < end && IsDigit(*q); ++q)
            ++digits;
    if (digits == 0)
        return 0;
    if (q < end && (*q == 'e' || *q == 'E' || *q == 'd' || *q == 'D')) {
        const char* e = q + 1;
        if (e < end && (*e == '+' || *e == '-'))
            ++e;
        if (e < end && IsDigit(*e)) {
            while (e < end && IsDigit(*e))
                ++e;
            q = e;
        }
    }
    return static_cast<u32>(q - p);
}

} // namespace

bool CMwParamStruct::ParseVector(const CClassicString& text, f32* components, u32 componentCount) {
    const char* p = text.GetText();
    const char* const end = p + text.GetLength();
    for (u32 i = 0; i < componentCount; ++i) {
        while (p < end && IsWhiteSpace(*p))
            ++p;
        const u32 length = NumberLength(p, end);
        if (length == 0)
            return false;
        CClassicString(CClassicStringRef(p, length)).ParseFloat(components[i]);
        p += length;
    }
    return true;
}

namespace {

// Reads the components into out->Scratch. A text with too few numbers is refused rather than
// completed from whatever the scratch held: out->Value is then null.
void VectorFromText(CMwParamValue* out, const CClassicWideString& text, u32 componentCount,
                    const char* kind) {
    if (!out)
        return;
    text.GetAscii(CMwParam::s_ConversionText);
    std::memset(out->Scratch, 0, sizeof out->Scratch);
    f32 components[3] = {};
    if (!CMwParamStruct::ParseVector(CMwParam::s_ConversionText, components, componentCount)) {
        out->Value = nullptr;
        ClassicLogFormatLine("[MwParam] %s text \"%.64s\" does not hold %u numbers", kind,
                             CMwParam::s_ConversionText.GetText(), componentCount);
        return;
    }
    std::memcpy(out->Scratch, components, componentCount * sizeof(f32));
    out->Value = out->Scratch;
}

void VectorToText(CClassicWideString& out, const void* value, u32 componentCount) {
    CMwParamStruct::FormatVector(CMwParam::s_ConversionText, value, componentCount);
    out.AssignFromNarrow(CMwParam::s_ConversionText);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The descriptors

bool CMwParamStruct::IsStruct() {
    return true;
}

const CMwStructShape* CMwParamStruct::GetShape() {
    return nullptr;
}

u32 CMwParamStruct::GetComponentCount(const CMwParamValue& value) {
    const CMwStructShape* shape = GetShape();
    return shape ? shape->ComponentCount : CMwParam::GetComponentCount(value);
}

u32 CMwParamStruct::Get(void* field, CMwMemberPath* path, CMwParamValue* out) {
    const CMwStructShape* shape = GetShape();
    return shape ? GetValue(*shape, field, path, out) : CMwParam::Get(field, path, out);
}

u32 CMwParamStruct::Set(void* field, CMwMemberPath* path, const void* input) {
    const CMwStructShape* shape = GetShape();
    return shape ? SetValue(*shape, field, path, input) : CMwParam::Set(field, path, input);
}

u32 CMwParamStruct::Add(void* field, CMwMemberPath* path, const void* input) {
    const CMwStructShape* shape = GetShape();
    return shape ? AddValue(*shape, field, path, input) : CMwParam::Add(field, path, input);
}

u32 CMwParamStruct::Sub(void* field, CMwMemberPath* path, const void* input) {
    const CMwStructShape* shape = GetShape();
    return shape ? SubValue(*shape, field, path, input) : CMwParam::Sub(field, path, input);
}

void CMwParamStruct::ForEachChildPath(CMwNod*, CMwMemberPath* base, CMwMemberPath* scratch,
                                      void* receiver, MwChildPathCallback callback, void* user,
                                      u32 first) {
    const CMwStructShape* shape = GetShape();
    if (shape && base && scratch)
        VisitIndexChildren(*base, *scratch, receiver, callback, user, first, shape->ComponentCount);
}

const CMwStructShape* CMwParamColor::GetShape() {
    return &kColorShape;
}

const CMwStructShape* CMwParamVec2::GetShape() {
    return &kVec2Shape;
}

bool CMwParamVec2::CanToText() {
    return true;
}

bool CMwParamVec2::CanFromText() {
    return true;
}

void CMwParamVec2::FromText(CMwParamValue* out, const CClassicWideString& text,
                            const CMwMemberInfo*, const CMwParamTextOptions&) {
    VectorFromText(out, text, 2, "Vec2");
}

void CMwParamVec2::ToText(CClassicWideString& out, const void* value, const CMwMemberInfo*,
                          const CMwParamTextOptions&) {
    VectorToText(out, value, 2);
}

const CMwStructShape* CMwParamVec3::GetShape() {
    return &kVec3Shape;
}

bool CMwParamVec3::CanToText() {
    return true;
}

bool CMwParamVec3::CanFromText() {
    return true;
}

void CMwParamVec3::FromText(CMwParamValue* out, const CClassicWideString& text,
                            const CMwMemberInfo*, const CMwParamTextOptions&) {
    VectorFromText(out, text, 3, "Vec3");
}

void CMwParamVec3::ToText(CClassicWideString& out, const void* value, const CMwMemberInfo*,
                          const CMwParamTextOptions&) {
    VectorToText(out, value, 3);
}

const CMwStructShape* CMwParamVec4::GetShape() {
    return &kVec4Shape;
}

const CMwStructShape* CMwParamQuat::GetShape() {
    return &kQuatShape;
}

const CMwStructShape* CMwParamIso3::GetShape() {
    return &kIso3Shape;
}

const CMwStructShape* CMwParamIso4::GetShape() {
    return &kIso4Shape;
}
