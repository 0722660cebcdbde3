#include "core/math/GmColor.h"

#include <algorithm>
#include <cmath>

bool GmColorFromBytes(GmColor& out, const u8* bytes, u32 count) {
    if (!bytes || count == 0)
        return false;
    auto unit = [bytes](u32 i) { return f32(bytes[i]) * GmColorByteScale; };
    switch (count) {
        case 1:
            out = {unit(0), unit(0), unit(0), 1.0f};
            break;
        case 2:
            out = {0.0f, unit(1), unit(0), 1.0f};
            break;
        case 3:
            out = {unit(2), unit(1), unit(0), 1.0f};
            break;
        default:
            out = {unit(2), unit(1), unit(0), unit(3)};
            break;
    }
    return true;
}

void GmHsvToRgb(GmColor& out, const GmHsv& hsv, f32 alpha) {
    const f32 s = hsv.s;
    const f32 v = hsv.v;
    out.a = alpha;
    if (std::fabs(s) < GmEpsilon || !std::isfinite(hsv.h)) {
        out.r = out.g = out.b = v;
        return;
    }
    f32 h = hsv.h - std::floor(hsv.h);
    if (std::fabs(h - 1.0f) < GmEpsilon)
        h = 0.0f;
    // h is now below 1 - GmEpsilon, so the sector is 0 to 5.
    const f32 sector = std::nearbyint(6.0f * h - 0.5f);
    const f32 f = 6.0f * h - sector;
    const f32 p = v * (1.0f - s);
    const f32 q = v * (1.0f - s * f);
    const f32 t = v * (1.0f - s * (1.0f - f));
    switch (static_cast<int>(sector)) {
        case 0:
            out.r = v, out.g = t, out.b = p;
            break;
        case 1:
            out.r = q, out.g = v, out.b = p;
            break;
        case 2:
            out.r = p, out.g = v, out.b = t;
            break;
        case 3:
            out.r = p, out.g = q, out.b = v;
            break;
        case 4:
            out.r = t, out.g = p, out.b = v;
            break;
        default:
            out.r = v, out.g = p, out.b = q;
            break;
    }
}

void GmRgbToHsl(const GmColor& rgb, GmHsl& out) {
    const f32 r = rgb.r;
    const f32 g = rgb.g;
    const f32 b = rgb.b;
    const f32 min = std::min({r, g, b});
    const f32 max = std::max({r, g, b});
    const f32 delta = max - min;
    out.l = (min + max) * 0.5f;
    if (std::fabs(delta) < GmEpsilon) {
        out.s = 0.0f;
        out.h = 0.5f;
        return;
    }
    // Inside 0 to 1 both divisors are at least delta; outside, s may leave 0 to 1 and is
    // infinite when its divisor is 0.
    out.s = out.l <= 0.5f ? delta / (min + max) : delta / (2.0f - (min + max));
    f32 h;
    if (std::fabs(r - max) < GmEpsilon)
        h = (g - b) / delta;
    else if (std::fabs(g - max) < GmEpsilon)
        h = (b - r) / delta + 2.0f;
    else
        h = (r - g) / delta + 4.0f;
    h *= 0.16666667f;
    out.h = h < 0.0f ? h + 1.0f : h;
}
