#pragma once
// Vectors of 32-bit floats. They are stored and copied as raw bytes (archives, member values,
// vertex arrays), so their layout is fixed. A default vector is zero.
#include "core/math/GmConst.h"

#include <type_traits>

struct Iso4;

struct Vec2 {
    f32 x = 0.0f;
    f32 y = 0.0f;

    // True when the squared distance is strictly below GmEpsilonSq.
    bool IsEqual(const Vec2& other) const;
    // Address of component i (x, y), null when i is not a component.
    f32* GetComponentPtr(u32 i);
    const f32* GetComponentPtr(u32 i) const;
};

struct Vec3 {
    f32 x = 0.0f;
    f32 y = 0.0f;
    f32 z = 0.0f;

    // True when the squared distance is strictly below GmEpsilonSq.
    bool IsEqual(const Vec3& other) const;
    // Address of component i (x, y, z), null when i is not a component.
    f32* GetComponentPtr(u32 i);
    const f32* GetComponentPtr(u32 i) const;
    // this = R v + t. Defined with Iso4 in core/math/Iso.h, which callers include.
    inline void SetTransformByIso4(const Vec3& v, const Iso4& iso);

    // Angle in radians between two unit vectors. The dot product is scaled by 1 - GmEpsilon so
    // that rounding never takes it outside the arc cosine's domain.
    static f32 AngleBetweenUnit(const Vec3& a, const Vec3& b);
};

struct Vec4 {
    f32 x = 0.0f;
    f32 y = 0.0f;
    f32 z = 0.0f;
    f32 w = 0.0f;
};

static_assert(sizeof(Vec2) == 8 && sizeof(Vec3) == 12 && sizeof(Vec4) == 16);
static_assert(std::is_trivially_copyable_v<Vec2> && std::is_standard_layout_v<Vec2>);
static_assert(std::is_trivially_copyable_v<Vec3> && std::is_standard_layout_v<Vec3>);
static_assert(std::is_trivially_copyable_v<Vec4> && std::is_standard_layout_v<Vec4>);

inline bool Vec2::IsEqual(const Vec2& other) const {
    const f32 dx = x - other.x;
    const f32 dy = y - other.y;
    return dx * dx + dy * dy < GmEpsilonSq;
}

inline f32* Vec2::GetComponentPtr(u32 i) {
    return i == 0 ? &x : i == 1 ? &y : nullptr;
}

inline const f32* Vec2::GetComponentPtr(u32 i) const {
    return const_cast<Vec2*>(this)->GetComponentPtr(i);
}

inline bool Vec3::IsEqual(const Vec3& other) const {
    const f32 dx = x - other.x;
    const f32 dy = y - other.y;
    const f32 dz = z - other.z;
    return dx * dx + dy * dy + dz * dz < GmEpsilonSq;
}

inline f32* Vec3::GetComponentPtr(u32 i) {
    return i == 0 ? &x : i == 1 ? &y : i == 2 ? &z : nullptr;
}

inline const f32* Vec3::GetComponentPtr(u32 i) const {
    return const_cast<Vec3*>(this)->GetComponentPtr(i);
}
