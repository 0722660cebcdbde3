// The configuration dialog in a real window: shown in French (the longest texts) over a
// configuration and the fake adapter's modes, saved as a picture by the backend's snapshot mode
// (ImageMagick's import), then closed. The picture has the template's size in pixels. A copy
// goes to the folder named by BRISALDE_TEST_PICTURES, for a person to look at.
#include "core/base/ClassicTranslator.h"
#include "launcher/ConfigDlg.h"
#include "launcher/LauncherApp.h"
#include "platform/DisplayModes.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "system/config/GpuInfo.h"
#include "system/config/SystemConfig.h"
#include "tests/launcher/fltk/LauncherWindowSupport.h"
#include "tests/platform/fltk/FltkTestSupport.h"
#include "tests/support/FakeAdapter.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(ConfigDlgWindow, ShowsAtTheTemplateSize) {
    fltktest::TempFolder folder;
    ASSERT_TRUE(launchertest::LoadFrench(folder.Path()));
    const GpuInfo oldGpu = g_GpuInfo;
    g_GpuInfo.DesktopWidth = 1280;
    g_GpuInfo.DesktopHeight = 1024;
    g_GpuInfo.DesktopBytesPerPixel = 4;
    CFakeAdapter adapter;
    theApp.m_Direct3D = new platform::DisplayModes;
    ASSERT_TRUE(theApp.m_Direct3D->Open());
    theApp.m_LanguageCodes.Add(CClassicString("en"));
    theApp.m_LanguageCodes.Add(CClassicString("fr"));
    theApp.m_Config = new CSystemConfig;
    theApp.m_Config->AddRef();
    theApp.m_Config->m_LanguageCode.Assign("fr");
    theApp.m_Config->m_Display->m_Size = {1280, 1024};
    theApp.m_Config->m_Display->m_FullScreen = 1;
    RegisterConfigDlgResources();

    const std::string snapshots = folder.Path() + "/snap";
    {
        ui::fltk::FltkBackend backend({snapshots});
        CConfigDlg dialog;
        EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    }
    const std::string picture = snapshots + "/137.png";
    const fltktest::PictureFacts facts = fltktest::Identify(picture);
    EXPECT_TRUE(facts.Read) << picture;
    EXPECT_EQ(facts.Width, 285);
    EXPECT_EQ(facts.Height, 375);
    EXPECT_GT(facts.Colours, 2);
    launchertest::KeepPicture(picture);

    theApp.m_Config->Release();
    theApp.m_Config = nullptr;
    theApp.m_LanguageCodes.FreeItems();
    delete theApp.m_Direct3D;
    theApp.m_Direct3D = nullptr;
    g_GpuInfo = oldGpu;
    g_ClassicTranslator.Unload();
}

} // namespace
