#pragma once
// Square matrices of 32-bit floats, stored row by row (mRC is row R, column C) and applied to
// column vectors: a matrix maps v to M v. A product "b after a" is b * a. Default matrices are
// the identity.
#include "core/math/Vec.h"

class CClassicArchive;

struct Mat2 {
    f32 m00 = 1.0f, m01 = 0.0f;
    f32 m10 = 0.0f, m11 = 1.0f;

    void SetIdentity();
    // this = transpose of other.
    void SetTranspose(const Mat2& other);
    // this = b * a (b after a).
    void Mult(const Mat2& a, const Mat2& b);
    // this = other * this (other after this).
    void MultInPlace(const Mat2& other);
    // this = R(angle) * this with R(angle) = [[cos, -sin], [sin, cos]].
    void Rotate(f32 angle);
    // this = [[cos, sin], [-sin, cos]]: the transpose of what Rotate makes from the identity.
    // Callers depend on each of the two orientations as it is.
    void SetRotation(f32 angle);
};

struct Mat3 {
    f32 m00 = 1.0f, m01 = 0.0f, m02 = 0.0f;
    f32 m10 = 0.0f, m11 = 1.0f, m12 = 0.0f;
    f32 m20 = 0.0f, m21 = 0.0f, m22 = 1.0f;

    void SetIdentity();
    void Copy(const Mat3& other) { *this = other; }
    void Transpose();
    // Multiplies all nine entries by f.
    void Scale(f32 f);
    // Column i (0 to 2) = v; any other i changes nothing.
    void SetColumn(u32 i, const Vec3& v);
    // this = b * a (b after a).
    void Mult(const Mat3& a, const Mat3& b);
    // this = this * other (other applied first). Note the side: Mat2::MultInPlace multiplies on
    // the left.
    void MultInPlace(const Mat3& other);
    // Each row equal by Vec3::IsEqual.
    bool IsEqual(const Mat3& other) const;
    // True when the determinant is strictly negative.
    bool IsMirror() const;
    // Inverse by cofactors over the determinant. Only an exactly zero determinant is refused:
    // the matrix is then left as it was and the result is false.
    bool Invert();
    // this = Rx(angle) * this, Rx = [[1, 0, 0], [0, cos, -sin], [0, sin, cos]].
    void RotateX(f32 angle);
    // Rotation of the quaternion (w, x, y, z), which is used as given, not normalised.
    void SetQuat(f32 w, f32 x, f32 y, f32 z);
    // Right-handed orthonormal bases. SetBasisZ: column 2 along v, column 0 along cross(w, v).
    // SetBasisY: column 1 along v, column 0 along cross(v, w). A vector whose squared length is
    // not above GmEpsilonSq is left unnormalised.
    void SetBasisZ(const Vec3& v, const Vec3& w);
    void SetBasisY(const Vec3& v, const Vec3& w);
    // A basis whose column 2 follows v, its other columns chosen from the X and Y axes: without
    // the flag Y is the auxiliary direction unless v is along Y; with it, the axis further from
    // v's direction decides.
    void SetBasisFromDirection(const Vec3& v, bool flag);
};

// Sixteen floats, row by row.
struct Mat4 {
    f32 m[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

    void SetIdentity() { *this = Mat4{}; }
    void Copy(const Mat4& other) { *this = other; }
    // Reads or writes the sixteen floats in storage order.
    void Archive(CClassicArchive& archive);
};

static_assert(sizeof(Mat2) == 16 && sizeof(Mat3) == 36 && sizeof(Mat4) == 64);
static_assert(std::is_trivially_copyable_v<Mat2> && std::is_standard_layout_v<Mat2>);
static_assert(std::is_trivially_copyable_v<Mat3> && std::is_standard_layout_v<Mat3>);
static_assert(std::is_trivially_copyable_v<Mat4> && std::is_standard_layout_v<Mat4>);

inline constexpr Mat3 GmMat3Identity{};

inline void Mat2::SetIdentity() {
    *this = Mat2{};
}

inline void Mat2::SetTranspose(const Mat2& other) {
    const Mat2 o = other;
    m00 = o.m00;
    m01 = o.m10;
    m10 = o.m01;
    m11 = o.m11;
}

inline void Mat2::Mult(const Mat2& a, const Mat2& b) {
    Mat2 r;
    r.m00 = b.m00 * a.m00 + b.m01 * a.m10;
    r.m01 = b.m00 * a.m01 + b.m01 * a.m11;
    r.m10 = b.m10 * a.m00 + b.m11 * a.m10;
    r.m11 = b.m10 * a.m01 + b.m11 * a.m11;
    *this = r;
}

inline void Mat2::MultInPlace(const Mat2& other) {
    Mult(*this, other);
}

inline void Mat3::SetIdentity() {
    *this = GmMat3Identity;
}

inline void Mat3::Transpose() {
    const Mat3 o = *this;
    m01 = o.m10;
    m02 = o.m20;
    m10 = o.m01;
    m12 = o.m21;
    m20 = o.m02;
    m21 = o.m12;
}

inline void Mat3::Scale(f32 f) {
    m00 *= f;
    m01 *= f;
    m02 *= f;
    m10 *= f;
    m11 *= f;
    m12 *= f;
    m20 *= f;
    m21 *= f;
    m22 *= f;
}

inline void Mat3::SetColumn(u32 i, const Vec3& v) {
    switch (i) {
        case 0:
            m00 = v.x;
            m10 = v.y;
            m20 = v.z;
            break;
        case 1:
            m01 = v.x;
            m11 = v.y;
            m21 = v.z;
            break;
        case 2:
            m02 = v.x;
            m12 = v.y;
            m22 = v.z;
            break;
        default:
            break;
    }
}

inline void Mat3::Mult(const Mat3& a, const Mat3& b) {
    Mat3 r;
    r.m00 = b.m00 * a.m00 + b.m01 * a.m10 + b.m02 * a.m20;
    r.m01 = b.m00 * a.m01 + b.m01 * a.m11 + b.m02 * a.m21;
    r.m02 = b.m00 * a.m02 + b.m01 * a.m12 + b.m02 * a.m22;
    r.m10 = b.m10 * a.m00 + b.m11 * a.m10 + b.m12 * a.m20;
    r.m11 = b.m10 * a.m01 + b.m11 * a.m11 + b.m12 * a.m21;
    r.m12 = b.m10 * a.m02 + b.m11 * a.m12 + b.m12 * a.m22;
    r.m20 = b.m20 * a.m00 + b.m21 * a.m10 + b.m22 * a.m20;
    r.m21 = b.m20 * a.m01 + b.m21 * a.m11 + b.m22 * a.m21;
    r.m22 = b.m20 * a.m02 + b.m21 * a.m12 + b.m22 * a.m22;
    *this = r;
}

inline void Mat3::MultInPlace(const Mat3& other) {
    Mult(other, *this);
}

inline bool Mat3::IsEqual(const Mat3& other) const {
    return Vec3{m00, m01, m02}.IsEqual(Vec3{other.m00, other.m01, other.m02}) &&
           Vec3{m10, m11, m12}.IsEqual(Vec3{other.m10, other.m11, other.m12}) &&
           Vec3{m20, m21, m22}.IsEqual(Vec3{other.m20, other.m21, other.m22});
}
