#include "launcher/ConfigDlg.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwMemberInfo.h"
#include "launcher/MainDlg.h"
#include "tests/launcher/ConfigBodyFile.h"
#include "tests/launcher/LauncherTestSupport.h"

#include <cmath>
#include <limits>
#include <map>
#include <sstream>

namespace {

using ui::Contains;
using ui::Exactly;

// ------------------------------------------------------------------------------------------------
// The rules without a dialog

TEST(ConfigDlgRules, RatioRows) {
    struct Case {
        u32 Width;
        u32 Height;
        u32 Row;
        u32 DesktopRow;
    };
    const Case cases[] = {
        {1280, 1024, 0, 1},   {1280, 720, 2, 2},      {1024, 768, 1, 1},      {640, 480, 1, 1},
        {1920, 1080, 2, 2},   {1600, 1200, 1, 1},     {720, 576, 0, 1},       {40001, 30001, 0, 1},
        {80001, 60001, 1, 1}, {40004, 30001, 2, 2},   {1280, 0, 1, 1},        {0, 0, 1, 1},
        {0, 480, 0, 1},       {4294967295u, 1, 2, 2}, {1, 4294967295u, 0, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayRatioRow(c.Width, c.Height), c.Row) << c.Width << "x" << c.Height;
        EXPECT_EQ(DesktopRatioRow(c.Width, c.Height), c.DesktopRow) << c.Width << "x" << c.Height;
    }
}

// Python's exact fractions against the 32-bit limits give the row of every size of a grid and of
// the sizes around both limits; the rule must agree on each.
TEST(ConfigDlgRules, RatioRowsAgreeWithExactFractions) {
    const std::string script = R"(
import math, struct
from fractions import Fraction
def f32(x):
    return Fraction(struct.unpack('<f', struct.pack('<f', x))[0])
centre = f32(4.0 / 3.0)
assert float(centre) == 1.3333333730697632
low, high = centre - f32(1e-5), centre + f32(1e-5)
sizes = [(w, h) for w in range(640, 2561, 8) for h in range(480, 1601, 8)]
for h in list(range(29990, 30010)) + list(range(60000, 60004)) + [480, 768, 1200]:
    for limit in (low, high):
        middle = limit * h
        for w in range(math.floor(middle) - 2, math.ceil(middle) + 3):
            sizes.append((w, h))
sizes += [(40001, 30001), (80001, 60001)]
for w, h in sizes:
    r = Fraction(w, h)
    print(w, h, 0 if r < low else 2 if r > high else 1)
)";
    CTempFolder folder;
    std::istringstream lines(RunPython(folder, script, ""));
    u32 width = 0;
    u32 height = 0;
    u32 row = 0;
    u32 checked = 0;
    u32 rows[3] = {};
    while (lines >> width >> height >> row) {
        ++checked;
        ++rows[row];
        ASSERT_EQ(DisplayRatioRow(width, height), row) << width << "x" << height;
    }
    EXPECT_GT(checked, 34000u);
    // Every row is reached, and the near-limit sizes fall on both sides of each limit.
    EXPECT_GT(rows[0], 1000u);
    EXPECT_GT(rows[1], 50u);
    EXPECT_GT(rows[2], 1000u);
}

using Sizes = std::vector<std::string>;

Sizes Row(const CFastBuffer<SystemDisplaySize>& row) {
    Sizes out;
    for (u32 i = 0; i < row.m_Count; ++i)
        out.push_back(std::to_string(row.m_Items[i].Width) + "x" +
                      std::to_string(row.m_Items[i].Height));
    return out;
}

TEST(ConfigDlgRules, ModesCollapseIntoRatioRows) {
    struct Case {
        const char* Name;
        std::vector<SystemDisplaySize> Modes;
        Sizes Rows[3];
    };
    const Case cases[] = {
        {"refresh variants together, small modes dropped",
         {{320, 240},
          {640, 480},
          {640, 480},
          {800, 600},
          {800, 600},
          {1024, 768},
          {1280, 720},
          {1280, 960},
          {1280, 1024},
          {1280, 1024}},
         {{"1280x1024"}, {"640x480", "800x600", "1024x768", "1280x960"}, {"1280x720"}}},
        {"sorted by width, equal widths in arrival order",
         {{1920, 1080}, {1280, 1024}, {800, 600}, {1280, 1000}, {1600, 1200}, {1280, 960}},
         {{"1280x1024", "1280x1000"}, {"800x600", "1280x960", "1600x1200"}, {"1920x1080"}}},
        {"at least 640 x 480 each way",
         {{639, 480}, {640, 479}, {1024, 400}, {640, 480}},
         {{}, {"640x480"}, {}}},
        // Only the entry just before a size's place is compared: the adapter lists its modes
        // sorted, so that this never happens there.
        {"a size returning after another of its width stays",
         {{1280, 1024}, {1280, 1000}, {1280, 1024}},
         {{"1280x1024", "1280x1000", "1280x1024"}, {}, {}}},
        {"nothing", {}, {{}, {}, {}}},
    };
    DisplayRatioRows rows = {};
    for (const Case& c : cases) {
        // Filled twice: the rows are emptied first.
        for (int pass = 0; pass < 2; ++pass) {
            CollapseDisplayModes(c.Modes, rows);
            for (u32 i = 0; i < kDisplayRatioRowCount; ++i)
                EXPECT_EQ(Row(rows[i]), c.Rows[i]) << c.Name << ", row " << i;
        }
    }
    for (CFastBuffer<SystemDisplaySize>& row : rows)
        row.FreeItems();
}

