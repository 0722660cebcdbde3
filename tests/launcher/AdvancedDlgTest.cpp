#include "launcher/AdvancedDlg.h"

#include "core/nod/MwMemberInfo.h"
#include "launcher/ConfigDlg.h"
#include "launcher/MainDlg.h"
#include "tests/launcher/ConfigBodyFile.h"
#include "tests/launcher/LauncherTestSupport.h"

#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <sstream>

namespace {

using ui::Contains;
using ui::Exactly;

// ------------------------------------------------------------------------------------------------
// The rules without a dialog

// Python's float32 arithmetic (struct) gives each position's stored value and tells which
// positions the plain truncation would not give back; the sliders' mappings must store the same
// bits and give every position back.
TEST(AdvancedDlgRules, InputsMappingsAgreeWithFloat32) {
    const std::string script = R"(
import math, struct
def f(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]
def bits(x):
    return struct.unpack('<I', struct.pack('<f', x))[0]
k = f(33.333332)
for p in range(101):
    dead = f(f(p) * f(0.01))
    sens = f(f(f(p) * f(0.03)) + 1.0)
    print(p, bits(dead), bits(sens), int(math.trunc(f(dead * 100.0)) == p),
          int(math.trunc(f(f(sens - 1.0) * k)) == p))
print(-1, math.trunc(f(f(0.1) * 100.0)), math.trunc(f(f(1.0 - 1.0) * k)),
      math.trunc(f(f(2.5 - 1.0) * k)), math.trunc(f(f(4.0 - 1.0) * k)),
      bits(f(f(f(100) * f(0.03)) + 1.0)), bits(f(f(f(50) * f(0.03)) + 1.0)))
)";
    CTempFolder folder;
    std::istringstream lines(RunPython(folder, script, ""));
    i32 position = 0;
    u32 deadBits = 0;
    u32 sensitivityBits = 0;
    int deadRoundTrips = 0;
    int sensitivityRoundTrips = 0;
    u32 positions = 0;
    u32 deadLosses = 0;
    u32 sensitivityLosses = 0;
    while (lines >> position && position >= 0 &&
           lines >> deadBits >> sensitivityBits >> deadRoundTrips >> sensitivityRoundTrips) {
        ++positions;
        const f32 dead = PositionToDeadZone(position);
        const f32 sensitivity = PositionToSensitivity(position);
        EXPECT_EQ(std::bit_cast<u32>(dead), deadBits) << position;
        EXPECT_EQ(std::bit_cast<u32>(sensitivity), sensitivityBits) << position;
        EXPECT_EQ(DeadZoneToPosition(dead), position);
        EXPECT_EQ(SensitivityToPosition(sensitivity), position);
        deadLosses += deadRoundTrips == 0;
        sensitivityLosses += sensitivityRoundTrips == 0;
    }
    EXPECT_EQ(positions, 101u);
    // The plain truncation loses a step at these many positions on every save.
    EXPECT_EQ(deadLosses, 22u);
    EXPECT_EQ(sensitivityLosses, 64u);

    // The examples: Python's plain truncation and the mappings agree on them.
    i32 dead01 = 0;
    i32 sensitivity1 = 0;
    i32 sensitivity25 = 0;
    i32 sensitivity4 = 0;
    u32 value100 = 0;
    u32 value50 = 0;
    ASSERT_TRUE(lines >> dead01 >> sensitivity1 >> sensitivity25 >> sensitivity4 >> value100 >>
                value50);
    EXPECT_EQ(dead01, 10);
    EXPECT_EQ(DeadZoneToPosition(0.1f), 10);
    EXPECT_EQ(sensitivity1, 0);
    EXPECT_EQ(SensitivityToPosition(1.0f), 0);
    EXPECT_EQ(sensitivity25, 50);
    EXPECT_EQ(SensitivityToPosition(2.5f), 50);
    EXPECT_EQ(sensitivity4, 100);
    EXPECT_EQ(SensitivityToPosition(4.0f), 100);
    EXPECT_EQ(value100, std::bit_cast<u32>(4.0f));
    EXPECT_EQ(PositionToSensitivity(100), 4.0f);
    EXPECT_EQ(value50, std::bit_cast<u32>(2.5f));
    EXPECT_EQ(PositionToSensitivity(50), 2.5f);
}

// Values from a damaged file never reach a float-to-integer conversion unclamped.
TEST(AdvancedDlgRules, InputsPositionsOfValuesOutsideTheRange) {
    constexpr f32 nan = std::numeric_limits<f32>::quiet_NaN();
    constexpr f32 inf = std::numeric_limits<f32>::infinity();
    struct Case {
        f32 Value;
        i32 DeadZone;
        i32 Sensitivity;
    };
    const Case cases[] = {
        {nan, 0, 0},       {-nan, 0, 0},    {inf, 100, 100}, {-inf, 0, 0},      {1.7f, 100, 23},
        {10.0f, 100, 100}, {-0.5f, 0, 0},   {0.0f, 0, 0},    {1e30f, 100, 100}, {0.755f, 75, 0},
        {3.97f, 100, 99},  {1.01f, 100, 0}, {0.99f, 99, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DeadZoneToPosition(c.Value), c.DeadZone) << c.Value;
        EXPECT_EQ(SensitivityToPosition(c.Value), c.Sensitivity) << c.Value;
    }
    // A stored sensitivity of 10 shows 100, which stores 4.
    EXPECT_EQ(PositionToSensitivity(SensitivityToPosition(10.0f)), 4.0f);
}

