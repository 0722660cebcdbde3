#include "core/math/GmQuery.h"

#include "core/math/GmFrustum.h"

#include <array>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace {

constexpr f32 kNaN = std::numeric_limits<f32>::quiet_NaN();
constexpr f32 kInf = std::numeric_limits<f32>::infinity();
// Written into outputs before a call, to see whether the call wrote them.
constexpr f32 kUntouched = -777.0f;

Vec3 Add(const Vec3& a, const Vec3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 Sub(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 Scale(const Vec3& a, f32 s) {
    return {a.x * s, a.y * s, a.z * s};
}
f32 Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
f32 Length(const Vec3& a) {
    return std::sqrt(Dot(a, a));
}
Vec2 Lerp(const Vec2& a, const Vec2& b, f32 s) {
    return {a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s};
}

void ExpectNear(const Vec3& actual, const Vec3& expected, f32 tol) {
    EXPECT_NEAR(actual.x, expected.x, tol);
    EXPECT_NEAR(actual.y, expected.y, tol);
    EXPECT_NEAR(actual.z, expected.z, tol);
}

// Bit for bit, for results that involve no rounding.
void ExpectSame(const Vec3& actual, const Vec3& expected) {
    using Bits = std::array<u32, 3>;
    EXPECT_EQ(std::bit_cast<Bits>(actual), std::bit_cast<Bits>(expected));
}

// Uniform floats from a fixed seed, so that failures repeat.
class Random {
public:
    f32 Next(f32 lo, f32 hi) { return lo + (hi - lo) * f32(m_Engine() >> 8) / 16777216.0f; }
    Vec3 NextVec3(f32 lo, f32 hi) { return {Next(lo, hi), Next(lo, hi), Next(lo, hi)}; }
    Vec2 NextVec2(f32 lo, f32 hi) { return {Next(lo, hi), Next(lo, hi)}; }

private:
    std::mt19937 m_Engine{20240607u};
};

using RayTest = bool (*)(const Vec3&, const Vec3&, const Vec3&, const Vec3&, const Vec3&, f32&,
                         f32&, f32&);
constexpr RayTest kRayTests[] = {GmIntersectRayTriangleFront, GmIntersectRayTriangle};

struct RayHit {
    bool hit;
    f32 u = kUntouched, v = kUntouched, t = kUntouched;
};

RayHit CastRay(RayTest test, const Vec3& origin, const Vec3& direction, const Vec3& v0,
               const Vec3& v1, const Vec3& v2) {
    RayHit r;
    r.hit = test(origin, direction, v0, v1, v2, r.u, r.v, r.t);
    return r;
}

// The unit right triangle in z = 0, counter-clockwise seen from +z.
constexpr Vec3 kV0{0, 0, 0};
constexpr Vec3 kV1{1, 0, 0};
constexpr Vec3 kV2{0, 1, 0};

} // namespace

// ---------------------------------------------------------------------------------------------
// Ray against triangle

TEST(GmRayTriangle, HitsGiveWeightsOfV1AndV2AndDistanceInDirectionLengths) {
    struct Case {
        Vec3 origin, direction;
        bool hit;
        f32 u, v, t;
    } cases[] = {
        {{0.25f, 0.5f, 5}, {0, 0, -1}, true, 0.25f, 0.5f, 5},
        {{0.25f, 0.5f, 5}, {0, 0, -2}, true, 0.25f, 0.5f, 2.5f}, // t counts direction lengths
        {{0, 0, 1}, {0, 0, -1}, true, 0, 0, 1},                  // through each corner
        {{1, 0, 1}, {0, 0, -1}, true, 1, 0, 1},
        {{0, 1, 1}, {0, 0, -1}, true, 0, 1, 1},
        {{0.5f, 0.5f, 1}, {0, 0, -1}, true, 0.5f, 0.5f, 1},       // on the edge v1 v2
        {{0.5f, 0, 1}, {0, 0, -1}, true, 0.5f, 0, 1},             // on the edge v0 v1
        {{0.25f, 0.25f, -2}, {0, 0, -1}, true, 0.25f, 0.25f, -2}, // behind the origin
        {{-1, 0.5f, 1}, {1, 0, -1}, true, 0, 0.5f, 1},            // slanted, onto edge v0 v2
        {{0.6f, 0.6f, 1}, {0, 0, -1}, false, 0, 0, 0},
        {{-0.01f, 0.5f, 1}, {0, 0, -1}, false, 0, 0, 0},
        {{0.5f, -0.01f, 1}, {0, 0, -1}, false, 0, 0, 0},
    };
    for (RayTest test : kRayTests) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.origin.x << " " << c.origin.y << " " << c.origin.z
                                            << (test == kRayTests[0] ? " front" : " both"));
            const RayHit r = CastRay(test, c.origin, c.direction, kV0, kV1, kV2);
            ASSERT_EQ(r.hit, c.hit);
            if (c.hit) {
                EXPECT_FLOAT_EQ(r.u, c.u);
                EXPECT_FLOAT_EQ(r.v, c.v);
                EXPECT_FLOAT_EQ(r.t, c.t);
            } else {
                EXPECT_EQ(r.u, kUntouched);
                EXPECT_EQ(r.v, kUntouched);
                EXPECT_EQ(r.t, kUntouched);
            }
        }
    }
}

