#pragma once
// The launcher application: one object, theApp, that carries what every launcher dialog reads
// (the configuration, the title, the language codes, the adapter object, the install folder) and
// the start-up road that runs the whole program (InitInstance).
//
// RunLauncher is the program: the executable's main calls it once with its backend installed,
// tests and the benchmark call it as often as they like. theApp is constant-initialised and
// touches nothing at static construction or destruction: the work of its end runs at the end of
// RunLauncher.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "platform/Types.h"
#include "system/engine/SystemEngine.h"

#include <functional>
#include <string>

class CSystemConfig;
class CSystemConfigArchiveOps;
class CConfigDlg;
class CAdvancedDlg;
namespace platform {
class DisplayModes;
class Process;
class SingleInstance;
} // namespace platform
namespace ui {
class Dialog;
} // namespace ui

// The names the launcher's files, registry and lock are known by.
inline constexpr const char* kLauncherMutexName = "VorelMutexUnique";
inline constexpr const char* kLauncherRegistryKey = "Software\\Vorel\\Brisalde";
inline constexpr const char16_t* kLauncherGameFile = u"Brisalde";

// What a run reads of its host; the defaults are the process's own.
struct SLauncherOptions {
    // Handed to the System engine (the benchmark replaces the host's clock measurement).
    SSystemEngineHost SystemHost;
    // How the configuration file is loaded and saved during the run; null: as ".Zun" archives.
    CSystemConfigArchiveOps* ConfigFileOps = nullptr;
    // What runs in the main dialog's place once the launcher is up, answering how it ended as
    // the main dialog would; empty: the main dialog. Window tests open the dialog under test
    // there.
    std::function<int()> MainWindow;
};

class CLauncherApp {
public:
    constexpr CLauncherApp() = default;
    CLauncherApp(const CLauncherApp&) = delete;
    CLauncherApp& operator=(const CLauncherApp&) = delete;

    // The start-up road, the main dialog and the end; always false.
    bool InitInstance(const SLauncherOptions& options);
    // Starts the game program of the install folder with the arguments (one argument before each
    // " /"). With wait: true exactly when it ended with status 0. With a process: the child is
    // handed to it. Otherwise it runs on by itself. False when it cannot be started.
    bool LaunchGame(CClassicStringRef arguments, bool wait, platform::Process* process);
    // Replaces the configuration by the file's; true when it loaded, false when a default one was
    // made, its warnings shown and saved. A file that exists but does not load is the player's:
    // it is kept, moved aside before the first save over it.
    bool LoadSystemConfig();
    // Writes the configuration file; a failure is told to the player. A file that did not load
    // first goes to its name + ".bad" (replacing an older one), with a log line; when it cannot,
    // nothing is written over it and the save fails.
    void SaveSystemConfig();
    // The warnings of the active display part, with OK only at start-up and OK and Cancel
    // otherwise; false when the player cancelled one.
    bool ConfirmConfigWarnings(const ui::Dialog* owner, bool startup);
    // Resets one group of settings: -1 all, 0 display, 1 audio, 2 network, 3 game, 4 inputs;
    // any other kind changes nothing.
    void ResetConfigToDefaults(i32 kind);
    // Shuts the engines down in reverse order and tears the engine core down.
    void ShutdownEngines();
    // The end of the process's life: the adapter object, the configuration, the lock and the
    // texts let go, in this order.
    void ExitInstance();

    // The configuration file's engine path.
    CClassicWideString ConfigPath() const;

    CClassicWideString m_InstallFolder;
    platform::SingleInstance* m_Mutex = nullptr;
    CClassicWideString m_Title;
    CSystemConfig* m_Config = nullptr;
    CFastBuffer<CClassicString> m_LanguageCodes;
    // The adapter object.
    platform::DisplayModes* m_Direct3D = nullptr;
    u32 m_AdapterOrdinal = 0;
    CConfigDlg* m_ConfigDlg = nullptr;
    CAdvancedDlg* m_AdvancedDlg = nullptr;
    // The main dialog while it runs.
    ui::Dialog* m_pMainWnd = nullptr;
    // The configuration file exists but did not load, and has not been moved aside yet.
    bool m_ConfigNotLoaded = false;

private:
    // Moves the configuration file that did not load aside; false when it stays in the way.
    bool MoveConfigAside(const CClassicWideString& path);
    // Steps 5 and 6 of the start: the engine core, then the Foundations, System and Net engines.
    void StartEngines(const SLauncherOptions& options);
};

extern constinit CLauncherApp theApp;

// The whole program; answers the process's exit status (0). A dialog backend must be installed.
int RunLauncher(const SLauncherOptions& options = {});

// The launcher's dialogs' texts: the translation of a key, as UTF-8.
std::string LauncherTranslate(const char16_t* key);
// Wide engine text as UTF-8.
std::string LauncherUtf8(CClassicWideStringRef text);
// A path as the player's file manager shows it: host form (slashes, no drive) when the engine
// path has a host counterpart, else unchanged. Every text shown to the player with a path in it
// goes through it.
CClassicWideString LauncherPathForPlayer(CClassicWideStringRef enginePath);

// The Plug engine's warning lines go here and are dropped.
void NoOp(i32 level, const char* line);
