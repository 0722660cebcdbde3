#pragma once
// The System engine for the fuzz targets that load files: registered over a temporary folder of
// their own (its current folder) with a host of fixed facts and adapter, so that no target
// measures the clock or probes the machine; saving seeds; and the clean-up between inputs.
#include "core/base/ClassicBuffer.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwEngine.h"
#include "platform/HostPath.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFids.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz_engine {

inline void Facts(platform::HostFacts& facts) {
    facts = platform::HostFacts();
    facts.SystemName = "Linux";
    facts.PhysicalMemory = u64(1) << 30;
    facts.ProcessorCount = 1;
    facts.ActiveProcessorMask = 1;
}

inline platform::AdapterSource Adapter(platform::Adapter& out, std::string&) {
    out = platform::Adapter();
    out.Present = true;
    return platform::AdapterSource::File;
}

// A new temporary folder whose name begins with the prefix, removed with its files when the
// program ends.
inline std::filesystem::path MakeFolder(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    static std::filesystem::path s_Folder;
    s_Folder = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(s_Folder, ignored);
    });
    return s_Folder;
}

// The System engine registered (once the class registry is initialised) over the folder, its
// data folder "GameData" mounted; the engine manager lives for the rest of the program.
inline CSystemEngine* Register(const std::filesystem::path& folder) {
    g_SystemExeChecksum = 1;
    SSystemEngineHost host;
    host.HostFacts = &Facts;
    host.Adapter = &Adapter;
    host.CurrentFolder = CClassicWideString(platform::FromHostPath(folder.string()).c_str());
    auto* manager = new CMwEngineManager;
    manager->AddRef();
    CSystemEngine* engine = SystemRegisterEngine(host);
    if (!engine || !engine->GetDataFolder())
        std::abort();
    return engine;
}

// The archive image of the nod saved for the file id, with the save flags.
inline bool SaveImage(CMwNod* nod, CSystemFid* fid, u32 flags, CClassicBufferMemory& out) {
    CSystemArchive archive;
    archive.SetCurrentFid(fid);
    archive.SetSaveFlags(flags);
    return archive.Save(nod, &out);
}

// The four forms archives are saved in, with the suffix of their seeds' names.
struct SSaveForm {
    const char* Suffix;
    u32 Flags;
};
inline constexpr SSaveForm kSaveForms[] = {
    {"-binary", kSystemArchiveSaveRelease},
    {"-text", kSystemArchiveSaveText},
    {"-binary-lzo", kSystemArchiveSaveCompressed | kSystemArchiveSaveRelease},
    {"-text-lzo", kSystemArchiveSaveText | kSystemArchiveSaveCompressed}};

// The nods left bound to file ids below the folder that nobody holds go.
inline void ForgetUnheldNods(CSystemFids* folder) {
    for (bool again = true; again;) {
        again = false;
        CFastBuffer<CSystemFid*> fids;
        folder->CollectFids(fids, false);
        for (u32 i = 0; i < fids.m_Count && !again; ++i) {
            CMwNod* nod = fids.m_Items[i]->m_Nod;
            if (!nod || nod->GetRefCount() != 0)
                continue;
            CSystemEngine::DetachNodAndFid(nod, fids.m_Items[i]);
            delete nod;
            again = true;
        }
        fids.FreeItems();
    }
}

} // namespace fuzz_engine