TEST(ConfigDlgRules, VolumePositions) {
    struct Case {
        f32 Volume;
        i32 Position;
    };
    const Case cases[] = {
        {0.755f, 75},
        {0.1f, 10},
        {0.099999994f, 10},
        {0.0f, 0},
        {1.0f, 100},
        {1.7f, 100},
        {-0.2f, 0},
        {1e30f, 100},
        {-1e30f, 0},
        {std::numeric_limits<f32>::infinity(), 100},
        {std::numeric_limits<f32>::quiet_NaN(), 0},
        {-std::numeric_limits<f32>::quiet_NaN(), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VolumeToPosition(c.Volume), c.Position) << c.Volume;
    EXPECT_EQ(PositionToVolume(75), 0.75f);
    EXPECT_EQ(PositionToVolume(10), 0.099999994f);
    // Every position saved shows again as itself.
    for (i32 position = 0; position <= 100; ++position)
        EXPECT_EQ(VolumeToPosition(PositionToVolume(position)), position) << position;
}

// Runs a function on the list of a dialog of its own while that dialog opens.
constexpr u32 kProbeTemplateId = 9133;
constexpr u32 kProbeListId = 1;
constexpr ui::ControlTemplate kProbeControls[] = {
    {kProbeListId, ui::ControlKind::ComboList, 5, 5, 100, 60}};
constexpr ui::DialogTemplate kProbeTemplate = {
    kProbeTemplateId, 120, 40, ui::StylePopup | ui::StyleCaption, "Probe", kProbeControls};

class CListProbe : public ui::Dialog {
public:
    explicit CListProbe(std::function<void(ui::Control&)> run)
        : ui::Dialog(kProbeTemplateId), m_Run(std::move(run)) {}

protected:
    bool OnInitDialog() override {
        m_Run(Item(kProbeListId));
        EndDialog(ui::IDCANCEL);
        return true;
    }

private:
    std::function<void(ui::Control&)> m_Run;
};

class FillTranslatedList : public HeadlessUiTest {
protected:
    FillTranslatedList() {
        ui::RegisterTemplate(kProbeTemplate);
        const std::string mo = m_Folder.File("fr.mo");
        RunCommand("msgfmt --check -o " + mo + " " + ENGINE_TEST_SOURCE_DIR +
                   "/tests/launcher/data/fr.po");
        const std::string bytes = ReadWholeFile(mo);
        CClassicBufferMemory stream;
        stream.Write(bytes.data(), u32(bytes.size()));
        stream.Rewind();
        CClassicString error;
        EXPECT_TRUE(g_ClassicTranslator.LoadMo("fr", &stream, error)) << error.GetText();
    }
    ~FillTranslatedList() override { g_ClassicTranslator.Unload(); }

    CTempFolder m_Folder;
};

TEST_F(FillTranslatedList, NamesMaskAndSelection) {
    // 34 values, so that bits wrap: value 33 reads bit 1.
    std::vector<std::string> names;
    for (int i = 0; i < 34; ++i)
        names.push_back("|Test|V" + std::to_string(i));
    names[2] = "Caf\xe9"; // one character per byte: U+00E9
    names[3] = "|GfxAuto|Nicer";
    std::vector<const char*> pointers;
    for (const std::string& name : names)
        pointers.push_back(name.c_str());
    CMwMemberInfoEnum wide = {};
    wide.TypeCode = MwType_Enum;
    wide.EnumCount = u32(pointers.size());
    wide.EnumNames = pointers.data();

    struct Case {
        const char* Name;
        const CMwMemberInfoEnum* Member;
        u32 Mask;
        i32 EntriesBefore; // entries "x" in the list before, with this selection
        i32 SelectionBefore;
        std::map<i32, std::string> Entries; // some entries after
        i32 Count;
        i32 Selection;
    };
    const CMwMemberInfoEnum& scale = AutoScaleMemberInfo();
    const CMwMemberInfoEnum& connection = NetworkConnectionMemberInfo();
    const Case cases[] = {
        {"translated names",
         &scale,
         0xFFFFFFFF,
         0,
         -1,
         {{0, "Plus rapide"}, {1, "Normal"}, {2, "Plus beau"}},
         3,
         -1},
        {"a value not available",
         &scale,
         0x5,
         0,
         -1,
         {{0, "Plus rapide"}, {1, "Normal (N/A)"}},
         3,
         -1},
        {"nothing available",
         &scale,
         0,
         0,
         -1,
         {{0, "Plus rapide (N/A)"}, {2, "Plus beau (N/A)"}},
         3,
         -1},
        {"the selection kept", &scale, 0xFFFFFFFF, 19, 2, {{2, "Plus beau"}}, 3, 2},
        {"a selection past the values dropped", &scale, 0xFFFFFFFF, 19, 3, {}, 3, -1},
        {"no selection stays none", &connection, 0xFFFFFFFF, 3, -1, {}, 19, -1},
        {"every connection",
         &connection,
         0xFFFFFFFF,
         19,
         18,
         {{0, "Modem 33,6 K"}, {18, "R\xc3\xa9seau local"}},
         19,
         18},
        {"mask bits wrap past 32",
         &wide,
         0x2,
         0,
         -1,
         {{0, "V0 (N/A)"},
          {1, "V1"},
          {2, "Caf\xc3\xa9 (N/A)"},
          {3, "Plus beau (N/A)"},
          {32, "V32 (N/A)"},
          {33, "V33"}},
         34,
         -1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> entries;
        i32 selection = -2;
        CListProbe probe([&](ui::Control& list) {
            for (i32 i = 0; i < c.EntriesBefore; ++i)
                list.AddString("x");
            list.SetCurSel(c.SelectionBefore);
            FillTranslatedComboBox(*c.Member, list, c.Mask);
            for (i32 i = 0; i < list.GetCount(); ++i)
                entries.push_back(list.GetItemText(i));
            selection = list.GetCurSel();
        });
        EXPECT_EQ(probe.DoModal(), ui::IDCANCEL);
        ASSERT_EQ(i32(entries.size()), c.Count) << c.Name;
        for (const auto& [index, text] : c.Entries)
            EXPECT_EQ(entries[size_t(index)], text) << c.Name << ", entry " << index;
        EXPECT_EQ(selection, c.Selection) << c.Name;
    }
}

TEST(ConfigDlgRules, ValueNamesAreTheMemberRecords) {
    const CMwMemberInfoEnum& scale = AutoScaleMemberInfo();
    ASSERT_EQ(scale.TypeCode, u32(MwType_Enum));
    EXPECT_STREQ(scale.Name, "AutoScale");
    ASSERT_EQ(scale.EnumCount, 3u);
    EXPECT_STREQ(scale.EnumNames[0], "|GfxAuto|Faster");
    EXPECT_STREQ(scale.EnumNames[2], "|GfxAuto|Nicer");
    const CMwMemberInfoEnum& connection = NetworkConnectionMemberInfo();
    ASSERT_EQ(connection.TypeCode, u32(MwType_Enum));
    EXPECT_STREQ(connection.Name, "NetworkConnection");
    ASSERT_EQ(connection.EnumCount, 19u);
    EXPECT_STREQ(connection.EnumNames[0], "|Connection|Modem336");
    EXPECT_STREQ(connection.EnumNames[18], "|Connection|LAN");
}

// ------------------------------------------------------------------------------------------------
// Flows of a whole launcher run

// What the configuration dialog shows of one control.
struct SShown {
    std::string Text;
    std::vector<std::string> Entries;
    i32 Selection = -1;
    bool Enabled = false;
    bool Visible = false;
    bool Checked = false;
    i32 Position = 0;
};

// What the configuration dialog and the main dialog behind it show.
struct SScreen {
    std::string Caption;
    std::map<u32, SShown> Controls;
    std::vector<std::string> MainTexts; // Play, Configure, Help, Update, Exit

    const SShown& operator[](u32 id) const { return Controls.at(id); }
    std::string Selected(u32 id) const {
        const SShown& list = Controls.at(id);
        return list.Selection >= 0 ? list.Entries[size_t(list.Selection)] : std::string("(none)");
    }
};

SScreen Read(const ui::View& view) {
    SScreen screen;
    const ui::Dialog* dialog = view.Find(kConfigDlgTemplateId);
    if (!dialog)
        return screen;
    screen.Caption = dialog->GetWindowText();
    for (const ui::Control& control : dialog->Controls()) {
        SShown& shown = screen.Controls[control.Id()];
        shown.Text = control.GetText();
        for (i32 i = 0; control.Kind() == ui::ControlKind::ComboList && i < control.GetCount(); ++i)
            shown.Entries.push_back(control.GetItemText(i));
        shown.Selection = control.GetCurSel();
        shown.Enabled = control.IsEnabled();
        shown.Visible = control.IsVisible();
        shown.Checked = control.GetCheck();
        shown.Position = control.GetPos();
    }
    for (u32 id : {1u, 1027u, 1029u, 1028u, 2u})
        screen.MainTexts.push_back(view.Item(kMainDlgTemplateId, id)->GetText());
    return screen;
}

// An Expect step that keeps what is shown.
ui::Predicate Keep(SScreen& screen) {
    return [&screen](const ui::View& view) {
        screen = Read(view);
        return view.Find(kConfigDlgTemplateId) != nullptr;
    };
}

// An Expect step that runs a function on theApp's configuration.
ui::Predicate OnConfig(std::function<void(CSystemConfig&)> run) {
    return [run = std::move(run)](const ui::View&) {
        run(*theApp.m_Config);
        return true;
    };
}

// The lines written to the log while it lives.
class CLogWatch {
public:
    CLogWatch() : m_Old(g_ClassicLog.m_SecondFileSink) {
        g_ClassicLog.m_SecondFileSink = &m_Lines;
        ++g_ClassicLog.m_SecondFileEnableCount;
    }
    ~CLogWatch() {
        --g_ClassicLog.m_SecondFileEnableCount;
        g_ClassicLog.m_SecondFileSink = m_Old;
    }
    CLogWatch(const CLogWatch&) = delete;
    CLogWatch& operator=(const CLogWatch&) = delete;

    std::string Text() const { return m_Lines.str(); }

private:
    std::ostringstream m_Lines;
    std::ostream* m_Old;
};

using Modes = std::vector<SystemDisplaySize>;

// The fake adapter with a desktop and the same modes in 32 and 16 bits (r5: other 16-bit modes).
platform::Adapter ConfigAdapter(platform::DisplayMode desktop, const Modes& modes,
                                const std::optional<Modes>& r5 = std::nullopt) {
    platform::Adapter adapter = LauncherAdapter();
    adapter.Desktop = desktop;
    adapter.Modes.clear();
    for (const SystemDisplaySize& size : modes)
        adapter.Modes.push_back({size.Width, size.Height, 60, platform::D3dFormat::X8R8G8B8});
    for (const SystemDisplaySize& size : r5.value_or(modes))
        adapter.Modes.push_back({size.Width, size.Height, 60, platform::D3dFormat::R5G6B5});
    return adapter;
}

constexpr platform::DisplayMode kDesktop = {1280, 1024, 60, platform::D3dFormat::X8R8G8B8};

// The modes of the main fixture: refresh-rate variants, a mode too small, a size of each ratio.
platform::Adapter FixtureAdapter() {
    platform::Adapter adapter = LauncherAdapter();
    adapter.Desktop = kDesktop;
    adapter.Modes.clear();
    const platform::DisplayMode modes[] = {
        {640, 480, 60},  {640, 480, 75},  {800, 600, 60},   {800, 600, 75},   {1024, 768, 60},
        {1280, 720, 60}, {1280, 960, 60}, {1280, 1024, 60}, {1280, 1024, 75}, {320, 240, 60},
    };
    for (platform::D3dFormat format : {platform::D3dFormat::X8R8G8B8, platform::D3dFormat::R5G6B5})
        for (platform::DisplayMode mode : modes) {
            mode.Format = format;
            adapter.Modes.push_back(mode);
        }
    return adapter;
}

class ConfigFlow : public CLauncherFixture {
protected:
    ConfigFlow() {
        m_Options.ConfigFileOps = &m_File;
        // The adapter's row, with a geometry score of 120.
        WriteWholeFile(m_Install.File("GameData/GfxDevicePerfs.txt"),
                       "1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 "
                       "PTexD11 PArith20\r\n5A5A 0101 120 400 380 340 280 220 300 420 260\r\n");
        for (const char* code : {"de", "en", "fr"}) {
            const std::string mo =
                m_Install.File(std::string("GameData/Translations/") + code + ".mo");
            RunCommand(std::string("msgfmt --check -o ") + mo + " " + ENGINE_TEST_SOURCE_DIR +
                       "/tests/launcher/data/" + code + ".po");
        }
        // A German catalogue cut short: refused when loaded.
        std::filesystem::resize_file(m_Install.File("GameData/Translations/de.mo"), 27);
    }

    // Writes the configuration file: the defaults in French, full screen at 1280 x 1024, then
    // the test's changes.
    void WriteConfig(const std::function<void(CSystemConfig&)>& edit = {}) const {
        auto* config = new CSystemConfig;
        config->AddRef();
        config->m_LanguageCode.Assign("fr");
        config->m_Display->m_Size = {1280, 1024};
        config->m_Display->m_FullScreen = 1;
        if (edit)
            edit(*config);
        WriteWholeFile(ConfigFile(), CConfigBodyFile::Body(*config));
        config->Release();
    }

    // The configuration file as it is now; null when it does not read.
    CSystemConfig* ReadConfig() const { return CConfigBodyFile::Read(ReadWholeFile(ConfigFile())); }

    // Opens the configuration dialog from the main dialog.
    static ui::Script Open() {
        return ui::Script().In(kMainDlgTemplateId).Click(kMainDlgConfigureId);
    }
    // Opens the configuration dialog, keeps what it shows, saves and exits.
    static ui::Script ShowAndSave(SScreen& shown) {
        return Open()
            .Expect(Keep(shown))
            .In(kConfigDlgTemplateId)
            .Click(kConfigDlgSaveId)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL);
    }

    CConfigBodyFile m_File;
    CFakeAdapter m_ModeSource{FixtureAdapter()};
};

const std::vector<std::string> kFrenchMain = {"Jouer", "Configurer", "Aide", "Mise \xc3\xa0 jour",
                                              "Quitter"};

TEST_F(ConfigFlow, OpensWithTheCatalogueNamesTheAdapterSizesAndTheConfiguration) {
    WriteConfig([](CSystemConfig& config) {
        config.m_AudioSoundVolume = 0.755f;
        config.m_AudioMusicVolume = 0.5f;
        config.m_Display->m_AutoScale = 2;
        config.m_NetworkConnection = 18;
        config.m_Display->m_WindowedSizeIndex = 1;
    });
    SScreen shown;
    CConfigDlg* open = nullptr;
    u32 suspended = 1;
    std::string logOpen;
    std::string refusal;
    CLogWatch log;
    Run(Open()
            .Expect(Keep(shown))
            .Expect(
                [&](const ui::View&) {
                    open = theApp.m_ConfigDlg;
                    suspended = g_ClassicLog.m_SuspendCount;
                    logOpen = log.Text();
                    return true;
                },
                "the dialog is open")
            .In(kConfigDlgTemplateId)
            .Click(ui::IDCANCEL)
            .Expect([](const ui::View&) { return theApp.m_ConfigDlg == nullptr; },
                    "the pointer is cleared")
            .Expect(
                [&](const ui::View&) {
                    // The refused catalogue, loaded while the log listens.
                    const size_t before = log.Text().size();
                    GetSystemEngine()->LoadTranslation("de");
                    refusal = log.Text().substr(before);
                    return true;
                },
                "a refused catalogue logs")
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));

    EXPECT_EQ(shown[kConfigDlgLanguageId].Entries, (std::vector<std::string>{"<error>", "English",
                                                                             "Fran\xc3\xa7"
                                                                             "ais"}));
    EXPECT_EQ(shown[kConfigDlgLanguageId].Selection, 2);
    EXPECT_EQ(shown[kConfigDlgRatioId].Entries,
              (std::vector<std::string>{"< 4:3", "4:3", "> 4:3 (plus large)"}));
    EXPECT_EQ(shown[kConfigDlgRatioId].Selection, 0);
    EXPECT_EQ(shown[kConfigDlgFullScreenListId].Entries, (std::vector<std::string>{"1280x1024"}));
    EXPECT_EQ(shown.Selected(kConfigDlgFullScreenListId), "1280x1024");
    EXPECT_EQ(shown[kConfigDlgWindowedListId].Entries,
              (std::vector<std::string>{"640x480", "800x600", "1024x768", "1280x960"}));
    EXPECT_EQ(shown[kConfigDlgWindowedListId].Selection, 1);
    // Full screen: the ratio and its sizes show, the windowed sizes do not.
    EXPECT_TRUE(shown[kConfigDlgFullScreenId].Checked);
    EXPECT_TRUE(shown[kConfigDlgRatioId].Visible);
    EXPECT_TRUE(shown[kConfigDlgFullScreenListId].Visible);
    EXPECT_FALSE(shown[kConfigDlgWindowedListId].Visible);
    EXPECT_EQ(shown[kConfigDlgAutoScaleId].Entries,
              (std::vector<std::string>{"Plus rapide", "Normal", "Plus beau"}));
    EXPECT_EQ(shown[kConfigDlgAutoScaleId].Selection, 2);
    EXPECT_TRUE(shown[kConfigDlgAutoScaleId].Visible);
    EXPECT_EQ(shown[kConfigDlgConnectionId].Entries.size(), 19u);
    EXPECT_EQ(shown.Selected(kConfigDlgConnectionId), "R\xc3\xa9seau local");
    EXPECT_EQ(shown[kConfigDlgSoundId].Position, 75);
    EXPECT_EQ(shown[kConfigDlgMusicId].Position, 50);
    EXPECT_TRUE(shown[kConfigDlgAudioId].Checked);
    EXPECT_FALSE(shown[kConfigDlgSafeModeId].Checked);
    EXPECT_TRUE(shown[kConfigDlgBenchId].Enabled);

    EXPECT_EQ(shown.Caption, "Configuration");
    const std::map<u32, std::string> texts = {
        {kConfigDlgLanguageLabelId, "Langue"},
        {kConfigDlgFullScreenLabelId, "Plein \xc3\xa9"
                                      "cran"},
        {kConfigDlgResolutionLabelId, "R\xc3\xa9solution plein \xc3\xa9"
                                      "cran"},
        {kConfigDlgRatioLabelId, "Format d'\xc3\xa9"
                                 "cran"},
        {kConfigDlgQualityLabelId, "Performance / Qualit\xc3\xa9"},
        {kConfigDlgAudioLabelId, "Son activ\xc3\xa9"},
        {kConfigDlgSoundLabelId, "Volume des sons"},
        {kConfigDlgMusicLabelId, "Volume musique"},
        {kConfigDlgConnectionLabelId, "Connexion"},
        {kConfigDlgFastLoadLabelId, "Chargement rapide"},
        {kConfigDlgSafeModeLabelId, "Mode sans \xc3\xa9"
                                    "chec"},
        {kConfigDlgSafeModeId, "Mode sans \xc3\xa9"
                               "chec"},
        {kConfigDlgSaveId, "Enregistrer"},
        {ui::IDCANCEL, "Annuler"},
        {kConfigDlgAdvancedId, "Avanc\xc3\xa9"},
        {kConfigDlgBenchId, "Mesure"},
    };
    for (const auto& [id, text] : texts)
        EXPECT_EQ(shown[id].Text, text) << id;
    EXPECT_EQ(shown.MainTexts, kFrenchMain);

    EXPECT_NE(open, nullptr);
    EXPECT_EQ(suspended, 0u);
    // The refused catalogue says so in the log, but not while the list of names is made.
    ASSERT_FALSE(refusal.empty());
    EXPECT_EQ(logOpen.find(refusal), std::string::npos) << logOpen;
    EXPECT_TRUE(HasLine("open 137 owner 102")) << m_Ui.TranscriptText();
    EXPECT_TRUE(HasLine("close 137 -> IDCANCEL"));
}

