#include "launcher/import/CustomDataDlg.h"

#include "launcher/HelpDlg.h"
#include "launcher/MainDlg.h"
#include "platform/ShellOpen.h"
#include "tests/launcher/ConfigBodyFile.h"
#include "tests/launcher/LauncherTestSupport.h"

#include <filesystem>

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
// the data folder's sub-folders and hand them to the desktop. The import buttons do nothing yet.
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
    for (u32 id : {kCustomDataDlgAvatarId, kCustomDataDlgBlockSkinId, kCustomDataDlgGeometryId,
                   kCustomDataDlgMusicId})
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

    // Each folder button hands its folder, made first, to the desktop with "explore"; the import
    // buttons do nothing yet.
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
    for (const char* id : {"1109", "1110", "1106", "1111"}) {
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

} // namespace
