// Fuzzes the enciphered stream. The first byte chooses the mode. Even: the rest is an
// enciphered file, read whole and then again from positions the input gives; both reads must
// agree. Odd: the rest is written through the stream (enciphering or not, in pieces) and read
// back through the reader.
#include "FuzzCheck.h"
#include "core/base/ClassicBufferCipher.h"
#include "core/base/ClassicLog.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void ReadFile(const u8* data, u32 size) {
    CClassicBufferMemory inner;
    inner.Write(data, size);
    inner.Rewind();
    CClassicBufferCipher cipher;
    if (!cipher.OpenForReading(&inner, size % 2 ? "fuzz" : nullptr)) {
        FUZZ_CHECK(size < 14 || std::memcmp(data, "VorelFile\x01", 10) != 0);
        FUZZ_CHECK(cipher.GetSize() == 0 && cipher.Read(nullptr, 0) == 0);
        return;
    }
    const u32 length = cipher.GetSize();
    FUZZ_CHECK(length == size - 14 && cipher.GetPosition() == 0);
    std::vector<u8> whole(length);
    FUZZ_CHECK(cipher.Read(whole.data(), length) == length);
    // Positions taken from the deciphered bytes themselves, read back a few bytes at a time.
    for (u32 i = 0; i + 1 < length && i < 64; i += 2) {
        const u32 position = (u32(whole[i]) << 8 | whole[i + 1]) % length;
        const u32 n = (length - position) < 17 ? length - position : 17;
        u8 piece[17];
        cipher.SetPosition(position);
        try {
            FUZZ_CHECK(cipher.Read(piece, n) == n);
        } catch (const CClassicBufferException&) {
            FUZZ_CHECK(false);
        }
        FUZZ_CHECK(std::memcmp(piece, whole.data() + position, n) == 0);
    }
}

void RoundTrip(const u8* data, u32 size) {
    const bool encipher = size % 2 == 0;
    CClassicBufferMemory inner;
    CClassicBufferCipher writer;
    FUZZ_CHECK(writer.Open(&inner, encipher, 0, size % 3 ? "fuzz" : nullptr));
    // Piece sizes from the data itself.
    for (u32 at = 0; at < size;) {
        const u32 piece = 1 + data[at] * 3 % 600;
        const u32 n = piece < size - at ? piece : size - at;
        FUZZ_CHECK(writer.Write(data + at, n) == n);
        at += n;
    }
    FUZZ_CHECK(writer.GetPosition() == size && writer.GetSize() == size);
    inner.Rewind();
    std::vector<u8> back(size);
    if (encipher) {
        CClassicBufferCipher reader;
        FUZZ_CHECK(reader.OpenForReading(&inner, size % 3 ? "fuzz" : nullptr));
        FUZZ_CHECK(reader.Read(back.data(), size) == size);
    } else {
        FUZZ_CHECK(inner.Read(back.data(), size) == size);
    }
    FUZZ_CHECK(size == 0 || std::memcmp(back.data(), data, size) == 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Lines are still composed, but not kept: the in-memory log would grow for the whole run.
    g_ClassicLog.m_PrimarySink = nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size == 0 || size > 1u << 20) {
        return 0;
    }
    if (data[0] % 2 == 0) {
        ReadFile(data + 1, u32(size - 1));
    } else {
        RoundTrip(data + 1, u32(size - 1));
    }
    return 0;
}