TEST(AdvancedDlgRules, ValueNamesAreTheMemberRecords) {
    struct Case {
        u32 MemberId;
        const char* Name;
        std::vector<std::string> Values;
    };
    const Case cases[] = {
        {0x0b005029,
         "AudioSpeakerConfig",
         {"|Speaker|Use system config", "|Speaker|Mono", "|Speaker|Headphone",
          "|Speaker|Stereo min", "|Speaker|Stereo narrow", "|Speaker|Stereo wide",
          "|Speaker|Stereo max", "|Speaker|Quad", "|Speaker|Surround", "|Speaker|5.1",
          "|Speaker|7.1", "|Speaker|No speakers"}},
        {0x0b005024,
         "AudioGlobalQuality",
         {"|AudioQuality|Low", "|AudioQuality|Normal", "|AudioQuality|High"}},
        {0x0b005025,
         "AudioAcceleration",
         {"|Audio|Auto", "|Audio|HardwareOnly", "|Audio|SoftwareOnly"}},
        {0x0b005026, "AudioQuality3d", {"|Audio|NoHrtf", "|Audio|HrtfLight", "|Audio|HrtfFull"}},
        {0x0b00501b, "QrCarQuality", {"|CarQuality|Low Opponents", "|CarQuality|All High"}},
        {0x0b00501c, "QrCarSmoke", {"|CarSmoke|None", "|CarSmoke|My Car"}},
        {0x0b00501d,
         "QrCarProjector",
         {"|CarProjectors|None", "|CarProjectors|My Car", "|CarProjectors|All Cars"}},
        {0x0b00501e, "QrOpponents", {"|Opponents|Always Visible", "|Opponents|Hide Too Close"}},
    };
    for (const Case& c : cases) {
        const CMwMemberInfoEnum& member = ConfigEnumMemberInfo(c.MemberId);
        ASSERT_EQ(member.TypeCode, u32(MwType_Enum)) << c.Name;
        EXPECT_STREQ(member.Name, c.Name);
        std::vector<std::string> values;
        for (u32 i = 0; i < member.EnumCount; ++i)
            values.push_back(member.EnumNames[i]);
        EXPECT_EQ(values, c.Values) << c.Name;
    }
}

// ------------------------------------------------------------------------------------------------
// What a dialog and its pages show

struct SShown {
    std::string Text;
    std::vector<std::string> Entries;
    i32 Selection = -1;
    bool Enabled = false;
    bool OnScreen = false;
    bool Checked = false;
    bool Focused = false;
    i32 Position = 0;
    i32 TicFrequency = 0;
};

struct SDialogShown {
    bool Open = false;
    std::string Caption;
    bool Visible = false;
    ui::Rect Place;
    std::map<u32, SShown> Controls;

    const SShown& operator[](u32 id) const { return Controls.at(id); }
    std::string Selected(u32 id) const {
        const SShown& list = Controls.at(id);
        return list.Selection >= 0 && size_t(list.Selection) < list.Entries.size()
                   ? list.Entries[size_t(list.Selection)]
                   : std::string("(none)");
    }
};

SDialogShown ReadDialog(const ui::View& view, u32 templateId) {
    SDialogShown shown;
    const ui::Dialog* dialog = view.Find(templateId);
    if (!dialog)
        return shown;
    shown.Open = true;
    shown.Caption = dialog->GetWindowText();
    shown.Visible = dialog->IsVisible();
    shown.Place = dialog->WindowRect();
    for (const ui::Control& control : dialog->Controls()) {
        SShown& one = shown.Controls[control.Id()];
        one.Text = control.GetText();
        if (control.Kind() == ui::ControlKind::ComboList || control.Kind() == ui::ControlKind::Tab)
            for (i32 i = 0; i < control.GetCount(); ++i)
                one.Entries.push_back(control.GetItemText(i));
        one.Selection = control.GetCurSel();
        one.Enabled = control.IsEnabled();
        one.OnScreen = control.IsOnScreen();
        one.Checked = control.GetCheck();
        one.Focused = control.HasFocus();
        one.Position = control.GetPos();
        one.TicFrequency = control.GetTicFreq();
    }
    return shown;
}

// The advanced dialog, its five pages and the configuration dialog behind it.
struct SAdvancedShown {
    SDialogShown Dialog;
    SDialogShown Display;
    SDialogShown Audio;
    SDialogShown Network;
    SDialogShown Game;
    SDialogShown Inputs;
    SDialogShown Config;

    // The pages shown, by template id.
    std::vector<u32> PagesShown() const {
        std::vector<u32> ids;
        for (const auto& [id, page] : {std::pair{kDisplayTabTemplateId, &Display},
                                       {kAudioTabTemplateId, &Audio},
                                       {kNetworkTabTemplateId, &Network},
                                       {kGameTabTemplateId, &Game},
                                       {kInputsTabTemplateId, &Inputs}})
            if (page->Visible)
                ids.push_back(id);
        return ids;
    }
};

