#pragma once
// The world the script fuzz targets load archives in, and their corpus tool writes its seeds
// from: the core, System and script classes and the script test nods registered, and the System
// engine built over a fake host in a temporary folder (memory images go through its memory
// folder). The log is suspended: it would keep every line of every run.
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwId.h"
#include "fuzz/FuzzEngine.h"
#include "platform/HostFacts.h"
#include "platform/HostPath.h"
#include "script/ScriptClasses.h"
#include "system/SystemClasses.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFids.h"
#include "tests/script/support/ScriptTestNods.h"

#include <cstdlib>
#include <filesystem>
#include <string>

class CScriptFuzzWorld {
public:
    CScriptFuzzWorld() {
        g_ClassicLog.m_SuspendCount = 1;
        g_SystemExeChecksum = 1;
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_SystemClassList);
        CMwClassRegistry::AddClassList(g_ScriptClassList);
        CMwClassRegistry::AddClassList(g_ScriptTestClassList);
        CMwClassRegistry::Init();

        std::string pattern =
            (std::filesystem::temp_directory_path() / "scriptfuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Folder = pattern;
        std::filesystem::create_directories(m_Folder / "GameData");
        SSystemEngineHost host;
        host.HostFacts = &fuzz_engine::Facts;
        host.Adapter = &fuzz_engine::Adapter;
        host.CurrentFolder = CClassicWideString(platform::FromHostPath(m_Folder.string()).c_str());
        m_Manager = new CMwEngineManager;
        m_Manager->AddRef();
        m_Engine = SystemRegisterEngine(host);
        // The drives with the resource table, and the loader shared by the file ids of files that
        // load through an archive, are made on first use: now, so that the first load does not
        // count them among its nods.
        if (!m_Engine || !m_Engine->m_MemoryFids || !m_Engine->GetDataFolder() ||
            !CSystemDummyFidLoader::Get())
            std::abort();
    }
    ~CScriptFuzzWorld() {
        m_Manager->ShutdownEngines();
        m_Manager->Release();
        std::error_code ignored;
        std::filesystem::remove_all(m_Folder, ignored);
    }
    CScriptFuzzWorld(const CScriptFuzzWorld&) = delete;
    CScriptFuzzWorld& operator=(const CScriptFuzzWorld&) = delete;

    // The nods the engine's folder trees hold (folders and their file ids): the folder records
    // of an archive's reference table join the tree for good, as they would for a real file.
    u32 CountTreeNods() const {
        return CountTree(m_Engine->m_LocalDrive) + CountTree(m_Engine->m_ResourceDrive) +
               CountTree(m_Engine->m_MemoryFids);
    }

    std::filesystem::path m_Folder;
    CMwEngineManager* m_Manager = nullptr;
    CSystemEngine* m_Engine = nullptr;

private:
    static u32 CountTree(const CSystemFids* folder) {
        if (!folder)
            return 0;
        u32 count = 1 + folder->m_Leaves.m_Count;
        for (u32 i = 0; i < folder->m_Trees.m_Count; ++i)
            count += CountTree(folder->m_Trees.m_Items[i]);
        return count;
    }
};
