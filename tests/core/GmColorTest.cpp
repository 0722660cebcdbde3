// Pixel bytes to colours, HSV to RGB and RGB to HSL. Expected values were cross-checked with
// Python's colorsys (which orders HSL as h, l, s too).
#include "core/math/GmColor.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr f32 kNaN = std::numeric_limits<f32>::quiet_NaN();
constexpr f32 kInf = std::numeric_limits<f32>::infinity();

void ExpectColor(const GmColor& c, f32 r, f32 g, f32 b, f32 a) {
    EXPECT_NEAR(c.r, r, 1e-6f);
    EXPECT_NEAR(c.g, g, 1e-6f);
    EXPECT_NEAR(c.b, b, 1e-6f);
    EXPECT_NEAR(c.a, a, 1e-6f);
}

TEST(GmColor, FromBytesReadsTheBytesInPixelOrder) {
    const u8 bytes[] = {10, 20, 30, 40, 50};
    struct Case {
        const u8* Bytes;
        u32 Count;
        f32 R, G, B, A;
    };
    const u8 grey = 128;
    const Case cases[] = {
        {&grey, 1, 128 / 255.0f, 128 / 255.0f, 128 / 255.0f, 1.0f},
        {bytes, 2, 0.0f, 20 / 255.0f, 10 / 255.0f, 1.0f},
        {bytes, 3, 30 / 255.0f, 20 / 255.0f, 10 / 255.0f, 1.0f},
        {bytes, 4, 30 / 255.0f, 20 / 255.0f, 10 / 255.0f, 40 / 255.0f},
        {bytes, 5, 30 / 255.0f, 20 / 255.0f, 10 / 255.0f, 40 / 255.0f}, // only four are read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Count);
        GmColor color{9.0f, 9.0f, 9.0f, 9.0f};
        ASSERT_TRUE(GmColorFromBytes(color, c.Bytes, c.Count));
        ExpectColor(color, c.R, c.G, c.B, c.A);
    }
    // The scale is the float nearest to 1/255: a full byte is exactly 1.
    const u8 full[] = {255, 0, 255, 255};
    GmColor color;
    ASSERT_TRUE(GmColorFromBytes(color, full, 4));
    EXPECT_EQ(color.r, 1.0f);
    EXPECT_EQ(color.g, 0.0f);
    EXPECT_EQ(color.a, 1.0f);
}

TEST(GmColor, FromBytesRefusesNoBytes) {
    const u8 bytes[] = {1, 2, 3, 4};
    GmColor color{0.25f, 0.5f, 0.75f, 0.125f};
    EXPECT_FALSE(GmColorFromBytes(color, bytes, 0));
    EXPECT_FALSE(GmColorFromBytes(color, nullptr, 4));
    ExpectColor(color, 0.25f, 0.5f, 0.75f, 0.125f);
}

TEST(GmColor, HsvToRgb) {
    struct Case {
        f32 H, S, V;
        f32 R, G, B;
    };
    const Case cases[] = {
        {0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f},
        {1.0f / 6, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f},
        {0.25f, 0.5f, 0.8f, 0.6f, 0.8f, 0.4f},
        {0.5f, 1.0f, 1.0f, 0.0f, 1.0f, 1.0f},
        {0.6f, 0.3f, 0.4f, 0.28f, 0.328f, 0.4f},
        {0.75f, 1.0f, 0.5f, 0.25f, 0.0f, 0.5f},
        {0.9f, 0.8f, 0.9f, 0.9f, 0.18f, 0.612f},
        {0.999f, 1.0f, 1.0f, 1.0f, 0.0f, 0.006f},
        // No saturation: the grey v, whatever the hue.
        {0.3f, 0.0f, 0.7f, 0.7f, 0.7f, 0.7f},
        {0.3f, 0.000009f, 0.7f, 0.7f, 0.7f, 0.7f},
        // The hue turns round: 1 is 0, and hues outside 0 to 1 are taken modulo 1.
        {1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f},
        {0.999995f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f},
        {1.25f, 0.5f, 0.8f, 0.6f, 0.8f, 0.4f},
        {-0.25f, 1.0f, 0.5f, 0.25f, 0.0f, 0.5f},
        {-0.0000001f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f},
        {kNaN, 1.0f, 0.3f, 0.3f, 0.3f, 0.3f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "h " << c.H << " s " << c.S << " v " << c.V);
        GmColor color{-7.0f, -7.0f, -7.0f, -7.0f};
        GmHsvToRgb(color, GmHsv{c.H, c.S, c.V}, 0.5f);
        ExpectColor(color, c.R, c.G, c.B, 0.5f);
    }
}

