#include "core/math/Mat.h"

#include "core/base/ClassicArchive.h"

#include <cmath>

namespace {

// Cofactors of row 0 give the determinant; Invert uses the same ones, so that IsMirror and
// Invert agree on the sign and on an exactly zero value.
f32 Cofactor00(const Mat3& m) {
    return m.m11 * m.m22 - m.m12 * m.m21;
}
f32 Cofactor01(const Mat3& m) {
    return m.m12 * m.m20 - m.m10 * m.m22;
}
f32 Cofactor02(const Mat3& m) {
    return m.m10 * m.m21 - m.m11 * m.m20;
}
f32 Determinant(const Mat3& m) {
    return m.m00 * Cofactor00(m) + m.m01 * Cofactor01(m) + m.m02 * Cofactor02(m);
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

f32 LengthSquared(const Vec3& v) {
    return v.x * v.x + v.y * v.y + v.z * v.z;
}

// v scaled to unit length; a vector too short to give a direction stays as it is.
Vec3 NormalizedOrSame(const Vec3& v) {
    const f32 lengthSq = LengthSquared(v);
    if (!(lengthSq > GmEpsilonSq)) {
        return v;
    }
    const f32 length = std::sqrt(lengthSq);
    return {v.x / length, v.y / length, v.z / length};
}

constexpr Vec3 kAxisX{1.0f, 0.0f, 0.0f};
constexpr Vec3 kAxisY{0.0f, 1.0f, 0.0f};

} // namespace

void Mat2::Rotate(f32 angle) {
    const f32 c = std::cos(angle);
    const f32 s = std::sin(angle);
    const Mat2 o = *this;
    m00 = c * o.m00 - s * o.m10;
    m01 = c * o.m01 - s * o.m11;
    m10 = s * o.m00 + c * o.m10;
    m11 = s * o.m01 + c * o.m11;
}

void Mat2::SetRotation(f32 angle) {
    const f32 c = std::cos(angle);
    const f32 s = std::sin(angle);
    m00 = c;
    m01 = s;
    m10 = -s;
    m11 = c;
}

bool Mat3::IsMirror() const {
    return Determinant(*this) < 0.0f;
}

bool Mat3::Invert() {
    const Mat3 o = *this;
    const f32 c00 = Cofactor00(o);
    const f32 c01 = Cofactor01(o);
    const f32 c02 = Cofactor02(o);
    const f32 det = o.m00 * c00 + o.m01 * c01 + o.m02 * c02;
    if (det == 0.0f) {
        return false;
    }
    // The transposed matrix of cofactors over the determinant.
    m00 = c00 / det;
    m01 = (o.m02 * o.m21 - o.m01 * o.m22) / det;
    m02 = (o.m01 * o.m12 - o.m02 * o.m11) / det;
    m10 = c01 / det;
    m11 = (o.m00 * o.m22 - o.m02 * o.m20) / det;
    m12 = (o.m02 * o.m10 - o.m00 * o.m12) / det;
    m20 = c02 / det;
    m21 = (o.m01 * o.m20 - o.m00 * o.m21) / det;
    m22 = (o.m00 * o.m11 - o.m01 * o.m10) / det;
    return true;
}

void Mat3::RotateX(f32 angle) {
    const f32 c = std::cos(angle);
    const f32 s = std::sin(angle);
    const Mat3 o = *this;
    m10 = c * o.m10 - s * o.m20;
    m11 = c * o.m11 - s * o.m21;
    m12 = c * o.m12 - s * o.m22;
    m20 = s * o.m10 + c * o.m20;
    m21 = s * o.m11 + c * o.m21;
    m22 = s * o.m12 + c * o.m22;
}

void Mat3::SetQuat(f32 w, f32 x, f32 y, f32 z) {
    m00 = 1.0f - 2.0f * y * y - 2.0f * z * z;
    m01 = 2.0f * x * y - 2.0f * w * z;
    m02 = 2.0f * x * z + 2.0f * w * y;
    m10 = 2.0f * x * y + 2.0f * w * z;
    m11 = 1.0f - 2.0f * x * x - 2.0f * z * z;
    m12 = 2.0f * y * z - 2.0f * w * x;
    m20 = 2.0f * x * z - 2.0f * w * y;
    m21 = 2.0f * y * z + 2.0f * w * x;
    m22 = 1.0f - 2.0f * x * x - 2.0f * y * y;
}

void Mat3::SetBasisZ(const Vec3& v, const Vec3& w) {
    const Vec3 col2 = NormalizedOrSame(v);
    const Vec3 col0 = NormalizedOrSame(Cross(w, v));
    SetColumn(0, col0);
    SetColumn(1, Cross(col2, col0));
    SetColumn(2, col2);
}

void Mat3::SetBasisY(const Vec3& v, const Vec3& w) {
    const Vec3 col1 = NormalizedOrSame(v);
    const Vec3 col0 = NormalizedOrSame(Cross(v, w));
    SetColumn(0, col0);
    SetColumn(1, col1);
    SetColumn(2, Cross(col0, col1));
}

void Mat3::SetBasisFromDirection(const Vec3& v, bool flag) {
    const f32 awayFromY = LengthSquared(Cross(kAxisY, v));
    if (!flag) {
        // Y cannot span a plane with a direction along Y; X takes its place.
        SetBasisZ(v, awayFromY < GmEpsilonSq ? kAxisX : kAxisY);
        return;
    }
    if (LengthSquared(Cross(kAxisX, v)) >= awayFromY) {
        const Vec3 col1 = NormalizedOrSame(Cross(v, kAxisX));
        const Vec3 col2 = NormalizedOrSame(v);
        SetColumn(0, Cross(col1, col2));
        SetColumn(1, col1);
        SetColumn(2, col2);
    } else {
        SetBasisZ(v, kAxisY);
    }
}

void Mat4::Archive(CClassicArchive& archive) {
    archive.SerializeFloats(m, 16);
}
