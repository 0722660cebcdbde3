#pragma once
// What the advanced settings dialog's tests share: what a dialog and its pages show, read in an
// Expect step, and the two fixtures, the dialog alone over a configuration of theApp and the
// dialog inside a whole launcher run.
#include "launcher/AdvancedDlg.h"
#include "launcher/ConfigDlg.h"
#include "launcher/DisplayCompatibilityDlg.h"
#include "launcher/MainDlg.h"
#include "tests/launcher/ConfigBodyFile.h"
#include "tests/launcher/LauncherTestSupport.h"

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

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
    std::array<i16, 4> Fields = {}; // IP address controls
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

inline SDialogShown ReadDialog(const ui::View& view, u32 templateId) {
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
        if (control.Kind() == ui::ControlKind::IpAddress)
            one.Fields = control.AddressFields();
    }
    return shown;
}

// The advanced dialog, its five pages, the configuration dialog behind it and the compatibility
// dialog over it.
struct SAdvancedShown {
    SDialogShown Dialog;
    SDialogShown Display;
    SDialogShown Audio;
    SDialogShown Network;
    SDialogShown Game;
    SDialogShown Inputs;
    SDialogShown Config;
    // The display compatibility dialog, when open over the Display page.
    SDialogShown Compatibility;

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
inline ui::Predicate Keep(SAdvancedShown& shown) {
    return [&shown](const ui::View& view) {
        shown.Dialog = ReadDialog(view, kAdvancedDlgTemplateId);
        shown.Display = ReadDialog(view, kDisplayTabTemplateId);
        shown.Audio = ReadDialog(view, kAudioTabTemplateId);
        shown.Network = ReadDialog(view, kNetworkTabTemplateId);
        shown.Game = ReadDialog(view, kGameTabTemplateId);
        shown.Inputs = ReadDialog(view, kInputsTabTemplateId);
        shown.Config = ReadDialog(view, kConfigDlgTemplateId);
        shown.Compatibility = ReadDialog(view, kDisplayCompatibilityDlgTemplateId);
        return shown.Dialog.Open;
    };
}

// An Expect step that runs a function on theApp's configuration.
inline ui::Predicate OnConfig(std::function<void(CSystemConfig&)> run) {
    return [run = std::move(run)](const ui::View&) {
        run(*theApp.m_Config);
        return true;
    };
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
    // The main dialog's Configure, the step's work behind the configuration dialog, then its
    // Advanced.
    static ui::Script OpenAfter(std::function<void()> before) {
        return ui::Script()
            .In(kMainDlgTemplateId)
            .Click(kMainDlgConfigureId)
            .Expect(
                [before = std::move(before)](const ui::View&) {
                    before();
                    return true;
                },
                "set up behind the configuration dialog")
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
inline void CustomisedConfig(CSystemConfig& config) {
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
