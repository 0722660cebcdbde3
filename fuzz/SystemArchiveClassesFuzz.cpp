// Fuzzes the loading of archive files whose nods are the engine's own classes, as the launcher
// loads its configuration: through CSystemArchive::LoadNodFromFile, the name placed in the
// folder tree, references resolved against files the engine saved (loaded by nested archives,
// one of them damaged) and the chunks read by every registered class (the core, the System
// engine, the script library). The reference buffer is the class that accepts links back to the
// nods being read (its own main nod among them), with and without holding them.
//
// A load must end loaded or failed, never in a fault, a hang or an allocation past the limits;
// once the result is released and the nods the files keep for later are let go, every nod the
// load made or loaded is gone: the number of live nods is back where it was.
#include "ClassesArchiveFuzzWorld.h"
#include "FuzzReader.h"
#include "system/archive/SystemRefResolve.h"
#include "system/fid/SystemParamSet.h"

#include <cstdio>

namespace {

CClassesArchiveFuzzWorld* s_World = nullptr;
u32 s_LiveNods = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    s_World = new CClassesArchiveFuzzWorld;
    s_World->Forget();
    s_LiveNods = CMwNod::GetLiveNodCount();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // Larger inputs would only take longer: every count and size the readers take is checked
    // against what the file holds.
    if (size > (1u << 20))
        return 0;
    {
        FILE* file = std::fopen(s_World->Host(CClassesArchiveFuzzWorld::kLoaded).c_str(), "wb");
        FUZZ_CHECK(file && std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0);
    }
    {
        CSystemArchive archive;
        CMwNod* nod = reinterpret_cast<CMwNod*>(1);
        const i32 result = archive.LoadNodFromFile(s_World->Name(CClassesArchiveFuzzWorld::kLoaded),
                                                   &nod, nullptr, kSystemArchiveLoadFull, true);
        FUZZ_CHECK((result == 1) == (nod != nullptr));
        CMwNodRef held(nod);
    }
    FUZZ_CHECK(GetParamSetDepth() == 0);
    FUZZ_CHECK(SystemRefLoadDepth() == 0);
    s_World->Forget();
    FUZZ_CHECK(CMwNod::GetLiveNodCount() == s_LiveNods);
    return 0;
}
