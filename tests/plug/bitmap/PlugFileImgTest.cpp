// The in-memory image: sizes, the layout of faces, levels and slices, pixel access and
// sampling, resampling and the in-place edits.
#include "plug/bitmap/PlugFileImg.h"

#include "core/nod/MwMemberPath.h"
#include "tests/plug/PlugTestSupport.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using Img = CPlugFileImg;

u32 Word(u32 dimension, u32 nbComp, u32 format, bool mips = false) {
    return dimension | (nbComp << 2) | (format << 5) | (mips ? Img::s_MipMapBit : 0);
}

// A new image with its own zeroed block (Create) and the given bytes at its start.
CMwNodRef NewImage(u32 width, u32 height, u32 nbComp, u32 dimension = Img::EDimension_2d,
                   u32 depth = 1, bool mips = false, const std::vector<u8>& bytes = {}) {
    auto* image = new Img;
    CMwNodRef held(image);
    image->Create(width, height, nbComp, Img::EFormat_BGRA, nullptr, 0, mips, false, dimension,
                  depth);
    if (!bytes.empty() && image->m_Pixels && bytes.size() <= image->m_ByteSize)
        std::memcpy(image->m_Pixels, bytes.data(), bytes.size());
    return held;
}

// A compressed image adopting a copy of the blocks.
CMwNodRef NewCompressed(u32 width, u32 height, u32 format, const std::vector<u8>& blocks,
                        bool mips = false, u32 dimension = Img::EDimension_2d) {
    auto* image = new Img;
    CMwNodRef held(image);
    u8* block = new u8[blocks.size()];
    std::memcpy(block, blocks.data(), blocks.size());
    image->Create(width, height, 0, format, block, u32(blocks.size()), mips, false, dimension, 1);
    return held;
}

Img* I(const CMwNodRef& ref) {
    return static_cast<Img*>(ref.Get());
}

std::vector<u8> Bytes(const CMwNodRef& ref) {
    const Img* image = I(ref);
    return image->m_Pixels ? std::vector<u8>(image->m_Pixels, image->m_Pixels + image->m_ByteSize)
                           : std::vector<u8>();
}

u32 Pixel(Img* image, u32 x, u32 y, u32 level = 0, u32 face = 0) {
    u32 out = 0x12345678;
    image->GetPixel(&out, x, y, level, face);
    return out;
}

class PlugFileImg : public CPlugFixture {};

TEST_F(PlugFileImg, NewImageAndMembers) {
    CMwNodRef held(new Img);
    Img* image = I(held);
    EXPECT_EQ(image->m_Width, 0u);
    EXPECT_EQ(image->m_Height, 1u);
    EXPECT_EQ(image->m_Depth, 1u);
    EXPECT_EQ(image->m_ImageWord, 13u);
    EXPECT_EQ(image->m_Pixels, nullptr);
    EXPECT_EQ(image->m_ByteSize, 0u);
    EXPECT_EQ(image->m_Owner, nullptr);
    for (u32 id : {0x09025000u, 0x09020000u, 0x0902B000u, 0x01001000u})
        EXPECT_TRUE(image->IsKindOf(id)) << std::hex << id;
    EXPECT_EQ(CMwClassRegistry::CreateNodById(Img::s_ClassId), nullptr);

    EXPECT_EQ(image->MemberCount(), 11u);
    EXPECT_EQ(image->MemberIdByIndex(0), 0x01001000u);
    EXPECT_EQ(image->MemberIdByIndex(1), 0x09020000u);
    for (u32 i = 2; i < 11; ++i)
        EXPECT_EQ(image->MemberIdByIndex(i), 0x09025000u | (i - 2));

    image->Create(8, 4, 3, Img::EFormat_DXT1, nullptr, 0, true, false, Img::EDimension_Cube, 2);
    image->m_ImageWord |= 5u << Img::s_MipSkipShift;
    const struct {
        const char* Name;
        const char* Label;
        u32 Value;
    } members[] = {
        {"Dimension", "Dimension", 2},
        {"Width", "Width", 8},
        {"Height", "Height", 4},
        {"Depth", "Depth", 2},
        {"NbComp", "NbComp", 3},
        {"Format", "Format", 1},
        {"AreMipMapInSystem", "MipMap", 1},
        {"cMipLevelSkipAtLoad", "cMipSkipAtLoad", 5},
    };
    for (const auto& m : members) {
        SCOPED_TRACE(m.Name);
        CMwMemberPath path;
        ASSERT_EQ(path.ParseFromText(CMwNod::s_NoClassId, image, CClassicString(m.Name)), 0u);
        CMwParamValue value;
        ASSERT_EQ(image->GetParam(&path, &value), 0u);
        EXPECT_EQ(*static_cast<u32*>(value.Value), m.Value);
        path.Reset();
        const CMwMemberInfo* info = reinterpret_cast<CMwMemberInfo*>(path.m_Values[0]);
        EXPECT_STREQ(info->Label, m.Label);
        // Read only.
        u32 one = 1;
        path.Reset();
        EXPECT_NE(image->SetParam(&path, &one), 0u);
    }
    const auto* format =
        static_cast<const CMwMemberInfoEnum*>(CMwClassRegistry::GetMemberInfo(0x09025005));
    ASSERT_EQ(format->EnumCount, 9u);
    EXPECT_STREQ(format->EnumNames[0], "BGRA");
    EXPECT_STREQ(format->EnumNames[8], "RGBA32F");
    const auto* dimension =
        static_cast<const CMwMemberInfoEnum*>(CMwClassRegistry::GetMemberInfo(0x09025000));
    ASSERT_EQ(dimension->EnumCount, 4u);
    EXPECT_STREQ(dimension->EnumNames[2], "Cube");
    EXPECT_STREQ(CMwClassRegistry::GetMemberInfo(0x09025008)->Label, "Scale2N");
}