// An Expect step that keeps what is shown.
ui::Predicate Keep(SAdvancedShown& shown) {
    return [&shown](const ui::View& view) {
        shown.Dialog = ReadDialog(view, kAdvancedDlgTemplateId);
        shown.Display = ReadDialog(view, kDisplayTabTemplateId);
        shown.Audio = ReadDialog(view, kAudioTabTemplateId);
        shown.Network = ReadDialog(view, kNetworkTabTemplateId);
        shown.Game = ReadDialog(view, kGameTabTemplateId);
        shown.Inputs = ReadDialog(view, kInputsTabTemplateId);
        shown.Config = ReadDialog(view, kConfigDlgTemplateId);
        return shown.Dialog.Open;
    };
}

// An Expect step that runs a function on theApp's configuration.
ui::Predicate OnConfig(std::function<void(CSystemConfig&)> run) {
    return [run = std::move(run)](const ui::View&) {
        run(*theApp.m_Config);
        return true;
    };
}

// The groups of settings each page resets, as values to compare.
struct SGroups {
    u32 Antialiasing = 0; // display
    u32 Speakers = 0;     // audio
    f32 SoundVolume = 0;
    u32 ServerPort = 0; // network
    u32 CarQuality = 0; // game
    u32 SkipDemo = 0;
    f32 DeadZone = 0; // inputs

    static SGroups Of(const CSystemConfig& config) {
        return {config.m_Display->m_Antialiasing,
                config.m_AudioSpeakerConfig,
                config.m_AudioSoundVolume,
                config.m_NetworkServerPort,
                config.m_QrCarQuality,
                config.m_IsSkipRollingDemo,
                config.m_InputsDeadZone};
    }
    // Which of the five groups equal the other's: display, audio, network, game, inputs.
    std::vector<bool> Same(const SGroups& other) const {
        return {Antialiasing == other.Antialiasing,
                Speakers == other.Speakers && SoundVolume == other.SoundVolume,
                ServerPort == other.ServerPort,
                CarQuality == other.CarQuality && SkipDemo == other.SkipDemo,
                DeadZone == other.DeadZone};
    }
};

// Every group away from its defaults.
void MoveEveryGroup(CSystemConfig& config) {
    config.m_Display->m_Antialiasing = 2;
    config.m_AudioSpeakerConfig = 2;
    config.m_AudioSoundVolume = 0.25f;
    config.m_NetworkServerPort = 1234;
    config.m_QrCarQuality = 1;
    config.m_IsSkipRollingDemo = 1;
    config.m_InputsDeadZone = 0.5f;
}

// ------------------------------------------------------------------------------------------------
// The dialog opened alone, over a configuration of theApp (no configuration dialog behind it)

class AdvancedAlone : public HeadlessUiTest {
protected:
    AdvancedAlone() : m_Registry("ENGINE_REGISTRY_DIR", m_Folder.File("registry").c_str()) {
        RegisterAdvancedDlgResources();
        NewConfig();
    }
    ~AdvancedAlone() override {
        theApp.m_Config->Release();
        theApp.m_Config = nullptr;
    }

    // A fresh configuration in theApp, with the test's changes.
    void NewConfig(const std::function<void(CSystemConfig&)>& edit = {}) {
        if (theApp.m_Config)
            theApp.m_Config->Release();
        theApp.m_Config = new CSystemConfig;
        theApp.m_Config->AddRef();
        if (edit)
            edit(*theApp.m_Config);
    }

    int RunDialog(ui::Script script) {
        m_Ui.Play(std::move(script));
        CAdvancedDlg dialog;
        return dialog.DoModal();
    }

    CTempFolder m_Folder;
    CScopedEnvVar m_Registry;
};

