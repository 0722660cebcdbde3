// Fuzzes the loading of archives whose references are resolved against files on disk with the
// System engine registered: records found in the tree, on disk, in the resource table or
// nowhere, referenced archives loaded by nested archives, and substitutes that load, fail to
// load or substitute each other.
//
// A load must end loaded or failed, never in a fault, a hang or an allocation past the limits;
// the loading stack and the nesting of loads are as they were found afterwards.
#include "RefResolveFuzzWorld.h"
#include "system/archive/SystemRefResolve.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

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
        Check(loaded == (nod != nullptr));
        CMwNodRef held(nod);
        Check(GetParamSetDepth() == 1);
    }
    Check(GetParamSetDepth() == 0);
    Check(SystemRefLoadDepth() == 0);
    // Nods that loads left bound to the files with no reference go, so that every input loads the
    // files again.
    fuzz_engine::ForgetUnheldNods(s_World->m_Engine->GetDataFolder());
    return 0;
}
