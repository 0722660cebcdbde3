#pragma once
// Little-endian loads and stores: every file and wire format of the engine is little-endian, and
// these helpers keep that explicit whatever the host.
#include "platform/Types.h"

#include <bit>
#include <cstring>

namespace platform {

inline u16 LoadU16Le(const void* p) {
    const u8* b = static_cast<const u8*>(p);
    return static_cast<u16>(b[0] | (b[1] << 8));
}
inline u32 LoadU32Le(const void* p) {
    const u8* b = static_cast<const u8*>(p);
    return u32(b[0]) | (u32(b[1]) << 8) | (u32(b[2]) << 16) | (u32(b[3]) << 24);
}
inline u64 LoadU64Le(const void* p) {
    const u8* b = static_cast<const u8*>(p);
    return u64(LoadU32Le(b)) | (u64(LoadU32Le(b + 4)) << 32);
}
inline f32 LoadF32Le(const void* p) {
    return std::bit_cast<f32>(LoadU32Le(p));
}
inline f64 LoadF64Le(const void* p) {
    return std::bit_cast<f64>(LoadU64Le(p));
}

inline void StoreU16Le(void* p, u16 v) {
    u8* b = static_cast<u8*>(p);
    b[0] = u8(v);
    b[1] = u8(v >> 8);
}
inline void StoreU32Le(void* p, u32 v) {
    u8* b = static_cast<u8*>(p);
    b[0] = u8(v);
    b[1] = u8(v >> 8);
    b[2] = u8(v >> 16);
    b[3] = u8(v >> 24);
}
inline void StoreU64Le(void* p, u64 v) {
    u8* b = static_cast<u8*>(p);
    StoreU32Le(b, u32(v));
    StoreU32Le(b + 4, u32(v >> 32));
}
inline void StoreF32Le(void* p, f32 v) {
    StoreU32Le(p, std::bit_cast<u32>(v));
}
inline void StoreF64Le(void* p, f64 v) {
    StoreU64Le(p, std::bit_cast<u64>(v));
}

} // namespace platform
