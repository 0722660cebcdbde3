#pragma once
// A whole launcher run in a temporary install folder: the stand-in game as "Brisalde", the data
// folder, catalogues made with msgfmt, the registry and the runtime folder (the lock) redirected
// into the folder, the command line naming the launcher's program there, a fake adapter and host,
// and the configuration file read and written by a fake of the archive operations.
#include "core/base/ClassicTranslator.h"
#include "launcher/LauncherApp.h"
#include "platform/HostPath.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "system/config/GpuInfo.h"
#include "system/config/GpuPerf.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemConfigFile.h"
#include "system/config/SystemLanguage.h"
#include "tests/support/FakeAdapter.h"
#include "tests/support/GameStandin.h"
#include "tests/support/HeadlessUi.h"
#include "tests/system/engine/EngineTestSupport.h"
#include "tests/system/fid/FidTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// The configuration file as "key=value" lines of the values the launcher looks at. A file that
// does not hold the first line is damaged. Saving writes only when the text changes. Paths are
// found as the engine finds them, ignoring case where the spelling given does not exist.
class CFakeConfigFile final : public CSystemConfigArchiveOps {
public:
    CFakeConfigFile() = default;
    CFakeConfigFile(const CFakeConfigFile&) = delete;
    CFakeConfigFile& operator=(const CFakeConfigFile&) = delete;

    static std::string Text(const CSystemConfig& config) {
        std::ostringstream text;
        const CSystemConfigDisplay& display = *config.m_Display;
        text << "config=1\nlanguage=" << config.m_LanguageCode.GetText()
             << "\nsafe=" << config.m_IsSafeMode << "\nvertex=" << display.m_VertexProcess
             << "\ngdi=" << display.m_EnableFullscreenGDI << "\naa=" << display.m_Antialiasing
             << "\n";
        return text.str();
    }

    u32 LoadNodFromFile(CClassicWideStringRef path, CMwNod** nod, CSystemFids*, u32,
                        bool) override {
        *nod = nullptr;
        ++m_Loads;
        std::string host;
        if (!platform::ResolveHostPath(std::u16string_view(path.m_Text, path.m_Length), host))
            return 0;
        std::ifstream in(host);
        std::map<std::string, std::string> values;
        std::string line;
        while (std::getline(in, line))
            if (const size_t equal = line.find('='); equal != std::string::npos)
                values[line.substr(0, equal)] = line.substr(equal + 1);
        if (values["config"] != "1")
            return 0;
        auto* loaded = new CSystemConfig;
        loaded->m_LanguageCode.Assign(values["language"].c_str());
        loaded->m_IsSafeMode = u32(std::stoul(values["safe"]));
        loaded->m_Display->m_VertexProcess = u32(std::stoul(values["vertex"]));
        loaded->m_Display->m_EnableFullscreenGDI = u32(std::stoul(values["gdi"]));
        loaded->m_Display->m_Antialiasing = u32(std::stoul(values["aa"]));
        *nod = loaded;
        return 1;
    }

    u32 SaveNodToFile(CClassicWideStringRef path, CMwNod* nod, CSystemFids*, u32, u32, bool,
                      bool) override {
        const auto* config = static_cast<const CSystemConfig*>(nod);
        ++m_Saves;
        std::string host;
        if (!platform::ResolveHostPath(std::u16string_view(path.m_Text, path.m_Length), host))
            return 0;
        const std::string text = Text(*config);
        std::ifstream in(host);
        std::stringstream old;
        old << in.rdbuf();
        if (in.good() && old.str() == text)
            return 1;
        if (access(host.c_str(), F_OK) == 0 && access(host.c_str(), W_OK) != 0)
            return 0;
        std::ofstream out(host, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        return out.good() ? 1 : 0;
    }

    u32 m_Loads = 0;
    u32 m_Saves = 0;
};

// Environment variables set for the holder's life.
class CLauncherEnvironment {
public:
    CLauncherEnvironment(const std::string& registry, const std::string& runtime)
        : m_Registry("ENGINE_REGISTRY_DIR", registry.c_str()),
          m_Runtime("XDG_RUNTIME_DIR", runtime.c_str()) {}

private:
    CScopedEnvVar m_Registry;
    CScopedEnvVar m_Runtime;
};

// The fake adapter with hardware shaders: an adapter of the lowest shader class needs no row.
inline platform::Adapter LauncherAdapter() {
    platform::Adapter adapter = FakeAdapterDescription();
    adapter.HardwareTransformAndLight = true;
    adapter.ProjectedTextures = true;
    adapter.PixelShaderVersion = platform::PixelShaderVersion(2, 0);
    adapter.VertexShaderVersion = platform::VertexShaderVersion(2, 0);
    return adapter;
}

class CLauncherFixture : public HeadlessUiTest {
protected:
    CLauncherFixture() : CLauncherFixture(GTestHeadlessOptions()) {}
    explicit CLauncherFixture(ui::HeadlessOptions options)
        : HeadlessUiTest(std::move(options)),
          m_Environment(m_Install.File("registry"), m_Install.File("run")), m_Checksum(0x12345678) {
        std::filesystem::create_directories(m_Install.File("GameData"));
        std::filesystem::create_directories(m_Install.File("run"));
        m_Install.SetBehaviour("gpu_vendor = 0x5A5A\ngpu_device = 0x0101\n");
        m_OldFolder = std::filesystem::current_path();
        std::filesystem::current_path(m_Install.Path());
        platform::SetCommandLine(
            u"\"" + platform::FromHostPath(m_Install.File("BrisaldeLauncher")) + u"\"");
        m_Options.SystemHost.HostFacts = &FakeHostFacts;
        m_Options.ConfigFileOps = &m_ConfigFile;
        WriteRegistry("");
        WriteCatalogue("en", {{"|I18NInternal|English", "English"}});
    }
    ~CLauncherFixture() override {
        g_ClassicTranslator.Unload();
        std::filesystem::current_path(m_OldFolder);
        platform::SetCommandLine(std::u16string());
    }

