#include "core/base/ClassicArchive.h"
#include "core/math/Aabb.h"
#include "core/math/Quat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr f32 kTol = 2e-6f;

void ExpectNear(const Vec3& actual, const Vec3& expected, f32 tol = kTol) {
    EXPECT_NEAR(actual.x, expected.x, tol);
    EXPECT_NEAR(actual.y, expected.y, tol);
    EXPECT_NEAR(actual.z, expected.z, tol);
}

// The nine entries in storage order, for loops over them.
using Entries = std::array<f32, 9>;

Entries EntriesOf(const Mat3& m) {
    return std::bit_cast<Entries>(m);
}

void ExpectNear(const Mat3& actual, const Mat3& expected, f32 tol = kTol) {
    const Entries a = EntriesOf(actual);
    const Entries e = EntriesOf(expected);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(a[i], e[i], tol) << "entry " << i / 3 << i % 3;
    }
}

// Bit-for-bit equality, for results that involve no rounding.
template <typename T>
bool Same(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

void ExpectSame(const Mat3& actual, const Mat3& expected) {
    EXPECT_TRUE(Same(actual, expected));
}

Vec3 Column(const Mat3& m, int i) {
    const Entries e = EntriesOf(m);
    return {e[i], e[i + 3], e[i + 6]};
}

f32 Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 Normalized(const Vec3& v) {
    const f32 l = std::sqrt(Dot(v, v));
    return {v.x / l, v.y / l, v.z / l};
}

Vec3 Apply(const Iso4& iso, const Vec3& p) {
    Vec3 r;
    r.SetTransformByIso4(p, iso);
    return r;
}

Vec2 Apply(const Iso3& iso, const Vec2& p) {
    return {iso.R.m00 * p.x + iso.R.m01 * p.y + iso.t.x,
            iso.R.m10 * p.x + iso.R.m11 * p.y + iso.t.y};
}

// A rigid transform: rotation by angle about a (normalised) axis, then translation.
Iso4 Rigid(f32 angle, const Vec3& axis, const Vec3& t) {
    Quat q;
    q.SetAxisAngle(angle, Normalized(axis));
    Iso4 iso;
    iso.R.SetQuat(q.w, q.x, q.y, q.z);
    iso.t = t;
    return iso;
}

Iso3 Rigid2(f32 angle, const Vec2& t) {
    Iso3 iso;
    iso.R.Rotate(angle);
    iso.t = t;
    return iso;
}

// A general matrix with integer entries and determinant 1, so products and its inverse are exact.
constexpr Mat3 kA{1, 2, 3, 0, 1, 4, 5, 6, 0};
constexpr Mat3 kAInverse{-24, 18, 5, 20, -15, -4, -5, 4, 1};
constexpr Mat3 kB{2, 0, 1, 1, 3, 0, 0, 1, 1};

// ---------------------------------------------------------------------------------------------

TEST(GmConst, ValuesAreTheFloatRoundingsOfTheirDefinitions) {
    EXPECT_EQ(GmEpsilon, 1e-5f);
    EXPECT_EQ(GmInvEpsilon, 100000.0f);
    EXPECT_EQ(GmEpsilonSq, 1e-5f * 1e-5f);
    EXPECT_NEAR(GmEpsilonSq, 1e-10, 1e-16);
    EXPECT_EQ(GmPi, f32(3.14159265358979323846));
    EXPECT_EQ(GmHalfPi, f32(3.14159265358979323846 / 2));
    EXPECT_EQ(GmMaxReal, std::numeric_limits<f32>::max());
    EXPECT_EQ(GmMinReal, -std::numeric_limits<f32>::max());
}

TEST(GmDefaults, VectorsAndBoxesAreZeroTransformsAreIdentity) {
    EXPECT_TRUE(Same(Vec3{}, Vec3{0, 0, 0}));
    EXPECT_TRUE(Same(Vec2{}, Vec2{0, 0}));
    EXPECT_TRUE(Same(Vec4{}, Vec4{0, 0, 0, 0}));
    const Quat q;
    EXPECT_EQ(q.w, 1.0f);
    EXPECT_EQ(q.x + q.y + q.z, 0.0f);
    ExpectSame(Mat3{}, Mat3{1, 0, 0, 0, 1, 0, 0, 0, 1});
    ExpectSame(GmMat3Identity, Mat3{1, 0, 0, 0, 1, 0, 0, 0, 1});
    ExpectSame(GmIso4Identity.R, GmMat3Identity);
    ExpectNear(GmIso4Identity.t, Vec3{}, 0.0f);
    const Iso3 iso3;
    EXPECT_EQ(iso3.R.m00 + iso3.R.m11, 2.0f);
    EXPECT_EQ(iso3.R.m01 + iso3.R.m10 + iso3.t.x + iso3.t.y, 0.0f);
    Mat4 m4;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(m4.m[i], (i == 0 || i == 5 || i == 10 || i == 15) ? 1.0f : 0.0f) << i;
    }
    m4.m[3] = 7.0f;
    m4.SetIdentity();
    EXPECT_EQ(m4.m[3], 0.0f);
    const Aabb box;
    ExpectNear(box.centre, Vec3{}, 0.0f);
    ExpectNear(box.halfSize, Vec3{}, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Vectors

TEST(Vec, IsEqualComparesSquaredDistanceStrictlyBelowEpsilonSquared) {
    const f32 nan = std::numeric_limits<f32>::quiet_NaN();
    struct Case {
        Vec3 a, b;
        bool equal;
    } cases[] = {
        {{0, 0, 0}, {1e-5f, 0, 0}, false}, // exactly GmEpsilonSq apart: not below
        {{0, 0, 0}, {0, 5e-6f, 0}, true},          {{0, 0, 0}, {0, 0, -1e-5f}, false},
        {{0, 0, 0}, {6e-6f, 6e-6f, 6e-6f}, false}, // each axis close, the sum is not
        {{0, 0, 0}, {5e-6f, 5e-6f, 5e-6f}, true},  {{1, 2, 3}, {1, 2, 3}, true},
        {{1, 2, 3}, {1, 2, nan}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.b.x << " " << c.b.y << " " << c.b.z);
        EXPECT_EQ(c.a.IsEqual(c.b), c.equal);
        EXPECT_EQ(c.b.IsEqual(c.a), c.equal);
        const Vec2 a2{c.a.x, c.a.z};
        const Vec2 b2{c.b.x, c.b.z};
        if (c.a.y == c.b.y) {
            EXPECT_EQ(a2.IsEqual(b2), c.equal);
        }
    }
    EXPECT_FALSE((Vec2{0, 0}.IsEqual(Vec2{8e-6f, 8e-6f})));
}

TEST(Vec, GetComponentPtrAddressesComponentsAndRefusesOthers) {
    Vec3 v{1, 2, 3};
    EXPECT_EQ(v.GetComponentPtr(0), &v.x);
    EXPECT_EQ(v.GetComponentPtr(1), &v.y);
    EXPECT_EQ(v.GetComponentPtr(2), &v.z);
    *v.GetComponentPtr(2) = 9.0f;
    EXPECT_EQ(v.z, 9.0f);
    for (u32 bad : {3u, 0xFFFFFFFFu}) {
        EXPECT_EQ(v.GetComponentPtr(bad), nullptr);
        EXPECT_EQ(static_cast<const Vec3&>(v).GetComponentPtr(bad), nullptr);
    }
    Vec2 w{4, 5};
    EXPECT_EQ(w.GetComponentPtr(1), &w.y);
    EXPECT_EQ(static_cast<const Vec2&>(w).GetComponentPtr(0), &w.x);
    EXPECT_EQ(w.GetComponentPtr(2), nullptr);
}

TEST(Vec, AngleBetweenUnitStaysInsideTheArcCosineDomain) {
    const Vec3 x{1, 0, 0};
    const Vec3 y{0, 1, 0};
    // Rounded to floats, this unit vector's dot product with itself is above 1.
    const Vec3 u{0.04339630529284477f, 0.9981150031089783f, 0.04339630529284477f};
    ASSERT_GT(u.x * u.x + u.y * u.y + u.z * u.z, 1.0f);
    struct Case {
        Vec3 a, b;
        f64 expected; // acos of the dot product times the float 1 - GmEpsilon
    } cases[] = {
        {x, y, 1.5707963267948966},
        {x, x, 0.004475175311487897},
        {x, {-1, 0, 0}, 3.1371174782783053},
        {u, u, 0.0044484575639624985},
    };
    for (const Case& c : cases) {
        const f32 angle = Vec3::AngleBetweenUnit(c.a, c.b);
        EXPECT_FALSE(std::isnan(angle));
        EXPECT_NEAR(angle, c.expected, 2e-6);
    }
}

TEST(Vec, SetTransformByIso4IsRotationThenTranslationAndMayAlias) {
    const Iso4 iso{Mat3{1, 2, 3, 4, 5, 6, 7, 8, 10}, Vec3{1, -2, 3}};
    Vec3 out;
    out.SetTransformByIso4(Vec3{1, 1, 2}, iso);
    ExpectNear(out, {10, 19, 38}, 0.0f);
    Vec3 v{1, 1, 2};
    v.SetTransformByIso4(v, iso);
    ExpectNear(v, {10, 19, 38}, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Quaternions

TEST(Quat, MultInPlaceIsTheHamiltonProductWithThisOnTheLeft) {
    const Quat one{1, 0, 0, 0}, i{0, 1, 0, 0}, j{0, 0, 1, 0}, k{0, 0, 0, 1};
    struct Case {
        Quat p, q, expected;
    } cases[] = {
        {i, j, k},
        {j, i, {0, 0, 0, -1}},
        {j, k, i},
        {k, i, j},
        {i, i, {-1, 0, 0, 0}},
        {one, {1, 2, 3, 4}, {1, 2, 3, 4}},
        {{1, 2, 3, 4}, {5, 6, 7, 8}, {-60, 12, 30, 24}},
        {{5, 6, 7, 8}, {1, 2, 3, 4}, {-60, 20, 14, 32}},
    };
    for (const Case& c : cases) {
        Quat r;
        r.Copy(c.p);
        r.MultInPlace(c.q);
        EXPECT_EQ(r.w, c.expected.w);
        EXPECT_EQ(r.x, c.expected.x);
        EXPECT_EQ(r.y, c.expected.y);
        EXPECT_EQ(r.z, c.expected.z);
    }
    Quat self{1, 2, 3, 4};
    self.MultInPlace(self);
    EXPECT_EQ(self.w, -28.0f);
    EXPECT_EQ(self.x, 4.0f);
    EXPECT_EQ(self.y, 6.0f);
    EXPECT_EQ(self.z, 8.0f);
}

TEST(Quat, SetAxisAngleUsesTheAxisAsGiven) {
    struct Case {
        f32 angle;
        Vec3 axis;
        Quat expected;
    } cases[] = {
        {0.0f, {3, 4, 5}, {1, 0, 0, 0}},
        {GmPi, {0, 0, 2}, {0, 0, 0, 2}},
        {GmHalfPi, {1, 0, 0}, {0.70710678f, 0.70710678f, 0, 0}},
        {-GmHalfPi, {0, 3, 0}, {0.70710678f, 0, -2.12132034f, 0}},
    };
    for (const Case& c : cases) {
        Quat q;
        q.SetAxisAngle(c.angle, c.axis);
        EXPECT_NEAR(q.w, c.expected.w, kTol);
        EXPECT_NEAR(q.x, c.expected.x, kTol);
        EXPECT_NEAR(q.y, c.expected.y, kTol);
        EXPECT_NEAR(q.z, c.expected.z, kTol);
    }
}

// The quaternion product and the matrix product agree: the matrix of p * q is P Q, q applied
// first.
TEST(Quat, ProductMatchesTheProductOfItsMatrices) {
    Quat p, q;
    p.SetAxisAngle(0.7f, Normalized({1, 2, 3}));
    q.SetAxisAngle(-1.1f, Normalized({-2, 0.5f, 1}));
    Mat3 mp, mq, expected, actual;
    mp.SetQuat(p.w, p.x, p.y, p.z);
    mq.SetQuat(q.w, q.x, q.y, q.z);
    expected.Mult(mq, mp);
    Quat pq = p;
    pq.MultInPlace(q);
    actual.SetQuat(pq.w, pq.x, pq.y, pq.z);
    ExpectNear(actual, expected);
}

// ---------------------------------------------------------------------------------------------
// 2x2 matrices

TEST(Mat2, MultIsBAfterAAndMultInPlaceMultipliesOnTheLeft) {
    const Mat2 a{1, 2, 3, 4};
    const Mat2 swap{0, 1, 1, 0};
    Mat2 m;
    m.Mult(a, swap); // swap * a: rows exchanged
    EXPECT_TRUE(Same(m, Mat2{3, 4, 1, 2}));
    m = a;
    m.MultInPlace(swap); // other * this
    EXPECT_TRUE(Same(m, Mat2{3, 4, 1, 2}));
    m = swap;
    m.MultInPlace(a); // a * swap: columns exchanged
    EXPECT_TRUE(Same(m, Mat2{2, 1, 4, 3}));
    m = a;
    m.SetTranspose(m);
    EXPECT_TRUE(Same(m, Mat2{1, 3, 2, 4}));
    m.SetIdentity();
    EXPECT_TRUE(Same(m, Mat2{1, 0, 0, 1}));
}

TEST(Mat2, RotateTurnsCounterClockwiseAndSetRotationIsItsTranspose) {
    for (f32 angle : {GmHalfPi, 0.3f, -2.0f}) {
        SCOPED_TRACE(angle);
        const f32 c = std::cos(angle), s = std::sin(angle);
        Mat2 rotated;
        rotated.Rotate(angle);
        EXPECT_FLOAT_EQ(rotated.m00, c);
        EXPECT_FLOAT_EQ(rotated.m01, -s);
        EXPECT_FLOAT_EQ(rotated.m10, s);
        EXPECT_FLOAT_EQ(rotated.m11, c);
        Mat2 set;
        set.SetRotation(angle);
        Mat2 transposed;
        transposed.SetTranspose(rotated);
        EXPECT_TRUE(Same(set, transposed));
        // On any matrix, Rotate multiplies by the rotation on the left.
        const Mat2 a{1, 2, 3, 4};
        Mat2 turned = a, expected;
        turned.Rotate(angle);
        expected.Mult(a, rotated);
        EXPECT_NEAR(turned.m00, expected.m00, kTol);
        EXPECT_NEAR(turned.m01, expected.m01, kTol);
        EXPECT_NEAR(turned.m10, expected.m10, kTol);
        EXPECT_NEAR(turned.m11, expected.m11, kTol);
    }
}

// ---------------------------------------------------------------------------------------------
// 3x3 matrices

TEST(Mat3, MultIsBAfterAAndMultInPlaceMultipliesOnTheRight) {
    const Mat3 ab{4, 9, 4, 1, 7, 4, 16, 18, 5}; // kA * kB
    const Mat3 ba{7, 10, 6, 1, 5, 15, 5, 7, 4}; // kB * kA
    Mat3 m;
    m.Mult(kB, kA);
    ExpectSame(m, ab);
    m.Copy(kA);
    m.MultInPlace(kB);
    ExpectSame(m, ab);
    m = kB;
    m.Mult(m, kA); // the product may be written over an operand
    ExpectSame(m, ab);
    m = kA;
    m.Mult(kB, m);
    ExpectSame(m, ab);
    m.Mult(kA, kB);
    ExpectSame(m, ba);
}

TEST(Mat3, EntryOperations) {
    Mat3 m = kA;
    m.Transpose();
    ExpectSame(m, Mat3{1, 0, 5, 2, 1, 6, 3, 4, 0});
    m.Scale(-2.0f);
    ExpectNear(m, Mat3{-2, 0, -10, -4, -2, -12, -6, -8, 0}, 0.0f);
    m.SetIdentity();
    m.SetColumn(1, Vec3{7, 8, 9});
    ExpectSame(m, Mat3{1, 7, 0, 0, 8, 0, 0, 9, 1});
    m.SetColumn(3, Vec3{5, 5, 5});
    ExpectSame(m, Mat3{1, 7, 0, 0, 8, 0, 0, 9, 1});
}

TEST(Mat3, IsEqualComparesRowByRow) {
    for (int entry = 0; entry < 9; ++entry) {
        SCOPED_TRACE(entry);
        for (const auto& [step, equal] : {std::pair{1.5e-5f, false}, std::pair{4e-6f, true}}) {
            Entries e = EntriesOf(kA);
            e[entry] += step;
            EXPECT_EQ(std::bit_cast<Mat3>(e).IsEqual(kA), equal);
        }
    }
    // Differences in different rows are not added together.
    Mat3 m = kA;
    m.m00 += 6e-6f;
    m.m11 += 6e-6f;
    m.m22 += 6e-6f;
    EXPECT_TRUE(m.IsEqual(kA));
}

TEST(Mat3, InvertRefusesOnlyAnExactlyZeroDeterminant) {
    struct Case {
        Mat3 m;
        bool ok;
        Mat3 expected;
    } cases[] = {
        {kA, true, kAInverse},
        {kAInverse, true, kA},
        {{2, 0, 0, 0, 4, 0, 0, 0, 8}, true, {0.5f, 0, 0, 0, 0.25f, 0, 0, 0, 0.125f}},
        {{1, 2, 3, 2, 4, 6, 1, 1, 1}, false, {1, 2, 3, 2, 4, 6, 1, 1, 1}},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0}, false, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Nearly singular is still inverted.
        {{1e-20f, 0, 0, 0, 1, 0, 0, 0, 1}, true, {1e20f, 0, 0, 0, 1, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        Mat3 m = c.m;
        EXPECT_EQ(m.Invert(), c.ok);
        ExpectSame(m, c.expected);
    }
    // A rotation's inverse is its transpose.
    Mat3 r = Rigid(0.9f, {1, -1, 2}, {}).R;
    Mat3 rt = r;
    rt.Transpose();
    ASSERT_TRUE(r.Invert());
    ExpectNear(r, rt);
}

TEST(Mat3, IsMirrorWhenTheDeterminantIsNegative) {
    struct Case {
        Mat3 m;
        bool mirror;
    } cases[] = {
        {GmMat3Identity, false},
        {{1, 0, 0, 0, 1, 0, 0, 0, -1}, true},
        {{0, 1, 0, 1, 0, 0, 0, 0, 1}, true},
        {kA, false},
        {{0, 1, 4, 1, 2, 3, 5, 6, 0}, true}, // kA with rows 0 and 1 exchanged
        {{1, 2, 3, 2, 4, 6, 1, 1, 1}, false},
        {{-1, 0, 0, 0, -1, 0, 0, 0, -1}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.m.IsMirror(), c.mirror);
    }
}

TEST(Mat3, RotateXMultipliesByTheRotationOnTheLeft) {
    Mat3 m;
    m.RotateX(GmHalfPi);
    ExpectNear(m, Mat3{1, 0, 0, 0, 0, -1, 0, 1, 0}, 1e-7f); // turns y into z
    for (f32 angle : {0.4f, -2.5f}) {
        const f32 c = std::cos(angle), s = std::sin(angle);
        const Mat3 rx{1, 0, 0, 0, c, -s, 0, s, c};
        Mat3 turned = kA, expected;
        turned.RotateX(angle);
        expected.Mult(kA, rx);
        ExpectNear(turned, expected, 1e-5f);
        EXPECT_EQ(std::memcmp(&turned, &kA, 3 * sizeof(f32)), 0); // row 0 untouched
    }
}

TEST(Mat3, SetQuatDoesNotNormalise) {
    const f32 h = 0.70710678f;
    struct Case {
        Quat q;
        Mat3 expected;
    } cases[] = {
        {{1, 0, 0, 0}, GmMat3Identity},
        {{0, 1, 0, 0}, {1, 0, 0, 0, -1, 0, 0, 0, -1}},
        {{0, 2, 0, 0}, {1, 0, 0, 0, -7, 0, 0, 0, -7}}, // not a rotation: the length is kept
        {{h, 0, 0, h}, {0, -1, 0, 1, 0, 0, 0, 0, 1}},  // a quarter turn about z
        {{0.5f, 0.5f, 0.5f, 0.5f}, {0, 0, 1, 1, 0, 0, 0, 1, 0}},
    };
    for (const Case& c : cases) {
        Mat3 m;
        m.SetQuat(c.q.w, c.q.x, c.q.y, c.q.z);
        ExpectNear(m, c.expected);
    }
}

// Column 2 of every basis follows v; the result is a right-handed orthonormal basis.
TEST(Mat3, SetBasisFromDirectionGivesARightHandedBasisAlongV) {
    const std::vector<Vec3> directions = {
        {1, 2, 3},  {0, 1, 0}, {0, -4, 0}, {1e-6f, 1, 0}, {-3, 0.5f, 0.1f},
        {0, 0, -5}, {1, 0, 0}, {0, 1, 1},  {1, 0, 1},     {2, -2, 0.001f},
    };
    for (const Vec3& v : directions) {
        for (bool flag : {false, true}) {
            SCOPED_TRACE(testing::Message() << v.x << " " << v.y << " " << v.z << " " << flag);
            Mat3 m;
            m.SetBasisFromDirection(v, flag);
            const Vec3 c0 = Column(m, 0), c1 = Column(m, 1), c2 = Column(m, 2);
            ExpectNear(c2, Normalized(v));
            EXPECT_NEAR(Dot(c0, c0), 1.0f, 1e-5f);
            EXPECT_NEAR(Dot(c1, c1), 1.0f, 1e-5f);
            EXPECT_NEAR(Dot(c0, c1), 0.0f, 1e-5f);
            EXPECT_NEAR(Dot(c0, c2), 0.0f, 1e-5f);
            ExpectNear(Cross(c0, c1), c2, 1e-5f);
        }
    }
}

TEST(Mat3, SetBasisFromDirectionChoosesItsAuxiliaryAxis) {
    const f32 h = 0.70710678f;
    struct Case {
        Vec3 v;
        bool flag;
        Mat3 expected;
    } cases[] = {
        // Along Y, X replaces the auxiliary Y: columns Z, X, Y.
        {{0, 1, 0}, false, {0, 1, 0, 0, 0, 1, 1, 0, 0}},
        {{0, 0, 1}, false, GmMat3Identity},
        {{1, 0, 0}, false, {0, 0, 1, 0, 1, 0, -1, 0, 0}},
        // With the flag: X is at least as far from v as Y, so column 1 is v * X.
        {{0, 0, 1}, true, GmMat3Identity},
        {{0, 1, 1}, true, {1, 0, 0, 0, h, h, 0, -h, h}},
        {{1, 1, 0}, true, {h, 0, h, -h, 0, h, 0, -1, 0}}, // a tie goes to v * X
        // Y is further: the basis of SetBasisZ (v, Y).
        {{1, 0, 0}, true, {0, 0, 1, 0, 1, 0, -1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v.x << " " << c.v.y << " " << c.v.z << " " << c.flag);
        Mat3 m;
        m.SetBasisFromDirection(c.v, c.flag);
        ExpectNear(m, c.expected);
    }
}

TEST(Mat3, SetBasisZAndYNormaliseOnlyLongEnoughVectors) {
    Mat3 m;
    m.SetBasisZ(Vec3{0, 0, 3}, Vec3{0, 5, 0});
    ExpectNear(m, GmMat3Identity);
    m.SetBasisY(Vec3{0, 2, 0}, Vec3{0, 0, 7});
    ExpectNear(m, GmMat3Identity);
    // Squared lengths of 1e-12 are below GmEpsilonSq: the columns keep their size.
    m.SetBasisZ(Vec3{0, 0, 1e-6f}, Vec3{0, 1, 0});
    EXPECT_EQ(m.m22, 1e-6f);
    EXPECT_EQ(m.m00, 1e-6f);
    EXPECT_NEAR(m.m11, 1e-12f, 1e-18f);
    m.SetBasisY(Vec3{0, 1e-6f, 0}, Vec3{0, 0, 1});
    EXPECT_EQ(m.m11, 1e-6f);
    EXPECT_EQ(m.m00, 1e-6f);

    const Vec3 v{1, -2, 0.5f};
    m.SetBasisY(v, Vec3{0, 0, 1});
    const Vec3 c0 = Column(m, 0), c1 = Column(m, 1);
    ExpectNear(c1, Normalized(v));
    ExpectNear(c0, Normalized(Cross(v, Vec3{0, 0, 1})));
    ExpectNear(Column(m, 2), Cross(c0, c1));
}

// ---------------------------------------------------------------------------------------------
// Transforms

TEST(Iso4, ConstructionIdentityAndScale) {
    const Iso4 iso{kA, Vec3{1, 2, 3}};
    ExpectSame(iso.R, kA);
    ExpectNear(iso.t, {1, 2, 3}, 0.0f);
    Iso4 scaled = iso;
    scaled.SetScale(Vec3{2, 3, 4}, Vec3{1, 2, 3});
    ExpectSame(scaled.R, Mat3{2, 0, 0, 0, 3, 0, 0, 0, 4});
    ExpectNear(Apply(scaled, {1, 1, 1}), {3, 5, 7}, 0.0f);
    scaled.SetIdentity();
    EXPECT_TRUE(Same(scaled, GmIso4Identity));
}

TEST(Iso4, MultAppliesAFirstThenB) {
    const Iso4 rigid1 = Rigid(0.8f, {1, 2, 3}, {1, -2, 0.5f});
    const Iso4 rigid2 = Rigid(-2.1f, {0, 1, -1}, {-3, 4, 2});
    Iso4 scale;
    scale.SetScale({2, 0.5f, -1}, {0, 1, 0});
    const Iso4 pairs[][2] = {{rigid1, rigid2}, {rigid2, rigid1}, {rigid1, scale}, {scale, rigid2}};
    const Vec3 points[] = {{0, 0, 0}, {1, 0, 0}, {-2, 3.5f, 7}};
    for (const auto& pair : pairs) {
        const Iso4& a = pair[0];
        const Iso4& b = pair[1];
        Iso4 ba;
        Iso4::Mult(ba, a, b);
        for (const Vec3& p : points) {
            ExpectNear(Apply(ba, p), Apply(b, Apply(a, p)), 1e-5f);
        }
        // MultInPlaceBy is the same composition, and either operand may be the result.
        Iso4 m = a;
        m.MultInPlaceBy(b);
        EXPECT_TRUE(Same(m, ba));
        Iso4 overA = a, overB = b;
        Iso4::Mult(overA, overA, b);
        Iso4::Mult(overB, a, overB);
        EXPECT_TRUE(Same(overA, ba));
        EXPECT_TRUE(Same(overB, ba));
    }
}

TEST(Iso4, InverseAndToLocalOfUndoRigidTransforms) {
    const Iso4 transforms[] = {
        Rigid(0.8f, {1, 2, 3}, {1, -2, 0.5f}),
        Rigid(-2.1f, {0, 1, -1}, {-3, 4, 2}),
        Rigid(GmPi, {0, 0, 1}, {10, 0, 0}),
        Iso4{GmMat3Identity, Vec3{5, 6, 7}},
    };
    for (const Iso4& a : transforms) {
        Iso4 inverse;
        inverse.SetInverse(a);
        Iso4 product;
        Iso4::Mult(product, a, inverse);
        EXPECT_TRUE(product.IsEqual(GmIso4Identity));
        Iso4::Mult(product, inverse, a);
        EXPECT_TRUE(product.IsEqual(GmIso4Identity));
        Iso4 self = a;
        self.SetInverse(self);
        EXPECT_TRUE(Same(self, inverse));

        for (const Iso4& frame : transforms) {
            Iso4 local = a;
            local.ToLocalOf(frame);
            // The local transform is the original seen from the frame...
            Iso4 expected;
            inverse.SetInverse(frame);
            Iso4::Mult(expected, a, inverse);
            ExpectNear(local.R, expected.R, 1e-5f);
            ExpectNear(local.t, expected.t, 1e-5f);
            // ...and placing it back in the frame gives the original.
            local.MultInPlaceBy(frame);
            EXPECT_TRUE(local.IsEqual(a));
        }
        Iso4 own = a;
        own.ToLocalOf(own);
        EXPECT_TRUE(own.IsEqual(GmIso4Identity));
    }
}

TEST(Iso4, IsEqualChecksTranslationAndEveryRow) {
    const Iso4 base = Rigid(0.5f, {1, 1, 0}, {1, 2, 3});
    EXPECT_TRUE(base.IsEqual(base));
    using Words = std::array<f32, 12>;
    for (int word = 0; word < 12; ++word) {
        SCOPED_TRACE(word);
        for (const auto& [step, equal] : {std::pair{2e-5f, false}, std::pair{2e-6f, true}}) {
            Words w = std::bit_cast<Words>(base);
            w[word] += step;
            EXPECT_EQ(std::bit_cast<Iso4>(w).IsEqual(base), equal);
        }
    }
}

TEST(Iso3, CompositionInverseAndToLocalOf) {
    const Iso3 a = Rigid2(0.6f, {1, -2});
    const Iso3 b = Rigid2(-2.3f, {4, 0.5f});
    const Iso3 shear{Mat2{1, 2, 0, 3}, Vec2{-1, 1}}; // plane rotations commute, shears do not
    const Vec2 points[] = {{0, 0}, {1, 0}, {-3, 2.5f}};

    const Iso3 pairs[][2] = {{a, b}, {a, shear}, {shear, b}};
    for (const auto& pair : pairs) {
        Iso3 composed;
        composed.Copy(pair[0]);
        composed.MultInPlaceBy(pair[1]);
        for (const Vec2& p : points) {
            const Vec2 expected = Apply(pair[1], Apply(pair[0], p));
            const Vec2 actual = Apply(composed, p);
            EXPECT_NEAR(actual.x, expected.x, 1e-5f);
            EXPECT_NEAR(actual.y, expected.y, 1e-5f);
        }
    }

    Iso3 inverse;
    inverse.SetInverse(a);
    for (const Vec2& p : points) {
        const Vec2 back = Apply(inverse, Apply(a, p));
        EXPECT_NEAR(back.x, p.x, 1e-5f);
        EXPECT_NEAR(back.y, p.y, 1e-5f);
    }
    Iso3 self = a;
    self.SetInverse(self);
    EXPECT_TRUE(Same(self, inverse));

    Iso3 local = a;
    local.ToLocalOf(b);
    local.MultInPlaceBy(b);
    EXPECT_TRUE(local.t.IsEqual(a.t));
    EXPECT_NEAR(local.R.m00, a.R.m00, 1e-6f);
    EXPECT_NEAR(local.R.m01, a.R.m01, 1e-6f);
    EXPECT_NEAR(local.R.m10, a.R.m10, 1e-6f);
    EXPECT_NEAR(local.R.m11, a.R.m11, 1e-6f);

    local.SetIdentity();
    EXPECT_TRUE(Same(local, Iso3{}));
}

// ---------------------------------------------------------------------------------------------
// Boxes

TEST(Aabb, AddSpansBothBoxes) {
    struct Case {
        Aabb a, b, expected;
    } cases[] = {
        {{{0, 0, 0}, {1, 1, 1}}, {{4, 0, -1}, {1, 2, 1}}, {{2, 0, -0.5f}, {3, 2, 1.5f}}},
        {{{0, 0, 0}, {3, 3, 3}}, {{1, 1, 1}, {1, 1, 1}}, {{0, 0, 0}, {3, 3, 3}}},
        {{{1, 1, 1}, {1, 1, 1}}, {{0, 0, 0}, {3, 3, 3}}, {{0, 0, 0}, {3, 3, 3}}},
        {{{1, 2, 3}, {0, 0, 0}}, {{1, 2, 3}, {0, 0, 0}}, {{1, 2, 3}, {0, 0, 0}}},
        // The empty box counts as the box from 1 to -1: callers start a union from a real box.
        {{{0, 0, 0}, {-1, -1, -1}},
         {{5, 5, 5}, {1, 1, 1}},
         {{3.5f, 3.5f, 3.5f}, {2.5f, 2.5f, 2.5f}}},
    };
    for (const Case& c : cases) {
        Aabb box = c.a;
        box.Add(c.b);
        ExpectNear(box.centre, c.expected.centre, 0.0f);
        ExpectNear(box.halfSize, c.expected.halfSize, 0.0f);
    }
}

TEST(Aabb, SetTransformedEnclosesTheTransformedBox) {
    const Aabb source{{1, 2, 3}, {1, 2, 3}};
    Aabb box;
    box.SetTransformed(source, Iso4{Mat3{0, -1, 0, 1, 0, 0, 0, 0, 1}, Vec3{10, 0, 0}});
    ExpectNear(box.centre, {8, 1, 3}, 0.0f);
    ExpectNear(box.halfSize, {2, 1, 3}, 0.0f);

    const Iso4 transforms[] = {
        Rigid(0.7f, {1, 2, 3}, {1, -1, 2}),
        Rigid(GmPi / 4, {0, 0, 1}, {0, 0, 0}),
        Iso4{kA, Vec3{-1, 0, 4}},
    };
    for (const Iso4& iso : transforms) {
        Aabb moved;
        moved.SetTransformed(source, iso);
        Vec3 lo{GmMaxReal, GmMaxReal, GmMaxReal}, hi{GmMinReal, GmMinReal, GmMinReal};
        for (int corner = 0; corner < 8; ++corner) {
            const Vec3 h = source.halfSize;
            const Vec3 p{source.centre.x + (corner & 1 ? h.x : -h.x),
                         source.centre.y + (corner & 2 ? h.y : -h.y),
                         source.centre.z + (corner & 4 ? h.z : -h.z)};
            const Vec3 q = Apply(iso, p);
            lo = {std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z)};
            hi = {std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z)};
        }
        // The box of the eight transformed corners is exactly the result.
        ExpectNear(moved.centre, {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f},
                   1e-4f);
        ExpectNear(moved.halfSize,
                   {(hi.x - lo.x) * 0.5f, (hi.y - lo.y) * 0.5f, (hi.z - lo.z) * 0.5f}, 1e-4f);
        Aabb inPlace = source;
        inPlace.SetTransformed(inPlace, iso);
        EXPECT_TRUE(Same(inPlace, moved));
    }
}

} // namespace

namespace {

// Writes through an archive into memory and gives the floats it holds (binary) or the text.
template <class Write>
std::string Archived(bool text, Write write) {
    CClassicArchive archive;
    CClassicBufferMemory* memory = new CClassicBufferMemory;
    archive.SetBuffer(memory);
    archive.m_Writing = 1;
    archive.m_Text = text;
    write(archive);
    return std::string(reinterpret_cast<const char*>(memory->GetData()), memory->GetSize());
}

template <class Read>
void ReadArchived(const std::string& bytes, bool text, Read read) {
    CClassicArchive archive;
    CClassicBufferMemory* memory = new CClassicBufferMemory;
    memory->Write(bytes.data(), u32(bytes.size()));
    memory->Rewind();
    archive.SetBuffer(memory);
    archive.m_Text = text;
    read(archive);
}

std::vector<f32> Floats(const std::string& bytes) {
    std::vector<f32> values(bytes.size() / 4);
    std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
}

TEST(MathArchive, BoxesAreStoredAsCornersOrRaw) {
    Aabb box{{1, 2, 3}, {1, 1, 1}};
    EXPECT_EQ(Floats(Archived(false, [&](CClassicArchive& a) { box.Archive(a); })),
              (std::vector<f32>{0, 1, 2, 2, 3, 4}));
    EXPECT_EQ(Archived(true, [&](CClassicArchive& a) { box.Archive(a); }),
              "0.000000\r\n1.000000\r\n2.000000\r\n2.000000\r\n3.000000\r\n4.000000\r\n");
    EXPECT_EQ(Floats(Archived(false, [&](CClassicArchive& a) { box.ArchiveRaw(a); })),
              (std::vector<f32>{1, 2, 3, 1, 1, 1}));

    // Read corners give back centre and half-size.
    Aabb read;
    ReadArchived("-1.5\r\n0\r\n4\r\n2.5\r\n1\r\n8\r\n", true,
                 [&](CClassicArchive& a) { read.Archive(a); });
    EXPECT_EQ(read.centre.x, 0.5f);
    EXPECT_EQ(read.centre.y, 0.5f);
    EXPECT_EQ(read.centre.z, 6.0f);
    EXPECT_EQ(read.halfSize.x, 2.0f);
    EXPECT_EQ(read.halfSize.y, 0.5f);
    EXPECT_EQ(read.halfSize.z, 2.0f);
}

TEST(MathArchive, MatricesRoundTripInStorageOrder) {
    Mat4 matrix;
    for (int i = 0; i < 16; ++i)
        matrix.m[i] = f32(i) * 0.25f - 1.0f;
    for (bool text : {false, true}) {
        const std::string stored = Archived(text, [&](CClassicArchive& a) { matrix.Archive(a); });
        if (!text) {
            const std::vector<f32> floats = Floats(stored);
            EXPECT_EQ(floats, std::vector<f32>(matrix.m, matrix.m + 16));
        }
        Mat4 read;
        ReadArchived(stored, text, [&](CClassicArchive& a) { read.Archive(a); });
        EXPECT_EQ(std::memcmp(read.m, matrix.m, sizeof matrix.m), 0) << text;
    }
}

} // namespace
