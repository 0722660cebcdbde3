// Smoke tests of the launcher's real windows: FLTK on a virtual display, in snapshot mode. Each
// window of the launcher is saved as a picture and closed; a test checks that the picture
// exists, has the window's size and is not one colour (a window that drew nothing, as without a
// font, is one colour).
//
// The main dialog's test runs the launcher program itself in a demo install. The others bring
// the launcher up in this process, in the same demo install, to the point where its main dialog
// would open, and open the window under test in its place. A dialog added to the launcher adds
// its test here. A copy of every picture goes to the folder named by BRISALDE_TEST_PICTURES, for
// a person to look at.
#include "launcher/AdvancedDlg.h"
#include "launcher/BenchDlg.h"
#include "launcher/ConfigDlg.h"
#include "launcher/DisplayCompatibilityDlg.h"
#include "launcher/HelpDlg.h"
#include "launcher/LauncherApp.h"
#include "launcher/MainDlg.h"
#include "launcher/import/CustomDataDlg.h"
#include "platform/HostPath.h"
#include "platform/Process.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Template.h"
#include "platform/ui/fltk/FltkBackend.h"
#include "tests/platform/fltk/FltkTestSupport.h"
#include "tests/system/SystemTestSupport.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>

namespace {

// The client size of a template in pixels.
ui::Rect TemplatePixels(u32 templateId) {
    const ui::DialogTemplate* found = ui::FindTemplate(templateId);
    EXPECT_NE(found, nullptr) << templateId;
    return found ? ui::DuToPixels(0, 0, found->WidthDu, found->HeightDu) : ui::Rect{};
}

class LauncherSmoke : public testing::Test {
protected:
    LauncherSmoke()
        : m_Demo(m_Folder.File("demo")), m_Shots(m_Folder.File("shots")),
          m_Registry("ENGINE_REGISTRY_DIR", (m_Demo + "/registry").c_str()),
          m_Runtime("XDG_RUNTIME_DIR", m_Folder.File("run").c_str()),
          m_AdapterFile("BRISALDE_ADAPTER_FILE", (m_Demo + "/GfxAdapter.txt").c_str()),
          m_Locale("LC_ALL", "C"), m_Checksum(0x12345678) {
        std::filesystem::create_directories(m_Folder.File("run"));
        RunCommand(std::string(ENGINE_TEST_SOURCE_DIR) + "/apps/launcher/demo/make-demo.sh " +
                   ENGINE_LAUNCHER_PROGRAM + " " + ENGINE_GAME_STANDIN + " " + m_Demo);
        m_OldFolder = std::filesystem::current_path();
        RegisterMainDlgResources();
    }
    ~LauncherSmoke() override {
        std::filesystem::current_path(m_OldFolder);
        platform::SetCommandLine(std::u16string());
        // A copy of the pictures for a person to look at, named after the test.
        const char* keep = std::getenv("BRISALDE_TEST_PICTURES");
        std::error_code ignored;
        if (!keep || !std::filesystem::is_directory(m_Shots, ignored))
            return;
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string prefix = std::string(test->test_suite_name()) + "." + test->name() + "-";
        std::replace(prefix.begin(), prefix.end(), '/', '_');
        for (const auto& entry : std::filesystem::directory_iterator(m_Shots, ignored))
            std::filesystem::copy_file(
                entry.path(), std::string(keep) + "/" + prefix + entry.path().filename().string(),
                std::filesystem::copy_options::overwrite_existing, ignored);
    }

    // Brings the launcher up in the demo install with the window in its main dialog's place,
    // the windows in snapshot mode; what the run printed on standard output.
    std::string Open(std::function<int()> window) {
        std::filesystem::current_path(m_Demo);
        platform::SetCommandLine(u"\"" + platform::FromHostPath(m_Demo + "/BrisaldeLauncher") +
                                 u"\"");
        SLauncherOptions options;
        options.MainWindow = std::move(window);
        testing::internal::CaptureStdout();
        {
            ui::fltk::FltkBackend backend({m_Shots});
            EXPECT_EQ(RunLauncher(options), 0);
        }
        std::filesystem::current_path(m_OldFolder);
        return testing::internal::GetCapturedStdout();
    }

    // A saved picture as ImageMagick reads it: drawn (more than one colour).
    fltktest::PictureFacts Picture(const std::string& name) const {
        const fltktest::PictureFacts facts = fltktest::Identify(m_Shots + "/" + name);
        EXPECT_TRUE(facts.Read) << name;
        EXPECT_GT(facts.Colours, 1) << name;
        return facts;
    }

    std::string Shot(const std::string& name) const { return m_Shots + "/" + name + "\n"; }

    // The demo in French (the longest texts).
    void InFrench() const {
        WriteWholeFile(m_Demo + "/registry/Software/Vorel/Brisalde.reg",
                       "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\n\"Version\"=\"0.0.1.0\"\n"
                       "\"Language\"=\"fr\"\n");
    }

