// TGA pictures: the channel shifts, the fixtures of every kind the reader takes, the headers it
// refuses, short files at every length, run-length packets, the default picture, and writing.
#include "plug/bitmap/PlugFileTga.h"

#include "plug/bitmap/GxImage.h"
#include "system/fid/SystemFids.h"
#include "tests/plug/bitmap/PictureTestSupport.h"

#include <cstring>
#include <map>

namespace {

// A stream over bytes that cannot tell its size and hands out at most `chunk` bytes a read,
// as a pipe would; writes are taken up to `room` bytes in all.
class CTrickleStream final : public CClassicBuffer {
public:
    explicit CTrickleStream(std::string bytes, u32 chunk = 7, u32 room = UINT32_MAX)
        : m_Bytes(std::move(bytes)), m_Chunk(chunk), m_Room(room) {}
    u32 Read(void* data, u32 n) override {
        const u32 count = std::min<u32>({n, m_Chunk, u32(m_Bytes.size() - m_Position)});
        std::memcpy(data, m_Bytes.data() + m_Position, count);
        m_Position += count;
        return count;
    }
    u32 Write(const void* data, u32 n) override {
        ++m_Writes;
        const u32 count = std::min(n, m_Room - u32(m_Written.size()));
        m_Written.append(static_cast<const char*>(data), count);
        return count;
    }
    bool Close() override { return true; }
    u32 GetPosition() const override { return m_Position; }
    u32 GetSize() const override { return 0; }

