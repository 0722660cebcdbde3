#include "launcher/HelpDlg.h"

#include "launcher/MainDlg.h"
#include "platform/ShellOpen.h"
#include "tests/launcher/ConfigBodyFile.h"
#include "tests/launcher/LauncherTestSupport.h"

#include <filesystem>

namespace {

using ui::Exactly;

// The answer the recording opener gives.
constinit int s_OpenerAnswer = platform::kShellOpened;

// Writes "shell <verb> <host path>" to the transcript and answers s_OpenerAnswer.
int AnsweringOpener(std::string_view verb, const std::string& hostPath) {
    platform::RecordShellOpen(verb, hostPath);
    return s_OpenerAnswer;
}

// An opener installed while it lives.
class CScopedOpener {
public:
    explicit CScopedOpener(platform::ShellOpener opener)
        : m_Previous(platform::SetShellOpener(opener)) {}
    ~CScopedOpener() { platform::SetShellOpener(m_Previous); }
    CScopedOpener(const CScopedOpener&) = delete;
    CScopedOpener& operator=(const CScopedOpener&) = delete;

private:
    platform::ShellOpener m_Previous;
};

class HelpFlow : public CLauncherFixture {
protected:
    HelpFlow() {
        m_Options.ConfigFileOps = &m_File;
        WriteGpuTable(true);
        MakeCatalogues(m_Install.File("GameData/Translations"));
    }

    // The tests' English and French catalogues, made by msgfmt into a folder.
    static void MakeCatalogues(const std::string& folder) {
        std::filesystem::create_directories(folder);
        for (const char* code : {"en", "fr"})
            RunCommand(std::string("msgfmt --check -o ") + folder + "/" + code + ".mo " +
                       ENGINE_TEST_SOURCE_DIR + "/tests/launcher/data/" + code + ".po");
    }

    // Writes the configuration file with a language.
    void WriteConfig(const char* language) const {
        auto* config = new CSystemConfig;
        config->AddRef();
        config->m_LanguageCode.Assign(language);
        WriteWholeFile(ConfigFile(), CConfigBodyFile::Body(*config));
        config->Release();
    }

    // The FAQ pages present in the install folder: exactly these codes.
    void WriteFaqPages(const std::vector<std::string>& codes) const {
        for (const auto& entry : std::filesystem::directory_iterator(m_Install.Path()))
            if (entry.path().filename().string().rfind("TechnicalFaq_", 0) == 0)
                std::filesystem::remove(entry.path());
        for (const std::string& code : codes)
            WriteWholeFile(m_Install.File("TechnicalFaq_" + code + ".html"), "<html></html>");
    }

    // Opens the help dialog from the main dialog.
    static ui::Script Open() { return ui::Script().In(kMainDlgTemplateId).Click(kMainDlgHelpId); }
    // Closes the help dialog and the main dialog.
    static ui::Script& CloseAll(ui::Script& script) {
        return script.In(kHelpDlgTemplateId)
            .Click(ui::IDOK)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL);
    }

    CConfigBodyFile m_File;
};

TEST_F(HelpFlow, TextsInFrench) {
    WriteConfig("fr");
    std::map<u32, std::string> texts;
    std::string caption;
    ui::Script script = Open();
    script.Expect(
        [&](const ui::View& view) {
            const ui::Dialog* dialog = view.Find(kHelpDlgTemplateId);
            caption = dialog->GetWindowText();
            for (const ui::Control& control : dialog->Controls())
                texts[control.Id()] = control.GetText();
            return true;
        },
        "the help dialog's texts");
    Run(std::move(CloseAll(script)));

    EXPECT_EQ(caption, "Aide");
    const std::map<u32, std::string> expected = {
        {kHelpDlgViewFaqId, "Voir la FAQ"},
        {kHelpDlgCustomDataId, "Vos donn\xc3\xa9"
                               "es"},
        {kHelpDlgFaqTextId, "Les r\xc3\xa9ponses \xc3\xa0 de nombreuses questions de "
                            "compatibilit\xc3\xa9."},
        {kHelpDlgCustomDataTextId, "Personnalisez le jeu.\r\nVoici o\xc3\xb9 sont ses donn\xc3\xa9"
                                   "es."},
        // The template's text stays.
        {ui::IDOK, "Ok"},
    };
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(HasLine("open 152 owner 102")) << m_Ui.TranscriptText();
    EXPECT_TRUE(HasLine("close 152 -> IDOK"));
}

