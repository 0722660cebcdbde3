#include "core/math/GmQuery.h"

#include <algorithm>
#include <cmath>

namespace {

Vec3 Sub(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

f32 Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

bool IsFinite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Both ray tests. The comparisons are written so that NaN anywhere fails them.
bool IntersectRayTriangle(const Vec3& origin, const Vec3& direction, const Vec3& v0, const Vec3& v1,
                          const Vec3& v2, bool twoSided, f32& u, f32& v, f32& t) {
    const Vec3 e1 = Sub(v1, v0);
    const Vec3 e2 = Sub(v2, v0);
    const Vec3 p = Cross(direction, e2);
    const f32 det = Dot(e1, p);
    if (!twoSided && det < 0.0f) {
        return false;
    }
    // Nearly parallel, or a degenerate triangle. A first edge of no length passes (both sides
    // are 0) with det 0; the last test refuses the 0 / 0 weights that follow, and what infinite
    // input makes of them.
    const f32 e1LengthSq = Dot(e1, e1);
    if (!(GmEpsilon * (e1LengthSq * e1LengthSq) <= det * det)) {
        return false;
    }
    // Seen from behind, the two-sided test flips the signs of det and of both weights.
    const f32 sign = det < 0.0f ? -1.0f : 1.0f;
    const f32 absDet = std::fabs(det);
    const Vec3 s = Sub(origin, v0);
    const f32 scaledU = Dot(s, p) * sign;
    if (!(scaledU >= 0.0f && scaledU <= absDet)) {
        return false;
    }
    const Vec3 q = Cross(s, e1);
    const f32 scaledV = Dot(direction, q) * sign;
    if (!(scaledV >= 0.0f && scaledU + scaledV <= absDet)) {
        return false;
    }
    const f32 hitU = scaledU / absDet;
    const f32 hitV = scaledV / absDet;
    const f32 hitT = Dot(e2, q) / det;
    if (!std::isfinite(hitU) || !std::isfinite(hitV) || !std::isfinite(hitT)) {
        return false;
    }
    u = hitU;
    v = hitV;
    t = hitT;
    return true;
}

// Whether pq crosses the rectangle's horizontal border at height y, or its vertical border at
// x, between the border's ends. A segment nearly parallel to the border does not cross it.
bool CrossesHorizontalBorder(const GmBox2D& rect, const Vec2& p, const Vec2& q, f32 y) {
    const f32 dx = q.x - p.x;
    const f32 dy = q.y - p.y;
    if (!(std::fabs(dx) * GmEpsilon < std::fabs(dy))) {
        return false;
    }
    const f32 x = p.x + dx / dy * (y - p.y);
    return rect.min.x <= x && x <= rect.max.x;
}

bool CrossesVerticalBorder(const GmBox2D& rect, const Vec2& p, const Vec2& q, f32 x) {
    const f32 dx = q.x - p.x;
    const f32 dy = q.y - p.y;
    if (!(std::fabs(dy) * GmEpsilon < std::fabs(dx))) {
        return false;
    }
    const f32 y = p.y + dy / dx * (x - p.x);
    return rect.min.y <= y && y <= rect.max.y;
}

bool HasNaN(const Vec2& v) {
    return std::isnan(v.x) || std::isnan(v.y);
}

// 2 above the range, 1 below it, 0 inside (its ends included).
u32 RegionCode(f32 value, f32 min, f32 max) {
    return value > max ? 2 : value < min ? 1 : 0;
}

// The result when no tangents can be given.
u32 NoTangents(GmTriangleTangents& record) {
    record.tangentU = Vec3{};
    record.tangentV = Vec3{};
    return 0;
}

} // namespace

bool GmIntersectRayTriangleFront(const Vec3& origin, const Vec3& direction, const Vec3& v0,
                                 const Vec3& v1, const Vec3& v2, f32& u, f32& v, f32& t) {
    return IntersectRayTriangle(origin, direction, v0, v1, v2, false, u, v, t);
}

bool GmIntersectRayTriangle(const Vec3& origin, const Vec3& direction, const Vec3& v0,
                            const Vec3& v1, const Vec3& v2, f32& u, f32& v, f32& t) {
    return IntersectRayTriangle(origin, direction, v0, v1, v2, true, u, v, t);
}

u32 GmComputeTriangleTangents(GmTriangleTangents& record) {
    constexpr u32 kComputed = 7; // one bit per component, x, y and z
    for (u32 i = 0; i < 3; ++i) {
        if (record.positions[i] == nullptr || record.texCoords[i] == nullptr) {
            return NoTangents(record);
        }
    }
    // Each corner in turn is the base; the first order whose texture coordinates span an area
    // gives the result.
    static constexpr u32 kOrders[3][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}};
    for (const auto& order : kOrders) {
        const Vec2& c0 = *record.texCoords[order[0]];
        const Vec2& c1 = *record.texCoords[order[1]];
        const Vec2& c2 = *record.texCoords[order[2]];
        const f32 du1 = c1.x - c0.x;
        const f32 dv1 = c1.y - c0.y;
        const f32 du2 = c2.x - c0.x;
        const f32 dv2 = c2.y - c0.y;
        const f32 det = du1 * dv2 - du2 * dv1;
        if (!(std::fabs(det) > GmEpsilonSq)) {
            continue;
        }
        const Vec3 dP1 = Sub(*record.positions[order[1]], *record.positions[order[0]]);
        const Vec3 dP2 = Sub(*record.positions[order[2]], *record.positions[order[0]]);
        const Vec3 tangentU{(dv2 * dP1.x - dv1 * dP2.x) / det, (dv2 * dP1.y - dv1 * dP2.y) / det,
                            (dv2 * dP1.z - dv1 * dP2.z) / det};
        const Vec3 tangentV{(du1 * dP2.x - du2 * dP1.x) / det, (du1 * dP2.y - du2 * dP1.y) / det,
                            (du1 * dP2.z - du2 * dP1.z) / det};
        if (!IsFinite(tangentU) || !IsFinite(tangentV)) {
            return NoTangents(record);
        }
        record.tangentU = tangentU;
        record.tangentV = tangentV;
        return kComputed;
    }
    return NoTangents(record);
}