// Smoke, projectors and opponent shadows can be chosen only with a customised display without
// preset, and not in safe mode.
TEST_F(AdvancedAlone, GamePageEnabling) {
    struct Case {
        const char* Name;
        u32 SafeMode;
        u32 Customize;
        u32 Preset;
        bool Enabled;
    };
    const Case cases[] = {
        {"safe mode", 1, 1, 0, false},
        {"Customize clear", 0, 0, 0, false},
        {"Customize with preset 3", 0, 1, 3, false},
        {"Customize with preset 0", 0, 1, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        NewConfig([&](CSystemConfig& config) {
            config.m_IsSafeMode = c.SafeMode;
            config.m_Display->m_Customize = c.Customize;
            config.m_Display->m_Preset = c.Preset;
        });
        EXPECT_EQ(IsCustomDisplayQuality(*theApp.m_Config), c.Enabled);
        SAdvancedShown shown;
        EXPECT_EQ(RunDialog(ui::Script()
                                .In(kAdvancedDlgTemplateId)
                                .SelectTab(kAdvancedDlgTabId, kAdvancedTabGame)
                                .Expect(Keep(shown))
                                .In(kAdvancedDlgTemplateId)
                                .Click(ui::IDCANCEL)),
                  ui::IDCANCEL);
        for (u32 id : {kGameTabSmokeId, kGameTabProjectorsId, kGameTabShadowsId})
            EXPECT_EQ(shown.Game[id].Enabled, c.Enabled) << id;
        for (u32 id : {kGameTabIgnoreSkinsId, kGameTabSkipDemoId, kGameTabCarQualityId,
                       kGameTabOpponentsId, kGameTabLimitId})
            EXPECT_TRUE(shown.Game[id].Enabled) << id;
    }
}

// Each page's Reset resets its own group and nothing else, and it stays after Cancel. The
// Display page's reset asks the configuration dialog to reload, which is not there.
TEST_F(AdvancedAlone, EachPageResetsItsGroup) {
    NewConfig();
    const SGroups defaults = SGroups::Of(*theApp.m_Config);
    const u32 pages[kAdvancedTabCount] = {kDisplayTabTemplateId, kAudioTabTemplateId,
                                          kNetworkTabTemplateId, kGameTabTemplateId,
                                          kInputsTabTemplateId};
    for (i32 tab = 0; tab < kAdvancedTabCount; ++tab) {
        SCOPED_TRACE(tab);
        NewConfig(MoveEveryGroup);
        const SGroups moved = SGroups::Of(*theApp.m_Config);
        EXPECT_EQ(moved.Same(defaults), std::vector<bool>(5, false));
        EXPECT_EQ(RunDialog(ui::Script()
                                .In(kAdvancedDlgTemplateId)
                                .SelectTab(kAdvancedDlgTabId, tab)
                                .In(pages[tab])
                                .Click(kAdvancedPageResetId)
                                .In(kAdvancedDlgTemplateId)
                                .Click(ui::IDCANCEL)),
                  ui::IDCANCEL);
        std::vector<bool> expected(5, false);
        expected[size_t(tab)] = true;
        EXPECT_EQ(SGroups::Of(*theApp.m_Config).Same(defaults), expected);
    }
}

// Values a damaged file may hold: a list value past the list's entries stays as it was on OK
// (it would otherwise become "none"); dead zone and sensitivity positions come from clamped
// values, so OK stores the nearest values of the range. OK needs no configuration dialog.
TEST_F(AdvancedAlone, DamagedValuesOnOk) {
    NewConfig([](CSystemConfig& config) {
        config.m_AudioSpeakerConfig = 40;
        config.m_AudioQuality3d = 0x80000000;
        config.m_QrOpponents = 7;
        config.m_InputsDeadZone = std::numeric_limits<f32>::quiet_NaN();
        config.m_InputsSensitivity = 10.0f;
    });
    SAdvancedShown shown;
    EXPECT_EQ(
        RunDialog(ui::Script().In(kAdvancedDlgTemplateId).Expect(Keep(shown)).Click(ui::IDOK)),
        ui::IDOK);
    EXPECT_EQ(shown.Audio[kAudioTabSpeakersId].Selection, -1);
    EXPECT_EQ(shown.Audio[kAudioTabQuality3dId].Selection, -1);
    EXPECT_EQ(shown.Game[kGameTabOpponentsId].Selection, -1);
    EXPECT_EQ(shown.Inputs[kInputsTabDeadZoneId].Position, 0);
    EXPECT_EQ(shown.Inputs[kInputsTabSensitivityId].Position, 100);
    const CSystemConfig& config = *theApp.m_Config;
    EXPECT_EQ(config.m_AudioSpeakerConfig, 40u);
    EXPECT_EQ(config.m_AudioQuality3d, 0x80000000u);
    EXPECT_EQ(config.m_QrOpponents, 7u);
    EXPECT_EQ(config.m_InputsDeadZone, 0.0f);
    EXPECT_EQ(config.m_InputsSensitivity, 4.0f);
    EXPECT_EQ(theApp.m_ConfigDlg, nullptr);
}

// ------------------------------------------------------------------------------------------------
// Flows of a whole launcher run: main dialog, configuration dialog, advanced dialog

class AdvancedFlow : public CLauncherFixture {
protected:
    AdvancedFlow() {
        m_Options.ConfigFileOps = &m_File;
        // The adapter's row, with a geometry score of 100: the car preset of level 3.
        WriteGpuTable(true);
        for (const char* code : {"en", "fr"}) {
            const std::string mo =
                m_Install.File(std::string("GameData/Translations/") + code + ".mo");
            RunCommand(std::string("msgfmt --check -o ") + mo + " " + ENGINE_TEST_SOURCE_DIR +
                       "/tests/launcher/data/" + code + ".po");
        }
    }

    // Writes the configuration file: the defaults in French, then the test's changes.
    void WriteConfig(const std::function<void(CSystemConfig&)>& edit = {}) const {
        auto* config = new CSystemConfig;
        config->AddRef();
        config->m_LanguageCode.Assign("fr");
        if (edit)
            edit(*config);
        WriteWholeFile(ConfigFile(), CConfigBodyFile::Body(*config));
        config->Release();
    }

    // The configuration file as it is now; null when it does not read.
    CSystemConfig* ReadConfig() const { return CConfigBodyFile::Read(ReadWholeFile(ConfigFile())); }

    // Opens the advanced dialog from the configuration dialog of the main dialog.
    static ui::Script Open() {
        return ui::Script()
            .In(kMainDlgTemplateId)
            .Click(kMainDlgConfigureId)
            .In(kConfigDlgTemplateId)
            .Click(kConfigDlgAdvancedId);
    }
    // Closes the configuration dialog (its button) and the main dialog.
    static ui::Script& CloseAll(ui::Script& script, u32 configButton = ui::IDCANCEL) {
        return script.In(kConfigDlgTemplateId)
            .Click(configButton)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL);
    }

    // The transcript lines that begin with a prefix.
    std::vector<std::string> LinesStarting(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& line : Lines())
            if (line.rfind(prefix, 0) == 0)
                found.push_back(line);
        return found;
    }

    CConfigBodyFile m_File;
};

