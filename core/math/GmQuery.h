#pragma once
// Geometric questions on the math types: ray against triangle, the tangent frame of a textured
// triangle, the line where two planes meet, a 2x2 linear system, and 2-D tests of segments and
// triangles against rectangles. Nothing allocates; failure is only ever the boolean (or zero)
// result, and an output is written only where its function says so. NaN input, a ray along a
// triangle's plane, a zero-area triangle under a ray and parallel planes all fail: no function
// reports success with garbage in its outputs.
#include "core/math/Vec.h"

// An axis-aligned rectangle in the plane, closed: its border belongs to it.
struct GmBox2D {
    Vec2 min;
    Vec2 max;
};

// The plane n . p + d = 0.
struct GmPlane {
    Vec3 normal;
    f32 d = 0.0f;
};

// The line through point along direction.
struct GmLine {
    Vec3 point;
    Vec3 direction;
};

// Input and results of GmComputeTriangleTangents: the corners' positions and texture coordinates
// (u, v), then the directions in which u and v grow across the triangle.
struct GmTriangleTangents {
    const Vec3* positions[3] = {};
    const Vec2* texCoords[3] = {};
    Vec3 tangentU;
    Vec3 tangentV;
};

static_assert(sizeof(GmBox2D) == 16 && sizeof(GmPlane) == 16 && sizeof(GmLine) == 24);

// Ray origin + t direction against the triangle v0 v1 v2. On a hit: true, u and v the weights
// of v1 and v2 at the hit point, t its distance in units of the direction's length (negative
// when the triangle is behind the origin). Edges and corners count as hits. The Front variant
// only accepts triangles that are counter-clockwise as seen from the origin (the direction
// points against (v1 - v0) x (v2 - v0)). A triangle nearly parallel to the ray is missed: the
// test compares det = (v1 - v0) . (direction x (v2 - v0)) with the first edge's length, so the
// direction's length counts too (det^2 must reach GmEpsilon |v1 - v0|^4). Outputs are written
// on a hit only.
bool GmIntersectRayTriangleFront(const Vec3& origin, const Vec3& direction, const Vec3& v0,
                                 const Vec3& v1, const Vec3& v2, f32& u, f32& v, f32& t);
bool GmIntersectRayTriangle(const Vec3& origin, const Vec3& direction, const Vec3& v0,
                            const Vec3& v1, const Vec3& v2, f32& u, f32& v, f32& t);

// Fills tangentU and tangentV (not normalised) from the record's corners. Returns 7 when they
// were computed (one bit per component), 0 with both tangents zero when the texture coordinates
// span no area, a corner is missing or the result is not finite.
u32 GmComputeTriangleTangents(GmTriangleTangents& record);

// The line where planes a and b meet: a unit direction along a.normal x b.normal and the point
// of the line whose coordinate on the direction's first axis above 0.5 in size (x, y, else z) is
// 0. Parallel planes give false and leave the unnormalised cross product in line.direction;
// otherwise line.direction is the unit direction. A point coordinate of 100000 or more in size,
// or NaN, gives false too. line.point is written on success only.
bool GmIntersectPlanes(const GmPlane& a, const GmPlane& b, GmLine& line);

// Solves a x + b y = c, d x + e y = f by Cramer's rule. Fails, writing nothing, unless both
// numerators are strictly below |det| * GmInvEpsilon in size: a zero determinant always fails,
// and so does a solution of 100000 or more.
bool GmSolve2x2(f32& x, f32& y, f32 a, f32 b, f32 c, f32 d, f32 e, f32 f);

// True when the segment pq meets the closed rectangle. NaN anywhere gives false.
bool GmSegmentHitsBox2D(const GmBox2D& rect, const Vec2& p, const Vec2& q);

// True when the triangle v0 v1 v2 meets the closed rectangle. inside tells whether the
// rectangle's centre lies in the triangle. When it does, u and v (the weights of v1 and v2 at
// the centre) and solved = true are written to those outputs that are given. Otherwise solved
// (when given) tells whether the centre had coordinates at all (false for a zero-area triangle),
// and with withCoordinates and both u and v given, the first edge found meeting the rectangle
// (v0v1, then v2v1, then v0v2) gives them: the weights of the point of that edge nearest the
// centre. A corner with NaN gives false, inside = false and solved = false.
bool GmTriangleBarycentric2D(const GmBox2D& rect, const Vec2& v0, const Vec2& v1, const Vec2& v2,
                             bool& inside, f32* u, f32* v, bool* solved, bool withCoordinates);

// Projects p on the line ab: s is the fraction of the way from a to b (0 at a, 1 at b, outside
// that range beyond the ends). False, s not written, when |s| would reach 100000, which takes in
// a zero-length ab and NaN.
bool GmProjectOnSegment2D(const Vec2& a, const Vec2& b, const Vec2& p, f32& s);