bool GmIntersectPlanes(const GmPlane& a, const GmPlane& b, GmLine& line) {
    const Vec3 direction = Cross(a.normal, b.normal);
    line.direction = direction;
    const f32 lengthSq = Dot(direction, direction);
    if (!(lengthSq > GmEpsilonSq) || !std::isfinite(lengthSq)) {
        return false;
    }
    const f32 length = std::sqrt(lengthSq);
    line.direction = {direction.x / length, direction.y / length, direction.z / length};
    // The point's coordinate k is 0 on the first axis where the unit direction is above 0.5 in
    // size (x, then y, else z, where it is at least 0.7), so the system in the other two is well
    // conditioned.
    u32 k = 2;
    if (std::fabs(line.direction.x) > 0.5f) {
        k = 0;
    } else if (std::fabs(line.direction.y) > 0.5f) {
        k = 1;
    }
    const u32 i = k == 0 ? 1 : 0;
    const u32 j = k == 2 ? 1 : 2;
    f32 pi = 0.0f;
    f32 pj = 0.0f;
    if (!GmSolve2x2(pi, pj, *a.normal.GetComponentPtr(i), *a.normal.GetComponentPtr(j), -a.d,
                    *b.normal.GetComponentPtr(i), *b.normal.GetComponentPtr(j), -b.d)) {
        return false;
    }
    Vec3 point;
    *point.GetComponentPtr(i) = pi;
    *point.GetComponentPtr(j) = pj;
    line.point = point;
    return true;
}

bool GmSolve2x2(f32& x, f32& y, f32 a, f32 b, f32 c, f32 d, f32 e, f32 f) {
    const f32 det = a * e - b * d;
    const f32 numeratorX = c * e - b * f;
    const f32 numeratorY = a * f - c * d;
    const f32 limit = std::fabs(det) * GmInvEpsilon;
    if (!(std::fabs(numeratorX) < limit && std::fabs(numeratorY) < limit)) {
        return false;
    }
    x = numeratorX / det;
    y = numeratorY / det;
    return true;
}

