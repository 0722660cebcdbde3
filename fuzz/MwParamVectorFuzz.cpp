// Fuzzes the text form of Vec2 and Vec3 members, as parameter sets hand it over.
//
// The whole input is read as the value text of a Vec2 and of a Vec3 member: a text is either
// refused (no value handed out) or gives exactly the numbers the scan read, the rest of the
// scratch zero. The first twelve bytes also give three floats whose text must read back.
#include "FuzzCheck.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwParamStruct.h"
#include "platform/Endian.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

void ReadText(CMwParam& param, u32 componentCount, const CClassicWideString& text) {
    CMwParamValue value;
    std::memset(value.Scratch, 0xAB, sizeof value.Scratch);
    param.FromText(&value, text, nullptr, CMwParamTextOptions());
    for (u32 i = componentCount * 4; i < sizeof value.Scratch; ++i)
        FUZZ_CHECK(value.Scratch[i] == 0);

    CClassicString narrow;
    text.GetAscii(narrow);
    f32 components[3] = {};
    const bool read = CMwParamStruct::ParseVector(narrow, components, componentCount);
    FUZZ_CHECK(read == (value.Value != nullptr));
    if (read) {
        FUZZ_CHECK(value.Value == value.Scratch);
        FUZZ_CHECK(std::memcmp(value.Scratch, components, componentCount * 4) == 0);
    }
}

void ReadBack(CMwParam& param, const u8* data) {
    f32 v[3];
    for (u32 i = 0; i < 3; ++i)
        v[i] = platform::LoadF32Le(data + 4 * i);
    if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]))
        return;
    CClassicWideString text;
    param.ToText(text, v, nullptr, CMwParamTextOptions());
    CMwParamValue value;
    param.FromText(&value, text, nullptr, CMwParamTextOptions());
    FUZZ_CHECK(value.Value == value.Scratch);
    f32 back[3];
    std::memcpy(back, value.Scratch, sizeof back);
    // Six decimals: half a millionth absolute, plus the float's own rounding.
    for (u32 i = 0; i < 3; ++i)
        FUZZ_CHECK(std::fabs(back[i] - v[i]) <= 1e-6f + std::fabs(v[i]) * 1e-6f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Refusal lines are still composed, but not kept: the in-memory log would grow for the
    // whole run.
    g_ClassicLog.m_PrimarySink = nullptr;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    CMwParamVec2 vec2;
    CMwParamVec3 vec3;
    CClassicWideString text;
    text.AppendNarrow(CClassicStringRef(reinterpret_cast<const char*>(data), u32(size)));
    ReadText(vec2, 2, text);
    ReadText(vec3, 3, text);
    if (size >= 12)
        ReadBack(vec3, data);
    return 0;
}
