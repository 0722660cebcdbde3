// The Display page of the advanced settings dialog: the adapter's limits on its lists, the rules E
// and P, the depth controls, the preview of Customize and the preset on a scratch copy, safe
// mode, the page's Reset and values a damaged file may hold.
#include "launcher/DisplayTabDlg.h"

#include "system/config/GpuInfo.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/launcher/AdvancedDlgTestSupport.h"

namespace {

using ui::Exactly;

// ------------------------------------------------------------------------------------------------
// The rules without a dialog

// Loading shows an entry for every filtering; saving an entry gives its members back, and no
// entry (a damaged anisotropy) changes nothing.
TEST(DisplayTabRules, FilteringEntries) {
    struct Case {
        u32 MaxFiltering;
        u32 AnisoQuality;
        i32 Entry;
    };
    const Case cases[] = {
        {0, 1, 0}, {1, 3, 0},  {2, 0, 1},  {3, 0, 2}, {3, 1, 3},          {3, 2, 4},
        {3, 3, 5}, {3, 4, -1}, {3, 7, -1}, {4, 2, 0}, {0xFFFFFFFF, 0, 0}, {3, 0xFFFFFFFE, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FilteringEntry(c.MaxFiltering, c.AnisoQuality), c.Entry)
            << c.MaxFiltering << " " << c.AnisoQuality;

    struct Saved {
        i32 Entry;
        u32 MaxFiltering;
        u32 AnisoQuality;
    };
    // From MaxFiltering 0 and AnisoQuality 9.
    const Saved saved[] = {{-1, 0, 9}, {0, 1, 9}, {1, 2, 9}, {2, 3, 0},
                           {3, 3, 1},  {4, 3, 2}, {5, 3, 3}, {6, 0, 9}};
    for (const Saved& s : saved) {
        u32 maxFiltering = 0;
        u32 anisoQuality = 9;
        SaveFilteringEntry(s.Entry, maxFiltering, anisoQuality);
        EXPECT_EQ(maxFiltering, s.MaxFiltering) << s.Entry;
        EXPECT_EQ(anisoQuality, s.AnisoQuality) << s.Entry;
        if (s.Entry >= 0 && s.Entry < i32(kFilteringEntryCount)) {
            EXPECT_EQ(FilteringEntry(maxFiltering, anisoQuality), s.Entry);
        }
    }
}

// ------------------------------------------------------------------------------------------------
// Flows of a whole launcher run

class DisplayPageFlow : public AdvancedFlow {
protected:
    // The configuration's bytes, kept by an Expect step.
    static ui::Predicate KeepBytes(std::string& bytes) {
        return [&bytes](const ui::View&) {
            bytes = CConfigBodyFile::Body(*theApp.m_Config);
            return true;
        };
    }
};

// An adapter of shader class 1, with 2 anisotropy and 2 multisample steps: the entries it cannot
// use are flagged, the English texts are the keys without their context (two blanks kept), and
// the preset list is hidden while Customize is clear.
TEST_F(DisplayPageFlow, AdapterLimitsInEnglish) {
    WriteConfig([](CSystemConfig& config) { config.m_LanguageCode.Assign("en"); });
    SAdvancedShown shown;
    ui::Script script = OpenAfter([] {
        g_GpuInfo.PixelShaderClass = 1;
        g_GpuInfo.Caps = u8(2 << kGpuCapsAnisotropyShift | 2 << kGpuCapsMultisampleShift);
        g_GpuInfo.VideoMemoryMb = 256;
        g_GpuInfo.Description.Assign("Test Adapter [1234:5678]");
    });
    // Customize is clear: the filtering shown is the automatic one, applied on the way in.
    std::pair<u32, u32> filtering;
    script.Expect(Keep(shown))
        .Expect(OnConfig([&filtering](CSystemConfig& config) {
            filtering = {config.m_Display->m_MaxFiltering, config.m_Display->m_AnisoQuality};
        }))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDCANCEL);
    Run(std::move(CloseAll(script)));

    const SDialogShown& page = shown.Display;
    EXPECT_EQ(page[kDisplayTabAdapterLabelId].Text, "Test Adapter [1234:5678]");
    EXPECT_EQ(page[kDisplayTabMemoryLabelId].Text, "256 Mb");
    EXPECT_EQ(page[kDisplayTabShaderId].Entries,
              (std::vector<std::string>{"PC0", "PC1", "PC2 (N/A)", "PC3 (N/A)"}));
    EXPECT_EQ(page[kDisplayTabAntialiasingId].Entries,
              (std::vector<std::string>{"None", "2x", "4x", "6x (N/A)"}));
    EXPECT_EQ(
        page[kDisplayTabFilteringId].Entries,
        (std::vector<std::string>{"Bilinear", "Trilinear", "Anisotropic  2x", "Anisotropic  4x",
                                  "Anisotropic  8x (N/A)", "Anisotropic 16x (N/A)"}));
    EXPECT_EQ(page[kDisplayTabFilteringId].Selection,
              FilteringEntry(filtering.first, filtering.second));
    EXPECT_EQ(
        page[kDisplayTabPresetId].Entries,
        (std::vector<std::string>{"None", "Minimum Quality", "Low Quality", "Medium Quality (N/A)",
                                  "High Quality (N/A)", "VeryHigh Quality (N/A)"}));
    EXPECT_EQ(page[kDisplayTabGroupId].Text, "Settings adapted to your graphic card");
    EXPECT_FALSE(page[kDisplayTabPresetId].OnScreen);
    EXPECT_EQ(page[kDisplayTabPresetLabelId].Text, "");
    EXPECT_TRUE(page[kDisplayTabCustomizeId].Enabled);
    EXPECT_FALSE(page[kDisplayTabCustomizeId].Checked);
    // Not editable (E) without Customize; the depth list is shown all the same.
    for (u32 id : {kDisplayTabShaderId, kDisplayTabTexturesId, kDisplayTabFilteringId,
                   kDisplayTabShadowsId, kDisplayTabZClipId, kDisplayTabPostFxId,
                   kDisplayTabWaterComplexId, kDisplayTabWaterGeomId})
        EXPECT_FALSE(page[id].Enabled) << id;
    EXPECT_TRUE(page[kDisplayTabZClipId].OnScreen);
    EXPECT_TRUE(page[kDisplayTabAntialiasingId].Enabled);
    EXPECT_TRUE(page[kAdvancedPageResetId].Enabled);
    EXPECT_EQ(page[kDisplayTabCompatibilityId].Text, "Compatibility");
    EXPECT_EQ(page[kAdvancedPageResetId].Text, "Reset to defaults");
    EXPECT_EQ(page[kDisplayTabZClipLabelId].Text, "Limit depth");
}

// The French catalogue, made by msgfmt from keys written as the page writes them: each filtering
// entry is translated, so the keys match byte for byte, and msgunfmt gives the blanks back.
TEST_F(DisplayPageFlow, FilteringKeysMatchTheCatalogue) {
    WriteConfig();
    SAdvancedShown shown;
    ui::Script script = Open();
    script.Expect(Keep(shown)).In(kAdvancedDlgTemplateId).Click(ui::IDCANCEL);
    Run(std::move(CloseAll(script)));
    const std::vector<std::string> french = {"Bilin\xc3\xa9"
                                             "aire",
                                             "Trilin\xc3\xa9"
                                             "aire",
                                             "Anisotrope 2x",
                                             "Anisotrope 4x",
                                             "Anisotrope 8x",
                                             "Anisotrope 16x"};
    std::vector<std::string> entries = shown.Display[kDisplayTabFilteringId].Entries;
    for (std::string& entry : entries)
        entry = entry.substr(0, entry.find(" (N/A)"));
    EXPECT_EQ(entries, french);
    EXPECT_EQ(shown.Display[kDisplayTabGroupId].Text,
              "R\xc3\xa9glages adapt\xc3\xa9s \xc3\xa0 votre carte graphique");
    const std::string catalogue =
        RunCommand("msgunfmt " + m_Install.File("GameData/Translations/fr.mo"));
    for (const char* key :
         {"msgid \"|MaxFiltering|Anisotropic  2x\"", "msgid \"|MaxFiltering|Anisotropic  4x\"",
          "msgid \"|MaxFiltering|Anisotropic  8x\"", "msgid \"|MaxFiltering|Anisotropic 16x\""})
        EXPECT_NE(catalogue.find(key), std::string::npos) << key;
}

// Customize and the preset preview on a copy: every page shows the copy (the Game page the car
// values of the level), the configuration's bytes stay as they were until OK, and Cancel keeps
// them; OK stores what was previewed.
TEST_F(DisplayPageFlow, PresetPreview) {
    WriteConfig([](CSystemConfig& config) {
        config.m_Display->m_Customize = 0;
        config.m_Display->m_Preset = 1;
    });
    std::string before;
    std::string previewed;
    std::string cancelled;
    SAdvancedShown customized;
    SAdvancedShown medium;
    SAdvancedShown stored;
    std::vector<u32> display;
    std::vector<u32> cars;
    ui::Script script = Open();
    script.Expect(KeepBytes(before))
        .In(kDisplayTabTemplateId)
        .Click(kDisplayTabCustomizeId)
        .Expect(Keep(customized))
        .Select(kDisplayTabPresetId, 3)
        .Expect(Keep(medium))
        .Expect(KeepBytes(previewed))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDCANCEL)
        .Expect(KeepBytes(cancelled))
        // Again, then OK.
        .In(kConfigDlgTemplateId)
        .Click(kConfigDlgAdvancedId)
        .In(kDisplayTabTemplateId)
        .Click(kDisplayTabCustomizeId)
        .Select(kDisplayTabPresetId, 3)
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDOK)
        .Expect(OnConfig([&](CSystemConfig& config) {
            const CSystemConfigDisplay& d = *config.m_Display;
            display = {d.m_Customize,    d.m_Preset,       d.m_TexturesQuality, d.m_ShaderQuality,
                       d.m_MaxFiltering, d.m_AnisoQuality, d.m_Shadows,         d.m_ZClip,
                       d.m_WaterGeom,    d.m_PostFxEnable};
            cars = {config.m_QrCarSmoke, config.m_QrCarProjector, config.m_QrOpponentShadows,
                    config.m_QrMaxOpponents};
        }));
    Run(std::move(CloseAll(script)));

    // Customize checked with the file's preset 1 kept: the preset list shows, the title says so.
    EXPECT_EQ(customized.Display[kDisplayTabGroupId].Text, "R\xc3\xa9glages personnalis\xc3\xa9s");
    EXPECT_TRUE(customized.Display[kDisplayTabPresetId].OnScreen);
    EXPECT_TRUE(customized.Display[kDisplayTabPresetId].Enabled);
    EXPECT_EQ(customized.Display[kDisplayTabPresetId].Selection, 1);
    EXPECT_EQ(customized.Display[kDisplayTabPresetLabelId].Text, "Pr\xc3\xa9r\xc3\xa9glage");
    EXPECT_EQ(customized.Game[kGameTabMaxOpponentsId].Text, "4");
    // The Medium row everywhere.
    const SDialogShown& page = medium.Display;
    EXPECT_EQ(page[kDisplayTabPresetId].Selection, 3);
    EXPECT_EQ(page[kDisplayTabFilteringId].Selection, 2);
    EXPECT_EQ(page.Selected(kDisplayTabShadowsId), "Moyennes");
    EXPECT_EQ(page[kDisplayTabTexturesId].Selection, 2);
    EXPECT_EQ(page[kDisplayTabShaderId].Selection, 2);
    // A preset chosen: nothing detailed is editable.
    EXPECT_FALSE(page[kDisplayTabShadowsId].Enabled);
    EXPECT_TRUE(medium.Game[kGameTabLimitId].Checked);
    EXPECT_EQ(medium.Game[kGameTabMaxOpponentsId].Text, "16");
    EXPECT_FALSE(before.empty());
    EXPECT_EQ(previewed, before);
    EXPECT_EQ(cancelled, before);
    EXPECT_EQ(display, (std::vector<u32>{1, 3, 2, 2, 3, 0, 2, 0, 0, 0}));
    EXPECT_EQ(cars, (std::vector<u32>{1, 1, 1, 16}));
}

