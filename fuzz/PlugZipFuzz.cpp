// Fuzzes zip archives used as folders, with the System engine registered over a temporary
// folder: the input is written as "GameData/Fuzz.zip", listed, installed into a folder of its
// own, every entry opened, read (up to 1 MB) and closed, the first entries loaded as nods; then
// a small nod is saved as an entry of a copy of the archive.
//
// The listing ends listed or failed, never in a fault, a hang or an allocation sized from the
// archive's numbers; no entry is installed outside the install folder; a save either leaves the
// copy exactly as it was or gives an archive that lists again with the saved entry; no file but
// the two archives remains in the folder.
#include "FuzzEngine.h"
#include "FuzzFiles.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwEngine.h"
#include "core/nod/MwId.h"
#include "plug/PlugClasses.h"
#include "plug/PlugStart.h"
#include "plug/bitmap/PlugFileZip.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "tests/plug/PlugTestNods.h"

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

constexpr u32 kMaxEntryRead = 1u << 20;
constexpr u32 kLoadedEntries = 8;

struct SWorld {
    CFuzzFolder Folder{"plugzipfuzz"};
    CSystemEngine* Engine = nullptr;
    CSystemFids* Data = nullptr;
    std::unique_ptr<u8[]> Piece{new u8[65536]};

    SWorld() {
        g_ClassicLog.m_SuspendCount = 1;
        CMwIdTable::Create();
        // The plug classes (zips, the ".wav" test class made by extension, the holder an entry
        // archive may hold); the engine classes are never made by class id here.
        CMwClassRegistry::AddClassList(g_PlugClassList);
        CMwClassRegistry::AddClassList(g_PlugTestClassList);
        CMwClassRegistry::Init();
        std::filesystem::create_directories(Folder.File("GameData"));
        Engine = fuzz_engine::Register(Folder.Host());
        FUZZ_CHECK(Engine && Engine->GetDataFolder());
        Data = Engine->GetDataFolder();
        PlugStart();
    }
    CClassicWideString Path(const char* name) const {
        return CClassicWideString(platform::FromHostPath(Folder.File(name)).c_str());
    }
};

SWorld* s_World = nullptr;

// A zip nod bound to the file of GameData, listed; held by the caller.
CPlugFileZip* LoadZip(const char* name, i32* listed) {
    auto* zip = new CPlugFileZip;
    const CClassicWideString path = s_World->Path(name);
    CSystemEngine::AttachNodToFid(zip, s_World->Engine->GetFileFid(nullptr, path, nullptr));
    *listed = zip->LoadFromPath(path);
    return zip;
}

void ReadEntries(CPlugFileZip* zip) {
    CSystemFids* folder = zip->GetInstallFolder();
    for (u32 i = 0; i < zip->GetFileCount(); ++i) {
        CSystemFid* fid = zip->GetFileInfo(i)->m_InstalledFid;
        if (!fid)
            continue;
        FUZZ_CHECK(folder->IsAncestorOf(fid->m_Folder));
        ZipEntryStream* stream = zip->OpenEntry(fid);
        if (!stream)
            continue;
        for (u32 total = 0; total < kMaxEntryRead;) {
            const u32 got = stream->Read(s_World->Piece.get(), 65536);
            if (got == 0)
                break;
            total += got;
        }
        zip->CloseEntry(stream);
        if (i < kLoadedEntries && !fid->m_Nod) {
            CMwNod* nod = nullptr;
            zip->LoadFid(&nod, fid);
            // Nods the load made and left unheld go with their binding.
            if (nod && nod->GetRefCount() == 0) {
                CSystemEngine::DetachNodFromFid(nod);
                delete nod;
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    s_World = new SWorld;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (4u << 20))
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    s_World->Folder.Write("GameData/Fuzz.zip", bytes);
    s_World->Folder.Write("GameData/Copy.zip", bytes);
    CSystemFids* run = s_World->Data->FindOrAddFolderPath(u"Run\\", nullptr);
    FUZZ_CHECK(run != nullptr);
    {
        i32 listed = 0;
        CMwNodRef zip(LoadZip("GameData/Fuzz.zip", &listed));
        auto* plugZip = static_cast<CPlugFileZip*>(zip.Get());
        FUZZ_CHECK(listed == 1 || plugZip->GetFileCount() == 0);
        plugZip->InstallFids(run, true);
        ReadEntries(plugZip);
        plugZip->UninstallFids();

        // The save into the copy.
        CMwNodRef copy(LoadZip("GameData/Copy.zip", &listed));
        auto* copyZip = static_cast<CPlugFileZip*>(copy.Get());
        copyZip->InstallFids(run, false);
        CMwNodRef wav(new CPlugTestWav);
        static_cast<CPlugTestWav*>(wav.Get())->m_Value = 4321;
        CSystemFid* target = s_World->Engine->GetFileFid(run, u"Saved.wav", nullptr);
        FUZZ_CHECK(target != nullptr);
        if (copyZip->SaveFid(wav.Get(), target)) {
            FUZZ_CHECK(copyZip->GetFileCount() >= 1);
            const u32 last = copyZip->GetFileCount() - 1;
            FUZZ_CHECK(copyZip->GetFileInfo(last)->m_InstalledFid == target);
        } else {
            // A failed save leaves the copy as it was.
            std::string now(bytes.size() + 1, '\0');
            FILE* file = std::fopen(s_World->Folder.File("GameData/Copy.zip").c_str(), "rb");
            FUZZ_CHECK(file != nullptr);
            now.resize(std::fread(now.data(), 1, now.size(), file));
            std::fclose(file);
            FUZZ_CHECK(now == bytes);
        }
        copyZip->UninstallFids();
    }
    // Only the two archives, and the folder the tree keeps, are in the data folder.
    for (const auto& entry :
         std::filesystem::directory_iterator(s_World->Folder.File("GameData"))) {
        const std::string name = entry.path().filename().string();
        FUZZ_CHECK(name == "Fuzz.zip" || name == "Copy.zip");
    }
    run->Clear();
    return 0;
}
