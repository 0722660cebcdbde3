#pragma once
// Colours: four floats r, g, b, a, the conversion of pixel bytes into them, and conversions
// between RGB and the hue-based models HSV and HSL (every component between 0 and 1).
#include "core/math/GmConst.h"

#include <type_traits>

struct GmColor {
    f32 r = 0.0f;
    f32 g = 0.0f;
    f32 b = 0.0f;
    f32 a = 1.0f;
};

// Three floats r, g, b: the value of a Color member of a nod.
struct GmColorRgb {
    f32 r = 0.0f;
    f32 g = 0.0f;
    f32 b = 0.0f;
};

struct GmHsv {
    f32 h = 0.0f;
    f32 s = 0.0f;
    f32 v = 0.0f;
};

// Stored in the order h, l, s.
struct GmHsl {
    f32 h = 0.0f;
    f32 l = 0.0f;
    f32 s = 0.0f;
};

static_assert(sizeof(GmColor) == 16 && sizeof(GmColorRgb) == 12 && sizeof(GmHsv) == 12 &&
              sizeof(GmHsl) == 12);
static_assert(std::is_trivially_copyable_v<GmColor> && std::is_standard_layout_v<GmColor>);
static_assert(std::is_trivially_copyable_v<GmColorRgb> && std::is_standard_layout_v<GmColorRgb>);

// The scale of one byte: the float nearest to 1/255.
inline constexpr f32 GmColorByteScale = 0.003921569f;

// Pixel bytes in the order of the pixel formats: 1 byte grey; 2 bytes b, g (r = 0); 3 bytes
// b, g, r; 4 or more bytes b, g, r, a. Alpha is 1 unless a byte gives it. False, with `out`
// unchanged, for no bytes.
bool GmColorFromBytes(GmColor& out, const u8* bytes, u32 count);

// Sets r, g, b from the HSV triple and a to alpha. The hue turns round: a hue outside 0 to 1 is
// taken modulo 1, and a hue within GmEpsilon of 1 is 0. Without saturation (or with a hue that
// is not a number) the colour is the grey v.
void GmHsvToRgb(GmColor& out, const GmHsv& hsv, f32 alpha);

// The HSL triple of r, g, b (alpha is ignored). A grey has s = 0 and h = 0.5. Components
// outside 0 to 1 go through the same formula unchanged: the hue stays in 0 to 1, the lightness
// follows the inputs, and the saturation may be negative, above 1, or infinite where its
// divisor is 0.
void GmRgbToHsl(const GmColor& rgb, GmHsl& out);
