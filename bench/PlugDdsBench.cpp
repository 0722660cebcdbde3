// A 2048 x 2048 TGA written as a DDS file with its whole chain (12 levels): the engine's road
// (CPlugFileTga::LoadFromPath, a new bitmap, SetImage, SetWantMipMapping, CompressToDds into the
// same folder) against ImageMagick's convert doing the same job as a process of its own
// (`convert -limit thread 1 in.tga -define dds:compression=dxt1 -define dds:mipmaps=11 out.dds`,
// dxt5 for the RGBA input). Both run on one thread and take turns, their order swapped at every
// iteration, timed by the wall clock (BenchPair measures the calling thread's CPU time, which
// would not see convert's process); convert's user and system time come from the kernel (wait4,
// through process_peak).
//
// Inputs, made by ImageMagick at start from Debian's assimp-testmodels (bench/install-inputs.sh):
//   atlas_rgb_dxt1    glTF/CesiumMilkTruck/CesiumMilkTruck.png as a 24-bit TGA, DXT1
//   render_rgba_dxt5  Collada/teapots_reference.png scaled to 2048 x 2048, a 32-bit TGA, DXT5
// Counters:
//   project_ms  median wall time of the engine's whole road (load, chain, compression, write)
//   peer_ms     median wall time of convert, from its start to its exit
//   ratio       project_ms / peer_ms
//   peer_cpu_ms median user + system time of convert
//   load_ms, chain_ms, compress_ms  the engine's road apart: the TGA load, PrepareImage (the
//               chain), CompressToDds (the compression of every level and the write)
// Goal: ratio at most 0.5 for each input.
#include "BenchPair.h"
#include "ProcessRun.h"
#include "core/base/ClassicLog.h"
#include "platform/HostPath.h"
#include "plug/bitmap/PlugBitmap.h"
#include "plug/bitmap/PlugFileTga.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr const char* kPackage = "assimp-testmodels";

struct SInput {
    const char* Name;
    const char* Source;
    // How convert makes the TGA from the source.
    const char* Make;
    const char* Compression;
};

const SInput kInputs[] = {
    {"atlas_rgb_dxt1", "/usr/share/assimp/models/glTF/CesiumMilkTruck/CesiumMilkTruck.png",
     "-alpha off -depth 8 -type TrueColor", "dxt1"},
    {"render_rgba_dxt5", "/usr/share/assimp/models/Collada/teapots_reference.png",
     "-resize 2048x2048! -alpha on -depth 8 -type TrueColorAlpha", "dxt5"},
};

CClassicWideString EnginePath(const std::string& host) {
    return CClassicWideString(platform::FromHostPath(host).c_str());
}

// A temporary folder, removed at exit.
struct CFolder {
    CFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dds-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Path = pattern;
    }
    ~CFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    std::string File(const std::string& name) const { return m_Path + "/" + name; }
    std::string m_Path;
};

void Dds(benchmark::State& state, const SInput& input) {
    if (!std::filesystem::exists(input.Source)) {
        state.SkipWithError((std::string("missing ") + input.Source + ": install the package " +
                             kPackage + " (bench/install-inputs.sh)")
                                .c_str());
        return;
    }
    CFolder folder;
    const std::string tga = folder.File("in.tga");
    const std::string make =
        std::string("convert ") + input.Source + " " + input.Make + " " + tga + " 2>&1";
    if (std::system(make.c_str()) != 0 || !std::filesystem::exists(tga)) {
        state.SkipWithError("ImageMagick's convert could not make the TGA");
        return;
    }
    const std::string ours = folder.File("ours.dds"), theirs = folder.File("convert.dds");
    const std::vector<std::string> convert = {"/usr/bin/convert",
                                              "-limit",
                                              "thread",
                                              "1",
                                              tga,
                                              "-define",
                                              std::string("dds:compression=") + input.Compression,
                                              "-define",
                                              "dds:mipmaps=11",
                                              theirs};
    const CClassicWideString tgaPath = EnginePath(tga), target = EnginePath(ours);
    std::vector<double> wall[2], peerCpu, load, chain, compress;
    bool oursFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) != oursFirst) {
                const bench::SProcessRun run = bench::RunProcess(convert, folder.File("report"));
                if (!run.Ok) {
                    state.SkipWithError("convert failed");
                    return;
                }
                wall[1].push_back(run.WallMs);
                peerCpu.push_back(run.CpuMs);
                continue;
            }
            const double start = bench::NowMs();
            CMwNodRef image(new CPlugFileTga);
            if (static_cast<CPlugFileTga*>(image.Get())->LoadFromPath(tgaPath) != 1) {
                state.SkipWithError("the TGA did not load");
                return;
            }
            CMwNodRef held(new CPlugBitmap);
            auto* bitmap = static_cast<CPlugBitmap*>(held.Get());
            bitmap->SetImage(static_cast<CPlugFileTga*>(image.Get()));
            bitmap->SetWantMipMapping(true);
            const double loaded = bench::NowMs();
            const bool prepared = bitmap->PrepareImage();
            const double chained = bench::NowMs();
            const bool written = prepared && bitmap->CompressToDds(false, target, false);
            const double end = bench::NowMs();
            if (!written) {
                state.SkipWithError("CompressToDds failed");
                return;
            }
            wall[0].push_back(end - start);
            load.push_back(loaded - start);
            chain.push_back(chained - loaded);
            compress.push_back(end - chained);
        }
        oursFirst = !oursFirst;
    }
    const u64 expected = 128 + (input.Compression[3] == '1' ? 8 : 16) * 349527ull;
    if (std::filesystem::file_size(ours) != expected) {
        state.SkipWithError("our DDS file has not the size of a 12-level chain");
        return;
    }
    const double project = bench::Median(wall[0]), peer = bench::Median(wall[1]);
    state.counters["project_ms"] = project;
    state.counters["peer_ms"] = peer;
    state.counters["ratio"] = project / peer;
    state.counters["peer_cpu_ms"] = bench::Median(peerCpu);
    state.counters["load_ms"] = bench::Median(load);
    state.counters["chain_ms"] = bench::Median(chain);
    state.counters["compress_ms"] = bench::Median(compress);
}

struct CRegister {
    CRegister() {
        g_ClassicLog.m_SuspendCount = 1;
        for (const SInput& input : kInputs)
            benchmark::RegisterBenchmark((std::string("Dds/") + input.Name).c_str(),
                                         [&input](benchmark::State& state) { Dds(state, input); })
                ->Iterations(6)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
    }
} s_Register;

} // namespace
