#include "launcher/LauncherApp.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwId.h"
#include "launcher/AdvancedDlg.h"
#include "launcher/BenchDlg.h"
#include "launcher/ConfigDlg.h"
#include "launcher/HelpDlg.h"
#include "launcher/LauncherText.h"
#include "launcher/MainDlg.h"
#include "launcher/import/CustomDataDlg.h"
#include "net/engine/NetClasses.h"
#include "net/engine/NetEngine.h"
#include "platform/DisplayModes.h"
#include "platform/HostPath.h"
#include "platform/Process.h"
#include "platform/SingleInstance.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/MessageBox.h"
#include "plug/PlugClasses.h"
#include "plug/PlugStart.h"
#include "script/ScriptClasses.h"
#include "system/SystemClasses.h"
#include "system/config/GpuPerf.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemConfigFile.h"
#include "system/fid/PlugFileServices.h"
#include "system/file/FileSystem.h"
#include "system/file/PathHelpers.h"
#include "system/file/Registry.h"

#include <string_view>

constinit CLauncherApp theApp;

namespace {

std::u16string_view View(CClassicWideStringRef text) {
    return std::u16string_view(text.m_Text, text.m_Length);
}

// A message box with a wide text and caption.
int Box(const ui::Dialog* owner, CClassicWideStringRef text, CClassicWideStringRef caption,
        u32 type) {
    return ui::MessageBox(owner, LauncherUtf8(text), LauncherUtf8(caption), type);
}

// Runs first in every pass of the dialogs' loops: the engine core's computer clock follows the
// time, and children let go while running are reaped once they end.
void LauncherIdle() {
    if (CMwCmdBufferCore* core = CMwCmdBufferCore::GetSingleton())
        *core->m_ComputerClock.GetMsPtr() = core->m_ComputerClock.GetElapsedMs();
    platform::ReapDetachedProcesses();
}

// The dialog layer's own texts (box buttons, refusals) through the current catalogue.
std::string TranslateLayerText(std::string_view text) {
    const std::u16string key = platform::HostTextToWide(text);
    return LauncherTranslate(key.c_str());
}

} // namespace

std::string LauncherTranslate(const char16_t* key) {
    return LauncherUtf8(CClassicWideStringRef(g_ClassicTranslator.Translate(key)));
}

std::string LauncherUtf8(CClassicWideStringRef text) {
    CClassicString utf8;
    CClassicWideString(text).ToUtf8(utf8, false);
    return std::string(utf8.GetText(), utf8.GetLength());
}

CClassicWideString LauncherPathForPlayer(CClassicWideStringRef enginePath) {
    std::string host;
    if (!platform::ToHostPath(View(enginePath), host))
        return CClassicWideString(enginePath);
    return CClassicWideString(platform::HostTextToWide(host).c_str());
}

void NoOp(i32, const char*) {}

CClassicWideString CLauncherApp::ConfigPath() const {
    CClassicWideString path;
    path.FormatNarrow2("%1%2.SystemConfig.Zun", m_InstallFolder, u"Default");
    return path;
}

bool CLauncherApp::InitInstance(const SLauncherOptions& options) {
    // 1. One launcher per user.
    m_Mutex = new platform::SingleInstance;
    if (m_Mutex->Acquire(kLauncherMutexName) == platform::SingleInstance::State::HeldElsewhere)
        return false;
    // 3. The title.
    m_Title = CClassicWideString(u"Brisalde");
    // 4. The adapter object.
    m_Direct3D = new platform::DisplayModes;
    if (!m_Direct3D->Open()) {
        delete m_Direct3D;
        m_Direct3D = nullptr;
        Box(nullptr, g_ClassicTranslator.Translate(u"Could not find DirectX9"), m_Title, ui::MB_OK);
        return false;
    }
    // 5, 6. The engines.
    StartEngines(options);
    CSystemEngine* engine = GetSystemEngine();
    // 7. Mounts the data drives.
    engine->GetDataFolder();
    // 8. The installed version.
    SetRegistryRootKey(kLauncherRegistryKey);
    CClassicString version;
    ReadRegistryString("Version", version, "");
    m_Title = LauncherTitle(version);
    // 9. The catalogues.
    engine->ListTranslations(m_LanguageCodes, true);
    if (m_LanguageCodes.m_Count == 0) {
        Box(nullptr, u"Can't find language translation datas !", m_Title, ui::MB_OK);
        m_LanguageCodes.Add(CClassicString("en"));
    }
    // 10. The adapter's performance record, or a quick bench by the game to make it.
    if (!ReadGpuPerfTable(CClassicWideStringRef())) {
        Box(nullptr,
            g_ClassicTranslator.Translate(
                u"Your video card performance has not been found.\r\nA quick bench will be run."),
            m_Title, ui::MB_OK);
        g_ClassicLogLine.Assign("");
        g_ClassicLogLine.Append("[Launcher] GpuPerf not found => run the bench");
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLineToFiles();
        LaunchGame("/bench", true, nullptr);
        if (!ReadGpuPerfTable(CClassicWideStringRef()))
            Box(nullptr,
                g_ClassicTranslator.Translate(u"Could not retrieve your graphic device "
                                              u"performance.\r\nAutomatic graphic quality may be "
                                              u"inadequate."),
                m_Title, ui::MB_OK);
    }
    // 11. The install folder.
    CClassicWideString program;
    GetProgramPath(program);
    GetFolderOfPath(program, m_InstallFolder);
    NormalizeFilePath(m_InstallFolder, true);
    // 12 to 14. The configuration and its language.
    LoadSystemConfig();
    engine->LoadConfigTranslation(m_Config);
    m_Title.Append(u" ");
    m_Title.AppendNarrow(m_Config->m_LanguageCode);
    ui::SetApplicationTitle(LauncherUtf8(m_Title));
    // 15, 16. The main dialog; Play starts the game.
    {
        CMainDlg mainDlg;
        m_pMainWnd = &mainDlg;
        if ((options.MainWindow ? options.MainWindow() : mainDlg.DoModal()) == ui::IDOK) {
            SaveSystemConfig();
            // The launcher ends either way; a game that does not start is told first.
            if (!LaunchGame("", false, nullptr)) {
                CClassicWideString game = m_InstallFolder;
                game.Append(kLauncherGameFile);
                CClassicWideString text;
                text.Format1(g_ClassicTranslator.Translate(u"The game could not be started:\n%1"),
                             LauncherPathForPlayer(game));
                Box(nullptr, text, m_Title, ui::MB_OK);
            }
        }
        // 17.
        ShutdownEngines();
        m_pMainWnd = nullptr;
    }
    return false;
}