// The depth limit shown with its detail: the distance for Auto, the block count for Fixed,
// nothing for Disable; a limit clears the water geometry, which is editable only without one.
// The block count is the number its text begins with.
TEST_F(DisplayPageFlow, DepthLimit) {
    WriteConfig([](CSystemConfig& config) {
        CustomisedConfig(config);
        config.m_Display->m_ZClip = 0;
        config.m_Display->m_ZClipNbBlock = 12;
        config.m_Display->m_WaterGeom = 1;
        config.m_Display->m_MaxFiltering = 3;
        config.m_Display->m_AnisoQuality = 1;
    });
    SAdvancedShown disabled;
    SAdvancedShown automatic;
    SAdvancedShown fixed;
    SAdvancedShown again;
    std::vector<u32> stored;
    ui::Script script = Open();
    script.Expect(Keep(disabled))
        .In(kDisplayTabTemplateId)
        .Select(kDisplayTabZClipId, 1)
        .Expect(Keep(automatic))
        .Select(kDisplayTabZClipId, 2)
        .Expect(Keep(fixed))
        .Select(kDisplayTabZClipId, 0)
        .Expect(Keep(again))
        .Select(kDisplayTabZClipId, 2)
        .SetText(kDisplayTabZClipNbBlockId, "25 blocks")
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDOK)
        .Expect(OnConfig([&](CSystemConfig& config) {
            stored = {config.m_Display->m_ZClip, config.m_Display->m_ZClipNbBlock,
                      config.m_Display->m_WaterGeom};
        }));
    Run(std::move(CloseAll(script)));

    struct Expected {
        const SAdvancedShown* Shown;
        const char* Detail;
        bool AutoShown;
        bool BlocksShown;
        bool WaterChecked;
        bool WaterEnabled;
    };
    const Expected cases[] = {
        {&disabled, "", false, false, true, true},
        {&automatic, "Distance", true, false, false, false},
        {&fixed, "Nombre de blocs", false, true, false, false},
        {&again, "", false, false, false, true},
    };
    for (const Expected& e : cases) {
        const SDialogShown& page = e.Shown->Display;
        SCOPED_TRACE(page[kDisplayTabZClipId].Selection);
        EXPECT_EQ(page[kDisplayTabZClipDetailLabelId].Text, e.Detail);
        EXPECT_EQ(page[kDisplayTabZClipAutoId].OnScreen, e.AutoShown);
        EXPECT_EQ(page[kDisplayTabZClipNbBlockId].OnScreen, e.BlocksShown);
        EXPECT_EQ(page[kDisplayTabWaterGeomId].Checked, e.WaterChecked);
        EXPECT_EQ(page[kDisplayTabWaterGeomId].Enabled, e.WaterEnabled);
        EXPECT_TRUE(page[kDisplayTabZClipId].Enabled);
        EXPECT_EQ(page[kDisplayTabGroupId].Text, "R\xc3\xa9glages personnalis\xc3\xa9s");
    }
    EXPECT_EQ(fixed.Display[kDisplayTabZClipNbBlockId].Text, "12");
    // Anisotropic 4x is the entry with two blanks before "4x".
    EXPECT_EQ(disabled.Display[kDisplayTabFilteringId].Selection, 3);
    EXPECT_TRUE(disabled.Display.Selected(kDisplayTabFilteringId).starts_with("Anisotrope 4x"));
    EXPECT_EQ(stored, (std::vector<u32>{2, 25, 0}));
}