TEST_F(PlugFileImg, ChainCounts) {
    const struct {
        u32 W, H, Skip, Levels, D;
        u64 Texels, Blocks;
    } cases[] = {
        {256, 256, 0, 0, 1, 87381, 5461 + 2},
        {1, 8, 0, 0, 1, 15, 2 + 1 + 1 + 1},
        {8, 1, 0, 0, 1, 15, 2 + 1 + 1 + 1},
        {4, 2, 0, 0, 1, 11, 1 + 1 + 1},
        {6, 6, 0, 1, 1, 36, 4},
        {6, 6, 0, 0, 1, 36 + 9 + 1, 4 + 1 + 1},
        {8, 8, 0, 0, 1, 85, 7},
        {4, 4, 0, 0, 1, 21, 3},
        {4096, 4096, 0, 0, 1, 22369621, 1398101 + 2},
        {8, 8, 1, 0, 1, 21, 3},
        {8, 8, 0, 2, 1, 80, 5},
        {4, 4, 0, 0, 4, 64 + 8 + 1, 4 + 2 + 1},
        {1, 1, 0, 0, 1, 1, 1},
        {8, 8, 9, 0, 1, 1, 1},
        // Every size is counted in 64 bits.
        {65536, 65536, 0, 1, 2, u64(1) << 33, u64(1) << 29},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.W << " x " << c.H << " x " << c.D << " skip "
                                          << c.Skip << " levels " << c.Levels);
        EXPECT_EQ(CountTexels(c.W, c.H, c.Skip, c.Levels, c.D), c.Texels);
        EXPECT_EQ(CountMipChainBlocks(c.W, c.H, c.Skip, c.Levels, c.D), c.Blocks);
    }
}

TEST_F(PlugFileImg, ByteSizes) {
    const struct {
        u32 W, H, D, Word;
        u64 WithChain, Level0;
    } cases[] = {
        {64, 64, 1, Word(1, 0, Img::EFormat_DXT1, true), 8 * 343, 8 * 256},
        {64, 64, 1, Word(1, 0, Img::EFormat_DXT5, true), 16 * 343, 16 * 256},
        {16, 16, 1, Word(Img::EDimension_Cube, 4, Img::EFormat_BGRA), 6144, 6144},
        {16, 16, 1, Word(Img::EDimension_Cube, 4, Img::EFormat_BGRA, true), 6 * 341 * 4, 6144},
        {4, 4, 4, Word(Img::EDimension_Volume, 1, Img::EFormat_BGRA, true), 73, 64},
        // Depth counts for volumes only.
        {4, 4, 4, Word(Img::EDimension_2d, 1, Img::EFormat_BGRA), 16, 16},
        {2, 2, 1, Word(1, 4, Img::EFormat_RGBA16), 32, 32},
        {2, 2, 1, Word(1, 4, Img::EFormat_RGBA32F), 64, 64},
        {2, 2, 1, Word(1, 4, 12), 0, 0},
        {65536, 65536, 1, Word(1, 4, Img::EFormat_BGRA), u64(1) << 34, u64(1) << 34},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.W << " x " << c.H << " word " << c.Word);
        CMwNodRef held(new Img);
        I(held)->m_Width = c.W;
        I(held)->m_Height = c.H;
        I(held)->m_Depth = c.D;
        I(held)->m_ImageWord = c.Word;
        EXPECT_EQ(I(held)->ByteSize(true), c.WithChain);
        EXPECT_EQ(I(held)->ByteSize(false), c.Level0);
    }
}

