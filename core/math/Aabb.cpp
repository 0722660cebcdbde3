#include "core/math/Aabb.h"

#include "core/base/ClassicArchive.h"

#include <cmath>

namespace {

f32 Lesser(f32 a, f32 b) {
    return b < a ? b : a;
}
f32 Greater(f32 a, f32 b) {
    return b > a ? b : a;
}

// |row| h: the half-extent along one axis of a box turned by a matrix with that row.
f32 Extent(f32 r0, f32 r1, f32 r2, const Vec3& h) {
    return std::fabs(r0) * h.x + std::fabs(r1) * h.y + std::fabs(r2) * h.z;
}

} // namespace

void Aabb::Add(const Aabb& other) {
    const Vec3 lo{Lesser(centre.x - halfSize.x, other.centre.x - other.halfSize.x),
                  Lesser(centre.y - halfSize.y, other.centre.y - other.halfSize.y),
                  Lesser(centre.z - halfSize.z, other.centre.z - other.halfSize.z)};
    const Vec3 hi{Greater(centre.x + halfSize.x, other.centre.x + other.halfSize.x),
                  Greater(centre.y + halfSize.y, other.centre.y + other.halfSize.y),
                  Greater(centre.z + halfSize.z, other.centre.z + other.halfSize.z)};
    centre = {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
    halfSize = {(hi.x - lo.x) * 0.5f, (hi.y - lo.y) * 0.5f, (hi.z - lo.z) * 0.5f};
}

void Aabb::SetTransformed(const Aabb& box, const Iso4& iso) {
    const Mat3& r = iso.R;
    const Vec3& h = box.halfSize;
    centre.SetTransformByIso4(box.centre, iso);
    halfSize = {Extent(r.m00, r.m01, r.m02, h), Extent(r.m10, r.m11, r.m12, h),
                Extent(r.m20, r.m21, r.m22, h)};
}

void Aabb::Archive(CClassicArchive& archive) {
    f32 corners[6] = {centre.x - halfSize.x, centre.y - halfSize.y, centre.z - halfSize.z,
                      centre.x + halfSize.x, centre.y + halfSize.y, centre.z + halfSize.z};
    archive.SerializeFloats(corners, 6);
    centre = {(corners[0] + corners[3]) * 0.5f, (corners[1] + corners[4]) * 0.5f,
              (corners[2] + corners[5]) * 0.5f};
    halfSize = {(corners[3] - corners[0]) * 0.5f, (corners[4] - corners[1]) * 0.5f,
                (corners[5] - corners[2]) * 0.5f};
}

void Aabb::ArchiveRaw(CClassicArchive& archive) {
    for (f32* value : {&centre.x, &centre.y, &centre.z, &halfSize.x, &halfSize.y, &halfSize.z})
        archive.SerializeFloats(value, 1);
}
