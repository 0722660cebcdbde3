#include "launcher/import/CustomDataDlg.h"

#include "launcher/HelpDlg.h"
#include "launcher/MainDlg.h"
#include "platform/ShellOpen.h"
#include "tests/launcher/ConfigBodyFile.h"
#include "tests/launcher/LauncherTestSupport.h"
#include "tests/system/SystemTestSupport.h"

#include <filesystem>
#include <map>
#include <optional>

namespace {

class CustomDataFlow : public CLauncherFixture {
protected:
    CustomDataFlow() : m_Previous(platform::SetShellOpener(&platform::RecordShellOpen)) {
        m_Options.ConfigFileOps = &m_File;
        WriteGpuTable(true);
        RunCommand(std::string("msgfmt --check -o ") +
                   m_Install.File("GameData/Translations/fr.mo") + " " + ENGINE_TEST_SOURCE_DIR +
                   "/tests/launcher/data/fr.po");
        auto* config = new CSystemConfig;
        config->AddRef();
        config->m_LanguageCode.Assign("fr");
        WriteWholeFile(ConfigFile(), CConfigBodyFile::Body(*config));
        config->Release();
    }
    ~CustomDataFlow() override { platform::SetShellOpener(m_Previous); }

    CConfigBodyFile m_File;
    platform::ShellOpener m_Previous;
};

// The help dialog's Custom data button: the dialog's texts, and its folder buttons, which make
// the data folder's sub-folders and hand them to the desktop. The geometry, avatar and block skin
// buttons do nothing yet.
TEST_F(CustomDataFlow, TextsAndFolderButtons) {
    std::string caption;
    std::map<u32, std::string> texts;
    bool avatarsMade = false;
    ui::Script script;
    script.In(kMainDlgTemplateId)
        .Click(kMainDlgHelpId)
        .In(kHelpDlgTemplateId)
        .Click(kHelpDlgCustomDataId)
        .Expect(
            [&](const ui::View& view) {
                const ui::Dialog* dialog = view.Find(kCustomDataDlgTemplateId);
                caption = dialog->GetWindowText();
                for (const ui::Control& control : dialog->Controls())
                    texts[control.Id()] = control.GetText();
                return true;
            },
            "the dialog's texts")
        .In(kCustomDataDlgTemplateId)
        .Click(kCustomDataDlgAvatarsId)
        .Expect(
            [&](const ui::View&) {
                avatarsMade =
                    std::filesystem::is_directory(m_Install.File("GameData/Skins/Avatars"));
                return true;
            },
            "the avatars' folder")
        .In(kCustomDataDlgTemplateId)
        .Click(kCustomDataDlgChallengesId)
        .Click(kCustomDataDlgReplaysId)
        .Click(kCustomDataDlgCampaignsId)
        .Click(kCustomDataDlgCarSkinsId);
    for (u32 id : {kCustomDataDlgAvatarId, kCustomDataDlgBlockSkinId, kCustomDataDlgGeometryId})
        script.Click(id);
    script.Click(ui::IDOK)
        .In(kHelpDlgTemplateId)
        .Click(ui::IDOK)
        .In(kMainDlgTemplateId)
        .Click(ui::IDCANCEL);
    Run(std::move(script));

    EXPECT_EQ(caption, "Vos donn\xc3\xa9"
                       "es");
    const std::map<u32, std::string> expected = {
        {ui::IDOK, "Valider"},
        {kCustomDataDlgImportGroupId, "Importer des donn\xc3\xa9"
                                      "es"},
        {kCustomDataDlgBrowseGroupId, "Ouvrir un dossier"},
        {kCustomDataDlgAvatarId, "Avatar"},
        {kCustomDataDlgBlockSkinId, "Habillage de bloc"},
        {kCustomDataDlgGeometryId, "Forme de voiture"},
        {kCustomDataDlgMusicId, "Convertir une musique"},
        {kCustomDataDlgChallengesId, "D\xc3\xa9"
                                     "fis"},
        {kCustomDataDlgReplaysId, "Ralentis"},
        {kCustomDataDlgCampaignsId, "Campagnes"},
        {kCustomDataDlgAvatarsId, "Avatars"},
        {kCustomDataDlgCarSkinsId, "Habillages de voitures"},
    };
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(avatarsMade);

    // Each folder button hands its folder, made first, to the desktop with "explore"; the three
    // import buttons do nothing yet.
    std::vector<std::string> shown;
    std::vector<std::string> afterClicks;
    const std::vector<std::string>& lines = Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("shell ", 0) == 0)
            shown.push_back(lines[i]);
        if (lines[i].rfind("> click 151/", 0) == 0)
            afterClicks.push_back(lines[i] + " | " + (i + 1 < lines.size() ? lines[i + 1] : ""));
    }
    std::vector<std::string> expectedShell;
    for (const char* folder : {"Skins/Avatars", "Tracks/Challenges", "Tracks/Replays",
                               "Tracks/Campaigns", "Skins/Vehicles"}) {
        EXPECT_TRUE(
            std::filesystem::is_directory(m_Install.File(std::string("GameData/") + folder)))
            << folder;
        expectedShell.push_back("shell explore " +
                                m_Install.File(std::string("GameData/") + folder) + "/");
    }
    EXPECT_EQ(shown, expectedShell) << m_Ui.TranscriptText();
    for (const char* id : {"1109", "1110", "1106"}) {
        const std::string click = std::string("> click 151/") + id + " | ";
        EXPECT_NE(std::find_if(afterClicks.begin(), afterClicks.end(),
                               [&](const std::string& line) {
                                   return line.rfind(click + "> click 151/", 0) == 0;
                               }),
                  afterClicks.end())
            << id;
    }
    EXPECT_TRUE(HasLine("open 151 owner 152"));
    EXPECT_TRUE(HasLine("close 151 -> IDOK"));
    EXPECT_TRUE(HasLine("close 152 -> IDOK"));
}