    std::string m_Bytes;
    u32 m_Chunk;
    u32 m_Room;
    u32 m_Position = 0;
    std::string m_Written;
    u32 m_Writes = 0;
};

CPlugFileTga* Tga(const CMwNodRef& ref) {
    return static_cast<CPlugFileTga*>(ref.Get());
}

// The default picture's block: blue 0, red on odd x + y, green where (x + y) mod 6 is 1.
std::vector<u8> DefaultPicture() {
    std::vector<u8> bytes;
    for (u32 y = 0; y < 8; ++y) {
        for (u32 x = 0; x < 8; ++x) {
            bytes.push_back(0);
            bytes.push_back((x + y) % 6 == 1 ? 255 : 0);
            bytes.push_back((x + y) % 2 == 1 ? 255 : 0);
        }
    }
    return bytes;
}

bool IsDefaultPicture(const CPlugFileTga& image) {
    return image.m_Width == 8 && image.m_Height == 8 && image.GetNbComp() == 3 &&
           ImageBytes(image) == DefaultPicture();
}

class PlugFileTga : public CPlugEngineFixture {
protected:
    // A new TGA image read from the bytes through the guarded read.
    CMwNodRef Read(const std::string& bytes, i32* result = nullptr) {
        CMwNodRef held(new CPlugFileTga);
        const i32 answer = ReadTgaBytes(*Tga(held), bytes);
        if (result)
            *result = answer;
        return held;
    }
};

TEST_F(PlugFileTga, ChannelShifts) {
    const struct {
        u32 Mask;
        u8 Right, Left, Offset;
    } cases[] = {
        {0, 32, 8, 255},        {0xFF, 0, 0, 0},      {0xFF00, 8, 0, 1},    {0xFF0000, 16, 0, 2},
        {0xFF000000, 24, 0, 3}, {0x7C00, 10, 3, 255}, {0x03E0, 5, 3, 255},  {0x001F, 0, 3, 255},
        {0x01FE, 1, 0, 0},      {0x0FC0, 6, 2, 255},  {0x8000, 15, 7, 255},
    };
    for (const auto& c : cases) {
        GxImage image;
        // Each channel in turn: B, G, R, A.
        u32* masks[4] = {&image.m_BlueMask, &image.m_GreenMask, &image.m_RedMask,
                         &image.m_AlphaMask};
        for (u32 k = 0; k < 4; ++k) {
            image.m_BlueMask = image.m_GreenMask = image.m_RedMask = image.m_AlphaMask = 0;
            *masks[k] = c.Mask;
            image.ComputeChannelShifts();
            SCOPED_TRACE(testing::Message() << std::hex << c.Mask << " channel " << k);
            EXPECT_EQ(image.m_RightShift[k], c.Right);
            EXPECT_EQ(image.m_LeftShift[k], c.Left);
            EXPECT_EQ(image.m_ByteOffset[k], c.Offset);
            EXPECT_EQ(image.m_RightShift[(k + 1) % 4], 32);
        }
    }
}

// One picture (24 x 16, a red band on top, distinct corners) stored in every way the format
// allows: what the image holds depends only on the texels.
TEST_F(PlugFileTga, FixturesOfEveryKind) {
    const struct {
        const char* Name;
        u32 NbComp;
        bool OneBitAlpha;
        // Same image bytes as this fixture.
        const char* Twin;
    } cases[] = {
        {"rgb24.tga", 3, false, nullptr},
        {"rgb24-top.tga", 3, false, "rgb24.tga"},
        {"rgb24-rle.tga", 3, false, "rgb24.tga"},
        {"im-rgb24.tga", 3, false, "rgb24.tga"},
        {"im-rgb24-rle.tga", 3, false, "rgb24.tga"},
        {"rle-cross.tga", 3, false, "rgb24.tga"},
        {"id-map-skip.tga", 3, false, "rgb24.tga"},
        {"rgba32.tga", 4, true, nullptr},
        {"rgba32-alpha128.tga", 4, false, nullptr},
        {"grey8.tga", 1, false, nullptr},
        {"grey8-rle.tga", 1, false, nullptr},
        {"cmap24.tga", 3, false, nullptr},
        {"cmap32.tga", 3, false, nullptr},
        {"cmap16.tga", 3, false, nullptr},
        {"rgb16.tga", 3, false, nullptr},
        {"rgb15-top.tga", 3, false, "rgb16.tga"},
    };
    std::map<std::string, std::vector<u8>> images;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        CMwNodRef held(new CPlugFileTga);
        CPlugFileTga& image = *Tga(held);
        CLogWatch log;
        EXPECT_EQ(image.LoadFromPath(FixtureName(c.Name)), 1);
        EXPECT_EQ(log.Since(), "");
        ExpectFixturePicture(image, c.NbComp);
        EXPECT_EQ(image.IsOneBitAlpha(), c.OneBitAlpha);
        images[c.Name] = ImageBytes(image);
        if (c.Twin) {
            EXPECT_EQ(images[c.Name], images[c.Twin]);
        }
    }
    // Row 0 is the bottom row, texels B, G, R: the top-left corner (R 255, G 255, B 0) lies at
    // the start of the last row, the bottom-left one (R 255, G 0, B 255) at the start.
    const std::vector<u8>& rgb = images["rgb24.tga"];
    EXPECT_EQ(std::vector<u8>(rgb.begin() + 15 * 24 * 3, rgb.begin() + 15 * 24 * 3 + 3),
              (std::vector<u8>{0, 255, 255}));
    EXPECT_EQ(std::vector<u8>(rgb.begin(), rgb.begin() + 3), (std::vector<u8>{255, 0, 255}));
    // 5-bit channels are the 8-bit ones with their low 3 bits cleared (v << 3).
    std::vector<u8> cut = rgb;
    for (u8& byte : cut)
        byte &= 0xF8;
    EXPECT_EQ(images["rgb16.tga"], cut);
    // The 32-bit pictures differ by the one alpha byte of 128 (texel (5, 6) from the top).
    std::vector<u8> alpha = images["rgba32.tga"];
    alpha[((15 - 6) * 24 + 5) * 4 + 3] = 128;
    EXPECT_EQ(images["rgba32-alpha128.tga"], alpha);
    // The colour maps: index 2 of the top-left texel lies before the map (black); the others
    // match the map, whatever its entry size.
    const std::vector<u8>& map32 = images["cmap32.tga"];
    EXPECT_EQ(std::vector<u8>(map32.begin() + 15 * 24 * 3, map32.begin() + 15 * 24 * 3 + 3),
              (std::vector<u8>{0, 0, 0}));
    std::vector<u8> map32Cut = map32;
    for (u8& byte : map32Cut)
        byte &= 0xF8;
    EXPECT_EQ(images["cmap16.tga"], map32Cut);
}