TEST_F(ConfigFlow, EditSaveAndTheDisplayWarnings) {
    WriteConfig([](CSystemConfig& config) { config.m_Display->m_VertexProcess = 2; });
    SScreen fourThirds;
    SScreen reopened;
    SystemDisplaySize savedSize = {};
    f32 savedMusic = 0;
    const std::string tnl = "You chose to force software TnL";
    Run(Open()
            .In(kConfigDlgTemplateId)
            .Select(kConfigDlgRatioId, 1)
            .Expect(Keep(fourThirds))
            .Select(kConfigDlgFullScreenListId, 2)
            .SetSlider(kConfigDlgMusicId, 10)
            .Click(kConfigDlgSaveId)
            .Answer(ui::IDCANCEL, Exactly("Warning"), Contains(tnl))
            .Expect(
                [&](const ui::View& view) {
                    // Still open, and the file already written.
                    CSystemConfig* saved = ReadConfig();
                    if (!saved)
                        return false;
                    savedSize = saved->m_Display->m_Size;
                    savedMusic = saved->m_AudioMusicVolume;
                    saved->Release();
                    return view.Find(kConfigDlgTemplateId) != nullptr;
                },
                "the dialog stays open over its saved file")
            .In(kConfigDlgTemplateId)
            .Click(kConfigDlgSaveId)
            .Answer(ui::IDOK, Exactly("Warning"), Contains(tnl))
            .In(kMainDlgTemplateId)
            .Click(kMainDlgConfigureId)
            .Expect(Keep(reopened))
            .In(kConfigDlgTemplateId)
            .Click(ui::IDCANCEL)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));

    EXPECT_EQ(fourThirds[kConfigDlgFullScreenListId].Entries,
              (std::vector<std::string>{"640x480", "800x600", "1024x768", "1280x960"}));
    EXPECT_EQ(fourThirds[kConfigDlgFullScreenListId].Selection, 0);
    EXPECT_EQ(savedSize.Width, 1024u);
    EXPECT_EQ(savedSize.Height, 768u);
    EXPECT_EQ(savedMusic, 0.099999994f);
    EXPECT_EQ(reopened[kConfigDlgMusicId].Position, 10);
    EXPECT_EQ(reopened.Selected(kConfigDlgFullScreenListId), "1024x768");
    EXPECT_EQ(reopened[kConfigDlgRatioId].Selection, 1);
    const std::vector<std::string> closes = {"close 137 -> IDOK", "close 137 -> IDCANCEL"};
    std::vector<std::string> seen;
    for (const std::string& line : Lines())
        if (line.rfind("close 137", 0) == 0)
            seen.push_back(line);
    EXPECT_EQ(seen, closes);
    EXPECT_TRUE(HasLine("box owner 137 \"Warning\" \"" + tnl +
                        " (vertex processing), in the advanced graphic pannel.\\nThis option can "
                        "solve graphic driver or card issues, but it may also affect the game "
                        "performance.\\nTherefore, it is recommended to only use it to fix graphic "
                        "glitches (like odd geometry deformation).\" MB_OKCANCEL OK|Annuler"))
        << m_Ui.TranscriptText();
}