    // The header lines of the GPU table and, when asked, the fake adapter's row.
    void WriteGpuTable(bool withRow) const {
        std::string table =
            "1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 "
            "PArith20\r\n";
        if (withRow)
            table += "5A5A 0101 100 400 380 340 280 220 300 420 260\r\n";
        WriteWholeFile(m_Install.File("GameData/GfxDevicePerfs.txt"), table);
    }

    // A catalogue made by msgfmt under GameData/Translations; the pairs are msgid, msgstr.
    void WriteCatalogue(const std::string& code,
                        const std::vector<std::pair<std::string, std::string>>& messages) const {
        std::filesystem::create_directories(m_Install.File("GameData/Translations"));
        std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                         "msgid \"|I18NInternal|Encoding\"\nmsgstr \"utf8\"\n\n";
        for (const auto& [id, text] : messages)
            po += "msgid \"" + id + "\"\nmsgstr \"" + text + "\"\n\n";
        const std::string source = m_Install.File(code + ".po");
        WriteWholeFile(source, po);
        RunCommand("msgfmt -o " + m_Install.File("GameData/Translations/" + code + ".mo") + " " +
                   source);
    }

    // The launcher's registry key with the values' lines; the language is English unless a
    // line names another.
    void WriteRegistry(const std::string& values) const {
        std::filesystem::create_directories(m_Install.File("registry/Software/Vorel"));
        WriteWholeFile(
            m_Install.File("registry/Software/Vorel/Brisalde.reg"),
            "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\n" + values +
                (values.find("\"Language\"") == std::string::npos ? "\"Language\"=\"en\"\n" : ""));
    }
    // What the registry holds for a value, empty when nothing.
    std::string RegistryValue(const std::string& name) const {
        std::u16string value;
        platform::RegistryRead(u"Software\\Vorel\\Brisalde", platform::HostTextToWide(name), value);
        return platform::WideToHostText(value);
    }

    std::string ConfigFile() const { return m_Install.File("Default.SystemConfig.Zun"); }

    // One run of the launcher with the script.
    void Run(ui::Script script) {
        m_Ui.Play(std::move(script));
        EXPECT_EQ(RunLauncher(m_Options), 0);
    }

    // One run; the transcript lines it added.
    std::vector<std::string> RunAndTake(ui::Script script) {
        const size_t before = m_Ui.Transcript().size();
        Run(std::move(script));
        return std::vector<std::string>(m_Ui.Transcript().begin() + std::ptrdiff_t(before),
                                        m_Ui.Transcript().end());
    }

    // Transcript lines since the start of the test.
    std::vector<std::string> Lines() const { return m_Ui.Transcript(); }
    bool HasLine(const std::string& line) const {
        const auto& lines = m_Ui.Transcript();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    CGameInstall m_Install;
    CLauncherEnvironment m_Environment;
    CConfigRecords m_Records;
    CKnownExeChecksum m_Checksum;
    CFakeAdapter m_Adapter{LauncherAdapter()};
    CFakeConfigFile m_ConfigFile;
    SLauncherOptions m_Options;
    std::filesystem::path m_OldFolder;
};