    // A dialog run in the main dialog's place: saved as "<template id>.png" at its template's
    // size.
    void ExpectSavedAtItsSize(const std::string& printed, u32 templateId) const {
        const std::string name = std::to_string(templateId) + ".png";
        EXPECT_EQ(printed, Shot(name));
        const ui::Rect size = TemplatePixels(templateId);
        const fltktest::PictureFacts facts = Picture(name);
        EXPECT_EQ(facts.Width, size.Width());
        EXPECT_EQ(facts.Height, size.Height());
    }

    CTempFolder m_Folder;
    std::string m_Demo;
    std::string m_Shots;
    CScopedEnvVar m_Registry;
    CScopedEnvVar m_Runtime;
    CScopedEnvVar m_AdapterFile;
    CScopedEnvVar m_Locale;
    CConfigRecords m_Records;
    CKnownExeChecksum m_Checksum;
    std::filesystem::path m_OldFolder;
};

// The launcher program itself: started from another folder, it runs in its own, saves its main
// dialog and ends with status 0. The demo shows no box before it: its catalogues, its adapter and
// the adapter's GPU table row are all found, so no bench runs either.
TEST_F(LauncherSmoke, MainDialog) {
    const std::string command = "cd / && BRISALDE_UI_SNAPSHOT=" + m_Shots + " " + m_Demo +
                                "/BrisaldeLauncher 2>" + m_Folder.File("stderr");
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadWholeFile(m_Folder.File("stderr"));
    EXPECT_EQ(output, Shot("102.png"));
    const ui::Rect size = TemplatePixels(kMainDlgTemplateId);
    const fltktest::PictureFacts facts = Picture("102.png");
    EXPECT_EQ(facts.Width, size.Width());
    EXPECT_EQ(facts.Height, size.Height());
    EXPECT_TRUE(std::filesystem::is_regular_file(m_Demo + "/Default.SystemConfig.Zun"));
    EXPECT_FALSE(std::filesystem::exists(m_Demo + "/GameStandin.log"));
}

// The program does not link libcurl and its protocol libraries: they are loaded with the first
// HTTP session, off the road to the first window.
TEST_F(LauncherSmoke, ProgramLoadsLibcurlOnlyWhenItTalksHttp) {
    const std::string dynamic = RunCommand("readelf -d " + m_Demo + "/BrisaldeLauncher");
    EXPECT_NE(dynamic.find("(NEEDED)"), std::string::npos) << dynamic;
    EXPECT_EQ(dynamic.find("libcurl"), std::string::npos) << dynamic;
}

// Without a display the program says so in one line and ends with status 3 before it takes its
// lock or writes anything.
TEST_F(LauncherSmoke, MainDialogWithoutADisplay) {
    const std::string registry = ReadWholeFile(m_Demo + "/registry/Software/Vorel/Brisalde.reg");
    const std::string command = "cd / && env -u DISPLAY BRISALDE_UI_SNAPSHOT=" + m_Shots + " " +
                                m_Demo + "/BrisaldeLauncher 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), ui::fltk::NoDisplayStatus);
    EXPECT_EQ(output, std::string(ui::fltk::NoDisplayMessage) + "\n");
    EXPECT_TRUE(std::filesystem::is_empty(m_Folder.File("run")));
    EXPECT_FALSE(std::filesystem::exists(m_Demo + "/Default.SystemConfig.Zun"));
    EXPECT_FALSE(std::filesystem::exists(m_Shots));
    EXPECT_EQ(ReadWholeFile(m_Demo + "/registry/Software/Vorel/Brisalde.reg"), registry);
}

// The configuration dialog as Configure opens it, in French (the longest texts), over the demo's
// adapter and both catalogues.
TEST_F(LauncherSmoke, ConfigurationDialog) {
    InFrench();
    const std::string printed = Open([] {
        CConfigDlg dialog;
        theApp.m_ConfigDlg = &dialog;
        const int ending = dialog.DoModal();
        theApp.m_ConfigDlg = nullptr;
        EXPECT_EQ(ending, ui::IDCANCEL);
        return ui::IDCANCEL;
    });
    ExpectSavedAtItsSize(printed, kConfigDlgTemplateId);
}

// The advanced settings dialog as the configuration dialog's Advanced opens it, in French, on its
// first page.
TEST_F(LauncherSmoke, AdvancedDialog) {
    InFrench();
    const std::string printed = Open([] {
        CAdvancedDlg dialog;
        theApp.m_AdvancedDlg = &dialog;
        const int ending = dialog.DoModal();
        theApp.m_AdvancedDlg = nullptr;
        EXPECT_EQ(ending, ui::IDCANCEL);
        return ui::IDCANCEL;
    });
    ExpectSavedAtItsSize(printed, kAdvancedDlgTemplateId);
}

// The display compatibility dialog as the Display page's Compatibility opens it, in French:
// 543 x 212 pixels.
TEST_F(LauncherSmoke, DisplayCompatibilityDialog) {
    InFrench();
    const std::string printed = Open([] {
        CDisplayCompatibilityDlg dialog;
        EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
        return ui::IDCANCEL;
    });
    ExpectSavedAtItsSize(printed, kDisplayCompatibilityDlgTemplateId);
    EXPECT_EQ(TemplatePixels(kDisplayCompatibilityDlgTemplateId), (ui::Rect{0, 0, 543, 212}));
}

// The help dialog and the custom-data dialog its Custom data button opens, in French.
TEST_F(LauncherSmoke, HelpAndCustomDataDialogs) {
    InFrench();
    const std::string printed = Open([] {
        CHelpDlg help;
        EXPECT_EQ(help.DoModal(), ui::IDCANCEL);
        CCustomDataDlg customData;
        EXPECT_EQ(customData.DoModal(), ui::IDCANCEL);
        return ui::IDCANCEL;
    });
    const std::string help = std::to_string(kHelpDlgTemplateId) + ".png";
    const std::string customData = std::to_string(kCustomDataDlgTemplateId) + ".png";
    EXPECT_EQ(printed, Shot(help) + Shot(customData));
    for (const u32 id : {kHelpDlgTemplateId, kCustomDataDlgTemplateId}) {
        const ui::Rect size = TemplatePixels(id);
        const fltktest::PictureFacts facts = Picture(std::to_string(id) + ".png");
        EXPECT_EQ(facts.Width, size.Width()) << id;
        EXPECT_EQ(facts.Height, size.Height()) << id;
    }
}

// The bench dialog as Bench opens it, in French, before a run: 408 x 245 pixels.
TEST_F(LauncherSmoke, BenchDialog) {
    WriteWholeFile(m_Demo + "/registry/Software/Vorel/Brisalde.reg",
                   "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\n\"Version\"=\"0.0.1.0\"\n"
                   "\"Language\"=\"fr\"\n");
    const std::string printed = Open([] {
        CBenchDlg dialog;
        EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
        return ui::IDCANCEL;
    });
    EXPECT_EQ(printed, Shot(std::to_string(kBenchDlgTemplateId) + ".png"));
    const fltktest::PictureFacts facts = Picture(std::to_string(kBenchDlgTemplateId) + ".png");
    EXPECT_EQ(facts.Width, 408);
    EXPECT_EQ(facts.Height, 245);
    EXPECT_EQ(TemplatePixels(kBenchDlgTemplateId), (ui::Rect{0, 0, 408, 245}));
    // Nothing ran.
    EXPECT_FALSE(std::filesystem::exists(m_Demo + "/GameStandin.log"));
}

// One test per message box type: saved, then given its negative answer.
struct BoxCase {
    const char* Name;
    u32 Type;
    int Answer;
};

void PrintTo(const BoxCase& box, std::ostream* out) {
    *out << box.Name;
}

class LauncherSmokeBox : public LauncherSmoke, public testing::WithParamInterface<BoxCase> {};

TEST_P(LauncherSmokeBox, MessageBox) {
    const BoxCase& box = GetParam();
    const std::string printed = Open([&] {
        EXPECT_EQ(ui::MessageBox(nullptr,
                                 "Last time you connected to game server, an update (1 954 "
                                 "kBytes) was available.\nDo you want to check for this update "
                                 "now ?",
                                 "Brisalde", box.Type),
                  box.Answer);
        return ui::IDCANCEL;
    });
    EXPECT_EQ(printed, Shot("box-1.png"));
    const fltktest::PictureFacts facts = Picture("box-1.png");
    // Two lines of text above a row of buttons, the lines at most 480 pixels wide.
    EXPECT_GT(facts.Width, 200);
    EXPECT_LT(facts.Width, 600);
    EXPECT_GT(facts.Height, 60);
    EXPECT_LT(facts.Height, 200);
}

INSTANTIATE_TEST_SUITE_P(Types, LauncherSmokeBox,
                         testing::Values(BoxCase{"Ok", ui::MB_OK, ui::IDOK},
                                         BoxCase{"OkError", ui::MB_OK | ui::MB_ICONERROR, ui::IDOK},
                                         BoxCase{"OkCancel", ui::MB_OKCANCEL, ui::IDCANCEL},
                                         BoxCase{"YesNo", ui::MB_YESNO, ui::IDNO}),
                         [](const testing::TestParamInfo<BoxCase>& info) {
                             return std::string(info.param.Name);
                         });

// FLTK's own file chooser opens in the demo's data folder, is saved and cancelled.
TEST_F(LauncherSmoke, FileChooser) {
    const std::string printed = Open([&] {
        ui::OpenFileSpec spec;
        spec.Title = "Open";
        spec.FilterDescription = "images files (*.tga,*.jpg)";
        spec.Patterns = "*.tga;*.jpg";
        spec.InitialFolder = m_Demo + "/GameData";
        spec.Flags = ui::OFN_FILEMUSTEXIST | ui::OFN_PATHMUSTEXIST;
        EXPECT_EQ(ui::OpenFileDialog(nullptr, spec), std::nullopt);
        return ui::IDCANCEL;
    });
    EXPECT_EQ(printed, Shot("file-1.png"));
    const fltktest::PictureFacts facts = Picture("file-1.png");
    EXPECT_GT(facts.Width, 300);
    EXPECT_GT(facts.Height, 200);
}

} // namespace
