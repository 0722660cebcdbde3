#include "platform/ui/Template.h"
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

} // namespace