TEST(GmRayTriangle, FrontRejectsTheBackWhichTheTwoSidedTestHitsAtTheSamePoint) {
    Random random;
    int hits = 0;
    for (int i = 0; i < 2000; ++i) {
        const Vec3 v0 = random.NextVec3(-5, 5);
        const Vec3 v1 = random.NextVec3(-5, 5);
        const Vec3 v2 = random.NextVec3(-5, 5);
        const Vec3 origin = random.NextVec3(-8, 8);
        const Vec3 target = random.NextVec3(-3, 3);
        const Vec3 direction = Sub(target, origin);
        const RayHit front = CastRay(GmIntersectRayTriangleFront, origin, direction, v0, v1, v2);
        const RayHit both = CastRay(GmIntersectRayTriangle, origin, direction, v0, v1, v2);
        const RayHit backFront =
            CastRay(GmIntersectRayTriangleFront, origin, direction, v0, v2, v1);
        const RayHit backBoth = CastRay(GmIntersectRayTriangle, origin, direction, v0, v2, v1);
        // The two tests agree bit for bit on a triangle seen from the front.
        if (front.hit) {
            ++hits;
            ASSERT_TRUE(both.hit);
            EXPECT_EQ(std::bit_cast<u32>(front.u), std::bit_cast<u32>(both.u));
            EXPECT_EQ(std::bit_cast<u32>(front.v), std::bit_cast<u32>(both.v));
            EXPECT_EQ(std::bit_cast<u32>(front.t), std::bit_cast<u32>(both.t));
            // Reversed, the same triangle faces away: only the two-sided test hits it, at the
            // same point with the weights of v1 and v2 exchanged.
            EXPECT_FALSE(backFront.hit);
            ASSERT_TRUE(backBoth.hit);
            EXPECT_NEAR(backBoth.u, front.v, 1e-4f);
            EXPECT_NEAR(backBoth.v, front.u, 1e-4f);
            EXPECT_NEAR(backBoth.t, front.t, 1e-4f * std::fabs(front.t) + 1e-4f);
        }
        EXPECT_EQ(both.hit, front.hit || backFront.hit);
        if (both.hit) {
            // The hit point lies on the ray and on the triangle.
            EXPECT_GE(both.u, 0.0f);
            EXPECT_GE(both.v, 0.0f);
            EXPECT_LE(both.u + both.v, 1.0f + 1e-6f);
            const Vec3 onRay = Add(origin, Scale(direction, both.t));
            const Vec3 onTriangle =
                Add(v0, Add(Scale(Sub(v1, v0), both.u), Scale(Sub(v2, v0), both.v)));
            ExpectNear(onRay, onTriangle, 2e-4f * (1.0f + Length(onRay)));
        }
    }
    EXPECT_GT(hits, 100); // the sample reaches the interesting branch
}

TEST(GmRayTriangle, RecoversTheWeightsOfAKnownPoint) {
    Random random;
    for (int i = 0; i < 300; ++i) {
        const Vec3 v0 = random.NextVec3(-5, 5);
        const Vec3 v1 = random.NextVec3(-5, 5);
        const Vec3 v2 = random.NextVec3(-5, 5);
        const Vec3 normal = Cross(Sub(v1, v0), Sub(v2, v0));
        if (Length(normal) < 1.0f) {
            continue;
        }
        const f32 u = random.Next(-0.2f, 1.0f);
        const f32 v = random.Next(-0.2f, 1.0f);
        const f32 t = random.Next(-4, 4);
        // Aimed from the front side at the point of weights u and v, never grazing.
        Vec3 direction = random.NextVec3(-1, 1);
        if (Dot(direction, normal) > 0) {
            direction = Scale(direction, -1);
        }
        if (std::fabs(Dot(direction, normal)) < 0.3f * Length(direction) * Length(normal)) {
            continue;
        }
        const Vec3 point = Add(v0, Add(Scale(Sub(v1, v0), u), Scale(Sub(v2, v0), v)));
        const Vec3 origin = Sub(point, Scale(direction, t));
        const RayHit r = CastRay(GmIntersectRayTriangleFront, origin, direction, v0, v1, v2);
        const f32 margin = 1e-3f;
        if (u > margin && v > margin && u + v < 1 - margin) {
            ASSERT_TRUE(r.hit) << i;
            EXPECT_NEAR(r.u, u, 1e-4f);
            EXPECT_NEAR(r.v, v, 1e-4f);
            EXPECT_NEAR(r.t, t, 1e-4f);
        } else if (u < -margin || v < -margin || u + v > 1 + margin) {
            EXPECT_FALSE(r.hit) << i;
        }
    }
}

TEST(GmRayTriangle, NearlyParallelIsJudgedAgainstTheFirstEdgesLength) {
    // With the direction (1, 0, -c), det = c times the first edge's length.
    struct Case {
        f32 firstEdge, c;
        bool hit;
    } cases[] = {
        {1, 0.004f, true},
        {1, 0.003f, false}, // c below sqrt(GmEpsilon) |e1|
        {10, 0.004f, false},
        {10, 0.04f, true},
    };
    for (RayTest test : kRayTests) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.firstEdge << " " << c.c);
            const Vec3 v1{c.firstEdge, 0, 0};
            const Vec3 origin{0.1f - 1, 0.1f, c.c}; // reaches (0.1, 0.1, 0) at t = 1
            const RayHit r = CastRay(test, origin, {1, 0, -c.c}, kV0, v1, kV2);
            EXPECT_EQ(r.hit, c.hit);
        }
    }
}

