#include "core/math/Quat.h"

#include <cmath>

void Quat::SetAxisAngle(f32 angle, const Vec3& axis) {
    const f32 half = angle * 0.5f;
    const f32 s = std::sin(half);
    w = std::cos(half);
    x = s * axis.x;
    y = s * axis.y;
    z = s * axis.z;
}
