#pragma once
// Axis-aligned box stored as a centre and a half-size, six floats written as raw bytes by
// several formats. The empty box is centre 0, half-size (-1, -1, -1); the operations below give
// it no special treatment, so a union starts from a real box. A default box is all zero.
#include "core/math/Iso.h"

class CClassicArchive;

struct Aabb {
    Vec3 centre;
    Vec3 halfSize;

    // this = the box spanning this and other (per axis minimum and maximum corners).
    void Add(const Aabb& other);
    // this = the box around box transformed by iso: centre R c + t, half-size |R| h.
    void SetTransformed(const Aabb& box, const Iso4& iso);
    // Reads or writes the box as its corners: min x, y, z then max x, y, z; afterwards centre
    // and half-size are recomputed from those six values.
    void Archive(CClassicArchive& archive);
    // Reads or writes the six stored floats: centre then half-size.
    void ArchiveRaw(CClassicArchive& archive);
};

static_assert(sizeof(Aabb) == 24);
static_assert(std::is_trivially_copyable_v<Aabb> && std::is_standard_layout_v<Aabb>);
