#include "platform/ui/Template.h"
#include "tests/core/ExternalToolSupport.h"
#include "tests/platform/ui/UiBmp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

TEST(UiTemplate, DialogUnitsToPixels) {
    struct Case {
        i32 x, y, w, h;
        ui::Rect pixels;
    };
    const Case cases[] = {
        // The main dialog's picture: exactly 492 x 203 pixels.
        {1, 0, 328, 125, {1, 0, 493, 203}},
        // The main dialog's client area.
        {0, 0, 330, 154, {0, 0, 495, 250}},
        // Each edge truncates on its own: 7.5 -> 7, 216.1 -> 216, 97.5 -> 97, 238.9 -> 238.
        {5, 133, 60, 14, {7, 216, 97, 238}},
        // A one-unit control at an odd place keeps two pixels each way.
        {3, 3, 1, 1, {4, 4, 6, 6}},
        // The advanced dialog's tab control.
        {7, 13, 344, 197, {10, 21, 526, 341}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
        EXPECT_EQ(ui::DuToPixels(c.x, c.y, c.w, c.h), c.pixels);
    }
    static_assert(ui::DuToPixels(1, 0, 328, 125).Width() == 492);
    static_assert(ui::DuToPixels(1, 0, 328, 125).Height() == 203);
}

TEST(UiTemplate, RegistrationRefusesClashes) {
    static constexpr ui::ControlTemplate controls[] = {
        {1, ui::ControlKind::DefButton, 5, 5, 50, 14, "OK"},
        {2, ui::ControlKind::Button, 60, 5, 50, 14, "Cancel"},
    };
    static constexpr ui::DialogTemplate first{8801, 120, 30, ui::StylePopup, "First", controls};
    static constexpr ui::DialogTemplate sameId{8801, 120, 30, ui::StylePopup, "Other", controls};
    static constexpr ui::ControlTemplate twice[] = {
        {1, ui::ControlKind::DefButton, 5, 5, 50, 14},
        {1, ui::ControlKind::Button, 60, 5, 50, 14},
    };
    static constexpr ui::DialogTemplate duplicateIds{8802, 120, 30, ui::StylePopup, "", twice};
    static constexpr ui::DialogTemplate noSize{8803, 0, 30, ui::StylePopup, "", controls};

    EXPECT_EQ(ui::FindTemplate(8801), nullptr);
    EXPECT_TRUE(ui::RegisterTemplate(first));
    EXPECT_TRUE(ui::RegisterTemplate(first));
    EXPECT_FALSE(ui::RegisterTemplate(sameId));
    EXPECT_EQ(ui::FindTemplate(8801), &first);
    EXPECT_FALSE(ui::RegisterTemplate(duplicateIds));
    EXPECT_EQ(ui::FindTemplate(8802), nullptr);
    EXPECT_FALSE(ui::RegisterTemplate(noSize));
    EXPECT_EQ(ui::FindTemplate(8803), nullptr);
}

TEST(UiTemplate, PictureSizeFromBmpHeaders) {
    struct Case {
        const char* name;
        std::vector<u8> bytes;
        bool ok;
        i32 width, height;
    };
    std::vector<u8> truncated = uitest::MakeBmp(492, 203);
    truncated.resize(40);
    std::vector<u8> notBmp = uitest::MakeBmp(4, 4);
    notBmp[0] = 'P';
    std::vector<u8> oddHeader = uitest::MakeBmp(4, 4);
    oddHeader[14] = 20; // no such header
    const Case cases[] = {
        {"bottom-up, info header", uitest::MakeBmp(492, 203), true, 492, 203},
        {"top-down", uitest::MakeBmp(16, -9), true, 16, 9},
        {"core header", uitest::MakeBmp(33, 7, 12), true, 33, 7},
        {"version 5 header", uitest::MakeBmp(2, 3, 124), true, 2, 3},
        {"largest side", uitest::MakeBmp(16384, 1), true, 16384, 1},
        {"too wide", uitest::MakeBmp(16385, 1), false, 0, 0},
        {"no width", uitest::MakeBmp(0, 5), false, 0, 0},
        {"negative width", uitest::MakeBmp(-5, 5), false, 0, 0},
        {"lowest height", uitest::MakeBmp(5, INT32_MIN), false, 0, 0},
        {"truncated", truncated, false, 0, 0},
        {"not a BMP", notBmp, false, 0, 0},
        {"unknown header", oddHeader, false, 0, 0},
        {"empty", {}, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui::PictureSize size{-1, -1};
        std::string problem;
        EXPECT_EQ(ui::ReadPictureSize(c.bytes, size, problem), c.ok);
        EXPECT_EQ(size.Width, c.width);
        EXPECT_EQ(size.Height, c.height);
        EXPECT_EQ(problem.empty(), c.ok);
    }
}

// Decoding: every supported depth gives the same top-down RGB rows; what the bytes do not hold
// or the decoder does not know is refused with no pixels.
TEST(UiTemplate, PicturePixelsFromBmpRows) {
    // 3 x 2: red, green, blue / white, black, grey (16 bits keeps 5 bits a part).
    const std::vector<u32> colours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080};
    const std::vector<u32> palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080};
    const std::vector<u32> indices = {0, 1, 2, 3, 4, 5};
    const std::vector<u8> expected = {255, 0,   0,   0, 255, 0, 0,   0,   255,
                                      255, 255, 255, 0, 0,   0, 128, 128, 128};
    const std::vector<u8> expected16 = {255, 0,   0,   0, 255, 0, 0,   0,   255,
                                        255, 255, 255, 0, 0,   0, 132, 132, 132};
    // 1 bit: two colours in a 9-pixel row that spans two bytes.
    const std::vector<u32> bits = {1, 0, 1, 1, 0, 0, 0, 1, 1};
    std::vector<u8> expectedBits;
    for (const u32 bit : bits)
        expectedBits.insert(expectedBits.end(), 3, bit ? 255 : 0);

    struct Case {
        const char* name;
        std::vector<u8> bytes;
        i32 width, height;
        std::vector<u8> rgb;
    };
    const Case cases[] = {
        {"24 bits", uitest::MakeBmpPixels(3, 2, 24, colours), 3, 2, expected},
        {"32 bits", uitest::MakeBmpPixels(3, 2, 32, colours), 3, 2, expected},
        {"24 bits top-down", uitest::MakeBmpPixels(3, 2, 24, colours, {}, true), 3, 2, expected},
        {"16 bits", uitest::MakeBmpPixels(3, 2, 16, colours), 3, 2, expected16},
        {"8 bits", uitest::MakeBmpPixels(3, 2, 8, indices, palette), 3, 2, expected},
        {"4 bits", uitest::MakeBmpPixels(3, 2, 4, indices, palette), 3, 2, expected},
        {"1 bit", uitest::MakeBmpPixels(9, 1, 1, bits, {0x000000, 0xFFFFFF}), 9, 1, expectedBits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui::PicturePixels pixels;
        std::string problem;
        ASSERT_TRUE(ui::DecodePicture(c.bytes, pixels, problem)) << problem;
        EXPECT_EQ(pixels.Width, c.width);
        EXPECT_EQ(pixels.Height, c.height);
        EXPECT_EQ(pixels.Rgb, c.rgb);
    }

    std::vector<u8> truncated = uitest::MakeBmpPixels(3, 2, 24, colours);
    truncated.pop_back();
    std::vector<u8> compressed = uitest::MakeBmpPixels(3, 2, 8, indices, palette);
    compressed[30] = 1; // run-length encoded
    std::vector<u8> badDepth = uitest::MakeBmpPixels(3, 2, 24, colours);
    badDepth[28] = 2;
    std::vector<u8> shortPalette = uitest::MakeBmpPixels(3, 2, 8, indices, palette);
    shortPalette[46] = 0; // all 256 entries, which the file does not hold
    std::vector<u8> offsetPast = uitest::MakeBmpPixels(3, 2, 24, colours);
    offsetPast[13] = 0x7F;
    const struct {
        const char* name;
        std::vector<u8> bytes;
    } refused[] = {
        {"truncated rows", truncated},
        {"compressed", compressed},
        {"unknown depth", badDepth},
        {"short palette", shortPalette},
        {"pixels past the end", offsetPast},
        // Within the header reader's sides, past the decoder's pixel count; no rows needed.
        {"too many pixels", uitest::MakeBmp(16384, 16384)},
        {"header only", uitest::MakeBmp(492, 203)},
        {"not a BMP", {'P', 'N', 'G'}},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        ui::PicturePixels pixels;
        pixels.Width = 7;
        std::string problem;
        EXPECT_FALSE(ui::DecodePicture(c.bytes, pixels, problem));
        EXPECT_FALSE(problem.empty());
        EXPECT_EQ(pixels.Width, 0);
        EXPECT_TRUE(pixels.Rgb.empty());
    }
}

// ImageMagick writes BMP files of each depth from one picture; the decoder gives back the pixels
// ImageMagick reads from them. Its 32-bit files with alpha use bit-field masks, which the
// decoder refuses, as it refuses run-length encoded rows.
TEST(UiTemplate, PicturePixelsAsImageMagickReadsThem) {
    CTempFolder folder;
    struct Case {
        const char* options; // how convert writes the BMP
        u32 bitCount;
        bool decoded;
    };
    const Case cases[] = {
        {"-type TrueColor BMP3:", 24, true},
        {"-type Palette -compress None BMP3:", 8, true},
        {"-type Palette BMP3:", 8, false}, // run-length encoded
        {"-colors 16 -type Palette -compress None BMP3:", 4, true},
        {"-monochrome BMP3:", 1, true},
        {"-alpha on BMP:", 32, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string bmp = folder.File("picture.bmp");
        RunCommand("convert -size 37x20 gradient:red-blue -fill yellow -draw 'point 2,1' " +
                   std::string(c.options) + bmp);
        const std::string file = ReadWholeFile(bmp);
        ASSERT_GT(file.size(), 30u);
        ASSERT_EQ(u8(file[28]), c.bitCount);
        ui::PicturePixels pixels;
        std::string problem;
        const bool decoded = ui::DecodePicture(
            {reinterpret_cast<const u8*>(file.data()), file.size()}, pixels, problem);
        ASSERT_EQ(decoded, c.decoded) << problem;
        if (!decoded)
            continue;
        EXPECT_EQ(pixels.Width, 37); // rows padded at every depth
        EXPECT_EQ(pixels.Height, 20);
        EXPECT_EQ(std::string(pixels.Rgb.begin(), pixels.Rgb.end()),
                  RunCommand("convert " + bmp + " -depth 8 rgb:-"));
    }
}

} // namespace
