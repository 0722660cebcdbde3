// Fuzzes the base-63 text form: decoding untrusted tokens into a bounded buffer, and encoding.
//
// The first byte is the caller's capacity; the rest is the token. A token that decodes must
// re-encode to itself without its trailing '_' digits (leading zeros of the number). The input
// bytes are also encoded and decoded back.
#include "FuzzCheck.h"
#include "core/base/ClassicString.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // Inputs past 1 KB are not tried: the capacity is one byte, so a token that decodes has at
    // most 342 digits (255 bytes), and the conversion divides the whole number for every digit,
    // so its time grows with the square of the length.
    if (size == 0 || size > 1024)
        return 0;
    const u32 capacity = data[0];
    const CClassicString token(
        CClassicStringRef(reinterpret_cast<const char*>(data + 1), u32(size - 1)));
    // Exactly the capacity on the heap, so that a write past it is caught.
    std::vector<u8> bytes(capacity);
    u32 count = capacity;
    const bool ok = token.GetBase63(bytes.data(), count);
    FUZZ_CHECK(count <= capacity);
    for (u32 i = count; i < capacity; ++i)
        FUZZ_CHECK(bytes[i] == 0);
    CClassicString text;
    if (ok) {
        FUZZ_CHECK(count == 0 || bytes[count - 1] != 0);
        text.SetBase63(bytes.data(), count);
        u32 canonical = token.GetLength();
        while (canonical > 0 && token[canonical - 1] == '_')
            --canonical;
        FUZZ_CHECK(text.GetLength() == canonical);
        FUZZ_CHECK(std::memcmp(text.GetText(), token.GetText(), canonical) == 0);
    } else {
        FUZZ_CHECK(count == 0);
    }

    // Any bytes round-trip, without their trailing zero bytes.
    text.SetBase63(data, u32(size));
    FUZZ_CHECK(text.GetCapacity() >= text.GetLength());
    std::vector<u8> back(size);
    count = u32(size);
    FUZZ_CHECK(text.GetBase63(back.data(), count));
    u32 significant = u32(size);
    while (significant > 0 && data[significant - 1] == 0)
        --significant;
    FUZZ_CHECK(count == significant);
    FUZZ_CHECK(std::memcmp(back.data(), data, significant) == 0);
    return 0;
}
