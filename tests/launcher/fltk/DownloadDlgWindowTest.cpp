// The download dialog in a real window: the texts of an update in progress with the bar part-way,
// saved as a picture by the backend's snapshot mode (ImageMagick's import), then closed as by
// Escape. The picture has the template's size in pixels. A copy goes to the folder named by
// BRISALDE_TEST_PICTURES, for a person to look at.
#include "launcher/DownloadDlg.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "tests/platform/fltk/FltkTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

// The dialog as it looks a while into a download; without a request its Cancel only closes it.
class CDownloadInProgress : public CDownloadDlg {
public:
    CDownloadInProgress() : CDownloadDlg(42, nullptr) {}

protected:
    bool OnInitDialog() override {
        CDownloadDlg::OnInitDialog();
        Item(kDownloadDlgProgressId).SetPos(40);
        return true;
    }
};

TEST(DownloadDlgWindow, ShowsAtTheTemplateSize) {
    fltktest::TempFolder folder;
    const std::string snapshots = folder.Path() + "/snap";
    {
        ui::fltk::FltkBackend backend({snapshots});
        CDownloadInProgress dialog;
        dialog.m_SizeText = CClassicWideString(u"File size is 1 954 kBytes.");
        dialog.m_Description = CClassicWideString(
            u"Version 1.2 of the game: new cars for every championship, the night tracks of "
            u"the desert and a faster start. The installer keeps your settings and your "
            u"records.\nRead the notes on the web site for the whole list of changes.");
        EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    }
    const std::string picture = snapshots + "/140.png";
    const fltktest::PictureFacts facts = fltktest::Identify(picture);
    EXPECT_TRUE(facts.Read) << picture;
    const ui::Rect client = ui::DuToPixels(0, 0, 267, 137);
    EXPECT_EQ(facts.Width, client.Width());
    EXPECT_EQ(facts.Height, client.Height());
    EXPECT_GT(facts.Colours, 2);
    if (const char* keep = std::getenv("BRISALDE_TEST_PICTURES")) {
        std::error_code ignored;
        std::filesystem::copy_file(picture, std::string(keep) + "/140.png",
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }
}

} // namespace
