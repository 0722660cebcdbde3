#include "core/math/GmFrustum.h"

#include <cmath>

void GmFrustum::SetPerspective(f32 fovY, f32 ratio, f32 nearDepth, f32 farDepth) {
    // The tangent of half the vertical angle.
    const f32 h = std::tan(fovY * GmPi * (1.0f / 360.0f));
    ortho = kPerspective;
    minX = -ratio * h;
    minY = -h;
    zNear = nearDepth;
    maxX = ratio * h;
    maxY = h;
    zFar = farDepth;
}

void GmFrustum::SetOrtho(const Aabb& box) {
    ortho = kOrtho;
    minX = box.centre.x;
    minY = box.centre.y;
    zNear = box.centre.z;
    maxX = box.halfSize.x;
    maxY = box.halfSize.y;
    zFar = box.halfSize.z;
}

Aabb GmFrustum::GetBox() const {
    return Aabb{{minX, minY, zNear}, {maxX, maxY, zFar}};
}

void GmFrustum::SetRatio(f32 ratio) {
    if (ortho == kOrtho) {
        maxX = ratio * maxY;
        return;
    }
    const f32 centre = (minX + maxX) / 2.0f;
    const f32 halfWidth = ratio * (maxY - minY) / 2.0f;
    minX = centre - halfWidth;
    maxX = centre + halfWidth;
}

void GmFrustum::GetSidePlanesX(GmFrustum& out) const {
    GmFrustum r;
    r.ortho = kPerspective;
    r.zNear = ortho == kOrtho ? zNear - zFar : zNear;
    r.zFar = ortho == kOrtho ? zNear + zFar : zFar;
    r.minY = minY;
    r.maxY = maxY;
    r.minX = -1.0f / maxX;
    r.maxX = -1.0f / minX;
    out = r;
}

void GmFrustum::GetSidePlanesY(GmFrustum& out) const {
    GmFrustum r;
    r.ortho = kPerspective;
    r.zNear = ortho == kOrtho ? zNear - zFar : zNear;
    r.zFar = ortho == kOrtho ? zNear + zFar : zFar;
    r.minX = minX;
    r.maxX = maxX;
    r.minY = -1.0f / maxY;
    r.maxY = -1.0f / minY;
    out = r;
}