// The music conversion in French: the open-file dialog's title, the replace question, the success
// box and the failure box in the catalogue's words.
TEST_F(CustomDataFlow, MusicConversionInFrench) {
    CTempFolder outside;
    WriteWholeFile(outside.File("song.ogg"), "ogg bytes");
    WriteWholeFile(outside.File(".ogg"), "ogg bytes");
    const std::string music = m_Install.File("GameData/Skins/ChallengeMusics/");
    std::filesystem::create_directories(music);
    WriteWholeFile(music + "song.mux", "old");
    ui::Script script;
    script.In(kMainDlgTemplateId)
        .Click(kMainDlgHelpId)
        .In(kHelpDlgTemplateId)
        .Click(kHelpDlgCustomDataId)
        .In(kCustomDataDlgTemplateId)
        .Click(kCustomDataDlgMusicId)
        .ChooseFile(outside.File("song.ogg"))
        .Answer(ui::IDYES)
        .Answer(ui::IDOK)
        .In(kCustomDataDlgTemplateId)
        .Click(kCustomDataDlgMusicId)
        .ChooseFile(outside.File(".ogg"))
        .Answer(ui::IDOK)
        .In(kCustomDataDlgTemplateId)
        .Click(ui::IDOK)
        .In(kHelpDlgTemplateId)
        .Click(ui::IDOK)
        .In(kMainDlgTemplateId)
        .Click(ui::IDCANCEL);
    Run(std::move(script));

    std::vector<std::string> shown;
    for (const std::string& line : Lines())
        if ((line.rfind("box ", 0) == 0 && line.rfind("box -> ", 0) != 0) ||
            line.rfind("file owner", 0) == 0)
            shown.push_back(line);
    const std::string conversion = "\"Conversion de musique\" ";
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "file owner 151 title \"Convertir un fichier ogg\" filter \"music files "
                         "(*.ogg)\" \"*.ogg\" ext \"ogg\" folder \"" +
                             m_Install.Path().string() + "/\" flags 0x1804",
                         "box owner 151 " + conversion +
                             "\"Ces donn\xc3\xa9"
                             "es existent d\xc3\xa9j\xc3\xa0 dans un fichier du jeu :\\r\\n" +
                             music + "song.mux\\r\\nVoulez-vous le remplacer ?\" MB_YESNO Yes|No",
                         "box owner 151 " + conversion +
                             "\"Votre musique a \xc3\xa9t\xc3\xa9 convertie :\\r\\n" + music +
                             "song.mux\\r\\n\" MB_OK OK",
                         "file owner 151 title \"Convertir un fichier ogg\" filter \"music files "
                         "(*.ogg)\" \"*.ogg\" ext \"ogg\" folder \"" +
                             m_Install.Path().string() + "/\" flags 0x1804",
                         "box " + conversion +
                             "\"La conversion de la musique a \xc3\xa9"
                             "chou\xc3\xa9\" MB_OK|MB_ICONERROR OK"}))
        << m_Ui.TranscriptText();
    EXPECT_EQ(ReadWholeFile(music + "song.mux").size(), 9u + 14u);
}