void CLauncherApp::StartEngines(const SLauncherOptions& options) {
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_SystemClassList);
    CMwClassRegistry::AddClassList(g_PlugClassList);
    CMwClassRegistry::AddClassList(g_NetClassList);
    CMwClassRegistry::AddClassList(g_ScriptClassList);
    CMwClassRegistry::Init();
    CMwEngineManager* manager = new CMwEngineManager;
    manager->AddRef();
    CMwCmdBufferCore::CreateSingleton()->CreateBuffers();

    const auto add = [manager](u32 engineId, auto make) {
        if (manager->GetEngine(engineId >> 24))
            return;
        CMwEngine* engine = make();
        engine->m_EngineId = engineId;
        engine->CreateNodLists();
        manager->AddEngine(engineId, engine);
    };
    add(0x01000000, [] { return new CMwFoundationsEngine; });
    add(CSystemEngine::s_EngineId, [&options] { return new CSystemEngine(options.SystemHost); });
    // The engine is made only for an empty slot; the HTTP layer starts with its first session.
    NetRegisterEngine();
}

bool CLauncherApp::LaunchGame(CClassicStringRef arguments, bool wait, platform::Process* process) {
    // Before the install folder is known (the first-start bench), the game is the current
    // folder's, as a relative file name would find it.
    CClassicWideString folder = m_InstallFolder;
    if (folder.IsEmpty()) {
        GetCurrentFolder(folder);
        NormalizeFilePath(folder, true);
    }
    CClassicWideString file = folder;
    file.Append(kLauncherGameFile);
    CClassicWideString parameters;
    parameters.AppendNarrow(arguments);

    platform::Process own;
    platform::Process& child = process ? *process : own;
    if (const int error = child.Start(View(file), View(parameters), View(folder))) {
        g_ClassicLogLine.Format("[Launcher] The game could not be started (error %d)\r\n", error);
        ClassicLogWriteLineToFiles();
        return false;
    }
    if (!wait)
        return true;
    return child.Wait() == 0;
}

bool CLauncherApp::LoadSystemConfig() {
    if (m_Config) {
        m_Config->Release();
        m_Config = nullptr;
    }
    const CClassicWideString path = ConfigPath();
    m_ConfigNotLoaded = false;
    if (FileExists(path)) {
        bool loaded = false;
        CSystemConfig* config = ::LoadSystemConfig(path, nullptr, &loaded);
        if (loaded) {
            m_Config = config;
            return true;
        }
        // The loader's defaults; the start-up's own are made below.
        config->Release();
        g_ClassicLogLine.Assign("[Launcher] The configuration could not be loaded from ");
        ClassicLogAppendWideText(g_ClassicLogLine, path);
        g_ClassicLogLine.Append(": the defaults are used\r\n");
        ClassicLogWriteLineToFiles();
        m_ConfigNotLoaded = true;
    }
    m_Config = new CSystemConfig;
    m_Config->AddRef();
    if (CSystemEngine* engine = GetSystemEngine())
        engine->LoadConfigTranslation(m_Config);
    ConfirmConfigWarnings(nullptr, true);
    SaveSystemConfig();
    return false;
}

