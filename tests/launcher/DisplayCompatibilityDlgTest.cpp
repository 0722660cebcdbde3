// The display compatibility dialog: the AGP slider's mapping, the refresh rate's reading, the
// percentage beside the slider, OK into the normal display part, Cancel, and safe mode.
#include "launcher/DisplayCompatibilityDlg.h"

#include "launcher/DisplayTabDlg.h"
#include "tests/launcher/AdvancedDlgTestSupport.h"

#include <bit>
#include <cmath>
#include <limits>
#include <sstream>

namespace {

using ui::Contains;
using ui::Exactly;

// ------------------------------------------------------------------------------------------------
// The rules without a dialog

// Python's float32 arithmetic (struct) gives each position's stored factor and the examples'
// positions; every position saved shows again as itself.
TEST(CompatibilityRules, AgpSliderAgreesWithFloat32) {
    const std::string script = R"(
import math, struct
def f(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]
def bits(x):
    return struct.unpack('<I', struct.pack('<f', x))[0]
for p in range(101):
    print(p, bits(f(f(p) * f(0.01))))
print(-1, math.trunc(f(f(0.5) * 100.0)), min(math.trunc(f(f(1.7) * 100.0)), 100),
      bits(f(f(100) * f(0.01))), bits(f(f(75) * f(0.01))))
)";
    CTempFolder folder;
    std::istringstream lines(RunPython(folder, script, ""));
    i32 position = 0;
    u32 factorBits = 0;
    u32 positions = 0;
    while (lines >> position && position >= 0 && lines >> factorBits) {
        ++positions;
        const f32 factor = PositionToAgpUseFactor(position);
        EXPECT_EQ(std::bit_cast<u32>(factor), factorBits) << position;
        EXPECT_EQ(AgpUseFactorToPosition(factor), position);
    }
    EXPECT_EQ(positions, 101u);
    i32 half = 0;
    i32 above = 0;
    u32 full = 0;
    u32 threeQuarters = 0;
    ASSERT_TRUE(lines >> half >> above >> full >> threeQuarters);
    EXPECT_EQ(AgpUseFactorToPosition(0.5f), half);
    EXPECT_EQ(half, 50);
    EXPECT_EQ(AgpUseFactorToPosition(1.7f), above);
    EXPECT_EQ(above, 100);
    EXPECT_EQ(std::bit_cast<u32>(PositionToAgpUseFactor(100)), full);
    EXPECT_EQ(PositionToAgpUseFactor(100), 1.0f);
    EXPECT_EQ(std::bit_cast<u32>(PositionToAgpUseFactor(75)), threeQuarters);

    // Factors a damaged file may hold, clamped in float before they become positions.
    constexpr f32 nan = std::numeric_limits<f32>::quiet_NaN();
    constexpr f32 inf = std::numeric_limits<f32>::infinity();
    const std::pair<f32, i32> damaged[] = {{nan, 0},  {-nan, 0},  {inf, 100},
                                           {-inf, 0}, {-3.0f, 0}, {1e30f, 100}};
    for (const auto& [factor, expected] : damaged)
        EXPECT_EQ(AgpUseFactorToPosition(factor), expected) << factor;
    // Positions outside the slider's range still store a factor of the range.
    EXPECT_EQ(PositionToAgpUseFactor(150), 1.0f);
    EXPECT_EQ(PositionToAgpUseFactor(-5), 0.0f);
}

// ------------------------------------------------------------------------------------------------
// The dialog opened alone over a configuration of theApp

class CompatibilityAlone : public AdvancedAlone {
protected:
    // The dialog with a script that first keeps what it shows, then runs the steps.
    int RunCompatibility(SDialogShown& opened, const std::function<void(ui::Script&)>& steps) {
        ui::Script script;
        script.Expect([&opened](const ui::View& view) {
            opened = ReadDialog(view, kDisplayCompatibilityDlgTemplateId);
            return opened.Open;
        });
        script.In(kDisplayCompatibilityDlgTemplateId);
        steps(script);
        m_Ui.Play(std::move(script));
        CDisplayCompatibilityDlg dialog;
        return dialog.DoModal();
    }
};