// Base names are matched literally, ASCII letters without regard to case: the name itself or
// the name, a dot and anything.
TEST(ImportBaseMatch, LiteralNamesIgnoringAsciiCase) {
    struct Case {
        std::u16string base;
        std::u16string name;
        bool match;
    };
    const Case cases[] = {
        {u"Me", u"Me", true},
        {u"Me", u"me.DDS", true},
        {u"Me", u"Me.tar.gz", true},
        {u"Me", u"ME.", true},
        {u"Me", u"Mee.dds", false},
        {u"Me", u"xMe.dds", false},
        {u"Me", u"Me_.dds", false},
        {u"Me", u"M", false},
        {u"Me", u"", false},
        {u"*", u"*", true},
        {u"*", u"*.x", true},
        {u"*", u"a.x", false},
        {u"*", u"x", false},
        {u"?", u"a", false},
        {u"?", u"?.mux", true},
        {u"a[b", u"a[b.mux", true},
        {u"a[b", u"ab.mux", false},
        {u"a[b", u"b.mux", false},
        {u"\u00c9", u"\u00e9.mux", false},
        {u"\u00e9", u"\u00e9.mux", true},
        {std::u16string(1, char16_t(0xDCFF)), std::u16string(1, char16_t(0xDCFF)) + u".txt", true},
    };
    for (const Case& c : cases) {
        const CClassicWideString base(c.base.c_str());
        const CClassicWideString name(c.name.c_str());
        EXPECT_EQ(IsImportBaseMatch(name, base), c.match) << Narrow(base) << " / " << Narrow(name);
    }
}

// The custom-data dialog, its import buttons running the first steps of an import of their kind
// (1106 geometry, 1109 avatar, 1110 block skin, 1111 music): the open-file dialog, then the
// target checks, each run kept. A source given beforehand skips the open-file dialog (the layer
// never answers a name with wildcards).
class CImportProbe : public CCustomDataDlg {
public:
    struct SRun {
        u32 Kind = kImportKindNone;
        bool Chosen = false;
        std::string Source;
        bool Prepared = false;
        std::string Target;
        std::vector<std::string> Replaced;
    };
    std::vector<SRun> m_Runs;
    std::optional<CClassicWideString> m_GivenSource;

protected:
    void OnCommand(u32 id, i32 code) override {
        static const std::map<u32, u32> kinds = {{kCustomDataDlgGeometryId, kImportKindGeometry},
                                                 {kCustomDataDlgAvatarId, kImportKindAvatar},
                                                 {kCustomDataDlgBlockSkinId, kImportKindBlockSkin},
                                                 {kCustomDataDlgMusicId, kImportKindMusic}};
        const auto found = kinds.find(id);
        if (code != ui::BN_CLICKED || found == kinds.end()) {
            CCustomDataDlg::OnCommand(id, code);
            return;
        }
        SRun run;
        m_ImportKind = run.Kind = found->second;
        CClassicWideString source(u"untouched");
        if (m_GivenSource) {
            source = *m_GivenSource;
            run.Chosen = true;
        } else {
            run.Chosen = ChooseImportFiles(source);
        }
        run.Source = Narrow(source);
        if (run.Chosen && run.Kind != kImportKindGeometry) {
            SImportTarget target;
            run.Prepared = PrepareImportTarget(target, source);
            run.Target = Narrow(target.Path);
            for (const CClassicWideString& replaced : target.Replaced)
                run.Replaced.push_back(Narrow(replaced));
        }
        m_Runs.push_back(run);
    }
};