// Which page is asked for, and what the player is told when the desktop cannot open it.
TEST_F(HelpFlow, FaqRoad) {
    struct Case {
        const char* Name;
        const char* Language;
        std::vector<std::string> Pages;
        int OpenerAnswer;
        const char* Opened; // the page handed to the opener, empty when none
        const char* Box;    // the box's text with %1 for the host path of the page wanted
        const char* Caption;
    };
    const Case cases[] = {
        {"French, the English page only", "fr", {"en"}, 42, "TechnicalFaq_en.html", "", ""},
        {"French and English pages", "fr", {"fr", "en"}, 42, "TechnicalFaq_fr.html", "", ""},
        {"no catalogue", "xx", {"en"}, 42, "TechnicalFaq_en.html", "", ""},
        {"a code longer than two letters",
         "fr_CA",
         {"fr", "en"},
         42,
         "TechnicalFaq_en.html",
         "",
         ""},
        {"no page at all",
         "fr",
         {},
         42,
         "",
         "Fichier \xc2\xab %1/TechnicalFaq_fr.html \xc2\xbb introuvable",
         "Erreur"},
        {"the desktop finds no folder",
         "fr",
         {"fr"},
         3,
         "TechnicalFaq_fr.html",
         "Chemin \xc2\xab %1/TechnicalFaq_fr.html \xc2\xbb introuvable",
         "Erreur"},
        {"the desktop has no program for it",
         "fr",
         {"fr"},
         31,
         "TechnicalFaq_fr.html",
         "Unknow ShellExecute error (31)\n%1/TechnicalFaq_fr.html",
         "Erreur"},
        {"the desktop has no program for it, in English",
         "en",
         {"en"},
         31,
         "TechnicalFaq_en.html",
         "Unknow ShellExecute error (31)\n%1/TechnicalFaq_en.html",
         "Error"},
    };
    CScopedOpener opener(&AnsweringOpener);
    const std::string folder = m_Install.Path().string();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteConfig(c.Language);
        WriteFaqPages(c.Pages);
        s_OpenerAnswer = c.OpenerAnswer;
        ui::Script script = Open();
        script.In(kHelpDlgTemplateId).Click(kHelpDlgViewFaqId);
        std::string box = c.Box;
        if (const size_t at = box.find("%1"); at != std::string::npos)
            box.replace(at, 2, folder);
        if (!box.empty())
            script.Answer(ui::IDOK, Exactly(c.Caption), Exactly(box));
        const std::vector<std::string> lines = RunAndTake(std::move(CloseAll(script)));

        std::vector<std::string> shell;
        u32 boxes = 0;
        for (const std::string& line : lines) {
            if (line.rfind("shell ", 0) == 0)
                shell.push_back(line);
            if (line.rfind("box owner 152 ", 0) == 0)
                ++boxes;
        }
        if (*c.Opened)
            EXPECT_EQ(shell, std::vector<std::string>{"shell open " + folder + "/" + c.Opened});
        else
            EXPECT_TRUE(shell.empty());
        EXPECT_EQ(boxes, box.empty() ? 0u : 1u);
    }
    s_OpenerAnswer = platform::kShellOpened;
}

// The real desktop opener: the page goes to the first xdg-open on PATH as one argument, as it
// stands, whatever the install folder's name holds, and one still running after its short wait
// is let go. An xdg-open that finds nothing to open the page with (status 3), or none at all,
// is told to the player with the page's path.
class HelpInOddFolder : public HelpFlow {
protected:
    HelpInOddFolder() : m_Folder(m_Install.Path() / "my game's $(touch x)") {
        std::filesystem::create_directories(m_Folder / "GameData");
        std::filesystem::copy_file(m_Install.File("GameData/GfxDevicePerfs.txt"),
                                   m_Folder / "GameData/GfxDevicePerfs.txt");
        std::filesystem::copy(m_Install.File("GameData/Translations"),
                              m_Folder / "GameData/Translations");
        WriteWholeFile((m_Folder / "TechnicalFaq_en.html").string(), "<html></html>");
        std::filesystem::current_path(m_Folder);
        platform::SetCommandLine(
            u"\"" + platform::FromHostPath((m_Folder / "BrisaldeLauncher").string()) + u"\"");
    }

