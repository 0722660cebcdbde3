#include "core/math/Vec.h"

#include <cmath>

f32 Vec3::AngleBetweenUnit(const Vec3& a, const Vec3& b) {
    const f32 dot = a.x * b.x + a.y * b.y + a.z * b.z;
    return std::acos(dot * (1.0f - GmEpsilon));
}