// A configuration with a customised display quality, so that the game members keep what the
// file holds, and values away from the defaults on every page.
void CustomisedConfig(CSystemConfig& config) {
    config.m_Display->m_Customize = 1;
    config.m_Display->m_Preset = 0;
    config.m_AudioGlobalQuality = 2;
    config.m_AudioAcceleration = 1;
    config.m_AudioQuality3d = 2;
    config.m_AudioUseEAX = 0;
    config.m_AudioDisableDoppler = 1;
    config.m_InputsAlternateMethod = 1;
    config.m_InputsFreezeUnusedAxes = 0;
    config.m_IsIgnorePlayerSkins = 1;
    config.m_QrCarQuality = 1;
    config.m_QrCarSmoke = 0;
    config.m_QrCarProjector = 2;
    config.m_QrOpponents = 0;
    config.m_QrOpponentShadows = 1;
    config.m_QrMaxOpponents = 0xFFFFFFFF;
}

TEST_F(AdvancedFlow, OpensWithItsPagesInFrench) {
    WriteConfig(CustomisedConfig);
    SAdvancedShown opened;
    SAdvancedShown game;
    ui::Rect expectedPlace;
    ui::Script script = Open();
    script.Expect(Keep(opened))
        .In(kAdvancedDlgTemplateId)
        .SelectTab(kAdvancedDlgTabId, kAdvancedTabGame)
        .Expect(Keep(game))
        .Expect(
            [&](const ui::View& view) {
                // The placement rule from the tab control's own rectangles.
                const ui::Control& tabs = *view.Item(kAdvancedDlgTemplateId, kAdvancedDlgTabId);
                const ui::Rect client = tabs.ClientRect();
                const ui::Rect first = tabs.GetItemRect(0);
                expectedPlace = {first.Left, first.Bottom + 1, client.Right - 1, client.Bottom - 1};
                return true;
            },
            "the tab control's rectangles")
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDCANCEL);
    Run(std::move(CloseAll(script)));

    // The dialog, its tabs in order, and the Display page first.
    EXPECT_EQ(opened.Dialog.Caption, "Param\xc3\xa8tres avanc\xc3\xa9s");
    EXPECT_EQ(
        opened.Dialog[kAdvancedDlgTabId].Entries,
        (std::vector<std::string>{"Affichage", "Son", "R\xc3\xa9seau", "Jeu", "Contr\xc3\xb4les"}));
    EXPECT_EQ(opened.Dialog[kAdvancedDlgTabId].Selection, 0);
    EXPECT_EQ(opened.PagesShown(), std::vector<u32>{kDisplayTabTemplateId});
    EXPECT_EQ(opened.Dialog[kAdvancedDlgResetId].Text, "Valeurs par d\xc3\xa9"
                                                       "faut");
    EXPECT_EQ(opened.Dialog[ui::IDOK].Text, "Valider");
    EXPECT_EQ(opened.Dialog[ui::IDCANCEL].Text, "Annuler");
    for (const SDialogShown* page :
         {&opened.Display, &opened.Audio, &opened.Network, &opened.Game, &opened.Inputs})
        EXPECT_EQ((*page)[kAdvancedPageResetId].Text, "Valeurs par d\xc3\xa9"
                                                      "faut");
    // The pages are made in their order, the Game page after its tab.
    EXPECT_EQ(LinesStarting("page "),
              (std::vector<std::string>{"page 132 in 135/1011", "page 133 in 135/1011",
                                        "page 134 in 135/1011", "page 142 in 135/1011",
                                        "page 141 in 135/1011"}));
    EXPECT_TRUE(HasLine("open 135 owner 137")) << m_Ui.TranscriptText();

    // Audio: the translated value names with the configuration's selections.
    const SDialogShown& audio = opened.Audio;
    ASSERT_EQ(audio[kAudioTabSpeakersId].Entries.size(), 12u);
    EXPECT_EQ(audio[kAudioTabSpeakersId].Entries[9], "5.1 canaux");
    EXPECT_EQ(audio.Selected(kAudioTabSpeakersId), "St\xc3\xa9r\xc3\xa9o large");
    EXPECT_EQ(audio[kAudioTabQualityId].Entries,
              (std::vector<std::string>{"Basse", "Normale", "Haute"}));
    EXPECT_EQ(audio[kAudioTabQualityId].Selection, 2);
    EXPECT_EQ(audio.Selected(kAudioTabAccelerationId), "Mat\xc3\xa9rielle seulement");
    EXPECT_EQ(audio.Selected(kAudioTabQuality3dId), "HRTF compl\xc3\xa8te");
    EXPECT_FALSE(audio[kAudioTabEaxId].Checked);
    EXPECT_FALSE(audio[kAudioTabDopplerId].Checked);
    EXPECT_EQ(audio[kAudioTabQuality3dLabelId].Text, "Qualit\xc3\xa9 3D (logiciel)");
    EXPECT_EQ(audio[kAudioTabDopplerLabelId].Text, "Effet Doppler");
    EXPECT_EQ(audio[kAudioTabSpeakersLabelId].Text, "Haut-parleurs");

    // Inputs: 0.1 and 1.0 on sliders with a tick every 10.
    const SDialogShown& inputs = opened.Inputs;
    EXPECT_EQ(inputs[kInputsTabDeadZoneId].Position, 10);
    EXPECT_EQ(inputs[kInputsTabSensitivityId].Position, 0);
    EXPECT_EQ(inputs[kInputsTabDeadZoneId].TicFrequency, 10);
    EXPECT_EQ(inputs[kInputsTabSensitivityId].TicFrequency, 10);
    EXPECT_TRUE(inputs[kInputsTabAlternateId].Checked);
    EXPECT_FALSE(inputs[kInputsTabFreezeId].Checked);
    EXPECT_EQ(inputs[kInputsTabDeadZoneLabelId].Text, "Zone morte");
    EXPECT_EQ(inputs[kInputsTabFreezeLabelId].Text, "Figer les axes inutilis\xc3\xa9s");

    // Game: no limit, so the number is hidden and its label empty.
    const SDialogShown& shownGame = game.Game;
    EXPECT_EQ(game.PagesShown(), std::vector<u32>{kGameTabTemplateId});
    EXPECT_EQ(game.Dialog[kAdvancedDlgTabId].Selection, kAdvancedTabGame);
    EXPECT_EQ(shownGame.Place, expectedPlace);
    EXPECT_TRUE(HasLine("place 141 2,23 513x296")) << m_Ui.TranscriptText();
    EXPECT_FALSE(shownGame[kGameTabLimitId].Checked);
    EXPECT_FALSE(shownGame[kGameTabMaxOpponentsId].OnScreen);
    EXPECT_EQ(shownGame[kGameTabMaxOpponentsLabelId].Text, "");
    EXPECT_TRUE(shownGame[kGameTabIgnoreSkinsId].Checked);
    EXPECT_FALSE(shownGame[kGameTabSkipDemoId].Checked);
    EXPECT_TRUE(shownGame[kGameTabShadowsId].Checked);
    EXPECT_EQ(shownGame.Selected(kGameTabCarQualityId), "Toutes d\xc3\xa9taill\xc3\xa9"
                                                        "es");
    EXPECT_EQ(shownGame.Selected(kGameTabSmokeId), "Aucune");
    EXPECT_EQ(shownGame.Selected(kGameTabProjectorsId), "Toutes les voitures");
    EXPECT_EQ(shownGame.Selected(kGameTabOpponentsId), "Toujours visibles");
    EXPECT_EQ(shownGame[kGameTabLimitLabelId].Text, "Limiter les adversaires");
    EXPECT_TRUE(shownGame[kGameTabSmokeId].Enabled);
    EXPECT_EQ(LinesStarting("close 135"), std::vector<std::string>{"close 135 -> IDCANCEL"});
}

