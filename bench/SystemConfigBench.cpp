// The game configuration as the launcher handles it at every start and at every OK: loaded from
// its file and saved back, against reading the same file's bytes, in alternating rounds (see
// BenchPair.h). The file holds the configuration's body with its defaults, in text form, as a
// new configuration is first written.
// - LoadSaveUnchanged: the file read into memory, a new configuration (defaults, registry read)
//   read from it, its body written into memory and compared with the file's bytes (equal: the
//   file is left alone); the peer opens the file and reads its bytes.
// - LoadSaveChanged: the same, with a member changed so that the body is written through a
//   temporary file (flushed to disk, renamed over the file); the peer reads the bytes and writes
//   them through a temporary file the same way (write, fsync, rename).
// Both check after the rounds that the file holds a body the configuration reads.
#include "BenchPair.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "platform/HostPath.h"
#include "system/config/GpuPerf.h"
#include "system/config/SystemConfig.h"
#include "system/file/ClassicBufferFile.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A temporary folder with the configuration file and an empty registry folder, removed at exit.
struct CBenchFiles {
    CBenchFiles() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "config-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Folder = pattern;
        setenv("ENGINE_REGISTRY_DIR", (m_Folder + "/registry").c_str(), 1);
        // Scores found, as after the launcher's start: the display part does not look for the
        // table.
        g_GpuPerf.Geom = 120;
        g_GpuPerf.Aniso1 = g_GpuPerf.Aniso2 = g_GpuPerf.Aniso4 = 300;
        g_GpuPerf.Aniso8 = g_GpuPerf.Aniso16 = 200;
        g_GpuPerf.PArith11 = g_GpuPerf.PArith20 = g_GpuPerf.PTexD11 = 100;
        g_GpuPerf.Flags = kGpuPerfFound;

        m_Host = m_Folder + "/Default.SystemConfig.body";
        m_Engine = CClassicWideString(platform::FromHostPath(m_Host).c_str());
        CSystemConfig config;
        CClassicBufferMemory body;
        Write(config, body);
        std::FILE* file = std::fopen(m_Host.c_str(), "wb");
        if (!file || std::fwrite(body.GetData(), 1, body.GetSize(), file) != body.GetSize() ||
            std::fclose(file) != 0)
            std::abort();
    }
    ~CBenchFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Folder, ignored);
    }

    static void Write(CSystemConfig& config, CClassicBufferMemory& out) {
        CClassicArchive archive;
        archive.SetBuffer(&out);
        archive.m_Writing = 1;
        archive.m_Text = 1;
        config.Archive(archive);
        archive.DetachBuffer(false);
    }

    std::string m_Folder;
    std::string m_Host;
    CClassicWideString m_Engine;
};

CBenchFiles& Files() {
    static CBenchFiles s_Files;
    return s_Files;
}

// The file's bytes in a memory stream; false when it cannot be read.
bool ReadFile(CClassicBufferMemory& out) {
    CClassicBufferFile file;
    if (!file.Open(Files().m_Engine, false, false, false, false))
        return false;
    const u32 size = file.GetSize();
    out.Clear();
    out.Grow(size);
    out.Rewind();
    const bool read = file.Read(out.GetData(), size) == size;
    file.Close();
    return read;
}

// Loads a new configuration from the file; null when it cannot be read.
CSystemConfig* Load() {
    CClassicBufferMemory bytes;
    if (!ReadFile(bytes))
        return nullptr;
    auto* config = new CSystemConfig;
    CClassicArchive archive;
    archive.SetBuffer(&bytes);
    archive.m_Text = 1;
    try {
        config->Archive(archive);
    } catch (const CClassicBufferException&) {
        delete config;
        config = nullptr;
    }
    archive.DetachBuffer(false);
    return config;
}

// Saves only when the body differs from the file's bytes; false on a failure.
bool SaveIfChanged(CSystemConfig& config) {
    CClassicBufferMemory body;
    CBenchFiles::Write(config, body);
    {
        CClassicBufferFile file;
        if (file.Open(Files().m_Engine, false, false, false, false) && file.EqualsMemory(body))
            return true;
    }
    CClassicBufferFile file;
    if (!file.Open(Files().m_Engine, true, true, false, false))
        return false;
    const bool written = file.Write(body.GetData(), body.GetSize()) == body.GetSize();
    return file.Close() && written;
}

bool ProjectRound(bool change) {
    CSystemConfig* config = Load();
    if (!config)
        return false;
    if (change)
        config->m_AudioMusicVolume = config->m_AudioMusicVolume == 1.0f ? 0.5f : 1.0f;
    const bool saved = SaveIfChanged(*config);
    delete config;
    return saved;
}

std::vector<char> PeerRead() {
    std::vector<char> bytes;
    const int fd = open(Files().m_Host.c_str(), O_RDONLY | O_CLOEXEC);
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
    const std::string temp = Files().m_Host + ".peer";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const bool written =
        write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()) && fsync(fd) == 0;
    return close(fd) == 0 && written && rename(temp.c_str(), Files().m_Host.c_str()) == 0;
}

void Check(benchmark::State& state, bool ok) {
    CSystemConfig* config = Load();
    if (!ok || !config)
        state.SkipWithError("the configuration file could not be loaded and saved");
    delete config;
}

void LoadSaveUnchanged(benchmark::State& state) {
    Files();
    bool ok = true;
    bench::Interleave(
        state, [&] { ok &= ProjectRound(false); }, [&] { benchmark::DoNotOptimize(PeerRead()); });
    Check(state, ok);
}

void LoadSaveChanged(benchmark::State& state) {
    Files();
    bool ok = true;
    bench::Interleave(
        state, [&] { ok &= ProjectRound(true); }, [&] { ok &= PeerWrite(PeerRead()); });
    Check(state, ok);
}

} // namespace

BENCHMARK(LoadSaveUnchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadSaveChanged)->Unit(benchmark::kMicrosecond);