// Headers outside the rules give the default picture, the failed flag and a log line.
TEST_F(PlugFileTga, RefusedHeaders) {
    const std::string good = Fixture("rgb24.tga");
    // Bytes put into a good 24-bit header (offset, value; offset 0 ends the list).
    const struct {
        const char* What;
        u8 Patch[3][2];
    } cases[] = {
        {"colour map type 2", {{1, 2}}},
        {"pixel depth 0", {{16, 0}}},
        {"pixel depth 33", {{16, 33}}},
        {"alpha bits 4", {{17, 0x04}}},
        {"right to left", {{17, 0x10}}},
        {"descriptor bit 6", {{17, 0x40}}},
        {"descriptor bit 7", {{17, 0x80}}},
        {"image type 0", {{2, 0}}},
        {"image type 4", {{2, 4}}},
        {"image type 8", {{2, 8}}},
        {"image type 12", {{2, 12}}},
        {"grey of 24 bits", {{2, 3}}},
        {"colour-mapped of 24 bits", {{2, 1}, {1, 1}, {7, 24}}},
        {"true colour of 8 bits", {{16, 8}}},
        {"true colour of 12 bits", {{16, 12}}},
        {"zero width", {{12, 0}, {13, 0}}},
        {"zero height", {{14, 0}, {15, 0}}},
        {"colour-mapped without map", {{2, 1}, {16, 8}}},
        {"colour map entries of 8 bits", {{2, 1}, {16, 8}, {1, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        std::string bytes = good;
        for (const auto& patch : c.Patch) {
            if (patch[0] != 0)
                bytes[patch[0]] = char(patch[1]);
        }
        CLogWatch log;
        i32 result = 0;
        const CMwNodRef held = Read(bytes, &result);
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(Tga(held)->HasLoadFailed());
        EXPECT_TRUE(IsDefaultPicture(*Tga(held)));
        EXPECT_EQ(log.Since().rfind("GxImage : TGA ", 0), 0u) << log.Since();
    }
}

// Every length of a raw, a run-length and a colour-mapped file short of its pixels gives the
// default picture, through a memory stream (which throws at its end) and through a stream that
// cannot tell its size; the whole file reads.
TEST_F(PlugFileTga, ShortFilesAtEveryLength) {
    for (const char* name : {"rgb24.tga", "rle-cross.tga", "cmap32.tga", "grey8-rle.tga"}) {
        SCOPED_TRACE(name);
        const std::string file = Fixture(name);
        const std::vector<u8> whole = ImageBytes(*Tga(Read(file)));
        ASSERT_FALSE(whole.empty());
        u32 needed = 0;
        for (u32 length = 0; length <= file.size(); ++length) {
            const std::string part = file.substr(0, length);
            const CMwNodRef held = Read(part);
            CMwNodRef trickled(new CPlugFileTga);
            CTrickleStream stream(part);
            Tga(trickled)->ReadStreamOrDefault(stream, u"Z:\\a.tga");
            EXPECT_EQ(ImageBytes(*Tga(trickled)), ImageBytes(*Tga(held))) << length;
            if (Tga(held)->HasLoadFailed()) {
                ASSERT_EQ(needed, 0u) << "fails again at " << length;
                EXPECT_TRUE(IsDefaultPicture(*Tga(held))) << length;
            } else {
                needed = needed ? needed : length;
                EXPECT_EQ(ImageBytes(*Tga(held)), whole) << length;
            }
        }
        // Only a file that holds every pixel reads (a footer may follow).
        EXPECT_GE(needed, name == std::string("rgb24.tga") ? 18u + 24 * 16 * 3 : 18u);
    }
}

// Run-length packets: a run may cross rows and pass the last pixel (clipped); a raw packet
// likewise.
TEST_F(PlugFileTga, RunLengthPackets) {
    // 3 x 2 grey, bottom row first: a run of 4 (crossing the row), a raw packet of 5 of which
    // two are used.
    std::string file("\0\0\x0B\0\0\0\0\0\0\0\0\0\x03\0\x02\0\x08\0", 18);
    file += std::string("\x83\x11", 2) + std::string("\x04\x21\x22\x23\x24\x25", 6);
    const CMwNodRef held = Read(file);
    ASSERT_FALSE(Tga(held)->HasLoadFailed());
    EXPECT_EQ(ImageBytes(*Tga(held)), (std::vector<u8>{0x11, 0x11, 0x11, 0x11, 0x21, 0x22}));
    // The same, top row first: the first three pixels are the block's last row.
    file[17] = 0x20;
    EXPECT_EQ(ImageBytes(*Tga(Read(file))), (std::vector<u8>{0x11, 0x21, 0x22, 0x11, 0x11, 0x11}));
    // A run of 128 over six pixels.
    std::string longRun = file.substr(0, 18) + std::string("\xFF\x42", 2);
    EXPECT_EQ(ImageBytes(*Tga(Read(longRun))), std::vector<u8>(6, 0x42));
}

// Sizes are checked before anything is allocated: the image limit, and for a stream that knows
// its size the bytes it still holds.
TEST_F(PlugFileTga, SizesCheckedBeforeAllocation) {
    std::string huge("\0\0\x02\0\0\0\0\0\0\0\0\0\xFF\xFF\xFF\xFF\x20\0", 18);
    CLogWatch log;
    EXPECT_TRUE(IsDefaultPicture(*Tga(Read(huge))));
    EXPECT_NE(log.Since().find("GxImage : TGA picture larger than the image limit"),
              std::string::npos);
    // 4000 x 4000 x 4 bytes are within the limit, not within the file.
    huge[12] = huge[14] = char(0xA0);
    huge[13] = huge[15] = 0x0F;
    CLogWatch shortLog;
    EXPECT_TRUE(IsDefaultPicture(*Tga(Read(huge))));
    EXPECT_NE(shortLog.Since().find("GxImage : TGA pixel data cut short"), std::string::npos);
    // A lowered limit refuses a colour-mapped picture by its three bytes per texel.
    const CImageLimit limit(24 * 16 * 3 - 1);
    EXPECT_TRUE(IsDefaultPicture(*Tga(Read(Fixture("cmap24.tga")))));
}

TEST_F(PlugFileTga, DefaultPictureAndMissingFile) {
    CMwNodRef held(new CPlugFileTga);
    CPlugFileTga& image = *Tga(held);
    EXPECT_EQ(image.CreateDefault(), 1);
    EXPECT_TRUE(IsDefaultPicture(image));
    EXPECT_FALSE(image.IsOneBitAlpha());
    CLogWatch log;
    EXPECT_EQ(image.LoadFromPath(Name("Missing.tga")), 1);
    EXPECT_TRUE(image.HasLoadFailed());
    EXPECT_TRUE(IsDefaultPicture(image));
    EXPECT_EQ(log.Since(), "Failed to load " + Narrow(Name("Missing.tga")) + "\r\n");
}

// Writing what was read gives back the header (descriptor 0) and the pixel bytes.
TEST_F(PlugFileTga, WriteWhatWasRead) {
    for (const char* name : {"rgb24.tga", "rgba32.tga"}) {
        SCOPED_TRACE(name);
        const std::string file = Fixture(name);
        const CMwNodRef held = Read(file);
        CTrickleStream out("");
        ASSERT_EQ(Tga(held)->WriteToStream(out), 1);
        std::string expected = file.substr(0, 18 + Tga(held)->m_ByteSize);
        expected[17] = 0;
        EXPECT_EQ(out.m_Written, expected);
        // The header and one write per row.
        EXPECT_EQ(out.m_Writes, 1u + 16);
        // The pixels stay the image's.
        EXPECT_EQ(ImageBytes(*Tga(held)), ImageBytes(*Tga(Read(file))));
    }
}

// Pictures a TGA header cannot describe, or that are not pixels, write nothing.
TEST_F(PlugFileTga, WriteRefusals) {
    const struct {
        const char* What;
        u32 Width, Height, NbComp, Format;
    } cases[] = {
        {"compressed", 8, 8, 0, CPlugFileImg::EFormat_DXT1},
        {"grey", 8, 8, 1, CPlugFileImg::EFormat_BGRA},
        {"two components", 8, 8, 2, CPlugFileImg::EFormat_BGRA},
        {"five components", 8, 8, 5, CPlugFileImg::EFormat_BGRA},
        {"wide", 65536, 1, 3, CPlugFileImg::EFormat_BGRA},
        {"tall", 1, 65536, 3, CPlugFileImg::EFormat_BGRA},
        {"no texels", 0, 8, 3, CPlugFileImg::EFormat_BGRA},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        CMwNodRef held(new CPlugFileTga);
        u8* blocks = c.Format == CPlugFileImg::EFormat_DXT1 ? new u8[32]() : nullptr;
        Tga(held)->Create(c.Width, c.Height, c.NbComp, c.Format, blocks, blocks ? 32 : 0, false,
                          false, CPlugFileImg::EDimension_2d, 1);
        CTrickleStream out("");
        EXPECT_EQ(Tga(held)->WriteToStream(out), 0);
        EXPECT_EQ(out.m_Written, "");
    }
    // A stream that takes fewer bytes than given: 0, and a save by path leaves the old file.
    const CMwNodRef held = Read(Fixture("rgb24.tga"));
    for (u32 room : {0u, 10u, 18u, 100u, 18u + 24 * 16 * 3 - 1}) {
        CTrickleStream out("", 7, room);
        EXPECT_EQ(Tga(held)->WriteToStream(out), 0) << room;
    }
    WriteWholeFile(HostFile("Old.tga"), "old");
    Tga(held)->FreePixels();
    Tga(held)->m_Width = 70000;
    EXPECT_EQ(Tga(held)->SaveToPath(Name("Old.tga")), 0);
    EXPECT_EQ(ReadWholeFile(HostFile("Old.tga")), "old");
}

// Saving by path and loading back through a file id of the engine's folders.
TEST_F(PlugFileTga, SaveAndLoadThroughFileId) {
    const CMwNodRef read = Read(Fixture("rgba32-alpha128.tga"));
    EXPECT_EQ(Tga(read)->SaveToPath(Name("Saved.tga")), 1);
    CSystemFid* fid = Engine().GetFileFid(nullptr, Name("Saved.tga"), nullptr);
    ASSERT_NE(fid, nullptr);
    const CMwNodRef made(CPlugFile::CreateNodFromFid(fid));
    ASSERT_TRUE(made && made->IsKindOf(CPlugFileTga::s_ClassId));
    CSystemEngine::AttachNodToFid(made.Get(), fid);
    EXPECT_EQ(Tga(made)->EnsureLoaded(), 1);
    EXPECT_EQ(ImageBytes(*Tga(made)), ImageBytes(*Tga(read)));
    EXPECT_FALSE(Tga(made)->IsOneBitAlpha());
}

} // namespace
