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
#include "FuzzArchive.h"
#include "FuzzCheck.h"
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
        CMwNodRef nod(FuzzLoadBytes(archive, fid.get(), data, size));
        FUZZ_CHECK(GetFidNumberMap() == nullptr);
        if (nod) {
            FuzzCheckSaveReloads(nod.Get());
        }
    }
    FUZZ_CHECK(CMwNod::GetLiveNodCount() == before);
    return 0;
}
