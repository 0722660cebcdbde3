#pragma once
// The view volume of a camera or a light: a perspective pyramid cut by two depths, or an
// orthographic box. Seven 32-bit words in a fixed order, the six after the flag read as the one
// or the other.
#include "core/math/Aabb.h"

struct GmFrustum {
    static constexpr u32 kPerspective = 0;
    static constexpr u32 kOrtho = 1;

    u32 ortho = kPerspective;
    // Perspective: the side slopes at unit depth (x / depth and y / depth) and the depth range.
    // Orthographic: the box, its centre in minX, minY, zNear and its half-size in maxX, maxY,
    // zFar (GetBox and SetOrtho).
    f32 minX = 0.0f;
    f32 minY = 0.0f;
    f32 zNear = 0.0f;
    f32 maxX = 0.0f;
    f32 maxY = 0.0f;
    f32 zFar = 0.0f;

    void Copy(const GmFrustum& other) { *this = other; }
    // A symmetric pyramid: fovY is the full vertical angle in degrees, ratio is width / height.
    void SetPerspective(f32 fovY, f32 ratio, f32 nearDepth, f32 farDepth);
    void SetOrtho(const Aabb& box);
    // The box of an orthographic volume.
    Aabb GetBox() const;
    // Width = ratio * height. Perspective: the x slopes are centred on their old centre;
    // orthographic: the box's half-size x is set.
    void SetRatio(f32 ratio);
    // A perspective record over the same depth range (an orthographic box's z extent) and the
    // same y words, whose x slopes are -1 / maxX and -1 / minX: those of the directions normal to
    // this volume's x side planes. An orthographic volume's words are used as they are stored,
    // its half-size x as maxX and its centre x as minX. A slope of 0 gives an infinite result.
    void GetSidePlanesX(GmFrustum& out) const;
    // The same with the roles of x and y exchanged.
    void GetSidePlanesY(GmFrustum& out) const;
};

static_assert(sizeof(GmFrustum) == 28);
static_assert(std::is_trivially_copyable_v<GmFrustum> && std::is_standard_layout_v<GmFrustum>);
