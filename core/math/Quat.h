#pragma once
// Quaternions {w, x, y, z} of 32-bit floats. A default quaternion is the identity (1, 0, 0, 0).
#include "core/math/Vec.h"

struct Quat {
    f32 w = 1.0f;
    f32 x = 0.0f;
    f32 y = 0.0f;
    f32 z = 0.0f;

    void Copy(const Quat& other) { *this = other; }
    // w = cos(angle / 2), (x, y, z) = sin(angle / 2) axis. The axis is used as given, not
    // normalised.
    void SetAxisAngle(f32 angle, const Vec3& axis);
    // this = this * other, the Hamilton product with this on the left.
    void MultInPlace(const Quat& other);
};

static_assert(sizeof(Quat) == 16);
static_assert(std::is_trivially_copyable_v<Quat> && std::is_standard_layout_v<Quat>);

// Both operands are read whole first, so other may be this quaternion.
inline void Quat::MultInPlace(const Quat& other) {
    const Quat p = *this;
    const Quat q = other;
    w = p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z;
    x = p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y;
    y = p.w * q.y - p.x * q.z + p.y * q.w + p.z * q.x;
    z = p.w * q.z + p.x * q.y - p.y * q.x + p.z * q.w;
}
