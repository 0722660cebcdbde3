#pragma once
// The world SystemArchiveClassesFuzz loads archives in, and MakeClassesArchiveCorpus writes its
// seeds from: every library's class list registered as the launcher registers them (so every
// engine class that reads chunks is reached through real archives; later libraries' lists join
// them as they land) with the Plug file services installed, the System engine over a temporary
// folder (its registry too) whose "GameData\Parts" holds files the engine saved: a configuration, a
// reference buffer that lists it, and a damaged archive. The fuzzed bytes are the file
// "GameData\Loaded.Zun".
#include "FuzzEngine.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwId.h"
#include "core/nod/MwRefBuffer.h"
#include "net/engine/NetClasses.h"
#include "platform/HostPath.h"
#include "plug/PlugClasses.h"
#include "plug/PlugStart.h"
#include "script/ScriptClasses.h"
#include "system/SystemClasses.h"
#include "system/archive/SystemArchive.h"
#include "system/config/SystemConfig.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFids.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class CClassesArchiveFuzzWorld {
public:
    // The files of "GameData\Parts", saved by the engine.
    static constexpr const char* kConfig = "Parts/Options.SystemConfig.Zun";
    static constexpr const char* kList = "Parts/List.Zun";
    static constexpr const char* kDamaged = "Parts/Damaged.Zun";
    // The file the fuzzed bytes go to.
    static constexpr const char* kLoaded = "Loaded.Zun";
    // The class lists registered, in registration order.
    static constexpr const CMwClassList* kClassLists[] = {&g_MwCoreClassList, &g_SystemClassList,
                                                          &g_PlugClassList, &g_NetClassList,
                                                          &g_ScriptClassList};

    CClassesArchiveFuzzWorld() {
        g_ClassicLog.m_SuspendCount = 1;
        m_Folder = fuzz_engine::MakeFolder("classesfuzz");
        std::filesystem::create_directories(m_Folder / "GameData" / "Parts");
        std::filesystem::create_directories(m_Folder / "Registry");
        // New configurations read their language there, never in the user's registry.
        setenv("ENGINE_REGISTRY_DIR", (m_Folder / "Registry").c_str(), 1);

        CMwIdTable::Create();
        for (const CMwClassList* list : kClassLists)
            CMwClassRegistry::AddClassList(*list);
        CMwClassRegistry::Init();
        m_Engine = fuzz_engine::Register(m_Folder);
        // File-backed nods (pictures, generated images) load and save through the Plug library.
        PlugStart();
        // Made on the first nested load, then kept.
        CSystemDummyFidLoader::Get();

        // A configuration with a few values of its own, a buffer that holds it and a buffer
        // inline that lists it and the file's own main nod without holding them, and a file cut
        // short.
        CMwNodRef config(new CSystemConfig);
        static_cast<CSystemConfig*>(config.Get())->m_LanguageCode = "fr";
        Save(config.Get(), kConfig, 0);
        CMwNodRef list(new CMwRefBuffer), inner(new CMwRefBuffer);
        static_cast<CMwRefBuffer*>(inner.Get())->SetHoldsReferences(false);
        static_cast<CMwRefBuffer*>(inner.Get())->Add(list.Get());
        static_cast<CMwRefBuffer*>(inner.Get())->Add(config.Get());
        static_cast<CMwRefBuffer*>(list.Get())->Add(config.Get());
        static_cast<CMwRefBuffer*>(list.Get())->Add(inner.Get());
        Save(list.Get(), kList, kSystemArchiveSaveCompressed | kSystemArchiveSaveRelease);
        static_cast<CMwRefBuffer*>(inner.Get())->ReleaseAll();
        CClassicBufferMemory image;
        if (!fuzz_engine::SaveImage(list.Get(), Fid(kDamaged), kSystemArchiveSaveRelease, image))
            std::abort();
        std::ofstream(Host(kDamaged), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.GetData()), image.GetSize() - 6);
        CSystemEngine::DetachNodFromFid(config.Get());
        CSystemEngine::DetachNodFromFid(list.Get());
    }

    std::filesystem::path Host(const std::string& relative) const {
        return m_Folder / "GameData" / relative;
    }
    // The engine path of a file below "GameData".
    CClassicWideString Name(const std::string& relative) const {
        return CClassicWideString(platform::FromHostPath(Host(relative).string()).c_str());
    }
    // The file id of a file below "GameData" (made in the tree when missing).
    CSystemFid* Fid(const std::string& relative) {
        CSystemFid* fid = m_Engine->GetFileFid(nullptr, Name(relative), nullptr);
        if (!fid)
            std::abort();
        return fid;
    }
    // Saves the nod to its file, which is the nod's from then on.
    void Save(CMwNod* nod, const std::string& relative, u32 flags) {
        CSystemArchive archive;
        if (archive.SaveNodToFile(Name(relative), nod, nullptr, flags, kSystemArchiveLoadFull,
                                  false, true) != 1)
            std::abort();
    }
    // The nods left bound to file ids of "GameData" that nobody holds go, then the folder's
    // content: the tree is as it was after the world was made.
    void Forget() {
        CSystemFids* data = m_Engine->GetDataFolder();
        fuzz_engine::ForgetUnheldNods(data);
        data->Clear();
    }

    std::filesystem::path m_Folder;
    CSystemEngine* m_Engine = nullptr;
};