bool CLauncherApp::MoveConfigAside(const CClassicWideString& path) {
    if (!m_ConfigNotLoaded)
        return true;
    if (FileExists(path)) {
        CClassicWideString aside = path;
        aside.Append(u".bad");
        const bool moved = MoveFileReplacing(path, aside, false);
        g_ClassicLogLine.Assign("[Launcher] The configuration that could not be loaded ");
        g_ClassicLogLine.Append(moved ? "is kept as " : "cannot be moved to ");
        g_ClassicLogLine.AppendWide(aside);
        g_ClassicLogLine.Append(moved ? "\r\n" : ": it is not written over\r\n");
        ClassicLogWriteLineToFiles();
        if (!moved)
            return false;
    }
    m_ConfigNotLoaded = false;
    return true;
}

void CLauncherApp::SaveSystemConfig() {
    const CClassicWideString path = ConfigPath();
    const bool writable =
        MoveConfigAside(path) && (!FileExists(path) || ClearReadOnlyAttribute(path));
    if (writable && ::SaveSystemConfig(m_Config, path, nullptr))
        return;
    CClassicWideString text;
    text.Format1(g_ClassicTranslator.Translate(
                     u"Can't write config settings to \n%1\nPlease check that you're running the "
                     u"game where files can be write."),
                 LauncherPathForPlayer(path));
    Box(nullptr, text, g_ClassicTranslator.Translate(u"Error : Can't write config. file"),
        ui::MB_OK);
}

bool CLauncherApp::ConfirmConfigWarnings(const ui::Dialog* owner, bool startup) {
    const CSystemConfigDisplay* display = m_Config->GetActiveDisplay();
    const u32 type = startup ? ui::MB_OK : ui::MB_OKCANCEL;
    const CClassicWideStringRef caption = g_ClassicTranslator.Translate(u"Warning");
    if (display->m_VertexProcess != 0 &&
        Box(owner,
            g_ClassicTranslator.Translate(
                u"You chose to force software TnL (vertex processing), in the advanced graphic "
                u"pannel.\nThis option can solve graphic driver or card issues, but it may also "
                u"affect the game performance.\nTherefore, it is recommended to only use it to "
                u"fix graphic glitches (like odd geometry deformation)."),
            caption, type) != ui::IDOK)
        return false;
    if (display->m_EnableFullscreenGDI && display->m_Antialiasing > 0 &&
        Box(owner,
            g_ClassicTranslator.Translate(
                u"You chose to enable both antialiasing and the fullscreen GDI support, in the "
                u"advanced graphic pannel.\nThese options aren't compatible: Fullscreen GDI "
                u"support will be disabled."),
            caption, type) != ui::IDOK)
        return false;
    return true;
}

void CLauncherApp::ResetConfigToDefaults(i32 kind) {
    switch (kind) {
        case -1:
            m_Config->SetDefaults();
            break;
        case 0:
            m_Config->SetDisplayDefaults();
            break;
        case 1:
            m_Config->SetAudioDefaults();
            break;
        case 2:
            m_Config->SetNetworkDefaults();
            break;
        case 3:
            m_Config->SetCarDefaults();
            break;
        case 4:
            m_Config->SetInputsDefaults();
            break;
        default:
            break;
    }
}

void CLauncherApp::ShutdownEngines() {
    if (CMwEngineManager* manager = g_MwEngineManager) {
        manager->ShutdownEngines();
        manager->Release();
    }
    CMwIdTable::Destroy();
    CMwCmdBufferCore::DeleteSingleton();
    // A process would end here; the registry's tables are freed so that a next run starts anew.
    CMwClassRegistry::Shutdown();
}

void CLauncherApp::ExitInstance() {
    delete m_Direct3D;
    m_Direct3D = nullptr;
    if (m_Config) {
        m_Config->Release();
        m_Config = nullptr;
    }
    m_ConfigNotLoaded = false;
    delete m_Mutex;
    m_Mutex = nullptr;
    m_LanguageCodes.FreeItems();
    m_Title = CClassicWideString();
    m_InstallFolder = CClassicWideString();
}

int RunLauncher(const SLauncherOptions& options) {
    CheckUnicodeLayer();
    RegisterMainDlgResources();
    RegisterConfigDlgResources();
    RegisterAdvancedDlgResources();
    RegisterHelpDlgResources();
    RegisterCustomDataDlgResources();
    RegisterBenchDlgResources();
    const ui::IdleHook oldIdle = ui::SetIdleHook(&LauncherIdle);
    const ui::TranslationHook oldTranslation = ui::SetTranslationHook(&TranslateLayerText);
    SetSystemConfigArchiveOps(options.ConfigFileOps);
    CPlugFileServices& oldFileClasses = PlugFileServices();
    PlugStart();
    theApp.InitInstance(options);
    theApp.ExitInstance();
    SetPlugFileServices(&oldFileClasses);
    SetSystemConfigArchiveOps(nullptr);
    ui::SetTranslationHook(oldTranslation);
    ui::SetIdleHook(oldIdle);
    return 0;
}
