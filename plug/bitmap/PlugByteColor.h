#pragma once
// Colours and reals that a Plug nod keeps as bytes (B, G, R, A) but shows through its members as
// reals in [0, 1]: the conversions and the member answers over them, shared by the bitmap and its
// render targets.
#include "core/math/GmColor.h"
#include "core/nod/MwMemberInfo.h"
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwVirtualMember.h"

namespace plug_bytes {

// A real stored as a byte: value x 255 truncated toward zero, kept inside the byte (NaN gives 0).
inline u8 ToByte(f32 value) {
    const f32 scaled = value * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    return scaled >= 255.0f ? 255 : u8(scaled);
}

inline f32 FromByte(u8 byte) {
    return f32(byte) / 255.0f;
}

// The colour of bytes B, G, R at bgr[0..2].
inline GmColorRgb ByteColor(const u8* bgr) {
    return {FromByte(bgr[2]), FromByte(bgr[1]), FromByte(bgr[0])};
}

// A colour member over bytes B, G, R: the member's descriptor writes the colour (whole or one
// component) and only the components it changed go back into their bytes, so that the others
// keep their exact byte.
inline u32 SetByteColor(CMwMemberInfo& member, CMwMemberPath* path, const void* value, u8* bgr) {
    GmColorRgb color = ByteColor(bgr);
    const GmColorRgb before = color;
    const u32 result = member.Param->Set(&color, path, value);
    if (result != MwParam_Ok)
        return result;
    if (color.r != before.r)
        bgr[2] = ToByte(color.r);
    if (color.g != before.g)
        bgr[1] = ToByte(color.g);
    if (color.b != before.b)
        bgr[0] = ToByte(color.b);
    return MwParam_Ok;
}

inline u32 SetByteReal(CMwMemberInfo& member, CMwMemberPath* path, const void* value, u8* byte) {
    f32 real = FromByte(*byte);
    const f32 before = real;
    const u32 result = member.Param->Set(&real, path, value);
    if (result == MwParam_Ok && real != before)
        *byte = ToByte(real);
    return result;
}

// A computed structured value answered through the member's descriptor (whole, or one
// component), from the value reference's scratch.
template <class T>
u32 AnswerStruct(CMwMemberInfo& member, CMwMemberPath* path, CMwParamValue* out, const T& value) {
    MwAnswerValue(out, value);
    return member.Param->Get(out->Scratch, path, out);
}

// A packed colour B | G << 8 | R << 16 | A << 24 as bytes B, G, R, A, and back.
inline void Unpack(u32 packed, u8 bytes[4]) {
    for (u32 i = 0; i < 4; ++i)
        bytes[i] = u8(packed >> (8 * i));
}
inline u32 Pack(const u8 bytes[4]) {
    return u32(bytes[0]) | u32(bytes[1]) << 8 | u32(bytes[2]) << 16 | u32(bytes[3]) << 24;
}

} // namespace plug_bytes
