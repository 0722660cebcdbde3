// Zip archives as folders against the unzip command, both timed by the wall clock (unzip runs
// as a process of its own, its output discarded). Archives made at start by Python's zipfile:
// 5 000 deflated entries of 2 KB in nested folders, 4 deflated entries of 16 MB of mixed bytes,
// and the same 4 entries stored.
//   Listing/<archive>: CPlugFileZip::LoadFromPath against "unzip -Z1".
//   Reading/<archive>: every entry opened with OpenEntry, read to its end and closed, against
//                      "unzip -p".
// unzip's start is timed too, by the same command on an archive of two entries of a few bytes,
// for the ratio without it (ratio_less_start).
#include "BenchPair.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwId.h"
#include "platform/HostPath.h"
#include "plug/PlugClasses.h"
#include "plug/PlugStart.h"
#include "plug/bitmap/PlugFileZip.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFids.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The System engine over a temporary folder whose "GameData" holds the three archives.
struct SZipBenchWorld {
    std::filesystem::path Folder;
    CSystemEngine* Engine = nullptr;
    CMwEngineManager* Manager = nullptr;

    SZipBenchWorld() {
        g_ClassicLog.m_SuspendCount = 1;
        std::string pattern = (std::filesystem::temp_directory_path() / "zipbench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        Folder = pattern;
        std::filesystem::create_directories(Folder / "GameData");
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_PlugClassList);
        CMwClassRegistry::Init();
        SSystemEngineHost host;
        host.HostFacts = [](platform::HostFacts& facts) {
            facts = platform::HostFacts();
            facts.SystemName = "Linux";
            facts.PhysicalMemory = u64(1) << 30;
            facts.ProcessorCount = 1;
            facts.ActiveProcessorMask = 1;
        };
        host.Adapter = [](platform::Adapter& out, std::string&) {
            out = platform::Adapter();
            out.Present = true;
            return platform::AdapterSource::File;
        };
        host.CurrentFolder = CClassicWideString(platform::FromHostPath(Folder.string()).c_str());
        Manager = new CMwEngineManager;
        Manager->AddRef();
        Engine = SystemRegisterEngine(host);
        if (!Engine || !Engine->GetDataFolder())
            std::abort();
        PlugStart();
    }
    ~SZipBenchWorld() {
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
    // Makes the archive on first use.
    void Make(const char* kind) {
        if (std::filesystem::exists(Path(kind)))
            return;
        const std::string command = std::string("/usr/bin/python3 ") + ENGINE_SOURCE_DIR +
                                    "/tests/plug/bitmap/zip_fixtures.py make " + kind + " " +
                                    Path(kind);
        if (std::system(command.c_str()) != 0)
            std::abort();
    }
    // The archive of a few bytes unzip's start is timed with.
    std::string Tiny() {
        Make("skins");
        return Path("skins");
    }
    std::string Path(const char* kind) const {
        return (Folder / "GameData" / (std::string(kind) + ".zip")).string();
    }
    CClassicWideString EnginePath(const char* kind) const {
        return CClassicWideString(platform::FromHostPath(Path(kind)).c_str());
    }
};

SZipBenchWorld& World() {
    static SZipBenchWorld* world = new SZipBenchWorld;
    return *world;
}

// Runs unzip with the arguments, its output discarded.
bool RunUnzip(const char* option, const std::string& path) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("unzip"), const_cast<char*>(option),
                    const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    int status = 0;
    const bool ran = posix_spawnp(&child, "unzip", &actions, nullptr, argv, environ) == 0 &&
                     waitpid(child, &status, 0) == child && status == 0;
    posix_spawn_file_actions_destroy(&actions);
    return ran;
}

void Listing(benchmark::State& state, const char* kind) {
    SZipBenchWorld& world = World();
    world.Make(kind);
    const CClassicWideString path = world.EnginePath(kind);
    const std::string host = world.Path(kind);
    const std::string tiny = world.Tiny();
    CMwNodRef zip(new CPlugFileZip);
    auto* plugZip = static_cast<CPlugFileZip*>(zip.Get());
    bench::InterleaveWallTimeLessStart(
        state,
        [&] {
            if (plugZip->LoadFromPath(path) != 1)
                std::abort();
        },
        [&] {
            if (!RunUnzip("-Z1", host))
                std::abort();
        },
        [&] {
            if (!RunUnzip("-Z1", tiny))
                std::abort();
        });
    state.counters["entries"] = plugZip->GetFileCount();
}

void Reading(benchmark::State& state, const char* kind) {
    SZipBenchWorld& world = World();
    world.Make(kind);
    const std::string host = world.Path(kind);
    const std::string tiny = world.Tiny();
    CMwNodRef zip(new CPlugFileZip);
    auto* plugZip = static_cast<CPlugFileZip*>(zip.Get());
    if (plugZip->LoadFromPath(world.EnginePath(kind)) != 1)
        std::abort();
    plugZip->InstallFids(nullptr, true);
    std::unique_ptr<u8[]> piece(new u8[65536]);
    u64 bytes = 0;
    bench::InterleaveWallTimeLessStart(
        state,
        [&] {
            bytes = 0;
            for (u32 i = 0; i < plugZip->GetFileCount(); ++i) {
                ZipEntryStream* stream =
                    plugZip->OpenEntry(plugZip->GetFileInfo(i)->m_InstalledFid);
                if (!stream)
                    std::abort();
                while (const u32 got = stream->Read(piece.get(), 65536))
                    bytes += got;
                if (!plugZip->CloseEntry(stream))
                    std::abort();
            }
        },
        [&] {
            if (!RunUnzip("-p", host))
                std::abort();
        },
        [&] {
            if (!RunUnzip("-p", tiny))
                std::abort();
        });
    plugZip->UninstallFids();
    state.counters["bytes"] = double(bytes);
}

} // namespace

BENCHMARK_CAPTURE(Listing, Many, "many")->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(Listing, BigDeflated, "big-deflated")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(Listing, BigStored, "big-stored")->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(Reading, Many, "many")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(Reading, BigDeflated, "big-deflated")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(Reading, BigStored, "big-stored")->Unit(benchmark::kMillisecond)->Iterations(10);
