#include "core/base/ClassicMd5.h"

#include "platform/Endian.h"

#include <bit>
#include <cstring>

namespace {

// One step of a round: a = b + rotl(a + f(b, c, d) + word + constant, shift).
template <typename F>
inline void Step(F f, u32& a, u32 b, u32 c, u32 d, u32 word, u32 constant, int shift) {
    a = b + std::rotl(a + f(b, c, d) + word + constant, shift);
}

inline u32 F1(u32 x, u32 y, u32 z) {
    return z ^ (x & (y ^ z));
}
inline u32 F2(u32 x, u32 y, u32 z) {
    return y ^ (z & (x ^ y));
}
inline u32 F3(u32 x, u32 y, u32 z) {
    return x ^ y ^ z;
}
inline u32 F4(u32 x, u32 y, u32 z) {
    return y ^ (x | ~z);
}

} // namespace

void CClassicMd5::Reset() {
    m_State[0] = 0x67452301;
    m_State[1] = 0xEFCDAB89;
    m_State[2] = 0x98BADCFE;
    m_State[3] = 0x10325476;
    m_Length = 0;
}

void CClassicMd5::Transform(const u8* block, u32 blockCount) {
    u32 a0 = m_State[0], b0 = m_State[1], c0 = m_State[2], d0 = m_State[3];
    for (; blockCount > 0; --blockCount, block += 64) {
        u32 x[16];
        for (u32 i = 0; i < 16; ++i) {
            x[i] = platform::LoadU32Le(block + 4 * i);
        }
        u32 a = a0, b = b0, c = c0, d = d0;

        Step(F1, a, b, c, d, x[0], 0xD76AA478, 7);
        Step(F1, d, a, b, c, x[1], 0xE8C7B756, 12);
        Step(F1, c, d, a, b, x[2], 0x242070DB, 17);
        Step(F1, b, c, d, a, x[3], 0xC1BDCEEE, 22);
        Step(F1, a, b, c, d, x[4], 0xF57C0FAF, 7);
        Step(F1, d, a, b, c, x[5], 0x4787C62A, 12);
        Step(F1, c, d, a, b, x[6], 0xA8304613, 17);
        Step(F1, b, c, d, a, x[7], 0xFD469501, 22);
        Step(F1, a, b, c, d, x[8], 0x698098D8, 7);
        Step(F1, d, a, b, c, x[9], 0x8B44F7AF, 12);
        Step(F1, c, d, a, b, x[10], 0xFFFF5BB1, 17);
        Step(F1, b, c, d, a, x[11], 0x895CD7BE, 22);
        Step(F1, a, b, c, d, x[12], 0x6B901122, 7);
        Step(F1, d, a, b, c, x[13], 0xFD987193, 12);
        Step(F1, c, d, a, b, x[14], 0xA679438E, 17);
        Step(F1, b, c, d, a, x[15], 0x49B40821, 22);

        Step(F2, a, b, c, d, x[1], 0xF61E2562, 5);
        Step(F2, d, a, b, c, x[6], 0xC040B340, 9);
        Step(F2, c, d, a, b, x[11], 0x265E5A51, 14);
        Step(F2, b, c, d, a, x[0], 0xE9B6C7AA, 20);
        Step(F2, a, b, c, d, x[5], 0xD62F105D, 5);
        Step(F2, d, a, b, c, x[10], 0x02441453, 9);
        Step(F2, c, d, a, b, x[15], 0xD8A1E681, 14);
        Step(F2, b, c, d, a, x[4], 0xE7D3FBC8, 20);
        Step(F2, a, b, c, d, x[9], 0x21E1CDE6, 5);
        Step(F2, d, a, b, c, x[14], 0xC33707D6, 9);
        Step(F2, c, d, a, b, x[3], 0xF4D50D87, 14);
        Step(F2, b, c, d, a, x[8], 0x455A14ED, 20);
        Step(F2, a, b, c, d, x[13], 0xA9E3E905, 5);
        Step(F2, d, a, b, c, x[2], 0xFCEFA3F8, 9);
        Step(F2, c, d, a, b, x[7], 0x676F02D9, 14);
        Step(F2, b, c, d, a, x[12], 0x8D2A4C8A, 20);

        Step(F3, a, b, c, d, x[5], 0xFFFA3942, 4);
        Step(F3, d, a, b, c, x[8], 0x8771F681, 11);
        Step(F3, c, d, a, b, x[11], 0x6D9D6122, 16);
        Step(F3, b, c, d, a, x[14], 0xFDE5380C, 23);
        Step(F3, a, b, c, d, x[1], 0xA4BEEA44, 4);
        Step(F3, d, a, b, c, x[4], 0x4BDECFA9, 11);
        Step(F3, c, d, a, b, x[7], 0xF6BB4B60, 16);
        Step(F3, b, c, d, a, x[10], 0xBEBFBC70, 23);
        Step(F3, a, b, c, d, x[13], 0x289B7EC6, 4);
        Step(F3, d, a, b, c, x[0], 0xEAA127FA, 11);
        Step(F3, c, d, a, b, x[3], 0xD4EF3085, 16);
        Step(F3, b, c, d, a, x[6], 0x04881D05, 23);
        Step(F3, a, b, c, d, x[9], 0xD9D4D039, 4);
        Step(F3, d, a, b, c, x[12], 0xE6DB99E5, 11);
        Step(F3, c, d, a, b, x[15], 0x1FA27CF8, 16);
        Step(F3, b, c, d, a, x[2], 0xC4AC5665, 23);

        Step(F4, a, b, c, d, x[0], 0xF4292244, 6);
        Step(F4, d, a, b, c, x[7], 0x432AFF97, 10);
        Step(F4, c, d, a, b, x[14], 0xAB9423A7, 15);
        Step(F4, b, c, d, a, x[5], 0xFC93A039, 21);
        Step(F4, a, b, c, d, x[12], 0x655B59C3, 6);
        Step(F4, d, a, b, c, x[3], 0x8F0CCC92, 10);
        Step(F4, c, d, a, b, x[10], 0xFFEFF47D, 15);
        Step(F4, b, c, d, a, x[1], 0x85845DD1, 21);
        Step(F4, a, b, c, d, x[8], 0x6FA87E4F, 6);
        Step(F4, d, a, b, c, x[15], 0xFE2CE6E0, 10);
        Step(F4, c, d, a, b, x[6], 0xA3014314, 15);
        Step(F4, b, c, d, a, x[13], 0x4E0811A1, 21);
        Step(F4, a, b, c, d, x[4], 0xF7537E82, 6);
        Step(F4, d, a, b, c, x[11], 0xBD3AF235, 10);
        Step(F4, c, d, a, b, x[2], 0x2AD7D2BB, 15);
        Step(F4, b, c, d, a, x[9], 0xEB86D391, 21);

        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
    }
    m_State[0] = a0;
    m_State[1] = b0;
    m_State[2] = c0;
    m_State[3] = d0;
}