// Levels lie one after the other in each face, faces one after the other.
TEST_F(PlugFileImg, LevelLayout) {
    const struct {
        const char* What;
        CMwNodRef Image;
        u32 Face, Level;
        i64 Offset; // -1: no such level
        u32 Size, Width, Height;
    } cases[] = {
        {"chain, level 0", NewImage(8, 4, 4, 1, 1, true), 0, 0, 0, 128, 8, 4},
        {"chain, level 1", NewImage(8, 4, 4, 1, 1, true), 0, 1, 128, 32, 4, 2},
        {"chain, level 2", NewImage(8, 4, 4, 1, 1, true), 0, 2, 160, 8, 2, 1},
        {"chain, level 3", NewImage(8, 4, 4, 1, 1, true), 0, 3, 168, 4, 1, 1},
        {"chain, past the end", NewImage(8, 4, 4, 1, 1, true), 0, 4, -1, 0, 0, 0},
        {"no chain, level 1", NewImage(8, 4, 4), 0, 1, -1, 0, 0, 0},
        {"2d, face 1", NewImage(8, 4, 4), 1, 0, -1, 0, 0, 0},
        {"cube, face 5", NewImage(4, 4, 3, Img::EDimension_Cube), 5, 0, 5 * 48, 48, 4, 4},
        {"cube, face 6", NewImage(4, 4, 3, Img::EDimension_Cube), 6, 0, -1, 0, 0, 0},
        {"cube DXT1 with chain", NewCompressed(4, 4, 1, std::vector<u8>(144), true, 2), 5, 2, 136,
         8, 1, 1},
        {"volume, level 0", NewImage(4, 4, 1, Img::EDimension_Volume, 4, true), 0, 0, 0, 64, 4, 4},
        {"volume, level 1", NewImage(4, 4, 1, Img::EDimension_Volume, 4, true), 0, 1, 64, 8, 2, 2},
        {"volume, level 2", NewImage(4, 4, 1, Img::EDimension_Volume, 4, true), 0, 2, 72, 1, 1, 1},
        // A block smaller than the layout: the level past it is not given.
        {"short DXT1 block", NewCompressed(8, 8, 1, std::vector<u8>(40), true), 0, 2, -1, 0, 0, 0},
        {"short DXT1 block", NewCompressed(8, 8, 1, std::vector<u8>(40), true), 0, 1, 32, 8, 4, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        Img* image = I(c.Image);
        u32 size = 0xAAAA, width = 0xBBBB, height = 0xCCCC;
        u8* level = image->GetLevel(c.Face, c.Level, &size, &width, &height);
        if (c.Offset < 0) {
            EXPECT_EQ(level, nullptr);
            EXPECT_EQ(size, 0xAAAAu);
            continue;
        }
        ASSERT_NE(level, nullptr);
        EXPECT_EQ(level - image->m_Pixels, c.Offset);
        EXPECT_EQ(size, c.Size);
        EXPECT_EQ(width, c.Width);
        EXPECT_EQ(height, c.Height);
        // The whole level lies in the block (the sanitizer run checks the write).
        std::memset(level, 0x5A, size);
    }
}

// Create allocates every face and slice the layout addresses, within the limits; EnsurePixelBuffer
// allocates what is missing; FreePixels keeps size and word.
TEST_F(PlugFileImg, BlocksAndLimits) {
    CMwNodRef cube = NewImage(16, 16, 4, Img::EDimension_Cube);
    EXPECT_EQ(I(cube)->m_ByteSize, 6144u);
    ASSERT_NE(I(cube)->GetLevel(5, 0, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(Bytes(cube), std::vector<u8>(6144, 0));
    CMwNodRef volume = NewImage(8, 8, 1, Img::EDimension_Volume, 4, true);
    EXPECT_EQ(I(volume)->m_ByteSize, 64 * 4 + 16 * 2 + 4 + 1u);
    CMwNodRef wide(new Img);
    I(wide)->Create(4, 4, 4, Img::EFormat_RGBA16, nullptr, 0, false, false, 1, 1);
    EXPECT_EQ(I(wide)->m_ByteSize, 128u);
    // The float formats keep no block.
    I(wide)->Create(4, 4, 4, Img::EFormat_RGBA32F, new u8[16], 16, false, false, 1, 1);
    EXPECT_FALSE(I(wide)->IsLoaded());
    ASSERT_NE(I(wide)->EnsurePixelBuffer(), nullptr);
    EXPECT_EQ(I(wide)->m_ByteSize, 256u);

    {
        const CImageLimit limit(1 << 20);
        CLogWatch log;
        CMwNodRef big = NewImage(1024, 1024, 4);
        EXPECT_FALSE(I(big)->IsLoaded());
        EXPECT_EQ(I(big)->m_ByteSize, 0u);
        EXPECT_EQ(I(big)->EnsurePixelBuffer(), nullptr);
        const std::string line =
            "CPlugFileImg : no pixel block of 4194304 bytes for an image of 1024 x 1024 x 1\r\n";
        EXPECT_EQ(log.Since(), line + line);
        CMwNodRef fits = NewImage(512, 512, 4);
        EXPECT_TRUE(I(fits)->IsLoaded());
    }
    // Past 4 GB, whatever the limit.
    const CImageLimit limit(UINT64_MAX);
    CMwNodRef huge = NewImage(65536, 65536, 1);
    EXPECT_FALSE(I(huge)->IsLoaded());

    I(cube)->FreePixels();
    EXPECT_FALSE(I(cube)->IsLoaded());
    EXPECT_EQ(I(cube)->m_Width, 16u);
    EXPECT_EQ(I(cube)->GetDimension(), u32(Img::EDimension_Cube));
    EXPECT_EQ(I(cube)->GetLevel(0, 0, nullptr, nullptr, nullptr), nullptr);
    ASSERT_NE(I(cube)->EnsurePixelBuffer(), nullptr);
    EXPECT_EQ(I(cube)->m_ByteSize, 6144u);
    I(cube)->m_ImageWord = Word(1, 4, 9);
    I(cube)->FreePixels();
    EXPECT_EQ(I(cube)->EnsurePixelBuffer(), nullptr);
}

// Accessors outside the block answer null or leave the output as it was.
TEST_F(PlugFileImg, NoAccessOutsideTheBlock) {
    // Texels past the end of the block; the address of a texel past its row is the Part's.
    CMwNodRef full = NewImage(4, 4, 2);
    u8* pixels = I(full)->m_Pixels;
    EXPECT_EQ(I(full)->GetTexelAddress(3, 3, 0, 0), pixels + 30);
    EXPECT_EQ(I(full)->GetTexelAddress(4, 0, 0, 0), pixels + 8);
    EXPECT_EQ(I(full)->GetTexelAddress(0, 4, 0, 0), nullptr);
    EXPECT_EQ(I(full)->GetTexelAddress(UINT32_MAX, UINT32_MAX, 0, 0), nullptr);
    EXPECT_EQ(Pixel(I(full), 0, 4), 0x12345678u);

    // A 4 x 4 image whose adopted block holds two rows only: its level does not fit.
    CMwNodRef held(new Img);
    Img* image = I(held);
    image->Create(4, 4, 1, Img::EFormat_BGRA, new u8[8](), 8, false, false, 1, 1);
    EXPECT_EQ(image->GetLevel(0, 0, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(image->GetTexelAddress(0, 0, 0, 0), nullptr);
    EXPECT_EQ(image->GetTexelWrapped(0, 0, 0), nullptr);
    EXPECT_EQ(Pixel(image, 0, 0), 0x12345678u);
    u8 out[4] = {9, 9, 9, 9};
    image->Sample(out, 0.1f, 0.1f, false, 1, 0, 0, 2);
    image->Sample(out, 0.5f, 0.5f, true, 1, 0, 0, 2);
    EXPECT_EQ(out[0], 9);

    // A DXT1 image whose block holds its first row of blocks only.
    CMwNodRef dxt = NewCompressed(8, 8, Img::EFormat_DXT1, std::vector<u8>(16, 0));
    EXPECT_EQ(Pixel(I(dxt), 0, 0), 0x12345678u);
    // Zero sides have no texel; coordinates that are not finite name none.
    CMwNodRef empty = NewImage(0, 4, 1);
    EXPECT_EQ(I(empty)->GetTexelWrapped(0, 0, 0), nullptr);
    CMwNodRef small = NewImage(2, 2, 1);
    EXPECT_EQ(I(small)->GetTexelAtUV(NAN, 0.5f, 0), nullptr);
    EXPECT_EQ(I(small)->GetTexelAtUV(1e30f, 0.5f, 0), nullptr);
    I(small)->Sample(out, INFINITY, 0.5f, true, 1, 0, 0, 0);
    I(small)->Sample(out, NAN, 0.5f, false, 1, 0, 0, 2);
    EXPECT_EQ(out[0], 9);
}

// Coordinates wrap into the image: negative ones by remainder, then masked by the side - 1.
TEST_F(PlugFileImg, WrappedTexels) {
    std::vector<u8> values(16);
    for (u32 i = 0; i < 16; ++i)
        values[i] = u8(i);
    CMwNodRef square = NewImage(4, 4, 1, 1, 1, false, values);
    CMwNodRef odd = NewImage(3, 3, 1, 1, 1, false, {values.begin(), values.begin() + 9});
    const struct {
        CMwNodRef* Image;
        i32 X, Y;
        u8 Value;
    } cases[] = {
        {&square, 1, 2, 9},  {&square, 5, 1, 5},       {&square, -1, -3, 7},
        {&square, -5, 0, 3}, {&square, INT_MIN, 0, 0}, {&square, -4, 4, 0},
        {&odd, -1, 0, 2},    {&odd, 4, 0, 0},          {&odd, 2, 2, 8},
    };
    for (const auto& c : cases) {
        const u8* texel = I(*c.Image)->GetTexelWrapped(c.X, c.Y, 0);
        ASSERT_NE(texel, nullptr) << c.X << ", " << c.Y;
        EXPECT_EQ(*texel, c.Value) << c.X << ", " << c.Y;
    }
    EXPECT_EQ(*I(square)->GetTexelAtUV(0.5f, 0.75f, 0), 14);
    EXPECT_EQ(*I(square)->GetTexelAtUV(-0.3f, 0.0f, 0), 3);
}

// Point and bilinear sampling in both address modes, and the bytes written for a count above
// the texel's components.
TEST_F(PlugFileImg, Sample) {
    CMwNodRef row = NewImage(2, 1, 1, 1, 1, false, {0, 200});
    const struct {
        bool Filter;
        u32 Mode;
        f32 U;
        u8 Value;
    } cases[] = {
        {false, 2, 0.75f, 200}, {false, 2, 1.2f, 200}, {false, 0, 1.2f, 0},  {false, 2, -0.7f, 0},
        {false, 0, -0.7f, 200}, {true, 2, 0.5f, 100},  {true, 2, 0.25f, 0},  {true, 2, 0.0f, 0},
        {true, 0, 0.0f, 100},   {true, 2, 0.6f, 140},  {true, 0, 1.0f, 100}, {true, 2, 1.0f, 200},
    };
    for (const auto& c : cases) {
        u8 out = 7;
        I(row)->Sample(&out, c.U, 0.5f, c.Filter, 1, 0, 0, c.Mode);
        EXPECT_EQ(out, c.Value) << c.U << (c.Filter ? " filtered" : "") << " mode " << c.Mode;
    }

    const struct {
        u32 NbComp;
        u32 Count;
        std::vector<u8> Texel;
        std::vector<u8> Out;
    } counts[] = {
        {1, 1, {90}, {90, 7, 7, 7, 7}},
        {1, 2, {90}, {90, 90, 7, 7, 7}},
        {1, 4, {90}, {90, 90, 90, 255, 7}},
        {2, 4, {90, 30}, {90, 90, 90, 255, 7}},
        {3, 4, {10, 20, 30}, {10, 20, 30, 255, 7}},
        {3, 3, {10, 20, 30}, {10, 20, 30, 7, 7}},
        {4, 4, {10, 20, 30, 40}, {10, 20, 30, 40, 7}},
        {3, 8, {10, 20, 30}, {10, 20, 30, 255, 7}},
    };
    for (const auto& c : counts) {
        for (bool filter : {false, true}) {
            CMwNodRef one = NewImage(1, 1, c.NbComp, 1, 1, false, c.Texel);
            std::vector<u8> out(8, 7);
            I(one)->Sample(out.data(), 0.5f, 0.5f, filter, c.Count, 0, 0, 2);
            out.resize(5);
            EXPECT_EQ(out, c.Out) << c.NbComp << " components, " << c.Count << " asked";
        }
    }

    // The filter reads the level asked for; the point sample reads level 0.
    CMwNodRef chain = NewImage(2, 2, 1, 1, 1, true, {10, 10, 10, 10, 60});
    u8 out = 0;
    I(chain)->Sample(&out, 0.5f, 0.5f, true, 1, 1, 0, 2);
    EXPECT_EQ(out, 60);
    I(chain)->Sample(&out, 0.5f, 0.5f, false, 1, 1, 0, 2);
    EXPECT_EQ(out, 10);
}

TEST_F(PlugFileImg, GetPixelOfUncompressedTexels) {
    const struct {
        u32 NbComp;
        std::vector<u8> Texel;
        u32 Pixel;
    } cases[] = {
        {1, {0x40}, 0xFF404040},
        {2, {0x40, 0x10}, 0xFF404040},
        {3, {0x10, 0x20, 0x30}, 0xFF302010},
        {4, {0x10, 0x20, 0x30, 0x40}, 0x40302010},
    };
    for (const auto& c : cases) {
        std::vector<u8> bytes(4 * c.NbComp);
        std::copy(c.Texel.begin(), c.Texel.end(), bytes.begin() + 3 * c.NbComp);
        CMwNodRef image = NewImage(2, 2, c.NbComp, 1, 1, false, bytes);
        EXPECT_EQ(Pixel(I(image), 1, 1), c.Pixel) << c.NbComp;
    }
    CMwNodRef wide(new Img);
    I(wide)->Create(2, 2, 4, Img::EFormat_RGBA16, nullptr, 0, false, false, 1, 1);
    EXPECT_EQ(Pixel(I(wide), 0, 0), 0x12345678u);
}

// Blocks: the colours c0 = 0xF800 (red) and c1 = 0x001F (blue); codes 0, 1, 2, 3 in row 0.
std::vector<u8> ColourBlock(u16 c0, u16 c1) {
    return {u8(c0), u8(c0 >> 8), u8(c1), u8(c1 >> 8), 0xE4, 0xE4, 0xE4, 0xE4};
}

TEST_F(PlugFileImg, GetPixelDecodesBlocks) {
    // Alpha halves: 4-bit values 3, 15, 0, 1; codes 0, 1, 2, 7 (eight levels) and 2, 5, 6, 7
    // (six levels) for texels 0 to 3. Colour half: red, every code 0, read as four colours.
    const std::vector<u8> red = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
    const auto join = [](std::vector<u8> alpha, const std::vector<u8>& colour) {
        alpha.insert(alpha.end(), colour.begin(), colour.end());
        return alpha;
    };
    const auto withRed = [&](const std::vector<u8>& alpha) { return join(alpha, red); };
    const struct {
        const char* What;
        u32 Format;
        std::vector<u8> Block;
        u32 Pixels[4]; // texels 0 to 3 of row 0
    } cases[] = {
        {"DXT1, c0 > c1: four colours",
         Img::EFormat_DXT1,
         ColourBlock(0xF800, 0x001F),
         {0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA}},
        {"DXT1, c0 < c1: three colours and transparent black",
         Img::EFormat_DXT1,
         ColourBlock(0x001F, 0xF800),
         {0xFF0000FF, 0xFFFF0000, 0xFF7F007F, 0x00000000}},
        {"DXT1, c0 = c1: four colours",
         Img::EFormat_DXT1,
         ColourBlock(0x07E0, 0x07E0),
         {0xFF00FF00, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00}},
        {"DXT3: 4-bit alpha",
         Img::EFormat_DXT3,
         withRed({0xF3, 0x10, 0, 0, 0, 0, 0, 0}),
         {0x33FF0000, 0xFFFF0000, 0x00FF0000, 0x11FF0000}},
        {"DXT3: c0 < c1 read as four colours",
         Img::EFormat_DXT3,
         join({0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, ColourBlock(0x001F, 0xF800)),
         {0xFF0000FF, 0xFFFF0000, 0xFF5500AA, 0xFFAA0055}},
        {"DXT5, a0 > a1: eight levels",
         Img::EFormat_DXT5,
         withRed({200, 100, 0x88, 0x0E, 0, 0, 0, 0}),
         {0xC8FF0000, 0x64FF0000, 0xBAFF0000, 0x72FF0000}},
        {"DXT5, a0 <= a1: six levels, 0 and 255",
         Img::EFormat_DXT5,
         withRed({100, 200, 0xAA, 0x0F, 0, 0, 0, 0}),
         {0x78FF0000, 0xB4FF0000, 0x00FF0000, 0xFFFF0000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        // The block stands second in the second row of blocks of an 8 x 8 image.
        const u32 size = u32(c.Block.size());
        std::vector<u8> blocks(4 * size, 0);
        std::copy(c.Block.begin(), c.Block.end(), blocks.begin() + 3 * size);
        // DXT2 and DXT4 read as DXT3 and DXT5.
        const std::vector<u32> formats = c.Format == Img::EFormat_DXT1
                                             ? std::vector<u32>{c.Format}
                                             : std::vector<u32>{c.Format, c.Format - 1};
        for (u32 format : formats) {
            CMwNodRef image = NewCompressed(8, 8, format, blocks);
            for (u32 x = 0; x < 4; ++x)
                EXPECT_EQ(Pixel(I(image), 4 + x, 4), c.Pixels[x])
                    << "texel " << x << " format " << format;
        }
    }
}

// DXT1 blocks hold the chain's levels one after the other; level 1 of an 8 x 8 image is one
// block.
TEST_F(PlugFileImg, GetPixelOfALevel) {
    std::vector<u8> blocks(56, 0);
    const std::vector<u8> red = ColourBlock(0xF800, 0xF800);
    std::copy(red.begin(), red.end(), blocks.begin() + 32);
    CMwNodRef image = NewCompressed(8, 8, Img::EFormat_DXT1, blocks, true);
    EXPECT_EQ(Pixel(I(image), 3, 3, 1), 0xFFFF0000u);
    EXPECT_EQ(Pixel(I(image), 3, 3, 0), 0xFF000000u);
}

// Only plain 1d and 2d images are resampled; the new block holds level 0 only.
TEST_F(PlugFileImg, Resample) {
    CMwNodRef chain = NewImage(4, 4, 3, 1, 1, true);
    ASSERT_EQ(I(chain)->m_ByteSize, 63u);
    I(chain)->Resample(2, 2, true, 2);
    EXPECT_EQ(I(chain)->m_Width, 2u);
    EXPECT_EQ(I(chain)->m_Height, 2u);
    EXPECT_FALSE(I(chain)->AreMipMapInSystem());
    EXPECT_EQ(I(chain)->m_ByteSize, 12u);
    EXPECT_EQ(I(chain)->ByteSize(true), 12u);
    EXPECT_EQ(I(chain)->GetLevel(0, 1, nullptr, nullptr, nullptr), nullptr);

    const std::vector<u8> blocks(32, 0x3C);
    CMwNodRef dxt = NewCompressed(8, 8, Img::EFormat_DXT1, blocks);
    I(dxt)->Resample(4, 4, true, 2);
    EXPECT_EQ(I(dxt)->m_Width, 8u);
    EXPECT_EQ(Bytes(dxt), blocks);
    CMwNodRef cube = NewImage(4, 4, 4, Img::EDimension_Cube);
    I(cube)->Resample(2, 2, false, 2);
    EXPECT_EQ(I(cube)->m_Width, 4u);
    EXPECT_EQ(I(cube)->m_ByteSize, 384u);
    // An empty image without a file stays empty.
    CMwNodRef empty(new Img);
    I(empty)->Resample(2, 2, false, 2);
    EXPECT_FALSE(I(empty)->IsLoaded());
    EXPECT_EQ(I(empty)->m_Width, 0u);
}

TEST_F(PlugFileImg, ScaleToPowerOfTwo) {
    const struct {
        u32 W, H;
        bool Shrink;
        u32 NewW, NewH;
    } cases[] = {
        {300, 64, true, 256, 64}, {300, 64, false, 512, 64}, {64, 64, false, 64, 64},
        {3, 5, true, 2, 4},       {1, 3, false, 1, 4},       {0, 5, false, 0, 5},
    };
    for (const auto& c : cases) {
        CMwNodRef image = NewImage(c.W, c.H, 3);
        if (c.W == 0)
            I(image)->Create(0, 5, 3, 0, new u8[3], 3, false, false, 1, 1);
        const u8* before = I(image)->m_Pixels;
        I(image)->ScaleToPowerOfTwo(c.Shrink, true, 2);
        EXPECT_EQ(I(image)->m_Width, c.NewW) << c.W << " x " << c.H;
        EXPECT_EQ(I(image)->m_Height, c.NewH) << c.W << " x " << c.H;
        EXPECT_EQ(I(image)->m_ByteSize, c.NewW * c.NewH * 3 + (c.W == 0 ? 3 : 0));
        if (c.W == c.NewW && c.H == c.NewH) {
            EXPECT_EQ(I(image)->m_Pixels, before);
        }
    }

    // The member: Shrink and TexFilter, clamp addressing.
    CMwNodRef image = NewImage(3, 1, 1, 1, 1, false, {0, 90, 210});
    CMwMemberPath path;
    path.Reserve(0);
    path.Reserve(3);
    const std::pair<u32, MwPathValue> items[] = {
        {MwPathItem_Member,
         reinterpret_cast<MwPathValue>(CMwClassRegistry::GetMemberInfo(0x09025008))},
        {MwPathItem_ArgumentNatural, 1},
        {MwPathItem_ArgumentBool, 1},
    };
    for (const auto& [kind, value] : items) {
        path.PushFront(value);
        path.m_Kinds[0] = kind;
    }
    path.Reset();
    EXPECT_EQ(image->SetParam(&path, nullptr), 0u);
    EXPECT_EQ(I(image)->m_Width, 2u);
    // Filtered at u = 0.25 and 0.75 of three texels, clamped at the edges.
    EXPECT_EQ(Bytes(image), (std::vector<u8>{22, 180}));
}

// Grey stays grey; three components take the alpha; the chain goes.
TEST_F(PlugFileImg, ExpandToFourComponents) {
    const struct {
        u32 NbComp;
        std::vector<u8> Texel;
        std::vector<u8> Expanded;
    } cases[] = {
        {1, {0x40}, {0x40, 0x40, 0x40, 0x99}},
        {2, {0x40, 0x10}, {0x40, 0x40, 0x40, 0x99}},
        {3, {1, 2, 3}, {1, 2, 3, 0x99}},
        {4, {1, 2, 3, 4}, {1, 2, 3, 0x99}},
    };
    for (const auto& c : cases) {
        CMwNodRef image = NewImage(1, 2, c.NbComp, 1, 1, true, c.Texel);
        I(image)->m_ImageWord |= Img::s_OneBitAlphaBit;
        I(image)->ExpandToFourComponents(0x99);
        std::vector<u8> expected = c.Expanded;
        expected.insert(expected.end(), {0, 0, 0, 0x99});
        EXPECT_EQ(Bytes(image), expected) << c.NbComp;
        EXPECT_EQ(I(image)->GetNbComp(), 4u);
        EXPECT_FALSE(I(image)->AreMipMapInSystem());
        EXPECT_FALSE(I(image)->IsOneBitAlpha());
    }
}

TEST_F(PlugFileImg, ApplyBorder) {
    const u8 colour[4] = {1, 2, 3, 4};
    CMwNodRef image = NewImage(3, 3, 3);
    I(image)->ApplyBorder(colour, true, false);
    std::vector<u8> expected(27, 0);
    for (u32 i = 0; i < 9; ++i)
        if (i != 4)
            expected[3 * i] = 1, expected[3 * i + 1] = 2, expected[3 * i + 2] = 3;
    EXPECT_EQ(Bytes(image), expected);

    // Alpha only: a three-component image becomes four components first.
    I(image)->ApplyBorder(colour, false, true);
    ASSERT_EQ(I(image)->GetNbComp(), 4u);
    const std::vector<u8> bytes = Bytes(image);
    for (u32 i = 0; i < 9; ++i) {
        EXPECT_EQ(bytes[4 * i + 3], i == 4 ? 255 : 4) << i;
        EXPECT_EQ(bytes[4 * i], i == 4 ? 0 : 1) << i;
    }
    // Compressed blocks are left alone.
    CMwNodRef dxt = NewCompressed(4, 4, Img::EFormat_DXT1, std::vector<u8>(8, 0x3C));
    I(dxt)->ApplyBorder(colour, true, true);
    EXPECT_EQ(Bytes(dxt), std::vector<u8>(8, 0x3C));
}

// The first texel of every level loses its alpha (a DXT1 texel its whole block).
TEST_F(PlugFileImg, MakeFirstTexelTransparent) {
    // Three components with the chain: four components, level 0 only, first alpha 0.
    CMwNodRef grey = NewImage(4, 4, 3, 1, 1, true, {9, 8, 7});
    I(grey)->MakeFirstTexelTransparent();
    EXPECT_EQ(I(grey)->GetNbComp(), 4u);
    EXPECT_FALSE(I(grey)->AreMipMapInSystem());
    ASSERT_EQ(I(grey)->m_ByteSize, 64u);
    std::vector<u8> expected(64, 0);
    expected[0] = 9, expected[1] = 8, expected[2] = 7;
    for (u32 i = 1; i < 16; ++i)
        expected[4 * i + 3] = 255;
    EXPECT_EQ(Bytes(grey), expected);

    // Four components with the chain: every level's first texel.
    CMwNodRef chain = NewImage(2, 2, 4, 1, 1, true, std::vector<u8>(20, 0xEE));
    I(chain)->MakeFirstTexelTransparent();
    std::vector<u8> edited(20, 0xEE);
    edited[3] = edited[19] = 0;
    EXPECT_EQ(Bytes(chain), edited);

    // One block of each kind in the first block of each level of an 8 x 8 chain (4 + 1 + 1 + 1
    // blocks).
    const struct {
        u32 Format;
        std::vector<u8> Block;
        std::vector<u8> Edited;
    } cases[] = {
        {Img::EFormat_DXT1, {1, 2, 3, 4, 5, 6, 7, 8}, {0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {Img::EFormat_DXT3, {0x77, 2, 3, 4, 5, 6, 7, 8}, {0x70, 2, 3, 4, 5, 6, 7, 8}},
        {Img::EFormat_DXT5, {200, 100, 0x3F, 4, 5, 6, 7, 8}, {0, 0xFF, 0, 0, 0, 0, 0, 0}},
        {Img::EFormat_DXT5, {100, 200, 0x3F, 4, 5, 6, 7, 8}, {100, 200, 0x3E, 4, 5, 6, 7, 8}},
    };
    for (const auto& c : cases) {
        const u32 blockBytes = c.Format == Img::EFormat_DXT1 ? 8 : 16;
        std::vector<u8> blocks, result;
        for (u32 i = 0; i < 7; ++i) {
            for (u32 k = 0; k < blockBytes; ++k) {
                const u8 byte = k < 8 ? c.Block[k] : u8(0x90 + k);
                blocks.push_back(byte);
                const bool first = i == 0 || i >= 4;
                result.push_back(first && k < 8 ? c.Edited[k] : byte);
            }
        }
        CMwNodRef image = NewCompressed(8, 8, c.Format, blocks, true);
        I(image)->MakeFirstTexelTransparent();
        EXPECT_EQ(Bytes(image), result) << "format " << c.Format << " byte 1 " << int(c.Block[1]);
    }
}

} // namespace