TEST_F(AdvancedFlow, EditAndOk) {
    WriteConfig(CustomisedConfig);
    SAdvancedShown limited;
    SAdvancedShown afterOk;
    std::map<std::string, f64> stored;
    ui::Script script = Open();
    script.In(kAdvancedDlgTemplateId)
        .SelectTab(kAdvancedDlgTabId, kAdvancedTabAudio)
        .In(kAudioTabTemplateId)
        .Select(kAudioTabSpeakersId, 10)
        .Check(kAudioTabDopplerId, true)
        .In(kAdvancedDlgTemplateId)
        .SelectTab(kAdvancedDlgTabId, kAdvancedTabInputs)
        .In(kInputsTabTemplateId)
        .SetSlider(kInputsTabDeadZoneId, 25)
        .SetSlider(kInputsTabSensitivityId, 50)
        .In(kAdvancedDlgTemplateId)
        .SelectTab(kAdvancedDlgTabId, kAdvancedTabGame)
        .In(kGameTabTemplateId)
        .Check(kGameTabLimitId, true)
        .Expect(Keep(limited))
        .SetText(kGameTabMaxOpponentsId, "8")
        // Changed behind the dialogs: the configuration dialog shows it once it reloads.
        .Expect(OnConfig([](CSystemConfig& config) { config.m_AudioEnabled = 0; }))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDOK)
        .Expect([](const ui::View& view) { return view.Find(kAdvancedDlgTemplateId) == nullptr; },
                "the advanced dialog is closed")
        .Expect(
            [&](const ui::View& view) {
                afterOk.Config = ReadDialog(view, kConfigDlgTemplateId);
                const CSystemConfig& config = *theApp.m_Config;
                stored["speakers"] = config.m_AudioSpeakerConfig;
                stored["doppler disabled"] = config.m_AudioDisableDoppler;
                stored["dead zone"] = config.m_InputsDeadZone;
                stored["sensitivity"] = config.m_InputsSensitivity;
                stored["limit"] = config.m_QrMaxOpponents;
                return true;
            },
            "the configuration after OK");
    Run(std::move(CloseAll(script, kConfigDlgSaveId)));

    EXPECT_TRUE(limited.Game[kGameTabMaxOpponentsId].OnScreen);
    EXPECT_EQ(limited.Game[kGameTabMaxOpponentsLabelId].Text, "Nombre maximal");
    const std::map<std::string, f64> expected = {{"speakers", 10},
                                                 {"doppler disabled", 0},
                                                 {"dead zone", f64(25 * 0.01f)},
                                                 {"sensitivity", f64(2.5f)},
                                                 {"limit", 8}};
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(f32(stored["dead zone"]), PositionToDeadZone(25));
    // The configuration dialog reloaded: its audio check shows the change made behind it.
    EXPECT_FALSE(afterOk.Config[kConfigDlgAudioId].Checked);
    EXPECT_EQ(LinesStarting("close 135"), std::vector<std::string>{"close 135 -> IDOK"});

    // Saved by the configuration dialog: the file holds the same values.
    CSystemConfig* saved = ReadConfig();
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_AudioSpeakerConfig, 10u);
    EXPECT_EQ(saved->m_AudioDisableDoppler, 0u);
    EXPECT_EQ(saved->m_InputsDeadZone, PositionToDeadZone(25));
    EXPECT_EQ(saved->m_InputsSensitivity, 2.5f);
    EXPECT_EQ(saved->m_QrMaxOpponents, 8u);
    EXPECT_EQ(saved->m_AudioEnabled, 0u);
    saved->Release();
}

