// Fuzzes the loading of archive files: header, reference table with its folder records, plain or
// LZO body, and the nods and references inside the body, with the archive test nods and the core
// classes registered (the reference buffer among them, which lists nods back to the one being
// read).
// Without an engine, references are read against a drive of the archive's own; nod references
// find a nod that lives for the whole run, use-file references keep the file ids made for them.
//
// A load must end loaded or failed, never in a fault, a hang or an allocation past the limits,
// and a failed load leaves no nod behind. What was loaded saves, loads and saves again to the
// same bytes.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFidNumberMap.h"
#include "tests/system/archive/ArchiveTestNods.h"

#include <cstdlib>
#include <memory>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// Nod references resolve to one nod; nothing is loaded.
class CFuzzResolver final : public CSystemArchiveRefResolver {
public:
    bool Resolve(CSystemArchive& archive, SSystemArchiveRef& record) override {
        archive.AddUnresolvedFid(record.m_Fid);
        if (!record.m_UseFile)
            record.m_Nod = m_Shared.Get();
        return true;
    }

    CMwNodRef m_Shared;
};

CFuzzResolver* s_Resolver = nullptr;

// Loads the bytes through the archive (kept by the caller: the loaded nod may point at its file
// ids) for a memory file id.
CMwNod* LoadBytes(CSystemArchive& archive, CSystemFid* fid, const u8* data, size_t size) {
    CClassicBufferMemory in;
    in.Write(data, u32(size));
    in.Rewind();
    archive.SetCurrentFid(fid);
    CMwNod* nod = nullptr;
    const bool loaded = archive.Load(&in, &nod);
    Check(loaded == (nod != nullptr));
    return nod;
}

void SaveBytes(CMwNod* nod, CClassicBufferMemory& out) {
    CSystemArchive archive;
    archive.SetSaveFlags(kSystemArchiveSaveRelease);
    Check(archive.Save(nod, &out));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::AddClassList(g_ArchiveTestClassList);
    CMwClassRegistry::Init();
    s_Resolver = new CFuzzResolver;
    s_Resolver->m_Shared.Set(new CArchiveTestNod);
    SetSystemArchiveRefResolver(s_Resolver);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 22))
        return 0;
    const u32 before = CMwNod::GetLiveNodCount();
    {
        std::unique_ptr<CSystemFidMemory> fid(new CSystemFidMemory);
        CSystemArchive archive;
        CMwNodRef nod(LoadBytes(archive, fid.get(), data, size));
        Check(GetFidNumberMap() == nullptr);
        if (nod) {
            CClassicBufferMemory first, second;
            SaveBytes(nod.Get(), first);
            std::unique_ptr<CSystemFidMemory> againFid(new CSystemFidMemory);
            CSystemArchive again;
            CMwNodRef reloaded(LoadBytes(again, againFid.get(), first.GetData(), first.GetSize()));
            Check(reloaded.Get() != nullptr);
            SaveBytes(reloaded.Get(), second);
            Check(first.IsSameData(second));
        }
    }
    Check(CMwNod::GetLiveNodCount() == before);
    return 0;
}
