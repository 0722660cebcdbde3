// The help dialog and the custom-data dialog in real windows, in French: each shown, saved as a
// picture by the backend's snapshot mode (ImageMagick's import) and closed; each picture has its
// template's size in pixels. Copies go to the folder named by BRISALDE_TEST_PICTURES, for a
// person to look at.
#include "core/base/ClassicTranslator.h"
#include "launcher/HelpDlg.h"
#include "launcher/import/CustomDataDlg.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "tests/launcher/fltk/LauncherWindowSupport.h"
#include "tests/platform/fltk/FltkTestSupport.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(HelpDlgWindow, HelpAndCustomDataAtTheTemplateSizes) {
    fltktest::TempFolder folder;
    ASSERT_TRUE(launchertest::LoadFrench(folder.Path()));
    RegisterHelpDlgResources();
    RegisterCustomDataDlgResources();

    const std::string snapshots = folder.Path() + "/snap";
    {
        ui::fltk::FltkBackend backend({snapshots});
        CHelpDlg help;
        EXPECT_EQ(help.DoModal(), ui::IDCANCEL);
        CCustomDataDlg customData;
        EXPECT_EQ(customData.DoModal(), ui::IDCANCEL);
    }
    struct Case {
        std::string Picture;
        int Width;
        int Height;
    };
    const Case cases[] = {{snapshots + "/152.png", 363, 188}, {snapshots + "/151.png", 363, 204}};
    for (const Case& c : cases) {
        const fltktest::PictureFacts facts = fltktest::Identify(c.Picture);
        EXPECT_TRUE(facts.Read) << c.Picture;
        EXPECT_EQ(facts.Width, c.Width) << c.Picture;
        EXPECT_EQ(facts.Height, c.Height) << c.Picture;
        EXPECT_GT(facts.Colours, 2) << c.Picture;
        launchertest::KeepPicture(c.Picture);
    }
    g_ClassicTranslator.Unload();
}

} // namespace