// The probe over an install folder of its own, and a folder outside it for the sources.
class ImportTargetChecks : public HeadlessUiTest {
protected:
    ImportTargetChecks() : m_OldInstall(theApp.m_InstallFolder) {
        RegisterCustomDataDlgResources();
        theApp.m_InstallFolder = m_Install.Engine();
    }
    ~ImportTargetChecks() override { theApp.m_InstallFolder = m_OldInstall; }

    // Runs the probe with the steps addressed to it; the runs it kept.
    std::vector<CImportProbe::SRun> RunProbe(const std::function<void(ui::Script&)>& steps,
                                             std::optional<CClassicWideString> given = {}) {
        CImportProbe probe;
        probe.m_GivenSource = std::move(given);
        ui::Script script;
        script.In(kCustomDataDlgTemplateId);
        steps(script);
        script.In(kCustomDataDlgTemplateId).Click(ui::IDOK);
        m_Ui.Play(std::move(script));
        EXPECT_EQ(probe.DoModal(), ui::IDOK);
        return probe.m_Runs;
    }

    bool HasTranscriptLine(const std::string& line) const {
        const std::vector<std::string>& lines = m_Ui.Transcript();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::string Data(const std::string& name) const { return m_Install.File("GameData/" + name); }
    std::string DataEngine(const std::string& name) const {
        return Narrow(m_Install.Engine("GameData/" + name));
    }

    CTempFolder m_Install;
    CTempFolder m_Outside;
    CClassicWideString m_OldInstall;
};

// The open-file dialog of each kind, owned by the dialog, in the install folder: cancelled, no
// source and nothing made; confirmed, the file's engine path. A path too long for the platform's
// buffer fails the dialog like a cancel.
TEST_F(ImportTargetChecks, OpenFileDialogOfEveryKind) {
    struct Row {
        u32 Button;
        const char* Title;
        const char* Filter; // description and patterns
        const char* Extension;
        const char* Source;
    };
    const Row rows[] = {
        {kCustomDataDlgGeometryId, "Import car geometry", "\"geometry files (*.3ds)\" \"*.3ds\"",
         "3ds", "car.3ds"},
        {kCustomDataDlgAvatarId, "Import image as avatar",
         "\"images files (*.tga,*.jpg)\" \"*.tga;*.jpg\"", "jpg", "face.tga"},
        {kCustomDataDlgBlockSkinId, "Import image as block skin",
         "\"images files (*.tga,*.jpg)\" \"*.tga;*.jpg\"", "jpg", "wall.jpg"},
        {kCustomDataDlgMusicId, "Convert ogg file", "\"music files (*.ogg)\" \"*.ogg\"", "ogg",
         "song.ogg"},
    };
    const std::string longFolder = m_Outside.File(std::string(240, 'd'));
    std::filesystem::create_directories(longFolder);
    WriteWholeFile(longFolder + "/long.ogg", "x");
    for (const Row& row : rows)
        WriteWholeFile(m_Outside.File(row.Source), "x");
    bool madeByCancels = true;
    const std::vector<CImportProbe::SRun> runs = RunProbe([&](ui::Script& script) {
        for (const Row& row : rows)
            script.Click(row.Button).CancelFile();
        script.Expect(
            [&](const ui::View&) {
                madeByCancels = std::filesystem::exists(Data(""));
                return true;
            },
            "nothing made");
        script.In(kCustomDataDlgTemplateId);
        for (const Row& row : rows)
            script.Click(row.Button).ChooseFile(m_Outside.File(row.Source));
        script.In(kCustomDataDlgTemplateId)
            .Click(kCustomDataDlgMusicId)
            .ChooseFile(longFolder + "/long.ogg");
    });
    EXPECT_FALSE(madeByCancels);

    ASSERT_EQ(runs.size(), 9u);
    std::vector<std::string> opened;
    for (const std::string& line : m_Ui.Transcript())
        if (line.rfind("file owner ", 0) == 0)
            opened.push_back(line);
    ASSERT_EQ(opened.size(), 9u) << m_Ui.TranscriptText();
    const std::string folder = m_Install.Path().string() + "/";
    for (size_t i = 0; i < 4; ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.Title);
        const std::string line = std::string("file owner 151 title \"") + row.Title + "\" filter " +
                                 row.Filter + " ext \"" + row.Extension + "\" folder \"" + folder +
                                 "\" flags 0x1804";
        EXPECT_EQ(opened[i], line);
        EXPECT_EQ(opened[4 + i], line);
        EXPECT_EQ(runs[i].Kind, i);
        EXPECT_FALSE(runs[i].Chosen);
        EXPECT_EQ(runs[i].Source, "untouched");
        EXPECT_EQ(runs[4 + i].Kind, i);
        EXPECT_TRUE(runs[4 + i].Chosen);
        EXPECT_EQ(runs[4 + i].Source, Narrow(m_Outside.Engine(row.Source)));
    }
    EXPECT_FALSE(runs[8].Chosen);
    EXPECT_EQ(runs[8].Source, "untouched");
    EXPECT_TRUE(HasTranscriptLine("file failed: the path is too long")) << m_Ui.TranscriptText();
}

