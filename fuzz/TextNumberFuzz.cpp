// Fuzzes the number parsers and the integer and real text forms.
//
// The whole input is parsed by the three parsers as configuration text would be. Its first
// bytes also give an integer, a real and a set of flags whose text must read back exactly.
#include "FuzzCheck.h"
#include "core/base/ClassicString.h"
#include "platform/Endian.h"

#include <cmath>
#include <cstdlib>

namespace {

void ParseAnything(const char* data, u32 size) {
    const CClassicString text(CClassicStringRef(data, size));
    i32 decimal = 1, integer = 2, hex = 3;
    f32 real = 4;
    const bool decimalOk = text.ParseDecimal(decimal);
    FUZZ_CHECK(text.ParseInteger(integer, false) == decimalOk && integer == decimal);
    const bool hexOk = text.ParseInteger(hex, true);
    const bool realOk = text.ParseFloat(real);
    // A failed parse always leaves 0; a non-zero result is always valid.
    FUZZ_CHECK(decimalOk || decimal == 0);
    FUZZ_CHECK(hexOk || hex == 0);
    FUZZ_CHECK(realOk || real == 0);
    FUZZ_CHECK(decimal == 0 || decimalOk);
    FUZZ_CHECK(hex == 0 || hexOk);
    FUZZ_CHECK(real == 0 || realOk);
}

void ReadBack(const u8* data) {
    const i32 value = static_cast<i32>(platform::LoadU32Le(data));
    const u8 flags = data[4];
    const bool group = flags & 1, zeroFill = flags & 2, hex = flags & 4, prefix = flags & 8;
    const u32 width = flags >> 4;
    CClassicString text;
    text.SetIntEx(value, group, width, zeroFill, hex, prefix);
    FUZZ_CHECK(text.GetLength() >= width);
    i32 back = 0;
    FUZZ_CHECK(text.ParseInteger(back, hex));
    FUZZ_CHECK(back == value);

    const f32 real = platform::LoadF32Le(data + 5);
    if (std::isfinite(real)) {
        text.SetFloat(real, 9); // nine significant digits identify any float
        f32 realBack = 1;
        FUZZ_CHECK(text.ParseFloat(realBack));
        FUZZ_CHECK(realBack == real);
        text.SetFloat(real, data[9]);
        text.Assign("");
        text.AppendFloat(real);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    ParseAnything(reinterpret_cast<const char*>(data), u32(size));
    if (size >= 10)
        ReadBack(data);
    return 0;
}