TEST(GmColor, RgbToHsl) {
    struct Case {
        f32 R, G, B;
        f32 H, L, S;
    };
    const Case cases[] = {
        {1.0f, 0.0f, 0.0f, 0.0f, 0.5f, 1.0f},
        {0.0f, 0.0f, 1.0f, 4.0f / 6, 0.5f, 1.0f},
        {0.0f, 1.0f, 0.0f, 2.0f / 6, 0.5f, 1.0f},
        {0.2f, 0.4f, 0.6f, 0.583333333f, 0.4f, 0.5f},
        {0.9f, 0.1f, 0.3f, 0.958333333f, 0.5f, 0.8f},
        {0.25f, 0.75f, 0.5f, 0.416666667f, 0.5f, 0.5f},
        {1.0f, 1.0f, 0.0f, 1.0f / 6, 0.5f, 1.0f},
        {0.1f, 0.05f, 0.02f, 0.0625f, 0.06f, 0.666666667f},
        {0.8f, 0.9f, 0.95f, 0.555555556f, 0.875f, 0.6f},
        // Greys have hue 0.5.
        {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f},
        {0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f},
        // Components outside 0 to 1 are not clamped: the same formula gives a lightness out of
        // range and a saturation that is above 1, negative, or infinite where its divisor
        // (min + max, or 2 - (min + max)) is 0. The hue stays in 0 to 1.
        {1.5f, -0.2f, 0.5f, 0.931372549f, 0.65f, 2.428571429f},
        {1.5f, 0.5f, 0.25f, 1.0f / 30, 0.875f, 5.0f},
        {3.0f, 1.0f, 2.0f, 11.0f / 12, 2.0f, -1.0f},
        {-1.0f, -1.0f, -0.5f, 4.0f / 6, -0.75f, -1.0f / 3},
        {-0.5f, 0.5f, 0.0f, 5.0f / 12, 0.0f, kInf},
        {1.5f, 0.5f, 0.5f, 0.0f, 1.0f, kInf},
        {2.0f, 2.0f, 2.0f, 0.5f, 2.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rgb " << c.R << " " << c.G << " " << c.B);
        GmHsl hsl{-7.0f, -7.0f, -7.0f};
        GmRgbToHsl(GmColor{c.R, c.G, c.B, 0.0f}, hsl);
        EXPECT_NEAR(hsl.h, c.H, 1e-6f);
        EXPECT_NEAR(hsl.l, c.L, 1e-6f);
        if (std::isinf(c.S))
            EXPECT_EQ(hsl.s, c.S);
        else
            EXPECT_NEAR(hsl.s, c.S, 1e-6f);
    }
}

// A fully saturated HSV colour of any hue has that hue in HSL too, with l = 0.5 and s = 1.
TEST(GmColor, SaturatedHuesRoundTrip) {
    for (u32 i = 0; i < 600; ++i) {
        const f32 hue = f32(i) / 600.0f;
        GmColor color;
        GmHsvToRgb(color, GmHsv{hue, 1.0f, 1.0f}, 1.0f);
        GmHsl hsl;
        GmRgbToHsl(color, hsl);
        ASSERT_NEAR(hsl.h, hue, 2e-6f) << i;
        ASSERT_NEAR(hsl.l, 0.5f, 1e-6f) << i;
        ASSERT_NEAR(hsl.s, 1.0f, 1e-6f) << i;
    }
}

} // namespace