TEST(GmRayTriangle, DegenerateTrianglesRaysAndNaNMiss) {
    const Vec3 down{0, 0, -1};
    const Vec3 above{0, 0, 1};
    struct Case {
        const char* what;
        Vec3 origin, direction, v0, v1, v2;
    } cases[] = {
        {"one point", above, down, kV0, kV0, kV0},
        {"v1 on v0", above, down, kV0, kV0, kV2},
        {"v2 on v0", above, down, kV0, kV1, kV0},
        {"v1 on v2", {0.5f, 0.5f, 1}, down, kV0, kV1, kV1},
        {"collinear", {0.5f, 0, 1}, down, kV0, kV1, {2, 0, 0}},
        {"zero direction", above, {0, 0, 0}, kV0, kV1, kV2},
        {"parallel ray", {-1, 0.2f, 0}, {1, 0, 0}, kV0, kV1, kV2},
        {"NaN origin", {kNaN, 0.2f, 1}, down, kV0, kV1, kV2},
        {"NaN direction", {0.2f, 0.2f, 1}, {0, kNaN, -1}, kV0, kV1, kV2},
        {"NaN vertex", {0.2f, 0.2f, 1}, down, kV0, {1, kNaN, 0}, kV2},
        {"infinite direction", {0.2f, 0.2f, 1}, {0, 0, -kInf}, kV0, kV1, kV2},
        {"infinite origin", {0.2f, 0.2f, kInf}, down, kV0, kV1, kV2},
        // Every test along the way passes with infinities; the weights come out as NaN.
        {"infinite direction, no NaN before the weights",
         {0, -1, 2},
         {kInf, 0, -1},
         kV0,
         {1, -1, 1},
         {1, 1, 1}},
    };
    for (RayTest test : kRayTests) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            const RayHit r = CastRay(test, c.origin, c.direction, c.v0, c.v1, c.v2);
            EXPECT_FALSE(r.hit);
            EXPECT_EQ(r.u, kUntouched);
            EXPECT_EQ(r.v, kUntouched);
            EXPECT_EQ(r.t, kUntouched);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Tangent frame

namespace {

struct TangentCase {
    Vec3 positions[3];
    Vec2 texCoords[3];
};

u32 ComputeTangents(const TangentCase& c, GmTriangleTangents& record) {
    for (int i = 0; i < 3; ++i) {
        record.positions[i] = &c.positions[i];
        record.texCoords[i] = &c.texCoords[i];
    }
    return GmComputeTriangleTangents(record);
}

GmTriangleTangents StaleRecord() {
    GmTriangleTangents record;
    record.tangentU = {kUntouched, kUntouched, kUntouched};
    record.tangentV = {kUntouched, kUntouched, kUntouched};
    return record;
}

} // namespace

TEST(GmTangents, ArePositionDerivativesAlongUAndV) {
    // Exact arithmetic: positions (x, y, 0) textured with u = 2x, v = 4y.
    {
        const TangentCase c{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0}, {2, 0}, {0, 4}}};
        GmTriangleTangents record = StaleRecord();
        EXPECT_EQ(ComputeTangents(c, record), 7u);
        ExpectSame(record.tangentU, {0.5f, 0, 0});
        ExpectSame(record.tangentV, {0, 0.25f, 0});
    }
    // Any affine texturing P = P0 + u Tu + v Tv is recovered, not normalised.
    Random random;
    for (int i = 0; i < 200; ++i) {
        const Vec3 p0 = random.NextVec3(-10, 10);
        const Vec3 tu = random.NextVec3(-3, 3);
        const Vec3 tv = random.NextVec3(-3, 3);
        TangentCase c;
        for (int k = 0; k < 3; ++k) {
            c.texCoords[k] = random.NextVec2(-2, 2);
            c.positions[k] = Add(p0, Add(Scale(tu, c.texCoords[k].x), Scale(tv, c.texCoords[k].y)));
        }
        const Vec2 d1{c.texCoords[1].x - c.texCoords[0].x, c.texCoords[1].y - c.texCoords[0].y};
        const Vec2 d2{c.texCoords[2].x - c.texCoords[0].x, c.texCoords[2].y - c.texCoords[0].y};
        if (std::fabs(d1.x * d2.y - d2.x * d1.y) < 0.2f) {
            continue;
        }
        GmTriangleTangents record = StaleRecord();
        ASSERT_EQ(ComputeTangents(c, record), 7u);
        ExpectNear(record.tangentU, tu, 2e-3f);
        ExpectNear(record.tangentV, tv, 2e-3f);
    }
}