// Safe mode: the page shows the safe part, nothing of it can be changed, and OK stores nothing
// of the page.
TEST_F(DisplayPageFlow, SafeMode) {
    WriteConfig([](CSystemConfig& config) {
        CustomisedConfig(config);
        config.m_IsSafeMode = 1;
    });
    SAdvancedShown shown;
    std::string display;
    std::string safe;
    std::string displayAfter;
    std::string safeAfter;
    auto keepParts = [](std::string& normal, std::string& safePart) {
        return OnConfig([&normal, &safePart](CSystemConfig& config) {
            normal = CConfigBodyFile::Body(*config.m_Display);
            safePart = CConfigBodyFile::Body(*config.m_DisplaySafe);
        });
    };
    // The two parts apart, once loaded.
    ui::Script script = OpenAfter([] {
        CSystemConfig& config = *theApp.m_Config;
        config.m_Display->m_Shadows = 3;
        config.m_Display->m_Antialiasing = 2;
        config.m_DisplaySafe->m_Shadows = 0;
        config.m_DisplaySafe->m_Antialiasing = 0;
        config.m_DisplaySafe->m_ZClip = 2;
        config.m_DisplaySafe->m_ZClipNbBlock = 7;
    });
    script.Expect(Keep(shown))
        .Expect(keepParts(display, safe))
        .In(kDisplayTabTemplateId)
        .SetText(kDisplayTabZClipNbBlockId, "99")
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDOK)
        .Expect(keepParts(displayAfter, safeAfter));
    Run(std::move(CloseAll(script)));

    const SDialogShown& page = shown.Display;
    EXPECT_EQ(page[kDisplayTabGroupId].Text, "R\xc3\xa9glages du mode sans \xc3\xa9"
                                             "chec");
    EXPECT_EQ(page.Selected(kDisplayTabShadowsId), "Aucune");
    EXPECT_EQ(page[kDisplayTabAntialiasingId].Selection, 0);
    EXPECT_EQ(page[kDisplayTabZClipNbBlockId].Text, "7");
    for (u32 id : {kDisplayTabCustomizeId, kDisplayTabAntialiasingId, kAdvancedPageResetId,
                   kDisplayTabShaderId, kDisplayTabTexturesId, kDisplayTabFilteringId,
                   kDisplayTabShadowsId, kDisplayTabZClipId, kDisplayTabPostFxId,
                   kDisplayTabWaterComplexId, kDisplayTabWaterGeomId})
        EXPECT_FALSE(page[id].Enabled) << id;
    EXPECT_FALSE(page[kDisplayTabPresetId].OnScreen);
    EXPECT_TRUE(page[kDisplayTabCompatibilityId].Enabled);
    EXPECT_FALSE(display.empty());
    EXPECT_EQ(displayAfter, display);
    EXPECT_EQ(safeAfter, safe);
}