// Cancel saves none of the pages' edits, but what a page's Reset did stays; Escape inside a page
// closes nothing.
TEST_F(AdvancedFlow, CancelKeepsWhatResetsDid) {
    WriteConfig([](CSystemConfig& config) {
        config.m_AudioSpeakerConfig = 3;
        config.m_AudioUseEAX = 1;
        config.m_InputsDeadZone = 0.5f;
        config.m_IsIgnorePlayerSkins = 1;
        config.m_IsSkipRollingDemo = 1;
        config.m_QrCarQuality = 1;
        config.m_QrOpponents = 0;
    });
    SAdvancedShown reset;
    std::vector<u32> before;
    std::vector<u32> after;
    f32 deadZone = 0;
    ui::Script script = Open();
    script.In(kAdvancedDlgTemplateId)
        .SelectTab(kAdvancedDlgTabId, kAdvancedTabAudio)
        .In(kAudioTabTemplateId)
        .Select(kAudioTabSpeakersId, 0)
        .Check(kAudioTabEaxId, false)
        .Key(ui::Key::Escape)
        .In(kAdvancedDlgTemplateId)
        .SelectTab(kAdvancedDlgTabId, kAdvancedTabInputs)
        .In(kInputsTabTemplateId)
        .SetSlider(kInputsTabDeadZoneId, 70)
        .Key(ui::Key::Escape)
        .Expect(OnConfig([&](CSystemConfig& config) {
            before = {config.m_IsIgnorePlayerSkins, config.m_IsSkipRollingDemo,
                      config.m_QrCarQuality,        config.m_QrOpponents,
                      config.m_QrCarSmoke,          config.m_QrCarProjector,
                      config.m_QrOpponentShadows,   config.m_QrMaxOpponents};
        }))
        .In(kAdvancedDlgTemplateId)
        .SelectTab(kAdvancedDlgTabId, kAdvancedTabGame)
        .In(kGameTabTemplateId)
        .Click(kAdvancedPageResetId)
        .Expect(Keep(reset))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDCANCEL)
        .Expect(OnConfig([&](CSystemConfig& config) {
            after = {config.m_IsIgnorePlayerSkins, config.m_IsSkipRollingDemo,
                     config.m_QrCarQuality,        config.m_QrOpponents,
                     config.m_QrCarSmoke,          config.m_QrCarProjector,
                     config.m_QrOpponentShadows,   config.m_QrMaxOpponents,
                     config.m_AudioSpeakerConfig,  config.m_AudioUseEAX};
            deadZone = config.m_InputsDeadZone;
        }));
    Run(std::move(CloseAll(script)));

    // Loaded with the car preset of level 3 over the file's own values.
    EXPECT_EQ(before, (std::vector<u32>{1, 1, 1, 0, 1, 1, 1, 16}));
    // The game group's defaults and the preset; the audio and inputs edits were not saved.
    EXPECT_EQ(after, (std::vector<u32>{0, 0, 0, 1, 1, 1, 1, 16, 3, 1}));
    EXPECT_EQ(deadZone, 0.5f);
    // The page shows the reset values, the limit of the preset with its number.
    EXPECT_FALSE(reset.Game[kGameTabIgnoreSkinsId].Checked);
    EXPECT_TRUE(reset.Game[kGameTabLimitId].Checked);
    EXPECT_TRUE(reset.Game[kGameTabMaxOpponentsId].OnScreen);
    EXPECT_EQ(reset.Game[kGameTabMaxOpponentsId].Text, "16");
    EXPECT_EQ(reset.Game[kGameTabMaxOpponentsLabelId].Text, "Nombre maximal");
    // Escape reached the pages and closed nothing.
    EXPECT_TRUE(HasLine("> key 134 Escape"));
    EXPECT_TRUE(HasLine("> key 142 Escape"));
    EXPECT_EQ(LinesStarting("close 135"), std::vector<std::string>{"close 135 -> IDCANCEL"});
}