void CClassicMd5::Update(const void* data, u32 length) {
    if (length == 0) {
        return;
    }
    const u8* bytes = static_cast<const u8*>(data);
    const u32 pending = u32(m_Length % 64);
    m_Length += length;
    if (pending != 0) {
        const u32 take = length < 64 - pending ? length : 64 - pending;
        std::memcpy(m_Pending + pending, bytes, take);
        bytes += take;
        length -= take;
        if (pending + take < 64) {
            return;
        }
        Transform(m_Pending, 1);
    }
    Transform(bytes, length / 64);
    std::memcpy(m_Pending, bytes + (length & ~63u), length % 64);
}

void CClassicMd5::Finish(u8 digest[16]) {
    // 0x80, zeros up to 56 mod 64, then the length in bits.
    u8 tail[72] = {0x80};
    const u32 pending = u32(m_Length % 64);
    const u32 padding = pending < 56 ? 56 - pending : 120 - pending;
    platform::StoreU64Le(tail + padding, m_Length * 8);
    const u64 length = m_Length;
    Update(tail, padding + 8);
    m_Length = length;
    for (u32 i = 0; i < 4; ++i) {
        platform::StoreU32Le(digest + 4 * i, m_State[i]);
    }
}

void ClassicMd5(const void* data, u32 length, u8 digest[16]) {
    CClassicMd5 md5;
    md5.Update(data, length);
    md5.Finish(digest);
}

void ClassicHmacMd5(CClassicHmacMd5Request& request) {
    u8 pad[64];
    u8 inner[16];
    CClassicMd5 md5;

    std::memset(pad, 0x36, sizeof pad);
    for (u32 i = 0; i < 16; ++i) {
        pad[i] ^= request.key[i];
    }
    md5.Update(pad, sizeof pad);
    md5.Update(request.data, request.length);
    md5.Finish(inner);

    std::memset(pad, 0x5C, sizeof pad);
    for (u32 i = 0; i < 16; ++i) {
        pad[i] ^= request.key[i];
    }
    md5.Reset();
    md5.Update(pad, sizeof pad);
    md5.Update(inner, sizeof inner);
    md5.Finish(request.digest);
}
