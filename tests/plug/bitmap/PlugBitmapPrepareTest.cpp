// Bitmap preparation and DDS output: the gaussian kernel and its address modes, the box chain of
// other sides, the border ring, alpha fade and normal renormalisation of the chain, cube chains
// face by face, heights into normals, the output buffer's growth, and DDS files byte for byte
// (header, output kinds, refusals, default target, row order, decoded texels) with the failures
// that must keep an old file.
#include "core/nod/MwMemberPath.h"
#include "core/nod/MwParam.h"
#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugFileTga.h"
#include "system/fid/SystemFid.h"
#include "system/file/FileSystem.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/plug/PlugTestSupport.h"
#include "tests/plug/bitmap/PictureTestSupport.h"
#include "tests/plug/support/DdsReader.h"

#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/resource.h>

namespace {

using B = CPlugBitmap;
using Img = CPlugFileImg;

u32 SetMember(CMwNod* nod, const char* text, u32 value) {
    CMwMemberPath path;
    EXPECT_EQ(path.ParseFromText(CMwNod::s_NoClassId, nod, CClassicString(text)), 0u) << text;
    return nod->SetParam(&path, &value);
}

u32 U32At(const std::string& bytes, size_t offset) {
    u32 value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

// A bitmap over a new image of the size, its pixels from fill (x, y, component), prepared pixels
// kept in memory, mip mapping as asked.
struct CTestBitmap {
    CTestBitmap(u32 width, u32 height, u32 nbComp, const std::function<u8(u32, u32, u32)>& fill,
                bool mips, u32 dimension = Img::EDimension_2d) {
        auto* image = new Img;
        ImageHeld = CMwNodRef(image);
        image->Create(width, height, nbComp, Img::EFormat_BGRA, nullptr, 0, false, false, dimension,
                      1);
        const u32 faces = dimension == Img::EDimension_Cube ? 6 : 1;
        for (u32 face = 0; face < faces; ++face)
            for (u32 y = 0; y < height; ++y)
                for (u32 x = 0; x < width; ++x)
                    for (u32 k = 0; k < nbComp; ++k)
                        image->m_Pixels[((u64(face) * height + y) * width + x) * nbComp + k] =
                            fill(x + face * width, y, k);
        Attach(image, mips);
    }
    // A bitmap over a picture of the DDS fixtures (tests/plug/fixtures/dds).
    CTestBitmap(const std::string& fixture, bool mips) {
        auto* image = new CPlugFileTga;
        ImageHeld = CMwNodRef(image);
        EXPECT_EQ(ReadTgaBytes(*image, Fixture("dds/" + fixture)), 1) << fixture;
        Attach(image, mips);
    }
    void Attach(Img* image, bool mips) {
        Bitmap = new B;
        Held = CMwNodRef(Bitmap);
        EXPECT_EQ(SetMember(Bitmap, "CanBeDeletedFromSystemMemory", 0), 0u);
        Bitmap->SetImage(image);
        Bitmap->SetWantMipMapping(mips);
    }
    Img* Image() const { return Bitmap->GetImage(); }

    CMwNodRef ImageHeld;
    CMwNodRef Held;
    B* Bitmap = nullptr;
};

u8 Gradient(u32 x, u32 y, u32 k) {
    return u8((x * 7 + y * 13 + k * 50) & 0xFF);
}

class PlugBitmapPrepare : public CPlugNodCountFixture {
protected:
    std::string Target(const std::string& name) const { return m_Temp.File(name); }
    CClassicWideString TargetName(const std::string& name) const { return m_Temp.Engine(name); }
};

// ---------------------------------------------------------------------------------------------
// The power-of-two chain

// The stored weights are the formula's values over their sum, rounded to f32, as Python's math
// computes them.
TEST_F(PlugBitmapPrepare, GaussianKernelMatchesTheFormula) {
    const std::string script = R"(
import math, struct
v = [math.exp(-1.501 * ((c - 1.5) ** 2 + (r - 1.5) ** 2)) for r in range(4) for c in range(4)]
s = sum(v)
print(' '.join(str(struct.unpack('<I', struct.pack('<f', x / s))[0]) for x in v))
)";
    const std::string printed = RunPython(m_Temp, script, "");
    std::istringstream in(printed);
    const f32* kernel = MipGaussianKernel();
    f32 sum = 0;
    for (u32 i = 0; i < 16; ++i) {
        u32 expected = 0, stored = 0;
        in >> expected;
        std::memcpy(&stored, &kernel[i], 4);
        EXPECT_EQ(stored, expected) << "weight " << i;
        sum += kernel[i];
    }
    EXPECT_NEAR(sum, 1.0f, 1e-6f);
    // Symmetric about the centre; the four middle taps weigh most.
    EXPECT_EQ(kernel[0], kernel[15]);
    EXPECT_EQ(kernel[5], kernel[10]);
    EXPECT_GT(kernel[5], kernel[1]);
}

TEST_F(PlugBitmapPrepare, TapIndicesByAddressMode) {
    enum { Wrap, Mirror, Clamp, MirrorOnce };
    struct Case {
        i64 K;
        u32 Side, Mode, Expected;
    } const cases[] = {
        {-1, 4, Wrap, 3},  {-1, 4, Mirror, 1}, {-1, 4, MirrorOnce, 1}, {-1, 4, Clamp, 0},
        {4, 4, Wrap, 0},   {4, 4, Mirror, 3},  {4, 4, MirrorOnce, 3},  {4, 4, Clamp, 3},
        {5, 4, Mirror, 2}, {-2, 8, Wrap, 6},   {-2, 8, Mirror, 2},     {9, 8, Wrap, 1},
        {9, 8, Mirror, 6}, {2, 4, Clamp, 2},   {0, 4, Wrap, 0},        {-1, 1, Wrap, 0},
        {1, 1, Mirror, 0}, {2, 1, Clamp, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MipTapIndex(c.K, c.Side, c.Mode), c.Expected)
            << "k " << c.K << " side " << c.Side << " mode " << c.Mode;
}

// Level 1 of a 4 x 4 picture whose column 0 is white: Clamp reads column 0 twice for the left
// texel (taps -1 and 0) and never for the right one; Wrap reads it once for each (tap -1 is
// column 3 of the left texel, tap 4 column 0 of the right one); Mirror once for the left (tap
// -1 is column 1) and never for the right (tap 4 is column 3).
TEST_F(PlugBitmapPrepare, AddressModesChooseTheOutsideTaps) {
    const f32* w = MipGaussianKernel();
    const auto column = [&](u32 c) { return f64(w[c]) + w[4 + c] + w[8 + c] + w[12 + c]; };
    struct Case {
        u32 Mode;
        f64 Left, Right;
    } const cases[] = {
        {2, column(0) + column(1), 0.0},
        {0, column(1), column(3)},
        {1, column(1), 0.0},
    };
    for (const Case& c : cases) {
        CTestBitmap t(
            4, 4, 3, [](u32 x, u32, u32) { return u8(x == 0 ? 255 : 0); }, true);
        t.Bitmap->SetTexAddress(c.Mode, 0, 0);
        ASSERT_TRUE(t.Bitmap->PrepareImage());
        u32 w1 = 0, h1 = 0;
        const u8* level = t.Image()->GetLevel(0, 1, nullptr, &w1, &h1);
        ASSERT_NE(level, nullptr);
        ASSERT_EQ(w1, 2u);
        ASSERT_EQ(h1, 2u);
        for (u32 y = 0; y < 2; ++y) {
            EXPECT_NEAR(level[(y * 2) * 3], 255 * c.Left, 1.0) << "mode " << c.Mode;
            EXPECT_NEAR(level[(y * 2 + 1) * 3], 255 * c.Right, 1.0) << "mode " << c.Mode;
        }
    }
}

TEST_F(PlugBitmapPrepare, PowerOfTwoChainFillsOneBlock) {
    CTestBitmap t(16, 4, 3, Gradient, true);
    const std::vector<u8> level0(t.Image()->m_Pixels, t.Image()->m_Pixels + 16 * 4 * 3);
    ASSERT_TRUE(t.Bitmap->PrepareImage());
    Img* image = t.Image();
    EXPECT_TRUE(image->AreMipMapInSystem());
    EXPECT_EQ(image->m_ByteSize, CountTexels(16, 4, 0, 0, 1) * 3);
    EXPECT_EQ(std::vector<u8>(image->m_Pixels, image->m_Pixels + level0.size()), level0);
    const u32 sizes[][2] = {{16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}};
    for (u32 k = 0; k < 5; ++k) {
        u32 w = 0, h = 0;
        ASSERT_NE(image->GetLevel(0, k, nullptr, &w, &h), nullptr) << k;
        EXPECT_EQ(w, sizes[k][0]);
        EXPECT_EQ(h, sizes[k][1]);
    }
    // A second preparation finds the chain and leaves it.
    const u8* block = image->m_Pixels;
    ASSERT_TRUE(t.Bitmap->PrepareImage());
    EXPECT_EQ(image->m_Pixels, block);
    // The dirty flag is read, never cleared.
    EXPECT_TRUE(t.Bitmap->IsDirty());
}

// The forced border: written into level 0 while the bitmap is dirty, and kept on the ring of
// every level of the chain; the alpha fade clamps factors outside [0, 1] to a byte.
TEST_F(PlugBitmapPrepare, BorderRingAndAlphaFade) {
    CTestBitmap t(
        8, 8, 4, [](u32, u32, u32) { return u8(200); }, true);
    B* bitmap = t.Bitmap;
    bitmap->m_BorderColor[0] = 10;
    bitmap->m_BorderColor[1] = 20;
    bitmap->m_BorderColor[2] = 30;
    bitmap->m_BorderColor[3] = 40;
    ASSERT_EQ(SetMember(bitmap, "ForceBorderRGB", 1), 0u);
    ASSERT_EQ(SetMember(bitmap, "IsMipMapLowerAlphaEnable", 1), 0u);
    bitmap->m_MipMapFadeAlphas.SetCount(3);
    bitmap->m_MipMapFadeAlphas[0] = 0.5f;
    bitmap->m_MipMapFadeAlphas[1] = 2.0f;
    bitmap->m_MipMapFadeAlphas[2] = -1.0f;
    bitmap->m_MipMapLowerAlpha = 0.0f;
    ASSERT_TRUE(bitmap->PrepareImage());
    Img* image = t.Image();
    for (u32 k = 0; k < 4; ++k) {
        u32 w = 0, h = 0;
        const u8* level = image->GetLevel(0, k, nullptr, &w, &h);
        ASSERT_NE(level, nullptr);
        // Level 1 takes factor 2 (400 clamps to 255), levels 2 and 3 take -1 (0).
        const u8 alpha = k == 0 ? 200 : k == 1 ? 255 : 0;
        for (u32 y = 0; y < h; ++y)
            for (u32 x = 0; x < w; ++x) {
                const u8* texel = level + (y * w + x) * 4;
                const bool ring = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                if (ring) {
                    EXPECT_EQ(texel[0], 10);
                    EXPECT_EQ(texel[2], 30);
                } else {
                    EXPECT_GE(texel[0], 198) << "level " << k;
                }
                EXPECT_EQ(texel[3], alpha) << "level " << k << " at " << x << ", " << y;
            }
    }
}

// Normal maps keep unit normals down the chain: (190, 127, 190) reads as (0.496, 0, 0.496) and
// is stored as the unit vector (0.707, 0, 0.707).
TEST_F(PlugBitmapPrepare, NormalMapLevelsAreRenormalised) {
    struct Case {
        u32 Usage, NbComp, Bytes[3];
    } const cases[] = {
        {B::NxNyNz, 3, {0, 1, 2}},
        {B::NormRxG0BzAy, 4, {0, 2, 3}},
        {B::NormR0GyBzAx, 4, {0, 1, 3}},
    };
    for (const Case& c : cases) {
        const auto fill = [&](u32, u32, u32 k) {
            return u8(k == c.Bytes[0] || k == c.Bytes[2] ? 190 : k == c.Bytes[1] ? 127 : 77);
        };
        CTestBitmap t(4, 4, c.NbComp, fill, true);
        ASSERT_TRUE(t.Bitmap->SetUsage(c.Usage));
        ASSERT_TRUE(t.Bitmap->PrepareImage());
        const u8* level = t.Image()->GetLevel(0, 1, nullptr, nullptr, nullptr);
        ASSERT_NE(level, nullptr);
        // The filter's truncation may take one off a byte before the renormalisation.
        EXPECT_NEAR(level[c.Bytes[0]], 216, 1) << c.Usage;
        EXPECT_NEAR(level[c.Bytes[1]], 127, 2) << c.Usage;
        EXPECT_NEAR(level[c.Bytes[2]], 216, 1) << c.Usage;
    }
}

// A cube gets each face's own chain, in the image's layout of faces.
TEST_F(PlugBitmapPrepare, CubeFacesGetTheirOwnChains) {
    CTestBitmap cube(8, 8, 3, Gradient, true, Img::EDimension_Cube);
    ASSERT_TRUE(cube.Bitmap->BuildMipChain());
    Img* image = cube.Image();
    EXPECT_EQ(image->GetDimension(), u32(Img::EDimension_Cube));
    EXPECT_EQ(image->m_ByteSize, 6 * CountTexels(8, 8, 0, 0, 1) * 3);
    for (u32 face = 0; face < 6; ++face) {
        CTestBitmap flat(
            8, 8, 3, [&](u32 x, u32 y, u32 k) { return Gradient(x + face * 8, y, k); }, true);
        ASSERT_TRUE(flat.Bitmap->PrepareImage());
        for (u32 k = 0; k < 4; ++k) {
            u32 size = 0, flatSize = 0;
            const u8* got = image->GetLevel(face, k, &size, nullptr, nullptr);
            const u8* want = flat.Image()->GetLevel(0, k, &flatSize, nullptr, nullptr);
            ASSERT_TRUE(got && want);
            ASSERT_EQ(size, flatSize);
            EXPECT_EQ(std::memcmp(got, want, size), 0) << "face " << face << " level " << k;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The box chain

// A 3 x 5 picture: level 1 is 1 x 2 (weights 1/3 across, 2/5 2/5 1/5 and 1/5 2/5 2/5 down),
// level 2 is 1 x 1 (1/2 1/2). Exact sums keep a uniform picture uniform.
TEST_F(PlugBitmapPrepare, BoxChainOfOtherSides) {
    CTestBitmap t(
        3, 5, 3, [](u32 x, u32 y, u32 k) { return u8(k == 1 ? 255 : 10 * y + x); }, false);
    t.Bitmap->SetWantMipMapping(true);
    ASSERT_TRUE(t.Bitmap->BuildMipChain());
    Img* image = t.Image();
    EXPECT_EQ(image->m_ByteSize, (15u + 2 + 1) * 3);
    u32 w = 0, h = 0;
    const u8* level1 = image->GetLevel(0, 1, nullptr, &w, &h);
    ASSERT_NE(level1, nullptr);
    EXPECT_EQ(w, 1u);
    EXPECT_EQ(h, 2u);
    EXPECT_EQ(level1[0], 9);
    EXPECT_EQ(level1[3], 33);
    const u8* level2 = image->GetLevel(0, 2, nullptr, &w, &h);
    ASSERT_NE(level2, nullptr);
    EXPECT_EQ(w * h, 1u);
    EXPECT_EQ(level2[0], 21);
    for (const u8* texel : {level1, level1 + 3, level2})
        EXPECT_EQ(texel[1], 255);
}

TEST_F(PlugBitmapPrepare, ChainRefusals) {
    CMwNodRef held(new B);
    auto* bitmap = static_cast<B*>(held.Get());
    EXPECT_FALSE(bitmap->PrepareImage());
    EXPECT_FALSE(bitmap->BuildMipChain());
    // A compressed image has no chain to build, and an image without pixels or file neither.
    CMwNodRef dxt(new Img);
    static_cast<Img*>(dxt.Get())->Create(8, 8, 4, Img::EFormat_DXT1, new u8[32](), 32, false, false,
                                         Img::EDimension_2d, 1);
    bitmap->SetImage(static_cast<Img*>(dxt.Get()));
    EXPECT_FALSE(bitmap->BuildMipChain());
    CMwNodRef empty(new Img);
    bitmap->SetImage(static_cast<Img*>(empty.Get()));
    EXPECT_FALSE(bitmap->PrepareImage());
    // A chain larger than the image limit is not built, and the image keeps its level 0.
    CTestBitmap big(64, 64, 4, Gradient, false);
    const CImageLimit limit(64 * 64 * 4 + 100);
    big.Bitmap->SetWantMipMapping(true);
    EXPECT_FALSE(big.Bitmap->PrepareImage());
    EXPECT_FALSE(big.Image()->AreMipMapInSystem());
    EXPECT_EQ(big.Image()->m_Pixels[5], Gradient(1, 0, 1));
}

// The first texel's alpha goes to 0 while the bitmap is dirty.
TEST_F(PlugBitmapPrepare, FirstTexelTransparent) {
    CTestBitmap t(
        4, 4, 4, [](u32, u32, u32) { return u8(255); }, false);
    ASSERT_EQ(SetMember(t.Bitmap, "Force1stPixelAlpha0", 1), 0u);
    t.Bitmap->SetDirty(false);
    ASSERT_TRUE(t.Bitmap->PrepareImage());
    EXPECT_EQ(t.Image()->m_Pixels[3], 255);
    t.Bitmap->SetDirty(true);
    ASSERT_TRUE(t.Bitmap->PrepareImage());
    EXPECT_EQ(t.Image()->m_Pixels[3], 0);
    EXPECT_EQ(t.Image()->m_Pixels[7], 255);
}

// ---------------------------------------------------------------------------------------------
// Heights into normals

// A 4 x 4 ramp across (0, 51, 102, 153 by column, wrapping): slopes of -0.4, 0.4, 0.4, -0.4 (the
// neighbours wrap); flat down. Both layouts and the rotation.
TEST_F(PlugBitmapPrepare, HeightsIntoNormals) {
    const auto bytes = [](f64 nx, f64 ny, f64 nz) {
        const f64 length = std::sqrt(nx * nx + ny * ny + nz * nz);
        return std::array<u8, 3>{u8((nx / length + 1) * 127.5), u8((ny / length + 1) * 127.5),
                                 u8((nz / length + 1) * 127.5)};
    };
    // dx at columns 0..3: (51 - 153), (102 - 0), (153 - 51), (0 - 102), over 255.
    const f64 dx[4] = {-0.4, 0.4, 0.4, -0.4};
    struct Case {
        u32 Usage;
        bool Rotate;
    } const cases[] = {
        {B::Height2RxG0BzAy, false}, {B::Height2R0GyBzAx, false}, {B::Height2RxG0BzAy, true}};
    for (const Case& c : cases) {
        CTestBitmap t(
            4, 4, 1, [](u32 x, u32, u32) { return u8(51 * x); }, false);
        ASSERT_TRUE(t.Bitmap->SetUsage(c.Usage));
        t.Bitmap->m_BumpScaleFactor = 1.0f;
        ASSERT_EQ(SetMember(t.Bitmap, "NormalRotate", c.Rotate), 0u);
        CMwNodRef target(new Img);
        auto* normals = static_cast<Img*>(target.Get());
        t.Bitmap->ConvertHeightToNormals(normals, c.Usage + 1);
        ASSERT_TRUE(normals->IsLoaded());
        EXPECT_EQ(normals->GetNbComp(), 4u);
        EXPECT_FALSE(normals->AreMipMapInSystem());
        for (u32 x = 0; x < 4; ++x) {
            const auto n = c.Rotate ? bytes(-2 * dx[x], 4, 0) : bytes(-2 * dx[x], 0, 4);
            const u8* texel = normals->m_Pixels + (2 * 4 + x) * 4;
            EXPECT_EQ(texel[0], n[2]) << x;
            if (c.Usage == B::Height2RxG0BzAy) {
                EXPECT_EQ(texel[1], 0);
                EXPECT_EQ(texel[2], n[0]) << x;
                EXPECT_EQ(texel[3], n[1]) << x;
            } else {
                EXPECT_EQ(texel[1], n[1]) << x;
                EXPECT_EQ(texel[2], 0);
                EXPECT_EQ(texel[3], n[0]) << x;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The output buffer

TEST_F(PlugBitmapPrepare, OutputBufferGrowsByHalfOrToTheNeed) {
    DdsOutputBuffer& out = g_DdsOutputBuffer;
    std::free(out.Data);
    out.Data = nullptr;
    out.Capacity = out.Length = 0;
    out.Failed = false;
    std::vector<u8> bytes(181);
    for (u32 i = 0; i < bytes.size(); ++i)
        bytes[i] = u8(i * 3);
    // Appends and the capacity after each: 10 (the need), 15 (by half), 22, 121 (the need),
    // 181 (by half).
    const u32 steps[][2] = {{10, 10}, {1, 15}, {10, 22}, {100, 121}, {1, 181}, {59, 181}};
    u32 length = 0;
    for (const auto& step : steps) {
        EXPECT_EQ(AppendCompressedBytes(bytes.data() + length, 0, step[0]), 0);
        length += step[0];
        EXPECT_EQ(out.Capacity, step[1]);
        EXPECT_EQ(out.Length, length);
    }
    EXPECT_EQ(std::memcmp(out.Data, bytes.data(), length), 0);
}

// ---------------------------------------------------------------------------------------------
// DDS files

struct CDdsHeader {
    explicit CDdsHeader(const std::string& file) : File(file) {}
    u32 Field(u32 offset) const { return U32At(File, offset); }
    std::string FourCc() const { return File.substr(84, 4); }
    const std::string& File;
};

// A 256 x 256 colour picture: the header field by field, 9 levels of 43704 bytes (the 2 x 2
// and 1 x 1 levels padded to one block each), or 1 level of 32768 without mip mapping.
TEST_F(PlugBitmapPrepare, DdsHeaderAndLevels) {
    for (const bool mips : {true, false}) {
        CTestBitmap t(256, 256, 3, Gradient, mips);
        ASSERT_TRUE(t.Bitmap->CompressToDds(false, TargetName("out.dds"), false));
        const std::string file = ReadWholeFile(Target("out.dds"));
        const CDdsHeader header(file);
        ASSERT_EQ(file.size(), 128u + (mips ? 43704 : 32768));
        EXPECT_EQ(file.substr(0, 4), "DDS ");
        EXPECT_EQ(header.Field(4), 124u);
        EXPECT_EQ(header.Field(8), 0xA1007u);
        EXPECT_EQ(header.Field(12), 256u);
        EXPECT_EQ(header.Field(16), 256u);
        EXPECT_EQ(header.Field(20), 32768u);
        EXPECT_EQ(header.Field(24), 0u);
        EXPECT_EQ(header.Field(28), mips ? 9u : 1u);
        for (u32 offset = 32; offset < 76; offset += 4)
            EXPECT_EQ(header.Field(offset), 0u) << offset;
        EXPECT_EQ(header.Field(76), 32u);
        EXPECT_EQ(header.Field(80), 4u);
        EXPECT_EQ(header.FourCc(), "DXT1");
        for (u32 offset = 88; offset < 108; offset += 4)
            EXPECT_EQ(header.Field(offset), 0u) << offset;
        EXPECT_EQ(header.Field(108), mips ? 0x401008u : 0x1008u);
        for (u32 offset = 112; offset < 128; offset += 4)
            EXPECT_EQ(header.Field(offset), 0u) << offset;
    }
}

// The output kind by the image's components and the bitmap's alpha flags: four-character code,
// linear size and the transparent texels of one-bit alpha.
TEST_F(PlugBitmapPrepare, OutputKinds) {
    struct Case {
        u32 NbComp;
        bool OneBit, SkipDxt1, Interpolated;
        const char* FourCc;
        u32 BlockBytes;
    } const cases[] = {
        {3, false, false, true, "DXT1", 8},   {4, true, false, true, "DXT1", 8},
        {4, true, true, true, "DXT3", 16},    {4, false, false, true, "DXT5", 16},
        {4, false, false, false, "DXT3", 16},
    };
    for (const Case& c : cases) {
        // Alpha 0 on the left half, 255 on the right.
        const auto fill = [](u32 x, u32 y, u32 k) {
            return k == 3 ? u8(x < 8 ? 0 : 255) : Gradient(x, y, k);
        };
        CTestBitmap t(16, 16, c.NbComp, fill, false);
        ASSERT_EQ(SetMember(t.Bitmap, "IsOneBitAlpha", c.OneBit), 0u);
        ASSERT_EQ(SetMember(t.Bitmap, "CompressSkipDXT1", c.SkipDxt1), 0u);
        ASSERT_EQ(SetMember(t.Bitmap, "CompressInterpolatedAlpha", c.Interpolated), 0u);
        ASSERT_TRUE(t.Bitmap->CompressToDds(false, TargetName("kind.dds"), false));
        const std::string file = ReadWholeFile(Target("kind.dds"));
        EXPECT_EQ(CDdsHeader(file).FourCc(), c.FourCc);
        EXPECT_EQ(CDdsHeader(file).Field(20), 16u * c.BlockBytes);
        ASSERT_EQ(file.size(), 128u + 16 * c.BlockBytes);
        CMwNodRef read(new Img);
        ddsread::DdsInfo info;
        std::string error;
        ASSERT_TRUE(ddsread::ReadDds(reinterpret_cast<const u8*>(file.data()), file.size(),
                                     *static_cast<Img*>(read.Get()), info, &error))
            << error;
        const std::vector<u32> texels =
            ddsread::DecodeLevel(*static_cast<Img*>(read.Get()), 0, nullptr, nullptr);
        if (c.NbComp == 4) {
            EXPECT_EQ(texels[3] >> 24, 0u) << c.FourCc;
            EXPECT_EQ(texels[12] >> 24, 255u) << c.FourCc;
        } else {
            EXPECT_EQ(texels[3] >> 24, 255u);
        }
    }
}

// The decoded file against the prepared picture, top row first: a band at the top of the
// picture is at the top of the file, every level decodes close to the chain's level.
TEST_F(PlugBitmapPrepare, DdsRowsRunTopDown) {
    // Rows are bottom-up in memory: the top band is rows 28..31.
    const auto fill = [](u32 x, u32 y, u32 k) {
        return y >= 28 ? u8(k == 2 ? 255 : 0) : u8(40 + x * 2 + k * 30);
    };
    CTestBitmap t(32, 32, 3, fill, true);
    ASSERT_TRUE(t.Bitmap->CompressToDds(false, TargetName("band.dds"), false));
    const std::string file = ReadWholeFile(Target("band.dds"));
    CMwNodRef read(new Img);
    ddsread::DdsInfo info;
    ASSERT_TRUE(ddsread::ReadDds(reinterpret_cast<const u8*>(file.data()), file.size(),
                                 *static_cast<Img*>(read.Get()), info, nullptr));
    EXPECT_EQ(info.Levels, 6u);
    // The levels of 4 x 4 and below mix the band with the rest in one block (and the smallest
    // with the zero padding): their error is the format's, not the row order's.
    for (u32 k = 0; k < 3; ++k) {
        u32 w = 0, h = 0;
        const std::vector<u32> texels =
            ddsread::DecodeLevel(*static_cast<Img*>(read.Get()), k, &w, &h);
        const u8* level = t.Image()->GetLevel(0, k, nullptr, nullptr, nullptr);
        ASSERT_NE(level, nullptr);
        ASSERT_EQ(texels.size(), u64(w) * h);
        // DXT error on a smooth picture: small everywhere, and smaller on average.
        u32 largest = 0;
        u64 total = 0;
        for (u32 y = 0; y < h; ++y)
            for (u32 x = 0; x < w; ++x) {
                // File row y is the picture's row h - 1 - y.
                const u8* texel = level + ((h - 1 - y) * w + x) * 3;
                const u32 got = texels[y * w + x];
                for (u32 c = 0; c < 3; ++c) {
                    const u32 d = u32(std::abs(i32((got >> (8 * c)) & 0xFF) - texel[c]));
                    largest = std::max(largest, d);
                    total += d;
                }
            }
        EXPECT_LE(largest, 24u) << "level " << k;
        EXPECT_LE(total, 6u * w * h * 3) << "level " << k;
    }
    // The band: red on the file's first row.
    const std::vector<u32> top =
        ddsread::DecodeLevel(*static_cast<Img*>(read.Get()), 0, nullptr, nullptr);
    EXPECT_EQ(top[0] & 0xFFFFFF, 0xFF0000u);
}

// A compression leaves the image's pixels as they were, and without a path writes beside the
// image's file with the extension ".dds"; the log line names the size and the file.
TEST_F(PlugBitmapPrepare, DefaultTargetAndLogLine) {
    CTestBitmap t(8, 8, 3, Gradient, true);
    std::filesystem::create_directories(HostFile("Skins"));
    WriteWholeFile(HostFile("Skins/Car.Skin.tga"), "");
    CSystemFid* fid = Engine().GetFileFid(nullptr, Name("Skins/Car.Skin.tga"), nullptr);
    ASSERT_NE(fid, nullptr);
    m_LiveAtStart += 2;
    CSystemEngine::AttachNodToFid(t.Image(), fid);
    // The chain is built first, so the pixels to compare are the prepared ones.
    ASSERT_TRUE(t.Bitmap->PrepareImage());
    const std::vector<u8> before = ImageBytes(*t.Image());
    CLogWatch watch;
    ASSERT_TRUE(t.Bitmap->CompressToDds(false, CClassicWideStringRef(), true));
    EXPECT_EQ(ImageBytes(*t.Image()), before);
    EXPECT_TRUE(FileExists(Name("Skins/Car.dds")));
    EXPECT_NE(watch.Since().find("[PlugBitmap] TGA->DDS Compression (8x8) Car.Skin.tga\r\n"),
              std::string::npos)
        << watch.Since();
}

TEST_F(PlugBitmapPrepare, DdsRefusals) {
    struct Case {
        const char* What;
        u32 Width, Height, NbComp;
        std::function<void(CTestBitmap&)> Edit;
    } const cases[] = {
        {"64 x 2", 64, 2, 3, nullptr},
        {"6 x 8", 6, 8, 3, nullptr},
        {"a cube map", 8, 8, 3,
         // The image sets the flag; the member is read-only.
         [](CTestBitmap& t) { t.Bitmap->m_Flags[0] |= 1u << 19; }},
        {"a DXT1 image", 8, 8, 3,
         [](CTestBitmap& t) {
             t.Image()->Create(8, 8, 4, Img::EFormat_DXT1, new u8[32](), 32, false, false,
                               Img::EDimension_2d, 1);
         }},
        {"no compression in video memory", 8, 8, 3,
         [](CTestBitmap& t) {
             EXPECT_EQ(SetMember(t.Bitmap, "CanBeCompressedInVideoMemory", 0), 0u);
         }},
        {"a grey picture", 8, 8, 1, nullptr},
        {"a normal map without bump compression", 8, 8, 3,
         [](CTestBitmap& t) { EXPECT_TRUE(t.Bitmap->SetUsage(B::NxNyNz)); }},
        {"a two-byte normal map", 8, 8, 2,
         [](CTestBitmap& t) {
             EXPECT_TRUE(t.Bitmap->SetUsage(B::NxNy));
             EXPECT_EQ(SetMember(t.Bitmap, "BumpCompressMode", B::CompressDXT1), 0u);
         }},
        {"a usage without DDS form", 8, 8, 1,
         [](CTestBitmap& t) { EXPECT_TRUE(t.Bitmap->SetUsage(B::Alpha)); }},
    };
    for (const Case& c : cases) {
        CTestBitmap t(c.Width, c.Height, c.NbComp, Gradient, false);
        if (c.Edit)
            c.Edit(t);
        CLogWatch watch;
        EXPECT_FALSE(t.Bitmap->CompressToDds(false, TargetName("refused.dds"), false)) << c.What;
        EXPECT_NE(watch.Since().find("[PlugBitmap] no DDS file: "), std::string::npos) << c.What;
        EXPECT_FALSE(std::filesystem::exists(Target("refused.dds"))) << c.What;
    }
    // No path and no file id.
    CTestBitmap t(8, 8, 3, Gradient, false);
    EXPECT_FALSE(t.Bitmap->CompressToDds(false, CClassicWideStringRef(), false));
}

// Normal maps of four bytes compress their first three: the alpha byte changes nothing.
TEST_F(PlugBitmapPrepare, FourByteNormalMapsCompressTheirNormal) {
    std::string files[2];
    for (u32 i = 0; i < 2; ++i) {
        CTestBitmap t(
            8, 8, 4,
            [&](u32 x, u32 y, u32 k) { return k == 3 ? u8(i * 90 + x) : Gradient(x, y, k); },
            false);
        ASSERT_TRUE(t.Bitmap->SetUsage(B::NxNyNz));
        ASSERT_EQ(SetMember(t.Bitmap, "BumpCompressMode", B::CompressDXT1), 0u);
        ASSERT_TRUE(t.Bitmap->CompressToDds(false, TargetName("normal.dds"), false));
        files[i] = ReadWholeFile(Target("normal.dds"));
    }
    EXPECT_EQ(files[0].size(), 128u + 4 * 8);
    EXPECT_EQ(files[0], files[1]);
    CTestBitmap three(8, 8, 3, Gradient, false);
    ASSERT_TRUE(three.Bitmap->SetUsage(B::NxNyNz));
    ASSERT_EQ(SetMember(three.Bitmap, "BumpCompressMode", B::CompressDXT1), 0u);
    ASSERT_TRUE(three.Bitmap->CompressToDds(false, TargetName("normal.dds"), false));
    EXPECT_EQ(ReadWholeFile(Target("normal.dds")), files[0]);
}

// A forced border alpha widens a three-byte image to four during the preparation: its texels are
// read at four bytes, and the file is the DXT1 chosen for three.
TEST_F(PlugBitmapPrepare, BorderAlphaWidensTheImageBeforeCompression) {
    CTestBitmap t(
        16, 16, 3, [](u32, u32, u32 k) { return u8(60 + 60 * k); }, false);
    ASSERT_EQ(SetMember(t.Bitmap, "ForceBorderAlpha", 1), 0u);
    ASSERT_TRUE(t.Bitmap->CompressToDds(false, TargetName("wide.dds"), false));
    EXPECT_EQ(t.Image()->GetNbComp(), 4u);
    const std::string file = ReadWholeFile(Target("wide.dds"));
    EXPECT_EQ(CDdsHeader(file).FourCc(), "DXT1");
    ASSERT_EQ(file.size(), 128u + 16 * 8);
    CMwNodRef read(new Img);
    ddsread::DdsInfo info;
    ASSERT_TRUE(ddsread::ReadDds(reinterpret_cast<const u8*>(file.data()), file.size(),
                                 *static_cast<Img*>(read.Get()), info, nullptr));
    for (u32 texel : ddsread::DecodeLevel(*static_cast<Img*>(read.Get()), 0, nullptr, nullptr))
        for (u32 c = 0; c < 3; ++c)
            EXPECT_NEAR(i32((texel >> (8 * c)) & 0xFF), 60 + 60 * i32(c), 4);
}

// Height maps are written as their normal maps in DXT5; the bitmap's image stays the height map.
TEST_F(PlugBitmapPrepare, HeightMapsAreWrittenAsNormals) {
    CTestBitmap t(
        8, 8, 1, [](u32 x, u32, u32) { return u8(x * 30); }, true);
    ASSERT_TRUE(t.Bitmap->SetUsage(B::Height2R0GyBzAx));
    ASSERT_TRUE(t.Bitmap->CompressToDds(false, TargetName("bump.dds"), false));
    const std::string file = ReadWholeFile(Target("bump.dds"));
    EXPECT_EQ(CDdsHeader(file).FourCc(), "DXT5");
    EXPECT_EQ(CDdsHeader(file).Field(28), 4u);
    EXPECT_EQ(file.size(), 128u + 16 * (4 + 1 + 1 + 1));
    EXPECT_EQ(t.Image()->GetNbComp(), 1u);
}

// The read-only target known to the engine is refused and kept; the reload road writes the file
// but, with no class for DDS files, keeps the image and answers false.
TEST_F(PlugBitmapPrepare, ReadOnlyTargetAndReloadRoad) {
    WriteWholeFile(HostFile("Old.dds"), "old bytes");
    ASSERT_NE(Engine().FindFidByFullPath(Name("Old.dds"), true), nullptr);
    m_LiveAtStart += 1;
    ASSERT_TRUE(SetReadOnlyAttribute(Name("Old.dds")));
    CTestBitmap t(8, 8, 3, Gradient, false);
    EXPECT_FALSE(t.Bitmap->CompressToDds(false, Name("Old.dds"), false));
    EXPECT_EQ(ReadWholeFile(HostFile("Old.dds")), "old bytes");
    EXPECT_EQ(IsFileReadOnly(Name("Old.dds"), nullptr), 1u);

    // Unknown to the engine, a read-only file loses the attribute and is replaced.
    WriteWholeFile(Target("Loose.dds"), "old bytes");
    ASSERT_TRUE(SetReadOnlyAttribute(TargetName("Loose.dds")));
    EXPECT_TRUE(t.Bitmap->CompressToDds(false, TargetName("Loose.dds"), false));
    EXPECT_EQ(ReadWholeFile(Target("Loose.dds")).size(), 128u + 4 * 8);

    Img* image = t.Image();
    const std::vector<u8> before = ImageBytes(*image);
    CLogWatch watch;
    EXPECT_FALSE(t.Bitmap->CompressToDds(true, TargetName("Sub/Reload.dds"), false));
    // The load placed the file's folder in the engine's tree.
    m_LiveAtStart += 1;
    EXPECT_EQ(ReadWholeFile(Target("Sub/Reload.dds")).size(), 128u + 4 * 8);
    EXPECT_EQ(t.Image(), image);
    EXPECT_EQ(ImageBytes(*image), before);
    EXPECT_NE(watch.Since().find("does not load as an image"), std::string::npos);
}

// A write that fails (the file-size limit in a child process) and a compressor that fails (its
// working memory past the image limit) answer false, leave no file and keep an old target.
TEST_F(PlugBitmapPrepare, FailuresKeepTheOldFile) {
    WriteWholeFile(Target("keep.dds"), "old bytes");
    const int code = RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        CTestBitmap t(64, 64, 3, Gradient, true);
        if (t.Bitmap->CompressToDds(false, TargetName("keep.dds"), false))
            return 1;
        return t.Bitmap->CompressToDds(false, TargetName("fresh.dds"), false) ? 2 : 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadWholeFile(Target("keep.dds")), "old bytes");
    EXPECT_FALSE(std::filesystem::exists(Target("fresh.dds")));

    CTestBitmap t(64, 64, 3, Gradient, true);
    ASSERT_TRUE(t.Bitmap->PrepareImage());
    {
        const CImageLimit limit(1000);
        CLogWatch watch;
        EXPECT_FALSE(t.Bitmap->CompressToDds(false, TargetName("keep.dds"), false));
        EXPECT_FALSE(t.Bitmap->CompressToDds(false, TargetName("new.dds"), false));
        EXPECT_NE(watch.Since().find("the compressor failed on level 0"), std::string::npos);
    }
    EXPECT_EQ(ReadWholeFile(Target("keep.dds")), "old bytes");
    EXPECT_FALSE(std::filesystem::exists(Target("new.dds")));
    EXPECT_EQ(m_Temp.Names(), (std::vector<std::string>{"GameData", "keep.dds"}));
    // Nothing stuck: the same bitmap writes once the limit is back.
    EXPECT_TRUE(t.Bitmap->CompressToDds(false, TargetName("new.dds"), false));
}

} // namespace

namespace {

// Other readers accept every kind of file written from the DDS fixtures, with and without a
// chain, square and not, height maps as normals:
// ImageMagick identifies it and converts it (a copy cut inside level 0 fails), PIL opens
// it, both decode level 0 alike, and our reader within rounding of them.
TEST_F(PlugBitmapPrepare, DdsFilesOpenInOtherReaders) {
    struct Case {
        const char* Name;
        const char* Fixture;
        u32 Width, Height;
        bool OneBit, SkipDxt1, Mips;
        u32 Usage;
    } const cases[] = {
        {"dxt1-chain", "logo-rgb.tga", 128, 64, false, false, true, B::Color},
        {"dxt1", "logo-rgb.tga", 128, 64, false, false, false, B::Color},
        {"dxt1a", "rose-bit-alpha.tga", 64, 64, true, false, false, B::Color},
        {"dxt1a-chain", "rose-bit-alpha.tga", 64, 64, true, false, true, B::Color},
        {"dxt3-chain", "rose-bit-alpha.tga", 64, 64, true, true, true, B::Color},
        {"dxt5", "rose-smooth-alpha.tga", 64, 64, false, false, false, B::Color},
        {"dxt5-chain", "rose-smooth-alpha.tga", 64, 64, false, false, true, B::Color},
        {"dxt5-normals", "height.tga", 32, 32, false, false, true, B::Height2RxG0BzAy},
    };
    std::string names;
    for (const Case& c : cases) {
        CTestBitmap t(c.Fixture, c.Mips);
        ASSERT_TRUE(t.Bitmap->SetUsage(c.Usage)) << c.Name;
        ASSERT_EQ(SetMember(t.Bitmap, "IsOneBitAlpha", c.OneBit), 0u);
        ASSERT_EQ(SetMember(t.Bitmap, "CompressSkipDXT1", c.SkipDxt1), 0u);
        const std::string file = std::string(c.Name) + ".dds";
        ASSERT_TRUE(t.Bitmap->CompressToDds(false, TargetName(file), false)) << c.Name;
        const std::string bytes = ReadWholeFile(Target(file));
        CMwNodRef read(new Img);
        ddsread::DdsInfo info;
        ASSERT_TRUE(ddsread::ReadDds(reinterpret_cast<const u8*>(bytes.data()), bytes.size(),
                                     *static_cast<Img*>(read.Get()), info, nullptr));
        std::string rgba;
        for (u32 texel : ddsread::DecodeLevel(*static_cast<Img*>(read.Get()), 0, nullptr, nullptr))
            rgba += {char(texel >> 16), char(texel >> 8), char(texel), char(texel >> 24)};
        // The transparent texels stay so: the fixture's left columns and, read by its origin (as
        // PIL reads it; ImageMagick 6 turns it over), its top rows.
        if (c.OneBit) {
            ASSERT_EQ(rgba.size(), 64u * 64 * 4);
            EXPECT_EQ(u8(rgba[3]), 0) << c.Name;
            EXPECT_EQ(u8(rgba[(10 * 64 + 40) * 4 + 3]), 0) << c.Name;
            EXPECT_EQ(u8(rgba[(60 * 64 + 40) * 4 + 3]), 255) << c.Name;
        }
        WriteWholeFile(Target(std::string(c.Name) + ".ours"), rgba);
        names += std::string(" ") + c.Name;
    }
    const std::string script = R"(
import os, subprocess, sys
from PIL import Image
folder = sys.argv[1]
def largest(a, b):
    return max(abs(x - y) for x, y in zip(a, b)) if len(a) == len(b) else 'sizes'
for name in sys.argv[2:]:
    path = os.path.join(folder, name + '.dds')
    ident = subprocess.run(['identify', path], capture_output=True, text=True).stdout.split()
    raw = os.path.join(folder, name + '.im')
    converted = subprocess.run(['convert', path, 'rgba:' + raw]).returncode
    cut = os.path.join(folder, name + '.cut.dds')
    with open(path, 'rb') as f, open(cut, 'wb') as g:
        whole = f.read()
        g.write(whole[:128 + int.from_bytes(whole[20:24], 'little') // 2])
    cut_fails = subprocess.run(['convert', cut, 'rgba:' + raw + '.cut'],
                               capture_output=True).returncode != 0
    with Image.open(path) as image:
        pil = image.convert('RGBA').tobytes()
    im = open(raw, 'rb').read()
    ours = open(os.path.join(folder, name + '.ours'), 'rb').read()
    print(name, ident[1] if len(ident) > 2 else '?', ident[2] if len(ident) > 2 else '?',
          converted, cut_fails, largest(pil, im), largest(pil, ours))
)";
    const std::string printed = RunPython(m_Temp, script, m_Temp.Path().string() + names);
    std::istringstream in(printed);
    for (const Case& c : cases) {
        std::string name, format, size, converted, cutFails, pilIm, pilOurs;
        in >> name >> format >> size >> converted >> cutFails >> pilIm >> pilOurs;
        EXPECT_EQ(name, c.Name) << printed;
        EXPECT_EQ(format, "DDS") << c.Name;
        EXPECT_EQ(size, std::to_string(c.Width) + "x" + std::to_string(c.Height)) << c.Name;
        EXPECT_EQ(converted, "0") << c.Name;
        EXPECT_EQ(cutFails, "True") << c.Name;
        EXPECT_EQ(pilIm, "0") << c.Name;
        // The colours between the end points are rounded otherwise.
        EXPECT_LE(std::stoi(pilOurs), 2) << c.Name;
    }
}

} // namespace