TEST_F(ConfigFlow, SafeModeOnAndOff) {
    WriteConfig([](CSystemConfig& config) { config.m_LanguageCode.Assign("en"); });
    SScreen on;
    SScreen off;
    std::string displayOn;
    std::string displaySaved;
    SystemDisplaySize safeSize = {};
    u32 safeDepth = 9;
    u32 safeModeOff = 9;
    Run(Open()
            .In(kConfigDlgTemplateId)
            .Click(kConfigDlgSafeModeId)
            .Expect(Keep(on))
            .Expect(OnConfig([&](CSystemConfig& config) {
                displayOn = CConfigBodyFile::Body(*config.m_Display);
                safeSize = config.m_DisplaySafe->m_Size;
                safeDepth = config.m_DisplaySafe->m_ColorDepth;
            }))
            .In(kConfigDlgTemplateId)
            .Click(kConfigDlgSaveId)
            // The safe part forces software vertex processing.
            .Answer(ui::IDCANCEL, Exactly("Warning"), Contains("software TnL"))
            .Expect(OnConfig([&](CSystemConfig& config) {
                displaySaved = CConfigBodyFile::Body(*config.m_Display);
            }))
            .In(kConfigDlgTemplateId)
            .Click(kConfigDlgSafeModeId)
            .Expect(Keep(off))
            .Expect(OnConfig([&](CSystemConfig& config) { safeModeOff = config.m_IsSafeMode; }))
            .In(kConfigDlgTemplateId)
            .Click(ui::IDCANCEL)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));

    EXPECT_EQ(safeSize.Width, 800u);
    EXPECT_EQ(safeSize.Height, 600u);
    EXPECT_EQ(safeDepth, 1u);
    EXPECT_TRUE(on[kConfigDlgSafeModeId].Checked);
    for (u32 id : {kConfigDlgFullScreenId, kConfigDlgFullScreenListId, kConfigDlgWindowedListId,
                   kConfigDlgRatioId}) {
        EXPECT_FALSE(on[id].Enabled) << id;
        EXPECT_TRUE(off[id].Enabled) << id;
    }
    // The safe part shows: 800 x 600 in the 4:3 row.
    EXPECT_EQ(on.Selected(kConfigDlgFullScreenListId), "800x600");
    EXPECT_EQ(on[kConfigDlgRatioId].Selection, 1);
    // Nothing was written into the normal part in safe mode.
    EXPECT_FALSE(displayOn.empty());
    EXPECT_EQ(displaySaved, displayOn);
    CSystemConfig* saved = ReadConfig();
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_IsSafeMode, 1u);
    EXPECT_EQ(CConfigBodyFile::Body(*saved->m_Display), displayOn);
    saved->Release();
    // Off again: the normal part shows.
    EXPECT_EQ(safeModeOff, 0u);
    EXPECT_FALSE(off[kConfigDlgSafeModeId].Checked);
    EXPECT_EQ(off.Selected(kConfigDlgFullScreenListId), "1280x1024");
    EXPECT_EQ(off[kConfigDlgRatioId].Selection, 0);
    EXPECT_TRUE(off[kConfigDlgFullScreenId].Checked);
}

