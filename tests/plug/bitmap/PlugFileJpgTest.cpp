// JPEG pictures: grey and colour fixtures, the decoder's own road (R, G, B top row first) against
// the load's, files that cannot be opened or decoded, and the limits on hostile headers.
#include "plug/bitmap/PlugFileJpg.h"

#include "plug/bitmap/GxImage.h"
#include "system/fid/SystemFids.h"
#include "tests/plug/bitmap/PictureTestSupport.h"

#include <cstring>

namespace {

CPlugFileJpg* Jpg(const CMwNodRef& ref) {
    return static_cast<CPlugFileJpg*>(ref.Get());
}

// Sets the scan limit while it lives.
struct CScanLimit {
    explicit CScanLimit(u32 scans) { GxJpegSetScanLimit(scans); }
    ~CScanLimit() { GxJpegSetScanLimit(m_Old); }
    CScanLimit(const CScanLimit&) = delete;
    CScanLimit& operator=(const CScanLimit&) = delete;
    u32 m_Old = GxJpegGetScanLimit();
};

const char* const kJpegFixtures[] = {"grey.jpg", "colour420.jpg", "progressive444.jpg"};

class PlugFileJpg : public CPlugEngineFixture {
protected:
    // A JPEG image loaded from the engine path: the load's result in *result.
    CMwNodRef Load(const CClassicWideString& path, i32* result = nullptr) {
        CMwNodRef held(new CPlugFileJpg);
        const i32 answer = Jpg(held)->LoadFromPath(path);
        if (result)
            *result = answer;
        return held;
    }
};

// Grey gives one component, colour three in B, G, R order with the picture's top row last.
TEST_F(PlugFileJpg, Fixtures) {
    const struct {
        const char* Name;
        u32 NbComp;
    } cases[] = {{"grey.jpg", 1}, {"colour420.jpg", 3}, {"progressive444.jpg", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        CLogWatch log;
        i32 result = 0;
        const CMwNodRef held = Load(FixtureName(c.Name), &result);
        const CPlugFileJpg& image = *Jpg(held);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(log.Since(), "");
        ExpectFixturePicture(image, c.NbComp);
        ASSERT_EQ(image.m_ByteSize, 24u * 16 * c.NbComp);
        // The top row's middle is the red band (R 230, G 20, B 30; grey about 88), the bottom
        // row's is not.
        const u8* top = image.m_Pixels + (15 * 24 + 12) * c.NbComp;
        const u8* bottom = image.m_Pixels + 12 * c.NbComp;
        if (c.NbComp == 3) {
            EXPECT_NEAR(top[0], 30, 12);
            EXPECT_NEAR(top[1], 20, 12);
            EXPECT_NEAR(top[2], 230, 12);
            EXPECT_LT(bottom[2], 160);
        } else {
            EXPECT_NEAR(top[0], 88, 12);
            EXPECT_GT(bottom[0], 120);
        }
    }
}

// The decoder's contract (R, G, B, top row first, a block the caller frees) through the codec
// image's general conversion gives the very bytes of the load, which decodes straight into the
// image's layout.
TEST_F(PlugFileJpg, BothRoadsGiveTheSameImage) {
    for (const char* name : kJpegFixtures) {
        SCOPED_TRACE(name);
        u8* pixels = nullptr;
        u32 width = 0, height = 0, bits = 0;
        ASSERT_TRUE(GxJpegRead(FixtureName(name), &pixels, &width, &height, &bits));
        GxImage codec;
        codec.m_Width = width;
        codec.m_Height = height;
        codec.m_Bits = bits;
        codec.m_Pitch = width * (bits / 8);
        if (bits == 24) {
            codec.m_RedMask = 0xFF;
            codec.m_GreenMask = 0xFF00;
            codec.m_BlueMask = 0xFF0000;
        }
        codec.ComputeChannelShifts();
        codec.m_Pixels = new u8[u64(codec.m_Pitch) * height];
        for (u32 row = 0; row < height; ++row)
            std::memcpy(codec.m_Pixels + u64(height - 1 - row) * codec.m_Pitch,
                        pixels + u64(row) * codec.m_Pitch, codec.m_Pitch);
        delete[] pixels;
        CMwNodRef viaDecoder(new CPlugFileJpg);
        Jpg(viaDecoder)->FromCodecImage(codec);

        const CMwNodRef loaded = Load(FixtureName(name));
        ASSERT_TRUE(Jpg(loaded)->IsLoaded());
        EXPECT_EQ(ImageBytes(*Jpg(viaDecoder)), ImageBytes(*Jpg(loaded)));
        EXPECT_EQ(Jpg(viaDecoder)->GetNbComp(), Jpg(loaded)->GetNbComp());
    }
}

// A file that cannot be opened or decoded answers 0, logs "File Error" and leaves the image as
// it was; the scan, size and component limits refuse hostile pictures the same way.
TEST_F(PlugFileJpg, Failures) {
    const std::string colour = Fixture("colour420.jpg");
    // The picture's height and width lie in the frame header (after FF C0, 3 bytes on).
    const size_t frame = colour.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    std::string huge = colour;
    huge[frame + 5] = huge[frame + 7] = char(0xEA);
    huge[frame + 6] = huge[frame + 8] = char(0x60);
    WriteWholeFile(HostFile("huge.jpg"), huge);
    WriteWholeFile(HostFile("noise.jpg"), "not a picture at all");
    WriteWholeFile(HostFile("empty.jpg"), "");
    std::filesystem::copy_file(FixturePath("cmyk.jpg"), HostFile("cmyk.jpg"));
    std::filesystem::copy_file(FixturePath("progressive444.jpg"), HostFile("scans.jpg"));
    const struct {
        const char* Name;
        const char* LogStart;
    } cases[] = {
        {"missing.jpg", "GxImage : Unable to open "},
        {"noise.jpg", "GxImage : Not a JPEG file"},
        {"empty.jpg", "GxImage : Empty input file"},
        {"cmyk.jpg", "GxImage : JPEG of 4 components in colour space 4 refused"},
        {"huge.jpg", "GxImage : JPEG of 60000 x 60000 texels larger than the image limit"},
        {"scans.jpg", "GxImage : progressive picture of more than 2 scans"},
    };
    const CScanLimit scans(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // The image holds a picture already: a failed load keeps it.
        const CMwNodRef held = Load(FixtureName("grey.jpg"));
        const std::vector<u8> before = ImageBytes(*Jpg(held));
        CLogWatch log;
        EXPECT_EQ(Jpg(held)->LoadFromPath(Name(c.Name)), 0);
        EXPECT_TRUE(Jpg(held)->HasLoadFailed());
        EXPECT_EQ(ImageBytes(*Jpg(held)), before);
        EXPECT_EQ(Jpg(held)->GetNbComp(), 1u);
        const std::string text = log.Since();
        EXPECT_EQ(text.rfind(c.LogStart, 0), 0u) << text;
        EXPECT_TRUE(text.size() > 12 && text.substr(text.size() - 12) == "File Error\r\n") << text;
    }
    // A missing file: a new image stays empty; the whole log.
    CLogWatch log;
    i32 result = 1;
    const CMwNodRef empty = Load(Name("missing.jpg"), &result);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(Jpg(empty)->IsLoaded());
    EXPECT_EQ(log.Since(),
              "GxImage : Unable to open " + Narrow(Name("missing.jpg")) + "\r\nFile Error\r\n");
    // A lowered image limit refuses the real picture; the baseline one has a single scan.
    {
        const CScanLimit one(1);
        EXPECT_TRUE(Jpg(Load(FixtureName("colour420.jpg")))->IsLoaded());
        const CImageLimit limit(24 * 16 * 3 - 1);
        EXPECT_FALSE(Jpg(Load(FixtureName("colour420.jpg")))->IsLoaded());
        EXPECT_TRUE(Jpg(Load(FixtureName("grey.jpg")))->IsLoaded());
    }
}

// A cut file is a warning: the picture decodes (its missing part grey), as libjpeg decides.
TEST_F(PlugFileJpg, CutFileDecodesWithWarning) {
    const std::string colour = Fixture("colour420.jpg");
    // Half of the scan's data.
    const size_t scan = colour.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    WriteWholeFile(HostFile("cut.jpg"), colour.substr(0, scan + (colour.size() - scan) / 2));
    CLogWatch log;
    i32 result = 0;
    const CMwNodRef held = Load(Name("cut.jpg"), &result);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(Jpg(held)->IsLoaded());
    EXPECT_EQ(log.Since(), "GxImage : Premature end of JPEG file\r\n");
}

// Paths are the engine's: a name that is not Latin-1, a name in another case, a file id of the
// engine's folders. JPEG is never written.
TEST_F(PlugFileJpg, PathsAndFileIds) {
    const std::string colour = Fixture("colour420.jpg");
    WriteWholeFile(HostFile("\xE5\x9B\xBE\xE7\x89\x87.jpg"), colour);
    WriteWholeFile(HostFile("Photo.jpeg"), colour);
    const std::vector<u8> expected = ImageBytes(*Jpg(Load(FixtureName("colour420.jpg"))));
    ASSERT_FALSE(expected.empty());
    for (const char* name : {"\xE5\x9B\xBE\xE7\x89\x87.jpg", "PHOTO.JPEG"}) {
        CMwNodRef held(new CPlugFileJpg);
        EXPECT_EQ(Jpg(held)->LoadFromPath(Name(name)), 1) << name;
        EXPECT_EQ(ImageBytes(*Jpg(held)), expected) << name;
    }
    CSystemFid* fid = Engine().GetFileFid(nullptr, Name("Photo.jpeg"), nullptr);
    ASSERT_NE(fid, nullptr);
    const CMwNodRef made(CPlugFile::CreateNodFromFid(fid));
    ASSERT_TRUE(made && made->IsKindOf(CPlugFileJpg::s_ClassId));
    CSystemEngine::AttachNodToFid(made.Get(), fid);
    EXPECT_EQ(Jpg(made)->EnsureLoaded(), 1);
    EXPECT_EQ(ImageBytes(*Jpg(made)), expected);

    EXPECT_EQ(Jpg(made)->SaveToPath(Name("Copy.jpg")), 0);
    EXPECT_FALSE(std::filesystem::exists(HostFile("Copy.jpg")));
}

} // namespace