// The page's Reset: the display defaults, shown at once by the configuration dialog behind.
TEST_F(DisplayPageFlow, ResetReloadsTheConfigurationDialog) {
    WriteConfig([](CSystemConfig& config) {
        CustomisedConfig(config);
        config.m_Display->m_FullScreen = 0;
        config.m_Display->m_Shadows = 4;
    });
    SAdvancedShown opened;
    SAdvancedShown reset;
    ui::Script script = Open();
    script.Expect(Keep(opened))
        .In(kDisplayTabTemplateId)
        .Click(kAdvancedPageResetId)
        .Expect(Keep(reset))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDCANCEL);
    Run(std::move(CloseAll(script)));

    EXPECT_FALSE(opened.Config[kConfigDlgFullScreenId].Checked);
    EXPECT_EQ(opened.Display[kDisplayTabShadowsId].Selection, 4);
    EXPECT_TRUE(reset.Config[kConfigDlgFullScreenId].Checked);
    // Customize and the preset keep their values through the defaults; the automatic settings
    // are not applied to a customised part.
    EXPECT_TRUE(reset.Display[kDisplayTabCustomizeId].Checked);
    EXPECT_EQ(reset.Display[kDisplayTabPresetId].Selection, 0);
}

// A damaged file's filtering anisotropy (7) and preset (9): nothing is selected in their lists,
// OK keeps both values, and a preview never makes a preset of "no selection".
TEST_F(DisplayPageFlow, OutOfRangeValues) {
    WriteConfig([](CSystemConfig& config) {
        config.m_Display->m_Customize = 1;
        config.m_Display->m_Preset = 9;
        config.m_Display->m_MaxFiltering = 3;
        config.m_Display->m_AnisoQuality = 7;
    });
    SAdvancedShown opened;
    SAdvancedShown previewed;
    std::vector<u32> afterOk;
    std::vector<u32> afterPreview;
    ui::Script script = Open();
    script.Expect(Keep(opened))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDOK)
        .Expect(OnConfig([&](CSystemConfig& config) {
            afterOk = {config.m_Display->m_Preset, config.m_Display->m_MaxFiltering,
                       config.m_Display->m_AnisoQuality};
        }))
        .In(kConfigDlgTemplateId)
        .Click(kConfigDlgAdvancedId)
        .In(kDisplayTabTemplateId)
        .Click(kDisplayTabCustomizeId)
        .Click(kDisplayTabCustomizeId)
        .Expect(Keep(previewed))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDOK)
        .Expect(OnConfig([&](CSystemConfig& config) {
            afterPreview = {config.m_Display->m_Customize, config.m_Display->m_Preset};
        }));
    Run(std::move(CloseAll(script)));

    EXPECT_EQ(opened.Display[kDisplayTabFilteringId].Selection, -1);
    EXPECT_EQ(opened.Display[kDisplayTabPresetId].Selection, -1);
    EXPECT_TRUE(opened.Display[kDisplayTabPresetId].OnScreen);
    EXPECT_EQ(afterOk, (std::vector<u32>{9, 3, 7}));
    EXPECT_TRUE(previewed.Display[kDisplayTabCustomizeId].Checked);
    EXPECT_EQ(previewed.Display[kDisplayTabPresetId].Selection, -1);
    EXPECT_EQ(afterPreview, (std::vector<u32>{1, 9}));
}

// ------------------------------------------------------------------------------------------------
// The dialog opened alone, without the engines that copy a configuration

// A preview whose scratch copy cannot be made shows nothing new and says so in the log.
TEST_F(AdvancedAlone, PreviewWithoutACopy) {
    NewConfig([](CSystemConfig& config) { config.m_Display->m_Customize = 0; });
    SAdvancedShown clicked;
    CLogWatch log;
    EXPECT_EQ(RunDialog(ui::Script()
                            .In(kDisplayTabTemplateId)
                            .Click(kDisplayTabCustomizeId)
                            .Expect(Keep(clicked))
                            .In(kAdvancedDlgTemplateId)
                            .Click(ui::IDCANCEL)),
              ui::IDCANCEL);
    EXPECT_NE(log.Since().find("[Launcher] The display preview could not copy the configuration"),
              std::string::npos)
        << log.Since();
    // The box the player clicked, and nothing else: the preset list stays hidden.
    EXPECT_TRUE(clicked.Display[kDisplayTabCustomizeId].Checked);
    EXPECT_FALSE(clicked.Display[kDisplayTabPresetId].OnScreen);
    EXPECT_EQ(theApp.m_Config->m_Display->m_Customize, 0u);
}

} // namespace