// Each kind's target: its folder under the data folder, made at once, and the base name (up to
// the first dot) with the kind's extension. Every file of the base name, with any extension and
// in sub-folders too, is asked about in the listing's order taken the first, then the last moved
// into its place; after Yes answers the target takes the last one's folder and spelling, and the
// files are only handed back, never removed here.
TEST_F(ImportTargetChecks, TargetsAndReplaceQuestions) {
    for (const char* name : {"My.Car.tga", "My.Car.jpg", "My.Car.ogg", "Me.jpg"})
        WriteWholeFile(m_Outside.File(name), "x");
    std::filesystem::create_directories(Data("Skins/Avatars/Old"));
    std::filesystem::create_directories(Data("Skins/Avatars/Zed"));
    for (const char* name : {"Me.txt", "Old/ME.dds", "Zed/me", "Mee.dds", "Old/xMe.dds"})
        WriteWholeFile(Data(std::string("Skins/Avatars/") + name), "old");
    const std::string question =
        "This data already exists as a game file :\r\n%1\r\nDo you want to replace it ?";
    const auto asked = [&](const std::string& file) {
        std::string text = question;
        text.replace(text.find("%1"), 2, Data("Skins/Avatars/" + file));
        return ui::Exactly(text);
    };
    const std::vector<CImportProbe::SRun> runs = RunProbe([&](ui::Script& script) {
        script.Click(kCustomDataDlgAvatarId)
            .ChooseFile(m_Outside.File("My.Car.tga"))
            .In(kCustomDataDlgTemplateId)
            .Click(kCustomDataDlgBlockSkinId)
            .ChooseFile(m_Outside.File("My.Car.jpg"))
            .In(kCustomDataDlgTemplateId)
            .Click(kCustomDataDlgMusicId)
            .ChooseFile(m_Outside.File("My.Car.ogg"))
            .In(kCustomDataDlgTemplateId)
            .Click(kCustomDataDlgAvatarId)
            .ChooseFile(m_Outside.File("Me.jpg"))
            .Answer(ui::IDYES, ui::Exactly("Avatar import"), asked("Me.txt"))
            .Answer(ui::IDYES, ui::Exactly("Avatar import"), asked("Zed/me"))
            .Answer(ui::IDYES, ui::Exactly("Avatar import"), asked("Old/ME.dds"));
    });
    ASSERT_EQ(runs.size(), 4u);
    const std::string targets[] = {
        DataEngine("Skins/Avatars/My.dds"), DataEngine("Skins/Any/Advertisement/My.zip"),
        DataEngine("Skins/ChallengeMusics/My.mux"), DataEngine("Skins/Avatars/Old/ME.dds")};
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_TRUE(runs[i].Prepared) << i;
        EXPECT_EQ(runs[i].Target, targets[i]);
    }
    EXPECT_TRUE(std::filesystem::is_directory(Data("Skins/Any/Advertisement")));
    EXPECT_TRUE(std::filesystem::is_directory(Data("Skins/ChallengeMusics")));
    EXPECT_TRUE(runs[0].Replaced.empty());
    EXPECT_EQ(runs[3].Replaced, (std::vector<std::string>{DataEngine("Skins/Avatars/Me.txt"),
                                                          DataEngine("Skins/Avatars/Zed/me"),
                                                          DataEngine("Skins/Avatars/Old/ME.dds")}));
    for (const char* name : {"Me.txt", "Old/ME.dds", "Zed/me", "Mee.dds", "Old/xMe.dds"})
        EXPECT_TRUE(std::filesystem::exists(Data(std::string("Skins/Avatars/") + name))) << name;
    EXPECT_TRUE(HasTranscriptLine("box owner 151 \"Avatar import\" \"This data already exists as a "
                                  "game file :\\r\\n" +
                                  Data("Skins/Avatars/Me.txt") +
                                  "\\r\\nDo you want to replace it ?\" MB_YESNO Yes|No"))
        << m_Ui.TranscriptText();
}