TEST(GmTangents, WithoutTextureAreaOrWithBadInputTheyAreZero) {
    const Vec3 tri[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    struct Case {
        const char* what;
        TangentCase c;
    } cases[] = {
        {"collinear", {{tri[0], tri[1], tri[2]}, {{0, 0}, {1, 1}, {3, 3}}}},
        {"one point", {{tri[0], tri[1], tri[2]}, {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}}}},
        // det exactly GmEpsilonSq is not above it
        {"tiny", {{tri[0], tri[1], tri[2]}, {{0, 0}, {1e-5f, 0}, {0, 1e-5f}}}},
        {"NaN coordinate", {{tri[0], tri[1], tri[2]}, {{0, 0}, {kNaN, 0}, {0, 1}}}},
        {"NaN position", {{tri[0], {1, kNaN, 0}, tri[2]}, {{0, 0}, {1, 0}, {0, 1}}}},
        {"u tangent overflows", {{tri[0], {3e38f, 0, 0}, tri[2]}, {{0, 0}, {0.01f, 0}, {0, 1}}}},
        {"v tangent overflows", {{tri[0], tri[1], {0, 3e38f, 0}}, {{0, 0}, {1, 0}, {0, 0.01f}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GmTriangleTangents record = StaleRecord();
        EXPECT_EQ(ComputeTangents(c.c, record), 0u);
        ExpectSame(record.tangentU, {});
        ExpectSame(record.tangentV, {});
    }
    // Just above the threshold they are computed.
    const TangentCase small{{tri[0], tri[1], tri[2]}, {{0, 0}, {2e-5f, 0}, {0, 2e-5f}}};
    GmTriangleTangents record = StaleRecord();
    EXPECT_EQ(ComputeTangents(small, record), 7u);
    ExpectNear(record.tangentU, {50000, 0, 0}, 1.0f);

    // A record with a corner missing.
    for (int missing = 0; missing < 6; ++missing) {
        const TangentCase c{{tri[0], tri[1], tri[2]}, {{0, 0}, {1, 0}, {0, 1}}};
        GmTriangleTangents r = StaleRecord();
        ASSERT_EQ(ComputeTangents(c, r), 7u);
        if (missing < 3) {
            r.positions[missing] = nullptr;
        } else {
            r.texCoords[missing - 3] = nullptr;
        }
        EXPECT_EQ(GmComputeTriangleTangents(r), 0u) << missing;
        ExpectSame(r.tangentU, {});
        ExpectSame(r.tangentV, {});
    }
}

namespace {

// The tangents by the documented formula with corner `base` first.
void ReferenceTangents(const TangentCase& c, int base, Vec3& tu, Vec3& tv) {
    const int i0 = base, i1 = (base + 1) % 3, i2 = (base + 2) % 3;
    const f32 du1 = c.texCoords[i1].x - c.texCoords[i0].x;
    const f32 dv1 = c.texCoords[i1].y - c.texCoords[i0].y;
    const f32 du2 = c.texCoords[i2].x - c.texCoords[i0].x;
    const f32 dv2 = c.texCoords[i2].y - c.texCoords[i0].y;
    const f32 det = du1 * dv2 - du2 * dv1;
    const Vec3 dP1 = Sub(c.positions[i1], c.positions[i0]);
    const Vec3 dP2 = Sub(c.positions[i2], c.positions[i0]);
    tu = {(dv2 * dP1.x - dv1 * dP2.x) / det, (dv2 * dP1.y - dv1 * dP2.y) / det,
          (dv2 * dP1.z - dv1 * dP2.z) / det};
    tv = {(du1 * dP2.x - du2 * dP1.x) / det, (du1 * dP2.y - du2 * dP1.y) / det,
          (du1 * dP2.z - du2 * dP1.z) / det};
}

} // namespace

TEST(GmTangents, TheFirstCornerOrderWithAnAreaAboveTheThresholdDecides) {
    // Nearly collinear texture coordinates whose rounded area differs with the base corner.
    struct Case {
        Vec2 texCoords[3];
        int base;
    } cases[] = {
        {{{0.364986539f, 0.475129128f}, {0.443006635f, 0.495026499f}, {0.0669763014f, 0.39912793f}},
         1},
        {{{0.677162886f, -0.702750802f},
          {0.683024347f, -0.719692826f},
          {0.663779914f, -0.66406852f}},
         2},
        {{{0, 0}, {0.3f, 0.1f}, {0.7f, 0.9f}}, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.base);
        TangentCase c{{{0, 0, 0}, {1, 0.5f, 0}, {0.25f, 1, 2}},
                      {k.texCoords[0], k.texCoords[1], k.texCoords[2]}};
        GmTriangleTangents record = StaleRecord();
        ASSERT_EQ(ComputeTangents(c, record), 7u);
        Vec3 tu, tv;
        ReferenceTangents(c, k.base, tu, tv);
        ExpectSame(record.tangentU, tu);
        ExpectSame(record.tangentV, tv);
    }
}

// ---------------------------------------------------------------------------------------------
// Two planes

TEST(GmIntersectPlanes, PlanesMeetingAlongTheZAxisGiveAPointWithZZero) {
    struct Case {
        GmPlane a, b;
        Vec3 direction, point;
    } cases[] = {
        {{{1, 0, 0}, 0}, {{0, 1, 0}, 0}, {0, 0, 1}, {0, 0, 0}},
        {{{1, 0, 0}, -2}, {{0, 1, 0}, 3}, {0, 0, 1}, {2, -3, 0}},
        {{{0, 1, 0}, 3}, {{1, 0, 0}, -2}, {0, 0, -1}, {2, -3, 0}},
        {{{0, 2, 0}, 4}, {{0, 0, 1}, -1}, {1, 0, 0}, {0, -2, 1}}, // x is the zero coordinate
        {{{1, 0, 0}, -99999}, {{0, 1, 0}, 0}, {0, 0, 1}, {99999, 0, 0}},
    };
    for (const Case& c : cases) {
        GmLine line{{kUntouched, kUntouched, kUntouched}, {}};
        ASSERT_TRUE(GmIntersectPlanes(c.a, c.b, line));
        ExpectNear(line.direction, c.direction, 0.0f);
        ExpectNear(line.point, c.point, 0.0f);
    }
}

TEST(GmIntersectPlanes, ThePointLiesOnBothPlanesWithItsChosenCoordinateZero) {
    Random random;
    for (int i = 0; i < 300; ++i) {
        const GmPlane a{random.NextVec3(-1, 1), random.Next(-5, 5)};
        const GmPlane b{random.NextVec3(-1, 1), random.Next(-5, 5)};
        const Vec3 cross = Cross(a.normal, b.normal);
        if (Length(a.normal) < 0.3f || Length(b.normal) < 0.3f ||
            Length(cross) < 0.2f * Length(a.normal) * Length(b.normal)) {
            continue;
        }
        GmLine line;
        ASSERT_TRUE(GmIntersectPlanes(a, b, line));
        EXPECT_NEAR(Length(line.direction), 1.0f, 1e-6f);
        ExpectNear(line.direction, Scale(cross, 1.0f / Length(cross)), 1e-6f);
        for (f32 along : {0.0f, 3.0f}) {
            const Vec3 p = Add(line.point, Scale(line.direction, along));
            EXPECT_NEAR(Dot(a.normal, p) + a.d, 0.0f, 1e-5f * (1 + Length(p)));
            EXPECT_NEAR(Dot(b.normal, p) + b.d, 0.0f, 1e-5f * (1 + Length(p)));
        }
        const f32 zero = std::fabs(line.direction.x) > 0.5f   ? line.point.x
                         : std::fabs(line.direction.y) > 0.5f ? line.point.y
                                                              : line.point.z;
        EXPECT_EQ(zero, 0.0f);
    }
}

TEST(GmIntersectPlanes, ParallelFarAwayAndNaNFail) {
    // Parallel and nearly parallel: the unnormalised cross product is left in the direction.
    struct Parallel {
        GmPlane a, b;
    } parallels[] = {
        {{{0, 0, 1}, 0}, {{0, 0, 1}, -5}},
        {{{0, 0, 1}, 0}, {{0, 0, -2}, 1}},
        {{{0, 0, 1}, 0}, {{0, 5e-6f, 1}, 1}},
    };
    for (const Parallel& c : parallels) {
        GmLine line{{kUntouched, kUntouched, kUntouched}, {kUntouched, 0, 0}};
        EXPECT_FALSE(GmIntersectPlanes(c.a, c.b, line));
        ExpectSame(line.direction, Cross(c.a.normal, c.b.normal));
        ExpectSame(line.point, {kUntouched, kUntouched, kUntouched});
    }
    // Meeting 100000 or more from the origin, or with NaN: no point, and false.
    struct Bad {
        const char* what;
        GmPlane a, b;
    } bad[] = {
        {"far", {{1, 0, 0}, -100000}, {{0, 1, 0}, 0}},
        {"far y", {{1, 0, 0}, 0}, {{0, 1, 0}, 3e5f}},
        {"NaN distance", {{1, 0, 0}, kNaN}, {{0, 1, 0}, 0}},
        {"NaN normal", {{1, kNaN, 0}, 0}, {{0, 1, 0}, 0}},
        {"infinite normal", {{kInf, 0, 0}, 0}, {{0, 1, 0}, 0}},
        {"overflowing cross product", {{1e20f, 0, 0}, 0}, {{0, 1e20f, 0}, 0}},
    };
    for (const Bad& c : bad) {
        SCOPED_TRACE(c.what);
        GmLine line{{kUntouched, kUntouched, kUntouched}, {}};
        EXPECT_FALSE(GmIntersectPlanes(c.a, c.b, line));
        ExpectSame(line.point, {kUntouched, kUntouched, kUntouched});
    }
}

// ---------------------------------------------------------------------------------------------
// 2x2 systems

TEST(GmSolve2x2, SolvesByCramersRuleAndRefusesLargeOrSingularSolutions) {
    struct Case {
        f32 a, b, c, d, e, f;
        bool solved;
        f32 x, y;
    } cases[] = {
        {1, 0, 3, 0, 1, 4, true, 3, 4},
        {2, 1, 5, 1, 3, 10, true, 1, 3},
        {0, 2, 4, 3, 0, -6, true, -2, 2}, // a zero pivot is no trouble
        {1, 2, 3, 2, 4, 6, false, 0, 0},  // singular
        {0, 0, 0, 0, 0, 0, false, 0, 0},
        {1, 0, 99999, 0, 1, 0, true, 99999, 0},
        {1, 0, 100000, 0, 1, 0, false, 0, 0}, // numerator equal to |det| / GmEpsilon
        {1, 0, 0, 0, 1, -100000, false, 0, 0},
        {1e-6f, 0, 1, 0, 1, 0, false, 0, 0}, // x would be 1e6
        {kNaN, 0, 1, 0, 1, 0, false, 0, 0},
        {1, 0, kNaN, 0, 1, 0, false, 0, 0},
        {1, 0, 1, 0, 1, kInf, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.a << " " << c.b << " " << c.c << " " << c.d << " " << c.e << " " << c.f);
        f32 x = kUntouched;
        f32 y = kUntouched;
        ASSERT_EQ(GmSolve2x2(x, y, c.a, c.b, c.c, c.d, c.e, c.f), c.solved);
        EXPECT_EQ(x, c.solved ? c.x : kUntouched);
        EXPECT_EQ(y, c.solved ? c.y : kUntouched);
    }
    Random random;
    for (int i = 0; i < 200; ++i) {
        const f32 a = random.Next(-4, 4), b = random.Next(-4, 4), c = random.Next(-4, 4);
        const f32 d = random.Next(-4, 4), e = random.Next(-4, 4), f = random.Next(-4, 4);
        if (std::fabs(a * e - b * d) < 0.5f) {
            continue;
        }
        f32 x = 0, y = 0;
        ASSERT_TRUE(GmSolve2x2(x, y, a, b, c, d, e, f));
        EXPECT_NEAR(a * x + b * y, c, 1e-4f);
        EXPECT_NEAR(d * x + e * y, f, 1e-4f);
    }
}

// ---------------------------------------------------------------------------------------------
// Segment against rectangle

namespace {

constexpr GmBox2D kRect{{0, 0}, {2, 1}};

// Liang-Barsky clipping in double precision, as a reference.
bool ClipsIntoRect(const GmBox2D& r, const Vec2& p, const Vec2& q, f64 grow) {
    const f64 dx = f64(q.x) - p.x, dy = f64(q.y) - p.y;
    const f64 edges[4][2] = {{-dx, p.x - (r.min.x - grow)},
                             {dx, (r.max.x + grow) - p.x},
                             {-dy, p.y - (r.min.y - grow)},
                             {dy, (r.max.y + grow) - p.y}};
    f64 t0 = 0, t1 = 1;
    for (const auto& e : edges) {
        if (e[0] == 0) {
            if (e[1] < 0) {
                return false;
            }
        } else if (e[0] < 0) {
            t0 = std::max(t0, e[1] / e[0]);
        } else {
            t1 = std::min(t1, e[1] / e[0]);
        }
    }
    return t0 <= t1;
}

} // namespace

TEST(GmSegmentHitsBox2D, CasesOfEveryRegionPair) {
    struct Case {
        const char* what;
        Vec2 p, q;
        bool hit;
    } cases[] = {
        {"both inside", {0.5f, 0.5f}, {1.5f, 0.2f}, true},
        {"p inside", {1, 0.5f}, {9, 9}, true},
        {"q inside", {-9, -9}, {1, 0.5f}, true},
        {"p on a corner", {2, 1}, {5, 5}, true},
        {"same region", {-1, -1}, {-2, -0.5f}, false},
        {"both left", {-1, -1}, {-0.5f, 3}, false},
        {"both above", {-1, 2}, {3, 1.5f}, false},
        {"straight through x", {1, -1}, {1, 2}, true},
        {"straight through y", {-1, 0.5f}, {3, 0.5f}, true},
        {"along the bottom border", {-1, 0}, {3, 0}, true},
        {"along the right border", {2, -1}, {2, 3}, true},
        {"along the border's line, beyond", {3, 0}, {5, 0}, false},
        {"p below, q right, in", {1.5f, -1}, {2.4f, 1}, true},
        {"p below, q right, out", {1.9f, -1}, {5, 1}, false},
        {"p left, q above, in", {-1, 0.5f}, {1, 1.4f}, true},
        {"p left, q above, out", {-1, 0.9f}, {0.5f, 4}, false},
        {"q below, p corner", {-1, 2}, {1, -1}, true},
        {"q left, p corner, in", {2.5f, -1}, {-1, 0.5f}, true},
        {"q left, p corner, out", {2.5f, -3}, {-1, 0.5f}, false},
        {"through a corner", {-1, 1}, {1, -1}, true},
        {"corners, in through the bottom", {-1, -1}, {3, 2}, true},
        {"corners, in through the left", {-1, -0.2f}, {3, 3}, true},
        {"corners, under the corner", {2.5f, -2}, {-3, 1.2f}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(GmSegmentHitsBox2D(kRect, c.p, c.q), c.hit);
        EXPECT_EQ(GmSegmentHitsBox2D(kRect, c.q, c.p), c.hit); // either end first
        EXPECT_EQ(ClipsIntoRect(kRect, c.p, c.q, 0), c.hit);   // the table itself is right
    }
}

TEST(GmSegmentHitsBox2D, ASegmentAlmostParallelToTheBorderItCrossesMisses) {
    // Both cross the rectangle's bottom (or left) border just beside p, at a slope below
    // GmEpsilon: the crossing is not counted, though clipping finds one.
    struct Case {
        Vec2 p, q;
    } cases[] = {
        {{1, -1e-6f}, {201, 1e-3f}},
        {{-1e-6f, 0.5f}, {1e-3f, 200.5f}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(ClipsIntoRect(kRect, c.p, c.q, 0));
        EXPECT_FALSE(GmSegmentHitsBox2D(kRect, c.p, c.q));
    }
    // Steeper than the tolerance, the same kind of crossing counts.
    EXPECT_TRUE(GmSegmentHitsBox2D(kRect, {1, -1e-6f}, {51, 1e-3f}));
    EXPECT_TRUE(GmSegmentHitsBox2D(kRect, {-1e-6f, 0.5f}, {1e-3f, 50.5f}));
}

TEST(GmSegmentHitsBox2D, AgreesWithClipping) {
    Random random;
    int hits = 0, checked = 0;
    for (int i = 0; i < 3000; ++i) {
        const Vec2 p = random.NextVec2(-3, 5);
        const Vec2 q = random.NextVec2(-3, 5);
        const bool grown = ClipsIntoRect(kRect, p, q, 1e-4);
        const bool shrunk = ClipsIntoRect(kRect, p, q, -1e-4);
        if (grown != shrunk) {
            continue; // too close to call
        }
        ++checked;
        hits += grown;
        EXPECT_EQ(GmSegmentHitsBox2D(kRect, p, q), grown)
            << p.x << " " << p.y << " " << q.x << " " << q.y;
    }
    EXPECT_GT(checked, 2900);
    EXPECT_GT(hits, 500);
    EXPECT_LT(hits, checked - 500);
}

TEST(GmSegmentHitsBox2D, NaNAnywhereMisses) {
    for (int slot = 0; slot < 8; ++slot) {
        std::array<f32, 8> v{1, 0.5f, 1.5f, 0.5f, 0, 0, 2, 1}; // p, q, rectangle: a hit
        v[slot] = kNaN;
        const GmBox2D rect{{v[4], v[5]}, {v[6], v[7]}};
        EXPECT_FALSE(GmSegmentHitsBox2D(rect, {v[0], v[1]}, {v[2], v[3]})) << slot;
    }
}

// ---------------------------------------------------------------------------------------------
// Triangle against rectangle

namespace {

// The rectangle [0.5, 1.5] x [0.5, 1.5], centre (1, 1).
constexpr GmBox2D kSquare{{0.5f, 0.5f}, {1.5f, 1.5f}};
constexpr Vec2 kCentre{1, 1};

struct TriangleResult {
    bool meets;
    bool inside = false;
    f32 u = kUntouched, v = kUntouched;
    bool solved = false;
};

// inside and solved start as stale, to see that they are written.
TriangleResult TestTriangle(const Vec2& v0, const Vec2& v1, const Vec2& v2, bool coordinates,
                            bool stale) {
    TriangleResult r;
    r.inside = stale;
    r.solved = stale;
    r.meets =
        GmTriangleBarycentric2D(kSquare, v0, v1, v2, r.inside, &r.u, &r.v, &r.solved, coordinates);
    return r;
}

Vec2 Weighted(const Vec2& v0, const Vec2& v1, const Vec2& v2, f32 u, f32 v) {
    return {v0.x + (v1.x - v0.x) * u + (v2.x - v0.x) * v,
            v0.y + (v1.y - v0.y) * u + (v2.y - v0.y) * v};
}

} // namespace

TEST(GmTriangleBarycentric2D, ACentreInsideGivesItsWeights) {
    const Vec2 v0{-4, -4}, v1{6, -3}, v2{0, 7};
    for (bool coordinates : {false, true}) {
        const TriangleResult r = TestTriangle(v0, v1, v2, coordinates, false);
        EXPECT_TRUE(r.meets);
        EXPECT_TRUE(r.inside);
        EXPECT_TRUE(r.solved);
        const Vec2 back = Weighted(v0, v1, v2, r.u, r.v);
        EXPECT_NEAR(back.x, kCentre.x, 1e-5f);
        EXPECT_NEAR(back.y, kCentre.y, 1e-5f);
    }
    // Outputs may be left out.
    bool inside = false;
    f32 u = kUntouched;
    EXPECT_TRUE(GmTriangleBarycentric2D(kSquare, v0, v1, v2, inside, &u, nullptr, nullptr, true));
    EXPECT_TRUE(inside);
    EXPECT_NE(u, kUntouched);
    EXPECT_TRUE(
        GmTriangleBarycentric2D(kSquare, v0, v1, v2, inside, nullptr, nullptr, nullptr, true));
}

TEST(GmTriangleBarycentric2D, OverlapWithoutTheCentre) {
    struct Case {
        const char* what;
        Vec2 v0, v1, v2;
        bool meets, solved;
    } cases[] = {
        {"crosses a corner", {0.9f, 2}, {2, 0.9f}, {2.5f, 2.5f}, true, true},
        {"inside, off centre", {0.6f, 0.6f}, {0.9f, 0.6f}, {0.6f, 0.9f}, true, true},
        {"disjoint", {2, 2}, {3, 2}, {2, 3}, false, true},
        {"beyond a corner", {1.6f, 1.6f}, {3, 1.55f}, {1.55f, 3}, false, true},
        {"flat, through", {0, 0.7f}, {1, 0.7f}, {3, 0.7f}, true, false},
        {"flat, apart", {0, 0.2f}, {1, 0.2f}, {3, 0.2f}, false, false},
        {"one point, inside", {0.7f, 0.7f}, {0.7f, 0.7f}, {0.7f, 0.7f}, true, false},
        {"NaN corner, the other edge crossing", {kNaN, 0}, {3, 0.7f}, {0, 1.2f}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TriangleResult r = TestTriangle(c.v0, c.v1, c.v2, false, true);
        EXPECT_EQ(r.meets, c.meets);
        EXPECT_FALSE(r.inside);
        EXPECT_EQ(r.solved, c.solved);
        EXPECT_EQ(r.u, kUntouched); // no coordinates without the request
        EXPECT_EQ(r.v, kUntouched);
    }
    // A rectangle with NaN meets nothing.
    bool inside = true;
    const GmBox2D nanRect{{0.5f, kNaN}, {1.5f, 1.5f}};
    EXPECT_FALSE(GmTriangleBarycentric2D(nanRect, {-4, -4}, {6, -3}, {0, 7}, inside, nullptr,
                                         nullptr, nullptr, true));
    EXPECT_FALSE(inside);
}

TEST(GmTriangleBarycentric2D, OnRequestTheNearestPointOfTheMeetingEdgeGivesTheWeights) {
    struct Case {
        const char* what;
        Vec2 v0, v1, v2;
        Vec2 from, to; // the edge expected to be found
        f32 s;         // the fraction along it of the point nearest the centre
    } cases[] = {
        // The centre (1, 1) is above the edge at y = 0.8; the triangle lies below it.
        {"v0 v1", {0, 0.8f}, {4, 0.8f}, {0, -5}, {0, 0.8f}, {4, 0.8f}, 0.25f},
        {"v2 v1", {0, -5}, {4, 0.8f}, {0, 0.8f}, {0, 0.8f}, {4, 0.8f}, 0.25f},
        {"v0 v2", {0, 0.8f}, {0, -5}, {4, 0.8f}, {0, 0.8f}, {4, 0.8f}, 0.25f},
        // The nearest point lies beyond the edge's end: clamped to the end.
        {"clamped", {1.2f, 0.6f}, {3, 0.6f}, {3, -3}, {1.2f, 0.6f}, {3, 0.6f}, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TriangleResult r = TestTriangle(c.v0, c.v1, c.v2, true, true);
        ASSERT_TRUE(r.meets);
        EXPECT_FALSE(r.inside);
        EXPECT_TRUE(r.solved);
        ASSERT_NE(r.u, kUntouched);
        const Vec2 point = Weighted(c.v0, c.v1, c.v2, r.u, r.v);
        const Vec2 expected = Lerp(c.from, c.to, c.s);
        EXPECT_NEAR(point.x, expected.x, 1e-5f);
        EXPECT_NEAR(point.y, expected.y, 1e-5f);
    }
    // Without both outputs nothing is written.
    bool inside = true;
    f32 u = kUntouched;
    EXPECT_TRUE(GmTriangleBarycentric2D(kSquare, {0, 0.8f}, {4, 0.8f}, {0, -5}, inside, &u, nullptr,
                                        nullptr, true));
    EXPECT_FALSE(inside);
    EXPECT_EQ(u, kUntouched);
}

TEST(GmProjectOnSegment2D, GivesTheFractionFromAToB) {
    struct Case {
        Vec2 a, b, p;
        bool ok;
        f32 s;
    } cases[] = {
        {{0, 0}, {4, 0}, {1, 3}, true, 0.25f},
        {{0, 0}, {4, 0}, {4, -1}, true, 1},
        {{0, 0}, {4, 0}, {-2, 1}, true, -0.5f},
        {{1, 1}, {1, 3}, {7, 4}, true, 1.5f},
        {{0, 0}, {1, 0}, {99999, 0}, true, 99999},
        {{0, 0}, {1, 0}, {100000, 0}, false, 0}, // |s| must stay below 100000
        {{2, 2}, {2, 2}, {3, 3}, false, 0},      // no direction
        {{2, 2}, {2, 2}, {2, 2}, false, 0},
        {{0, 0}, {1e-20f, 0}, {1, 0}, false, 0}, // length squared is 0 in floats
        {{0, 0}, {4, 0}, {kNaN, 0}, false, 0},
        {{0, kNaN}, {4, 0}, {1, 0}, false, 0},
    };
    for (const Case& c : cases) {
        f32 s = kUntouched;
        ASSERT_EQ(GmProjectOnSegment2D(c.a, c.b, c.p, s), c.ok) << c.p.x;
        EXPECT_EQ(s, c.ok ? c.s : kUntouched);
    }
}

// ---------------------------------------------------------------------------------------------
// View volume

namespace {

using Words = std::array<u32, 7>;

Words WordsOf(const GmFrustum& f) {
    return std::bit_cast<Words>(f);
}

Words PerspectiveWords(f32 minX, f32 minY, f32 zNear, f32 maxX, f32 maxY, f32 zFar) {
    return {0,
            std::bit_cast<u32>(minX),
            std::bit_cast<u32>(minY),
            std::bit_cast<u32>(zNear),
            std::bit_cast<u32>(maxX),
            std::bit_cast<u32>(maxY),
            std::bit_cast<u32>(zFar)};
}

} // namespace

TEST(GmFrustum, SetPerspectiveStoresTheSlopesOfHalfTheAngle) {
    GmFrustum f;
    f.SetOrtho(Aabb{{1, 2, 3}, {4, 5, 6}});
    f.SetPerspective(90, 1, 0.5f, 100);
    EXPECT_EQ(f.ortho, 0u);
    EXPECT_FLOAT_EQ(f.minX, -1);
    EXPECT_FLOAT_EQ(f.maxX, 1);
    EXPECT_FLOAT_EQ(f.minY, -1);
    EXPECT_FLOAT_EQ(f.maxY, 1);
    EXPECT_EQ(f.zNear, 0.5f);
    EXPECT_EQ(f.zFar, 100.0f);

    f.SetPerspective(60, 2, 1, 10);
    EXPECT_FLOAT_EQ(f.maxY, 0.57735027f); // tan 30 degrees
    EXPECT_EQ(WordsOf(f), PerspectiveWords(-2 * f.maxY, -f.maxY, 1, 2 * f.maxY, f.maxY, 10));
}

TEST(GmFrustum, OrthographicVolumesKeepTheirBoxInTheSameWords) {
    GmFrustum f;
    const Aabb box{{1, 2, 3}, {4, 5, 6}};
    f.SetOrtho(box);
    EXPECT_EQ(WordsOf(f), (Words{1, std::bit_cast<u32>(1.0f), std::bit_cast<u32>(2.0f),
                                 std::bit_cast<u32>(3.0f), std::bit_cast<u32>(4.0f),
                                 std::bit_cast<u32>(5.0f), std::bit_cast<u32>(6.0f)}));
    const Aabb back = f.GetBox();
    ExpectSame(back.centre, box.centre);
    ExpectSame(back.halfSize, box.halfSize);
    GmFrustum copy;
    copy.Copy(f);
    EXPECT_EQ(WordsOf(copy), WordsOf(f));
}

TEST(GmFrustum, SetRatioScalesTheWidthFromTheHeight) {
    GmFrustum f;
    f.minX = -1;
    f.maxX = 3; // off centre: the centre 1 is kept
    f.minY = -0.5f;
    f.maxY = 0.5f;
    f.zNear = 1;
    f.zFar = 9;
    f.SetRatio(2);
    EXPECT_EQ(WordsOf(f), PerspectiveWords(0, -0.5f, 1, 2, 0.5f, 9));

    f.SetOrtho(Aabb{{1, 2, 3}, {4, 3, 6}});
    f.SetRatio(1.5f);
    const Aabb box = f.GetBox();
    ExpectSame(box.centre, {1, 2, 3});
    ExpectSame(box.halfSize, {4.5f, 3, 6});
}

TEST(GmFrustum, SidePlanesGiveTheSlopesNormalToTheSides) {
    GmFrustum f;
    f.minX = -1;
    f.maxX = 4;
    f.minY = -4;
    f.maxY = 0.5f;
    f.zNear = 1;
    f.zFar = 50;
    GmFrustum x;
    f.GetSidePlanesX(x);
    EXPECT_EQ(WordsOf(x), PerspectiveWords(-0.25f, -4, 1, 1, 0.5f, 50));
    // Each new slope's direction is at right angles to the side it comes from.
    EXPECT_EQ(x.minX * f.maxX + 1, 0.0f);
    EXPECT_EQ(x.maxX * f.minX + 1, 0.0f);
    GmFrustum y;
    f.GetSidePlanesY(y);
    EXPECT_EQ(WordsOf(y), PerspectiveWords(-1, -2, 1, 4, 0.25f, 50));

    // The output may be the volume itself.
    GmFrustum self = f;
    self.GetSidePlanesX(self);
    EXPECT_EQ(WordsOf(self), WordsOf(x));

    // An orthographic volume: its box's depth range, and its words as they are stored.
    GmFrustum o;
    o.SetOrtho(Aabb{{1, 2, 10}, {4, 5, 3}});
    o.GetSidePlanesX(x);
    EXPECT_EQ(WordsOf(x), PerspectiveWords(-0.25f, 2, 7, -1, 5, 13));
    o.GetSidePlanesY(y);
    EXPECT_EQ(WordsOf(y), PerspectiveWords(1, -0.2f, 7, 4, -0.5f, 13));
}
