// The game configuration as the launcher handles it at every start and at every OK: loaded from
// its archive file and saved back through the archive operations (LoadSystemConfig with find in
// tree and the full load, SaveSystemConfig in the file id's format, only when changed), against
// reading the same file's bytes, in alternating rounds (see BenchPair.h). The file is the
// configuration with its defaults in text form, as the launcher first writes it, in the install
// folder of a System engine.
// - LoadSaveUnchanged: a new configuration (defaults, registry read) loaded from the file, its
//   image made and compared with the file (equal: the file is left alone), the configuration
//   released; the peer opens the file and reads its bytes.
// - LoadSaveChanged: the same with a member changed, so that the image is written through a
//   temporary file (flushed to disk, renamed over the file); the peer reads the bytes and writes
//   them through a temporary file the same way (write, fsync, rename).
// - LoadByName/files:n: a configuration file loaded by its name (found in the tree of files,
//   loaded whole, released) from a folder that holds n other file ids; the files loaded in turn
//   (16 of them) lie spread over the folder's list. The peer reads the same file's bytes. The
//   time of a load by name stays the same whatever the folder holds.
// Both check after the rounds that the file loads.
#include "BenchPair.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwId.h"
#include "platform/Adapter.h"
#include "platform/HostFacts.h"
#include "platform/HostPath.h"
#include "system/SystemClasses.h"
#include "system/config/GpuPerf.h"
#include "system/config/SystemConfig.h"
#include "system/config/SystemConfigFile.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

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
    return platform::AdapterSource::File;
}

// A temporary install folder with an empty registry folder and the configuration file, and a
// System engine whose current folder it is; removed at exit.
struct CBenchInstall {
    CBenchInstall() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "config-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Folder = pattern;
        setenv("ENGINE_REGISTRY_DIR", (m_Folder + "/registry").c_str(), 1);
        // The log's lines stay out of memory over the many rounds.
        g_ClassicLog.m_SuspendCount = 1;

        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_SystemClassList);
        CMwClassRegistry::Init();
        g_SystemExeChecksum = 0x12345678;
        m_Manager = new CMwEngineManager;
        m_Manager->AddRef();
        SSystemEngineHost host;
        host.HostFacts = &FixedHostFacts;
        host.Adapter = &FixedAdapter;
        host.CurrentFolder = CClassicWideString(platform::FromHostPath(m_Folder).c_str());
        if (!SystemRegisterEngine(host))
            std::abort();
        // Scores found, as after the launcher's start: the display part does not look for the
        // table.
        g_GpuPerf.Geom = 120;
        g_GpuPerf.Aniso1 = g_GpuPerf.Aniso2 = g_GpuPerf.Aniso4 = 300;
        g_GpuPerf.Aniso8 = g_GpuPerf.Aniso16 = 200;
        g_GpuPerf.PArith11 = g_GpuPerf.PArith20 = g_GpuPerf.PTexD11 = 100;
        g_GpuPerf.Flags = kGpuPerfFound;

        m_Host = m_Folder + "/Default.SystemConfig.Zun";
        m_Engine = CClassicWideString(platform::FromHostPath(m_Host).c_str());
        CSystemConfig* config = new CSystemConfig;
        config->AddRef();
        const bool saved = SaveSystemConfig(config, m_Engine, nullptr);
        config->Release();
        if (!saved)
            std::abort();
    }
    ~CBenchInstall() {
        m_Manager->ShutdownEngines();
        m_Manager->Release();
        CMwClassRegistry::Shutdown();
        CMwIdTable::Destroy();
        std::error_code ignored;
        std::filesystem::remove_all(m_Folder, ignored);
    }
    CBenchInstall(const CBenchInstall&) = delete;
    CBenchInstall& operator=(const CBenchInstall&) = delete;

    std::string m_Folder;
    std::string m_Host;
    CClassicWideString m_Engine;
    CMwEngineManager* m_Manager = nullptr;
};

CBenchInstall& Install() {
    static CBenchInstall s_Install;
    return s_Install;
}