// The dialog's Reset resets the whole configuration, the language from the registry included,
// and the configuration dialog behind shows it at once.
TEST_F(AdvancedFlow, ResetToDefaults) {
    WriteConfig([](CSystemConfig& config) {
        config.m_AudioEnabled = 0;
        config.m_AudioSpeakerConfig = 3;
        config.m_InputsDeadZone = 0.5f;
        config.m_NetworkServerPort = 1234;
    });
    SAdvancedShown opened;
    SAdvancedShown reset;
    std::vector<std::string> mainTexts;
    ui::Script script = Open();
    script.Expect(Keep(opened))
        .In(kAdvancedDlgTemplateId)
        .Click(kAdvancedDlgResetId)
        .Expect(Keep(reset))
        .Expect(
            [&](const ui::View& view) {
                for (u32 id : {1u, kMainDlgConfigureId, kMainDlgHelpId})
                    mainTexts.push_back(view.Item(kMainDlgTemplateId, id)->GetText());
                return true;
            },
            "the main dialog's texts")
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDOK);
    Run(std::move(CloseAll(script, kConfigDlgSaveId)));

    EXPECT_EQ(opened.Config.Selected(kConfigDlgLanguageId), "Fran\xc3\xa7"
                                                            "ais");
    EXPECT_FALSE(opened.Config[kConfigDlgAudioId].Checked);
    EXPECT_EQ(opened.Audio.Selected(kAudioTabSpeakersId), "St\xc3\xa9r\xc3\xa9o minimale");
    // The pages show the defaults.
    EXPECT_EQ(reset.Audio.Selected(kAudioTabSpeakersId), "St\xc3\xa9r\xc3\xa9o large");
    EXPECT_EQ(reset.Inputs[kInputsTabDeadZoneId].Position, 10);
    // The configuration dialog and the main dialog behind it, in English.
    EXPECT_EQ(reset.Config.Selected(kConfigDlgLanguageId), "English");
    EXPECT_EQ(reset.Config.Caption, "Configuration");
    EXPECT_EQ(reset.Config[kConfigDlgLanguageLabelId].Text, "Language");
    EXPECT_TRUE(reset.Config[kConfigDlgAudioId].Checked);
    EXPECT_EQ(mainTexts, (std::vector<std::string>{"Play", "Configure", "Help"}));

    CSystemConfig* saved = ReadConfig();
    ASSERT_NE(saved, nullptr);
    EXPECT_STREQ(saved->m_LanguageCode.GetText(), "en");
    EXPECT_EQ(saved->m_AudioEnabled, 1u);
    EXPECT_EQ(saved->m_AudioSpeakerConfig, 5u);
    // OK stored the slider's position 10 of the default 0.1, as position x 0.01.
    EXPECT_EQ(saved->m_InputsDeadZone, PositionToDeadZone(10));
    EXPECT_EQ(saved->m_NetworkServerPort, 2350u);
    saved->Release();
}

// A number the data exchange refuses: OK saves nothing and keeps the dialog open on the page
// holding the field, with the refusal shown once; Enter in the page, once the number is right,
// is OK.
TEST_F(AdvancedFlow, RefusedNumberSavesNothing) {
    WriteConfig(CustomisedConfig);
    std::string bytesBefore;
    std::string bytesAfter;
    SAdvancedShown refused;
    u32 limit = 0;
    ui::Script script = Open();
    script.In(kAdvancedDlgTemplateId)
        .SelectTab(kAdvancedDlgTabId, kAdvancedTabGame)
        .In(kGameTabTemplateId)
        .Check(kGameTabLimitId, true)
        .SetText(kGameTabMaxOpponentsId, "abc")
        .In(kAdvancedDlgTemplateId)
        .SelectTab(kAdvancedDlgTabId, kAdvancedTabAudio)
        .In(kAudioTabTemplateId)
        .Select(kAudioTabSpeakersId, 1)
        .Expect(
            OnConfig([&](CSystemConfig& config) { bytesBefore = CConfigBodyFile::Body(config); }))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDOK)
        .Answer(ui::IDOK, {}, Exactly("Veuillez entrer un nombre entier."))
        .Expect(Keep(refused))
        .Expect(
            OnConfig([&](CSystemConfig& config) { bytesAfter = CConfigBodyFile::Body(config); }))
        .In(kGameTabTemplateId)
        .SetText(kGameTabMaxOpponentsId, "12")
        .Key(ui::Key::Enter)
        .Expect(OnConfig([&](CSystemConfig& config) { limit = config.m_QrMaxOpponents; }));
    Run(std::move(CloseAll(script)));

    EXPECT_EQ(refused.Dialog[kAdvancedDlgTabId].Selection, kAdvancedTabGame);
    EXPECT_EQ(refused.PagesShown(), std::vector<u32>{kGameTabTemplateId});
    EXPECT_TRUE(refused.Game[kGameTabMaxOpponentsId].OnScreen);
    EXPECT_TRUE(refused.Game[kGameTabMaxOpponentsId].Focused);
    EXPECT_FALSE(bytesBefore.empty());
    EXPECT_EQ(bytesAfter, bytesBefore);
    EXPECT_EQ(LinesStarting("refuse "), std::vector<std::string>{"refuse 141/1112 \"abc\""});
    EXPECT_EQ(LinesStarting("box ").size(), 2u) << m_Ui.TranscriptText(); // the box and its end
    // Enter in the page ended the dialog with OK, which saved the pages.
    EXPECT_EQ(LinesStarting("close 135"), std::vector<std::string>{"close 135 -> IDOK"});
    EXPECT_EQ(limit, 12u);
}

} // namespace