TEST_F(ConfigFlow, SafeModeSizeFromTheDesktop) {
    using platform::D3dFormat;
    struct Case {
        const char* Name;
        platform::DisplayMode Desktop;
        Modes R5;
        SystemDisplaySize Size;
        u32 Depth;
        bool Logged;
    };
    const Modes all = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
    const Case cases[] = {
        {"32 bits with 800 x 600", kDesktop, all, {800, 600}, 1, false},
        {"16 bits with 800 x 600", {1280, 1024, 60, D3dFormat::R5G6B5}, all, {800, 600}, 0, false},
        {"16 bits without 800 x 600",
         {1280, 1024, 60, D3dFormat::R5G6B5},
         {{1024, 768}, {1280, 1024}},
         {1280, 1024},
         0,
         false},
        {"a desktop of 800 wide", {800, 600, 60, D3dFormat::X8R8G8B8}, all, {800, 600}, 1, false},
        {"a desktop of 640 x 480", {640, 480, 60, D3dFormat::X8R8G8B8}, all, {640, 480}, 1, false},
        {"no desktop known", {0, 0, 0, D3dFormat::Unknown}, all, {640, 480}, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteConfig();
        CFakeAdapter adapter(ConfigAdapter(c.Desktop, all, c.R5));
        SystemDisplaySize size = {};
        u32 depth = 9;
        CLogWatch log;
        Run(Open()
                .In(kConfigDlgTemplateId)
                .Click(kConfigDlgSafeModeId)
                .Expect(OnConfig([&](CSystemConfig& config) {
                    size = config.m_DisplaySafe->m_Size;
                    depth = config.m_DisplaySafe->m_ColorDepth;
                }))
                .In(kConfigDlgTemplateId)
                .Click(ui::IDCANCEL)
                .In(kMainDlgTemplateId)
                .Click(ui::IDCANCEL));
        EXPECT_EQ(size.Width, c.Size.Width);
        EXPECT_EQ(size.Height, c.Size.Height);
        EXPECT_EQ(depth, c.Depth);
        EXPECT_EQ(log.Text().find("[Launcher] The desktop size is not known: safe mode uses "
                                  "640x480\r\n") != std::string::npos,
                  c.Logged)
            << log.Text();
    }
}

TEST_F(ConfigFlow, LanguageChangeAndQualityLevel) {
    WriteConfig([](CSystemConfig& config) { config.m_NetworkConnection = 5; });
    SScreen french;
    SScreen english;
    u32 opponentsBefore = 0;
    u32 opponentsAfter = 0;
    u32 scaleAfter = 9;
    Run(Open()
            .Expect(Keep(french))
            .Expect(
                OnConfig([&](CSystemConfig& config) { opponentsBefore = config.m_QrMaxOpponents; }))
            .In(kConfigDlgTemplateId)
            .Select(kConfigDlgLanguageId, 1)
            .Expect(Keep(english))
            .Select(kConfigDlgAutoScaleId, 0)
            .Expect(OnConfig([&](CSystemConfig& config) {
                opponentsAfter = config.m_QrMaxOpponents;
                scaleAfter = config.m_Display->m_AutoScale;
            }))
            .In(kConfigDlgTemplateId)
            .Click(ui::IDCANCEL)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));

    EXPECT_EQ(french.MainTexts, kFrenchMain);
    EXPECT_EQ(french[kConfigDlgLanguageLabelId].Text, "Langue");
    EXPECT_EQ(english.MainTexts,
              (std::vector<std::string>{"Play", "Configure", "Help", "Update", "Exit"}));
    EXPECT_EQ(english.Caption, "Configuration");
    EXPECT_EQ(english[kConfigDlgLanguageLabelId].Text, "Language");
    EXPECT_EQ(english[kConfigDlgResolutionLabelId].Text, "Fullscreen Resolution");
    EXPECT_EQ(english[kConfigDlgSaveId].Text, "Save");
    // The lists are translated again and keep their selections.
    EXPECT_EQ(french[kConfigDlgRatioId].Entries,
              (std::vector<std::string>{"< 4:3", "4:3", "> 4:3 (plus large)"}));
    EXPECT_EQ(english[kConfigDlgRatioId].Entries,
              (std::vector<std::string>{"< 4:3", "4:3", "> 4:3 (wider)"}));
    EXPECT_EQ(english[kConfigDlgRatioId].Selection, french[kConfigDlgRatioId].Selection);
    EXPECT_EQ(french.Selected(kConfigDlgAutoScaleId), "Normal");
    EXPECT_EQ(english[kConfigDlgAutoScaleId].Entries,
              (std::vector<std::string>{"Faster", "Normal", "Nicer"}));
    EXPECT_EQ(english[kConfigDlgAutoScaleId].Selection, 1);
    EXPECT_EQ(french.Selected(kConfigDlgConnectionId), "ADSL 1024/256 K");
    EXPECT_EQ(english.Selected(kConfigDlgConnectionId), "DSL1024_256");
    // Picking a level applies the car presets of the level below (a geometry score of 120).
    EXPECT_EQ(opponentsBefore, 16u);
    EXPECT_EQ(scaleAfter, 0u);
    EXPECT_EQ(opponentsAfter, 8u);
}