// The refresh rate is the number its text begins with; the factor shows as a position and a
// percentage, and OK stores the position's factor.
TEST_F(CompatibilityAlone, RefreshRatesAndFactors) {
    struct Rate {
        const char* Text;
        u32 Stored;
    };
    const Rate rates[] = {
        {"75Hz", 75}, {"", 0}, {"-5", 0}, {" 120 ", 120}, {"99999999999", 4294967295u}};
    for (const Rate& r : rates) {
        SCOPED_TRACE(r.Text);
        NewConfig([](CSystemConfig& config) { config.m_Display->m_RefreshRate = 60; });
        SDialogShown opened;
        EXPECT_EQ(RunCompatibility(
                      opened,
                      [&](ui::Script& script) {
                          script.SetText(kCompatibilityRefreshRateId, r.Text).Click(ui::IDOK);
                      }),
                  ui::IDOK);
        EXPECT_EQ(opened[kCompatibilityRefreshRateId].Text, "60");
        EXPECT_EQ(theApp.m_Config->m_Display->m_RefreshRate, r.Stored);
    }

    struct Factor {
        f32 Stored;
        i32 Position;
        const char* Percent;
        f32 Saved;
    };
    const Factor factors[] = {{0.5f, 50, "50%", 0.5f},
                              {1.7f, 100, "100%", 1.0f},
                              {std::numeric_limits<f32>::quiet_NaN(), 0, "0%", 0.0f},
                              {-3.0f, 0, "0%", 0.0f},
                              // The plain truncation would show 9.
                              {0.1f, 10, "10%", PositionToAgpUseFactor(10)}};
    for (const Factor& f : factors) {
        SCOPED_TRACE(f.Stored);
        NewConfig([&](CSystemConfig& config) { config.m_Display->m_AgpUseFactor = f.Stored; });
        SDialogShown opened;
        EXPECT_EQ(RunCompatibility(opened, [](ui::Script& script) { script.Click(ui::IDOK); }),
                  ui::IDOK);
        EXPECT_EQ(opened[kCompatibilityAgpId].Position, f.Position);
        EXPECT_EQ(opened[kCompatibilityPercentId].Text, f.Percent);
        EXPECT_EQ(theApp.m_Config->m_Display->m_AgpUseFactor, f.Saved);
    }
}

// Lists whose stored value is past their entries select nothing, and OK leaves those members
// as they were; Cancel stores nothing at all.
TEST_F(CompatibilityAlone, DamagedListsAndCancel) {
    NewConfig([](CSystemConfig& config) {
        config.m_Display->m_ColorDepth = 5;
        config.m_Display->m_GpuSync = 8;
        config.m_Display->m_VertexProcess = 0xFFFFFFFF;
    });
    SDialogShown opened;
    EXPECT_EQ(RunCompatibility(opened, [](ui::Script& script) { script.Click(ui::IDOK); }),
              ui::IDOK);
    for (u32 id :
         {kCompatibilityColorDepthId, kCompatibilityGpuSyncId, kCompatibilityVertexProcessId})
        EXPECT_EQ(opened[id].Selection, -1) << id;
    const CSystemConfigDisplay& display = *theApp.m_Config->m_Display;
    EXPECT_EQ(display.m_ColorDepth, 5u);
    EXPECT_EQ(display.m_GpuSync, 8u);
    EXPECT_EQ(display.m_VertexProcess, 0xFFFFFFFFu);

    NewConfig();
    const std::string before = CConfigBodyFile::Body(*theApp.m_Config);
    EXPECT_EQ(RunCompatibility(opened,
                               [](ui::Script& script) {
                                   script.SetText(kCompatibilityRefreshRateId, "85")
                                       .Select(kCompatibilityGpuSyncId, 2)
                                       .Check(kCompatibilityCursorId, true)
                                       .SetSlider(kCompatibilityAgpId, 30)
                                       .Click(ui::IDCANCEL);
                               }),
              ui::IDCANCEL);
    EXPECT_EQ(CConfigBodyFile::Body(*theApp.m_Config), before);
}

