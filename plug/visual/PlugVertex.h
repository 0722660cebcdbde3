#pragma once
// The vertex record of 3D visuals, and the component kinds of vertex stream elements with the
// element descriptor's fields.
#include "core/math/Vec.h"
#include "platform/Types.h"

#include <type_traits>

// One vertex of a 3D visual: position, normal and an r, g, b, a colour. Stored as raw bytes in
// archives and shared by streams, visuals and the geometry import.
struct SPlugVertex3D {
    Vec3 m_Position;
    Vec3 m_Normal;
    f32 m_Color[4] = {};
};
static_assert(sizeof(SPlugVertex3D) == 40);
static_assert(std::is_trivially_copyable_v<SPlugVertex3D>);

// The kinds of vertex components, as numbered in element descriptors.
enum EPlugVertexKind : u32 {
    EPlugVertexKind_Position = 0,
    EPlugVertexKind_Position1,
    EPlugVertexKind_PositionT,
    EPlugVertexKind_BlendWeight,
    EPlugVertexKind_BlendIndices,
    EPlugVertexKind_Normal,
    EPlugVertexKind_Normal1,
    EPlugVertexKind_PointSize,
    EPlugVertexKind_Color0,
    EPlugVertexKind_Color1,
    EPlugVertexKind_TexCoord0,
    EPlugVertexKind_TexCoord1,
    EPlugVertexKind_TexCoord2,
    EPlugVertexKind_TexCoord3,
    EPlugVertexKind_TexCoord4,
    EPlugVertexKind_TexCoord5,
    EPlugVertexKind_TexCoord6,
    EPlugVertexKind_TexCoord7,
    EPlugVertexKind_TangentU,
    EPlugVertexKind_TangentU1,
    EPlugVertexKind_TangentV,
    EPlugVertexKind_TangentV1,
    EPlugVertexKind_Count
};

// The kind's name ("Position" ... "TangentV1"); null for a kind above 21.
const char* PlugVertexKindName(u32 kind);
// The kind's bit in a component mask (the shaders' vertex requirement flags); 0 for a kind above
// 21.
u32 PlugVertexKindMask(u32 kind);

// Element descriptor: bits 0-8 the kind, bits 18-26 the stride in bytes, bit 30 set when the
// element owns a block of stride x vertex count bytes. Other bits are carried unchanged.
inline constexpr u32 kPlugElementOwnsBlock = 0x40000000;
inline constexpr u32 PlugElementKind(u32 descriptor) {
    return descriptor & 0x1FF;
}
inline constexpr u32 PlugElementStride(u32 descriptor) {
    return (descriptor >> 18) & 0x1FF;
}
inline constexpr bool PlugElementOwns(u32 descriptor) {
    return (descriptor & kPlugElementOwnsBlock) != 0;
}
inline constexpr u32 PlugElementDescriptor(u32 kind, u32 stride, bool owns) {
    return (kind & 0x1FF) | ((stride & 0x1FF) << 18) | (owns ? kPlugElementOwnsBlock : 0);
}