// The catalogues are all loaded to list their names, the French one last: the ratio names are
// still those of the session's language.
TEST_F(ConfigFlow, RatioNamesInTheSessionsLanguage) {
    WriteConfig([](CSystemConfig& config) { config.m_LanguageCode.Assign("en"); });
    SScreen shown;
    Run(Open()
            .Expect(Keep(shown))
            .In(kConfigDlgTemplateId)
            .Click(ui::IDCANCEL)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));
    EXPECT_EQ(shown[kConfigDlgLanguageId].Selection, 1);
    EXPECT_EQ(shown[kConfigDlgRatioId].Entries,
              (std::vector<std::string>{"< 4:3", "4:3", "> 4:3 (wider)"}));
    EXPECT_EQ(shown[kConfigDlgRatioId].Selection, 0);
}

// A ratio without sizes leaves the list as it is, and the ratio goes back to the row the list
// shows: Save stores the size shown, not the same entry of another row.
TEST_F(ConfigFlow, TheSizeSavedIsTheSizeShown) {
    struct Case {
        const char* Name;
        Modes Listed;
        SystemDisplaySize Configured;
        std::vector<std::pair<u32, i32>> Picks; // list and entry picked before Save
        i32 RatioShown;                         // after the picks
        std::string SizeShown;
    };
    const Case cases[] = {
        {"the demo's modes: 4:3, then the wider ratio",
         {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}},
         {1024, 768},
         {{kConfigDlgRatioId, 2}},
         1,
         "1024x768"},
        {"the wider row, then the narrower ratio",
         {{800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}},
         {1024, 768},
         {{kConfigDlgRatioId, 2}, {kConfigDlgFullScreenListId, 1}, {kConfigDlgRatioId, 0}},
         2,
         "1920x1080"},
        {"an empty row picked with a size past the next row's",
         {{1152, 960}, {1280, 1024}, {1600, 1280}, {1920, 1536}, {1280, 720}, {1920, 1080}},
         {1280, 1024},
         {{kConfigDlgFullScreenListId, 3}, {kConfigDlgRatioId, 1}},
         0,
         "1920x1536"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteConfig([&](CSystemConfig& config) { config.m_Display->m_Size = c.Configured; });
        CFakeAdapter adapter(ConfigAdapter(kDesktop, c.Listed));
        SScreen shown;
        ui::Script script = Open();
        script.In(kConfigDlgTemplateId);
        for (const auto& [id, entry] : c.Picks)
            script.Select(id, entry);
        script.Expect(Keep(shown))
            .In(kConfigDlgTemplateId)
            .Click(kConfigDlgSaveId)
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL);
        Run(std::move(script));
        EXPECT_EQ(shown[kConfigDlgRatioId].Selection, c.RatioShown);
        EXPECT_EQ(shown.Selected(kConfigDlgFullScreenListId), c.SizeShown);
        CSystemConfig* saved = ReadConfig();
        ASSERT_NE(saved, nullptr);
        EXPECT_EQ(std::to_string(saved->m_Display->m_Size.Width) + "x" +
                      std::to_string(saved->m_Display->m_Size.Height),
                  c.SizeShown);
        saved->Release();
    }
}

