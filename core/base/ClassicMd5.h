#pragma once
// MD5 (RFC 1321) and HMAC-MD5 (RFC 2104) with a 16-byte key: the digest behind the enciphered
// stream's key and the checksums of network messages.
#include "platform/Types.h"

// Incremental MD5: Update any number of times, then Finish once.
class CClassicMd5 {
public:
    CClassicMd5() { Reset(); }

    void Reset();
    void Update(const void* data, u32 length);
    // Writes the digest; the object must be Reset before it is used again.
    void Finish(u8 digest[16]);

private:
    void Transform(const u8* block, u32 blockCount);

    u32 m_State[4];
    u64 m_Length; // bytes hashed so far
    u8 m_Pending[64];
};

// The MD5 digest of the data.
void ClassicMd5(const void* data, u32 length, u8 digest[16]);

// One HMAC-MD5 computation: `data` and `key` in, `digest` out. Lives in memory only.
struct CClassicHmacMd5Request {
    const u8* data;
    u32 length;
    u8 digest[16];
    u8 key[16];
};

// HMAC-MD5 of the request's data with its 16-byte key (zero-padded to the 64-byte block); the
// result goes to the request's digest.
void ClassicHmacMd5(CClassicHmacMd5Request& request);