bool GmSegmentHitsBox2D(const GmBox2D& rect, const Vec2& p, const Vec2& q) {
    // NaN falls in no region; it would pass for inside.
    for (f32 value : {p.x, p.y, q.x, q.y, rect.min.x, rect.min.y, rect.max.x, rect.max.y}) {
        if (std::isnan(value)) {
            return false;
        }
    }
    const u32 px = RegionCode(p.x, rect.min.x, rect.max.x);
    const u32 py = RegionCode(p.y, rect.min.y, rect.max.y);
    const u32 qx = RegionCode(q.x, rect.min.x, rect.max.x);
    const u32 qy = RegionCode(q.y, rect.min.y, rect.max.y);
    if ((px == 0 && py == 0) || (qx == 0 && qy == 0)) {
        return true;
    }
    if (px == qx && py == qy) {
        return false;
    }
    // Both on one side of the rectangle on one axis, or straddling it along the other.
    if (px == qx) {
        return px == 0;
    }
    if (py == qy) {
        return py == 0;
    }
    // Both codes differ: the segment can only enter through a border facing a point that lies
    // beside the rectangle, or through either border facing a point in a corner region.
    const f32 pBorderY = py == 1 ? rect.min.y : rect.max.y;
    const f32 pBorderX = px == 1 ? rect.min.x : rect.max.x;
    if (px == 0) {
        return CrossesHorizontalBorder(rect, p, q, pBorderY);
    }
    if (py == 0) {
        return CrossesVerticalBorder(rect, p, q, pBorderX);
    }
    if (qx == 0) {
        return CrossesHorizontalBorder(rect, p, q, qy == 1 ? rect.min.y : rect.max.y);
    }
    if (qy == 0) {
        return CrossesVerticalBorder(rect, p, q, qx == 1 ? rect.min.x : rect.max.x);
    }
    return CrossesHorizontalBorder(rect, p, q, pBorderY) ||
           CrossesVerticalBorder(rect, p, q, pBorderX);
}

bool GmTriangleBarycentric2D(const GmBox2D& rect, const Vec2& v0, const Vec2& v1, const Vec2& v2,
                             bool& inside, f32* u, f32* v, bool* solved, bool withCoordinates) {
    // A corner with NaN leaves no triangle, though an edge without it might still cross.
    if (HasNaN(v0) || HasNaN(v1) || HasNaN(v2)) {
        inside = false;
        if (solved != nullptr) {
            *solved = false;
        }
        return false;
    }
    inside = true;
    const Vec2 centre{(rect.min.x + rect.max.x) * 0.5f, (rect.min.y + rect.max.y) * 0.5f};
    f32 centreU = 0.0f;
    f32 centreV = 0.0f;
    const bool isSolved = GmSolve2x2(centreU, centreV, v1.x - v0.x, v2.x - v0.x, centre.x - v0.x,
                                     v1.y - v0.y, v2.y - v0.y, centre.y - v0.y);
    if (isSolved && centreU >= 0.0f && centreV >= 0.0f && centreU + centreV <= 1.0f) {
        if (u != nullptr) {
            *u = centreU;
        }
        if (v != nullptr) {
            *v = centreV;
        }
        if (solved != nullptr) {
            *solved = true;
        }
        return true;
    }
    if (solved != nullptr) {
        *solved = isSolved;
    }
    inside = false;
    // Each edge runs from its first corner; the fraction s along it weighs its second corner.
    const Vec2* const edges[3][2] = {{&v0, &v1}, {&v2, &v1}, {&v0, &v2}};
    for (u32 e = 0; e < 3; ++e) {
        if (!GmSegmentHitsBox2D(rect, *edges[e][0], *edges[e][1])) {
            continue;
        }
        f32 s = 0.0f;
        if (withCoordinates && u != nullptr && v != nullptr &&
            GmProjectOnSegment2D(*edges[e][0], *edges[e][1], centre, s)) {
            s = std::clamp(s, 0.0f, 1.0f);
            switch (e) {
                case 0:
                    *u = s;
                    *v = 0.0f;
                    break;
                case 1:
                    *u = s;
                    *v = 1.0f - s;
                    break;
                default:
                    *u = 0.0f;
                    *v = s;
                    break;
            }
        }
        return true;
    }
    return false;
}

bool GmProjectOnSegment2D(const Vec2& a, const Vec2& b, const Vec2& p, f32& s) {
    const f32 dx = b.x - a.x;
    const f32 dy = b.y - a.y;
    const f32 lengthSq = dx * dx + dy * dy;
    const f32 dot = (p.x - a.x) * dx + (p.y - a.y) * dy;
    if (!(std::fabs(dot) * GmEpsilon < lengthSq)) {
        return false;
    }
    s = dot / lengthSq;
    return true;
}