TEST_F(ConfigFlow, DegenerateModeLists) {
    struct Case {
        const char* Name;
        platform::DisplayMode Desktop;
        Modes Listed;
        SystemDisplaySize Configured;
        i32 RatioShown;
        std::vector<std::string> SizesShown;
        i32 SizeShown;
        SystemDisplaySize Stored;
    };
    const Case cases[] = {
        {"no mode of 640 x 480 or more",
         kDesktop,
         {{320, 240}, {512, 384}},
         {1280, 1024},
         -1,
         {},
         -1,
         {640, 480}},
        {"a 5:4 desktop whose 4:3 row is empty",
         kDesktop,
         {{1280, 1024}},
         {800, 600},
         -1,
         {},
         -1,
         {1280, 1024}},
        {"no ratio picked on a wide desktop",
         {1920, 1080, 60, platform::D3dFormat::X8R8G8B8},
         {{1920, 1080}, {1280, 1024}},
         {800, 600},
         2,
         {"1920x1080"},
         0,
         {1920, 1080}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteConfig([&](CSystemConfig& config) { config.m_Display->m_Size = c.Configured; });
        CFakeAdapter adapter(ConfigAdapter(c.Desktop, c.Listed));
        SScreen shown;
        Run(ShowAndSave(shown));
        EXPECT_EQ(shown[kConfigDlgRatioId].Selection, c.RatioShown);
        EXPECT_EQ(shown[kConfigDlgFullScreenListId].Entries, c.SizesShown);
        EXPECT_EQ(shown[kConfigDlgFullScreenListId].Selection, c.SizeShown);
        CSystemConfig* saved = ReadConfig();
        ASSERT_NE(saved, nullptr);
        EXPECT_EQ(saved->m_Display->m_Size.Width, c.Stored.Width);
        EXPECT_EQ(saved->m_Display->m_Size.Height, c.Stored.Height);
        saved->Release();
        EXPECT_TRUE(HasLine("close 137 -> IDOK")) << m_Ui.TranscriptText();
    }
}

TEST_F(ConfigFlow, StoredValuesOutsideTheListsAreKept) {
    WriteConfig([](CSystemConfig& config) {
        config.m_Display->m_AutoScale = 7;
        config.m_Display->m_WindowedSizeIndex = 9;
        config.m_NetworkConnection = 40;
        config.m_AudioSoundVolume = std::numeric_limits<f32>::quiet_NaN();
        config.m_AudioMusicVolume = 1e30f;
        config.m_Display->m_FullScreen = 0;
    });
    SScreen shown;
    Run(ShowAndSave(shown));
    EXPECT_EQ(shown[kConfigDlgAutoScaleId].Selection, -1);
    EXPECT_EQ(shown[kConfigDlgConnectionId].Selection, -1);
    EXPECT_EQ(shown[kConfigDlgWindowedListId].Selection, -1);
    EXPECT_TRUE(shown[kConfigDlgWindowedListId].Visible);
    EXPECT_FALSE(shown[kConfigDlgFullScreenListId].Visible);
    EXPECT_EQ(shown[kConfigDlgResolutionLabelId].Text, "R\xc3\xa9solution fen\xc3\xaatr\xc3\xa9"
                                                       "e");
    EXPECT_EQ(shown[kConfigDlgRatioLabelId].Text, "");
    EXPECT_EQ(shown[kConfigDlgSoundId].Position, 0);
    EXPECT_EQ(shown[kConfigDlgMusicId].Position, 100);
    CSystemConfig* saved = ReadConfig();
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_Display->m_AutoScale, 7u);
    EXPECT_EQ(saved->m_Display->m_WindowedSizeIndex, 9u);
    EXPECT_EQ(saved->m_NetworkConnection, 40u);
    EXPECT_EQ(saved->m_AudioSoundVolume, 0.0f);
    EXPECT_EQ(saved->m_AudioMusicVolume, 1.0f);
    saved->Release();
}

} // namespace