// ------------------------------------------------------------------------------------------------
// Flows of a whole launcher run

// From the Display page: the percentage follows the slider from the start, OK stores into the
// normal part, and fullscreen GDI with antialiasing brings the configuration dialog's warning
// on Save.
TEST_F(AdvancedFlow, CompatibilityFromTheDisplayPage) {
    WriteConfig([](CSystemConfig& config) {
        CustomisedConfig(config);
        config.m_Display->m_Antialiasing = 2;
        config.m_Display->m_AgpUseFactor = 0.5f;
        config.m_Display->m_RefreshRate = 60;
        config.m_Display->m_EnableFullscreenGDI = 0;
    });
    SAdvancedShown opened;
    SAdvancedShown moved;
    std::vector<f64> stored;
    f32 afterCancel = 0;
    const std::string gdi = "You chose to enable both antialiasing and the fullscreen GDI support";
    ui::Script script = Open();
    script.In(kDisplayTabTemplateId)
        .Click(kDisplayTabCompatibilityId)
        .Expect(Keep(opened))
        .In(kDisplayCompatibilityDlgTemplateId)
        .SetSlider(kCompatibilityAgpId, 75)
        .Expect(Keep(moved))
        .SetText(kCompatibilityRefreshRateId, "75Hz")
        .Check(kCompatibilityFullscreenGdiId, true)
        .Click(ui::IDOK)
        .Expect(OnConfig([&](CSystemConfig& config) {
            const CSystemConfigDisplay& d = *config.m_Display;
            stored = {f64(d.m_RefreshRate), f64(d.m_AgpUseFactor), f64(d.m_EnableFullscreenGDI)};
        }))
        // Cancel changes nothing.
        .In(kDisplayTabTemplateId)
        .Click(kDisplayTabCompatibilityId)
        .In(kDisplayCompatibilityDlgTemplateId)
        .SetSlider(kCompatibilityAgpId, 10)
        .Click(ui::IDCANCEL)
        .Expect(OnConfig(
            [&](CSystemConfig& config) { afterCancel = config.m_Display->m_AgpUseFactor; }))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDOK)
        .In(kConfigDlgTemplateId)
        .Click(kConfigDlgSaveId)
        .Answer(ui::IDOK, Exactly("Warning"), Contains(gdi))
        .In(kMainDlgTemplateId)
        .Click(ui::IDCANCEL);
    Run(std::move(script));

    const SDialogShown& dialog = opened.Compatibility;
    ASSERT_TRUE(dialog.Open);
    EXPECT_EQ(dialog.Caption, "Compatibilit\xc3\xa9 de l'affichage");
    EXPECT_EQ(dialog[kCompatibilityAgpId].Position, 50);
    EXPECT_EQ(dialog[kCompatibilityPercentId].Text, "50%");
    EXPECT_EQ(dialog[kCompatibilityRefreshRateId].Text, "60");
    EXPECT_EQ(dialog.Selected(kCompatibilityColorDepthId), "32 bits");
    EXPECT_EQ(dialog.Selected(kCompatibilityVertexProcessId), "Mat\xc3\xa9riel");
    EXPECT_EQ(dialog[kCompatibilityGpuSyncId].Entries.size(), 8u);
    EXPECT_EQ(dialog[kCompatibilityRefreshRateLabelId].Text, "Fr\xc3\xa9quence");
    EXPECT_EQ(dialog[kCompatibilityDynaGeomId].Text, "(plus rapide mais moins s\xc3\xbbr)");
    EXPECT_EQ(dialog[kCompatibilityShadowBufferId].Text, "(contre les d\xc3\xa9"
                                                         "fauts d'affichage)");
    EXPECT_EQ(dialog[ui::IDOK].Text, "Valider");
    for (const auto& [id, control] : dialog.Controls)
        EXPECT_TRUE(control.Enabled) << id;
    EXPECT_EQ(moved.Compatibility[kCompatibilityPercentId].Text, "75%");
    EXPECT_EQ(stored, (std::vector<f64>{75, f64(0.75f), 1}));
    EXPECT_EQ(afterCancel, 0.75f);
    EXPECT_TRUE(HasLine("open 149 owner 135")) << m_Ui.TranscriptText();
    EXPECT_TRUE(HasLine("box owner 137 \"Warning\" \"" + gdi +
                        ", in the advanced graphic pannel.\\nThese options aren't compatible: "
                        "Fullscreen GDI support will be disabled.\" MB_OKCANCEL OK|Annuler"))
        << m_Ui.TranscriptText();
    CSystemConfig* saved = ReadConfig();
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_Display->m_RefreshRate, 75u);
    EXPECT_EQ(saved->m_Display->m_AgpUseFactor, 0.75f);
    EXPECT_EQ(saved->m_Display->m_EnableFullscreenGDI, 1u);
    saved->Release();
}