    std::filesystem::path m_Folder;
};

TEST_F(HelpInOddFolder, RealOpener) {
    std::filesystem::create_directory(m_Install.File("bin"));
    std::filesystem::create_directory(m_Install.File("empty"));
    // Writes its argument count and its first argument, then waits to be told to end (20 s at
    // most, should the test stop early).
    const std::string opener = m_Install.File("bin/xdg-open");
    WriteWholeFile(opener, "#!/bin/sh\n"
                           "printf '%s\\n%s' \"$#\" \"$1\" > '" +
                               m_Install.File("args.tmp") + "'\nmv '" + m_Install.File("args.tmp") +
                               "' '" + m_Install.File("args") +
                               "'\n"
                               "i=0\n"
                               "while [ ! -e '" +
                               m_Install.File("end") +
                               "' ] && [ $i -lt 2000 ]; do\n"
                               "  sleep 0.01; i=$((i + 1))\n"
                               "done\n");
    std::filesystem::permissions(opener, std::filesystem::perms(0755));
    {
        CScopedEnvVar path("PATH", (m_Install.File("bin") + ":/usr/bin:/bin").c_str());
        ui::Script script = Open();
        script.In(kHelpDlgTemplateId).Click(kHelpDlgViewFaqId);
        Run(std::move(CloseAll(script)));
    }
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(m_Install.File("args")); }));
    // Still running: let go.
    EXPECT_EQ(platform::ReapDetachedProcesses(), 1u);
    EXPECT_EQ(ReadWholeFile(m_Install.File("args")),
              "1\n" + (m_Folder / "TechnicalFaq_en.html").string());
    WriteWholeFile(m_Install.File("end"), "");
    EXPECT_TRUE(WaitUntil([] { return platform::ReapDetachedProcesses() == 0; }));
    EXPECT_FALSE(std::filesystem::exists(m_Folder / "x"));
    EXPECT_FALSE(std::filesystem::exists(m_Install.Path() / "x"));

    const std::string told =
        "Unknow ShellExecute error (31)\n" + (m_Folder / "TechnicalFaq_en.html").string();
    WriteWholeFile(opener, "#!/bin/sh\nexit 3\n");
    for (const char* bin : {"bin", "empty"}) {
        SCOPED_TRACE(bin);
        CScopedEnvVar path("PATH", m_Install.File(bin).c_str());
        ui::Script script = Open();
        script.In(kHelpDlgTemplateId)
            .Click(kHelpDlgViewFaqId)
            .Answer(ui::IDOK, Exactly("Error"), Exactly(told));
        Run(std::move(CloseAll(script)));
        // The opener's status was read: nothing is left to reap.
        EXPECT_EQ(platform::DetachedProcessCount(), 0u);
    }
}

// Without a data folder (no System engine here) the pages are looked for in the install folder.
TEST(HelpFaqPath, WithoutDataFolderTheInstallFolder) {
    ASSERT_EQ(GetSystemEngine(), nullptr);
    CTempFolder folder;
    const CClassicWideString oldFolder = theApp.m_InstallFolder;
    theApp.m_InstallFolder =
        CClassicWideString((platform::FromHostPath(folder.Path().string()) + u"\\").c_str());
    const auto path = [] {
        std::string host;
        const CClassicWideString engine = HelpFaqPath();
        platform::ToHostPath(std::u16string_view(engine.GetText(), engine.GetLength()), host);
        return host;
    };
    EXPECT_EQ(path(), folder.File("TechnicalFaq_xx.html"));
    WriteWholeFile(folder.File("TechnicalFaq_en.html"), "");
    EXPECT_EQ(path(), folder.File("TechnicalFaq_en.html"));
    theApp.m_InstallFolder = oldFolder;
}

} // namespace