// A source whose name begins with a dot has no base name: refused with the kind's failure box
// (error sign, no owner) before any folder is made.
TEST_F(ImportTargetChecks, NoBaseNameIsRefusedBeforeAnyFolderIsMade) {
    for (const char* name : {".jpg", ".ogg"})
        WriteWholeFile(m_Outside.File(name), "x");
    const std::vector<CImportProbe::SRun> runs = RunProbe([&](ui::Script& script) {
        script.Click(kCustomDataDlgAvatarId)
            .ChooseFile(m_Outside.File(".jpg"))
            .Answer(ui::IDOK)
            .In(kCustomDataDlgTemplateId)
            .Click(kCustomDataDlgBlockSkinId)
            .ChooseFile(m_Outside.File(".jpg"))
            .Answer(ui::IDOK)
            .In(kCustomDataDlgTemplateId)
            .Click(kCustomDataDlgMusicId)
            .ChooseFile(m_Outside.File(".ogg"))
            .Answer(ui::IDOK);
    });
    ASSERT_EQ(runs.size(), 3u);
    for (const CImportProbe::SRun& run : runs)
        EXPECT_FALSE(run.Prepared);
    EXPECT_FALSE(std::filesystem::exists(Data("")));
    std::vector<std::string> boxes;
    for (const std::string& line : m_Ui.Transcript())
        if (line.rfind("box ", 0) == 0 && line != "box -> IDOK")
            boxes.push_back(line);
    EXPECT_EQ(boxes,
              (std::vector<std::string>{
                  "box \"Avatar import\" \"Failed to import image\" MB_OK|MB_ICONERROR OK",
                  "box \"Block skin import\" \"Failed to import image\" MB_OK|MB_ICONERROR OK",
                  "box \"Music conversion\" \"Failed to convert music\" MB_OK|MB_ICONERROR OK"}));
}

// A base name with wildcard characters matches only names that hold them: "*.ogg" is not asked
// about the folder's other files, and its target is "*.mux".
TEST_F(ImportTargetChecks, WildcardsInTheBaseNameAreLiteral) {
    WriteWholeFile(m_Outside.File("*.ogg"), "x");
    std::filesystem::create_directories(Data("Skins/ChallengeMusics"));
    for (const char* name : {"a.mux", "b.txt"})
        WriteWholeFile(Data(std::string("Skins/ChallengeMusics/") + name), "old");
    const std::vector<CImportProbe::SRun> runs =
        RunProbe([&](ui::Script& script) { script.Click(kCustomDataDlgMusicId); },
                 m_Outside.Engine("*.ogg"));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].Prepared);
    EXPECT_EQ(runs[0].Target, DataEngine("Skins/ChallengeMusics/*.mux"));
    EXPECT_TRUE(runs[0].Replaced.empty());
}

} // namespace
