#pragma once
// The world SystemRefResolveFuzz loads archives in, and MakeRefResolveCorpus writes its seeds
// from: the System engine registered over a temporary folder whose "GameData" holds archives of
// the archive test nods that refer to each other (loaded through the archive's own shared
// loader), and a parameter set whose records substitute files for others (one substitute loads,
// one has a damaged body, two substitute each other).
#include "FuzzEngine.h"
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwId.h"
#include "platform/HostPath.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/fid/SystemParamSet.h"
#include "tests/system/archive/ArchiveTestNods.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class CRefResolveFuzzWorld {
public:
    // The files of "GameData", each an archive of a test nod with the value given; the first
    // links the second (a reference of its table).
    static constexpr const char* kFiles[] = {"Cars/Wheel.Thing.Zun", "Cars/Hub.Thing.Zun",
                                             "Cars/Tyre.Thing.Zun", "Cars/Spoke.Thing.Zun",
                                             "Parts/Rim.Thing.Zun"};

    CRefResolveFuzzWorld() {
        g_ClassicLog.m_SuspendCount = 1;
        CMwIdTable::Create();
        // Only the test nods can be created by class id: the engine classes would be made (and
        // destroyed) too, engine manager and System engine included.
        CMwClassRegistry::AddClassList(g_ArchiveTestClassList);
        CMwClassRegistry::Init();

        m_Folder = fuzz_engine::MakeFolder("reffuzz");
        std::filesystem::create_directories(m_Folder / "GameData" / "Cars");
        std::filesystem::create_directories(m_Folder / "GameData" / "Parts");
        m_Engine = fuzz_engine::Register(m_Folder);

        // The files, saved with their links bound to the files they name.
        CMwNodRef rim(NewNod(5)), tyre(NewNod(3)), wheel(NewNod(1)), hub(NewNod(2)),
            spoke(NewNod(4));
        Save(rim.Get(), "Parts/Rim.Thing.Zun");
        Bind(rim.Get(), "Parts/Rim.Thing.Zun");
        static_cast<CArchiveTestNod*>(tyre.Get())->Link(rim.Get());
        Save(tyre.Get(), "Cars/Tyre.Thing.Zun");
        for (auto [nod, name] : {std::pair{wheel.Get(), "Cars/Wheel.Thing.Zun"},
                                 std::pair{hub.Get(), "Cars/Hub.Thing.Zun"},
                                 std::pair{spoke.Get(), "Cars/Spoke.Thing.Zun"}})
            Save(nod, name);
        // A header that reads, a body cut short.
        CMwNodRef broken(NewNod(6));
        CClassicBufferMemory image;
        if (!SaveImage(broken.Get(), Fid("Parts/Broken.Thing.Zun"), kSystemArchiveSaveRelease,
                       image))
            std::abort();
        std::ofstream(m_Folder / "GameData" / "Parts" / "Broken.Thing.Zun", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.GetData()), image.GetSize() - 6);
        CSystemEngine::DetachNodFromFid(rim.Get());

        // Tyre becomes Rim, which loads; Spoke becomes Broken, which does not (back to Spoke);
        // Wheel and Hub substitute each other.
        for (auto [from, to] : {std::pair{"Cars/Tyre.Thing.Zun", "Parts\\Rim"},
                                std::pair{"Cars/Spoke.Thing.Zun", "Parts\\Broken"},
                                std::pair{"Cars/Wheel.Thing.Zun", "Cars\\Hub"},
                                std::pair{"Cars/Hub.Thing.Zun", "Cars\\Wheel"}}) {
            CSystemParamFid record(Fid(from));
            record.m_Name = CClassicString(to);
            record.m_Number = CArchiveTestNod::s_ClassId;
            m_Substitutions.SetParam(record);
        }
        m_Main = Fid("Main.Thing.Zun");
    }

    // The file id of a file below "GameData" (made in the tree when missing).
    CSystemFid* Fid(const std::string& relative) {
        CClassicWideString path(
            platform::FromHostPath((m_Folder / "GameData" / relative).string()).c_str());
        CSystemFid* fid = m_Engine->GetFileFid(nullptr, path, nullptr);
        if (!fid)
            std::abort();
        return fid;
    }
    void Bind(CMwNod* nod, const std::string& relative) {
        CSystemEngine::AttachNodToFid(nod, Fid(relative));
    }
    static CArchiveTestNod* NewNod(u32 value) {
        auto* nod = new CArchiveTestNod;
        nod->m_Value = value;
        return nod;
    }
    // The archive image of the nod saved for the file id, with the save flags.
    static bool SaveImage(CMwNod* nod, CSystemFid* fid, u32 flags, CClassicBufferMemory& out) {
        return fuzz_engine::SaveImage(nod, fid, flags, out);
    }
    void Save(CMwNod* nod, const std::string& relative) {
        CClassicBufferMemory out;
        if (!SaveImage(nod, Fid(relative), kSystemArchiveSaveRelease, out))
            std::abort();
        std::ofstream file(m_Folder / "GameData" / relative, std::ios::binary);
        file.write(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
    }

    std::filesystem::path m_Folder;
    CSystemEngine* m_Engine = nullptr;
    CSystemParamSet m_Substitutions;
    // The file the fuzzed archives are loaded for: in the tree, not on disk.
    CSystemFid* m_Main = nullptr;
};
