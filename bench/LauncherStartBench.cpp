// The launcher's start on the headless backend, in an install folder laid out like the demo's:
// catalogues "en" and "fr", the GPU table with the adapter's row, a configuration saved by a first
// start, the registry and the lock redirected into the folder, the host's clock measurement
// replaced by a fixed answer. The script ends the main dialog at once.
//
// Counters: dialog_ns, the median time from the call of RunLauncher to the end of the main
// dialog's OnInitDialog; run_ns, the whole run; peer_ns, reading the bytes of every file the
// start reads (catalogues, GPU table, registry key, configuration) with plain reads; ratio,
// run_ns / peer_ns. Rounds of both sides alternate.
#include "BenchPair.h"
#include "launcher/LauncherApp.h"
#include "launcher/MainDlg.h"
#include "platform/Adapter.h"
#include "platform/HostFacts.h"
#include "platform/HostPath.h"
#include "platform/Process.h"
#include "platform/ui/Headless.h"
#include "plug/PlugStart.h"
#include "system/config/SystemConfig.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out.good())
        std::abort();
}

void Catalogue(const fs::path& folder, const std::string& code, const std::string& name) {
    const fs::path po = folder / (code + ".po");
    WriteFile(po, "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                  "msgid \"|I18NInternal|Encoding\"\nmsgstr \"utf8\"\n\n"
                  "msgid \"|I18NInternal|English\"\nmsgstr \"" +
                      name + "\"\n\nmsgid \"Play\"\nmsgstr \"Play " + code + "\"\n");
    const fs::path mo = folder / "GameData" / "Translations" / (code + ".mo");
    fs::create_directories(mo.parent_path());
    if (std::system(("msgfmt -o '" + mo.string() + "' '" + po.string() + "'").c_str()) != 0)
        std::abort();
    fs::remove(po);
}

void FixedHostFacts(platform::HostFacts& facts) {
    facts = platform::HostFacts();
    facts.SystemName = "Linux";
    facts.PhysicalMemory = u64(8) << 30;
    facts.ProcessorCount = 1;
    facts.ActiveProcessorMask = 1;
    facts.ReportedMhz = 2900;
}

platform::AdapterSource FixedAdapter(platform::Adapter& out, std::string&) {
    out = platform::Adapter();
    out.Present = true;
    out.VendorId = 0x5A5A;
    out.DeviceId = 0x0101;
    out.Description = "Bench Adapter";
    out.Desktop = {1280, 1024, 60, platform::D3dFormat::X8R8G8B8};
    out.HardwareTransformAndLight = true;
    out.ProjectedTextures = true;
    out.PixelShaderVersion = platform::PixelShaderVersion(2, 0);
    out.VertexShaderVersion = platform::VertexShaderVersion(2, 0);
    return platform::AdapterSource::File;
}

struct CBenchInstall {
    CBenchInstall() {
        std::string pattern = (fs::temp_directory_path() / "launcher-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Folder = pattern;
        Catalogue(m_Folder, "en", "English");
        Catalogue(m_Folder, "fr",
                  "Fran\xc3\xa7"
                  "ais");
        WriteFile(m_Folder / "GameData" / "GfxDevicePerfs.txt",
                  "1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 "
                  "PArith20\r\n5A5A 0101 100 400 380 340 280 220 300 420 260\r\n");
        WriteFile(m_Folder / "registry" / "Software" / "Vorel" / "Brisalde.reg",
                  "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]\n\"Version\"=\"0.0.1.0\"\n"
                  "\"Language\"=\"en\"\n");
        fs::create_directories(m_Folder / "run");

        setenv("ENGINE_REGISTRY_DIR", (m_Folder / "registry").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_Folder / "run").c_str(), 1);
        fs::current_path(m_Folder);
        platform::SetCommandLine(
            u"\"" + platform::FromHostPath((m_Folder / "BrisaldeLauncher").string()) + u"\"");
        platform::SetAdapterDescriber(&FixedAdapter);
        // Catalogues are found by their extension, as the launcher finds them.
        PlugStart();
        g_SystemExeChecksum = 0x12345678;
        m_Options.SystemHost.HostFacts = &FixedHostFacts;
    }

    // The files the start reads, once a first start has saved the configuration.
    void ListFiles() {
        for (const auto& entry : fs::recursive_directory_iterator(m_Folder))
            if (entry.is_regular_file() && entry.path().filename() != "VorelMutexUnique.lock")
                m_Files.push_back(entry.path().string());
    }
    ~CBenchInstall() {
        PlugStop();
        platform::SetAdapterDescriber(nullptr);
        std::error_code ignored;
        fs::remove_all(m_Folder, ignored);
    }

    fs::path m_Folder;
    std::vector<std::string> m_Files;
    SLauncherOptions m_Options;
};

// One run; the time to the main dialog in *dialogNs.
double RunOnce(CBenchInstall& install, double* dialogNs) {
    ui::HeadlessBackend backend;
    const Clock::time_point start = Clock::now();
    Clock::time_point shown = start;
    backend.Play(ui::Script()
                     .Expect(
                         [&](const ui::View&) {
                             shown = Clock::now();
                             return true;
                         },
                         "the main dialog is up")
                     .In(kMainDlgTemplateId)
                     .Click(ui::IDCANCEL));
    RunLauncher(install.m_Options);
    const Clock::time_point end = Clock::now();
    if (!backend.Finish())
        std::abort();
    *dialogNs = double(std::chrono::duration_cast<std::chrono::nanoseconds>(shown - start).count());
    return double(std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count());
}

// Reads every file of the layout.
double ReadAll(const CBenchInstall& install) {
    const Clock::time_point start = Clock::now();
    std::vector<char> buffer(1 << 16);
    size_t total = 0;
    for (const std::string& path : install.m_Files) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file)
            std::abort();
        size_t got;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
            total += got;
        std::fclose(file);
    }
    benchmark::DoNotOptimize(total);
    return double(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
}

void BM_LauncherStart(benchmark::State& state) {
    CBenchInstall install;
    double ignored = 0;
    RunOnce(install, &ignored); // saves the configuration the runs load
    install.ListFiles();
    std::vector<double> dialog, run, peer, ratios;
    bool projectFirst = true;
    for (auto _ : state) {
        double d = 0, r = 0, p = 0;
        if (projectFirst) {
            r = RunOnce(install, &d);
            p = ReadAll(install);
        } else {
            p = ReadAll(install);
            r = RunOnce(install, &d);
        }
        projectFirst = !projectFirst;
        dialog.push_back(d);
        run.push_back(r);
        peer.push_back(p);
        ratios.push_back(r / std::max(p, 1.0));
    }
    state.counters["dialog_ns"] = bench::Median(dialog);
    state.counters["run_ns"] = bench::Median(run);
    state.counters["peer_ns"] = bench::Median(peer);
    state.counters["ratio"] = bench::Median(ratios);
}
BENCHMARK(BM_LauncherStart)->Iterations(200)->Unit(benchmark::kMillisecond);

} // namespace
