#pragma once
// Transforms made of a linear part R and a translation t, mapping a point p to R p + t: Iso3 in
// the plane, Iso4 in space. "b after a" applies a first. The inverses and ToLocalOf assume a
// rigid R (orthonormal), whose inverse is its transpose. Default transforms are the identity.
#include "core/math/Mat.h"

namespace gm_detail {

// r v, each component the dot product of one row with v.
inline Vec3 Apply(const Mat3& r, const Vec3& v) {
    return {r.m00 * v.x + r.m01 * v.y + r.m02 * v.z, r.m10 * v.x + r.m11 * v.y + r.m12 * v.z,
            r.m20 * v.x + r.m21 * v.y + r.m22 * v.z};
}

inline Vec2 Apply(const Mat2& r, const Vec2& v) {
    return {r.m00 * v.x + r.m01 * v.y, r.m10 * v.x + r.m11 * v.y};
}

} // namespace gm_detail

struct Iso3 {
    Mat2 R;
    Vec2 t;

    void Copy(const Iso3& other) { *this = other; }
    void SetIdentity() { *this = Iso3{}; }
    // this = inverse of the rigid transform other.
    void SetInverse(const Iso3& other);
    // this = other after this.
    void MultInPlaceBy(const Iso3& other);
    // this expressed in the frame of other: inverse(other) after this.
    void ToLocalOf(const Iso3& other);
};

struct Iso4 {
    Mat3 R;
    Vec3 t;

    constexpr Iso4() = default;
    constexpr Iso4(const Mat3& r, const Vec3& translation) : R(r), t(translation) {}

    void SetIdentity();
    // R = diag(s), translation t.
    void SetScale(const Vec3& s, const Vec3& translation);
    // this = inverse of the rigid transform other.
    void SetInverse(const Iso4& other);
    // out = b after a.
    static void Mult(Iso4& out, const Iso4& a, const Iso4& b);
    // this = other after this.
    void MultInPlaceBy(const Iso4& other);
    // this expressed in the frame of other: inverse(other) after this, for a rigid other.
    void ToLocalOf(const Iso4& other);
    // Translations, then the rows of R, equal by Vec3::IsEqual.
    bool IsEqual(const Iso4& other) const;
};

static_assert(sizeof(Iso3) == 24 && sizeof(Iso4) == 48);
static_assert(std::is_trivially_copyable_v<Iso3> && std::is_standard_layout_v<Iso3>);
static_assert(std::is_trivially_copyable_v<Iso4> && std::is_standard_layout_v<Iso4>);

inline constexpr Iso4 GmIso4Identity{};

// Reads v whole before writing, so v may be this vector.
inline void Vec3::SetTransformByIso4(const Vec3& v, const Iso4& iso) {
    const Vec3 r = gm_detail::Apply(iso.R, v);
    x = r.x + iso.t.x;
    y = r.y + iso.t.y;
    z = r.z + iso.t.z;
}

// The compositions and inverses build their result apart, so any argument may be the object
// being written.

inline void Iso3::SetInverse(const Iso3& other) {
    Iso3 r;
    r.R.SetTranspose(other.R);
    const Vec2 rt = gm_detail::Apply(r.R, other.t);
    r.t = {-rt.x, -rt.y};
    *this = r;
}

inline void Iso3::MultInPlaceBy(const Iso3& other) {
    Iso3 r;
    r.R.Mult(R, other.R);
    const Vec2 rt = gm_detail::Apply(other.R, t);
    r.t = {rt.x + other.t.x, rt.y + other.t.y};
    *this = r;
}

inline void Iso3::ToLocalOf(const Iso3& other) {
    Iso3 inverse;
    inverse.SetInverse(other);
    MultInPlaceBy(inverse);
}

inline void Iso4::SetIdentity() {
    *this = GmIso4Identity;
}

inline void Iso4::SetScale(const Vec3& s, const Vec3& translation) {
    R = Mat3{s.x, 0.0f, 0.0f, 0.0f, s.y, 0.0f, 0.0f, 0.0f, s.z};
    t = translation;
}

inline void Iso4::SetInverse(const Iso4& other) {
    Iso4 r;
    r.R = other.R;
    r.R.Transpose();
    const Vec3 rt = gm_detail::Apply(r.R, other.t);
    r.t = {-rt.x, -rt.y, -rt.z};
    *this = r;
}

inline void Iso4::Mult(Iso4& out, const Iso4& a, const Iso4& b) {
    Iso4 r;
    r.R.Mult(a.R, b.R);
    r.t.SetTransformByIso4(a.t, b);
    out = r;
}

inline void Iso4::MultInPlaceBy(const Iso4& other) {
    Mult(*this, *this, other);
}

inline void Iso4::ToLocalOf(const Iso4& other) {
    Iso4 r;
    Mat3 inverseR = other.R;
    inverseR.Transpose();
    r.R.Mult(R, inverseR);
    r.t = gm_detail::Apply(inverseR, Vec3{t.x - other.t.x, t.y - other.t.y, t.z - other.t.z});
    *this = r;
}

inline bool Iso4::IsEqual(const Iso4& other) const {
    return t.IsEqual(other.t) && R.IsEqual(other.R);
}