// One start or OK of the launcher: load, change when asked, save only when changed.
bool ProjectRound(bool change) {
    bool loaded = false;
    CSystemConfig* config = LoadSystemConfig(Install().m_Engine, nullptr, &loaded);
    if (change)
        config->m_AudioMusicVolume = config->m_AudioMusicVolume == 1.0f ? 0.5f : 1.0f;
    const bool saved = SaveSystemConfig(config, Install().m_Engine, nullptr);
    config->Release();
    return loaded && saved;
}

std::vector<char> PeerRead(const std::string& host = Install().m_Host) {
    std::vector<char> bytes;
    const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    close(fd);
    return bytes;
}

bool PeerWrite(const std::vector<char>& bytes) {
    const std::string temp = Install().m_Host + ".peer";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const bool written =
        write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()) && fsync(fd) == 0;
    return close(fd) == 0 && written && rename(temp.c_str(), Install().m_Host.c_str()) == 0;
}

void Check(benchmark::State& state, bool ok) {
    bool loaded = false;
    LoadSystemConfig(Install().m_Engine, nullptr, &loaded)->Release();
    if (!ok || !loaded)
        state.SkipWithError("the configuration file could not be loaded and saved");
}

void LoadSaveUnchanged(benchmark::State& state) {
    Install();
    bool ok = true;
    bench::Interleave(
        state, [&] { ok &= ProjectRound(false); }, [&] { benchmark::DoNotOptimize(PeerRead()); });
    Check(state, ok);
}

void LoadSaveChanged(benchmark::State& state) {
    Install();
    bool ok = true;
    bench::Interleave(
        state, [&] { ok &= ProjectRound(true); }, [&] { ok &= PeerWrite(PeerRead()); });
    Check(state, ok);
}

// The files loaded by name, and the folder that holds them among its other file ids.
struct SLoadFolder {
    std::vector<std::string> Hosts;
    std::vector<CClassicWideString> Names;
    CSystemFids* Folder = nullptr;
    std::vector<CSystemFid*> Neighbours;
};

SLoadFolder MakeLoadFolder(u32 neighbours) {
    constexpr u32 kLoaded = 16;
    SLoadFolder made;
    const std::string folder = Install().m_Folder + "/byname";
    std::filesystem::create_directories(folder);
    CSystemConfig* config = new CSystemConfig;
    config->AddRef();
    for (u32 i = 0, next = 0; i < kLoaded; ++i) {
        const std::string host = folder + "/Load" + std::to_string(i) + ".SystemConfig.Zun";
        made.Hosts.push_back(host);
        made.Names.emplace_back(platform::FromHostPath(host).c_str());
        if (!SaveSystemConfig(config, made.Names.back(), nullptr))
            std::abort();
        made.Folder = config->GetFid()->m_Folder;
        // The neighbours before the next file: the loaded files lie spread over the list.
        for (const u32 end = u32(u64(neighbours) * (i + 1) / kLoaded); next < end; ++next) {
            auto* fid = new CSystemFidFile;
            CClassicWideString name;
            name.AssignFromNarrow(("Neighbour" + std::to_string(next) + ".dat").c_str());
            fid->SetFileName(name);
            made.Folder->AddLeaf(fid);
            made.Neighbours.push_back(fid);
        }
    }
    config->Release();
    return made;
}

void LoadByName(benchmark::State& state) {
    SLoadFolder folder = MakeLoadFolder(u32(state.range(0)));
    bool ok = true;
    size_t project = 0, peer = 0;
    bench::Interleave(
        state,
        [&] {
            bool loaded = false;
            LoadSystemConfig(folder.Names[project++ % folder.Names.size()], nullptr, &loaded)
                ->Release();
            ok &= loaded;
        },
        [&] { benchmark::DoNotOptimize(PeerRead(folder.Hosts[peer++ % folder.Hosts.size()])); });
    if (!ok)
        state.SkipWithError("a configuration file could not be loaded by its name");
    for (CSystemFid* fid : folder.Neighbours)
        delete fid;
}

} // namespace

BENCHMARK(LoadSaveUnchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadSaveChanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadByName)
    ->ArgNames({"files"})
    ->Arg(0)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