// Safe mode: the safe part's values, every control but the slider and the buttons disabled, and
// OK stores nothing.
TEST_F(AdvancedFlow, CompatibilityInSafeMode) {
    WriteConfig([](CSystemConfig& config) {
        config.m_IsSafeMode = 1;
        config.m_Display->m_RefreshRate = 85;
        config.m_Display->m_AgpUseFactor = 0.5f;
        config.m_Display->m_GpuSync = 2;
    });
    SAdvancedShown opened;
    std::string before;
    std::string after;
    auto keepBytes = [](std::string& bytes) {
        return OnConfig([&bytes](CSystemConfig& config) {
            bytes = CConfigBodyFile::Body(*config.m_Display) +
                    CConfigBodyFile::Body(*config.m_DisplaySafe);
        });
    };
    // The safe part is not stored in the file: it is set once the configuration is loaded.
    ui::Script script = OpenAfter([] {
        CSystemConfigDisplay& safe = *theApp.m_Config->m_DisplaySafe;
        safe.m_RefreshRate = 60;
        safe.m_AgpUseFactor = 0.25f;
        safe.m_GpuSync = 5;
    });
    script.Expect(keepBytes(before))
        .In(kDisplayTabTemplateId)
        .Click(kDisplayTabCompatibilityId)
        .Expect(Keep(opened))
        .In(kDisplayCompatibilityDlgTemplateId)
        .SetSlider(kCompatibilityAgpId, 90)
        .Click(ui::IDOK)
        .Expect(keepBytes(after))
        .In(kAdvancedDlgTemplateId)
        .Click(ui::IDCANCEL);
    Run(std::move(CloseAll(script)));

    const SDialogShown& dialog = opened.Compatibility;
    ASSERT_TRUE(dialog.Open);
    EXPECT_EQ(dialog[kCompatibilityRefreshRateId].Text, "60");
    EXPECT_EQ(dialog[kCompatibilityAgpId].Position, 25);
    EXPECT_EQ(dialog[kCompatibilityGpuSyncId].Selection, 5);
    const u32 table[] = {kCompatibilityColorDepthId,
                         kCompatibilityRefreshRateId,
                         kCompatibilityVSyncId,
                         kCompatibilityGpuSyncId,
                         kCompatibilityVertexProcessId,
                         kCompatibilityAgpId,
                         kCompatibilityPercentId,
                         kCompatibilityCursorId,
                         kCompatibilityFullscreenGdiId,
                         kCompatibilityDynaGeomId,
                         kCompatibilityShadowBufferId,
                         kCompatibilityColorWriteMaskId,
                         kCompatibilityZBufferRangeId,
                         kCompatibilityDriverCrashesId,
                         ui::IDOK,
                         ui::IDCANCEL};
    for (u32 id : table) {
        const bool enabled = id == kCompatibilityAgpId || id == ui::IDOK || id == ui::IDCANCEL;
        EXPECT_EQ(dialog[id].Enabled, enabled) << id;
    }
    EXPECT_FALSE(before.empty());
    EXPECT_EQ(after, before);
}

} // namespace
