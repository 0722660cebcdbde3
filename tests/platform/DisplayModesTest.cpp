#include "platform/DisplayModes.h"

#include "tests/core/ExternalToolSupport.h"
#include "tests/support/FakeAdapter.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace platform {
// Modes in failure messages.
void PrintTo(const DisplayMode& mode, std::ostream* out);
} // namespace platform

namespace {

using platform::D3dFormat;
using platform::DisplayMode;
using platform::DisplayModes;

std::vector<DisplayMode> Listed(const DisplayModes& modes, D3dFormat format) {
    std::vector<DisplayMode> out;
    DisplayMode mode;
    for (u32 i = 0; i < modes.Count(format); ++i) {
        EXPECT_TRUE(modes.Enum(format, i, mode));
        out.push_back(mode);
    }
    EXPECT_FALSE(modes.Enum(format, modes.Count(format), mode));
    return out;
}

TEST(DisplayModes, FakeTableWithRefreshVariants) {
    CFakeAdapter fake;
    DisplayModes modes;
    ASSERT_TRUE(modes.Open());
    EXPECT_EQ(modes.GetAdapter().VendorId, 0x5A5Au);
    const platform::Adapter table = FakeAdapterDescription();
    for (D3dFormat format : {D3dFormat::X8R8G8B8, D3dFormat::R5G6B5}) {
        std::vector<DisplayMode> expected;
        for (const DisplayMode& mode : table.Modes) {
            if (mode.Format == format)
                expected.push_back(mode);
        }
        EXPECT_EQ(modes.Count(format), 8u);
        EXPECT_EQ(Listed(modes, format), expected);
    }
    EXPECT_EQ(modes.Count(D3dFormat::A8R8G8B8), 0u);

    modes.Close();
    EXPECT_EQ(modes.Count(D3dFormat::X8R8G8B8), 0u);
    DisplayMode mode;
    EXPECT_FALSE(modes.Enum(D3dFormat::X8R8G8B8, 0, mode));
}

TEST(DisplayModes, OpenAnswersWhetherAnAdapterIsDescribed) {
    {
        CFakeAdapter none(std::nullopt);
        DisplayModes modes;
        EXPECT_FALSE(modes.Open());
        EXPECT_FALSE(modes.IsOpen());
        EXPECT_EQ(modes.Count(D3dFormat::X8R8G8B8), 0u);
    }
    // An interface without a device still opens.
    platform::Adapter noDevice;
    noDevice.Present = false;
    CFakeAdapter fake(noDevice);
    DisplayModes modes;
    EXPECT_TRUE(modes.Open());
    EXPECT_TRUE(modes.IsOpen());
}

// Sizes of a format as "WxH@R".
std::vector<std::string> Sizes(const std::vector<DisplayMode>& modes) {
    std::vector<std::string> out;
    for (const DisplayMode& mode : modes)
        out.push_back(std::to_string(mode.Width) + "x" + std::to_string(mode.Height) + "@" +
                      std::to_string(mode.RefreshRate));
    return out;
}

// Listed modes come sorted by width, height and rate, so that refresh-rate variants of one size
// stand next to each other; the common sizes stand in only for a format with nothing listed.
TEST(DisplayModes, SortedAndCommonSizesOnlyWhenNoneListed) {
    struct Case {
        const char* Name;
        DisplayMode Desktop;
        std::vector<DisplayMode> Listed;
        D3dFormat Format;
        std::vector<std::string> Expected;
    };
    const D3dFormat x8 = D3dFormat::X8R8G8B8;
    const D3dFormat r5 = D3dFormat::R5G6B5;
    const Case cases[] = {
        {"a virtual display: its one size alone",
         {1280, 1024, 60, x8},
         {{1280, 1024, 60, x8}, {1280, 1024, 60, r5}},
         x8,
         {"1280x1024@60"}},
        {"the same in 16 bits",
         {1280, 1024, 60, x8},
         {{1280, 1024, 60, x8}, {1280, 1024, 60, r5}},
         r5,
         {"1280x1024@60"}},
        {"one size at two rates, listed out of order",
         {1024, 768, 75, x8},
         {{1024, 768, 75, x8}, {1024, 768, 60, x8}},
         x8,
         {"1024x768@60", "1024x768@75"}},
        {"sizes out of order",
         {1920, 1080, 60, x8},
         {{1920, 1080, 60, x8},
          {800, 600, 75, x8},
          {1280, 1024, 60, x8},
          {800, 600, 60, x8},
          {1280, 720, 60, x8},
          {640, 480, 60, r5}},
         x8,
         {"800x600@60", "800x600@75", "1280x720@60", "1280x1024@60", "1920x1080@60"}},
        {"no mode listed", {800, 600, 0, x8}, {}, x8, {"640x480@60", "800x600@60"}},
        {"no mode listed in 16 bits",
         {1024, 768, 0, x8},
         {{1024, 768, 60, x8}},
         r5,
         {"640x480@60", "800x600@60", "1024x768@60"}},
        {"a desktop smaller than every common size", {320, 200, 0, x8}, {}, x8, {}},
        {"no desktop, one size listed",
         {0, 0, 0, D3dFormat::Unknown},
         {{1024, 768, 75, x8}},
         x8,
         {"1024x768@75"}},
        {"nothing known", {0, 0, 0, D3dFormat::Unknown}, {}, x8, {}},
        {"other formats as described",
         {1280, 1024, 60, x8},
         {{1280, 1024, 60, D3dFormat::A8R8G8B8}},
         D3dFormat::A8R8G8B8,
         {"1280x1024@60"}},
        {"other formats get no common sizes", {1280, 1024, 60, x8}, {}, D3dFormat::A8R8G8B8, {}},
    };
    for (const Case& c : cases) {
        platform::Adapter adapter;
        adapter.Desktop = c.Desktop;
        adapter.Modes = c.Listed;
        const std::vector<DisplayMode> modes = platform::DisplayModesOf(adapter, c.Format);
        EXPECT_EQ(Sizes(modes), c.Expected) << c.Name;
        for (const DisplayMode& mode : modes)
            EXPECT_EQ(mode.Format, c.Format) << c.Name;

        CFakeAdapter fake(adapter);
        DisplayModes object;
        ASSERT_TRUE(object.Open());
        EXPECT_EQ(Listed(object, c.Format), modes) << c.Name;
    }
}

// The object answers from the adapter description file.
TEST(DisplayModes, FromTheDescriptionFile) {
    CTempFolder folder;
    WriteWholeFile(folder.File("GfxAdapter.txt"),
                   "vendor = 0x5A5A\ndevice = 0x0101\ndesktop = 1024x768x32@60\n"
                   "modes.X8R8G8B8 = 1024x768@60\n");
    const char* old = std::getenv("BRISALDE_ADAPTER_FILE");
    const std::string previous = old ? old : "";
    setenv("BRISALDE_ADAPTER_FILE", folder.File("GfxAdapter.txt").c_str(), 1);
    DisplayModes modes;
    const bool opened = modes.Open();
    if (old)
        setenv("BRISALDE_ADAPTER_FILE", previous.c_str(), 1);
    else
        unsetenv("BRISALDE_ADAPTER_FILE");
    ASSERT_TRUE(opened);
    EXPECT_EQ(Sizes(Listed(modes, D3dFormat::X8R8G8B8)), (std::vector<std::string>{"1024x768@60"}));
    EXPECT_EQ(Sizes(Listed(modes, D3dFormat::R5G6B5)),
              (std::vector<std::string>{"640x480@60", "800x600@60", "1024x768@60"}));
}

} // namespace
