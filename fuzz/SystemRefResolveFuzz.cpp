// Fuzzes the loading of archives whose references are resolved against files on disk with the
// System engine registered: records found in the tree, on disk, in the resource table or
// nowhere, referenced archives loaded by nested archives, and substitutes that load, fail to
// load or substitute each other.
//
// A load must end loaded or failed, never in a fault, a hang or an allocation past the limits;
// the loading stack and the nesting of loads are as they were found afterwards.
#include "FuzzCheck.h"
#include "RefResolveFuzzWorld.h"
#include "system/archive/SystemRefResolve.h"

namespace {

CRefResolveFuzzWorld* s_World = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    s_World = new CRefResolveFuzzWorld;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    {
        CSystemParamStackScope scope;
        PushParamSet(&s_World->m_Substitutions, false);
        CClassicBufferMemory in;
        in.Write(data, u32(size));
        in.Rewind();
        CSystemArchive archive;
        archive.SetCurrentFid(s_World->m_Main);
        archive.SetLoadMode(kSystemArchiveLoadFull);
        CMwNod* nod = nullptr;
        const bool loaded = archive.Load(&in, &nod);
        FUZZ_CHECK(loaded == (nod != nullptr));
        CMwNodRef held(nod);
        FUZZ_CHECK(GetParamSetDepth() == 1);
    }
    FUZZ_CHECK(GetParamSetDepth() == 0);
    FUZZ_CHECK(SystemRefLoadDepth() == 0);
    // Nods that loads left bound to the files with no reference go, so that every input loads the
    // files again.
    fuzz_engine::ForgetUnheldNods(s_World->m_Engine->GetDataFolder());
    return 0;
}
